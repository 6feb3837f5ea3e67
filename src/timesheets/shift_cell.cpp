#include "shift_cell.h"

#include "timesheets/day_cell.h"

namespace tabel {

void updateShiftDayCell(const QSqlDatabase& db, int worker, int shift, const QDate& date) {
    updateDayCell(db, date,
                  {"select count(*), coalesce(sum(time), 0) from accounts_dep.smena "
                   "where w_id = :w and smena = :s and data = :d",
                   "w_id = :w and smena = :s and month = :m and year = :y",
                   "smena, w_id",
                   ":s, :w",
                   "exists (select 1 from accounts_dep.smena where w_id = :w and smena = :s "
                   "and data >= :from and data < :to)",
                   {{"w", worker}, {"s", shift}},
                   QStringLiteral("поле «Время»")});
}

} // namespace tabel
