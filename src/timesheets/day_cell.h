#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>
#include <vector>

namespace tabel {

// Where a day cell of a time-sheet row takes its hours from, and how the row
// is named. Shift rows and housekeeping rows differ only in these.
struct DayCellSource {
    // `select count(*), coalesce(sum(<hours>), 0) ...` over the entries of
    // the day, with :d for the date and the row's own parameters.
    QString dayTotal;
    // The condition that names the row in accounts_dep.h_tabel, with :m and
    // :y for the month and the year and the row's own parameters.
    QString rowKey;
    // The columns and values of a new row besides month, year and the cell.
    QString insertColumns;
    QString insertValues;
    // A condition true when the month holds entries of the row's kind, with
    // :from and :to for the month's bounds.
    QString monthHasEntries;
    QVariantMap params; // the row's own parameters
    QString hoursField; // where the user enters the hours, for the refusal
};

// Brings the day cell of `date` to what the month's rebuild would leave: the
// day's total while entries are left that day (0 when they add up to 0),
// null when none are. A missing row is created when the day has entries; a
// row left without any day and without entries in the month is removed. A
// day total too large for the cell throws Refused. Call under the worker's
// month lock.
void updateDayCell(const QSqlDatabase& db, const QDate& date, const DayCellSource& source);

// Locks, in the order of their ids, the stored rows of h_tabel that match
// `kind` and whose `keyColumns` (a list of integer columns such as
// "w_id, smena, year, month") hold one of `keys` (each a value per column,
// in that order). A writer of day cells calls it before it takes the month
// locks: every writer of the sheet takes its rows first, then the month
// (see db/locks.h), so none waits for a row while holding a month another
// writer of that row waits for.
void lockDayCellRows(const QSqlDatabase& db, const QString& kind, const QString& keyColumns,
                     const std::vector<std::vector<int>>& keys);

} // namespace tabel
