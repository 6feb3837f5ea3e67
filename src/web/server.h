#pragma once

#include "db/config.h"
#include "login_throttle.h"
#include "sessions.h"
#include "web_settings.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QTimer>

namespace tabel::web {

struct Reply;
struct Route;

// The web view's HTTP server. Every request is answered on the thread that
// made the server, at once and in full: each session's connection is used
// only where it was opened, and a page takes milliseconds, so one thread
// serves the plant's handful of readers without locks.
class Server : public QAbstractHttpServer {
    Q_OBJECT
public:
    Server(const ConnectionTarget& target, const WebSettings& settings, QObject* parent = nullptr);
    ~Server() override;

    int sessionCount() const { return sessions_.count(); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    Reply answer(const QHttpServerRequest& request);
    Reply logIn(const QHttpServerRequest& request);
    Reply logOut(const QHttpServerRequest& request);
    Reply page(const QHttpServerRequest& request, const Route& route);
    Reply loginForm(const QString& message, const QString& user, int status, const QString& next);
    bool sameOrigin(const QHttpServerRequest& request) const;
    bool fromTrustedProxy(const QHttpServerRequest& request) const;
    QString clientAddress(const QHttpServerRequest& request) const;
    QByteArray sessionCookie(const QByteArray& token) const;
    QByteArray clearedCookie() const;
    void trimMemory();
    void send(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply);

    ConnectionTarget target_;
    WebSettings settings_;
    QElapsedTimer clock_;
    Sessions sessions_;
    LoginThrottle throttle_;
    QTimer sweeper_;
    quint64 endedAtLastTrim_ = 0;
};

} // namespace tabel::web
