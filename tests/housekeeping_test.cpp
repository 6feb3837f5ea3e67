#include "app/windows.h"
#include "housekeeping/housekeeping_dialog.h"
#include "housekeeping/housekeeping_journal.h"
#include "housekeeping/housekeeping_rules.h"
#include "journal/main_window.h"
#include "reports/report_statements.h"
#include "test_support.h"
#include "timesheets/sheet_statements.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace tabel;
using namespace tabel::test;

namespace {

TEST(HousekeepingPrice, DayOffAndNightFactorsAreExact) {
    struct Case {
        const char* norm;
        bool dayOff;
        bool night;
        const char* price;
    } cases[] = {
        {"100", false, false, "100"}, {"100", true, false, "200"},
        {"100", false, true, "120"},  {"100", true, true, "240"},
        {"150", false, true, "180"},  {"12.35", true, true, "29.64"},
        {"0.1", false, true, "0.12"}, {"33.3333", true, false, "66.6666"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hourPrice(c.norm, c.dayOff, c.night), std::optional<QString>(c.price))
            << c.norm << " " << c.dayOff << " " << c.night;
    EXPECT_FALSE(hourPrice("", false, false));
    EXPECT_FALSE(hourPrice("1e+20", false, false));
    EXPECT_EQ(decimalProduct("8", "29.64"), std::optional<QString>("237.12"));
}

} // namespace

namespace tabel::test {

// A change of a housekeeping entry made on `here` after `there` wrote or
// deleted the entry since `here` listed it: refused, and nothing written.
// The two connections reach one database; what the change needs is made
// here. Kept apart from the fixtures, so that a table of every window's stale
// writes can call it.
void staleHousekeepingChangesAreRefused(const QSqlDatabase& here, const QSqlDatabase& there) {
    const int worker =
        tabel::scalar(here, "insert into accounts_dep.person (fio) values ('Второй В.В.') "
                            "returning id")
            .toInt();
    const qint64 group =
        tabel::scalar(here, "insert into cmn_classifier.item (id_classifier, id_level, "
                            "id_parent, s_caption, b_excluded) values (1, 2, 1, 'Стенды', 0) "
                            "returning id")
            .toLongLong();
    const QDate day(2024, 5, 14);
    EntryInput in;
    in.workerId = worker;
    in.groupId = group;
    in.normPrice = "150";
    in.hours = "8";
    in.date = day;
    int id = 0;
    ASSERT_TRUE(HousekeepingRules(here).save(in, &id).done());

    // What the worker's entries and time-sheet rows hold, all of it.
    auto stored = [&] {
        return tabel::scalar(here,
                             "select coalesce((select string_agg(f::text, ';' order by f.id) "
                             "from accounts_dep.fatigue f where f.id_p = :w), '') || '|' || "
                             "coalesce("
                             "(select string_agg(h::text, ';' order by h.id) from "
                             "accounts_dep.h_tabel h where h.w_id = :w), '')",
                             {{"w", worker}})
            .toString();
    };
    // The change as the journal lists it here and there.
    auto listed = [&](const QSqlDatabase& db) {
        std::unique_ptr<Dataset> list = HousekeepingRules::makeList(db);
        list->setParam("d_date", day);
        list->open();
        EntryInput change = in;
        change.mode = 1;
        change.entryId = id;
        for (int r = 0; r < list->count(); ++r)
            if (list->value(r, "id").toInt() == id)
                change.version = list->value(r, "row_version").toString();
        EXPECT_FALSE(change.version.isEmpty());
        return change;
    };

    EntryInput mine = listed(here);
    mine.hours = "5";
    EntryInput theirs = listed(there);
    theirs.hours = "3";
    ASSERT_TRUE(HousekeepingRules(there).save(theirs).done());
    const QString written = stored();
    EXPECT_EQ(HousekeepingRules(here).save(mine).text, QString(kEntryChanged));
    EXPECT_EQ(stored(), written);
    EXPECT_EQ(
        tabel::scalar(here, "select cnt from accounts_dep.fatigue where id = :id", {{"id", id}})
            .toInt(),
        3);

    mine = listed(here);
    ASSERT_TRUE(HousekeepingRules(there).remove(id).done());
    const QString deleted = stored();
    EXPECT_EQ(HousekeepingRules(here).save(mine).text, QString(kEntryGone));
    EXPECT_EQ(stored(), deleted);
    EXPECT_EQ(deleted, "|"); // neither the entry nor a time-sheet row came back
}

} // namespace tabel::test

class HousekeepingTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Иванов И.И.");
        group = addGroup("Стеллажи");
    }
    EntryInput entry(const QString& hours, const QDate& date, int type = kHousekeepingWork,
                     bool night = false) {
        EntryInput in;
        in.workerId = worker;
        in.groupId = group;
        in.type = type;
        in.normPrice = "100";
        in.hours = hours;
        in.night = night;
        in.date = date;
        return in;
    }
    int save(const EntryInput& in) {
        int id = 0;
        const Outcome o = HousekeepingRules(db).save(in, &id);
        EXPECT_TRUE(o.done()) << o.text.toStdString();
        return id;
    }
    // The day cell of a housekeeping row; invalid when there is no row.
    QVariant cell(int w, int type, int night, const QDate& date) {
        QSqlQuery q = tabel::exec(
            db,
            QStringLiteral("select d%1 from accounts_dep.h_tabel where "
                           "w_id = :w and i_type = :t and i_night = :n "
                           "and month = :m and year = :y and smena = 0")
                .arg(date.day()),
            {{"w", w}, {"t", type}, {"n", night}, {"m", date.month()}, {"y", date.year()}});
        if (!q.next())
            return {};
        return q.value(0);
    }
    int rows(int w) {
        return scalar("select count(*) from accounts_dep.h_tabel where w_id = :w", {{"w", w}})
            .toInt();
    }
    int entries() { return scalar("select count(*) from accounts_dep.fatigue").toInt(); }
    QString price(int id) {
        return scalar("select price::text from accounts_dep.fatigue where id = :id", {{"id", id}})
            .toString();
    }
    QString version(int id) {
        return scalar("select xmin::text from accounts_dep.fatigue where id = :id", {{"id", id}})
            .toString();
    }

    int worker = 0;
    int group = 0;
    const QDate day{2024, 3, 12};
};

TEST_F(HousekeepingTest, TheFirstEntryOfAMonthCreatesARowWithOnlyThatDay) {
    EntryInput in = entry("8", day);
    in.dayOff = true;
    in.night = true;
    in.shift = 1;
    const int id = save(in);
    QSqlQuery q = tabel::exec(db,
                              "select id_nom, id_o, id_p, d_date, i_mnth, i_year, i_smena, cnt, "
                              "price = 240, i_holiday, i_night from accounts_dep.fatigue "
                              "where id = :id",
                              {{"id", id}});
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), group);
    EXPECT_EQ(q.value(1).toInt(), kHousekeepingWork);
    EXPECT_EQ(q.value(2).toInt(), worker);
    EXPECT_EQ(q.value(3).toDate(), day);
    EXPECT_EQ(q.value(4).toInt(), 3);
    EXPECT_EQ(q.value(5).toInt(), 2024);
    EXPECT_EQ(q.value(6).toInt(), 1);
    EXPECT_EQ(q.value(7).toInt(), 8);
    EXPECT_EQ(q.value(8).toString(), "1");
    EXPECT_EQ(q.value(9).toInt(), 1);
    EXPECT_EQ(q.value(10).toInt(), 1);

    EXPECT_EQ(cell(worker, kHousekeepingWork, 1, day).toInt(), 8);
    EXPECT_EQ(rows(worker), 1);
    EXPECT_EQ(scalar("select coalesce(d1, d2, d3, d4, d5, d6, d7, d8, d9, d10, d11, d13, d14, "
                     "d15, d16, d17, d18, d19, d20, d21, d22, d23, d24, d25, d26, d27, d28, d29, "
                     "d30, d31) is null from accounts_dep.h_tabel")
                  .toString(),
              "1");
}

TEST_F(HousekeepingTest, EntriesOfADaySumInOneCell) {
    save(entry("8", day));
    const int other = addGroup("Ограждения");
    EntryInput second = entry("3", day);
    second.groupId = other;
    second.dayOff = true; // neither the group nor the day-off flag splits the cell
    save(second);
    EXPECT_EQ(cell(worker, kHousekeepingWork, 0, day).toInt(), 11);
    EXPECT_EQ(rows(worker), 1);

    // Night work and the other type of work have rows of their own.
    save(entry("2", day, kHousekeepingWork, true));
    save(entry("5", day, kAveragePiecework));
    EXPECT_EQ(cell(worker, kHousekeepingWork, 0, day).toInt(), 11);
    EXPECT_EQ(cell(worker, kHousekeepingWork, 1, day).toInt(), 2);
    EXPECT_EQ(cell(worker, kAveragePiecework, 0, day).toInt(), 5);
    EXPECT_EQ(rows(worker), 3);
}

TEST_F(HousekeepingTest, DeletingKeepsTheCellInStep) {
    const int first = save(entry("8", day));
    const int second = save(entry("3", day));
    const int later = save(entry("4", day.addDays(1)));
    // A shift row of the same worker and month is not ours to touch.
    run("insert into accounts_dep.h_tabel (w_id, month, year, smena, d12) values (:w, 3, 2024, 1, "
        "7)",
        {{"w", worker}});

    HousekeepingRules rules(db);
    EXPECT_TRUE(rules.remove(first).done());
    EXPECT_EQ(cell(worker, kHousekeepingWork, 0, day).toInt(), 3);
    EXPECT_TRUE(rules.remove(second).done());
    const QVariant empty = cell(worker, kHousekeepingWork, 0, day);
    EXPECT_TRUE(empty.isValid() && empty.isNull());
    EXPECT_EQ(cell(worker, kHousekeepingWork, 0, day.addDays(1)).toInt(), 4);
    EXPECT_TRUE(rules.remove(later).done());
    EXPECT_FALSE(cell(worker, kHousekeepingWork, 0, day).isValid()); // the row is gone
    EXPECT_EQ(rows(worker), 1);                                      // the shift row stays
    EXPECT_EQ(entries(), 0);
    // An entry deleted meanwhile elsewhere counts as deleted.
    EXPECT_TRUE(rules.remove(first).done());
}

TEST_F(HousekeepingTest, AChangeRecomputesBothCells) {
    const int other = addWorker("Петров П.П.");
    const int kept = save(entry("2", day));
    const int moved = save(entry("6", day));
    EntryInput change = entry("5", day.addDays(3), kAveragePiecework);
    change.mode = 1;
    change.entryId = moved;
    change.version = version(moved);
    change.workerId = other;
    save(change);

    EXPECT_EQ(cell(worker, kHousekeepingWork, 0, day).toInt(), 2);
    EXPECT_EQ(cell(other, kAveragePiecework, 0, day).toInt(), 5); // keeps its own date
    EXPECT_EQ(
        scalar("select d_date from accounts_dep.fatigue where id = :id", {{"id", moved}}).toDate(),
        day);
    EXPECT_EQ(price(moved), "100");

    // Its last entry moved away, the former row goes.
    change.entryId = kept;
    change.version = version(kept);
    change.hours = "1";
    save(change);
    EXPECT_FALSE(cell(worker, kHousekeepingWork, 0, day).isValid());
    EXPECT_EQ(cell(other, kAveragePiecework, 0, day).toInt(), 6);
}

TEST_F(HousekeepingTest, RefusesIncompleteEntries) {
    struct Case {
        const char* what;
        int worker;
        int group;
        const char* hours;
        const char* text;
    } cases[] = {
        {"no worker", 0, -1, "8", kEntryFillAll},     {"no group", -1, 0, "8", kEntryFillAll},
        {"hours 0", -1, -1, "0", kEntryNoHours},      {"hours empty", -1, -1, "", kEntryNoHours},
        {"hours blank", -1, -1, "  ", kEntryNoHours},
    };
    for (const Case& c : cases) {
        EntryInput in = entry(c.hours, day);
        if (c.worker == 0)
            in.workerId = 0;
        if (c.group == 0)
            in.groupId = 0;
        const Outcome o = HousekeepingRules(db).save(in);
        EXPECT_EQ(o.caption, kErrorCaption) << c.what;
        EXPECT_EQ(o.text, QString(c.text)) << c.what;
    }
    EXPECT_EQ(entries(), 0);
    EXPECT_EQ(rows(worker), 0);
}

TEST_F(HousekeepingTest, RefusesWhatWasDeletedElsewhere) {
    const int id = save(entry("8", day));

    EntryInput gone = entry("4", day);
    gone.mode = 1;
    gone.entryId = id;
    gone.version = version(id);
    run("delete from cmn_classifier.item where id = :g", {{"g", group}});
    EXPECT_EQ(HousekeepingRules(db).save(gone).text, kEntryGroupGone);
    group = addGroup("Ограждения");

    gone = entry("4", day);
    run("delete from cmn_contractor.person where id = :w", {{"w", worker}});
    EXPECT_EQ(HousekeepingRules(db).save(gone).text, kEntryWorkerGone);

    worker = addWorker("Сидоров С.С.");
    gone = entry("4", day);
    gone.mode = 1;
    gone.entryId = id + 100;
    EXPECT_EQ(HousekeepingRules(db).save(gone).text, kEntryGone);

    EXPECT_EQ(entries(), 1);
    EXPECT_EQ(scalar("select cnt from accounts_dep.fatigue").toInt(), 8);
}

TEST_F(HousekeepingTest, ADayTotalTooLargeForTheCellIsRefused) {
    run("insert into accounts_dep.fatigue (id_nom, id_o, id_p, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) values (:g, 7777, :w, :d, 3, 2024, 1, 2147483647, 1, 0, "
        "0)",
        {{"g", group}, {"w", worker}, {"d", day}});
    const Outcome o = HousekeepingRules(db).save(entry("1", day));
    EXPECT_EQ(o.caption, kErrorCaption);
    EXPECT_TRUE(o.text.contains("2147483648")) << o.text.toStdString();
    EXPECT_EQ(entries(), 1); // the new entry was rolled back with the cell
    EXPECT_EQ(rows(worker), 0);
}

TEST_F(HousekeepingTest, AStaleChangeFromAnotherWorkstationWritesNothing) {
    staleHousekeepingChangesAreRefused(db, otherWorkstation());
}

// Every sheet and report statement that sums the entries of a month must
// still run on what the rule lets through.
TEST_F(HousekeepingTest, RefusesHoursAndSumsTheSheetsCannotCarry) {
    struct Case {
        const char* what;
        const char* hours;
        const char* norm;
        int day; // of March 2024
        bool saved;
    } cases[] = {
        {"more hours than a day has", "25", "1", 1, false},
        {"the hours that overflowed the sheets", "999999999", "1", 1, false},
        {"a whole day", "24", "1", 1, true},
        // With the 24 above: 24 x 4166665.67 + 24 = 100000000.08
        {"a month over the limit", "24", "4166665.67", 2, false},
        // 24 x 4166665.66 + 24 = 99999999.84
        {"a month up to the limit", "24", "4166665.66", 2, true},
        {"a cent past it", "1", "0.16", 3, false},
        {"the next month", "1", "0.16", 31 + 1, true},
    };
    for (const Case& c : cases) {
        EntryInput in = entry(c.hours, QDate(2024, 3, 1).addDays(c.day - 1));
        in.normPrice = c.norm;
        const int before = entries();
        const Outcome o = HousekeepingRules(db).save(in);
        EXPECT_EQ(o.done(), c.saved) << c.what << ": " << o.text.toStdString();
        EXPECT_EQ(entries(), before + (c.saved ? 1 : 0)) << c.what;
    }
    const Outcome hours = HousekeepingRules(db).save(entry("25", day));
    EXPECT_EQ(hours.text, "«Часы»: значение «25» не подходит. Введите целое число от 0 до 24.");
    EntryInput over = entry("1", day);
    over.normPrice = "1";
    EXPECT_EQ(HousekeepingRules(db).save(over).text,
              monthPayMessage("100000000.84", QDate(2024, 3, 1)));

    const QDate first(2024, 3, 1);
    const QVariantMap month{{"i_month", 3},     {"i_year", 2024},
                            {"d_date2", first}, {"d_date1", first.addMonths(1)},
                            {"d1", first},      {"d2", first.addMonths(1)}};
    auto runs = [&](const QString& sql, QVariantMap params) {
        for (auto it = params.begin(); it != params.end();)
            it = sql.contains(":" + it.key()) ? std::next(it) : params.erase(it);
        EXPECT_NO_THROW(tabel::exec(db, sql, params)) << sql.left(80).toStdString();
    };
    for (auto sheet : {sql::MonthlySheet::Housekeeping, sql::MonthlySheet::AveragePiecework,
                       sql::MonthlySheet::General})
        runs(sql::monthlySheet(sheet), month);
    runs(sql::monthlyTotals(), month);
    runs(sql::housekeepingTotals(), month);
    for (const sql::ReportStatement& r : {sql::reportByWorkers(), sql::reportByWorkersDetailed()})
        for (const sql::Lookup& l : r.lookups)
            runs(l.sql, month);
}

TEST_F(HousekeepingTest, AMonthAlreadyOverTheLimitMayOnlyComeDown) {
    // Written by another application: more than the sheets carry.
    const int big = scalar("insert into accounts_dep.fatigue (id_nom, id_o, id_p, d_date, i_mnth, "
                           "i_year, i_smena, cnt, price, i_holiday, i_night) values (:g, 7777, "
                           ":w, :d, 3, 2024, 1, 30, 5000000, 0, 0) returning id",
                           {{"g", group}, {"w", worker}, {"d", day}})
                        .toInt();
    EXPECT_EQ(HousekeepingRules(db).save(entry("1", day)).text,
              monthPayMessage("150000100.00", day));
    EntryInput lower = entry("24", day);
    lower.mode = 1;
    lower.entryId = big;
    lower.version = version(big);
    lower.keepPrice = true;
    EXPECT_TRUE(HousekeepingRules(db).save(lower).done()); // 120000000: still over, but less
    EXPECT_EQ(price(big), "5000000");
    EXPECT_EQ(scalar("select cnt from accounts_dep.fatigue where id = :id", {{"id", big}}).toInt(),
              24);
}

// The average-piecework recalculation.
class AverageRateTest : public HousekeepingTest {
protected:
    void SetUp() override {
        HousekeepingTest::SetUp();
        oper = addOper(addProduct("Изделие"), addVid("Сборка"));
    }
    // Records of the month: 10 pieces at 1.5 in 4 hours and 4 pieces (1
    // rejected) at 2.35 in 2 hours; 22.05 over 6 hours, 3.675 an hour. Half
    // cents show whether the rate is worked out exactly.
    void addMonthRecords(int w, const QDate& inMonth) {
        addRecord({.worker = w, .oper = oper, .date = inMonth, .time = 4, .qty = 10, .price = 1.5});
        addRecord({.worker = w,
                   .oper = oper,
                   .date = inMonth.addDays(1),
                   .time = 2,
                   .qty = 4,
                   .brak = 1,
                   .price = 2.35});
    }
    int entryOn(const QDate& date, int type, bool dayOff, bool night, int w = 0) {
        EntryInput in = entry("8", date, type, night);
        in.dayOff = dayOff;
        if (w)
            in.workerId = w;
        return save(in);
    }
    int oper = 0;
};

TEST_F(AverageRateTest, RepricesTheMonthsEntriesByTheirFactors) {
    addMonthRecords(worker, QDate(2024, 3, 4));
    // Records of other months and of other workers do not count.
    addRecord({.worker = worker, .oper = oper, .date = {2024, 2, 29}, .time = 1, .qty = 900});
    addRecord({.worker = worker, .oper = oper, .date = {2024, 4, 1}, .time = 1, .qty = 900});
    const int idle = addWorker("Без нарядов");
    addRecord({.worker = addWorker("Другой"), .oper = oper, .date = day, .qty = 700});

    struct Case {
        bool dayOff;
        bool night;
        const char* price;
        int id = 0;
    } cases[] = {
        {false, false, "3.68"}, // 3.675
        {true, false, "7.35"},  // twice
        {false, true, "4.41"},  // x1.2
        {true, true, "8.09"},   // x2.2: 8.085
    };
    for (Case& c : cases)
        c.id = entryOn(day, kAveragePiecework, c.dayOff, c.night);
    const int noRecords = entryOn(day, kAveragePiecework, false, false, idle);
    const int housekeeping = entryOn(day, kHousekeepingWork, false, false);
    const int otherMonth = entryOn({2024, 4, 2}, kAveragePiecework, false, false);

    EXPECT_EQ(HousekeepingRules(db).recalculate(day), 5);
    for (const Case& c : cases)
        EXPECT_EQ(price(c.id), c.price) << c.dayOff << c.night;
    EXPECT_EQ(
        scalar("select price = 0 from accounts_dep.fatigue where id = :id", {{"id", noRecords}})
            .toString(),
        "1");
    EXPECT_EQ(price(housekeeping), "100");
    EXPECT_EQ(price(otherMonth), "100");
}

TEST_F(AverageRateTest, DecemberEndsOnTheFirstOfJanuary) {
    const QDate december(2023, 12, 20);
    addMonthRecords(worker, QDate(2023, 12, 30)); // the 30th and the 31st
    addRecord({.worker = worker, .oper = oper, .date = {2024, 1, 1}, .time = 1, .qty = 900});
    addRecord({.worker = worker, .oper = oper, .date = {2023, 11, 30}, .time = 1, .qty = 900});
    const int id = entryOn(december, kAveragePiecework, false, false);
    const int january = entryOn({2024, 1, 5}, kAveragePiecework, false, false);
    HousekeepingRules(db).recalculate(december);
    EXPECT_EQ(price(id), "3.68");
    EXPECT_EQ(price(january), "100");
}

TEST_F(AverageRateTest, DatesAreBoundAsDatesWhateverTheDateStyle) {
    // Under "MDY" a date written as 01.3.2024 would be read as 3 January.
    run(QStringLiteral("alter database %1 set datestyle = 'ISO, MDY'").arg(dbName));
    const QSqlDatabase other = otherWorkstation();
    ASSERT_EQ(tabel::scalar(other, "show datestyle").toString(), "ISO, MDY");
    addMonthRecords(worker, QDate(2024, 3, 1));
    addRecord({.worker = worker, .oper = oper, .date = {2024, 1, 3}, .time = 1, .qty = 900});
    const int id = entryOn(day, kAveragePiecework, true, false);
    EXPECT_EQ(HousekeepingRules(other).recalculate(day), 1);
    EXPECT_EQ(price(id), "7.35");
}

// The journal and its entry dialog.
class HousekeepingJournalTest : public HousekeepingTest {
protected:
    void SetUp() override {
        HousekeepingTest::SetUp();
        // One norm of each type of work: 150 for housekeeping, 90 for average piecework.
        const int product = addProduct("Хоз. работы");
        addNorm(addOper(product, kHousekeepingWork), 150);
        addNorm(addOper(product, kAveragePiecework, 1), 90);
        journal = std::make_unique<HousekeepingJournal>(*ctx);
        dialog = journal->entryDialog();
        dialog->pickWorker = [this]() -> std::optional<HousekeepingDialog::WorkerChoice> {
            return HousekeepingDialog::WorkerChoice{worker, " Иванов И.И. "};
        };
        dialog->pickGroup = [this]() -> std::optional<HousekeepingDialog::GroupChoice> {
            return HousekeepingDialog::GroupChoice{group, "Стеллажи"};
        };
        journal->setDate(day);
        journal->activate();
    }
    void TearDown() override {
        journal.reset();
        HousekeepingTest::TearDown();
    }
    void type(QWidget* w, const QString& text) {
        for (QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
    // "Добавить", with `fill` run while the dialog is "open".
    void add(const std::function<void()>& fill) {
        journal->runDialog = [&](HousekeepingDialog&) {
            fill();
            return 0;
        };
        journal->addEntry();
    }

    std::unique_ptr<HousekeepingJournal> journal;
    HousekeepingDialog* dialog = nullptr;
};

TEST_F(HousekeepingJournalTest, AddsAnEntryPricedFromTheNorm) {
    journal->dayOffBox()->setChecked(true);
    add([&] {
        EXPECT_EQ(dialog->mode(), 0);
        EXPECT_EQ(dialog->hoursEdit()->text(), "0");
        EXPECT_TRUE(dialog->nightBox()->isEnabled());
        EXPECT_EQ(dialog->typeBox()->currentData().toInt(), kHousekeepingWork);
        EXPECT_EQ(dialog->typeBox()->count(), 2);
        dialog->chooseWorker();
        dialog->chooseGroup();
        EXPECT_EQ(dialog->workerEdit()->text(), "Иванов И.И.");
        dialog->hoursEdit()->clear();
        type(dialog->hoursEdit(), "12");
        EXPECT_EQ(dialog->sumEdit()->text(), "1800");
        dialog->nightBox()->setChecked(true);
        EXPECT_TRUE(dialog->save());
    });
    ASSERT_EQ(journal->list().count(), 1);
    EXPECT_EQ(journal->list().current("price").toString(), "360");
    EXPECT_EQ(journal->list().current("s_holiday").toString(), "+");
    EXPECT_EQ(journal->list().current("s_night").toString(), "+");
    EXPECT_EQ(cell(worker, kHousekeepingWork, 1, day).toInt(), 12);
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(HousekeepingJournalTest, RefusalsAreShownAndNothingIsWritten) {
    struct Case {
        const char* what;
        bool worker;
        bool group;
        const char* hours;
        const char* text;
    } cases[] = {
        {"no worker", false, true, "8", kEntryFillAll},
        {"no group", true, false, "8", kEntryFillAll},
        {"hours 0", true, true, "0", kEntryNoHours},
        {"hours empty", true, true, "", kEntryNoHours},
    };
    for (const Case& c : cases) {
        messenger.messages.clear();
        add([&] {
            if (c.worker)
                dialog->chooseWorker();
            if (c.group)
                dialog->chooseGroup();
            dialog->hoursEdit()->setText(c.hours);
            EXPECT_FALSE(dialog->save());
        });
        ASSERT_EQ(messenger.messages.size(), 1) << c.what;
        EXPECT_EQ(messenger.messages[0].caption, kErrorCaption) << c.what;
        EXPECT_EQ(messenger.messages[0].text, QString(c.text)) << c.what;
    }
    EXPECT_EQ(entries(), 0);
}

TEST_F(HousekeepingJournalTest, ListsEveryEntryOfTheDateAndChangesOne) {
    // No operation here meets the old list's condition on operations.
    run("delete from accounts_dep.norm");
    run("delete from accounts_dep.oper");
    const int second = addWorker("Абрамов А.А.");
    save(entry("8", day));
    EntryInput other = entry("2", day, kAveragePiecework, true);
    other.workerId = second;
    save(other);
    save(entry("5", day.addDays(1)));
    journal->activate();
    ASSERT_EQ(journal->list().count(), 2);
    EXPECT_EQ(journal->list().value(0, "fio").toString(), "Абрамов А.А.");
    EXPECT_EQ(journal->list().value(1, "fio").toString(), "Иванов И.И.");
}

TEST_F(HousekeepingJournalTest, OpensTheCurrentEntryForAChange) {
    EntryInput night = entry("8", day, kAveragePiecework, true);
    night.normPrice = "90";
    save(night);
    journal->activate();
    journal->runDialog = [&](HousekeepingDialog&) {
        EXPECT_EQ(dialog->mode(), 1);
        EXPECT_EQ(dialog->workerEdit()->text(), "Иванов И.И.");
        EXPECT_EQ(dialog->groupEdit()->text(), "Стеллажи");
        EXPECT_EQ(dialog->hoursEdit()->text(), "8");
        EXPECT_EQ(dialog->typeBox()->currentData().toInt(), kAveragePiecework);
        EXPECT_TRUE(dialog->nightBox()->isChecked());
        EXPECT_FALSE(dialog->nightBox()->isEnabled());
        dialog->hoursEdit()->setText("3");
        dialog->typeBox()->setCurrentIndex(dialog->typeBox()->findData(kHousekeepingWork));
        EXPECT_TRUE(dialog->save());
        return 0;
    };
    journal->changeEntry();
    ASSERT_EQ(journal->list().count(), 1);
    EXPECT_EQ(journal->list().current("id_o").toInt(), kHousekeepingWork);
    EXPECT_EQ(journal->list().current("price").toString(), "180");
    EXPECT_FALSE(cell(worker, kAveragePiecework, 1, day).isValid());
    EXPECT_EQ(cell(worker, kHousekeepingWork, 1, day).toInt(), 3);
}

TEST_F(HousekeepingJournalTest, DeletesAfterTheQuestion) {
    journal->deleteEntry(); // empty list: nothing asked
    EXPECT_TRUE(messenger.messages.isEmpty());
    save(entry("8", day));
    journal->activate();
    messenger.answer = false;
    journal->deleteEntry();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, kDeleteCaption);
    EXPECT_EQ(messenger.messages[0].text, "Удалить позицию из списка?");
    EXPECT_EQ(entries(), 1);
    messenger.answer = true;
    journal->deleteEntry();
    EXPECT_EQ(entries(), 0);
    EXPECT_TRUE(journal->list().isEmpty());
    EXPECT_FALSE(cell(worker, kHousekeepingWork, 0, day).isValid());
}

TEST_F(HousekeepingJournalTest, APickedWeekendChecksTheDayOffBox) {
    journal->setDate(QDate(2024, 3, 16)); // a Saturday set from the main window
    EXPECT_FALSE(journal->dayOffBox()->isChecked());
    journal->datePicker()->setDate(QDate(2024, 3, 17)); // Sunday, by the user
    EXPECT_TRUE(journal->dayOffBox()->isChecked());
    EXPECT_TRUE(journal->dayOffBox()->font().bold());
    journal->datePicker()->setDate(QDate(2024, 3, 18));
    EXPECT_FALSE(journal->dayOffBox()->isChecked());
    EXPECT_FALSE(journal->dayOffBox()->font().bold());
}

TEST_F(HousekeepingJournalTest, TheMainWindowOpensTheJournalOnItsDate) {
    save(entry("8", day));
    MainWindow main(*ctx);
    Windows windows(*ctx, main);
    ctx->state.pickedDate = day;
    ASSERT_TRUE(main.housekeepingButton()->isEnabled());
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* j = qobject_cast<HousekeepingJournal*>(QApplication::activeModalWidget());
        ASSERT_NE(j, nullptr);
        shown = true;
        EXPECT_EQ(j->pickedDate(), day);
        EXPECT_EQ(j->list().count(), 1);
        j->reject();
    });
    main.housekeepingButton()->click();
    EXPECT_TRUE(shown);
}

// The entry "Изменить" opened stays the one "Записать" writes, however often
// it is pressed, and whatever the journal's current row holds meanwhile.
TEST_F(HousekeepingJournalTest, ARefusedChangeNeverWritesAnotherEntry) {
    struct Case {
        const char* what;
        std::function<void(HousekeepingRules&, int id, int worker)> elsewhere;
        const char* text;
    } cases[] = {
        {"deleted elsewhere", [](HousekeepingRules& r, int id, int) { r.remove(id); }, kEntryGone},
        {"changed elsewhere",
         [this](HousekeepingRules& r, int id, int w) {
             EntryInput in = entry("4", day);
             in.workerId = w;
             in.mode = 1;
             in.entryId = id;
             in.version = version(id);
             EXPECT_TRUE(r.save(in).done());
         },
         kEntryChanged},
    };
    HousekeepingRules there(otherWorkstation());
    for (const Case& c : cases) {
        run("delete from accounts_dep.fatigue");
        const int first = addWorker("Абрамов А.А."); // listed first, the current row
        EntryInput opened = entry("3", day);
        opened.workerId = first;
        opened.normPrice = "150"; // the rate of the norm, so the change opens on it
        const int id = save(opened);
        const int other = save(entry("8", day));
        journal->activate();
        ASSERT_EQ(journal->list().current("id").toInt(), id) << c.what;
        const QString otherRow =
            scalar("select f::text from accounts_dep.fatigue f where id = :id", {{"id", other}})
                .toString();

        messenger.messages.clear();
        journal->runDialog = [&](HousekeepingDialog&) {
            dialog->hoursEdit()->setText("5");
            c.elsewhere(there, id, first);
            EXPECT_FALSE(dialog->save()) << c.what;
            EXPECT_FALSE(dialog->save()) << c.what; // pressed again
            return 0;
        };
        journal->changeEntry();
        ASSERT_EQ(messenger.messages.size(), 2) << c.what;
        for (const auto& m : messenger.messages)
            EXPECT_EQ(m.text, QString(c.text)) << c.what;
        EXPECT_EQ(
            scalar("select f::text from accounts_dep.fatigue f where id = :id", {{"id", other}})
                .toString(),
            otherRow)
            << c.what;
        EXPECT_EQ(cell(worker, kHousekeepingWork, 0, day).toInt(), 8) << c.what;
        EXPECT_NE(
            scalar("select cnt from accounts_dep.fatigue where id = :id", {{"id", id}}).toInt(), 5)
            << c.what;
    }
}

// Norms of one type of work at 150 and 180, and the list as the plant reads
// it: with the decimal comma.
class HousekeepingRatesTest : public HousekeepingJournalTest {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        HousekeepingJournalTest::SetUp();
        const int product = addProduct("Хоз. работы 2");
        addNorm(addOper(product, kHousekeepingWork), 180);
        addNorm(addOper(product, kHousekeepingWork, 1), 150); // a rate listed already
    }
    void TearDown() override {
        HousekeepingJournalTest::TearDown();
        QLocale::setDefault(QLocale::c());
    }
    QStringList items() {
        QStringList out;
        for (int i = 0; i < dialog->typeBox()->count(); ++i)
            out << dialog->typeBox()->itemText(i);
        return out;
    }
    // "Изменить" on the only entry of the day, with `during` run in the
    // dialog.
    void change(const std::function<void()>& during) {
        journal->activate();
        journal->runDialog = [&](HousekeepingDialog&) {
            during();
            return 0;
        };
        journal->changeEntry();
    }
};

TEST_F(HousekeepingRatesTest, TheTypeListShowsEachRateOnce) {
    add([&] {
        EXPECT_EQ(items(), QStringList({"Хоз. работы — 150,00", "Хоз. работы — 180,00",
                                        "Ср. сдельная — 90,00"}));
    });
}

TEST_F(HousekeepingRatesTest, AChangeOpensOnTheEntrysOwnRate) {
    struct Case {
        bool dayOff;
        bool night;
        const char* price; // 180 by the factors
    } cases[] = {{false, false, "180"}, {true, false, "360"}, {false, true, "216"}};
    for (const Case& c : cases) {
        run("delete from accounts_dep.fatigue");
        EntryInput in = entry("8", day, kHousekeepingWork, c.night);
        in.normPrice = "180";
        in.dayOff = c.dayOff;
        const int id = save(in);
        journal->dayOffBox()->setChecked(c.dayOff);
        change([&] {
            EXPECT_EQ(dialog->typeBox()->currentText(), "Хоз. работы — 180,00") << c.price;
            EXPECT_TRUE(dialog->save());
        });
        EXPECT_EQ(price(id), c.price);
    }
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(HousekeepingRatesTest, APriceNoNormGivesAnyMoreIsKeptAndSaidSo) {
    const int oper = addOper(addProduct("Изделие"), addVid("Сборка"));
    struct Case {
        const char* what;
        int type;
        std::function<void()> meanwhile;
        const char* stored;
        const char* item;
    } cases[] = {
        {"its norm changed", kHousekeepingWork,
         // The rate holding on the entry's date.
         [&] { run("update accounts_dep.norm_price set price = 200 where price = 180"); }, "180",
         "Хоз. работы — 180,00 (цена позиции)"},
        // 15 an hour from the month's records.
        {"priced by the recalculation", kAveragePiecework,
         [&] {
             addRecord(
                 {.worker = worker, .oper = oper, .date = day, .time = 2, .qty = 10, .price = 3});
             HousekeepingRules(db).recalculate(day);
         },
         "15", "Ср. сдельная — 15,00 (цена позиции)"},
    };
    for (const Case& c : cases) {
        run("delete from accounts_dep.fatigue");
        EntryInput in = entry("8", day, c.type);
        in.normPrice = c.type == kHousekeepingWork ? "180" : "90";
        const int id = save(in);
        c.meanwhile();
        ASSERT_TRUE(sameDecimal(price(id), c.stored)) << c.what;
        messenger.messages.clear();
        change([&] {
            EXPECT_EQ(dialog->typeBox()->currentText(), c.item) << c.what;
            EXPECT_TRUE(sameDecimal(dialog->priceEdit()->text().replace(',', '.'), c.stored))
                << c.what;
            dialog->hoursEdit()->setText("6");
            EXPECT_TRUE(dialog->save()) << c.what;
        });
        ASSERT_EQ(messenger.messages.size(), 1) << c.what;
        EXPECT_EQ(messenger.messages[0].kind, RecordingMessenger::Kind::Information) << c.what;
        EXPECT_EQ(messenger.messages[0].text,
                  keptPriceMessage(c.type == kHousekeepingWork ? "Хоз. работы" : "Ср. сдельная",
                                   c.stored))
            << c.what;
        EXPECT_TRUE(sameDecimal(price(id), c.stored)) << c.what << " " << price(id).toStdString();
        EXPECT_EQ(
            scalar("select cnt from accounts_dep.fatigue where id = :id", {{"id", id}}).toInt(), 6)
            << c.what;
    }
}

TEST_F(HousekeepingJournalTest, TheHoursBoxHoldsNoMoreThanADay) {
    add([&] {
        dialog->hoursEdit()->clear();
        type(dialog->hoursEdit(), "24");
        EXPECT_EQ(dialog->hoursEdit()->text(), "24");
        dialog->hoursEdit()->clear();
        type(dialog->hoursEdit(), "25");
        EXPECT_EQ(dialog->hoursEdit()->text(), "25"); // kept as typed: the save refuses it
        dialog->chooseWorker();
        dialog->chooseGroup();
        EXPECT_FALSE(dialog->save());
    });
    EXPECT_EQ(messenger.lastText(),
              "«Часы»: значение «25» не подходит. Введите целое число от 0 до 24.");
    EXPECT_EQ(entries(), 0);
}

TEST_F(HousekeepingJournalTest, TheDayOffCaptionStaysReadable) {
    QCheckBox* box = journal->dayOffBox();
    const int width = box->width();
    box->setChecked(true);
    const QPalette p = box->palette();
    EXPECT_EQ(p.color(box->backgroundRole()), QColor(255, 0, 0));
    // The caption against the red: far apart in lightness.
    const QColor text = p.color(box->foregroundRole());
    EXPECT_GT(std::abs(text.lightness() - QColor(255, 0, 0).lightness()), 80)
        << text.name().toStdString();
    EXPECT_EQ(box->width(), width); // marking moves nothing
}

TEST_F(HousekeepingJournalTest, EveryColumnIsInSightBesideTheScrollBar) {
    // More entries than the window has rows, so the list scrolls.
    run("insert into accounts_dep.fatigue (id_nom, id_o, id_p, d_date, i_mnth, i_year, i_smena, "
        "cnt, price, i_holiday, i_night) select :g, 7777, :w, :d, 3, 2024, 1, 8, 150, 0, 0 "
        "from generate_series(1, 60)",
        {{"g", group}, {"w", worker}, {"d", day}});
    journal->activate();
    journal->show();
    QApplication::processEvents();
    QTableView* grid = journal->grid();
    EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
    EXPECT_EQ(grid->horizontalScrollBar()->maximum(), 0);
    const int last = grid->model()->columnCount() - 1;
    EXPECT_LE(grid->columnViewportPosition(last) + grid->columnWidth(last),
              grid->viewport()->width());
    EXPECT_EQ(journal->minimumSize(), journal->maximumSize()); // a fixed size
    journal->hide();
}
