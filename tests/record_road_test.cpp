// The production record's road under conditions a plant meets: numbers that
// must travel exactly, other workstations writing at the same moment, and
// the journal's position over rereadings.

#include "db/connection.h"
#include "db/locks.h"
#include "journal/journal_actions.h"
#include "journal/journal_commands.h"
#include "operations/operation_store.h"
#include "operations/operations_list.h"
#include "records/record_dialog.h"
#include "records/record_saver.h"
#include "test_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <latch>
#include <thread>

using namespace tabel;
using namespace tabel::test;

namespace {
const QDate kDay(2024, 3, 5);
} // namespace

class RecordRoadTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Петров Пётр Петрович");
        product = addProduct("СТ-1200х600");
        cutting = addOper(product, addVid("Резка"), 0);
        addNorm(cutting, 12.5);
    }
    RecordInput input(const QString& quantity = "100", const QString& hours = "8") {
        return recordInput(worker, cutting, kDay, quantity, hours);
    }
    int records() { return scalar("select count(*) from accounts_dep.smena").toInt(); }
    QString quantityOf(int id) {
        return scalar("select kol_vo::text from accounts_dep.smena where id = :id", {{"id", id}})
            .toString();
    }
    // The journal's four lists as the window opens them, on shift `shift`.
    Dataset& openJournal(int shift) {
        ctx->state.shift = shift;
        ctx->state.pickedDate = kDay;
        data->openShiftLists(kDay);
        return data->shiftList(shift);
    }
    int worker = 0, product = 0, cutting = 0;
};

TEST_F(RecordRoadTest, AChangeKeepsTheQuantityExactlyOrRefusesIt) {
    struct Case {
        const char* stored;
        const char* shown;
        bool saved;
    } cases[] = {
        {"100000", "100000", true},
        {"300000", "300000", true},
        {"1000000", "1000000", true},
        {"999999999", "999999999", true},
        {"2.5", "2.5", false},               // written by another application
        {"7.000", "7", true},                // a whole number with a scale
        {"1000000000", "1000000000", false}, // more than the box takes
    };
    RecordDialog dialog(*ctx);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        run("delete from accounts_dep.smena");
        const int id = addRecord({.worker = worker, .oper = cutting, .date = kDay, .time = 2});
        run("update accounts_dep.smena set kol_vo = (:q)::numeric where id = :id",
            {{"q", c.stored}, {"id", id}});
        openJournal(1);
        ASSERT_TRUE(dialog.prepareChange());
        EXPECT_EQ(dialog.quantityEdit()->text(), c.shown);
        dialog.hoursEdit()->setText("5");
        messenger.messages.clear();
        EXPECT_EQ(dialog.save(), c.saved);
        const QString now = quantityOf(id);
        if (c.saved) {
            EXPECT_EQ(now.toLongLong(), QString(c.shown).toLongLong());
            EXPECT_TRUE(messenger.messages.isEmpty());
        } else {
            EXPECT_EQ(now, c.stored); // nothing else stored in its place
            ASSERT_EQ(messenger.messages.size(), 1);
            EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
            EXPECT_TRUE(messenger.messages[0].text.contains("«Кол-во»"));
        }
    }
}

TEST_F(RecordRoadTest, TheSaverRefusesWhatItCannotStoreExactly) {
    struct Case {
        const char* what;
        QString RecordInput::*field;
        const char* text;
        const char* caption;
    } cases[] = {
        {"hours past an integer", &RecordInput::hours, "2147483648", "«Время»"},
        {"hours with a fraction", &RecordInput::hours, "12,5", "«Время»"},
        {"a twenty-digit quantity", &RecordInput::quantity, "12345678901234567890", "«Кол-во»"},
        {"a quantity in exponent form", &RecordInput::quantity, "1e+05", "«Кол-во»"},
        {"a negative quantity", &RecordInput::quantity, "-5", "«Кол-во»"},
        {"rejects past a smallint", &RecordInput::rejects, "40000", "«Брак»"},
        {"a colour with a point", &RecordInput::color, "70.35", "«Цвет»"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordInput in = input();
        in.*c.field = c.text;
        const RecordSaver::Result r = RecordSaver(db).save(in, 1, kDay);
        EXPECT_EQ(r.status, RecordSaver::Status::Invalid);
        EXPECT_EQ(r.outcome.caption, "Ошибка");
        EXPECT_TRUE(r.outcome.text.contains(c.caption)) << r.outcome.text.toStdString();
    }
    EXPECT_EQ(records(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.h_tabel").toInt(), 0);
}

TEST_F(RecordRoadTest, ADayTotalTooLargeForItsCellIsRefused) {
    const int second = addOper(product, addVid("Гибка"), 0);
    const int third = addOper(product, addVid("Сварка"), 0);
    for (int op : {cutting, second}) {
        RecordInput in = input("1", "999999999");
        in.operationId = op;
        ASSERT_TRUE(RecordSaver(db).save(in, 1, kDay).saved());
    }
    EXPECT_EQ(dayCell(worker, 1, kDay).toLongLong(), 1999999998);
    RecordInput in = input("1", "999999999");
    in.operationId = third;
    const RecordSaver::Result r = RecordSaver(db).save(in, 1, kDay);
    EXPECT_FALSE(r.saved());
    EXPECT_TRUE(r.outcome.text.contains("2999999997")) << r.outcome.text.toStdString();
    EXPECT_EQ(records(), 2); // the record went back with its cell
    EXPECT_EQ(dayCell(worker, 1, kDay).toLongLong(), 1999999998);
}

TEST_F(RecordRoadTest, EveryPickReadsTheOperationsAgain) {
    OperationsList list(*ctx);
    auto pickFirst = [&] {
        list.beginPick(cutting);
        list.choose();
        return list.endPick();
    };
    auto first = pickFirst();
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(first->basePrice, 12.5);

    // Another workstation raises the norm and adds an operation.
    QSqlDatabase other = otherWorkstation();
    tabel::exec(other, "update accounts_dep.norm set price = 15 where o_id = :o", {{"o", cutting}});
    const int welding =
        tabel::scalar(other,
                      "insert into accounts_dep.oper (vid, naimen, i_id, cena_new) values "
                      "((select id from accounts_dep.vid_oper where vid = 'Резка'), 1, :i, 0) "
                      "returning id",
                      {{"i", product}})
            .toInt();
    tabel::exec(other,
                "insert into accounts_dep.norm (o_id, norma, prize, price) values (:o, 1, 0, 3)",
                {{"o", welding}});

    auto second = pickFirst();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->operationId, cutting);
    EXPECT_DOUBLE_EQ(second->basePrice, 15);
    EXPECT_EQ(data->oper().count(), 2);
    EXPECT_TRUE(data->oper().locate("id", welding));
}

TEST_F(RecordRoadTest, TheJournalStaysOnTheSameRecordOverRereadings) {
    // Five records of one worker in shift 2; the finer order and the id
    // decide among them.
    QList<int> ids;
    for (const char* mark : {"Ц-4", "А-1", "М-3", "Б-2", "Я-5"}) {
        const int op =
            addOper(addProduct(QString::fromUtf8(mark)), addVid(QString::fromUtf8(mark)));
        addNorm(op, 1);
        ids << addRecord({.worker = worker, .oper = op, .date = kDay, .shift = 2});
    }
    Dataset& list = openJournal(2);
    ASSERT_EQ(list.count(), 5);
    EXPECT_EQ(list.value(0, "marka").toString(), "А-1");
    JournalActions actions(*ctx);

    for (int row : {0, 3}) {
        list.setCurrentRow(row);
        const int id = list.current("id").toInt();
        actions.toggleAcceptance();
        EXPECT_EQ(list.current("id").toInt(), id);
        EXPECT_EQ(list.current("ok").toString(), "ok");
        EXPECT_EQ(
            scalar("select ok from accounts_dep.smena where id = :id", {{"id", id}}).toString(),
            "ok");
    }

    // "No" to a deletion stays on the record too; "Yes" deletes that one.
    list.setCurrentRow(2);
    const int third = list.current("id").toInt();
    messenger.answer = false;
    EXPECT_FALSE(actions.deleteCurrent());
    EXPECT_EQ(list.current("id").toInt(), third);
    messenger.answer = true;
    EXPECT_TRUE(actions.deleteCurrent());
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena where id = :id", {{"id", third}}), 0);
    EXPECT_EQ(records(), 4);
}

TEST_F(RecordRoadTest, EnterOnAFocusedPickerButtonOpensThePicker) {
    RecordDialog dialog(*ctx);
    int workerPicks = 0, operationPicks = 0;
    dialog.pickWorker = [&] {
        ++workerPicks;
        return std::optional<RecordDialog::WorkerChoice>();
    };
    dialog.pickOperation = [&](int) {
        ++operationPicks;
        return std::optional<RecordDialog::OperationChoice>();
    };
    dialog.prepareNew();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* workerButton = dialog.findChild<QPushButton*>("Button3");
    auto* operationButton = dialog.findChild<QPushButton*>("Button4");
    ASSERT_TRUE(workerButton && operationButton);
    ASSERT_EQ(dialog.focusWidget(), workerButton);

    QTest::keyClick(workerButton, Qt::Key_Return);
    EXPECT_EQ(workerPicks, 1);
    operationButton->setFocus();
    QTest::keyClick(operationButton, Qt::Key_Enter);
    EXPECT_EQ(operationPicks, 1);
    EXPECT_TRUE(messenger.messages.isEmpty()); // no save was tried
    EXPECT_TRUE(dialog.isVisible());

    // In an input box Enter still means "Запись".
    dialog.quantityEdit()->setFocus();
    QTest::keyClick(dialog.quantityEdit(), Qt::Key_Return);
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].text, kFillAllFields);

    // A focused "Отмена" cancels on Enter rather than saving.
    auto* cancel = dialog.findChild<QPushButton*>("Button2");
    ASSERT_TRUE(cancel);
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(messenger.messages.size(), 1);
}

TEST_F(RecordRoadTest, WritesOverARecordChangedElsewhereAreRefused) {
    const int id = addRecord({.worker = worker, .oper = cutting, .date = kDay, .qty = 10});
    QSqlDatabase other = otherWorkstation();
    Dataset& list = openJournal(1);

    // A change: another workstation rewrote the quantity meanwhile.
    RecordDialog dialog(*ctx);
    ASSERT_TRUE(dialog.prepareChange());
    tabel::exec(other, "update accounts_dep.smena set kol_vo = 40 where id = :id", {{"id", id}});
    dialog.hoursEdit()->setText("3");
    EXPECT_FALSE(dialog.save());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
    EXPECT_EQ(messenger.messages[0].text, "Позиция изменена с другого рабочего места.");
    EXPECT_EQ(quantityOf(id), "40");
    EXPECT_EQ(scalar("select time from accounts_dep.smena where id = :id", {{"id", id}}).toInt(),
              8);
    EXPECT_EQ(list.current("kol_vo").toString(), "40"); // the list was read again

    // A double-click: the other workstation accepted the record meanwhile.
    JournalActions actions(*ctx);
    messenger.messages.clear();
    tabel::exec(other, "update accounts_dep.smena set ok = 'ok' where id = :id", {{"id", id}});
    actions.toggleAcceptance(); // the list still shows "no"
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].text, "Позиция изменена с другого рабочего места.");
    EXPECT_EQ(scalar("select ok from accounts_dep.smena where id = :id", {{"id", id}}).toString(),
              "ok");
    EXPECT_EQ(list.current("ok").toString(), "ok");

    // Read afresh, the same double-click goes through.
    messenger.messages.clear();
    actions.toggleAcceptance();
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_EQ(scalar("select ok from accounts_dep.smena where id = :id", {{"id", id}}).toString(),
              "no");

    // Deleted elsewhere: told so, nothing written.
    tabel::exec(other, "delete from accounts_dep.smena where id = :id", {{"id", id}});
    actions.toggleAcceptance();
    EXPECT_EQ(messenger.lastText(), kRecordGone);
    EXPECT_TRUE(list.isEmpty());
}

// Saves and operation deletions from two workstations at once: never a
// deadlock, and never a record left pointing at a deleted operation.
TEST_F(RecordRoadTest, ASaveRacingAnOperationDeleteEndsCleanly) {
    const QString socket = testSocket();
    std::atomic<int> errors = 0;
    auto connect = [&](const QString& name) {
        return openDatabase(connectionString(dbName, socket), name);
    };
    for (int round = 0; round < 8; ++round) {
        const int op = addOper(product, addVid(QString("Операция %1").arg(round)), 0);
        addNorm(op, 2);
        std::latch start(2);
        std::thread saver([&, round] {
            const QString name = QString("saver-%1").arg(round);
            {
                QSqlDatabase conn = connect(name);
                RecordInput in = input();
                in.operationId = op;
                start.arrive_and_wait();
                try {
                    for (int i = 0; i < 3; ++i) {
                        in.color = QString::number(i);
                        RecordSaver(conn).save(in, 1, kDay);
                    }
                } catch (const DbError& e) {
                    ADD_FAILURE() << e.text().toStdString();
                    ++errors;
                }
            }
            QSqlDatabase::removeDatabase(name);
        });
        std::thread deleter([&, round] {
            const QString name = QString("deleter-%1").arg(round);
            {
                QSqlDatabase conn = connect(name);
                start.arrive_and_wait();
                try {
                    OperationStore(conn).remove(op);
                } catch (const DbError& e) {
                    ADD_FAILURE() << e.text().toStdString();
                    ++errors;
                }
            }
            QSqlDatabase::removeDatabase(name);
        });
        saver.join();
        deleter.join();
        const bool kept =
            scalar("select count(*) from accounts_dep.oper where id = :o", {{"o", op}}).toInt() ==
            1;
        const int used =
            scalar("select count(*) from accounts_dep.smena where o_id = :o", {{"o", op}}).toInt();
        EXPECT_TRUE(kept || used == 0) << "round " << round;
    }
    EXPECT_EQ(errors, 0);
}

// A whole-month rebuild and a worker's deletion keep saves of that month or
// worker out until they end; a save of another month or worker goes by.
TEST_F(RecordRoadTest, MonthAndWorkerLocksHoldSavesBack) {
    struct Case {
        const char* what;
        std::function<void(const QSqlDatabase&)> lock;
        bool holdsBack;
    } cases[] = {
        {"the record's month", [](const QSqlDatabase& c) { lockWholeMonth(c, kDay); }, true},
        {"another month", [](const QSqlDatabase& c) { lockWholeMonth(c, kDay.addMonths(1)); },
         false},
        {"the record's worker", [this](const QSqlDatabase& c) { lockWholeWorker(c, worker); },
         true},
        {"another worker", [this](const QSqlDatabase& c) { lockWholeWorker(c, worker + 1); },
         false},
    };
    const QString socket = testSocket();
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run("delete from accounts_dep.smena");
        QSqlDatabase holder = otherWorkstation(QString("holder-%1").arg(round));
        auto tx = std::make_unique<Transaction>(holder);
        c.lock(holder);
        std::atomic<bool> done = false;
        const QString name = QString("saver-lock-%1").arg(round++);
        std::thread saver([&] {
            {
                QSqlDatabase conn = openDatabase(connectionString(dbName, socket), name);
                RecordSaver(conn).save(input(), 1, kDay);
            }
            QSqlDatabase::removeDatabase(name);
            done = true;
        });
        // Wait until the save is either through or waiting for the lock.
        bool waiting = false;
        for (int i = 0; i < 200 && !done && !waiting; ++i) {
            // Only this test's database: tests running beside it wait for
            // advisory locks of their own.
            waiting = scalar("select count(*) from pg_locks where locktype = 'advisory' and "
                             "not granted and database = (select oid from pg_database "
                             "where datname = current_database())")
                          .toInt() > 0;
            if (!waiting)
                QThread::msleep(20);
        }
        EXPECT_EQ(waiting, c.holdsBack);
        EXPECT_EQ(records(), c.holdsBack ? 0 : 1);
        tx->commit();
        saver.join();
        EXPECT_EQ(records(), 1); // it goes through once the lock is gone
    }
}
