#include "test_support.h"

#include "app/login_dialog.h"
#include "db/closed_month_checks.h"
#include "db/connection.h"
#include "db/session_identity.h"
#include "directories/product_store.h"
#include "directories/worker_store.h"
#include "housekeeping/housekeeping_rules.h"
#include "import/legacy_import.h"
#include "journal/journal_actions.h"
#include "journal/journal_commands.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "operations/operation_store.h"
#include "timesheets/rebuilds.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <atomic>
#include <functional>
#include <thread>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kClosedDay(2026, 11, 16);
const QDate kOpenDay(2026, 12, 3);
const int kClosed = 202611;
const QString kClosedText = "Месяц 11.2026 закрыт: изменения запрещены.";
const QString kClosedCaption = "Месяц закрыт";

// What the user is shown by the general handler when `action` throws.
Outcome shownByHandler(const std::function<void()>& action) {
    RecordingMessenger shown;
    Messenger* before = setErrorMessenger(&shown);
    guarded(action);
    setErrorMessenger(before);
    return shownOutcome(shown, shown.messages.isEmpty());
}

// The program's own refusal, thrown before anything is written; a refusal
// by the database would escape as DbError and fail the test.
Outcome refusedByProgram(const std::function<void()>& action) {
    try {
        action();
    } catch (const MonthClosed& e) {
        return Outcome::refused(kClosedMonthCaption, e.text());
    }
    return Outcome::ok();
}

// A connection of its own in another thread, as a workstation whose
// statements may have to wait for a lock another one holds.
class Workstation {
public:
    Workstation(const QString& database, std::function<void(const QSqlDatabase&)> work)
        : thread_([this, database, work = std::move(work)] {
              const QString name = "bg_" + QUuid::createUuid().toString(QUuid::Id128);
              {
                  try {
                      const QSqlDatabase db =
                          openDatabase(connectionString(database, testSocket()), name);
                      pid_ = tabel::scalar(db, "select pg_backend_pid()").toInt();
                      work(db);
                  } catch (const std::exception& e) {
                      error_ = QString::fromUtf8(e.what());
                      pid_ = -1;
                  }
              }
              QSqlDatabase::removeDatabase(name);
          }) {}
    ~Workstation() { join(); }

    // Returns once the workstation's session waits for a lock; false when
    // it never does.
    bool waitsForALock(const QSqlDatabase& observer) {
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            if (pid_ < 0)
                return false;
            if (pid_ > 0 && tabel::scalar(observer,
                                          "select exists (select 1 from pg_locks "
                                          "where pid = :p and not granted)::integer",
                                          {{"p", pid_.load()}})
                                    .toInt() == 1)
                return true;
            QThread::msleep(5);
        }
        return false;
    }

    void join() {
        if (thread_.joinable())
            thread_.join();
    }
    QString error() const { return error_; }

private:
    std::atomic<int> pid_{0};
    QString error_;
    std::thread thread_;
};

class ClosedMonthRefusalsTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Петров П. П.");
        product = addProduct("М-11");
        oper = addOper(product, addVid("Сборка"));
        group = scalar("insert into cmn_classifier.item (id_classifier, id_level, id_parent, "
                       "s_caption, b_excluded) values (1, 2, 1, 'Стенды', 0) returning id")
                    .toLongLong();
        // Through the program, so that every table has rows in both months.
        closedRecord = saveRecord(kClosedDay);
        openRecord = saveRecord(kOpenDay);
        closedEntry = saveEntry(kClosedDay);
        other = otherWorkstation();
    }

    int saveRecord(const QDate& day) {
        const RecordSaver::Result r = RecordSaver(db).save(recordInput(worker, oper, day), 1, day);
        EXPECT_TRUE(r.saved()) << r.outcome.text.toStdString();
        return r.recordId;
    }
    EntryInput entry(const QDate& day) {
        EntryInput in;
        in.workerId = worker;
        in.groupId = group;
        in.normPrice = "150";
        in.hours = "8";
        in.date = day;
        return in;
    }
    int saveEntry(const QDate& day) {
        int id = 0;
        EXPECT_TRUE(HousekeepingRules(db).save(entry(day), &id).done());
        return id;
    }
    QString version(const char* table, int id) {
        return scalar(QString("select xmin::text from accounts_dep.%1 where id = :id").arg(table),
                      {{"id", id}})
            .toString();
    }
    RecordInput changeOf(int record, const QDate& day) {
        RecordInput in = recordInput(worker, oper, day, "7");
        in.mode = 2;
        in.recordId = record;
        in.version = version("smena", record);
        return in;
    }

    void closeMonth(int year, int month) {
        run("select accounts_dep.close_month(:y, :m, null)", {{"y", year}, {"m", month}});
    }
    void reopenMonth(int year, int month) {
        run("select accounts_dep.reopen_month(:y, :m, 'исправление')", {{"y", year}, {"m", month}});
    }

    // Everything the three tables and the history hold.
    QString everything() {
        return scalar("select md5(coalesce(string_agg(t, '|' order by t), '')) from ("
                      "select s::text as t from accounts_dep.smena s union all "
                      "select f::text from accounts_dep.fatigue f union all "
                      "select h::text from accounts_dep.h_tabel h union all "
                      "select c::text from accounts_dep.change_log c) rows")
            .toString();
    }

    int worker = 0;
    int product = 0;
    int oper = 0;
    qint64 group = 0;
    int closedRecord = 0;
    int openRecord = 0;
    int closedEntry = 0;
    QSqlDatabase other;
};

TEST_F(ClosedMonthRefusalsTest, TheProgramRefusesEveryWriteOfAClosedMonthBeforeAnythingChanges) {
    // Dated in an open month, booked in the closed one.
    const int bookedEntry = saveEntry(kOpenDay);
    run("update accounts_dep.fatigue set i_mnth = 11 where id = :e", {{"e", bookedEntry}});
    closeMonth(2026, 11);
    const auto outcome = [](const RecordSaver::Result& r) {
        EXPECT_EQ(r.status, RecordSaver::Status::Closed);
        return r.outcome;
    };
    struct Case {
        const char* what;
        std::function<Outcome()> write;
    } cases[] = {
        // smena
        {"a new record",
         [&] {
             return outcome(RecordSaver(db).save(recordInput(worker, oper, kClosedDay), 2, {}));
         }},
        {"a record moved out of the month",
         [&] { return outcome(RecordSaver(db).save(changeOf(closedRecord, kOpenDay), 1, {})); }},
        {"a record moved into the month",
         [&] { return outcome(RecordSaver(db).save(changeOf(openRecord, kClosedDay), 1, {})); }},
        {"an acceptance mark",
         [&] { return toggleAcceptance(db, closedRecord, version("smena", closedRecord), "no"); }},
        {"a record's deletion",
         [&] { return refusedByProgram([&] { deleteRecord(db, closedRecord); }); }},
        {"a record's deletion in the journal, before the question",
         [&] {
             data->openShiftLists(kClosedDay);
             const bool deleted = JournalActions(*ctx).deleteCurrent();
             for (const auto& m : messenger.messages)
                 EXPECT_NE(m.kind, Messenger::Kind::Question);
             return shownOutcome(messenger, deleted);
         }},
        // fatigue
        {"a new housekeeping entry",
         [&] { return HousekeepingRules(db).save(entry(kClosedDay.addDays(1))); }},
        {"a housekeeping entry's change",
         [&] {
             EntryInput in = entry(kClosedDay);
             in.mode = 1;
             in.entryId = closedEntry;
             in.version = version("fatigue", closedEntry);
             in.hours = "4";
             return HousekeepingRules(db).save(in);
         }},
        {"a housekeeping entry's deletion",
         [&] { return HousekeepingRules(db).remove(closedEntry); }},
        {"the deletion of an entry booked in the month",
         [&] { return HousekeepingRules(db).remove(bookedEntry); }},
        {"the average piecework's recalculation",
         [&] { return refusedByProgram([&] { HousekeepingRules(db).recalculate(kClosedDay); }); }},
        // h_tabel
        {"the shift rows' rebuild",
         [&] {
             return refusedByProgram([&] { rebuildMonth(db, SheetKind::Shifts, kClosedDay); });
         }},
        {"the housekeeping rows' rebuild",
         [&] {
             return refusedByProgram(
                 [&] { rebuildMonth(db, SheetKind::Housekeeping, kClosedDay); });
         }},
        // The general handler shows the program's refusal as it shows the
        // database's.
        {"a rebuild started from a window",
         [&] { return shownByHandler([&] { rebuildMonth(db, SheetKind::Shifts, kClosedDay); }); }},
    };
    const QString before = everything();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messenger.messages.clear();
        const Outcome o = c.write();
        EXPECT_EQ(o.caption, kClosedCaption);
        EXPECT_EQ(o.text, kClosedText);
        EXPECT_EQ(everything(), before);
    }
}

TEST_F(ClosedMonthRefusalsTest, PlainSqlIsRefusedByTheDatabaseAndTheProgramNamesTheMonth) {
    closeMonth(2026, 11);
    const QVariantMap ids{{"r", closedRecord}, {"o", openRecord}, {"e", closedEntry}};
    const char* statements[] = {
        "insert into accounts_dep.smena (data, smena, w_id, kol_vo, time) "
        "values ('2026-11-20', 1, 1, 1, 1)",
        "update accounts_dep.smena set kol_vo = kol_vo + 1 where id = :r",
        "update accounts_dep.smena set data = '2026-11-30' where id = :o",
        "update accounts_dep.smena set ok = 'ok' where id = :r",
        "delete from accounts_dep.smena where id = :r",
        "insert into accounts_dep.fatigue (id_p, d_date, i_mnth, i_year, cnt, price) "
        "values (1, '2026-11-20', 11, 2026, 1, 1)",
        // Booked in the closed month, though dated in an open one.
        "insert into accounts_dep.fatigue (id_p, d_date, i_mnth, i_year, cnt, price) "
        "values (1, '2026-12-20', 11, 2026, 1, 1)",
        "update accounts_dep.fatigue set cnt = 1 where id = :e",
        "delete from accounts_dep.fatigue where id = :e",
        "insert into accounts_dep.h_tabel (w_id, month, year, smena, d1) values (1, 11, 2026, 2, "
        "8)",
        "update accounts_dep.h_tabel set d1 = 4 where month = 11 and year = 2026",
        "delete from accounts_dep.h_tabel where month = 11 and year = 2026",
    };
    const QString before = everything();
    for (const char* sql : statements) {
        SCOPED_TRACE(sql);
        QVariantMap params;
        for (const char* name : {"r", "o", "e"})
            if (QString(sql).contains(QString(":") + name))
                params[name] = ids[name];
        try {
            tabel::exec(other, sql, params);
            ADD_FAILURE() << "written";
        } catch (const DbError& e) {
            EXPECT_EQ(closedMonthOf(e), std::optional<int>(kClosed)) << e.text().toStdString();
        }
        EXPECT_EQ(everything(), before);
    }
    // The program shows the database's refusal as the month's, not as a
    // failure of the database.
    const Outcome shown = shownByHandler([&] {
        tabel::exec(db, "update accounts_dep.smena set ok = 'ok' where id = :r",
                    {{"r", closedRecord}});
    });
    EXPECT_EQ(shown.caption, kClosedCaption);
    EXPECT_EQ(shown.text, kClosedText);
}

TEST_F(ClosedMonthRefusalsTest, AfterReopeningTheSameWritesGoThrough) {
    closeMonth(2026, 11);
    ASSERT_FALSE(RecordSaver(db).save(recordInput(worker, oper, kClosedDay), 2, {}).saved());
    reopenMonth(2026, 11);
    EXPECT_TRUE(RecordSaver(db).save(recordInput(worker, oper, kClosedDay), 2, {}).saved());
    EXPECT_TRUE(toggleAcceptance(db, closedRecord, version("smena", closedRecord), "no").done());
    EXPECT_TRUE(HousekeepingRules(db).remove(closedEntry).done());
    EXPECT_GT(rebuildMonth(db, SheetKind::Shifts, kClosedDay), 0);
    tabel::exec(other, "update accounts_dep.smena set kol_vo = 5 where id = :r",
                {{"r", closedRecord}});
    EXPECT_EQ(
        scalar("select kol_vo::text from accounts_dep.smena where id = :r", {{"r", closedRecord}}),
        "5");
}

// A plain-SQL writer is under way when the close begins: the close waits
// for it, and once the close has committed nothing more lands in the month.
TEST_F(ClosedMonthRefusalsTest, ACloseWaitsForAWriteUnderWayAndNothingLandsAfterIt) {
    const QString insert = "insert into accounts_dep.smena (data, smena, w_id, kol_vo, time) "
                           "values ('2026-11-20', 1, :w, 1, 1)";
    ASSERT_TRUE(other.transaction());
    tabel::exec(other, insert, {{"w", worker}});

    Workstation closer(dbName, [](const QSqlDatabase& c) {
        tabel::exec(c, "select accounts_dep.close_month(2026, 11, null)");
    });
    ASSERT_TRUE(closer.waitsForALock(db)) << closer.error().toStdString();
    // Still the writer's turn: its month is not closed yet.
    tabel::exec(other, insert, {{"w", worker}});
    ASSERT_TRUE(other.commit());
    closer.join();
    ASSERT_TRUE(closer.error().isEmpty()) << closer.error().toStdString();

    EXPECT_THROW(tabel::exec(other, insert, {{"w", worker}}), DbError);
    EXPECT_EQ(RecordSaver(db).save(recordInput(worker, oper, kClosedDay), 2, {}).outcome.text,
              kClosedText);
    // Every record of the month was written before the close.
    EXPECT_EQ(
        scalar("select count(*) from accounts_dep.change_log where table_name = 'smena' "
               "and id > (select max(id) from accounts_dep.change_log where action = 'close')")
            .toInt(),
        0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena where data >= '2026-11-01' "
                     "and data < '2026-12-01'")
                  .toInt(),
              3);
}

// The close is under way when the program's save begins: the save waits for
// the month's lock and, once the close has committed, refuses.
TEST_F(ClosedMonthRefusalsTest, ASaveWaitingForACloseIsRefusedWhenTheCloseCommits) {
    ASSERT_TRUE(other.transaction());
    tabel::exec(other, "select accounts_dep.close_month(2026, 11, null)");

    const RecordInput in = recordInput(worker, oper, kClosedDay);
    RecordSaver::Result result;
    Workstation saver(
        dbName, [&](const QSqlDatabase& c) { result = RecordSaver(c).save(in, 2, kClosedDay); });
    ASSERT_TRUE(saver.waitsForALock(db)) << saver.error().toStdString();
    ASSERT_TRUE(other.commit());
    saver.join();

    ASSERT_TRUE(saver.error().isEmpty()) << saver.error().toStdString();
    EXPECT_EQ(result.status, RecordSaver::Status::Closed);
    EXPECT_EQ(result.outcome.text, kClosedText);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena where smena = 2").toInt(), 0);
}

TEST_F(ClosedMonthRefusalsTest, DirectoryDeletionsThatWouldTouchAClosedMonthAreRefusedNamingIt) {
    closeMonth(2026, 11);
    // The worker has records of a closed and of an open month; the closed
    // one is named.
    WorkerStore workers(db, messenger, data->workers());
    ProductStore products(*data);
    OperationStore operations(db);
    struct Case {
        const char* what;
        QString text;
        std::function<Outcome()> beforeTheQuestion;
        std::function<Outcome()> remove;
        QString table;
        int id;
    } cases[] = {
        {"product", "Удаление невозможно: записи изделия относятся к закрытому месяцу 11.2026.",
         [&] { return products.closedMonthRecords(product); },
         [&] { return products.remove(product, products.use(product)); },
         "cmn_gds_and_srv.gds_and_srv", product},
        {"operation", "Удаление невозможно: записи операции относятся к закрытому месяцу 11.2026.",
         [&] { return operations.deletionRefusal(oper); }, [&] { return operations.remove(oper); },
         "accounts_dep.oper", oper},
        {"worker", "Удаление невозможно: записи работника относятся к закрытому месяцу 11.2026.",
         [&] { return workers.deletionRefusal(worker); }, [&] { return workers.remove(worker); },
         "accounts_dep.person", worker},
    };
    const QString before = everything();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& step : {c.beforeTheQuestion, c.remove}) {
            const Outcome o = step();
            EXPECT_EQ(o.caption, QString(kDeleteCaption));
            EXPECT_EQ(o.text, c.text);
        }
        EXPECT_EQ(everything(), before);
        EXPECT_EQ(
            scalar(QString("select count(*) from %1 where id = :id").arg(c.table), {{"id", c.id}})
                .toInt(),
            1);
    }
    // The worker's housekeeping entry alone is enough, by its day or by the
    // month it is booked in.
    reopenMonth(2026, 11);
    run("delete from accounts_dep.smena where w_id = :w", {{"w", worker}});
    run("delete from accounts_dep.h_tabel where w_id = :w", {{"w", worker}});
    run("update accounts_dep.fatigue set d_date = '2026-10-31' where id = :e",
        {{"e", closedEntry}});
    closeMonth(2026, 11);
    EXPECT_EQ(workers.remove(worker).text,
              "Удаление невозможно: записи работника относятся к закрытому месяцу 11.2026.");
}

TEST_F(ClosedMonthRefusalsTest, TheImportIsRefusedWhileAnyMonthIsClosedNamingThemAll) {
    closeMonth(2026, 11);
    closeMonth(2026, 10);
    const QString before = everything();
    // The refusal comes before the source is read, so none is needed.
    const Outcome o = LegacyImport(db, "NoSuchSource").run();
    EXPECT_EQ(o.caption, QString(kImportCaption));
    EXPECT_EQ(o.text, "Закрыты месяцы 10.2026, 11.2026: импорт заменил бы их записи. Импорт не "
                      "выполнен, ничего не изменено.");
    EXPECT_EQ(everything(), before);
    reopenMonth(2026, 10);
    EXPECT_EQ(LegacyImport(db, "NoSuchSource").run().text,
              "Закрыт месяц 11.2026: импорт заменил бы их записи. Импорт не выполнен, ничего не "
              "изменено.");
}

TEST_F(ClosedMonthRefusalsTest, TheBatchRefusesToRebuildOrRecalculateAClosedMonth) {
    closeMonth(2026, 11);
    const QString before = everything();
    for (const char* command : {"rebuild-shifts", "rebuild-housekeeping", "recalc-average"}) {
        SCOPED_TRACE(command);
        const BatchRun r = runBatch(dbName, {command, "--month", "11", "--year", "2026"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err.trimmed(), kClosedText);
        EXPECT_EQ(everything(), before);
    }
    EXPECT_EQ(runBatch(dbName, {"rebuild-shifts", "--month", "12", "--year", "2026"}).exitCode, 0);

    // An open month's recalculation goes through, and the history names the
    // batch as the writer.
    EntryInput average = entry(kOpenDay);
    average.type = kAveragePiecework;
    int id = 0;
    ASSERT_TRUE(HousekeepingRules(db).save(average, &id).done());
    ASSERT_EQ(runBatch(dbName, {"recalc-average", "--month", "12", "--year", "2026"}).exitCode, 0);
    EXPECT_EQ(scalar("select app_role from accounts_dep.change_log where table_name = 'fatigue' "
                     "and row_id = :id and action = 'update'",
                     {{"id", id}})
                  .toString(),
              "tabel-batch");
}

// Who wrote: the program's role and workstation, or another application.
TEST_F(ClosedMonthRefusalsTest, TheHistoryNamesTheProgramsRoleAndWorkstationOrAnotherApplication) {
    setSessionIdentity(db, {"tabel", "мастер", "цех-7"});
    const int mine = saveRecord(kOpenDay.addDays(1));
    tabel::exec(other, "update accounts_dep.smena set kol_vo = 3 where id = :r",
                {{"r", openRecord}});
    const auto writer = [&](int record, const char* action) {
        QSqlQuery q = tabel::exec(db,
                                  "select app_role, coalesce(workstation, '') from "
                                  "accounts_dep.change_log where table_name = 'smena' and "
                                  "row_id = :r and action = :a order by id desc limit 1",
                                  {{"r", record}, {"a", QString(action)}});
        return q.next() ? q.value(0).toString() + "@" + q.value(1).toString() : QString();
    };
    EXPECT_EQ(writer(mine, "insert"), "мастер@цех-7");
    EXPECT_TRUE(writer(openRecord, "update").startsWith("другое приложение@"));
    EXPECT_EQ(scalar("select current_setting('application_name')").toString(), "tabel");

    // The login names the role.
    MainWindow main(*ctx);
    LoginDialog login(*ctx, main, BuildStamp{20260101, 100});
    login.handOver = [] {};
    login.codeEdit()->setText("luskev");
    ASSERT_TRUE(login.enter());
    EXPECT_EQ(scalar("select current_setting('tabel.role')").toString(), "контора");
    EXPECT_EQ(scalar("select current_setting('tabel.workstation')").toString(), "цех-7");
}

TEST_F(ClosedMonthRefusalsTest, TheIdentitySurvivesAReopenedConnection) {
    setSessionIdentity(db, {"tabel", "администратор", "склад-2"});
    const int before = scalar("select pg_backend_pid()").toInt();
    ASSERT_TRUE(
        tabel::scalar(other, "select pg_terminate_backend(:p, 10000)", {{"p", before}}).toBool());
    // The read finds the connection lost and runs again on a new session.
    EXPECT_EQ(scalar("select current_setting('tabel.role') || '/' || "
                     "current_setting('tabel.workstation') || '/' || "
                     "current_setting('application_name')")
                  .toString(),
              "администратор/склад-2/tabel");
    EXPECT_NE(scalar("select pg_backend_pid()").toInt(), before);
}

TEST_F(ClosedMonthRefusalsTest, WorkerChangesAreWrittenToTheHistoryWithTheirChangedValuesOnly) {
    WorkerStore workers(db, messenger, data->workers());
    ASSERT_TRUE(workers.add("  Сидоров С. С. ", "Цех 1"));
    const int id = scalar("select id from accounts_dep.person where fio = 'Сидоров С. С.'").toInt();
    ASSERT_TRUE(workers.change(id, {"Сидоров С. С.", "Цех 1"}, "Сидоров С. С.", QString("Цех 2")));
    ASSERT_TRUE(workers.remove(id).done());
    QSqlQuery q =
        tabel::exec(db,
                    "select action, coalesce(old_values::text, ''), "
                    "coalesce(new_values::text, ''), worker_id from "
                    "accounts_dep.change_log where table_name = 'person' and row_id = :id "
                    "order by id",
                    {{"id", id}});
    QStringList rows;
    while (q.next()) {
        EXPECT_EQ(q.value(3).toInt(), id);
        rows << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()}
                    .join(" ");
    }
    EXPECT_EQ(rows, QStringList({
                        R"(insert  {"fio": "Сидоров С. С.", "s_staffpos_hl": "Цех 1"})",
                        R"(update {"s_staffpos_hl": "Цех 1"} {"s_staffpos_hl": "Цех 2"})",
                        R"(delete {"fio": "Сидоров С. С.", "s_staffpos_hl": "Цех 2"} )",
                    }));
}

} // namespace
