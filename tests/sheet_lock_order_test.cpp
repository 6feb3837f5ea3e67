// Writers of a month's rows take the rows first and the month's lock after
// them: a plain-SQL writer (whose statements take the month's lock in the
// database's triggers) and the program's whole-month rebuilds must never wait
// for each other in a circle.
#include "db/connection.h"
#include "housekeeping/housekeeping_rules.h"
#include "journal/journal_commands.h"
#include "test_support.h"
#include "timesheets/rebuilds.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QUuid>
#include <atomic>
#include <functional>
#include <thread>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kDay(2025, 4, 8);

// Work on a connection of its own in another thread, as another workstation.
class Workstation {
public:
    Workstation(const QString& database, std::function<void(const QSqlDatabase&)> work)
        : thread_([this, database, work = std::move(work)] {
              const QString name = "ws_" + QUuid::createUuid().toString(QUuid::Id128);
              {
                  try {
                      const QSqlDatabase db =
                          openDatabase(connectionString(database, testSocket()), name);
                      pid_ = tabel::scalar(db, "select pg_backend_pid()").toInt();
                      work(db);
                  } catch (const std::exception& e) {
                      error_ = QString::fromUtf8(e.what());
                  }
              }
              QSqlDatabase::removeDatabase(name);
              done_ = true;
          }) {}
    ~Workstation() { join(); }

    // True once its session waits for a lock; false when the work ends
    // without ever waiting.
    bool waitsForALock(const QSqlDatabase& observer) {
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && !done_) {
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
    std::atomic<bool> done_{false};
    QString error_;
    std::thread thread_;
};

class SheetLockOrderTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Сидоров С. С.");
        oper = addOper(addProduct("Т-5"), addVid("Сварка"));
        group = addGroup("Уборка");
        addRecord({worker, oper, kDay});
        addFatigue(worker, 7777, group, kDay, 4, "100", 0);
        addFatigue(worker, 7778, group, kDay, 2, "1", 0);
        rebuildMonth(db, SheetKind::Shifts, kDay);
        rebuildMonth(db, SheetKind::Housekeeping, kDay);
        plain = otherWorkstation();
    }
    void TearDown() override {
        plain = {};
        DbTest::TearDown();
    }

    int worker = 0;
    int oper = 0;
    int group = 0;
    QSqlDatabase plain;
};

// Another application locks a row of an open month, as an editor does
// before it writes; a rebuild of that month starts meanwhile and waits for
// the row; then the application writes the row, which takes the month's
// lock in the database's trigger. Both must get through, and the rebuild's
// result must be the month as its entries make it.
TEST_F(SheetLockOrderTest, APlainWriterHoldingARowAndAWholeMonthRebuildBothGetThrough) {
    struct Case {
        const char* what;
        const char* row;   // the one row the other application locks
        const char* write; // … and writes, with :id for it
        std::function<void(const QSqlDatabase&)> rebuild;
        std::function<bool()> rebuilt;
    } cases[] = {
        {"the shift rows' rebuild", "select id from accounts_dep.h_tabel where smena = 1",
         "update accounts_dep.h_tabel set d1 = 99 where id = :id",
         [](const QSqlDatabase& c) { rebuildMonth(c, SheetKind::Shifts, kDay); },
         [&] { return checkMonth(db, SheetKind::Shifts, kDay).empty(); }},
        {"the housekeeping rows' rebuild", "select id from accounts_dep.h_tabel where smena = 0",
         "update accounts_dep.h_tabel set d1 = 99 where id = :id",
         [](const QSqlDatabase& c) { rebuildMonth(c, SheetKind::Housekeeping, kDay); },
         [&] { return checkMonth(db, SheetKind::Housekeeping, kDay).empty(); }},
        {"the average piecework's recalculation",
         "select id from accounts_dep.fatigue where id_o = 7778",
         "update accounts_dep.fatigue set price = 0.01 where id = :id",
         [](const QSqlDatabase& c) { HousekeepingRules(c).recalculate(kDay); },
         [&] {
             // The month's piecework rate: 10 pieces at 1 in 8 hours.
             return scalar("select price::text from accounts_dep.fatigue where id_o = 7778")
                        .toString() == "1.25";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(plain.transaction());
        const QVariant id = tabel::scalar(plain, QString(c.row) + " for update");
        ASSERT_TRUE(id.isValid());

        Workstation rebuilder(dbName, c.rebuild);
        ASSERT_TRUE(rebuilder.waitsForALock(db)) << rebuilder.error().toStdString();
        QString written;
        try {
            tabel::exec(plain, c.write, {{"id", id}});
        } catch (const DbError& e) {
            written = e.text();
        }
        EXPECT_TRUE(written.isEmpty()) << written.toStdString();
        written.isEmpty() ? plain.commit() : plain.rollback();
        rebuilder.join();

        EXPECT_TRUE(rebuilder.error().isEmpty()) << rebuilder.error().toStdString();
        EXPECT_TRUE(c.rebuilt());
    }
}

// The program's writers of day cells take their time-sheet rows before the
// months' locks too. Each write here holds its month's lock shared and waits
// (for the history table, which another session holds) when a rebuild of the
// month starts; the rebuild must not have taken the write's row by then, or
// the two would wait for each other.
TEST_F(SheetLockOrderTest, AWriteOfDayCellsUnderWayAndARebuildStartedMeanwhileBothGetThrough) {
    const int record = scalar("select id from accounts_dep.smena").toInt();
    const int entry = scalar("select id from accounts_dep.fatigue where id_o = 7777").toInt();
    EntryInput newEntry;
    newEntry.workerId = worker;
    newEntry.groupId = group;
    newEntry.normPrice = "150";
    newEntry.hours = "3";
    newEntry.date = kDay.addDays(1);
    const RecordInput newRecord = recordInput(worker, oper, kDay.addDays(1), "10", "6");
    struct Case {
        const char* what;
        std::function<bool(const QSqlDatabase&)> write;
        SheetKind kind;
    } cases[] = {
        {"a record's save",
         [&](const QSqlDatabase& c) { return RecordSaver(c).save(newRecord, 1, kDay).saved(); },
         SheetKind::Shifts},
        {"a record's deletion", [&](const QSqlDatabase& c) { return deleteRecord(c, record); },
         SheetKind::Shifts},
        {"a housekeeping entry's save",
         [&](const QSqlDatabase& c) { return HousekeepingRules(c).save(newEntry).done(); },
         SheetKind::Housekeeping},
        {"a housekeeping entry's deletion",
         [&](const QSqlDatabase& c) { return HousekeepingRules(c).remove(entry).done(); },
         SheetKind::Housekeeping},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString before = scalar("select count(*) from accounts_dep.change_log").toString();
        ASSERT_TRUE(plain.transaction());
        tabel::exec(plain, "lock table accounts_dep.change_log in share mode");

        bool written = false;
        Workstation writer(dbName, [&](const QSqlDatabase& w) { written = c.write(w); });
        ASSERT_TRUE(writer.waitsForALock(db)) << writer.error().toStdString();
        Workstation rebuilder(dbName,
                              [&](const QSqlDatabase& r) { rebuildMonth(r, c.kind, kDay); });
        ASSERT_TRUE(rebuilder.waitsForALock(db)) << rebuilder.error().toStdString();
        ASSERT_TRUE(plain.commit());
        writer.join();
        rebuilder.join();

        EXPECT_TRUE(writer.error().isEmpty()) << writer.error().toStdString();
        EXPECT_TRUE(written);
        EXPECT_TRUE(rebuilder.error().isEmpty()) << rebuilder.error().toStdString();
        EXPECT_NE(scalar("select count(*) from accounts_dep.change_log").toString(), before);
        EXPECT_TRUE(checkMonth(db, c.kind, kDay).empty());
    }
    EXPECT_EQ(dayCell(worker, 1, kDay.addDays(1)).toInt(), 6);
    EXPECT_TRUE(dayCell(worker, 1, kDay).isNull());
    EXPECT_EQ(
        scalar("select d9 from accounts_dep.h_tabel where smena = 0 and i_type = 7777").toInt(), 3);
}

} // namespace
