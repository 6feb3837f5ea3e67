#include "db/session_identity.h"

#include "db/sql.h"

#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <map>
#include <optional>

namespace tabel {

namespace {

// Keyed by connection name: the identity belongs to the connection, not to
// one opening of it.
QMutex identitiesLock;
std::map<QString, SessionIdentity>& identities() {
    static std::map<QString, SessionIdentity> all;
    return all;
}

std::optional<SessionIdentity> kept(const QString& connection) {
    QMutexLocker lock(&identitiesLock);
    const auto it = identities().find(connection);
    if (it == identities().end())
        return std::nullopt;
    return it->second;
}

} // namespace

void setSessionIdentity(const QSqlDatabase& db, const SessionIdentity& identity) {
    {
        QMutexLocker lock(&identitiesLock);
        identities()[db.connectionName()] = identity;
    }
    if (db.isOpen())
        applySessionIdentity(db);
}

void setSessionRole(const QSqlDatabase& db, const QString& role) {
    SessionIdentity identity = sessionIdentity(db);
    identity.role = role;
    setSessionIdentity(db, identity);
}

SessionIdentity sessionIdentity(const QSqlDatabase& db) {
    return kept(db.connectionName()).value_or(SessionIdentity{});
}

void applySessionIdentity(const QSqlDatabase& db) {
    const auto identity = kept(db.connectionName());
    if (!identity)
        return;
    // Session-wide (is_local false): the settings outlive every transaction,
    // and the triggers read them in each.
    static const QString sql = QStringLiteral(
        "select set_config('application_name', ?, false), set_config('tabel.role', ?, false), "
        "set_config('tabel.workstation', ?, false)");
    QSqlQuery q(db);
    if (!q.prepare(sql))
        throw DbError(q.lastError().text(), sql);
    // An unknown part goes as empty text, which the history reads as unset.
    for (const QString& value : {identity->application, identity->role, identity->workstation})
        q.addBindValue(value.isNull() ? QStringLiteral("") : value);
    if (!q.exec())
        throw DbError(q.lastError().text(), sql);
}

} // namespace tabel
