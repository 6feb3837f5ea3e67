#include "db/format.h"
#include "db/schema_steps.h"
#include "test_support.h"

using namespace tabel;
using namespace tabel::test;

namespace {

// The program's steps and one more, as a later version would bring it.
std::vector<SchemaStep> withLaterStep(const QString& sql, bool addition = true) {
    std::vector<SchemaStep> steps = embeddedSchemaSteps();
    const int next = steps.back().number + 1;
    steps.push_back({next, QStringLiteral("later"), addition, sql});
    return steps;
}

class SchemaUpgradeTest : public DbTest {
protected:
    // Our own tables, as the first version of the program left them: no
    // record of steps.
    void asTheFirstVersionLeftIt() { run("drop table accounts_dep.schema_step"); }

    // Everything of ours gone; the other applications' objects in the schema
    // (the views of workers and products) stay.
    void withoutOurTables() {
        run("drop table accounts_dep.schema_step, accounts_dep.smena, accounts_dep.h_tabel, "
            "accounts_dep.fatigue, accounts_dep.oper, accounts_dep.norm, accounts_dep.vid_oper, "
            "accounts_dep.ver, accounts_dep.workers, accounts_dep.nomenkl");
    }

    QString steps() {
        return scalar("select coalesce(string_agg(step || ' ' || name || ' ' || kind, '; ' "
                      "order by step), '') from accounts_dep.schema_step")
            .toString();
    }

    // What the records and the operation types hold, all of it.
    QString data() {
        return scalar(
                   "select (select coalesce(string_agg(s::text, ';' order by s.id), '') "
                   "from accounts_dep.smena s) || '|' || "
                   "(select string_agg(v::text, ';' order by v.id) from accounts_dep.vid_oper v)")
            .toString();
    }
};

TEST_F(SchemaUpgradeTest, AnEmptySchemaGetsEveryStepOnceAndASecondRunChangesNothing) {
    withoutOurTables();
    EXPECT_FALSE(readSchemaState(db).tracked);
    EXPECT_FALSE(schemaRefusal(readSchemaState(db)).isEmpty());

    const std::vector<SchemaStep> done = upgradeSchema(db);
    ASSERT_EQ(done.size(), embeddedSchemaSteps().size());
    EXPECT_EQ(done.front().number, 1);
    EXPECT_EQ(scalar("select vid from accounts_dep.vid_oper where id = 7777").toString(),
              "Хоз. работы");
    EXPECT_EQ(scalar("select count(*) from pg_indexes where schemaname = 'accounts_dep' "
                     "and indexname = 'smena_data_smena_idx'")
                  .toInt(),
              1);
    const SchemaState state = readSchemaState(db);
    EXPECT_TRUE(state.upToDate());
    EXPECT_TRUE(schemaRefusal(state).isEmpty());

    const QString recorded = steps();
    EXPECT_TRUE(upgradeSchema(db).empty());
    EXPECT_EQ(steps(), recorded);
}

TEST_F(SchemaUpgradeTest, APlantDatabaseKeepsItsDataThroughTheSteps) {
    asTheFirstVersionLeftIt();
    const int worker = addWorker("Иванов И.И.");
    const int oper = addOper(addProduct("ШР-1"), addVid("Сварка"));
    addRecord({worker, oper, QDate(2026, 11, 3)});
    addRecord({worker, oper, QDate(2026, 11, 4), 2});
    const QString before = data();
    EXPECT_FALSE(schemaRefusal(readSchemaState(db)).isEmpty());

    // The first version's objects are taken as they are, then a later step
    // adds to them.
    const auto later = withLaterStep(
        "-- kind: addition\n"
        "alter table accounts_dep.smena add column if not exists note text default 'нет';\n"
        "create index if not exists smena_note_idx on accounts_dep.smena (note);");
    EXPECT_EQ(upgradeSchema(db, later).size(), later.size());
    EXPECT_EQ(scalar("select string_agg(note, ',') from accounts_dep.smena").toString(), "нет,нет");
    run("alter table accounts_dep.smena drop column note");
    EXPECT_EQ(data(), before);
    EXPECT_TRUE(readSchemaState(db, later).upToDate());
}

TEST_F(SchemaUpgradeTest, AFailingStepLeavesTheDatabaseAsItWas) {
    addRecord({addWorker("Иванов И.И."), addOper(addProduct("ШР-1"), addVid("Сварка")),
               QDate(2026, 11, 3)});
    const QString before = data();
    const QString recorded = steps();
    const auto later = withLaterStep("-- kind: addition\n"
                                     "create table accounts_dep.later (x integer);\n"
                                     "delete from accounts_dep.smena;\n"
                                     "select 1 / 0;");
    EXPECT_THROW(upgradeSchema(db, later), DbError);
    EXPECT_EQ(data(), before);
    EXPECT_EQ(steps(), recorded);
    EXPECT_FALSE(scalar("select to_regclass('accounts_dep.later') is not null").toBool());
    // The connection carries on.
    EXPECT_EQ(upgradeSchema(db).size(), 0u);
}

// What a program of `steps` says of a database that has the steps it has.
TEST_F(SchemaUpgradeTest, TheProgramRunsOnlyOnASchemaItKnows) {
    const auto later = withLaterStep("-- kind: addition\ncreate table accounts_dep.later (x int)");
    const QString missing = schemaRefusal(readSchemaState(db, later), later);
    EXPECT_TRUE(missing.contains(QString::fromUtf8(kUpgradeCommand))) << missing.toStdString();
    EXPECT_TRUE(missing.contains("«later»")) << missing.toStdString();

    // A newer program's steps: additions are no obstacle, a change is.
    run("insert into accounts_dep.schema_step (step, name, kind) values (900, 'extra', "
        "'addition')");
    EXPECT_TRUE(readSchemaState(db).newerByAdditionsOnly());
    EXPECT_TRUE(schemaRefusal(readSchemaState(db)).isEmpty());
    EXPECT_THROW(upgradeSchema(db), SchemaRefused);
    run("insert into accounts_dep.schema_step (step, name, kind) values (901, 'renamed', "
        "'change')");
    const QString newer = schemaRefusal(readSchemaState(db));
    EXPECT_TRUE(newer.contains("901 «renamed»")) << newer.toStdString();
    EXPECT_FALSE(newer.contains("900")) << newer.toStdString();
}

TEST_F(SchemaUpgradeTest, TheBatchCommandAndTheOtherJobs) {
    asTheFirstVersionLeftIt();
    const BatchRun refused =
        runBatch(dbName, {"check-timesheets", "--month", "11", "--year", "2026"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("upgrade-schema")) << refused.err.toStdString();

    const BatchRun first = runBatch(dbName, {"upgrade-schema"});
    EXPECT_EQ(first.exitCode, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains("Шаг 1 «base»")) << first.out.toStdString();
    const BatchRun second = runBatch(dbName, {"upgrade-schema"});
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    // The count and its noun agree ("3 шага", not "3 шагов").
    const qint64 all = qint64(embeddedSchemaSteps().size());
    EXPECT_EQ(second.out, "Схема уже обновлена: выполнены все " +
                              countNoun(all, "шаг", "шага", "шагов") + ", ничего не изменено.\n");
    EXPECT_EQ(runBatch(dbName, {"check-timesheets", "--month", "11", "--year", "2026"}).exitCode,
              0);
    EXPECT_EQ(runBatch(dbName, {"upgrade-schema", "--force", "1"}).exitCode, 2);

    // A database a newer program has upgraded: refused on the error stream.
    run("insert into accounts_dep.schema_step (step, name, kind) values (900, 'extra', "
        "'addition')");
    const BatchRun newer = runBatch(dbName, {"upgrade-schema"});
    EXPECT_EQ(newer.exitCode, 1);
    EXPECT_TRUE(newer.err.contains("900 «extra»")) << newer.err.toStdString();
    EXPECT_FALSE(newer.out.contains("900")) << newer.out.toStdString();
}

TEST(SqlScript, SplitsAtSemicolonsOutsideQuotesAndComments) {
    struct Case {
        const char* script;
        QStringList statements;
    } cases[] = {
        {"select 1; select 2;", {"select 1", "select 2"}},
        {"-- only a comment;\n  ;\n/* and; another */", {}},
        {"insert into t values ('a;b', 'it''s;'); select E'\\';'",
         {"insert into t values ('a;b', 'it''s;')", "select E'\\';'"}},
        {"create function f() returns int as $$ begin return 1; end $$ language plpgsql; "
         "do $body$ begin perform 1; end $body$",
         {"create function f() returns int as $$ begin return 1; end $$ language plpgsql",
          "do $body$ begin perform 1; end $body$"}},
        {"select \"a;b\" from t -- tail; comment\n; select $1",
         {"select \"a;b\" from t -- tail; comment", "select $1"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(splitSqlStatements(QString::fromUtf8(c.script)), c.statements) << c.script;
}

} // namespace
