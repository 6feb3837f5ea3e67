#pragma once

#include "pages.h"
#include "session/roles.h"

#include <QByteArray>
#include <QHash>
#include <QSqlDatabase>
#include <QString>

namespace tabel::web {

// One logged-in browser: its own database connection, opened with the
// person's name and password, and nothing else of theirs.
struct Session {
    QString connection; // the QSqlDatabase connection's name
    Viewer viewer;
    Role role = Role::None;
    qint64 lastUsed = 0; // ms of the server's monotonic clock

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }
};

// The sessions by their cookie. Only a hash of each token is kept, so that
// the table neither holds what a browser presents nor is searched by it.
// All on one thread: a connection is used only where it was opened.
class Sessions {
public:
    explicit Sessions(qint64 idleMs) : idleMs_(idleMs) {}
    ~Sessions() { endAll(); }
    Sessions(const Sessions&) = delete;
    Sessions& operator=(const Sessions&) = delete;

    // A name for the next session's connection.
    QString newConnectionName();
    // Takes over `session` (its connection open) and answers the token for
    // the browser's cookie: 32 random bytes, base64url.
    QByteArray open(Session session, qint64 now);
    // The token's session, marked used at `now`; nullptr when unknown or
    // idle too long (which ends it).
    Session* find(const QByteArray& token, qint64 now);
    // Closes the session's connection and forgets it.
    void end(const QByteArray& token);
    // Ends every session idle too long; answers how many.
    int sweep(qint64 now);
    void endAll();
    int count() const { return static_cast<int>(sessions_.size()); }
    // How many sessions have ended since the start.
    quint64 ended() const { return ended_; }
    qint64 idleMs() const { return idleMs_; }

private:
    static QByteArray key(const QByteArray& token);
    void close(const Session& session);

    qint64 idleMs_;
    quint64 opened_ = 0;
    quint64 ended_ = 0;
    QHash<QByteArray, Session> sessions_;
};

} // namespace tabel::web
