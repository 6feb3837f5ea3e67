#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <vector>

namespace tabel {

// Brings a worker's day cell of a housekeeping row (type of work 7777 or 7778,
// day or night work) to what the month's rebuild would leave: the day's total
// hours of that worker, type and night flag when entries are left that day,
// empty when none are. A missing row is created when the day has entries; a
// row left without any day and without entries of its kind in the month is
// removed. A day total too large for the cell throws Refused. Call under the
// worker's month lock.
void updateHousekeepingDayCell(const QSqlDatabase& db, int worker, int type, int night,
                               const QDate& date);

// A day cell of a worker's housekeeping row.
struct HousekeepingCell {
    int worker = 0;
    int type = 0;
    int night = 0;
    QDate date;
};

// Locks the stored housekeeping rows that updateHousekeepingDayCell would
// write for these cells. Call it before the month locks, as a rebuild locks
// the rows it replaces before it takes the month's.
void lockHousekeepingRows(const QSqlDatabase& db, const std::vector<HousekeepingCell>& cells);

} // namespace tabel
