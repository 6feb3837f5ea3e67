#pragma once

#include <QSqlDatabase>
#include <QString>

namespace tabel {

// Who writes through a connection, as the database's change history records
// it: the program (`application_name`), the user's role (setting
// `tabel.role`) and the workstation (setting `tabel.workstation`). A session
// without them is written down as another application's.
struct SessionIdentity {
    QString application; // "tabel", "tabel-batch"
    QString role; // "администратор", "контора", "мастер", "склад", "tabel-batch"
    QString workstation; // the machine's host name
};

// Keeps the identity for the connection `db` names and applies it at once
// when the connection is open. openSession applies it on every opening, so
// a connection opened again after a loss keeps it. Call it outside a
// transaction: a rollback would take the settings back. Throws DbError.
void setSessionIdentity(const QSqlDatabase& db, const SessionIdentity& identity);

// Changes only the role (after the login, say). Throws DbError.
void setSessionRole(const QSqlDatabase& db, const QString& role);

// The identity kept for the connection; empty when none was set.
SessionIdentity sessionIdentity(const QSqlDatabase& db);

// Sends the kept identity, if any, to the open session. Plain statements,
// never exec(): openSession calls it while a lost connection is reopened.
// Throws DbError.
void applySessionIdentity(const QSqlDatabase& db);

} // namespace tabel
