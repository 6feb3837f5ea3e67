#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <vector>

namespace tabel {

// Brings a worker's day cell of a shift row to what the month's rebuild would
// leave: the day's total hours when the worker has records that day in that
// shift (0 when they add up to 0), empty when none are left. A missing row
// is created when the day has records; a row left without any day and
// without records of that shift in the month is removed. A day total too large
// for the cell throws Refused. A shift of 0 or below names no shift row (row
// 0 is the housekeeping row): nothing is done. Call under the worker's month
// lock.
void updateShiftDayCell(const QSqlDatabase& db, int worker, int shift, const QDate& date);

// A day cell of a worker's shift row.
struct ShiftCell {
    int worker = 0;
    int shift = 0;
    QDate date;
};

// Locks the stored shift rows that updateShiftDayCell would write for these
// cells. Call it before the month locks, as a rebuild locks the rows it
// replaces before it takes the month's.
void lockShiftRows(const QSqlDatabase& db, const std::vector<ShiftCell>& cells);

} // namespace tabel
