#include "person_logins.h"

#include "db/rights.h"
#include "housekeeping/housekeeping_journal.h"
#include "journal/journal_commands.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "session/roles.h"
#include "timesheets/month_closing.h"

#include <QMenu>
#include <QPushButton>
#include <QSqlQuery>
#include <set>

using namespace tabel;
using namespace tabel::test;

namespace {

const char* const kGroups[] = {"tabel_admin", "tabel_office", "tabel_foreman", "tabel_store"};

// Each group's letter in the tables below.
QChar letterOf(const QString& group) {
    if (group == "tabel_admin")
        return 'A';
    if (group == "tabel_office")
        return 'O';
    if (group == "tabel_foreman")
        return 'F';
    return 'S';
}

// What setup-roles grants, as the manual's table gives it: per object, what
// the warehouse (S), the foreman (F), the office (O) and the administrator
// (A) may do beyond reading. Every group reads every table and view of
// accounts_dep and may use the schema; nothing is PUBLIC's.
struct TableRow {
    const char* object;
    const char* roles;
    const char* privileges; // "UPDATE(ok)" for a column's
};
const TableRow kGrantTable[] = {
    {"smena", "S", "UPDATE(ok)"},
    {"smena", "F", "INSERT"},
    {"smena", "A", "INSERT,UPDATE,DELETE"},
    {"brigade_job", "F", "INSERT"},
    {"brigade_job", "A", "INSERT,UPDATE,DELETE"},
    {"brigade_member", "F", "INSERT"},
    {"brigade_member", "A", "INSERT,UPDATE,DELETE"},
    {"h_tabel", "F", "INSERT,UPDATE(d1-d31)"},
    {"h_tabel", "OA", "INSERT,UPDATE,DELETE"},
    {"fatigue", "OA", "INSERT,UPDATE,DELETE"},
    {"oper", "A", "INSERT,UPDATE,DELETE"},
    {"norm", "A", "INSERT,UPDATE,DELETE"},
    {"norm_price", "A", "INSERT,UPDATE,DELETE"},
    {"vid_oper", "A", "INSERT,UPDATE,DELETE"},
    {"workers", "A", "INSERT,UPDATE,DELETE"},
    {"nomenkl", "A", "INSERT,UPDATE,DELETE"},
    {"person", "A", "INSERT,UPDATE,DELETE"},
    {"izdel", "A", "INSERT,UPDATE,DELETE"},
    {"ver", "SFOA", "INSERT(d),INSERT(t),UPDATE(d),UPDATE(t)"},
    {"closed_month", "A", "INSERT,DELETE"},
    {"change_log", "A", "DELETE"},
    {"smena_id_seq", "F", "USAGE"},
    {"brigade_job_id_seq", "F", "USAGE"},
    {"brigade_member_id_seq", "F", "USAGE"},
    {"h_tabel_id_seq", "FO", "USAGE"},
    {"fatigue_id_seq", "O", "USAGE"},
    {"*sequences", "A", "USAGE,SELECT,UPDATE"},
    {"month_key(date)", "SFOA", "EXECUTE"},
    {"closed_month_text(integer)", "SFOA", "EXECUTE"},
    {"change_log_keep_until()", "SFOA", "EXECUTE"},
    {"member_role()", "SFOA", "EXECUTE"},
    {"session_app_role()", "SFOA", "EXECUTE"},
    {"code_index()", "SFOA", "EXECUTE"},
    {"norm_price_on(integer,date)", "SFOA", "EXECUTE"},
    {"oper_price_on(integer,date)", "SFOA", "EXECUTE"},
    {"norm_prices_catch_up(integer[])", "A", "EXECUTE"},
    {"hold_for_use(text,bigint)", "FOA", "EXECUTE"},
    {"close_month(integer,integer,text)", "A", "EXECUTE"},
    {"reopen_month(integer,integer,text)", "A", "EXECUTE"},
    {"prune_change_log(date)", "A", "EXECUTE"},
    {"log_worker_change(text,bigint,jsonb,jsonb)", "A", "EXECUTE"},
    {"cmn_classifier.item", "A", "INSERT,UPDATE,DELETE"},
    {"cmn_gds_and_srv.gds_and_srv", "A", "INSERT,UPDATE,DELETE"},
    {"cmn_classifier.item_id_seq", "A", "USAGE,SELECT,UPDATE"},
    {"cmn_gds_and_srv.gds_and_srv_id_seq", "A", "USAGE,SELECT,UPDATE"},
};
const char* const kNeighbourReads[] = {"cmn_contractor.person",       "cmn_classifier.item",
                                       "cmn_gds_and_srv.gds_and_srv", "cmn_department.department",
                                       "hrms_staffpos.staffpos",      "adm_role.roles"};

// Every privilege of the four groups and of PUBLIC on accounts_dep, and of the
// groups on the neighbours' objects the program uses, one "object grantee
// privilege" line each; an object with no ACL of its own counts with its
// owner's defaults (PUBLIC's EXECUTE of a function, say).
const char* const kActualGrants = R"(
with objects as (
  select c.relname::text as object, coalesce(c.relacl, acldefault(case when c.relkind = 'S'
         then 's' else 'r' end::"char", c.relowner)) as acl, null::text as col, true as ours
    from pg_class c join pg_namespace n on n.oid = c.relnamespace
   where n.nspname = 'accounts_dep' and c.relkind in ('r', 'v', 'm', 'p', 'f', 'S')
  union all
  select c.relname::text, a.attacl, a.attname::text, true
    from pg_attribute a join pg_class c on c.oid = a.attrelid
    join pg_namespace n on n.oid = c.relnamespace
   where n.nspname = 'accounts_dep' and a.attnum > 0 and a.attacl is not null
  union all
  select replace(replace(p.oid::regprocedure::text, 'accounts_dep.', ''), ' ', ''),
         coalesce(p.proacl, acldefault('f'::"char", p.proowner)), null, true
    from pg_proc p join pg_namespace n on n.oid = p.pronamespace where n.nspname = 'accounts_dep'
  union all
  select '(schema)', coalesce(nspacl, acldefault('n'::"char", nspowner)), null, true
    from pg_namespace where nspname = 'accounts_dep'
  union all
  select c.oid::regclass::text, c.relacl, null, false from pg_class c
   where c.oid in (to_regclass('cmn_contractor.person'), to_regclass('cmn_classifier.item'),
                   to_regclass('cmn_gds_and_srv.gds_and_srv'), to_regclass('cmn_department.department'),
                   to_regclass('hrms_staffpos.staffpos'), to_regclass('adm_role.roles'),
                   to_regclass('cmn_classifier.item_id_seq'),
                   to_regclass('cmn_gds_and_srv.gds_and_srv_id_seq'))
)
select o.object || ' ' || coalesce(r.rolname, 'PUBLIC') || ' ' || x.privilege_type ||
       coalesce('(' || o.col || ')', '')
  from objects o cross join lateral aclexplode(o.acl) x
  left join pg_roles r on r.oid = x.grantee
 where (x.grantee = 0 and o.ours)
    or r.rolname in ('tabel_admin', 'tabel_office', 'tabel_foreman', 'tabel_store')
 order by 1
)";

std::set<QString> expectedGrants(const QStringList& ourRelations, const QStringList& sequences) {
    std::set<QString> out;
    auto add = [&](const QString& object, const QString& roles, const QString& privileges) {
        for (const char* group : kGroups) {
            if (!roles.contains(letterOf(group)))
                continue;
            for (const QString& p : privileges.split(',')) {
                if (p == "UPDATE(d1-d31)") {
                    for (int d = 1; d <= 31; ++d)
                        out.insert(QStringLiteral("%1 %2 UPDATE(d%3)").arg(object, group).arg(d));
                } else {
                    out.insert(object + ' ' + group + ' ' + p);
                }
            }
        }
    };
    add("(schema)", "SFOA", "USAGE");
    // The one thing PUBLIC may do: call the function a plant's index of the
    // registry may use, since any writer of the registry evaluates it.
    out.insert("code_number(text) PUBLIC EXECUTE");
    for (const QString& r : ourRelations)
        add(r, "SFOA", "SELECT");
    for (const char* t : kNeighbourReads)
        add(t, "SFOA", "SELECT");
    for (const TableRow& row : kGrantTable) {
        if (QLatin1String(row.object) == QLatin1String("*sequences")) {
            for (const QString& s : sequences)
                add(s, row.roles, row.privileges);
        } else {
            add(row.object, row.roles, row.privileges);
        }
    }
    return out;
}

TEST_F(RolesTest, TheGroupsHoldExactlyTheTableOfRightsAndARerunChangesNothing) {
    const auto actual = [&] {
        std::set<QString> out;
        QSqlQuery q = tabel::exec(db, kActualGrants);
        while (q.next())
            out.insert(q.value(0).toString());
        return out;
    };
    const auto names = [&](const char* kinds) {
        QStringList out;
        QSqlQuery q = tabel::exec(db,
                                  "select c.relname from pg_class c join pg_namespace n on "
                                  "n.oid = c.relnamespace where n.nspname = 'accounts_dep' and "
                                  "c.relkind = any (string_to_array(:k, ',')::\"char\"[])",
                                  {{"k", kinds}});
        while (q.next())
            out << q.value(0).toString();
        return out;
    };
    const std::set<QString> expected = expectedGrants(names("r,v"), names("S"));
    const std::set<QString> before = actual();
    EXPECT_EQ(before, expected);
    for (const QString& line : before)
        EXPECT_TRUE(expected.count(line)) << "granted beyond the table: " << line.toStdString();
    for (const QString& line : expected)
        EXPECT_TRUE(before.count(line)) << "not granted: " << line.toStdString();

    // The template was set up already: a second run finds the roles and
    // leaves every right as it was.
    const BatchRun again = runBatch(dbName, {"setup-roles"});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(again.out.contains("Роль tabel_foreman уже есть.")) << again.out.toStdString();
    EXPECT_FALSE(again.out.contains("создана")) << again.out.toStdString();
    EXPECT_FALSE(again.out.contains("Не выдано")) << again.out.toStdString();
    EXPECT_EQ(actual(), before);

    const BatchRun check = runBatch(dbName, {"check"});
    EXPECT_TRUE(check.out.contains("Групповые роли: есть все")) << check.out.toStdString();
}

// What a foreman who logs in as a person can send from psql: nothing that
// changes what is kept. Whatever the session claims to be, the history
// names the login and its role by membership.
TEST_F(RolesTest, AForemanFromPsqlChangesNothingKeptAndTheHistoryNamesThem) {
    const int worker = addWorker("Сидоров С.С.");
    const int oper = addOper(addProduct("Ступица"), addVid("Токарная"));
    addNorm(oper, 3);
    const int record = addRecord({worker, oper, QDate(2031, 3, 4)});
    ASSERT_TRUE(MonthClosing(db).close(2030, 12, {}).outcome.done());
    QSqlDatabase foreman = personOf("tabel_foreman", "foreman");
    const QString login = lastLogin;
    tabel::exec(foreman, "select set_config('tabel.role', 'администратор', false)");

    const QString refused[] = {
        "update accounts_dep.smena set kol_vo = 1",
        "delete from accounts_dep.smena",
        "update accounts_dep.norm set price = 100",
        "select accounts_dep.reopen_month(2030, 12, 'надо')",
        "delete from accounts_dep.closed_month",
        "insert into accounts_dep.closed_month (year, month) values (2031, 3)",
        "delete from accounts_dep.change_log",
        "update accounts_dep.change_log set note = 'правка'",
        "truncate accounts_dep.change_log",
        "select accounts_dep.prune_change_log('2000-01-01')",
        "alter table accounts_dep.smena disable trigger user",
        "set session_replication_role = replica",
    };
    const QString before = scalar("select md5(string_agg(t::text, '|' order by t::text)) from "
                                  "(select s::text t from accounts_dep.smena s union all "
                                  "select n::text from accounts_dep.norm n union all "
                                  "select c::text from accounts_dep.closed_month c union all "
                                  "select l::text from accounts_dep.change_log l) a")
                               .toString();
    for (const QString& statement : refused) {
        try {
            tabel::exec(foreman, statement);
            ADD_FAILURE() << "let through: " << statement.toStdString();
        } catch (const DbError& e) {
            EXPECT_TRUE(lacksRights(e))
                << statement.toStdString() << ": " << e.text().toStdString();
        }
    }
    EXPECT_EQ(scalar("select md5(string_agg(t::text, '|' order by t::text)) from "
                     "(select s::text t from accounts_dep.smena s union all "
                     "select n::text from accounts_dep.norm n union all "
                     "select c::text from accounts_dep.closed_month c union all "
                     "select l::text from accounts_dep.change_log l) a")
                  .toString(),
              before);
    EXPECT_TRUE(
        scalar("select 1 from accounts_dep.smena where id = :id", {{"id", record}}).isValid());

    const int added = tabel::scalar(foreman,
                                    "insert into accounts_dep.smena (w_id, i_id, o_id, data, "
                                    "smena, kol_vo, brak, cena, ok) select :w, i_id, id, "
                                    "'2031-03-05', 1, 4, 0, 3, 'no' from accounts_dep.oper "
                                    "where id = :o returning id",
                                    {{"w", worker}, {"o", oper}})
                          .toInt();
    EXPECT_EQ(scalar("select db_user || ' ' || app_role from accounts_dep.change_log where "
                     "table_name = 'smena' and row_id = :id and action = 'insert'",
                     {{"id", added}})
                  .toString(),
              login + " мастер");
}

// A refusal of the database reaches the user as the action and the role, with
// the server's words as the detail, and nothing is written.
TEST_F(RolesTest, ARefusalForLackOfRightsNamesTheActionAndTheRole) {
    const int oper = addOper(addProduct("Вал"), addVid("Шлифовка"));
    addNorm(oper, 2);
    const int record = addRecord({addWorker("Орлов О.О."), oper, QDate(2031, 4, 2)});
    QSqlDatabase foreman = personOf("tabel_foreman", "foreman");
    RecordingMessenger shown;
    Messenger* previous = setErrorMessenger(&shown);
    guarded([&] { deleteRecord(foreman, record); });
    setErrorMessenger(previous);
    ASSERT_EQ(shown.messages.size(), 1);
    EXPECT_EQ(shown.messages[0].text,
              "Недостаточно прав: изменение или удаление производственной записи (роль «мастер»).");
    EXPECT_TRUE(shown.messages[0].detail.contains("smena"))
        << shown.messages[0].detail.toStdString();
    EXPECT_TRUE(
        scalar("select 1 from accounts_dep.smena where id = :id", {{"id", record}}).isValid());

    const struct {
        const char* statement;
        const char* action;
    } actions[] = {
        {"insert into accounts_dep.smena (w_id) values (1)", "добавление производственной записи"},
        {"update accounts_dep.smena set ok = :ok where id = :id", "приемка записи"},
        {"select id from accounts_dep.oper where id = :id for update",
         "изменение или удаление операции"},
        {"delete from accounts_dep.smena where id = :id", "удаление производственной записи"},
        {"update accounts_dep.norm set price = 1", "изменение нормы"},
        {"delete from cmn_gds_and_srv.gds_and_srv where id = :id", "удаление изделия"},
        {"insert into accounts_dep.closed_month (year, month, note) values (:y, :m, :n)",
         "закрытие месяца"},
        {"select accounts_dep.reopen_month(:y, :m, :reason)", "открытие месяца"},
        {"select accounts_dep.prune_change_log(:before)", "очистка истории изменений"},
        {"lock table accounts_dep.h_tabel in exclusive mode", "импорт из старой базы"},
        {"select s.id from accounts_dep.smena s where s.data = :d", "просмотр данных"},
        {"with s as (select id from accounts_dep.smena) select * from s", "просмотр данных"},
    };
    for (const auto& a : actions)
        EXPECT_EQ(refusedAction(a.statement), QString::fromUtf8(a.action)) << a.statement;
}

// No control stays enabled whose write the database would refuse this login,
// whatever role the program was told; the shared login keeps everything.
TEST_F(RolesTest, NoButtonStaysEnabledThatTheDatabaseWouldRefuse) {
    QSqlDatabase foreman = personOf("tabel_foreman", "foreman");
    RecordingMessenger quiet;
    DataModule foremanData(foreman, quiet);
    AppContext foremanCtx{foremanData, quiet, {}};
    for (int s = 1; s <= 4; ++s)
        foremanData.shiftList(s).setParam("ok", QStringLiteral("ta"));

    struct Case {
        AppContext* context;
        bool person;
    } cases[] = {{ctx.get(), false}, {&foremanCtx, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.person ? "foreman's own login" : "shared login");
        MainWindow main(*c.context);
        main.setTimesheetMenuEnabled(true);
        main.applyRestrictions(restrictionsFor(Role::Administrator));
        EXPECT_TRUE(main.addButton()->isEnabled());
        EXPECT_TRUE(main.brigadeButton()->isEnabled());
        EXPECT_TRUE(main.repeatShiftButton()->isEnabled());
        EXPECT_EQ(main.changeButton()->isEnabled(), !c.person);
        EXPECT_EQ(main.deleteButton()->isEnabled(), !c.person);
        EXPECT_EQ(main.findChild<QMenu*>("MenuDirectories")->isEnabled(), !c.person);
        EXPECT_EQ(main.findChild<QMenu*>("MenuTimesheets")->isEnabled(), !c.person);

        HousekeepingJournal journal(*c.context);
        journal.setDate(QDate(2031, 5, 6));
        journal.activate();
        for (QPushButton* b : {journal.addButton(), journal.changeButton(), journal.deleteButton(),
                               journal.averageButton()})
            EXPECT_EQ(b->isEnabled(), !c.person) << b->text().toStdString();
    }
}

} // namespace
