#pragma once

// How tabel-web listens and keeps its sessions, from the configuration files
// (db/config.h) and its command line:
//
//   web_listen        = 127.0.0.1:8080  address and port; [::1]:8080 for IPv6;
//   web_session_idle  = 30m             a session ends after this long unused
//                                       (s, m or h; a bare number is minutes);
//   web_secure_cookie = no              yes behind a proxy that speaks TLS;
//   web_trusted_proxy = 127.0.0.1       the reverse proxy whose X-Forwarded-For
//                                       names the browser's address.

#include "db/config.h"

#include <QHostAddress>
#include <QString>
#include <chrono>

namespace tabel::web {

struct WebSettings {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 8080;
    std::chrono::seconds sessionIdle = std::chrono::minutes(30);
    bool secureCookie = false;
    QHostAddress trustedProxy; // null: the peer's own address counts
};

// Reads the settings; `listen` (the command line's, may be empty) overrides
// `web_listen`. Throws ConfigError naming the file, or the command line.
WebSettings readWebSettings(const ConfigFiles& files, const QString& listen = {});

// "127.0.0.1:8080", "[::1]:8080", "localhost:8080"; false when malformed.
bool parseListen(const QString& text, QHostAddress& address, quint16& port);
// "90s", "30m", "1h", "30" (minutes); a negative count when malformed.
std::chrono::seconds parseIdle(const QString& text);

} // namespace tabel::web
