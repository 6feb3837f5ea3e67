#include "sessions.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <array>
#include <utility>

namespace tabel::web {

QString Sessions::newConnectionName() {
    return QStringLiteral("tabel_web_%1").arg(++opened_);
}

QByteArray Sessions::key(const QByteArray& token) {
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

QByteArray Sessions::open(Session session, qint64 now) {
    std::array<quint32, 8> words;
    QRandomGenerator::system()->generate(words.begin(), words.end());
    const QByteArray token =
        QByteArray(reinterpret_cast<const char*>(words.data()), sizeof words)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    session.lastUsed = now;
    sessions_.insert(key(token), std::move(session));
    return token;
}

Session* Sessions::find(const QByteArray& token, qint64 now) {
    if (token.isEmpty())
        return nullptr;
    const QByteArray k = key(token);
    const auto it = sessions_.find(k);
    if (it == sessions_.end())
        return nullptr;
    if (now - it->lastUsed > idleMs_) {
        close(*it);
        sessions_.erase(it);
        return nullptr;
    }
    it->lastUsed = now;
    return &*it;
}

void Sessions::end(const QByteArray& token) {
    const auto it = sessions_.find(key(token));
    if (it == sessions_.end())
        return;
    close(*it);
    sessions_.erase(it);
}

int Sessions::sweep(qint64 now) {
    int ended = 0;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        if (now - it->lastUsed > idleMs_) {
            close(*it);
            it = sessions_.erase(it);
            ++ended;
        } else {
            ++it;
        }
    }
    return ended;
}

void Sessions::endAll() {
    for (const Session& s : std::as_const(sessions_))
        close(s);
    sessions_.clear();
}

void Sessions::close(const Session& session) {
    {
        QSqlDatabase db = session.db();
        db.close();
    }
    // No handle may outlive this, or Qt keeps the driver's connection.
    QSqlDatabase::removeDatabase(session.connection);
    ++ended_;
}

} // namespace tabel::web
