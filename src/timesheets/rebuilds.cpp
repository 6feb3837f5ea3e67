#include "rebuilds.h"

#include "db/closed_months.h"
#include "db/locks.h"
#include "db/sql.h"
#include "timesheets/sheet_statements.h"

#include <QSqlQuery>
#include <QStringList>

namespace tabel {

namespace {

// What each kind of row is made of.
struct Kind {
    // The rows a rebuild leaves, without month and year: the key columns,
    // then d1 … d31. Parameters :from and :to, the month's bounds.
    QString expected;
    QString keyColumns;    // the key columns, in the order `expected` gives them
    QString storedRows;    // the condition that picks the kind's stored rows
    QString insertColumns; // the key columns as inserted, then smena where needed
    QString insertValues;  // … and their values from `expected`
    QString kindLabel;     // text naming a row's kind, over the key columns
};

Kind kindOf(SheetKind kind) {
    // The day's total per key, then one row per key with a column per day.
    const QString pivot = sql::dayColumns(QStringLiteral("max(t) filter (where d = %d) as d%d"));
    if (kind == SheetKind::Shifts)
        return {QStringLiteral("select smena, w_id, %1 from (select smena, w_id, "
                               "extract(day from data)::int as d, coalesce(sum(time), 0) as t "
                               "from accounts_dep.smena where data >= :from and data < :to "
                               "and smena > 0 and w_id is not null "
                               "group by smena, w_id, data) days group by smena, w_id")
                    .arg(pivot),
                QStringLiteral("smena, w_id"),
                QStringLiteral("smena > 0"),
                QStringLiteral("smena, w_id"),
                QStringLiteral("smena, w_id"),
                QStringLiteral("'смена ' || smena")};
    return {QStringLiteral("select id_o::integer as i_type, id_p::integer as w_id, i_night, %1 "
                           "from (select id_o, id_p, i_night, extract(day from d_date)::int as d, "
                           "coalesce(sum(cnt), 0) as t from accounts_dep.fatigue "
                           "where d_date >= :from and d_date < :to and id_p is not null "
                           "and id_o is not null and i_night is not null "
                           "group by id_o, id_p, i_night, d_date) days "
                           "group by id_o, id_p, i_night")
                .arg(pivot),
            QStringLiteral("i_type, w_id, i_night"),
            QStringLiteral("smena = 0"),
            QStringLiteral("i_type, w_id, i_night, smena"),
            QStringLiteral("i_type, w_id, i_night, 0"),
            QStringLiteral("i_type || case when i_night = 0 then ' дн.' else ' ноч.' end")};
}

QVariantMap monthParams(const QDate& first) {
    return {{"from", first}, {"to", first.addMonths(1)}, {"m", first.month()}, {"y", first.year()}};
}

} // namespace

int rebuildMonth(const QSqlDatabase& db, SheetKind kind, const QDate& anyDayOfMonth,
                 const RebuildProgress& progress) {
    const QDate first(anyDayOfMonth.year(), anyDayOfMonth.month(), 1);
    const Kind k = kindOf(kind);
    const QVariantMap params = monthParams(first);
    const auto step = [&](int done) {
        if (progress)
            progress(done, 3);
    };

    Transaction tx(db);
    // The rows this rebuild replaces come before the month's lock, in the
    // order of their ids: a plain-SQL writer locks its row and then the
    // month in the database's trigger, a save its rows and then its months.
    // Holding the month while waiting for such a row would wait in a circle.
    exec(db,
         QStringLiteral("select count(*) from (select 1 from accounts_dep.h_tabel where %1 "
                        "and month = :m and year = :y order by id for update) locked")
             .arg(k.storedRows),
         {{"m", first.month()}, {"y", first.year()}});
    lockWholeMonth(db, first);
    // A closed month's sheet is what was paid; no rebuild may change it.
    if (monthClosed(db, monthKey(first)))
        throw MonthClosed(monthKey(first));
    step(1);
    exec(db,
         QStringLiteral("delete from accounts_dep.h_tabel where %1 and month = :m and year = :y")
             .arg(k.storedRows),
         {{"m", first.month()}, {"y", first.year()}});
    step(2);
    QSqlQuery inserted =
        exec(db,
             QStringLiteral("insert into accounts_dep.h_tabel (%1, month, year, %2) "
                            "select %3, :m, :y, %2 from (%4) expected")
                 .arg(k.insertColumns, sql::dayColumns(QStringLiteral("d%d")), k.insertValues,
                      k.expected),
             params);
    const int rows = inserted.numRowsAffected();
    tx.commit();
    step(3);
    return rows;
}

std::vector<SheetDifference> checkMonth(const QSqlDatabase& db, SheetKind kind,
                                        const QDate& anyDayOfMonth) {
    const QDate first(anyDayOfMonth.year(), anyDayOfMonth.month(), 1);
    const Kind k = kindOf(kind);
    QStringList keyMatch;
    for (const QString& c : k.keyColumns.split(QStringLiteral(", ")))
        keyMatch << QStringLiteral("e.%1 = s.%1").arg(c);

    // Stored rows are numbered per key: the first is compared day by day
    // with the rebuild's row; a second row of the same key, like a row of a
    // key the rebuild would not write, is one the rebuild would remove.
    QSqlQuery q = exec(
        db,
        QStringLiteral("with e as (select x.*, %1 as label from (%2) x), "
                       "numbered as (select h.*, %1 as label, "
                       "row_number() over (partition by %3 order by h.id) as rn "
                       "from accounts_dep.h_tabel h where %4 and month = :m and year = :y), "
                       "s as (select * from numbered where rn = 1), "
                       "matched as (select coalesce(s.w_id, e.w_id) as w_id, "
                       "coalesce(s.label, e.label) as label, e.w_id is null as extra, %5 "
                       "from s full join e on %6) "
                       "select w_id, label, 0 as day, null::text as stored, null::text as expected "
                       "from matched where extra "
                       "union all "
                       "select w_id, label, 0, null, null from numbered where rn > 1 "
                       "union all "
                       "select w_id, label, v.day, v.stored::text, v.expected::text from matched "
                       "cross join lateral (values %7) v(day, stored, expected) "
                       "where not extra and v.stored is distinct from v.expected "
                       "order by 1, 2, 3")
            .arg(k.kindLabel, k.expected, k.keyColumns, k.storedRows,
                 sql::dayColumns(QStringLiteral("s.d%d as s_d%d, e.d%d as e_d%d")),
                 keyMatch.join(QStringLiteral(" and ")),
                 sql::dayColumns(QStringLiteral("(%d, s_d%d, e_d%d)"))),
        monthParams(first));
    std::vector<SheetDifference> out;
    while (q.next())
        out.push_back({q.value(0).toInt(), q.value(1).toString(), q.value(2).toInt(), q.value(3),
                       q.value(4)});
    return out;
}

} // namespace tabel
