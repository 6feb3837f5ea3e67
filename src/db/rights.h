#pragma once

#include "db/sql.h"

#include <QSqlDatabase>
#include <QString>

namespace tabel {

// What the database lets the connected user do. The program's shared login
// owns the schema and may do everything; a person's own login gets what the
// group roles of `tabel-batch setup-roles` grant, and the database refuses
// the rest with SQLSTATE 42501.

// Whether the database refused `error` for lack of rights.
bool lacksRights(const DbError& error);

// The action a refused statement stands for, in the user's words:
// "удаление производственной записи", "открытие месяца".
QString refusedAction(const QString& statement);

// "Недостаточно прав: удаление производственной записи (роль «мастер»)."
// The role is the one the database knows the login by, or else the one the
// program named itself with; asked on the connection the error came from.
QString rightsRefusalText(const DbError& error);

// Which of the program's writes the database would let through. All true
// for the shared login.
struct DatabaseRights {
    bool addRecords = true;    // production records, brigade jobs, repeated shifts
    bool changeRecords = true; // change of a production record
    bool deleteRecords = true;
    bool acceptRecords = true; // the acceptance mark
    bool housekeeping = true;  // housekeeping and average-piecework entries
    bool timesheets = true;    // the time sheets' rebuilds and the month closing
    bool directories = true;   // workers, products, operations, norms, groups
};
// Throws DbError.
DatabaseRights databaseRights(const QSqlDatabase& db);

} // namespace tabel
