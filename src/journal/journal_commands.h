#pragma once

#include "db/outcome.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>

namespace tabel {

// An acceptance mark counts as accepted when it reads "ok" or "да".
bool isAccepted(const QString& mark);

// The mark a double-click writes over `listedMark`: "no" over an accepted
// mark, "ok" over any other.
QString toggledMark(const QString& listedMark);

// Turns a record's acceptance mark to the opposite of `listedMark`, the mark
// the user saw, provided the record is still as it was read (`listedVersion`,
// its row version in the list) and its month is not closed. Otherwise
// nothing is written and the outcome says that the record was changed or
// deleted elsewhere, or that its month is closed. Throws DbError.
Outcome toggleAcceptance(const QSqlDatabase& db, int id, const QString& listedVersion,
                         const QString& listedMark);

// Deletes a production record and brings its worker's day cell in line with
// the records left, in one transaction (a savepoint inside a caller's).
// False when the record was already gone. Throws MonthClosed, and nothing
// is deleted, when the record's month is closed; Refused for a member's
// share of a brigade job (the job is deleted as a whole); DbError.
bool deleteRecord(const QSqlDatabase& db, int id);

} // namespace tabel
