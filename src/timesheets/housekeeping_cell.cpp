#include "housekeeping_cell.h"

#include "timesheets/day_cell.h"

namespace tabel {

void updateHousekeepingDayCell(const QSqlDatabase& db, int worker, int type, int night,
                               const QDate& date) {
    // Housekeeping rows are the ones with shift 0; a shift row of the same
    // worker and month must never be touched here.
    updateDayCell(db, date,
                  {"select count(*), coalesce(sum(cnt), 0) from accounts_dep.fatigue "
                   "where id_p = :w and id_o = :t and i_night = :n and d_date = :d",
                   "w_id = :w and i_type = :t and i_night = :n and month = :m and year = :y "
                   "and smena = 0",
                   "smena, i_type, w_id, i_night",
                   "0, :t, :w, :n",
                   "exists (select 1 from accounts_dep.fatigue where id_p = :w and id_o = :t "
                   "and i_night = :n and d_date >= :from and d_date < :to)",
                   {{"w", worker}, {"t", type}, {"n", night}},
                   QStringLiteral("количество")});
}

void lockHousekeepingRows(const QSqlDatabase& db, const std::vector<HousekeepingCell>& cells) {
    std::vector<std::vector<int>> keys;
    for (const HousekeepingCell& c : cells)
        if (c.date.isValid())
            keys.push_back({c.worker, c.type, c.night, c.date.year(), c.date.month()});
    lockDayCellRows(db, QStringLiteral("smena = 0"),
                    QStringLiteral("w_id, i_type, i_night, year, month"), keys);
}

} // namespace tabel
