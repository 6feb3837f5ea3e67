#include "day_cell.h"

#include "db/array_param.h"
#include "db/outcome.h"
#include "db/sql.h"

#include <QSqlQuery>
#include <QStringList>
#include <limits>

namespace tabel {

void updateDayCell(const QSqlDatabase& db, const QDate& date, const DayCellSource& source) {
    // The column is named by the day of a valid date, 1 to 31; every value
    // is bound.
    const QString cell = QStringLiteral("d%1").arg(date.day());
    QVariantMap row = source.params;
    row["m"] = date.month();
    row["y"] = date.year();

    QVariantMap day = source.params;
    day["d"] = date;
    QSqlQuery total = exec(db, source.dayTotal, day);
    total.next();
    const int entries = total.value(0).toInt();
    const qint64 hours = total.value(1).toLongLong();
    if (hours > std::numeric_limits<int>::max())
        // The cell is an integer; a wrapped total would be a wrong time sheet.
        throw Refused(kErrorCaption,
                      QStringLiteral("Часы работника за день (%1) не помещаются в табель: "
                                     "проверьте %2.")
                          .arg(hours)
                          .arg(source.hoursField));

    const QString where = QStringLiteral(" where ") + source.rowKey;
    if (entries > 0) {
        const int rows =
            scalar(db, QStringLiteral("select count(w_id) from accounts_dep.h_tabel") + where, row)
                .toInt();
        QVariantMap values = row;
        values["h"] = static_cast<int>(hours);
        if (rows > 0)
            exec(db, QStringLiteral("update accounts_dep.h_tabel set %1 = :h").arg(cell) + where,
                 values);
        else
            exec(db,
                 QStringLiteral("insert into accounts_dep.h_tabel (%1, month, year, %2) "
                                "values (%3, :m, :y, :h)")
                     .arg(source.insertColumns, cell, source.insertValues),
                 values);
        return;
    }

    exec(db, QStringLiteral("update accounts_dep.h_tabel set %1 = null").arg(cell) + where, row);
    QStringList days;
    for (int d = 1; d <= 31; ++d)
        days << QStringLiteral("d%1").arg(d);
    const QDate first(date.year(), date.month(), 1);
    QVariantMap empty = row;
    empty["from"] = first;
    empty["to"] = first.addMonths(1);
    exec(db,
         QStringLiteral("delete from accounts_dep.h_tabel") + where +
             QStringLiteral(" and coalesce(%1) is null and not (%2)")
                 .arg(days.join(QStringLiteral(", ")), source.monthHasEntries),
         empty);
}

void lockDayCellRows(const QSqlDatabase& db, const QString& kind, const QString& keyColumns,
                     const std::vector<std::vector<int>>& keys) {
    if (keys.empty())
        return;
    // A column of the keys per array: one statement whatever their number.
    const qsizetype columns = keyColumns.split(QLatin1Char(',')).size();
    QStringList arrays;
    QVariantMap params;
    for (qsizetype c = 0; c < columns; ++c) {
        const QString name = QStringLiteral("k%1").arg(c);
        params[name] = arrayParam(
            keys, [c](const std::vector<int>& key) { return QString::number(key.at(c)); });
        arrays << QStringLiteral("cast(:%1 as integer[])").arg(name);
    }
    // Sorted before they are locked, as a rebuild locks its month's rows.
    exec(db,
         QStringLiteral("select count(*) from (select 1 from accounts_dep.h_tabel h where %1 "
                        "and (%2) in (select * from unnest(%3)) order by h.id for update of h) "
                        "locked")
             .arg(kind, keyColumns, arrays.join(QStringLiteral(", "))),
         params);
}

} // namespace tabel
