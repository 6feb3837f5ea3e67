// The time sheets' statements and rebuilds: against the first version's
// statements and day-by-day rebuild on generated plant data, and on small
// fixtures for the cases that matter.
#include "../bench/bench_support.h"
#include "../bench/day_by_day_rebuild.h"
#include "../bench/first_sheet_statements.h"
#include "db/statements.h"
#include "test_support.h"
#include "timesheets/rebuilds.h"
#include "timesheets/sheet_statements.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace tabel;
using namespace tabel::test;
using namespace tabel::reference;
using tabel::bench::rowsAsText;

namespace {

QString days(const QString& pattern) {
    QStringList out;
    for (int d = 1; d <= 31; ++d)
        out << QString(pattern).replace("%d", QString::number(d));
    return out.join(", ");
}

// A month's time-sheet rows of one kind, without their generated ids.
QStringList sheetRows(const QSqlDatabase& db, const QString& which, int m, int y) {
    return rowsAsText(db,
                      QStringLiteral("select w_id, smena, i_type, i_night, %1 from "
                                     "accounts_dep.h_tabel where %2 and month = :m and year = :y "
                                     "order by 1, 2, 3, 4")
                          .arg(days("d%d"), which),
                      {{"m", m}, {"y", y}});
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
            const QStringList rows = rowsAsText(db, sql::shiftSheet(shift), shiftParams(first));
            EXPECT_FALSE(rows.isEmpty()) << when;
            EXPECT_EQ(rows, rowsAsText(db, designShiftSheet(shift), shiftParams(first))) << when;
        }
        const QVariantMap print{{"mnth", first.month()}, {"yea", first.year()}};
        EXPECT_EQ(rowsAsText(db, sql::timesheetPrint(), print),
                  rowsAsText(db, designPrint(), print));

        const struct {
            sql::MonthlySheet sheet;
            int type;
            QString order; // ties of the first statements' "order by fio"
        } sheets[] = {{sql::MonthlySheet::Piecework, 0, "fio, id"},
                      {sql::MonthlySheet::Housekeeping, 7777, "fio, id, i_night"},
                      {sql::MonthlySheet::AveragePiecework, 7778, "fio, id, i_night"},
                      {sql::MonthlySheet::General, 1, "fio, id"}};
        for (const auto& s : sheets) {
            const QStringList rows =
                rowsAsText(db, sql::monthlySheet(s.sheet), monthlyParams(first));
            EXPECT_FALSE(rows.isEmpty()) << when << ' ' << s.type;
            EXPECT_EQ(rows, rowsAsText(db,
                                       "select * from (" + designMonthly(s.type) + ") x order by " +
                                           s.order,
                                       monthlyParams(first)))
                << when << ' ' << s.type;
        }
    }
}

} // namespace

namespace {

// A small month: November 2025 (30 days; the 1st is a Saturday).
class TimesheetTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        ivanov = addWorker("Иванов И. И.");
        petrov = addWorker("Петров П. П.");
        oper = addOper(addProduct("КС-1"), addVid("Сборка"));
        addNorm(oper, 10);
    }
    void record(int worker, int shift, int day, int hours, int qty = 10, double price = 1) {
        addRecord({worker, oper, QDate(2025, 11, day), shift, hours, qty, 0, price});
    }
    void entry(int worker, int type, int night, int day, int hours, const QString& price) {
        run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, "
            "i_smena, cnt, price, i_holiday, i_night) values (:o, :p, 0, :d, :m, :y, 1, :c, "
            ":pr::numeric, 0, :n)",
            {{"o", type},
             {"p", worker},
             {"d", QDate(2025, 11, day)},
             {"m", 11},
             {"y", 2025},
             {"c", hours},
             {"pr", price},
             {"n", night}});
    }
    QVariant cell(int worker, const QString& which, int day) {
        return scalar(QStringLiteral("select d%1 from accounts_dep.h_tabel where w_id = :w and "
                                     "%2 and month = 11 and year = 2025")
                          .arg(day)
                          .arg(which),
                      {{"w", worker}});
    }
    const QDate november{2025, 11, 1};
    int ivanov = 0, petrov = 0, oper = 0;
};

TEST_F(TimesheetTest, ShiftRebuildKeepsShiftsApartAndZeroApartFromEmpty) {
    record(ivanov, 1, 3, 5);
    record(ivanov, 1, 3, 7);                             // two records of one day add up
    record(ivanov, 2, 3, 4);                             // the same day in another shift
    record(ivanov, 2, 4, 0);                             // worked 0 hours: 0, not empty
    record(petrov, 1, 30, 8);                            // the month's last day
    addRecord({petrov, oper, QDate(2025, 12, 1), 1, 8}); // next month: not this one
    entry(petrov, 7777, 0, 5, 6, "100");                 // a housekeeping row stays as it is
    rebuildMonth(db, SheetKind::Housekeeping, november);

    EXPECT_EQ(rebuildMonth(db, SheetKind::Shifts, november), 3);
    EXPECT_EQ(cell(ivanov, "smena = 1", 3).toInt(), 12);
    EXPECT_EQ(cell(ivanov, "smena = 2", 3).toInt(), 4);
    EXPECT_EQ(cell(ivanov, "smena = 2", 4), QVariant(0));
    EXPECT_TRUE(cell(ivanov, "smena = 1", 4).isNull());
    EXPECT_EQ(cell(petrov, "smena = 1", 30).toInt(), 8);
    EXPECT_TRUE(cell(petrov, "smena = 1", 31).isNull());
    EXPECT_EQ(cell(petrov, "smena = 0 and i_type = 7777", 5).toInt(), 6);

    // A month without records loses its shift rows and keeps the others.
    run("delete from accounts_dep.smena");
    EXPECT_EQ(rebuildMonth(db, SheetKind::Shifts, november), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.h_tabel where smena > 0").toInt(), 0);
    EXPECT_EQ(cell(petrov, "smena = 0 and i_type = 7777", 5).toInt(), 6);
}

TEST_F(TimesheetTest, FailingRebuildLeavesTheMonthAsItWas) {
    record(ivanov, 1, 3, 8);
    record(petrov, 1, 4, 8);
    rebuildMonth(db, SheetKind::Shifts, november);
    // Edited behind the program's back, then records whose day no cell can
    // hold: the rebuild fails after its delete.
    run("update accounts_dep.h_tabel set d3 = 77 where w_id = :w", {{"w", ivanov}});
    record(petrov, 2, 9, 2000000000);
    record(petrov, 2, 9, 2000000000);
    const QStringList before = sheetRows(db, "true", 11, 2025);
    EXPECT_THROW(rebuildMonth(db, SheetKind::Shifts, november), DbError);
    EXPECT_EQ(sheetRows(db, "true", 11, 2025), before);
}

TEST_F(TimesheetTest, MonthlySheetsAndTotalsOnASmallMonth) {
    record(ivanov, 1, 3, 8, 10, 2.5); // 25.00 for 8 hours
    record(ivanov, 2, 4, 0, 4, 1);    // 4.00 for no hours
    record(petrov, 1, 5, 4, 3, 0);    // no price: not in "Сделка:"
    entry(ivanov, 7777, 0, 6, 3, "100.50");
    entry(ivanov, 7777, 1, 7, 2, "120");
    entry(petrov, 7778, 0, 8, 5, "33.33");
    rebuildMonth(db, SheetKind::Shifts, november);
    rebuildMonth(db, SheetKind::Housekeeping, november);
    const QVariantMap params = monthlyParams(november);

    EXPECT_EQ(rowsAsText(db, sql::monthlySheet(sql::MonthlySheet::Piecework), params).size(), 2);
    QSqlQuery q = exec(db, sql::monthlySheet(sql::MonthlySheet::Piecework), params);
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value("fio").toString(), "Иванов И. И.");
    EXPECT_EQ(q.value("i_time").toInt(), 8);
    EXPECT_EQ(q.value("f_price").toString(), "29.00");
    EXPECT_EQ(q.value("average_price").toString(), "3.63");
    EXPECT_EQ(q.value("d3").toInt(), 8);
    EXPECT_EQ(q.value("d4"), QVariant(0));

    // Day and night work are two rows of the housekeeping sheet.
    const QStringList hk =
        rowsAsText(db,
                   "select fio, s_night, i_time, f_price, average_price from (" +
                       sql::monthlySheet(sql::MonthlySheet::Housekeeping) + ") x",
                   params);
    EXPECT_EQ(
        hk, (QStringList{"Иванов И. И.|дн.|3|301.50|100.50", "Иванов И. И.|ноч.|2|240.00|120.00"}));
    const QStringList general =
        rowsAsText(db,
                   "select fio, i_time, f_price, d3, d6, d8 from (" +
                       sql::monthlySheet(sql::MonthlySheet::General) + ") x",
                   params);
    EXPECT_EQ(general,
              (QStringList{"Иванов И. И.|13|570.50|8|3|∅", "Петров П. П.|9|166.65|∅|∅|5"}));

    // "Итого:" counts the housekeeping entries of both types.
    EXPECT_EQ(rowsAsText(db, sql::monthlyTotals(), params),
              QStringList{"29.00|541.50|166.65|737.15"});
    // A month without housekeeping entries still has a total.
    run("delete from accounts_dep.fatigue");
    EXPECT_EQ(rowsAsText(db, sql::monthlyTotals(), params), QStringList{"29.00|∅|∅|29.00"});
}

TEST_F(TimesheetTest, BatchCommandsRebuildCheckAndRefuse) {
    record(ivanov, 1, 3, 8);
    entry(petrov, 7777, 1, 5, 6, "100");
    const QStringList month{"--month", "11", "--year", "2025"};

    BatchRun r = runBatch(dbName, QStringList{"rebuild-shifts"} + month);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("строк 1")) << r.out.toStdString();
    r = runBatch(dbName, QStringList{"rebuild-housekeeping"} + month);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(cell(petrov, "i_type = 7777 and i_night = 1", 5).toInt(), 6);
    r = runBatch(dbName, QStringList{"check-timesheets"} + month);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();

    // Changed behind the program's back: found, reported, left as it is.
    run("update accounts_dep.h_tabel set d3 = 10, d4 = 2 where w_id = :w", {{"w", ivanov}});
    r = runBatch(dbName, QStringList{"check-timesheets"} + month);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("работник %1, смена 1, день 3: в табеле 10, по "
                                              "записям 8")
                                   .arg(ivanov)))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("день 4: в табеле 2, по записям пусто")) << r.out.toStdString();
    EXPECT_EQ(cell(ivanov, "smena = 1", 3).toInt(), 10);

    // A bad argument, and a failing job that changes nothing.
    r = runBatch(dbName, {"rebuild-shifts", "--month", "13", "--year", "2025"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--month")) << r.err.toStdString();
    r = runBatch(dbName, {"rebuild-shifts", "--year", "2025"});
    EXPECT_EQ(r.exitCode, 2);
    record(petrov, 2, 9, 2000000000);
    record(petrov, 2, 9, 2000000000);
    r = runBatch(dbName, QStringList{"rebuild-shifts"} + month);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Ошибка базы данных")) << r.err.toStdString();
    EXPECT_EQ(cell(ivanov, "smena = 1", 3).toInt(), 10);

    r = runBatch(dbName, QStringList{"recalc-average"} + month);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
}

} // namespace

namespace {

TEST_F(TimesheetTest, NamesakesStayApartAndOddRegistryCodesBreakNothing) {
    const int namesake = addWorker("Иванов И. И.");
    addPerson("Клиент без табельного номера", "ДОГ-17/а"); // not a number
    record(ivanov, 1, 3, 8);
    record(namesake, 1, 3, 6);
    rebuildMonth(db, SheetKind::Shifts, november);
    const QVariantMap print{{"mnth", 11}, {"yea", 2025}};
    EXPECT_EQ(rowsAsText(db, "select fio, sd3 from (" + sql::timesheetPrint() + ") x", print),
              (QStringList{"Иванов И. И.|8", "Иванов И. И.|6"}));
    EXPECT_EQ(rowsAsText(db, sql::shiftSheet(1), shiftParams(november)).size(), 2);
}

} // namespace

namespace {

// Workers whose registry code is written some other way than their number,
// among persons whose codes read as no number at all.
class RegistryCodesTest : public TimesheetTest {
protected:
    void SetUp() override {
        TimesheetTest::SetUp();
        // Keys of the registry start far above these numbers: only the
        // codes can find these workers.
        const struct {
            QVariant code;
            const char* fio;
        } persons[] = {
            {" 12", "Пробелов"},
            {"0000443", "Нулёв"},
            {"505\t ", "Табуляцев"},
            {"077", "Второй семьдесят седьмой"}, // the lower key …
            {"77", "Точный"},                    // … but written exactly: named so
            {" 78", "Первый семьдесят восьмой"}, // neither exact: the lower key
            {"078", "Второй семьдесят восьмой"},
            {"0" + QString::number(ivanov), "Самозванец"}, // the key finds Иванов first
            {"ДОГ-17/а", "Клиент"},
            {"", "Без кода"},
            {QVariant(QMetaType(QMetaType::QString)), "Код не задан"},
            {"12abc", "Буквы"},
            {"1 2", "Пробел внутри"},
            {"0", "Ноль"},
            {"   ", "Одни пробелы"},
        };
        for (const auto& p : persons)
            addPerson(p.fio, p.code);
        workers = {ivanov, petrov, 12, 443, 505, 77, 78};
        const char* const names[] = {"Иванов И. И.",
                                     "Петров П. П.",
                                     "Пробелов",
                                     "Нулёв",
                                     "Табуляцев",
                                     "Точный",
                                     "Первый семьдесят восьмой"};
        // Exact binary prices: a pay of 10 × price.
        const double prices[] = {1.5, 2.25, 3, 4.5, 5.75, 6, 7.25};
        for (int i = 0; i < 7; ++i) {
            record(workers[i], 1, 3, 8, 10, prices[i]);
            entry(workers[i], 7777, 0, 4, 2, "100.10");
            named << QStringLiteral("%1|%2").arg(QString::fromUtf8(names[i])).arg(workers[i]);
        }
        named.sort();
        rebuildMonth(db, SheetKind::Shifts, november);
        rebuildMonth(db, SheetKind::Housekeeping, november);
    }
    QList<int> workers;
    QStringList named; // "name|number", sorted
};

TEST_F(RegistryCodesTest, EverySheetNamesEachWorkerOnceAndKeepsTheGrandTotals) {
    // 10 × (1.5 + 2.25 + 3 + 4.5 + 5.75 + 6 + 7.25); 7 × 2 h × 100.10.
    const QString piecework = "302.50", housekeeping = "1401.40", all = "1703.90";
    const QVariantMap print{{"mnth", 11}, {"yea", 2025}};
    const struct {
        const char* name;
        QString sql;
        QVariantMap params;
        QString worker; // the column of the worker's number, if any
        QString amount; // what adds up to the grand total
        QString total;
    } sheets[] = {
        {"shift sheet", sql::shiftSheet(1), shiftParams(november), "w_id", "cena_all", piecework},
        {"print", sql::timesheetPrint(), print, "", "sd3 + sd4", "70"},
        {"piecework", sql::monthlySheet(sql::MonthlySheet::Piecework), monthlyParams(november),
         "id", "f_price", piecework},
        {"housekeeping", sql::monthlySheet(sql::MonthlySheet::Housekeeping),
         monthlyParams(november), "id", "f_price", housekeeping},
        {"general", sql::monthlySheet(sql::MonthlySheet::General), monthlyParams(november), "id",
         "f_price", all},
    };
    for (const auto& s : sheets) {
        QStringList expected = named;
        if (s.worker.isEmpty())
            expected.replaceInStrings(QRegularExpression("\\|.*"), "");
        QStringList rows =
            rowsAsText(db,
                       QStringLiteral("select fio%1 from (%2) x")
                           .arg(s.worker.isEmpty() ? QString() : ", " + s.worker, s.sql),
                       s.params);
        rows.sort();
        EXPECT_EQ(rows, expected) << s.name;
        EXPECT_EQ(rowsAsText(db, QStringLiteral("select sum(%1) from (%2) x").arg(s.amount, s.sql),
                             s.params),
                  QStringList{s.total})
            << s.name;
    }
    EXPECT_EQ(rowsAsText(db, sql::monthlyTotals(), monthlyParams(november)),
              QStringList{piecework + "|" + housekeeping + "|∅|" + all});
}

TEST_F(RegistryCodesTest, TheJournalListsEveryRecordOfAWorkerFoundByCode) {
    // The shift list names a record after every person it belongs to.
    const QStringList rows = rowsAsText(db, "select w_id, fio from (" + sql::shiftList(1) + ") x",
                                        {{"data", QDate(2025, 11, 3)}, {"ok", "ta"}});
    for (const char* expected :
         {"12|Пробелов", "443|Нулёв", "505|Табуляцев", "77|Точный", "77|Второй семьдесят седьмой",
          "78|Первый семьдесят восьмой", "78|Второй семьдесят восьмой"})
        EXPECT_TRUE(rows.contains(expected)) << expected;
    EXPECT_TRUE(rows.contains(QString::number(ivanov) + "|Иванов И. И."))
        << rows.join(QLatin1Char(10)).toStdString();
}

} // namespace

namespace {

TEST_F(TimesheetTest, SheetsShowStoredHoursAndSumsOfAnySize) {
    // Stored by plain SQL, beyond what any box lets through: a billion hours
    // of housekeeping at 150, a billion pieces at 150, and shift days that
    // add up beyond an integer.
    entry(ivanov, 7777, 0, 5, 999999999, "150");
    entry(petrov, 7778, 1, 6, 999999999, "150");
    record(ivanov, 1, 3, 8, 1000000000, 150);
    rebuildMonth(db, SheetKind::Shifts, november);
    run("update accounts_dep.h_tabel set d10 = 2000000000, d11 = 2000000000 where smena = 1");
    run("insert into accounts_dep.h_tabel (w_id, month, year, smena, i_type, i_night, d5, d6) "
        "values (:i, 11, 2025, 0, 7777, 0, 999999999, null), "
        "(:p, 11, 2025, 0, 7778, 1, null, 999999999)",
        {{"i", ivanov}, {"p", petrov}});
    const QVariantMap monthly = monthlyParams(november);
    const auto sheet = [&](sql::MonthlySheet s, const QString& columns) {
        return rowsAsText(db, "select " + columns + " from (" + sql::monthlySheet(s) + ") x",
                          monthly);
    };

    EXPECT_EQ(
        rowsAsText(db,
                   "select fio, summ, average_price, cena_all from (" + sql::shiftSheet(1) + ") x",
                   shiftParams(november)),
        QStringList{"Иванов И. И.|4000000008|37.50|150000000000.00"});
    EXPECT_EQ(rowsAsText(db,
                         "select fio, sd5, sd6, sd10 + sd11 from (" + sql::timesheetPrint() + ") x",
                         {{"mnth", 11}, {"yea", 2025}}),
              (QStringList{"Иванов И. И.|999999999|∅|4000000000", "Петров П. П.|∅|999999999|∅"}));
    EXPECT_EQ(sheet(sql::MonthlySheet::Piecework, "fio, i_time, f_price, average_price"),
              QStringList{"Иванов И. И.|8|150000000000.00|18750000000.00"});
    EXPECT_EQ(sheet(sql::MonthlySheet::Housekeeping, "fio, s_night, i_time, f_price, "
                                                     "average_price, d5"),
              QStringList{"Иванов И. И.|дн.|999999999|149999999850.00|150.00|999999999"});
    EXPECT_EQ(sheet(sql::MonthlySheet::AveragePiecework, "fio, s_night, i_time, f_price, "
                                                         "average_price, d6"),
              QStringList{"Петров П. П.|ноч.|999999999|149999999850.00|150.00|999999999"});
    EXPECT_EQ(sheet(sql::MonthlySheet::General, "fio, i_time, f_price"),
              (QStringList{"Иванов И. И.|1000000007|299999999850.00",
                           "Петров П. П.|999999999|149999999850.00"}));
    EXPECT_EQ(rowsAsText(db, sql::monthlyTotals(), monthly),
              QStringList{"150000000000.00|149999999850.00|149999999850.00|449999999700.00"});
}

} // namespace
