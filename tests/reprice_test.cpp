#include "test_support.h"

#include "db/closed_month_checks.h"
#include "operations/norm_prices.h"
#include "records/brigade_job.h"
#include "records/reprice_window.h"
#include "records/repricing.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

using namespace tabel;
using namespace tabel::test;

namespace {

// Last month's records of two workers priced at 10 before a rate of 12 was
// set from the month's first day: a weekday record, a day-off record in
// shift 3, a brigade job of both, a record of an operation whose rate stayed,
// and a record at a price no factor explains.
class RepriceTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        abramov = addWorker("Абрамов Иван Петрович", "Цех №1");
        borisov = addWorker("Борисов Олег Ильич", "Цех №1");
        cut = addOper(addProduct("СТ-1"), addVid("Резка"));
        addNorm(cut, 10);
        weld = addOper(addProduct("СТ-2"), addVid("Сварка"));
        addNorm(weld, 5);
        weekday = addRecord(
            {.worker = abramov, .oper = cut, .date = month.addDays(1), .qty = 10, .price = 10});
        dayOff = addRecord({.worker = abramov,
                            .oper = cut,
                            .date = month.addDays(2),
                            .shift = 3,
                            .qty = 5,
                            .brak = 1,
                            .price = 24});
        untouched =
            addRecord({.worker = borisov, .oper = weld, .date = month.addDays(1), .price = 5});
        odd = addRecord({.worker = borisov, .oper = cut, .date = month.addDays(3), .price = 7.77});
        BrigadeJobInput in;
        in.date = month.addDays(4);
        in.productId =
            scalar("select i_id from accounts_dep.oper where id = :o", {{"o", cut}}).toInt();
        in.operationId = cut;
        in.finalPrice = 10;
        in.operationText = "СТ-1; Резка; Готовая продукция";
        in.quantity = "20";
        in.rejects = "0";
        in.members = {{abramov, "Абрамов", "8", "1"}, {borisov, "Борисов", "8", "1"}};
        const BrigadeJobs::Result saved = BrigadeJobs(db).save(in, month.addDays(4));
        ASSERT_TRUE(saved.saved()) << saved.outcome.text.toStdString();
        job = saved.jobId;
        const int norm =
            scalar("select id from accounts_dep.norm where o_id = :o", {{"o", cut}}).toInt();
        ASSERT_TRUE(NormPrices(db).setFrom(norm, month, "12").done());
    }

    double price(int record) {
        return scalar("select cena from accounts_dep.smena where id = :id", {{"id", record}})
            .toDouble();
    }
    // Every record's price, in id order.
    QStringList prices() {
        QStringList out;
        QSqlQuery q = exec(db, "select cena::text from accounts_dep.smena order by id");
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    int history(const QString& table) {
        return scalar("select count(*) from accounts_dep.change_log where table_name = :t and "
                      "action = 'update' and new_values ->> 'cena' is not null",
                      {{"t", table}})
            .toInt();
    }

    const QDate month =
        QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1).addMonths(-1);
    int abramov = 0, borisov = 0, cut = 0, weld = 0;
    int weekday = 0, dayOff = 0, untouched = 0, odd = 0, job = 0;
};

TEST_F(RepriceTest, ListsExactlyTheRecordsWhosePriceDiffersAndChangesNothing) {
    const QStringList before = prices();
    const RepricePlan plan = Repricing(db).plan(month);
    // Two records of Abramov, the job's two shares, and the odd record.
    ASSERT_EQ(plan.lines.size(), 5u);
    EXPECT_EQ(plan.changes(), 4);
    EXPECT_EQ(plan.unexplained(), 1);
    EXPECT_EQ(plan.jobs(), 1);
    std::map<qint64, std::optional<double>> got;
    for (const RepriceLine& l : plan.lines)
        got[l.recordId] = l.newPrice;
    EXPECT_DOUBLE_EQ(*got.at(weekday), 12);
    EXPECT_DOUBLE_EQ(*got.at(dayOff), 28.8); // 12 × 2 × 1.2, read from 24 = 10 × 2 × 1.2
    EXPECT_FALSE(got.at(odd).has_value());
    EXPECT_EQ(got.count(untouched), 0u);
    // 10 × 2 + 4 × 4.8 + 10 × 2 (the job's share of 10) = 59.20 for Abramov.
    EXPECT_EQ(plan.workerDifferences().at(abramov), 5920);
    EXPECT_EQ(plan.workerDifferences().at(borisov), 2000);
    EXPECT_EQ(prices(), before);
    // One operation only: the other one has nothing to re-price.
    EXPECT_TRUE(Repricing(db).plan(month, weld).lines.empty());
}

TEST_F(RepriceTest, ApplyRepricesInOneGoWithHistoryAndOnlyOnce) {
    const int recordsBefore = history("smena");
    const Repricing::Applied applied = Repricing(db).apply(month);
    ASSERT_TRUE(applied.outcome.done()) << applied.outcome.text.toStdString();
    EXPECT_EQ(applied.plan.changes(), 4);
    EXPECT_DOUBLE_EQ(price(weekday), 12);
    EXPECT_DOUBLE_EQ(price(dayOff), 28.8);
    EXPECT_DOUBLE_EQ(price(untouched), 5);
    EXPECT_DOUBLE_EQ(price(odd), 7.77);
    EXPECT_DOUBLE_EQ(
        scalar("select cena from accounts_dep.brigade_job where id = :j", {{"j", job}}).toDouble(),
        12);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena where id_doc = :j and cena = 12",
                     {{"j", job}})
                  .toInt(),
              2);
    EXPECT_EQ(history("smena") - recordsBefore, 4);
    EXPECT_EQ(history("brigade_job"), 1);
    // Re-priced, the month has only the record nothing explains left.
    const RepricePlan again = Repricing(db).plan(month);
    EXPECT_EQ(again.changes(), 0);
    EXPECT_EQ(again.unexplained(), 1);
}

TEST_F(RepriceTest, ClosedMonthIsRefusedNamingIt) {
    run("select accounts_dep.close_month(:y, :m)", {{"y", month.year()}, {"m", month.month()}});
    const QStringList before = prices();
    const Repricing::Applied applied = Repricing(db).apply(month);
    EXPECT_FALSE(applied.outcome.done());
    EXPECT_EQ(applied.outcome.text, closedMonthText(monthKey(month)));
    EXPECT_EQ(prices(), before);
}

// The window lists the month, changes nothing until the user confirms, then
// offers the average-piecework recalculation the new prices call for.
TEST_F(RepriceTest, WindowRepricesOnlyAfterTheUserConfirms) {
    addFatigue(abramov, 7778, addGroup("Стеллажи"), month.addDays(5), 4, "1", 0);
    RepriceWindow window(*ctx);
    QDate recalculated;
    window.recalculateAverage = [&](const QDate& day) { recalculated = day; };
    window.setMonth(month.addDays(3));
    window.showPlan();
    EXPECT_EQ(window.table()->rowCount(), 5);
    EXPECT_TRUE(window.applyButton()->isEnabled());
    EXPECT_TRUE(window.summary()->text().contains("Записей с другой ценой по нормам: 4"));
    // Beside the records, each worker's count and difference in pay.
    const auto differences = window.plan().workerDifferences();
    ASSERT_EQ(window.workers()->rowCount(), static_cast<int>(differences.size()));
    int counted = 0;
    for (int r = 0; r < window.workers()->rowCount(); ++r)
        counted += window.workers()->item(r, 1)->text().toInt();
    EXPECT_EQ(counted, 4);

    messenger.answer = false;
    EXPECT_FALSE(window.applyPlan());
    EXPECT_DOUBLE_EQ(price(weekday), 10);

    messenger.answer = true;
    EXPECT_TRUE(window.applyPlan());
    EXPECT_DOUBLE_EQ(price(weekday), 12);
    EXPECT_EQ(recalculated, month);
    EXPECT_TRUE(messenger.messages.last().text.contains("Средние сдельные расценки"));
    EXPECT_EQ(window.table()->rowCount(), 1); // only the record nothing explains
    EXPECT_FALSE(window.applyButton()->isEnabled());
}

// The scripts' commands: nothing changes without --apply, the sheets and
// the reconciliation agree after it, a closed month and bad arguments are
// refused with nothing written.
TEST_F(RepriceTest, BatchCommands) {
    const QString m = QString::number(month.month());
    const QString y = QString::number(month.year());
    // The fixture's records were written without their day cells.
    BatchRun r = runBatch(dbName, {"rebuild-shifts", "--month", m, "--year", y});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList before = prices();
    r = runBatch(dbName, {"reprice", "--month", m, "--year", y});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("записей с другой ценой по нормам — 4")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Ничего не изменено")) << r.out.toStdString();
    EXPECT_EQ(prices(), before);

    r = runBatch(dbName, {"reprice", "--month", m, "--year", y, "--apply"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_DOUBLE_EQ(price(weekday), 12);
    for (const char* command : {"check-timesheets", "reconcile"}) {
        r = runBatch(dbName, {command, "--month", m, "--year", y});
        EXPECT_EQ(r.exitCode, 0) << command << r.out.toStdString() << r.err.toStdString();
    }

    const int norm =
        scalar("select id from accounts_dep.norm where o_id = :o", {{"o", weld}}).toInt();
    run("select accounts_dep.close_month(:y, :m)", {{"y", month.year()}, {"m", month.month()}});
    const QString inMonth = month.addDays(9).toString(Qt::ISODate);
    struct Case {
        QStringList args;
        int exitCode;
    } cases[] = {
        {{"reprice", "--month", m, "--year", y, "--apply"}, 1},
        {{"norm-price", "--norm", QString::number(norm), "--from", inMonth, "--price", "6"}, 1},
        {{"norm-price", "--norm", "999999", "--from", "2030-01-01", "--price", "6"}, 1},
        {{"norm-price", "--norm", QString::number(norm), "--from", "2030-01-01", "--price",
          "шесть"},
         2},
        {{"norm-price", "--norm", QString::number(norm), "--from", "31.02.2030", "--price", "6"},
         2},
    };
    const int pricesBefore = scalar("select count(*) from accounts_dep.norm_price").toInt();
    for (const Case& c : cases) {
        r = runBatch(dbName, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << r.err.toStdString();
    }
    EXPECT_EQ(scalar("select count(*) from accounts_dep.norm_price").toInt(), pricesBefore);
    r = runBatch(dbName, {"reprice", "--month", m, "--year", y});
    EXPECT_TRUE(r.err.contains(closedMonthText(monthKey(month)))) << r.err.toStdString();

    r = runBatch(dbName, {"norm-price", "--norm", QString::number(norm), "--from", "2030-01-01",
                          "--price", "6,5"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(
        scalar("select accounts_dep.oper_price_on(:o, '2030-01-01')::numeric::text", {{"o", weld}})
            .toString(),
        "6.5");
}

} // namespace
