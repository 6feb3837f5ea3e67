#include "db/connection.h"
#include "journal/journal_actions.h"
#include "journal/journal_commands.h"
#include "records/price_rules.h"
#include "records/record_dialog.h"
#include "records/record_saver.h"
#include "test_support.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTest>
#include <latch>
#include <thread>

using namespace tabel;
using namespace tabel::test;

TEST(PriceRules, DayOffAndShiftFactors) {
    struct Case {
        double base;
        bool dayOff;
        int shift;
        double expected;
    } cases[] = {
        {10, false, 1, 10}, {10, false, 2, 10}, {10, true, 1, 20}, {10, false, 3, 12},
        {10, false, 4, 15}, {10, true, 4, 30},  {10, true, 3, 24}, {0.125, false, 3, 0.15},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(round4(finalPrice(c.base, c.dayOff, c.shift)), c.expected)
            << c.base << " " << c.dayOff << " " << c.shift;
}

TEST(PriceRules, RoundsToFourPlacesHalfToEven) {
    EXPECT_DOUBLE_EQ(round4(1.23456), 1.2346);
    EXPECT_DOUBLE_EQ(round4(12 * 1.23456), 14.8147);
    // Exact halves (1/32 and 3/32 are exact in binary) go to the even neighbour.
    EXPECT_DOUBLE_EQ(round4(0.03125), 0.0312);
    EXPECT_DOUBLE_EQ(round4(0.09375), 0.0938);
    EXPECT_DOUBLE_EQ(round4(2.5), 2.5);
}

TEST(PriceRules, PaintingWordInAnyCase) {
    EXPECT_TRUE(isPainting("Покраска (порошковая краска)"));
    EXPECT_TRUE(isPainting("СТ-1; КрАсКа; Заготовки"));
    EXPECT_TRUE(isPainting("КРАСКА"));
    EXPECT_FALSE(isPainting("Грунтовка"));
    EXPECT_TRUE(isPainting("Окраска")); // the word inside another counts too
}

class RecordsTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Петров Пётр Петрович");
        product = addProduct("СТ-1200х600");
        const int rez = addVid("Резка");
        const int paint = addVid("Покраска (порошковая краска)");
        cutting = addOper(product, rez, 0);
        painting = addOper(product, paint, 1);
        addNorm(cutting, 12.5);
        addNorm(painting, 3);
    }
    RecordInput input(int hours = 8, const QDate& date = QDate(2024, 3, 5)) {
        RecordInput in;
        in.workerId = worker;
        in.productId = product;
        in.operationId = cutting;
        in.finalPrice = 12.5;
        in.fio = "Петров Пётр Петрович";
        in.operationText = "СТ-1200х600; Резка; Готовая продукция";
        in.quantity = "100";
        in.rejects = "3";
        in.hours = QString::number(hours);
        in.date = date;
        return in;
    }
    // Saves as the dialog does: a refusal is shown through the messenger.
    RecordSaver::Status save(const RecordInput& in, int shift = 2) {
        const RecordSaver::Result r = RecordSaver(db).save(in, shift, today);
        if (!r.saved())
            messenger.error(r.outcome.caption, r.outcome.text);
        return r.status;
    }
    // A record's row version as a list reads it.
    QString version(int id) {
        return scalar("select xmin::text from accounts_dep.smena where id = :id", {{"id", id}})
            .toString();
    }
    int records() { return scalar("select count(*) from accounts_dep.smena").toInt(); }

    QDate today{2026, 12, 13};
    int worker = 0, product = 0, cutting = 0, painting = 0;
};

TEST_F(RecordsTest, SavesANewRecordAndItsDayCell) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); // comma decimals
    ASSERT_EQ(save(input()), RecordSaver::Status::Saved);
    QLocale::setDefault(QLocale::c());
    QSqlQuery q = exec(db, "select w_id, i_id, o_id, cena, kol_vo::text, brak, "
                           "to_char(data, 'DD.MM.YYYY'), smena, color, time, "
                           "to_char(vvod, 'DD.MM.YYYY HH24:MI'), ok, prize, id_doc, id_doc_item, "
                           "f_gds_qty_use, id_gds_use, id_cons_use from accounts_dep.smena");
    ASSERT_TRUE(q.next());
    const QStringList expected{
        "%1", "%2", "%3", "12.5", "100", "3", "05.03.2024", "2", "0", "8", "13.12.2026 00:00",
        "no", "0",  "0",  "0",    "0",   "0", "0"};
    for (int i = 0; i < expected.size(); ++i) {
        QString e = expected[i];
        if (i == 0)
            e = e.arg(worker);
        else if (i == 1)
            e = e.arg(product);
        else if (i == 2)
            e = e.arg(cutting);
        EXPECT_EQ(q.value(i).toString(), e) << "column " << i;
    }
    EXPECT_FALSE(q.next());
    EXPECT_EQ(dayCell(worker, 2, QDate(2024, 3, 5)).toInt(), 8);
    EXPECT_EQ(shiftRows(worker, 2, 3, 2024), 1);
    // A second record of the same day adds up in the existing row.
    RecordInput more = input(0);
    more.operationId = painting;
    more.operationText = "СТ-1200х600; Покраска (порошковая краска); Заготовки";
    more.color = "7035";
    ASSERT_EQ(save(more), RecordSaver::Status::Saved);
    EXPECT_EQ(dayCell(worker, 2, QDate(2024, 3, 5)).toInt(), 8);
    EXPECT_EQ(shiftRows(worker, 2, 3, 2024), 1);
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(RecordsTest, PricesAreWrittenRoundedWithAPoint) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    struct Case {
        double price;
        QString stored;
    } cases[] = {{30, "30"}, {0.125 * 1.2, "0.15"}, {1.23456, "1.2346"}};
    int day = 1;
    for (const Case& c : cases) {
        RecordInput in = input(1, QDate(2024, 3, day++));
        in.finalPrice = c.price;
        ASSERT_EQ(save(in), RecordSaver::Status::Saved);
        EXPECT_EQ(
            scalar("select cena::text from accounts_dep.smena where data = :d", {{"d", in.date}})
                .toString(),
            c.stored);
    }
    QLocale::setDefault(QLocale::c());
}

TEST_F(RecordsTest, RefusesIncompleteAndDuplicateRecords) {
    struct Case {
        const char* name;
        std::function<void(RecordInput&)> change;
    } incomplete[] = {
        {"no worker", [](RecordInput& in) { in.fio = "  "; }},
        {"no operation", [](RecordInput& in) { in.operationText.clear(); }},
        {"no quantity", [](RecordInput& in) { in.quantity.clear(); }},
        {"no rejects", [](RecordInput& in) { in.rejects = " "; }},
        {"no hours", [](RecordInput& in) { in.hours.clear(); }},
        {"painting without colour",
         [](RecordInput& in) { in.operationText = "СТ; покраска (краска); Заготовки"; }},
    };
    for (const Case& c : incomplete) {
        SCOPED_TRACE(c.name);
        messenger.messages.clear();
        RecordInput in = input();
        c.change(in);
        EXPECT_EQ(save(in), RecordSaver::Status::Invalid);
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_EQ(messenger.messages[0].text, "Все поля должны быть заполнены!");
        EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
    }
    EXPECT_EQ(records(), 0);

    // Zero quantities and rejects above the quantity pass.
    RecordInput odd = input();
    odd.quantity = "0";
    odd.rejects = "5";
    EXPECT_EQ(save(odd), RecordSaver::Status::Saved);
    messenger.messages.clear();
    EXPECT_EQ(save(input()), RecordSaver::Status::Duplicate);
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].text, "Позиция с такими параметрами уже заведена!");
    EXPECT_EQ(save(input(), 3), RecordSaver::Status::Saved); // another shift

    // Another colour of a painting operation is another record.
    RecordInput paint = input();
    paint.operationId = painting;
    paint.operationText = "СТ-1200х600; Покраска (порошковая краска); Заготовки";
    paint.color = "7035";
    EXPECT_EQ(save(paint), RecordSaver::Status::Saved);
    EXPECT_EQ(save(paint), RecordSaver::Status::Duplicate);
    paint.color = "9016";
    EXPECT_EQ(save(paint), RecordSaver::Status::Saved);
    EXPECT_EQ(records(), 4);
}

TEST_F(RecordsTest, HoursOfADayAddUp) {
    RecordInput first = input(4);
    ASSERT_EQ(save(first), RecordSaver::Status::Saved);
    RecordInput second = input(5);
    second.operationId = painting;
    second.operationText = "СТ; Покраска (порошковая краска); Заготовки";
    second.color = "1";
    ASSERT_EQ(save(second), RecordSaver::Status::Saved);
    EXPECT_EQ(dayCell(worker, 2, first.date).toInt(), 9);
    // Other days of the row stay empty.
    EXPECT_TRUE(dayCell(worker, 2, first.date.addDays(1)).isNull());
}

TEST_F(RecordsTest, AChangeKeepsTheMarkAndMovesBothCells) {
    const QDate march5(2024, 3, 5), march6(2024, 3, 6);
    const int id = addRecord(
        {.worker = worker, .oper = cutting, .date = march5, .shift = 2, .time = 8, .ok = "ok"});
    addRecord(
        {.worker = worker, .oper = painting, .date = march5, .shift = 2, .time = 3, .color = 1});
    run("update accounts_dep.smena set prize = 7, id_doc = 5 where id = :id", {{"id", id}});
    run("insert into accounts_dep.h_tabel (w_id, smena, month, year, d5) values (:w, 2, 3, 2024, "
        "11)",
        {{"w", worker}});

    // Unchanged values pass the duplicate check (the record itself is left out).
    RecordInput same = input(8, march5);
    same.mode = 2;
    same.recordId = id;
    same.version = version(id);
    EXPECT_EQ(save(same), RecordSaver::Status::Saved);
    EXPECT_EQ(
        scalar("select ok || prize || id_doc from accounts_dep.smena where id = :id", {{"id", id}})
            .toString(),
        "ok00");

    // Moved to the next day and to shift 3.
    RecordInput moved = input(6, march6);
    moved.mode = 2;
    moved.recordId = id;
    moved.version = version(id);
    ASSERT_EQ(save(moved, 3), RecordSaver::Status::Saved);
    EXPECT_EQ(dayCell(worker, 2, march5).toInt(), 3); // the cell it came from
    EXPECT_EQ(dayCell(worker, 3, march6).toInt(), 6);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena").toInt(), 2);
}

TEST_F(RecordsTest, ChangingARecordDeletedElsewhereIsReported) {
    RecordInput gone = input();
    gone.mode = 2;
    gone.recordId = 4242;
    EXPECT_EQ(save(gone), RecordSaver::Status::Missing);
    EXPECT_EQ(messenger.lastText(), kRecordGone);
    EXPECT_EQ(records(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.h_tabel").toInt(), 0);
}

TEST_F(RecordsTest, AnOperationDeletedSinceThePickIsNotWrittenTo) {
    run("delete from accounts_dep.norm where o_id = :o", {{"o", cutting}});
    run("delete from accounts_dep.oper where id = :o", {{"o", cutting}});
    EXPECT_EQ(save(input()), RecordSaver::Status::Missing);
    EXPECT_EQ(messenger.lastText(), kOperationGone);
    EXPECT_EQ(records(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.h_tabel").toInt(), 0);
}

// The duplicate check holds under the server's default isolation level and
// under a stricter one set on the database by its administrators.
class DuplicateRace : public RecordsTest, public ::testing::WithParamInterface<const char*> {};

INSTANTIATE_TEST_SUITE_P(
    Isolation, DuplicateRace, ::testing::Values("read committed", "repeatable read"),
    [](const auto& info) {
        return std::string(info.param).replace(std::string(info.param).find(' '), 1, "_");
    });

TEST_P(DuplicateRace, TwoWorkstationsSavingTheSameRecordLeaveOne) {
    run(QStringLiteral("alter database %1 set default_transaction_isolation = '%2'")
            .arg(dbName, GetParam()));
    // Each workstation has its own connection, made and used in its own thread.
    const QString socket = testSocket();
    std::atomic<int> saved = 0, duplicates = 0;
    auto workstation = [&](const QString& name, std::latch& start) {
        {
            QSqlDatabase conn = openDatabase(connectionString(dbName, socket), name);
            start.arrive_and_wait();
            const auto r = RecordSaver(conn).save(input(), 2, today).status;
            if (r == RecordSaver::Status::Saved)
                ++saved;
            else if (r == RecordSaver::Status::Duplicate)
                ++duplicates;
        }
        QSqlDatabase::removeDatabase(name);
    };
    for (int round = 0; round < 5; ++round) {
        run("delete from accounts_dep.smena");
        run("delete from accounts_dep.h_tabel");
        saved = duplicates = 0;
        std::latch start(2);
        std::thread a(workstation, QString("ws-a-%1").arg(round), std::ref(start));
        std::thread b(workstation, QString("ws-b-%1").arg(round), std::ref(start));
        a.join();
        b.join();
        EXPECT_EQ(saved, 1);
        EXPECT_EQ(duplicates, 1);
        EXPECT_EQ(records(), 1);
        EXPECT_EQ(shiftRows(worker, 2, 3, 2024), 1);
    }
}

TEST_F(RecordsTest, DeletingKeepsTheDayCellInStep) {
    const QDate march5(2024, 3, 5);
    addRecord({.worker = worker, .oper = cutting, .date = march5, .shift = 2, .time = 8});
    addRecord(
        {.worker = worker, .oper = painting, .date = march5, .shift = 2, .time = 3, .color = 1});
    addRecord(
        {.worker = worker, .oper = cutting, .date = march5.addDays(1), .shift = 2, .time = 7});
    run("insert into accounts_dep.h_tabel (w_id, smena, month, year, d5, d6) "
        "values (:w, 2, 3, 2024, 11, 7)",
        {{"w", worker}});
    ctx->state.shift = 2;
    ctx->state.pickedDate = march5;
    Dataset& list = data->shiftList(2);
    list.setParam("data", march5);
    list.open();
    JournalActions commands(*ctx);

    // No: nothing deleted, nothing touched.
    list.locate("time", 3);
    messenger.answer = false;
    EXPECT_FALSE(commands.deleteCurrent());
    EXPECT_EQ(messenger.messages.last().caption, "Удаление");
    EXPECT_EQ(messenger.messages.last().text, "Удалить позицию из списка?");
    EXPECT_EQ(records(), 3);
    EXPECT_EQ(dayCell(worker, 2, march5).toInt(), 11);

    // Yes on the 3-hour record leaves the 8 hours.
    messenger.answer = true;
    list.locate("time", 3);
    EXPECT_TRUE(commands.deleteCurrent());
    EXPECT_EQ(records(), 2);
    EXPECT_EQ(dayCell(worker, 2, march5).toInt(), 8);
    EXPECT_EQ(list.count(), 1);

    // The last record of the day leaves the cell empty; the row stays for day 6.
    EXPECT_TRUE(commands.deleteCurrent());
    EXPECT_TRUE(dayCell(worker, 2, march5).isNull());
    EXPECT_EQ(dayCell(worker, 2, march5.addDays(1)).toInt(), 7);

    // With the month's last record the row goes.
    ctx->state.pickedDate = march5.addDays(1);
    list.close();
    list.setParam("data", march5.addDays(1));
    list.open();
    EXPECT_TRUE(commands.deleteCurrent());
    EXPECT_EQ(shiftRows(worker, 2, 3, 2024), 0);

    // An empty list asks nothing.
    messenger.messages.clear();
    EXPECT_FALSE(commands.deleteCurrent());
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(RecordsTest, DoubleClickTogglesAcceptance) {
    const QDate day(2024, 3, 5);
    struct Case {
        QString before, after;
    } cases[] = {{"no", "ok"}, {"ok", "no"}, {"да", "no"}, {"x", "ok"}, {"", "ok"}};
    for (const Case& c : cases)
        addRecord({.worker = worker,
                   .oper = cutting,
                   .date = day,
                   .time = 1,
                   .color = int(&c - cases),
                   .ok = c.before});
    Dataset& list = data->shiftList(1);
    list.setParam("data", day);
    list.open();
    JournalActions commands(*ctx);
    for (const Case& c : cases) {
        const int row = int(&c - cases);
        list.setCurrentRow(row);
        commands.toggleAcceptance();
        EXPECT_EQ(list.currentRow(), row); // the position stays
        EXPECT_EQ(list.current("ok").toString(), c.after) << c.before.toStdString();
    }
    list.setCurrentRow(0);
    commands.toggleAcceptance();
    EXPECT_EQ(list.current("ok").toString(), "no");

    // The foreman's double-click does nothing.
    ctx->state.accessWord = "tavrink";
    commands.toggleAcceptance();
    EXPECT_EQ(list.current("ok").toString(), "no");
    // Nor does one on an empty list: nothing is written, nothing is said.
    ctx->state.accessWord = "pomir";
    const QString marks = "select string_agg(ok, ',' order by id) from accounts_dep.smena";
    const QString before = scalar(marks).toString();
    list.close();
    list.setParam("data", day.addDays(1));
    list.open();
    messenger.messages.clear();
    commands.toggleAcceptance();
    EXPECT_EQ(scalar(marks).toString(), before);
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(list.isEmpty());
}

class RecordDialogTest : public RecordsTest {
protected:
    void SetUp() override {
        RecordsTest::SetUp();
        dialog = std::make_unique<RecordDialog>(*ctx);
    }
    void TearDown() override {
        dialog.reset();
        RecordsTest::TearDown();
    }
    RecordDialog::OperationChoice choice(double base, const QString& vid = "Резка") {
        return {product, cutting, 0, vid, base};
    }
    std::unique_ptr<RecordDialog> dialog;
};

TEST_F(RecordDialogTest, DerivesThePriceAtThePick) {
    struct Case {
        bool dayOff;
        int shift;
        double base;
        QString basePrice, finalPrice;
    } cases[] = {
        {true, 4, 10, "10", "30"},
        {false, 3, 0.125, "0,125", "0,15"},
        {false, 1, 1.23456, "1,2346", "1,2346"},
    };
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    for (const Case& c : cases) {
        ctx->state.dayOff = c.dayOff;
        ctx->state.shift = c.shift;
        dialog->prepareNew();
        dialog->pickOperation = [&](int current) {
            EXPECT_EQ(current, 0); // a new record starts on the first row
            return std::optional(choice(c.base));
        };
        dialog->chooseOperation();
        EXPECT_EQ(dialog->basePriceEdit()->text(), c.basePrice);
        EXPECT_EQ(dialog->finalPriceEdit()->text(), c.finalPrice);
        EXPECT_EQ(dialog->operationEdit()->text(), "СТ-1200х600; Резка; Готовая продукция");
        EXPECT_EQ(dialog->quantityEdit()->text(), "0");
    }
    // Later changes of the box or the shift leave the derived price alone.
    ctx->state.shift = 4;
    dialog->quantityEdit()->setText("12");
    dialog->recompute();
    EXPECT_EQ(dialog->sumEdit()->text(), "14,8147");
    QLocale::setDefault(QLocale::c());
}

TEST_F(RecordDialogTest, OpensARecordForAChange) {
    const QDate day(2024, 3, 5);
    addRecord({.worker = worker,
               .oper = painting,
               .date = day,
               .time = 6,
               .qty = 12,
               .price = 1.23456,
               .color = 7035});
    addRecord({.worker = worker, .oper = cutting, .date = day, .time = 2});
    Dataset& list = data->shiftList(1);
    list.setParam("data", day);
    list.open();
    ctx->state.shift = 1;

    list.locate("o_id", painting);
    ASSERT_TRUE(dialog->prepareChange());
    EXPECT_EQ(dialog->windowTitle(), "Изменение данных о позиции (11)");
    EXPECT_EQ(dialog->mode(), 2);
    EXPECT_EQ(dialog->fioEdit()->text(), "Петров Пётр Петрович");
    EXPECT_EQ(dialog->operationEdit()->text(),
              "СТ-1200х600; Покраска (порошковая краска); Заготовки");
    EXPECT_EQ(dialog->finalPriceEdit()->text(), "1.2346");
    EXPECT_EQ(dialog->sumEdit()->text(), "14.8147");
    EXPECT_EQ(dialog->quantityEdit()->text(), "12");
    EXPECT_EQ(dialog->hoursEdit()->text(), "6");
    EXPECT_EQ(dialog->dateEdit()->date(), day);
    EXPECT_TRUE(dialog->colorEdit()->isEnabled());
    EXPECT_EQ(dialog->colorEdit()->text(), "7035");
    // Leaving the quantity without a pick shows no base price.
    dialog->recompute();
    EXPECT_EQ(dialog->basePriceEdit()->text(), "0");

    list.locate("o_id", cutting);
    ASSERT_TRUE(dialog->prepareChange());
    EXPECT_FALSE(dialog->colorEdit()->isEnabled());
    EXPECT_TRUE(dialog->colorEdit()->text().isEmpty());

    // Changing and saving keeps the record's id and rewrites its hours.
    dialog->hoursEdit()->setText("5");
    EXPECT_TRUE(dialog->save());
    EXPECT_EQ(
        scalar("select time from accounts_dep.smena where o_id = :o", {{"o", cutting}}).toInt(), 5);
    EXPECT_EQ(dayCell(worker, 1, day).toInt(), 11);
    EXPECT_TRUE(dialog->hoursEdit()->text().isEmpty()); // emptied after the save

    list.close();
    list.setParam("data", day.addDays(3));
    list.open();
    EXPECT_FALSE(dialog->prepareChange()); // nothing to change
}

// A number box keeps every character typed; the save refuses what is not a
// whole number of its field, and nothing is written.
TEST_F(RecordDialogTest, NumericBoxesKeepWhatIsTypedAndTheSaveRefusesIt) {
    ctx->state.pickedDate = QDate(2026, 11, 16);
    dialog->pickWorker = [this] {
        return std::optional(RecordDialog::WorkerChoice{worker, "Петров Пётр Петрович"});
    };
    dialog->pickOperation = [this](int) {
        return std::optional(
            RecordDialog::OperationChoice{product, painting, 1, "Покраска (порошковая краска)", 3});
    };
    struct Case {
        QLineEdit* (RecordDialog::*box)() const;
        const char* typed;
        const char* message;
    } cases[] = {
        {&RecordDialog::hoursEdit, "1,5",
         "«Время»: значение «1,5» не подходит. Введите целое число от 0 до 999999999."},
        {&RecordDialog::hoursEdit, "-3",
         "«Время»: значение «-3» не подходит. Введите целое число от 0 до 999999999."},
        {&RecordDialog::quantityEdit, "7.5",
         "«Кол-во»: значение «7.5» не подходит. Введите целое число от 0 до 999999999."},
        {&RecordDialog::quantityEdit, "12345678901",
         "«Кол-во»: значение «12345678901» не подходит. Введите целое число от 0 до 999999999."},
        {&RecordDialog::rejectsEdit, "40000",
         "«Брак»: значение «40000» не подходит. Введите целое число от 0 до 32767."},
        {&RecordDialog::colorEdit, "abc-1.5 12",
         "«Цвет»: значение «abc-1.5 12» не подходит. Введите целое число от 0 до 999999999."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        dialog->prepareNew();
        dialog->chooseWorker();
        dialog->chooseOperation();
        dialog->quantityEdit()->setText("40");
        dialog->hoursEdit()->setText("8");
        dialog->colorEdit()->setText("9016");
        QLineEdit* box = (dialog.get()->*c.box)();
        box->clear();
        for (QChar ch : QString::fromUtf8(c.typed))
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        EXPECT_EQ(box->text(), QString::fromUtf8(c.typed));
        EXPECT_FALSE(dialog->save());
        EXPECT_EQ(messenger.lastText(), QString::fromUtf8(c.message));
    }
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena").toInt(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.h_tabel").toInt(), 0);
}

TEST_F(RecordDialogTest, ANewRecordFromPickToJournal) {
    const QDate day(2026, 12, 14);
    ctx->state.pickedDate = day;
    ctx->state.shift = 1;
    Dataset& list = data->shiftList(1);
    list.setParam("data", day);
    list.open();
    dialog->pickWorker = [this] {
        return std::optional(RecordDialog::WorkerChoice{worker, " Петров Пётр Петрович "});
    };
    dialog->pickOperation = [this](int) {
        return std::optional(
            RecordDialog::OperationChoice{product, painting, 1, "Покраска (порошковая краска)", 3});
    };
    dialog->prepareNew();
    EXPECT_EQ(dialog->rejectsEdit()->text(), "0");
    EXPECT_EQ(dialog->hoursEdit()->text(), "0");
    EXPECT_EQ(dialog->dateEdit()->date(), day);
    dialog->chooseWorker();
    dialog->chooseOperation();
    EXPECT_TRUE(dialog->colorEdit()->isEnabled());
    dialog->quantityEdit()->setText("40");
    dialog->hoursEdit()->setText("8");
    EXPECT_FALSE(dialog->save()); // painting needs a colour
    dialog->colorEdit()->setText("9016");
    EXPECT_TRUE(dialog->save());
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.value(0, "fio").toString(), "Петров Пётр Петрович");
    EXPECT_DOUBLE_EQ(list.value(0, "summa").toDouble(), 120.0);
    EXPECT_EQ(list.value(0, "ok").toString(), "no");
    EXPECT_EQ(list.value(0, "data").toDate(), day);
    EXPECT_EQ(dayCell(worker, 1, day).toInt(), 8);
}
