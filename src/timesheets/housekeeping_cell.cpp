#include "housekeeping_cell.h"

#include "db/outcome.h"
#include "db/sql.h"

#include <QSqlQuery>
#include <QStringList>
#include <limits>

namespace tabel {

void updateHousekeepingDayCell(const QSqlDatabase& db, int worker, int type, int night,
                               const QDate& date) {
    const QString cell = QStringLiteral("d%1").arg(date.day());
    // Housekeeping rows are the ones with shift 0; a shift row of the same
    // worker and month must never be touched here.
    const QString rowKey = QStringLiteral("w_id = :w and i_type = :t and i_night = :n and "
                                          "month = :m and year = :y and smena = 0");
    const QVariantMap row{
        {"w", worker}, {"t", type}, {"n", night}, {"m", date.month()}, {"y", date.year()}};

    QSqlQuery day = exec(db,
                         "select count(*), coalesce(sum(cnt), 0) from accounts_dep.fatigue "
                         "where id_p = :w and id_o = :t and i_night = :n and d_date = :d",
                         {{"w", worker}, {"t", type}, {"n", night}, {"d", date}});
    day.next();
    const int entries = day.value(0).toInt();
    const qint64 hours = day.value(1).toLongLong();
    if (hours > std::numeric_limits<int>::max())
        // The cell is an integer; a wrapped total would be a wrong time sheet.
        throw Refused(kErrorCaption,
                      QStringLiteral("Часы работника за день (%1) не помещаются в табель: "
                                     "проверьте количество.")
                          .arg(hours));

    if (entries > 0) {
        const int rows =
            scalar(db,
                   QStringLiteral("select count(w_id) from accounts_dep.h_tabel where ") + rowKey,
                   row)
                .toInt();
        QVariantMap values = row;
        values["h"] = static_cast<int>(hours);
        if (rows > 0)
            exec(db,
                 QStringLiteral("update accounts_dep.h_tabel set %1 = :h where ").arg(cell) +
                     rowKey,
                 values);
        else
            exec(db,
                 QStringLiteral("insert into accounts_dep.h_tabel (smena, i_type, w_id, month, "
                                "year, %1, i_night) values (0, :t, :w, :m, :y, :h, :n)")
                     .arg(cell),
                 values);
        return;
    }

    exec(db, QStringLiteral("update accounts_dep.h_tabel set %1 = null where ").arg(cell) + rowKey,
         row);
    QStringList days;
    for (int d = 1; d <= 31; ++d)
        days << QStringLiteral("d%1").arg(d);
    const QDate first(date.year(), date.month(), 1);
    QVariantMap empty = row;
    empty["from"] = first;
    empty["to"] = first.addMonths(1);
    exec(db,
         QStringLiteral("delete from accounts_dep.h_tabel where ") + rowKey +
             QStringLiteral(" and coalesce(%1) is null and not exists (select 1 from "
                            "accounts_dep.fatigue where id_p = :w and id_o = :t and i_night = :n "
                            "and d_date >= :from and d_date < :to)")
                 .arg(days.join(", ")),
         empty);
}

} // namespace tabel
