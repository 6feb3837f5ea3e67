// The other applications' tables as the test and demo databases stand them
// in: exactly the columns the client may rely on, so that a statement that
// reads any other column fails here rather than on a plant's server. The
// pay statement and `reconcile` on such a database, the department taken
// from the view of workers.
#include "pdf_text.h"
#include "reports/pay_statement.h"
#include "test_support.h"
#include "timesheets/rebuilds.h"

#include <QTemporaryDir>

using namespace tabel;
using namespace tabel::test;

namespace {

constexpr const char* kBareTemplate = "tabel_template";
constexpr const char* kDemoTemplate = "tabel_demo_template";

struct Relation {
    const char* name;
    QStringList columns; // "name type" as the server formats the type
};

// The other applications' tables and the two views the client reads
// workers and products through; a column missing here is one a plant's
// database need not have.
const Relation kNeighbours[] = {
    {"cmn_contractor.person",
     {"id numeric(15,0)", "s_code text", "s_caption character varying(254)"}},
    {"cmn_classifier.item",
     {"id integer", "id_classifier numeric(15,0)", "id_level numeric(15,0)",
      "id_parent numeric(15,0)", "s_code character varying(254)",
      "s_caption character varying(254)", "s_description character varying(4000)",
      "d_excluded_date date", "b_excluded integer"}},
    {"cmn_gds_and_srv.gds_and_srv",
     {"id numeric(15,0)", "s_caption text", "s_description text", "id_msm_bs numeric(15,0)",
      "massa numeric", "id_class_item numeric(15,0)"}},
    {"cmn_department.department",
     {"id numeric(15,0)", "id_branch numeric(15,0)", "s_code character varying(254)",
      "s_caption character varying(254)", "s_description character varying(4000)",
      "id_parent numeric(15,0)"}},
    {"hrms_staffpos.staffpos",
     {"id numeric(15,0)", "id_department numeric(15,0)", "s_code character varying(254)",
      "s_caption character varying(254)", "d_begin date", "d_end date",
      "s_description character varying(4000)"}},
    {"adm_role.roles",
     {"id numeric(15,0)", "s_name character varying(30)", "s_caption character varying(254)",
      "d_begin date", "d_end date", "b_active character varying(5)"}},
    {"accounts_dep.person",
     {"id integer", "fio character varying(254)", "s_staffpos_hl character varying(254)"}},
    {"accounts_dep.izdel",
     {"id numeric(15,0)", "marka character varying(254)", "nom character varying(255)",
      "massa numeric", "id_class_item numeric(15,0)", "id_nom numeric(15,0)"}},
};

class NeighbourTablesTest : public DbTest, public ::testing::WithParamInterface<const char*> {
protected:
    const char* templateName() const override { return GetParam(); }

    QStringList columns(const QString& relation) {
        QSqlQuery q = exec(db,
                           "select a.attname || ' ' || format_type(a.atttypid, a.atttypmod) "
                           "from pg_attribute a where a.attrelid = to_regclass(:r) "
                           "and a.attnum > 0 and not a.attisdropped order by a.attname",
                           {{"r", relation}});
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
};

TEST_P(NeighbourTablesTest, HaveExactlyTheColumnsTheClientMayRelyOn) {
    for (const Relation& r : kNeighbours) {
        QStringList expected = r.columns;
        expected.sort();
        EXPECT_EQ(columns(r.name).join(", "), expected.join(", ")) << r.name;
    }
    // Whatever else a stand-in needs lives outside the other applications'
    // schemas.
    EXPECT_EQ(scalar("select string_agg(n.nspname || '.' || c.relname, ', ' "
                     "order by n.nspname, c.relname) from pg_class c "
                     "join pg_namespace n on n.oid = c.relnamespace "
                     "where c.relkind in ('r', 'v', 'm', 'p', 'f') and n.nspname in "
                     "('cmn_contractor', 'cmn_classifier', 'cmn_gds_and_srv', "
                     "'cmn_department', 'hrms_staffpos', 'adm_role')")
                  .toString(),
              "adm_role.roles, cmn_classifier.item, cmn_contractor.person, "
              "cmn_department.department, cmn_gds_and_srv.gds_and_srv, hrms_staffpos.staffpos");
}

TEST_P(NeighbourTablesTest, PayStatementsNameTheDepartmentTheWorkersViewGives) {
    // The demo's months, or a month of one record on the bare template.
    const QDate month(2024, 2, 1);
    if (templateName() == std::string_view(kBareTemplate)) {
        const int oper = addOper(addProduct("СТ-1"), addVid("Сварка"));
        addNorm(oper, 12.5);
        addRecord({.worker = addWorker("Абрамов А.А.", "Цех №1"),
                   .oper = oper,
                   .date = month.addDays(3),
                   .price = 12.5});
    }
    const QList<reports::PayStatement> all = reports::readPayStatements(db, month);
    ASSERT_FALSE(all.isEmpty());
    int withDepartment = 0;
    for (const reports::PayStatement& s : all) {
        const QString viewed =
            scalar("select s_staffpos_hl from accounts_dep.person where id = :w", {{"w", s.worker}})
                .toString();
        EXPECT_EQ(s.department, viewed) << s.worker;
        withDepartment += viewed.isEmpty() ? 0 : 1;
    }
    EXPECT_GT(withDepartment, 0);
}

INSTANTIATE_TEST_SUITE_P(Templates, NeighbourTablesTest,
                         ::testing::Values(kBareTemplate, kDemoTemplate));

class StandInTest : public DbTest {};

// The view of workers keeps the registry's persons: a worker taken off the
// directory stays a person with the name it had.
TEST_F(StandInTest, WorkersViewWritesThroughToTheRegistry) {
    const int id = addWorker("Сорокин С.С.", "Цех №3");
    EXPECT_EQ(
        scalar("select s_code from cmn_contractor.person where id = :i", {{"i", id}}).toString(),
        QString::number(id));
    run("update accounts_dep.person set fio = 'Сорокина С.С.', s_staffpos_hl = 'Цех №4' "
        "where id = :i",
        {{"i", id}});
    EXPECT_EQ(scalar("select fio || '|' || s_staffpos_hl from accounts_dep.person where id = :i",
                     {{"i", id}})
                  .toString(),
              "Сорокина С.С.|Цех №4");
    run("delete from accounts_dep.person where id = :i", {{"i", id}});
    EXPECT_EQ(scalar("select count(*) from accounts_dep.person").toInt(), 0);
    EXPECT_EQ(
        scalar("select s_caption from cmn_contractor.person where id = :i", {{"i", id}}).toString(),
        "Сорокина С.С.");
}

// What tabel-batch prints of a month on a database whose registry has only
// the columns above.
TEST_F(StandInTest, PayStatementAndReconcileRunWithTheDepartmentOfTheWorkersView) {
    const QDate month(2026, 11, 1);
    const int oper = addOper(addProduct("СТ-1"), addVid("Сварка"));
    addNorm(oper, 12.5);
    const int abramov = addWorker("Абрамов Иван Петрович", "Цех №1");
    const int volkov = addWorker("Волков Пётр Ильич", "Цех №1");
    run("update accounts_dep.person set s_staffpos_hl = 'Малярный участок' where id = :i",
        {{"i", volkov}});
    for (int worker : {abramov, volkov})
        addRecord({.worker = worker, .oper = oper, .date = month.addDays(9), .price = 12.5});
    rebuildMonth(db, SheetKind::Shifts, month);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("pay.pdf");
    const BatchRun printed =
        runBatch(dbName, {"pay-statement", "--month", "11", "--year", "2026", "--pdf", file});
    ASSERT_EQ(printed.exitCode, 0) << printed.out.toStdString() << printed.err.toStdString();
    const QString pages = pdfPages(file).join("\n----\n");
    EXPECT_TRUE(pages.contains("Абрамов Иван Петрович, таб. № " + QString::number(abramov)))
        << pages.toStdString();
    EXPECT_TRUE(pages.contains("Подразделение: Цех №1")) << pages.toStdString();
    EXPECT_TRUE(pages.contains("Подразделение: Малярный участок")) << pages.toStdString();

    const BatchRun one = runBatch(dbName, {"pay-statement", "--month", "11", "--year", "2026",
                                           "--worker", QString::number(volkov), "--pdf", file});
    ASSERT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_TRUE(pdfPages(file).join('\n').contains("Подразделение: Малярный участок"));

    const BatchRun r = runBatch(dbName, {"reconcile", "--month", "11", "--year", "2026"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("(работников: 2) сходятся")) << r.out.toStdString();
}

} // namespace
