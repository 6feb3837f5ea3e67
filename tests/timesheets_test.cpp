// The time sheets' statements and rebuilds: against the first version's
// statements and day-by-day rebuild on generated plant data, and on small
// fixtures for the cases that matter.
#include "../bench/day_by_day_rebuild.h"
#include "test_support.h"
#include "timesheets/rebuilds.h"
#include "timesheets/sheet_statements.h"

#include <QSqlQuery>
#include <QSqlRecord>

using namespace tabel;
using namespace tabel::test;

namespace {

// Rows as text, one line per row, every column.
QStringList rowsOf(const QSqlDatabase& db, const QString& sql, const QVariantMap& params) {
    QSqlQuery q = exec(db, sql, params);
    QStringList out;
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < q.record().count(); ++i)
            cells << (q.isNull(i) ? QStringLiteral("∅") : q.value(i).toString());
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

QString days(const QString& pattern) {
    QStringList out;
    for (int d = 1; d <= 31; ++d)
        out << QString(pattern).replace("%d", QString::number(d));
    return out.join(", ");
}

// A month's time-sheet rows of one kind, without their generated ids.
QStringList sheetRows(const QSqlDatabase& db, const QString& which, int m, int y) {
    return rowsOf(db,
                  QStringLiteral("select w_id, smena, i_type, i_night, %1 from "
                                 "accounts_dep.h_tabel where %2 and month = :m and year = :y "
                                 "order by 1, 2, 3, 4")
                      .arg(days("d%d"), which),
                  {{"m", m}, {"y", y}});
}

// The first version's statements, as the reference for rows and columns.
QString designShiftSheet(int shift) {
    const QString t = "(" + days("coalesce(d%d,0)").replace(", ", "+") + ")";
    return "select person.s_caption fio, " + t + " as summ, case when " + t +
           "=0 then 0 else (sum(s.cena*(kol_vo-brak))/" + t +
           ") end ::numeric(10,2) as average_price, sum(s.cena*(kol_vo-brak))::numeric(10,2) as "
           "cena_all, h_tabel.* from accounts_dep.h_tabel, cmn_contractor.person, "
           "accounts_dep.smena s where h_tabel.w_id=person.s_code::integer and h_tabel.smena=" +
           QString::number(shift) +
           " and month=:mnth and s.w_id = h_tabel.w_id and h_tabel.year=:yea and s.data >=:date1 "
           "and s.data <:date2 group by person.s_caption,h_tabel.w_id,h_tabel.month,"
           "h_tabel.year,h_tabel.smena,h_tabel.id order by fio";
}

QString designPrint() {
    return "select person.s_caption fio," + days("sum(d%d) as sd%d") +
           " from accounts_dep.h_tabel, cmn_contractor.person person where "
           "h_tabel.w_id=person.s_code::t_integer and month=:mnth and year=:yea group by fio "
           "order by fio";
}

QString designMonthly(int type) {
    const QString daySums = days("sum(h.d%d) as d%d");
    const QString from = " from  cmn_contractor.person p, accounts_dep.h_tabel h\n"
                         "where h.year=:i_year and h.month=:i_month and h.w_id=p.id";
    if (type == 0)
        return "select p.s_caption fio, p.id,h.i_type,\n(select sum(s.time) from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and "
               "s.w_id=p.id) i_time,\n(select sum((s.kol_vo-s.brak)*s.cena)::numeric(10,2)from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.w_id=p.id) "
               "f_price,\n(select case when coalesce(sum(s.time),0)::numeric(10,2)=0 then 0 else "
               "coalesce(sum((s.kol_vo-s.brak)*s.cena)/sum(time),0)::numeric(10,2) end from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.w_id=p.id) "
               "average_price,\n" +
               daySums + from + " and i_type=0\ngroup by p.id, p.s_caption, h.i_type\norder by fio";
    if (type == 1)
        return "select p.s_caption fio, p.id,\ncoalesce((select sum(s.time) from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and "
               "s.w_id=p.id),0)+\ncoalesce((select sum(f.cnt) from accounts_dep.fatigue f where "
               "f.d_date<:d_date1 and f.d_date>=:d_date2 and f.id_p=p.id),0) i_time,\n"
               "coalesce((select sum((s.kol_vo-s.brak)*s.cena)::numeric(10,2)from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and "
               "s.w_id=p.id),0)+ \ncoalesce((select sum(f.cnt*f.price)::numeric(10,2)from "
               "accounts_dep.fatigue f where f.d_date<:d_date1 and f.d_date>=:d_date2 and "
               "f.id_p=p.id),0) f_price,\n" +
               daySums + from + "\ngroup by p.id, p.s_caption\norder by fio";
    const QString t = QString::number(type);
    const QString f = " from accounts_dep.fatigue f where f.d_date<:d_date1 and "
                      "f.d_date>=:d_date2 and f.id_p=p.id and f.id_o=" +
                      t + " and f.i_night=h.i_night)";
    return "select p.s_caption fio, p.id,h.i_type, case when h.i_night=0 then 'дн.' else 'ноч.' "
           "end as s_night, h.i_night,\n(select sum(f.cnt)" +
           f + " i_time,\n(select sum(f.cnt*f.price)::numeric(10,2)" + f +
           " f_price,\n(select case when coalesce(sum(f.cnt),0)::numeric(10,2)=0 then 0 else "
           "coalesce(sum((f.cnt*f.price))/sum(f.cnt),0)::numeric(10,2) end \n" +
           f.mid(1) + " average_price,\n" + daySums + from + " and i_type=" + t +
           " \ngroup by p.id, p.s_caption, h.i_type, h.i_night\norder by fio";
}

QVariantMap shiftParams(const QDate& first) {
    return {{"mnth", first.month()},
            {"yea", first.year()},
            {"date1", first},
            {"date2", first.addMonths(1)}};
}
QVariantMap monthlyParams(const QDate& first) {
    return {{"i_month", first.month()},
            {"i_year", first.year()},
            {"d_date2", first},
            {"d_date1", first.addMonths(1)}};
}

class DemoTimesheetTest : public DbTest {
protected:
    const char* templateName() const override { return demoTemplate; }
};

// December (the next month in the next year), a leap February, a 31-day
// month cut short by the last day with records.
const QDate kDemoMonths[] = {QDate(2023, 12, 1), QDate(2024, 2, 1), QDate(2024, 3, 1)};

TEST_F(DemoTimesheetTest, RebuildsLeaveWhatTheDayByDayRebuildLeaves) {
    for (const QDate& first : kDemoMonths) {
        const int m = first.month(), y = first.year();
        for (const SheetKind kind : {SheetKind::Shifts, SheetKind::Housekeeping}) {
            const bool shifts = kind == SheetKind::Shifts;
            const QString mine = shifts ? "smena > 0" : "smena = 0";
            const QString other = shifts ? "smena = 0" : "smena > 0";
            if (shifts)
                reference::rebuildShiftsDayByDay(db, m, y);
            else
                reference::rebuildHousekeepingDayByDay(db, m, y);
            const QStringList expected = sheetRows(db, mine, m, y);
            const QStringList untouched = sheetRows(db, other, m, y);
            ASSERT_FALSE(expected.isEmpty()) << first.toString().toStdString();

            // Behind the program's back: a changed cell, a stray row.
            run(QStringLiteral("update accounts_dep.h_tabel set d2 = 99 where %1 and month = :m "
                               "and year = :y and id = (select min(id) from accounts_dep.h_tabel "
                               "where %1 and month = :m and year = :y)")
                    .arg(mine),
                {{"m", m}, {"y", y}});
            run(QStringLiteral("insert into accounts_dep.h_tabel (w_id, month, year, smena, d1) "
                               "values (1, :m, :y, %1, 5)")
                    .arg(shifts ? 3 : 0),
                {{"m", m}, {"y", y}});
            EXPECT_FALSE(checkMonth(db, kind, first).empty());

            rebuildMonth(db, kind, first.addDays(9));
            EXPECT_EQ(sheetRows(db, mine, m, y), expected) << first.toString().toStdString();
            EXPECT_EQ(sheetRows(db, other, m, y), untouched);
            EXPECT_TRUE(checkMonth(db, kind, first).empty());
        }
    }
}

TEST_F(DemoTimesheetTest, SheetsListTheRowsOfTheFirstStatements) {
    for (const QDate& first : kDemoMonths) {
        rebuildMonth(db, SheetKind::Shifts, first);
        rebuildMonth(db, SheetKind::Housekeeping, first);
        const std::string when = first.toString().toStdString();
        for (int shift = 1; shift <= 3; ++shift) {
            const QStringList rows = rowsOf(db, sql::shiftSheet(shift), shiftParams(first));
            EXPECT_FALSE(rows.isEmpty()) << when;
            EXPECT_EQ(rows, rowsOf(db, designShiftSheet(shift), shiftParams(first))) << when;
        }
        const QVariantMap print{{"mnth", first.month()}, {"yea", first.year()}};
        EXPECT_EQ(rowsOf(db, sql::timesheetPrint(), print), rowsOf(db, designPrint(), print));

        const struct {
            sql::MonthlySheet sheet;
            int type;
            QString order; // ties of the first statements' "order by fio"
        } sheets[] = {{sql::MonthlySheet::Piecework, 0, "fio, id"},
                      {sql::MonthlySheet::Housekeeping, 7777, "fio, id, i_night"},
                      {sql::MonthlySheet::AveragePiecework, 7778, "fio, id, i_night"},
                      {sql::MonthlySheet::General, 1, "fio, id"}};
        for (const auto& s : sheets) {
            const QStringList rows = rowsOf(db, sql::monthlySheet(s.sheet), monthlyParams(first));
            EXPECT_FALSE(rows.isEmpty()) << when << ' ' << s.type;
            EXPECT_EQ(rows,
                      rowsOf(db,
                             "select * from (" + designMonthly(s.type) + ") x order by " + s.order,
                             monthlyParams(first)))
                << when << ' ' << s.type;
        }
    }
}

} // namespace
