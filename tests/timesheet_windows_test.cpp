// The time-sheet windows as the user meets them: what each grid shows and
// how it draws the days.
#include "db/dataset.h"
#include "test_support.h"
#include "timesheets/monthly_timesheet_window.h"
#include "timesheets/rebuilds.h"
#include "timesheets/sheet_look.h"
#include "timesheets/sheet_statements.h"
#include "timesheets/shift_timesheet_window.h"

#include <QComboBox>
#include <QFont>
#include <QHeaderView>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>

using namespace tabel;
using namespace tabel::test;

namespace {

TEST(SheetLook, HoursAtAGlance) {
    QPalette p;
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Window, QColor(240, 240, 240));
    const QColor none;
    const struct {
        QVariant value;
        bool weekend, after;
        QColor text;
        bool bold;
        QColor background;
    } cases[] = {
        {QVariant(), false, false, kSilver, false, none}, // empty reads as 0
        {0, false, false, kSilver, false, none},
        {0, true, false, kWeekendRed, false, none},
        {8, false, false, Qt::black, true, none},
        {8, true, false, kWeekendRed, true, none},
        {9, false, false, Qt::black, true, kOvertimeGreen},
        {12, true, false, kWeekendRed, true, kOvertimeGreen},
        {5, false, false, Qt::black, false, none},
        {5, true, false, kWeekendRed, false, none},
        {8, false, true, QColor(240, 240, 240), false, none}, // after the month's end
    };
    for (const auto& c : cases) {
        const DayLook look = shiftDayLook(c.value, c.weekend, c.after, p);
        const std::string what = c.value.toString().toStdString() + (c.weekend ? " weekend" : "") +
                                 (c.after ? " after" : "");
        EXPECT_EQ(look.text, c.text) << what;
        EXPECT_EQ(look.bold, c.bold) << what;
        EXPECT_EQ(look.background, c.background) << what;
    }
    // 1 March 2025 is a Saturday; 2024 is a leap year.
    EXPECT_TRUE(isWeekend(QDate(2025, 3, 1), 1));
    EXPECT_TRUE(isWeekend(QDate(2025, 3, 1), 2));
    EXPECT_FALSE(isWeekend(QDate(2025, 3, 1), 3));
    EXPECT_TRUE(isWeekend(QDate(2024, 2, 1), 25));
}

class TimesheetWindowTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Сидоров С. С.");
        oper = addOper(addProduct("КС-2"), addVid("Покраска"));
        addNorm(oper, 10);
    }
    int worker = 0, oper = 0;
};

TEST_F(TimesheetWindowTest, ShiftSheetShowsTheMonthAndRebuildsIt) {
    // November 2025: 30 days, the 1st a Saturday.
    addRecord({worker, oper, QDate(2025, 11, 3), 1, 8});
    addRecord({worker, oper, QDate(2025, 11, 4), 1, 10});
    addRecord({worker, oper, QDate(2025, 11, 8), 2, 0});
    rebuildMonth(db, SheetKind::Shifts, QDate(2025, 11, 1));
    // Written behind the program's back; the rebuild puts it right.
    run("update accounts_dep.h_tabel set d3 = 5 where smena = 1");

    ShiftTimesheetWindow w(*ctx);
    EXPECT_EQ(w.objectName(), "TForm19");
    EXPECT_EQ(w.windowTitle(), "Табель по времени");
    EXPECT_EQ(w.yearList()->itemText(0), "2007");
    EXPECT_EQ(w.yearList()->itemText(w.yearList()->count() - 1),
              QString::number(QDate::currentDate().year() + 1));
    ctx->state.pickedDate = QDate(2025, 11, 20);
    w.selectMonthOf(ctx->state.pickedDate);
    EXPECT_EQ(w.monthList()->currentText(), "Ноябрь");
    EXPECT_EQ(w.yearList()->currentText(), "2025");

    DaySheetModel& m1 = w.model(1);
    ASSERT_EQ(w.sheet(1).count(), 1);
    const int d3 = m1.dayColumn(3), d4 = m1.dayColumn(4), d31 = m1.dayColumn(31);
    EXPECT_EQ(m1.index(0, d3).data().toString(), "5");
    EXPECT_EQ(m1.index(0, m1.columnCount() - 1).data().toString(), "15");
    EXPECT_EQ(m1.headerData(m1.dayColumn(1), Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
              kWeekendRed);
    EXPECT_EQ(m1.headerData(d31, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), kSilver);
    EXPECT_EQ(m1.index(0, d4).data(Qt::BackgroundRole).value<QColor>(), kOvertimeGreen);
    EXPECT_EQ(w.sheet(2).count(), 1);
    EXPECT_EQ(w.model(2).index(0, w.model(2).dayColumn(8)).data().toString(), "0");
    EXPECT_EQ(w.model(2).index(0, w.model(2).dayColumn(8)).data(Qt::ForegroundRole).value<QColor>(),
              kWeekendRed);
    EXPECT_EQ(w.sheet(3).count(), 0);

    w.rebuild();
    EXPECT_TRUE(w.progressBar()->isHidden());
    EXPECT_EQ(w.sheet(1).count(), 1);
    EXPECT_EQ(m1.index(0, d3).data().toString(), "8");
    EXPECT_TRUE(m1.index(0, d3).data(Qt::FontRole).value<QFont>().bold());

    // December: the next month starts the next year.
    addRecord({worker, oper, QDate(2025, 12, 31), 3, 7});
    w.monthList()->setCurrentIndex(11);
    w.rebuild();
    EXPECT_EQ(w.sheet(3).count(), 1);
    EXPECT_EQ(w.model(3).index(0, w.model(3).dayColumn(31)).data().toString(), "7");
}

TEST_F(TimesheetWindowTest, MonthlySheetsColumnsWidthsAndTotals) {
    addRecord({worker, oper, QDate(2025, 2, 3), 1, 8, 10, 0, 2});
    run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) values (7777, :w, 0, '2025-02-04', 2, 2025, 1, 4, 50, "
        "0, 1)",
        {{"w", worker}});
    rebuildMonth(db, SheetKind::Shifts, QDate(2025, 2, 1));
    rebuildMonth(db, SheetKind::Housekeeping, QDate(2025, 2, 1));

    MonthlyTimesheetWindow w(*ctx);
    EXPECT_EQ(w.objectName(), "TForm27");
    const int last = w.model().columnCount() - 1;
    const struct {
        MonthlyTimesheetWindow::Sheet sheet;
        QString caption;
        int base;
        bool night, rate;
        QString night_mark;
    } sheets[] = {
        {MonthlyTimesheetWindow::Sheet::Piecework, "Табель сделка (27)", 238, false, true, ""},
        {MonthlyTimesheetWindow::Sheet::Housekeeping, "Табель хоз. работы (27)", 208, true, true,
         "ноч."},
        {MonthlyTimesheetWindow::Sheet::AveragePiecework, "Табель ср. сдельная (27)", 208, true,
         true, ""},
        {MonthlyTimesheetWindow::Sheet::General, "Общий табель (27)", 304, false, false, ""},
    };
    for (const auto& s : sheets) {
        w.prepare(s.sheet, QDate(2025, 2, 14)); // February 2025: 28 days
        EXPECT_EQ(w.windowTitle(), s.caption);
        EXPECT_EQ(w.grid()->isColumnHidden(1), !s.night);
        EXPECT_EQ(w.grid()->isColumnHidden(last), !s.rate);
        EXPECT_EQ(w.grid()->columnWidth(0), s.base + 3 * 20) << s.caption.toStdString();
        EXPECT_TRUE(w.grid()->isColumnHidden(w.model().dayColumn(29)));
        EXPECT_FALSE(w.grid()->isColumnHidden(w.model().dayColumn(28)));
        if (!s.night_mark.isEmpty()) {
            ASSERT_EQ(w.sheet().count(), 1);
            EXPECT_EQ(w.sheet().value(0, "s_night").toString(), s.night_mark);
        }
    }
    // Month after month, the name keeps its base width plus the hidden days.
    w.prepare(MonthlyTimesheetWindow::Sheet::Piecework, QDate(2025, 2, 14));
    for (int month : {3, 4, 2, 12, 2, 1}) {
        w.monthList()->setCurrentIndex(month - 1);
        const int hidden = 31 - QDate(2025, month, 1).daysInMonth();
        EXPECT_EQ(w.grid()->columnWidth(0), 238 + 20 * hidden) << month;
    }
    w.monthList()->setCurrentIndex(1);
    ASSERT_EQ(w.sheet().count(), 1);
    EXPECT_EQ(w.model().index(0, w.model().dayColumn(3)).data().toString(), "8");
    EXPECT_EQ(w.total("Сделка:"), QLocale().toString(20.0, 'f', 2));
    EXPECT_EQ(w.total("Хоз. работы:"), QLocale().toString(200.0, 'f', 2));
    EXPECT_EQ(w.total("Ср. сдел.:"), "");
    EXPECT_EQ(w.total("Итого:"), QLocale().toString(220.0, 'f', 2));
    // Saturday 1 February 2025.
    EXPECT_EQ(w.model()
                  .headerData(w.model().dayColumn(1), Qt::Horizontal, Qt::ForegroundRole)
                  .value<QColor>(),
              kWeekendRed);
}

TEST_F(TimesheetWindowTest, MonthlyRebuildNeedsAYearAndKeepsShiftRows) {
    addRecord({worker, oper, QDate(2024, 5, 6), 1, 8});
    rebuildMonth(db, SheetKind::Shifts, QDate(2024, 5, 1));
    MonthlyTimesheetWindow w(*ctx);

    // A year without time-sheet rows is shown but not in the list.
    w.prepare(MonthlyTimesheetWindow::Sheet::Housekeeping, QDate(2023, 5, 10));
    EXPECT_EQ(w.yearList()->currentIndex(), -1);
    EXPECT_EQ(w.month(), QDate(2023, 5, 1));
    const int rows = scalar("select count(*) from accounts_dep.h_tabel").toInt();
    w.rebuild();
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_EQ(messenger.messages.last().caption, "Ошибка");
    EXPECT_EQ(messenger.lastText(), "Не выбран год.");
    EXPECT_EQ(scalar("select count(*) from accounts_dep.h_tabel").toInt(), rows);

    // Chosen from the list: the month's housekeeping rows follow the entries.
    run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) values (7777, :w, 0, '2024-05-07', 5, 2024, 1, 3, 50, "
        "0, 0)",
        {{"w", worker}});
    ASSERT_EQ(w.yearList()->findText("2024"), 0);
    w.chooseYear(0);
    EXPECT_EQ(w.sheet().count(), 0);
    w.rebuild();
    EXPECT_EQ(w.sheet().count(), 1);
    EXPECT_EQ(scalar("select d6 from accounts_dep.h_tabel where smena = 1").toInt(), 8);
}

} // namespace

namespace {

TEST_F(TimesheetWindowTest, RefreshRereadsTheTotalsWithTheRows) {
    const QDate february(2025, 2, 1);
    const auto money = [](double v) {
        QLocale l;
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l.toString(v, 'f', 2);
    };
    const QString entry =
        "insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) values (7777, :w, 0, :d, 2, 2025, 1, :c, :p, 0, 0)";
    addRecord({worker, oper, QDate(2025, 2, 3), 1, 8, 10, 0, 2});
    run(entry, {{"w", worker}, {"d", QDate(2025, 2, 4)}, {"c", 4}, {"p", 50}});
    rebuildMonth(db, SheetKind::Shifts, february);
    rebuildMonth(db, SheetKind::Housekeeping, february);

    MonthlyTimesheetWindow monthly(*ctx);
    monthly.prepare(MonthlyTimesheetWindow::Sheet::Housekeeping, QDate(2025, 2, 14));
    ShiftTimesheetWindow shifts(*ctx);
    shifts.selectMonthOf(february);
    ASSERT_EQ(monthly.sheet().count(), 1);
    EXPECT_EQ(monthly.total("Хоз. работы:"), money(200));
    EXPECT_EQ(monthly.total("Итого:"), money(220));
    const int total = shifts.model(1).columnCount() - 1;
    EXPECT_EQ(shifts.model(1).index(0, total).data().toString(), "8");

    // Another workstation: 6 h × 150 of housekeeping for another worker, 4
    // more hours of piecework, each month rebuilt there.
    const int other = addWorker("Орлов О. О.");
    QSqlDatabase second = otherWorkstation();
    exec(second, entry, {{"w", other}, {"d", QDate(2025, 2, 5)}, {"c", 6}, {"p", 150}});
    exec(second,
         "insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, data, smena, "
         "color, time, vvod, ok, prize) select :w, i_id, id, 2, 5, 0, '2025-02-06', 1, 0, 4, "
         "now(), 'no', 0 from accounts_dep.oper where id = :o",
         {{"w", worker}, {"o", oper}});
    rebuildMonth(second, SheetKind::Housekeeping, february);
    rebuildMonth(second, SheetKind::Shifts, february);

    monthly.findChild<QPushButton*>("RefreshButton")->click();
    EXPECT_EQ(monthly.sheet().count(), 2);
    EXPECT_EQ(monthly.total("Хоз. работы:"), money(1100));
    EXPECT_EQ(monthly.total("Сделка:"), money(30));
    EXPECT_EQ(monthly.total("Итого:"), money(1130));
    // The shift sheet's totals are columns of its rows.
    shifts.findChild<QPushButton*>("RefreshButton")->click();
    EXPECT_EQ(shifts.model(1).index(0, total).data().toString(), "12");
}

} // namespace

namespace {

// A dataset holds exactly the rows `sql` gives read as Dataset::open reads
// them: the same fields, rows in the same order, every value of the same
// type, null where it is null.
void expectRowsOf(const Dataset& ds, const QSqlDatabase& db, const QString& sql,
                  const QVariantMap& params, const std::string& what) {
    QSqlQuery q = exec(db, sql, params);
    const ResultRows expected = readAll(q);
    ASSERT_TRUE(ds.isOpen()) << what;
    EXPECT_EQ(ds.fieldNames(), expected.fields) << what;
    ASSERT_EQ(ds.count(), static_cast<int>(expected.rows.size())) << what;
    for (int r = 0; r < ds.count(); ++r)
        for (int c = 0; c < expected.fields.size(); ++c) {
            const QVariant mine = ds.value(r, c), theirs = expected.rows[r][c];
            const std::string cell =
                what + ", row " + std::to_string(r) + ", " + expected.fields[c].toStdString();
            EXPECT_EQ(mine.typeId(), theirs.typeId()) << cell;
            EXPECT_EQ(mine.isNull(), theirs.isNull()) << cell;
            EXPECT_EQ(mine, theirs) << cell;
        }
}

// Each tab of the shift window holds exactly what its shift's statement
// gives on its own: the same fields, rows in the same order, every value of
// the same type, null where it is null.
void expectTabsAsTheirStatements(ShiftTimesheetWindow& w, const QSqlDatabase& db,
                                 const QDate& first, const char* when) {
    const QVariantMap params{{"mnth", first.month()},
                             {"yea", first.year()},
                             {"date1", first},
                             {"date2", first.addMonths(1)}};
    for (int s = 1; s <= 3; ++s)
        expectRowsOf(w.sheet(s), db, sql::shiftSheet(s), params,
                     std::string(when) + ", shift " + std::to_string(s));
}

TEST_F(TimesheetWindowTest, ShiftTabsHoldWhatEachShiftsStatementGives) {
    const QDate november(2025, 11, 1);
    // Namesakes in two shifts, a worker the registry knows by code only, one
    // it does not know at all (left out), records in the next month.
    const int namesake = addWorker("Сидоров С. С.");
    const int early = addWorker("Алексеев А. А.");
    addPerson("Кодов К. К.", " 012 ");
    const struct {
        int worker, day, shift, hours;
        double price;
    } records[] = {{worker, 3, 1, 8, 1.5}, {namesake, 3, 1, 6, 2.25}, {namesake, 4, 3, 12, 3},
                   {early, 5, 1, 0, 4.5},  {early, 6, 3, 9, 0},       {12, 7, 1, 7, 5.75},
                   {12, 8, 2, 4, 6},       {999999, 3, 1, 8, 1}};
    for (const auto& r : records)
        addRecord({r.worker, oper, november.addDays(r.day - 1), r.shift, r.hours, 10, 1, r.price});
    addRecord({worker, oper, QDate(2025, 12, 1), 2, 8});
    rebuildMonth(db, SheetKind::Shifts, november);
    rebuildMonth(db, SheetKind::Shifts, QDate(2025, 12, 1));
    // Written behind the program's back: a day beyond any integer's sum.
    run("update accounts_dep.h_tabel set d9 = 2147483647, d10 = 2147483647 where w_id = :w "
        "and smena = 1",
        {{"w", worker}});

    ShiftTimesheetWindow w(*ctx);
    w.selectMonthOf(QDate(2025, 11, 20));
    EXPECT_EQ(w.sheet(1).count(), 4);
    EXPECT_EQ(w.sheet(2).count(), 1);
    EXPECT_EQ(w.sheet(3).count(), 2);
    expectTabsAsTheirStatements(w, db, november, "opened");

    // Another month, then a refresh after a change elsewhere.
    w.selectMonthOf(QDate(2025, 12, 1));
    EXPECT_EQ(w.sheet(2).count(), 1);
    expectTabsAsTheirStatements(w, db, QDate(2025, 12, 1), "next month");
    w.selectMonthOf(november);
    addRecord({early, oper, november.addDays(9), 2, 5, 10, 0, 2});
    rebuildMonth(db, SheetKind::Shifts, november);
    w.refresh();
    EXPECT_EQ(w.sheet(2).count(), 2);
    expectTabsAsTheirStatements(w, db, november, "refreshed");
}

TEST_F(TimesheetWindowTest, MonthlySheetsHoldWhatTheirStatementsGive) {
    const QDate february(2025, 2, 1);
    const int other = addWorker("Ёлкин Ё. Ё.");
    addPerson("Кодов К. К.", " 012 ");
    addRecord({worker, oper, QDate(2025, 2, 3), 1, 8, 10, 1, 2.25});
    addRecord({worker, oper, QDate(2025, 2, 4), 2, 0, 3, 0, 0});
    const QString entry =
        "insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) values (:o, :w, 0, :d, 2, 2025, 1, :c, :p, 0, :n)";
    const struct {
        int type, worker, day, hours;
        const char* price;
        int night;
    } entries[] = {{7777, other, 5, 4, "50.10", 0},
                   {7777, other, 6, 3, "123456789012345.67", 1},
                   {7778, other, 7, 2, "0.005", 0},
                   {7778, worker, 8, 0, "10", 1}};
    for (const auto& e : entries)
        run(entry, {{"o", e.type},
                    {"w", e.worker},
                    {"d", QDate(2025, 2, e.day)},
                    {"c", e.hours},
                    {"p", e.price},
                    {"n", e.night}});
    rebuildMonth(db, SheetKind::Shifts, february);
    rebuildMonth(db, SheetKind::Housekeeping, february);
    // Written behind the program's back: a row of a worker without records,
    // whom the registry knows by code only.
    run("insert into accounts_dep.h_tabel (w_id, month, year, smena, i_type, i_night, d5) "
        "values (12, 2, 2025, 1, 0, 0, 7)");

    const QVariantMap params{{"i_month", 2},
                             {"i_year", 2025},
                             {"d_date2", february},
                             {"d_date1", february.addMonths(1)}};
    MonthlyTimesheetWindow w(*ctx);
    for (const auto sheet :
         {MonthlyTimesheetWindow::Sheet::Piecework, MonthlyTimesheetWindow::Sheet::Housekeeping,
          MonthlyTimesheetWindow::Sheet::AveragePiecework,
          MonthlyTimesheetWindow::Sheet::General}) {
        const std::string what = "sheet " + std::to_string(static_cast<int>(sheet));
        w.prepare(sheet, QDate(2025, 2, 14));
        EXPECT_GT(w.sheet().count(), 0) << what;
        expectRowsOf(w.sheet(), db, sql::monthlySheet(sheet), params, what + ", opened");
        w.refresh();
        expectRowsOf(w.sheet(), db, sql::monthlySheet(sheet), params, what + ", refreshed");
    }
    // An empty month keeps the fields.
    w.monthList()->setCurrentIndex(5);
    EXPECT_EQ(w.sheet().count(), 0);
    expectRowsOf(w.sheet(), db, sql::monthlySheet(w.sheetKind()),
                 {{"i_month", 6},
                  {"i_year", 2025},
                  {"d_date2", QDate(2025, 6, 1)},
                  {"d_date1", QDate(2025, 7, 1)}},
                 "empty month");
}

} // namespace
