#include "test_support.h"

#include "db/connection.h"

#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

namespace tabel::test {

QString testSocket() {
    const QString s = qEnvironmentVariable("TABEL_TEST_SOCKET");
    return s;
}

namespace {
QSqlDatabase admin() {
    const QString name = "tabel_admin";
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase a = QSqlDatabase::database(name);
        if (a.isOpen())
            return a;
    }
    return openDatabase(connectionString("postgres", testSocket()), name);
}
} // namespace

void DbTest::SetUp() {
    ASSERT_FALSE(testSocket().isEmpty()) << "TABEL_TEST_SOCKET is not set";
    dbName = "t_" + QUuid::createUuid().toString(QUuid::Id128).left(16);
    tabel::exec(admin(), QStringLiteral("create database %1 template %2 owner sys")
                             .arg(dbName, QLatin1String(templateName())));
    db = openDatabase(connectionString(dbName, testSocket()), dbName);
    data = std::make_unique<DataModule>(db, messenger);
    ctx = std::unique_ptr<AppContext>(new AppContext{*data, messenger, {}});
    for (int s = 1; s <= 4; ++s)
        data->shiftList(s).setParam("ok", QStringLiteral("ta"));
}

void DbTest::TearDown() {
    ctx.reset();
    data.reset();
    db = QSqlDatabase();
    for (const QString& name : extraConnections_)
        QSqlDatabase::removeDatabase(name);
    QSqlDatabase::removeDatabase(dbName);
    if (dbName.isEmpty())
        return;
    // The server's autovacuum may be working in the database just then; it
    // is not ours to end, so the drop is refused until it has finished.
    const QString drop = QStringLiteral("drop database if exists %1 with (force)").arg(dbName);
    for (int attempt = 1;; ++attempt) {
        try {
            tabel::exec(admin(), drop);
            return;
        } catch (const DbError&) {
            if (attempt == 100)
                throw;
            QThread::msleep(100);
        }
    }
}

QSqlDatabase DbTest::otherWorkstation(const QString& name) {
    const QString full = dbName + "_" + name;
    extraConnections_ << full;
    return openDatabase(connectionString(dbName, testSocket()), full);
}

int DbTest::addWorker(const QString& fio, const QString& dept) {
    return tabel::scalar(db,
                         "insert into accounts_dep.person (fio, s_staffpos_hl) values (:f, :d) "
                         "returning id",
                         {{"f", fio}, {"d", dept}})
        .toInt();
}

int DbTest::addGroup(const QString& caption) {
    return scalar("insert into cmn_classifier.item (id_classifier, id_level, id_parent, "
                  "s_caption, b_excluded) values (1, 2, 1, :s, 0) returning id",
                  {{"s", caption}})
        .toInt();
}

void DbTest::addFatigue(int worker, int type, int group, const QDate& date, int hours,
                        const QString& price, int night) {
    run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, "
        "i_smena, cnt, price, i_holiday, i_night) values (:o, :p, :g, :d, :m, :y, 1, :c, "
        ":pr::numeric, 0, :n)",
        {{"o", type},
         {"p", worker},
         {"g", group},
         {"d", date},
         {"m", date.month()},
         {"y", date.year()},
         {"c", hours},
         {"pr", price},
         {"n", night}});
}

int DbTest::addPerson(const QString& caption, const QVariant& code) {
    return tabel::scalar(db,
                         "insert into cmn_contractor.person (s_code, s_caption) values (:c, :n) "
                         "returning id",
                         {{"c", code}, {"n", caption}})
        .toInt();
}

int DbTest::addProduct(const QString& marka) {
    return tabel::scalar(db,
                         "insert into cmn_gds_and_srv.gds_and_srv (s_caption, s_description, "
                         "id_msm_bs, massa) values (:m, '', 6, 1) returning id",
                         {{"m", marka}})
        .toInt();
}

int DbTest::addVid(const QString& name) {
    return tabel::scalar(db, "insert into accounts_dep.vid_oper (vid) values (:v) returning id",
                         {{"v", name}})
        .toInt();
}

int DbTest::addOper(int product, int vid, int naimen) {
    return tabel::scalar(db,
                         "insert into accounts_dep.oper (vid, naimen, i_id, cena_new) "
                         "values (:v, :n, :i, 0) returning id",
                         {{"v", vid}, {"n", naimen}, {"i", product}})
        .toInt();
}

void DbTest::addNorm(int oper, double price, int norma, int prize) {
    run("insert into accounts_dep.norm (o_id, norma, prize, price) values (:o, :n, :p, :c)",
        {{"o", oper}, {"n", norma}, {"p", prize}, {"c", price}});
}

int DbTest::addRecord(const Record& r) {
    const int product =
        tabel::scalar(db, "select i_id from accounts_dep.oper where id = :o", {{"o", r.oper}})
            .toInt();
    return tabel::scalar(
               db,
               "insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, data, "
               "smena, color, time, vvod, ok, prize, id_doc, id_doc_item, f_gds_qty_use, "
               "id_gds_use, id_cons_use) values (:w, :i, :o, :c, :q, :b, :d, :s, :col, :t, :d, "
               ":ok, 0, 0, 0, 0, 0, 0) returning id",
               {{"w", r.worker},
                {"i", product},
                {"o", r.oper},
                {"c", r.price},
                {"q", r.qty},
                {"b", r.brak},
                {"d", r.date},
                {"s", r.shift},
                {"col", r.color},
                {"t", r.time},
                {"ok", r.ok}})
        .toInt();
}

RecordInput DbTest::recordInput(int worker, int oper, const QDate& date, const QString& quantity,
                                const QString& hours) {
    RecordInput in;
    in.workerId = worker;
    in.operationId = oper;
    in.productId =
        tabel::scalar(db, "select i_id from accounts_dep.oper where id = :o", {{"o", oper}})
            .toInt();
    in.finalPrice = 12.5;
    in.fio = "Работник";
    in.operationText = "Изделие; Операция; Готовая продукция";
    in.quantity = quantity;
    in.rejects = "0";
    in.hours = hours;
    in.date = date;
    return in;
}

QVariant DbTest::dayCell(int worker, int shift, const QDate& date) {
    QSqlQuery q =
        tabel::exec(db,
                    QStringLiteral("select d%1 from accounts_dep.h_tabel where w_id = :w "
                                   "and smena = :s and month = :m and year = :y")
                        .arg(date.day()),
                    {{"w", worker}, {"s", shift}, {"m", date.month()}, {"y", date.year()}});
    if (!q.next())
        return {};
    return q.value(0);
}

int DbTest::shiftRows(int worker, int shift, int month, int year) {
    return scalar("select count(*) from accounts_dep.h_tabel where w_id = :w and smena = :s and "
                  "month = :m and year = :y",
                  {{"w", worker}, {"s", shift}, {"m", month}, {"y", year}})
        .toInt();
}

} // namespace tabel::test

#include <QProcess>

namespace tabel::test {

BatchRun runBatch(const QString& database, const QStringList& arguments,
                  const QProcessEnvironment& environment) {
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(QStringLiteral(TABEL_BATCH), QStringList{database, testSocket()} + arguments);
    BatchRun r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        r.err = QStringLiteral("tabel-batch did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace tabel::test
