#include "app/login_dialog.h"
#include "app/windows.h"
#include "db/connection.h"
#include "db/sql.h"
#include "journal/journal_commands.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "test_support.h"

#include <QSignalSpy>
#include <functional>

using namespace tabel;

namespace {

const QString kChangeMayBeLost =
    "Связь с базой данных была потеряна. Изменение могло не сохраниться: проверьте данные.";
const QString kNoConnection = "Нет связи с базой данных. Повторите действие позже.";

class LostConnectionTest : public tabel::test::DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        killer = otherWorkstation("killer");
    }

    void TearDown() override {
        killer = QSqlDatabase();
        DbTest::TearDown();
    }

    int backend() { return scalar("select pg_backend_pid()").toInt(); }

    // Ends the server process behind `db`, as a restart of the server would,
    // and waits until it is gone.
    void loseConnection() {
        ASSERT_TRUE(
            tabel::scalar(killer, "select pg_terminate_backend(:p, 10000)", {{"p", backend()}})
                .toBool());
    }

    // As if the server were still down: the connection's next opening fails.
    void serverUnreachable() {
        db.setDatabaseName(connectionString(dbName, "/nonexistent/socket"));
    }
    void serverBack() { db.setDatabaseName(connectionString(dbName, tabel::test::testSocket())); }

    int vids(const QString& name) {
        return tabel::scalar(killer, "select count(*) from accounts_dep.vid_oper where vid = :v",
                             {{"v", name}})
            .toInt();
    }

    QSqlDatabase killer;
};

TEST_F(LostConnectionTest, AReadAfterTheLossRunsOnANewSessionWithOurRules) {
    // The new session must follow the program's rules, not the database's.
    run(QString("alter database %1 set default_transaction_isolation = 'repeatable read'")
            .arg(dbName));
    run(QString("alter database %1 set jit = on").arg(dbName));
    addVid("Сборка");
    const QDate day(2026, 3, 2);
    const int worker = addWorker("Иванов И. И.");
    const int oper = addOper(addProduct("М-1"), addVid("Резка"));
    addPerson("Иванов И. И.", QString::number(worker));
    addRecord({.worker = worker, .oper = oper, .date = day});

    // A plain read, and the journal's lists, read with one WITH statement.
    const std::function<int()> reads[] = {
        [&] {
            return scalar("select count(*) from accounts_dep.vid_oper where vid = :v",
                          {{"v", "Сборка"}})
                .toInt();
        },
        [&] {
            data->openShiftLists(day);
            return data->shiftList(1).count();
        },
    };
    for (const auto& read : reads) {
        const int expected = read();
        ASSERT_GT(expected, 0);
        const int before = backend();
        QSignalSpy reopened(ConnectionWatch::instance(), &ConnectionWatch::reopened);
        loseConnection();
        EXPECT_EQ(read(), expected);
        ASSERT_EQ(reopened.count(), 1);
        EXPECT_EQ(reopened[0][0].toString(), db.connectionName());
        EXPECT_NE(backend(), before);
        EXPECT_EQ(scalar("show jit").toString().toStdString(), "off");
        Transaction tx(db);
        EXPECT_EQ(scalar("show transaction_isolation").toString().toStdString(), "read committed");
    }
}

TEST_F(LostConnectionTest, AWriteAfterTheLossIsNotRepeatedAndTheNextOneWorks) {
    struct Case {
        const char* name;
        std::function<void()> write; // the loss comes before its first statement
    } cases[] = {
        {"a write",
         [this] {
             run("insert into accounts_dep.vid_oper (vid) values (:v)", {{"v", "А"}});
         }},
        {"a WITH that writes",
         [this] {
             scalar("with n as (insert into accounts_dep.vid_oper (vid) values (:v) returning id) "
                    "select count(*) from n",
                    {{"v", "А"}});
         }},
        {"a read in a transaction",
         [this] {
             Transaction tx(db);
             scalar("select count(*) from accounts_dep.vid_oper");
             run("insert into accounts_dep.vid_oper (vid) values (:v)", {{"v", "А"}});
             tx.commit();
         }},
        {"a nested guard",
         [this] {
             Transaction tx(db);
             Transaction inner(db);
             run("insert into accounts_dep.vid_oper (vid) values (:v)", {{"v", "А"}});
             inner.commit();
             tx.commit();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        loseConnection();
        try {
            c.write();
            ADD_FAILURE() << "no error";
        } catch (const ConnectionLost& e) {
            EXPECT_TRUE(e.restored());
            EXPECT_FALSE(e.text().isEmpty());
        }
        EXPECT_EQ(vids("А"), 0);
        EXPECT_FALSE(Transaction::active(db));
        run("insert into accounts_dep.vid_oper (vid) values (:v)", {{"v", "Б"}});
        EXPECT_EQ(vids("Б"), 1);
        run("delete from accounts_dep.vid_oper where vid = :v", {{"v", "Б"}});
    }
}

TEST_F(LostConnectionTest, ALossBeforeTheCommitIsReportedNotTakenForSuccess) {
    {
        Transaction tx(db);
        run("insert into accounts_dep.vid_oper (vid) values (:v)", {{"v", "А"}});
        loseConnection();
        EXPECT_THROW(tx.commit(), ConnectionLost);
    }
    EXPECT_EQ(vids("А"), 0);
    EXPECT_EQ(scalar("select 1").toInt(), 1);
}

TEST_F(LostConnectionTest, TheErrorBoxSaysWhatHappenedInRussian) {
    RecordingMessenger m;
    Messenger* before = setErrorMessenger(&m);
    loseConnection();
    guarded([this] { run("insert into accounts_dep.vid_oper (vid) values ('А')"); });
    // The server is still down: the read cannot be saved by reopening either.
    serverUnreachable();
    loseConnection();
    guarded([this] { scalar("select count(*) from accounts_dep.vid_oper"); });
    // Nor can a later action while it stays down.
    guarded([this] { scalar("select count(*) from accounts_dep.vid_oper"); });
    setErrorMessenger(before);

    ASSERT_EQ(m.messages.size(), 3);
    EXPECT_EQ(m.messages[0].caption, "Ошибка");
    EXPECT_EQ(m.messages[0].text, kChangeMayBeLost);
    EXPECT_TRUE(m.messages[0].detail.contains("terminating connection"))
        << m.messages[0].detail.toStdString();
    for (int i : {1, 2}) {
        EXPECT_EQ(m.messages[i].text, kNoConnection);
        EXPECT_TRUE(m.messages[i].detail.contains("/nonexistent/socket"))
            << m.messages[i].detail.toStdString();
    }

    // Once the server is back the next action simply works.
    serverBack();
    QSignalSpy reopened(ConnectionWatch::instance(), &ConnectionWatch::reopened);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.vid_oper where vid = 'А'").toInt(), 0);
    EXPECT_EQ(reopened.count(), 1);
    run("insert into accounts_dep.vid_oper (vid) values ('А')");
    EXPECT_EQ(vids("А"), 1);
}

TEST_F(LostConnectionTest, TheVersionGateShowsOneBoxWhileTheServerIsDown) {
    MainWindow main(*ctx);
    LoginDialog login(*ctx, main, {20261210, 45000});
    // The first tick's box is still open when the next tick comes.
    struct NestedTick : RecordingMessenger {
        LoginDialog* login = nullptr;
        void error(const QString& caption, const QString& text, const QString& detail) override {
            RecordingMessenger::error(caption, text, detail);
            if (messages.size() == 1)
                login->gateTick();
        }
    } boxes;
    boxes.login = &login;
    Messenger* before = setErrorMessenger(&boxes);
    serverUnreachable();
    loseConnection();
    login.gateTick();
    ASSERT_EQ(boxes.messages.size(), 1);
    EXPECT_EQ(boxes.messages[0].text, kNoConnection);
    serverBack();
    login.gateTick(); // the server is back: the gate reads without a word
    EXPECT_EQ(boxes.messages.size(), 1);
    setErrorMessenger(before);
}

} // namespace

namespace {

TEST_F(LostConnectionTest, TheJournalIsReadAgainAfterAFailedWrite) {
    const int worker = addWorker("Иванов И.И.");
    const int oper = addOper(addProduct("М-1"), addVid("Резка"));
    addNorm(oper, 2);
    const QDate day(2024, 3, 5);
    const int first = addRecord({.worker = worker, .oper = oper, .date = day, .shift = 1});
    MainWindow main(*ctx);
    Windows windows(*ctx, main);
    ctx->state.pickedDate = day;
    data->openShiftLists(day);
    ASSERT_EQ(data->shiftList(1).count(), 1);

    // Another workstation adds a record; then the server drops our session
    // and the double-click's write meets the lost connection.
    addRecord({.worker = worker, .oper = oper, .date = day, .shift = 1, .time = 3, .color = 5});
    loseConnection();
    bool lost = false;
    try {
        toggleAcceptance(db, first, data->shiftList(1).current("row_version").toString(), "no");
    } catch (const ConnectionLost&) {
        lost = true;
    }
    EXPECT_TRUE(lost);
    QCoreApplication::processEvents();
    EXPECT_EQ(data->shiftList(1).count(), 2); // what the database holds now
    EXPECT_EQ(
        scalar("select ok from accounts_dep.smena where id = :id", {{"id", first}}).toString(),
        "no"); // never written blindly
}

} // namespace
