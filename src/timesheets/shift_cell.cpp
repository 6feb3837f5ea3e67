#include "shift_cell.h"

#include "timesheets/day_cell.h"

namespace tabel {

void updateShiftDayCell(const QSqlDatabase& db, int worker, int shift, const QDate& date) {
    // Shift rows are the ones with a shift above 0; row 0 of a worker's month
    // is a housekeeping row, and a record written without a shift (by another
    // program, or before this one) has no cell of its own: the rebuild leaves
    // it out too.
    if (shift <= 0)
        return;
    updateDayCell(db, date,
                  {"select count(*), coalesce(sum(time), 0) from accounts_dep.smena "
                   "where w_id = :w and smena = :s and data = :d",
                   "w_id = :w and smena = :s and smena > 0 and month = :m and year = :y",
                   "smena, w_id",
                   ":s, :w",
                   "exists (select 1 from accounts_dep.smena where w_id = :w and smena = :s "
                   "and data >= :from and data < :to)",
                   {{"w", worker}, {"s", shift}},
                   QStringLiteral("поле «Время»")});
}

void lockShiftRows(const QSqlDatabase& db, const std::vector<ShiftCell>& cells) {
    std::vector<std::vector<int>> keys;
    for (const ShiftCell& c : cells)
        if (c.shift > 0 && c.date.isValid())
            keys.push_back({c.worker, c.shift, c.date.year(), c.date.month()});
    lockDayCellRows(db, QStringLiteral("smena > 0"), QStringLiteral("w_id, smena, year, month"),
                    keys);
}

} // namespace tabel
