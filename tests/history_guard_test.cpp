// What the database refuses of every writer, plain SQL included: emptying
// the closed months, writing or erasing the change history past its own
// triggers; and the pruning of history older than a year.
#include "db/closed_months.h"
#include "db/schema_steps.h"
#include "journal/record_history.h"
#include "test_support.h"
#include "timesheets/rebuilds.h"

#include <QDateTime>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kDay(2026, 11, 5);

class HistoryGuardTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        other = otherWorkstation();
    }

    // The error the database answers `sql` with on the other workstation;
    // empty when it runs.
    QString refusal(const QString& sql, const QVariantMap& params = {}) {
        try {
            tabel::exec(other, sql, params);
        } catch (const DbError& e) {
            return e.text();
        }
        return {};
    }

    // History rows `age` old, as an older program left them: the rows of
    // today's database get the server's time whoever writes them.
    void addOldHistory(const QString& age, int rows) {
        Transaction tx(db);
        run("alter table accounts_dep.change_log disable trigger change_log_written_by_server");
        run("insert into accounts_dep.change_log (changed_at, table_name, row_id, action) "
            "select now() - cast(:age as interval), 'norm', g, 'insert' "
            "from generate_series(1, :n) g",
            {{"age", age}, {"n", rows}});
        run("alter table accounts_dep.change_log enable trigger change_log_written_by_server");
        tx.commit();
    }

    // Every history row but the prunings, as "table action row_id".
    QString history() {
        return scalar("select coalesce(string_agg(table_name || ' ' || action || ' ' || "
                      "coalesce(row_id::text, '-'), ', ' order by id), '') "
                      "from accounts_dep.change_log where action <> 'prune'")
            .toString();
    }

    QSqlDatabase other;
};

TEST_F(HistoryGuardTest, ClosedMonthsAreNotEmptiedWholesale) {
    run("select accounts_dep.close_month(2026, 11, 'оплачен')");
    run("select accounts_dep.close_month(2026, 10, null)");
    const QString before = history();

    EXPECT_TRUE(refusal("truncate accounts_dep.closed_month")
                    .contains("Закрыты месяцы 10.2026, 11.2026: их открывают по одному с "
                              "указанием причины, очистка таблицы закрытых месяцев запрещена."));
    EXPECT_TRUE(monthClosed(db, 202611));
    EXPECT_TRUE(monthClosed(db, 202610));
    EXPECT_EQ(history(), before);

    // Once every month is reopened with its reason, there is nothing to lose.
    run("select accounts_dep.reopen_month(2026, 11, 'ошибка'), "
        "accounts_dep.reopen_month(2026, 10, 'ошибка')");
    EXPECT_EQ(refusal("truncate accounts_dep.closed_month"), QString());
}

// Plain SQL neither writes history rows nor erases them; a row the program
// may write itself (a worker's) takes the server's time and user whatever
// the statement says.
TEST_F(HistoryGuardTest, HistoryIsWrittenOnlyByTheDatabaseWithTheServersTimeAndUser) {
    addNorm(addOper(addProduct("КС-1"), addVid("Сборка")), 10);
    const QString before = history();
    ASSERT_FALSE(before.isEmpty());
    const QString forged = "insert into accounts_dep.change_log (changed_at, db_user, app_role, "
                           "workstation, table_name, row_id, action, new_values) values "
                           "('2020-01-15 10:00', 'директор', 'администратор', 'бухгалтерия', "
                           "'%1', 7, 'insert', '{\"kol_vo\": 100}')";
    struct Case {
        QString sql;
        QString says;
    } cases[] = {
        {forged.arg("smena"), "Историю изменений пишет только сама база данных."},
        {"insert into accounts_dep.change_log (table_name, action) values ('closed_month', "
         "'reopen')",
         "Историю изменений пишет только сама база данных."},
        {"insert into accounts_dep.change_log select * from accounts_dep.change_log",
         "Историю изменений пишет только сама база данных."},
        {"delete from accounts_dep.change_log", "История изменений хранится не меньше года"},
        {"delete from accounts_dep.change_log where table_name = 'norm'",
         "История изменений хранится не меньше года"},
        {"truncate accounts_dep.change_log", "Историю изменений не очищают"},
        {"update accounts_dep.change_log set changed_at = changed_at - interval '2 years'",
         "История изменений не изменяется."},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(refusal(c.sql).contains(c.says)) << c.sql.toStdString();
    EXPECT_EQ(history(), before);

    tabel::exec(other, "select set_config('tabel.role', 'мастер', false), "
                       "set_config('tabel.workstation', 'цех-2', false)");
    const QDateTime started = scalar("select now()").toDateTime();
    ASSERT_EQ(refusal(forged.arg("person")), QString());
    QSqlQuery q = tabel::exec(db, "select changed_at, db_user, app_role, workstation, "
                                  "session_user from accounts_dep.change_log "
                                  "where table_name = 'person' and row_id = 7");
    ASSERT_TRUE(q.next());
    EXPECT_GE(q.value(0).toDateTime(), started);
    EXPECT_EQ(q.value(1).toString(), q.value(4).toString());
    EXPECT_EQ(q.value(2).toString(), "мастер");
    EXPECT_EQ(q.value(3).toString(), "цех-2");
}

// Rows older than a year may go, by plain SQL or by tabel-batch
// prune-history; each pruning leaves a row of who pruned how much.
TEST_F(HistoryGuardTest, PruningRemovesOnlyHistoryOlderThanAYearAndIsRecorded) {
    addOldHistory("2 years", 3);
    addOldHistory("13 months", 2);
    addNorm(addOper(addProduct("КС-1"), addVid("Сборка")), 10);
    const int recent = scalar("select count(*) from accounts_dep.change_log where changed_at > "
                              "now() - interval '1 day'")
                           .toInt();
    ASSERT_GT(recent, 0);
    const QDate limit = scalar("select cast(now() - interval '1 year' as date)").toDate();
    auto count = [this](const QString& where) {
        return scalar("select count(*) from accounts_dep.change_log where " + where).toInt();
    };
    auto lastPruning = [this] {
        return scalar("select app_role || ' ' || old_values::text from accounts_dep.change_log "
                      "where action = 'prune' order by id desc limit 1")
            .toString();
    };

    // Plain SQL: the older rows only.
    EXPECT_EQ(refusal("delete from accounts_dep.change_log where changed_at < "
                      "now() - interval '18 months'"),
              QString());
    EXPECT_EQ(count("changed_at < now() - interval '1 year'"), 2);
    EXPECT_TRUE(lastPruning().startsWith("другое приложение {\"rows\": 3, \"newest\": "))
        << lastPruning().toStdString();

    const QString after = limit.addDays(1).toString(Qt::ISODate);
    const BatchRun tooLate = runBatch(dbName, {"prune-history", "--before", after});
    EXPECT_EQ(tooLate.exitCode, 1);
    EXPECT_TRUE(tooLate.err.contains("История изменений хранится не меньше года: удалять можно "
                                     "только строки, записанные до " +
                                     limit.toString("dd.MM.yyyy") + "."))
        << tooLate.err.toStdString();
    for (const QStringList& bad :
         {QStringList{"prune-history"}, QStringList{"prune-history", "--before", "2024-02-30"},
          QStringList{"prune-history", "--before", "2024-01-01", "--table", "smena"}}) {
        const BatchRun r = runBatch(dbName, bad);
        EXPECT_EQ(r.exitCode, 2) << bad.join(' ').toStdString();
    }
    EXPECT_EQ(count("changed_at < now() - interval '1 year'"), 2);

    const BatchRun done =
        runBatch(dbName, {"prune-history", "--before", limit.toString("dd.MM.yyyy")});
    ASSERT_EQ(done.exitCode, 0) << done.err.toStdString();
    EXPECT_EQ(done.out,
              "Удалено строк истории, записанных до " + limit.toString("dd.MM.yyyy") + ": 2.\n");
    EXPECT_EQ(count("changed_at < now() - interval '1 year'"), 0);
    EXPECT_EQ(count("changed_at > now() - interval '1 day' and action <> 'prune'"), recent);
    EXPECT_TRUE(lastPruning().startsWith("tabel-batch {\"rows\": 2, \"before\": \"" +
                                         limit.toString(Qt::ISODate) + "\", \"newest\": "))
        << lastPruning().toStdString();
    // Nothing left to prune is no failure.
    const BatchRun again = runBatch(dbName, {"prune-history", "--before", "2020-01-01"});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, "Удалено строк истории, записанных до 01.01.2020: 0.\n");
    EXPECT_EQ(count("action = 'prune'"), 2);

    const QList<HistoryEntry> prunings = periodHistory(
        db, {QDate::currentDate().addDays(-1), QDate::currentDate().addDays(2), "change_log", {}});
    ASSERT_EQ(prunings.size(), 2);
    EXPECT_EQ(historyAction(prunings[1].action), "История сокращена");
    EXPECT_TRUE(historyChanges(prunings[1])
                    .startsWith("Удалено строк: 2; Записанных до: " + limit.toString("dd.MM.yyyy")))
        << historyChanges(prunings[1]).toStdString();
}

// A database the program of the third step left, with a closed month and
// its history, takes the guards and keeps its data.
TEST_F(HistoryGuardTest, ADatabaseOfTheThirdStepIsUpgraded) {
    // Our objects gone; the other applications' views and their function
    // stay.
    run("drop table " + scalar("select string_agg(format('%I.%I', schemaname, tablename), ', ') "
                               "from pg_tables where schemaname = 'accounts_dep'")
                            .toString());
    run("drop function " + scalar("select string_agg(p.oid::regprocedure::text, ', ') "
                                  "from pg_proc p where p.pronamespace = "
                                  "'accounts_dep'::regnamespace and p.proname <> 'person_write'")
                               .toString());
    const std::vector<SchemaStep> all = embeddedSchemaSteps();
    ASSERT_GE(all.size(), 4u);
    ASSERT_EQ(all[3].number, 4);
    EXPECT_TRUE(all[3].addition);
    ASSERT_EQ(upgradeSchema(db, std::vector<SchemaStep>(all.begin(), all.begin() + 3)).size(), 3u);

    const int worker = addWorker("Иванов И. И.");
    const int oper = addOper(addProduct("КС-1"), addVid("Сборка"));
    addRecord({.worker = worker, .oper = oper, .date = kDay, .time = 8});
    rebuildMonth(db, SheetKind::Shifts, kDay);
    run("select accounts_dep.close_month(2026, 11, 'оплачен')");
    const QString before = history();

    const std::vector<SchemaStep> done = upgradeSchema(db);
    ASSERT_EQ(done.size(), all.size() - 3);
    EXPECT_EQ(done.front().number, 4);
    EXPECT_TRUE(readSchemaState(db).upToDate());
    EXPECT_EQ(history(), before);
    EXPECT_TRUE(monthClosed(db, 202611));
    EXPECT_TRUE(checkMonth(db, SheetKind::Shifts, kDay).empty());
    EXPECT_FALSE(refusal("truncate accounts_dep.closed_month").isEmpty());
    EXPECT_FALSE(refusal("delete from accounts_dep.change_log").isEmpty());
    EXPECT_TRUE(refusal("update accounts_dep.h_tabel set d1 = 1")
                    .contains("Месяц 11.2026 закрыт: изменения запрещены."));
}

} // namespace
