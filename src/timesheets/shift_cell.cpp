#include "shift_cell.h"

#include "db/outcome.h"
#include "db/sql.h"

#include <QSqlQuery>
#include <QStringList>
#include <limits>

namespace tabel {

void updateShiftDayCell(const QSqlDatabase& db, int worker, int shift, const QDate& date) {
    const QString cell = QStringLiteral("d%1").arg(date.day());
    const QVariantMap row{{"w", worker}, {"s", shift}, {"m", date.month()}, {"y", date.year()}};

    QSqlQuery day = exec(db,
                         "select count(*), coalesce(sum(time), 0) from accounts_dep.smena "
                         "where w_id = :w and smena = :s and data = :d",
                         {{"w", worker}, {"s", shift}, {"d", date}});
    day.next();
    const int records = day.value(0).toInt();
    const qint64 hours = day.value(1).toLongLong();
    if (hours > std::numeric_limits<int>::max())
        // The cell is an integer; a wrapped total would be a wrong time sheet.
        throw Refused(kErrorCaption,
                      QStringLiteral("Часы работника за день (%1) не помещаются в табель: "
                                     "проверьте поле «Время».")
                          .arg(hours));

    if (records > 0) {
        const int rows = scalar(db,
                                "select count(w_id) from accounts_dep.h_tabel where w_id = :w "
                                "and smena = :s and month = :m and year = :y",
                                row)
                             .toInt();
        QVariantMap values = row;
        values["h"] = static_cast<int>(hours);
        if (rows > 0)
            exec(db,
                 QStringLiteral("update accounts_dep.h_tabel set %1 = :h where w_id = :w and "
                                "smena = :s and month = :m and year = :y")
                     .arg(cell),
                 values);
        else
            exec(db,
                 QStringLiteral("insert into accounts_dep.h_tabel (smena, w_id, month, year, %1) "
                                "values (:s, :w, :m, :y, :h)")
                     .arg(cell),
                 values);
        return;
    }

    exec(db,
         QStringLiteral("update accounts_dep.h_tabel set %1 = null where w_id = :w and "
                        "smena = :s and month = :m and year = :y")
             .arg(cell),
         row);
    QStringList days;
    for (int d = 1; d <= 31; ++d)
        days << QStringLiteral("d%1").arg(d);
    const QDate first(date.year(), date.month(), 1);
    QVariantMap empty = row;
    empty["from"] = first;
    empty["to"] = first.addMonths(1);
    exec(db,
         QStringLiteral("delete from accounts_dep.h_tabel where w_id = :w and smena = :s and "
                        "month = :m and year = :y and coalesce(%1) is null and not exists ("
                        "select 1 from accounts_dep.smena where w_id = :w and smena = :s and "
                        "data >= :from and data < :to)")
             .arg(days.join(", ")),
         empty);
}

} // namespace tabel
