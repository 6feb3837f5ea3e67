#include "test_support.h"

#include "db/closed_month_checks.h"
#include "db/statements.h"
#include "housekeeping/housekeeping_dialog.h"
#include "housekeeping/housekeeping_journal.h"
#include "kit/error_boxes.h"
#include "operations/norm_prices.h"
#include "operations/operations_list.h"
#include "records/record_dialog.h"
#include "records/repeat_shift.h"
#include "reports/pay_statement.h"

#include <QLineEdit>

using namespace tabel;
using namespace tabel::test;

namespace {

// One operation of one product with one norm priced 10 from the beginning;
// the month before the present one is "last month".
class NormPricesTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        setErrorMessenger(&messenger);
        worker = addWorker("Абрамов Иван Петрович", "Цех №1");
        cut = addOper(addProduct("СТ-1"), addVid("Резка"));
        addNorm(cut, 10);
        norm = scalar("select id from accounts_dep.norm where o_id = :o", {{"o", cut}}).toInt();
    }
    void TearDown() override {
        setErrorMessenger(nullptr);
        DbTest::TearDown();
    }

    void setPrice(const QDate& from, const QString& price, int which = 0) {
        const Outcome o = NormPrices(db).setFrom(which ? which : norm, from, price);
        ASSERT_TRUE(o.done()) << o.text.toStdString();
    }

    // The operations picker read for `day`: the operation's "Цена (min)".
    QString pickerPrice(OperationsList& list, const QDate& day) {
        list.beginPick(cut, day);
        const QString price = data->oper().current("cena").toString();
        list.endPick();
        return price;
    }

    const QDate today = QDate::currentDate();
    const QDate thisMonth = QDate(today.year(), today.month(), 1);
    const QDate lastMonth = thisMonth.addMonths(-1);
    int worker = 0;
    int cut = 0;
    int norm = 0;
};

// A price from a date is the one picked from that date on and not before,
// up to the next one; a future price takes over on its date by itself. The
// picker, the database's own function and the directory (today) agree.
TEST_F(NormPricesTest, PriceFromADateIsPickedOnEitherSideOfIt) {
    const QDate rise = lastMonth.addDays(4);
    const QDate second = lastMonth.addDays(14); // a second change in the month
    const QDate future = today.addDays(40);
    setPrice(rise, "12");
    setPrice(second, "13,5");
    setPrice(future, "15");
    struct Case {
        QDate day;
        const char* price;
    } cases[] = {
        {rise.addDays(-1), "10"}, {rise, "12"},
        {rise.addDays(1), "12"},  {second.addDays(-1), "12"},
        {second, "13.5"},         {second.addDays(1), "13.5"},
        {today, "13.5"},          {future.addDays(-1), "13.5"},
        {future, "15"},           {future.addDays(1), "15"},
    };
    OperationsList list(*ctx);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.day.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(pickerPrice(list, c.day), c.price);
        EXPECT_EQ(scalar("select accounts_dep.oper_price_on(:o, :d)::numeric::text",
                         {{"o", cut}, {"d", c.day}})
                      .toString(),
                  c.price);
    }
    // Others read the price holding now in the norm itself.
    EXPECT_EQ(
        scalar("select price::numeric::text from accounts_dep.norm where id = :n", {{"n", norm}})
            .toString(),
        "13.5");
    list.beginDirectory();
    ASSERT_TRUE(data->oper().locate("id", cut));
    EXPECT_EQ(data->oper().current("cena").toString(), "13.5");
    list.endDirectory();

    // The history lists every price, latest date first, the future one
    // marked as such and the first one as holding from the beginning.
    const std::vector<NormPriceEntry> history = NormPrices(db).history(norm);
    ASSERT_EQ(history.size(), 4u);
    EXPECT_TRUE(history[0].future);
    EXPECT_EQ(history[0].price, "15");
    EXPECT_TRUE(history[1].current);
    EXPECT_FALSE(history[1].setBy.isEmpty());
    EXPECT_EQ(NormPrices::fromText(history[3].from), "с начала");
    EXPECT_EQ(history[3].price, "10");

    // The same date again replaces its price; a price that is no number is
    // refused, nothing written.
    setPrice(second, "14");
    EXPECT_EQ(pickerPrice(list, second), "14");
    EXPECT_FALSE(NormPrices(db).setFrom(norm, second, "abc").done());
    EXPECT_EQ(NormPrices(db).history(norm).size(), 4u);
}

// A record of last month entered now is priced by last month's rate, in the
// record dialog as in the picker, and "Повторить смену" prices the same.
TEST_F(NormPricesTest, LateRecordOfLastMonthIsPricedAtLastMonthsRate) {
    setPrice(thisMonth, "12");
    OperationsList list(*ctx);
    RecordDialog dialog(*ctx);
    // As the program wires them: the picker reads the dialog's date.
    dialog.pickOperation = [&](int current) -> std::optional<RecordDialog::OperationChoice> {
        list.beginPick(current, dialog.dateEdit()->date());
        list.choose();
        if (const auto op = list.endPick())
            return RecordDialog::OperationChoice{op->productId, op->operationId, op->naimen,
                                                 op->vid, op->basePrice};
        return std::nullopt;
    };
    struct Case {
        QDate day;
        int shift;
        const char* picker;
        double base;
        double saved;
    } cases[] = {
        {thisMonth.addDays(-1), 1, "10", 10, 10},
        {thisMonth.addDays(-1), 3, "10", 10, 12},
        {thisMonth, 1, "12", 12, 12},
        {thisMonth, 4, "12", 12, 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.day.toString(Qt::ISODate).toStdString() + " shift " +
                     std::to_string(c.shift));
        ctx->state.shift = c.shift;
        ctx->state.pickedDate = today;
        dialog.prepareNew();
        dialog.dateEdit()->setDate(c.day);
        dialog.chooseOperation();
        EXPECT_DOUBLE_EQ(dialog.finalPrice(), c.saved);
        EXPECT_EQ(pickerPrice(list, c.day), c.picker);

        RecordInput in = recordInput(worker, cut, c.day);
        in.finalPrice = dialog.finalPrice();
        ASSERT_TRUE(RecordSaver(db).save(in, c.shift, today).saved());
        EXPECT_DOUBLE_EQ(scalar("select cena from accounts_dep.smena where data = :d and "
                                "smena = :s",
                                {{"d", c.day}, {"s", c.shift}})
                             .toDouble(),
                         c.saved);
        // The next day's repeat of that shift takes the next day's rate.
        const RepeatSource repeat = lastShiftOf(db, worker, c.shift, c.day.addDays(1));
        ASSERT_EQ(repeat.lines.size(), 1);
        EXPECT_DOUBLE_EQ(repeat.lines[0].basePrice.toDouble(),
                         c.day.addDays(1) >= thisMonth ? 12 : 10);
    }
}

// A record priced before a rate change is explained by the rate of its own
// date, not by today's.
TEST_F(NormPricesTest, PayStatementExplainsByTheRateOfTheRecordsDate) {
    addRecord({.worker = worker, .oper = cut, .date = lastMonth.addDays(2), .price = 10});
    setPrice(thisMonth, "12");
    const QList<reports::PayStatement> statements =
        reports::readPayStatements(db, lastMonth, worker);
    ASSERT_EQ(statements.size(), 1);
    ASSERT_EQ(statements[0].pieces.size(), 1);
    const reports::PieceLine& line = statements[0].pieces[0];
    ASSERT_TRUE(line.base.has_value());
    EXPECT_EQ(line.base->toString(2, QLocale::c()), "10.00");
    EXPECT_TRUE(line.factor.has_value());
}

// The housekeeping rate is a norm too: the entry dialog offers the rate of
// the journal's date.
TEST_F(NormPricesTest, HousekeepingRateHoldsFromItsDate) {
    const int chores = addOper(addProduct("Хоз"), 7777);
    addNorm(chores, 150);
    setPrice(thisMonth, "160",
             scalar("select id from accounts_dep.norm where o_id = :o", {{"o", chores}}).toInt());
    HousekeepingJournal journal(*ctx);
    HousekeepingDialog* dialog = journal.entryDialog();
    for (const auto& [day, rate] : {std::pair{thisMonth.addDays(-1), "150"}, {thisMonth, "160"}}) {
        journal.setDate(day);
        dialog->openTypes(journal.pickedDate());
        ASSERT_EQ(dialog->types().size(), 1u);
        EXPECT_EQ(dialog->types()[0].price, rate);
        dialog->closeTypes();
    }
}

// The database keeps the history's rules whoever writes: one price per norm
// and date, no price that changes what held in a closed month, and a price
// written straight into the norm holds from today.
TEST_F(NormPricesTest, DatabaseGuardsThePriceHistory) {
    setPrice(lastMonth.addDays(5), "11");
    EXPECT_THROW(run("insert into accounts_dep.norm_price (norm_id, valid_from, price) values "
                     "(:n, :d, 1)",
                     {{"n", norm}, {"d", lastMonth.addDays(5)}}),
                 DbError);
    run("select accounts_dep.close_month(:y, :m)",
        {{"y", lastMonth.year()}, {"m", lastMonth.month()}});
    const QString closed = closedMonthText(monthKey(lastMonth));
    struct Case {
        QDate from;
        bool refused;
    } cases[] = {
        {lastMonth.addDays(10), true},  // dated into the closed month
        {lastMonth.addDays(-20), true}, // before it, holding through it
        {thisMonth, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from.toString(Qt::ISODate).toStdString());
        const Outcome o = NormPrices(db).setFrom(norm, c.from, "20");
        EXPECT_EQ(!o.done(), c.refused);
        if (c.refused) {
            EXPECT_EQ(o.text, closed);
        }
    }
    EXPECT_THROW(run("update accounts_dep.norm_price set price = 1 where norm_id = :n and "
                     "valid_from = '-infinity'",
                     {{"n", norm}}),
                 DbError);
    // A new norm's first price and a norm's deletion pass.
    addNorm(cut, 9);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.norm_price p join accounts_dep.norm n "
                     "on n.id = p.norm_id where n.o_id = :o",
                     {{"o", cut}})
                  .toInt(),
              4);
    run("delete from accounts_dep.norm where o_id = :o and price = 9", {{"o", cut}});
    // The norms grid writes the price straight into the norm: from today.
    run("update accounts_dep.norm set price = 21 where id = :n", {{"n", norm}});
    EXPECT_EQ(scalar("select price::numeric::text from accounts_dep.norm_price where norm_id = "
                     ":n and valid_from = current_date",
                     {{"n", norm}})
                  .toString(),
              "21");
    EXPECT_EQ(scalar("select accounts_dep.oper_price_on(:o, :d)::numeric::text",
                     {{"o", cut}, {"d", thisMonth.addDays(-1)}})
                  .toString(),
              "11");
}

} // namespace
