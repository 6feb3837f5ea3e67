#include "person_logins.h"

#include "db/rights.h"
#include "directories/product_store.h"
#include "housekeeping/housekeeping_journal.h"
#include "housekeeping/housekeeping_rules.h"
#include "journal/journal_commands.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "operations/norm_store.h"
#include "records/brigade_job.h"
#include "records/record_saver.h"
#include "session/roles.h"
#include "timesheets/month_closing.h"
#include "timesheets/rebuilds.h"

#include <QMenu>
#include <QPushButton>
#include <QSqlQuery>

using namespace tabel;
using namespace tabel::test;

namespace {

// What the objects of one case are: made by the owner before the person acts.
struct Scene {
    int worker = 0;
    int product = 0; // with `oper` and its norm
    int oper = 0;
    qint64 group = 0;
    int record = 0; // a production record of `day`
    QDate day;      // a day of `month`, a month of its own for every case
};

enum class Via { Program, Sql };

struct Action {
    const char* name;
    const char* allowed; // the groups' letters: S warehouse, F foreman, O office, A administrator
    // Prepares what the action needs beyond the scene (as the owner).
    std::function<void(RolesTest&, QSqlDatabase& owner, Scene&)> prepare;
    // Runs the action as the person; false when the program's own rules
    // refused it (which no case here expects).
    std::function<bool(QSqlDatabase& person, const Scene&)> program;
    // The same through plain SQL.
    std::function<void(QSqlDatabase& person, const Scene&)> sql;
};

QString version(QSqlDatabase& db, int record) {
    return tabel::scalar(db, "select xmin::text from accounts_dep.smena where id = :id",
                         {{"id", record}})
        .toString();
}

void sql(QSqlDatabase& db, const QString& statement, const QVariantMap& params = {}) {
    tabel::exec(db, statement, params);
}

const QString kOldHistory = QStringLiteral("2000-01-01");

std::vector<Action> actions() {
    const auto none = [](RolesTest&, QSqlDatabase&, Scene&) {};
    return {
        {"save a record", "FA", none,
         [](QSqlDatabase& p, const Scene& s) {
             RecordInput in;
             in.mode = 1;
             in.workerId = s.worker;
             in.operationId = s.oper;
             in.productId = s.product;
             in.date = s.day.addDays(1);
             in.quantity = "5";
             in.rejects = "0";
             in.hours = "8";
             in.color = "0";
             in.finalPrice = 1;
             in.fio = "Рабочий";
             in.operationText = "Изделие; Операция; Готовая продукция";
             return RecordSaver(p).save(in, 1, s.day).status == RecordSaver::Status::Saved;
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p,
                 "insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, data, "
                 "smena, color, time, ok) values (:w, :i, :o, 1, 5, 0, :d, 1, 0, 8, 'no')",
                 {{"w", s.worker}, {"i", s.product}, {"o", s.oper}, {"d", s.day.addDays(1)}});
         }},
        {"change a record", "A", none,
         [](QSqlDatabase& p, const Scene& s) {
             RecordInput in;
             in.mode = 2;
             in.recordId = s.record;
             in.version = version(p, s.record);
             in.workerId = s.worker;
             in.operationId = s.oper;
             in.productId = s.product;
             in.date = s.day;
             in.quantity = "7";
             in.rejects = "0";
             in.hours = "8";
             in.color = "0";
             in.finalPrice = 1;
             in.fio = "Рабочий";
             in.operationText = "Изделие; Операция; Готовая продукция";
             return RecordSaver(p).save(in, 1, s.day).status == RecordSaver::Status::Saved;
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "update accounts_dep.smena set kol_vo = 7 where id = :id", {{"id", s.record}});
         }},
        {"delete a record", "A", none,
         [](QSqlDatabase& p, const Scene& s) { return deleteRecord(p, s.record); },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "delete from accounts_dep.smena where id = :id", {{"id", s.record}});
         }},
        {"accept a record", "SA", none,
         [](QSqlDatabase& p, const Scene& s) {
             return toggleAcceptance(p, s.record, version(p, s.record), "no").done();
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "update accounts_dep.smena set ok = 'ok' where id = :id", {{"id", s.record}});
         }},
        {"a brigade job", "FA", none,
         [](QSqlDatabase& p, const Scene& s) {
             BrigadeJobInput in;
             in.date = s.day.addDays(2);
             in.productId = s.product;
             in.operationId = s.oper;
             in.finalPrice = 1;
             in.operationText = "Изделие; Операция; Готовая продукция";
             in.quantity = "10";
             in.rejects = "0";
             in.color = "0";
             in.members = {{s.worker, "Рабочий", "8", "1.00"}};
             return BrigadeJobs(p).save(in, s.day).saved();
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p,
                 "insert into accounts_dep.brigade_job (data, smena, i_id, o_id, kol_vo, cena) "
                 "values (:d, 1, :i, :o, 10, 1)",
                 {{"d", s.day}, {"i", s.product}, {"o", s.oper}});
         }},
        {"a housekeeping entry", "OA", none,
         [](QSqlDatabase& p, const Scene& s) {
             EntryInput in;
             in.workerId = s.worker;
             in.groupId = s.group;
             in.normPrice = "150";
             in.hours = "8";
             in.date = s.day;
             return HousekeepingRules(p).save(in).done();
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p,
                 "insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, "
                 "i_smena, cnt, price, i_holiday, i_night) values (7777, :w, :g, :d, :m, :y, 1, "
                 "8, 150, 0, 0)",
                 {{"w", s.worker},
                  {"g", s.group},
                  {"d", s.day},
                  {"m", s.day.month()},
                  {"y", s.day.year()}});
         }},
        {"a rebuild", "OA", none,
         [](QSqlDatabase& p, const Scene& s) {
             rebuildMonth(p, SheetKind::Shifts, s.day);
             return true;
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "delete from accounts_dep.h_tabel where month = :m and year = :y",
                 {{"m", s.day.month()}, {"y", s.day.year()}});
         }},
        // A price from today holds through every later month, so the months
        // the cases before closed (each case has a month of its own, later
        // than today) are opened again first.
        {"a norm change", "A",
         [](RolesTest&, QSqlDatabase& owner, Scene&) {
             sql(owner, "select accounts_dep.reopen_month(year, month, 'цены') "
                        "from accounts_dep.closed_month");
         },
         [](QSqlDatabase& p, const Scene& s) {
             const Norm shown = NormStore(p).read(s.oper).front();
             return NormStore(p)
                 .store(s.oper, shown, NormStore::Field::Price, "2,5")
                 .outcome.done();
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "update accounts_dep.norm set price = 2.5 where o_id = :o", {{"o", s.oper}});
         }},
        {"a product deletion", "A", none,
         [](QSqlDatabase& p, const Scene& s) {
             RecordingMessenger quiet;
             DataModule data(p, quiet);
             ProductStore store(data);
             return store.remove(s.product, store.use(s.product)).done();
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "delete from cmn_gds_and_srv.gds_and_srv where id = :id", {{"id", s.product}});
         }},
        {"close a month", "A", none,
         [](QSqlDatabase& p, const Scene& s) {
             return MonthClosing(p).close(s.day.year(), s.day.month(), {}).outcome.done();
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "insert into accounts_dep.closed_month (year, month) values (:y, :m)",
                 {{"y", s.day.year()}, {"m", s.day.month()}});
         }},
        {"reopen a month", "A",
         [](RolesTest&, QSqlDatabase& owner, Scene& s) {
             ASSERT_TRUE(MonthClosing(owner).close(s.day.year(), s.day.month(), {}).outcome.done());
         },
         [](QSqlDatabase& p, const Scene& s) {
             return MonthClosing(p).reopen(s.day.year(), s.day.month(), "ошибка в табеле").done();
         },
         [](QSqlDatabase& p, const Scene& s) {
             sql(p, "select accounts_dep.reopen_month(:y, :m, 'ошибка')",
                 {{"y", s.day.year()}, {"m", s.day.month()}});
         }},
        // What prune-history runs; nothing is a year old, so nothing goes.
        {"prune the history", "A", none,
         [](QSqlDatabase& p, const Scene&) {
             tabel::scalar(p, "select accounts_dep.prune_change_log(:b)", {{"b", kOldHistory}});
             return true;
         },
         [](QSqlDatabase& p, const Scene&) {
             sql(p, "delete from accounts_dep.change_log where changed_at < :b",
                 {{"b", kOldHistory}});
         }},
        // The legacy import's own first writes: it locks its targets and
        // empties them above id 0 (its source needs data sources of its own).
        {"the import", "A", none,
         [](QSqlDatabase& p, const Scene&) {
             Transaction tx(p);
             tabel::exec(p, "lock table accounts_dep.h_tabel, accounts_dep.nomenkl, "
                            "accounts_dep.oper, accounts_dep.vid_oper, accounts_dep.workers, "
                            "accounts_dep.brigade_job, accounts_dep.brigade_member, "
                            "accounts_dep.smena in exclusive mode");
             tabel::exec(p, "delete from accounts_dep.workers where id > 0");
             tx.commit();
             return true;
         },
         [](QSqlDatabase& p, const Scene&) {
             sql(p, "insert into accounts_dep.workers (fio, addr) values ('Иванов', '')");
         }},
    };
}

class RoleActionsTest : public RolesTest {
protected:
    Scene scene(int index) {
        Scene s;
        s.day = QDate(2031, 1, 10).addMonths(index);
        s.worker = addWorker(QStringLiteral("Рабочий %1").arg(index));
        s.product = addProduct(QStringLiteral("Изделие %1").arg(index));
        s.oper = addOper(s.product, addVid(QStringLiteral("Операция %1").arg(index)));
        addNorm(s.oper, 1.5);
        s.group = addGroup(QStringLiteral("Группа %1").arg(index));
        Record r;
        r.worker = s.worker;
        r.oper = s.oper;
        r.date = s.day;
        s.record = addRecord(r);
        // The time sheet as the records make it, so that a close finds no
        // difference.
        rebuildMonth(db, SheetKind::Shifts, s.day);
        run("insert into accounts_dep.workers (fio, addr) values ('Петров', '')");
        return s;
    }
};

// Four roles times the program's writes: through the program's own rules on
// a person's login, and as plain SQL on a second login of the same role, the
// way psql would send it. What the role may do succeeds; the rest is refused
// by the database for lack of rights, and nothing at all is written.
TEST_F(RoleActionsTest, EachRoleMayDoWhatItsTableSaysAndNothingElse) {
    int index = 0;
    for (const char* group : {"tabel_store", "tabel_foreman", "tabel_office", "tabel_admin"}) {
        QSqlDatabase program = personOf(group, QStringLiteral("%1_program").arg(group));
        QSqlDatabase plain = personOf(group, QStringLiteral("%1_sql").arg(group));
        const QChar letter = QString(group) == "tabel_store"     ? 'S'
                             : QString(group) == "tabel_foreman" ? 'F'
                             : QString(group) == "tabel_office"  ? 'O'
                                                                 : 'A';
        for (const Action& a : actions()) {
            for (Via via : {Via::Program, Via::Sql}) {
                SCOPED_TRACE(QStringLiteral("%1, %2, %3")
                                 .arg(group, a.name, via == Via::Program ? "program" : "sql")
                                 .toStdString());
                Scene s = scene(index++);
                a.prepare(*this, db, s);
                const QString before = fingerprint();
                const bool allowed = QString(a.allowed).contains(letter);
                bool refusedForRights = false;
                try {
                    if (via == Via::Program)
                        EXPECT_TRUE(a.program(program, s)) << "the program's rules refused it";
                    else
                        a.sql(plain, s);
                } catch (const DbError& e) {
                    refusedForRights = lacksRights(e);
                    EXPECT_TRUE(refusedForRights) << e.text().toStdString();
                }
                EXPECT_EQ(refusedForRights, !allowed);
                if (!allowed) {
                    EXPECT_EQ(fingerprint(), before) << "written despite the refusal";
                }
            }
        }
    }
}

} // namespace
