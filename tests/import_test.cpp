#include "test_support.h"

#include "app/windows.h"
#include "db/connection.h"
#include "import/legacy_import.h"
#include "journal/main_window.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

using namespace tabel;
using namespace tabel::test;

namespace {

// The ODBC data sources these tests use, in an odbc.ini of their own: "Tabel"
// and "Tabel_Other", SQLite files in a folder of this process, and
// "Tabel_PgSQL", the suite's cluster. The driver manager reads the file once
// per process, at the first lookup of a data source, so it is written once
// and every test rebuilds the files it names.
struct DataSources {
    QString tabel;
    QString other;
};

const DataSources& dataSources() {
    static QTemporaryDir dir;
    static const DataSources sources = [] {
        const DataSources s{dir.filePath("legacy.sqlite"), dir.filePath("other.sqlite")};
        QFile ini(dir.filePath("odbc.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            ADD_FAILURE() << "cannot write " << ini.fileName().toStdString();
        // The server's data source carries the driver options of the
        // program's own connection string.
        ini.write(QStringLiteral("[Tabel]\nDriver=SQLite3\nDatabase=%1\n\n"
                                 "[Tabel_Other]\nDriver=SQLite3\nDatabase=%2\n\n"
                                 "[Tabel_PgSQL]\nDriver=PostgreSQL Unicode\nServername=%3\n"
                                 "Port=5432\nUsername=sys\nPassword=wuxamez\nProtocol=7.4\n"
                                 "UseServerSidePrepare=1\nLFConversion=0\nTextAsLongVarchar=1\n"
                                 "BoolsAsChar=1\nUseDeclareFetch=0\nDebug=0\nCommLog=0\n")
                      .arg(s.tabel, s.other, testSocket())
                      .toUtf8());
        ini.close();
        qputenv("ODBCINI", QFile::encodeName(ini.fileName()));
        return s;
    }();
    return sources;
}

// A legacy desktop database as a SQLite file with the legacy tables, written
// through the SQLite ODBC driver without a data source.
class LegacyDb {
public:
    explicit LegacyDb(const QString& path) : name_("legacy_" + QFileInfo(path).baseName()) {
        QFile::remove(path);
        QSqlDatabase db = QSqlDatabase::addDatabase("QODBC", name_);
        db.setDatabaseName("DRIVER=SQLite3;Database=" + path);
        if (!db.open())
            ADD_FAILURE() << db.lastError().text().toStdString();
        QString days;
        for (int d = 1; d <= 31; ++d)
            days += QStringLiteral(", d%1 smallint").arg(d);
        run("create table H_TABEL (id integer primary key, w_id integer, month smallint, "
            "year smallint, smena smallint" +
            days + ")");
        run("create table IZDEL (ID integer primary key, MARKA varchar(50), nom varchar(100), "
            "massa decimal(12,3))");
        run("create table NOMENKL (Nom varchar(150), marka varchar(7))");
        run("create table OPER (ID integer primary key, VID integer, NAIMEN smallint, "
            "CENA decimal(12,2), I_ID integer)");
        run("create table VID_OPER (ID integer, VID varchar(50))");
        run("create table WORKERS (ID integer primary key, FIO varchar(50), ADDR varchar(100))");
    }
    ~LegacyDb() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }

    void run(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.exec(sql))
            ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    void add(const QString& table, const QVariantList& values) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        QStringList marks;
        for (int i = 0; i < values.size(); ++i)
            marks << "?";
        q.prepare("insert into " + table + " values (" + marks.join(',') + ")");
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec())
            ADD_FAILURE() << table.toStdString() << ": " << q.lastError().text().toStdString();
    }
    // A time-sheet row; days not given are left empty.
    void addTimesheet(int id, int worker, int month, int year, int shift,
                      const std::map<int, int>& days) {
        QVariantList v{id, worker, month, year, shift};
        for (int d = 1; d <= 31; ++d)
            v << (days.count(d) ? QVariant(days.at(d)) : nullInt());
        add("H_TABEL", v);
    }

private:
    QString name_;
};

const QVariant kNull = nullInt();

class ImportTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        sources = dataSources();
        createSmenaSource();
    }

    // The production records' source: a table of the server that the
    // unqualified name reaches.
    void createSmenaSource() {
        run("drop table if exists public.smena");
        run("create table public.smena (id integer, w_id integer, i_id integer, o_id integer, "
            "kol_vo numeric, brak smallint, smena smallint, cena double precision, "
            "color integer, ok text, data date, time integer, vvod timestamp)");
    }

    // The server through its data source, as the import's own tests reach it.
    QSqlDatabase server() {
        const QString name = dbName + "_pgsql";
        if (QSqlDatabase::contains(name))
            return QSqlDatabase::database(name, false);
        serverConnections_ << name;
        return openDatabase("Tabel_PgSQL;DATABASE=" + dbName, name);
    }
    void TearDown() override {
        for (const QString& name : serverConnections_)
            QSqlDatabase::removeDatabase(name);
        DbTest::TearDown();
    }

    Outcome import(QList<ImportProgress>* steps = nullptr) {
        LegacyImport legacy(server());
        return legacy.run([steps](const ImportProgress& p) {
            if (steps)
                steps->append(p);
            return true;
        });
    }

    // The rows of `sql`, each as the server writes a row ("(1,,"""")":
    // an empty field is null, "" empty text), in the order of the query.
    QString rows(const QString& sql, const QVariantMap& params = {}) {
        return scalar("select coalesce(string_agg(r::text, ' ' order by n), '') from "
                      "(select q, row_number() over () n from (" +
                          sql + ") q) r(r, n)",
                      params)
            .toString();
    }

    // What a failed or refused import must leave exactly as it was.
    QString everything() {
        QStringList all;
        for (const char* t : {"accounts_dep.h_tabel", "cmn_gds_and_srv.gds_and_srv",
                              "accounts_dep.nomenkl", "accounts_dep.oper", "accounts_dep.vid_oper",
                              "accounts_dep.workers", "accounts_dep.smena"})
            all << rows(QStringLiteral("select * from %1 order by id").arg(t));
        return all.join('\n');
    }

    // A small legacy database with a row of values and a row of nulls in
    // every table, and two production records to go with it.
    void fillLegacy(LegacyDb& legacy) {
        legacy.addTimesheet(1, 5, 3, 2005, 1, {{1, 8}, {31, 11}});
        legacy.addTimesheet(2, 6, 3, 2005, 2, {});
        legacy.add("IZDEL", {10, "Болт М8", "Крепеж", "12.345"});
        legacy.add("IZDEL", {11, kNull, kNull, kNull});
        legacy.add("NOMENKL", {"Метизы", "М1"});
        legacy.add("NOMENKL", {kNull, kNull});
        legacy.add("OPER", {20, 30, 1, "1.25", 10});
        legacy.add("OPER", {21, kNull, kNull, kNull, kNull});
        legacy.add("VID_OPER", {30, "Резка"});
        legacy.add("VID_OPER", {31, kNull});
        legacy.add("WORKERS", {5, "Иванов И.И.", "ул. Ленина, 1"});
        legacy.add("WORKERS", {6, kNull, kNull});
        run("insert into public.smena values (100, 5, 10, 20, 12.5, 1, 3, 2.75, 1015, 'ok', "
            "'2005-03-01', 8, '2005-03-01 10:20:30'), "
            "(101, null, null, null, null, null, null, null, null, null, null, null, null)");
    }

    DataSources sources;

private:
    QStringList serverConnections_;
};

TEST_F(ImportTest, CopiesEveryTableColumnByColumnWithNullsAsZeroOrEmptyText) {
    // Targets: rows with ids of 0 and below stay; the others are replaced.
    run("insert into accounts_dep.h_tabel (id, w_id, month, year, smena) values "
        "(0, 1, 1, 2000, 1), (1, 1, 1, 2000, 1), (50, 1, 1, 2000, 1)");
    run("insert into accounts_dep.nomenkl (id, nom, marka) values (-1, 'свой', 'С'), "
        "(7, 'старый', 'Х')");
    run("insert into accounts_dep.oper (id, vid, naimen, i_id, cena_new) values (-3, 1, 0, 1, 0), "
        "(99, 1, 0, 1, 0)");
    run("insert into accounts_dep.workers (id, fio, addr) values (0, 'Ноль', ''), (8, 'Х', '')");
    run("insert into accounts_dep.smena (id, w_id, data, smena) values (-5, 1, '2004-01-01', 1), "
        "(777, 1, '2004-01-01', 1)");
    // Goods: one product the legacy table changes, and goods of the other
    // applications that it does not know.
    const int group = scalar("insert into cmn_classifier.item (id_level, s_caption, b_excluded) "
                             "values (2, 'Крепеж', 0) returning id")
                          .toInt();
    run("insert into cmn_gds_and_srv.gds_and_srv (id, s_caption, s_description, id_msm_bs, "
        "massa, id_class_item) values (10, 'Старое', 'описание', 6, 1, :g), "
        "(500, 'Чужой товар', 'склад', 3, 2, null)",
        {{"g", group}});

    LegacyDb legacy(sources.tabel);
    fillLegacy(legacy);
    QList<ImportProgress> steps;
    const Outcome outcome = import(&steps);
    ASSERT_TRUE(outcome.done()) << outcome.text.toStdString();

    EXPECT_EQ(rows("select id, w_id, month, year, smena, i_type, i_night, d1, d2, d30, d31 "
                   "from accounts_dep.h_tabel order by id"),
              "(0,1,1,2000,1,0,0,,,,) (1,5,3,2005,1,0,0,8,0,0,11) (2,6,3,2005,2,0,0,0,0,0,0)");
    EXPECT_EQ(scalar("select count(*) from accounts_dep.h_tabel where id > 0 and ("
                     "d1 is null or d15 is null or d31 is null)")
                  .toInt(),
              0);
    EXPECT_EQ(rows("select id, s_caption, s_description, id_msm_bs, massa, id_class_item = :g "
                   "from cmn_gds_and_srv.gds_and_srv order by id",
                   {{"g", group}}),
              QStringLiteral("(10,\"Болт М8\",описание,6,12.345,t) (11,\"\",\"\",6,0,) "
                             "(500,\"Чужой товар\",склад,3,2,)"));
    EXPECT_EQ(rows("select id, marka, massa from accounts_dep.izdel where id in (10, 11) "
                   "order by id"),
              QStringLiteral("(10,\"Болт М8\",12.345) (11,\"\",0)"));
    EXPECT_EQ(rows("select nom, marka from accounts_dep.nomenkl order by id"),
              QStringLiteral("(свой,С) (Метизы,М1) (\"\",\"\")"));
    EXPECT_EQ(rows("select id, vid, naimen, cena, i_id, cena_new from accounts_dep.oper "
                   "order by id"),
              "(-3,1,0,,1,0) (20,30,1,1.25,10,0) (21,0,0,0,0,0)");
    EXPECT_EQ(rows("select id, vid from accounts_dep.vid_oper order by id"),
              QStringLiteral("(30,Резка) (31,\"\")"));
    EXPECT_EQ(rows("select id, fio, addr from accounts_dep.workers order by id"),
              QStringLiteral("(0,Ноль,\"\") (5,\"Иванов И.И.\",\"ул. Ленина, 1\") (6,\"\",\"\")"));
    EXPECT_EQ(rows("select id, w_id, i_id, o_id, kol_vo, brak, smena, cena, color, ok, "
                   "to_char(data, 'YYYY-MM-DD'), time, to_char(vvod, 'YYYY-MM-DD HH24:MI:SS'), "
                   "prize, id_doc, id_doc_item, f_gds_qty_use, id_gds_use, id_cons_use "
                   "from accounts_dep.smena order by id"),
              "(-5,1,,,,,1,,,,2004-01-01,,,,,,,,) "
              "(100,5,10,20,12.5,1,3,2.75,1015,ok,2005-03-01,8,\"2005-03-01 10:20:30\","
              "0,0,0,0,0,0) "
              "(101,0,0,0,0,0,0,0,0,\"\",,0,,0,0,0,0,0,0)");

    // The progress names each table as it goes and ends each one once.
    QStringList finished;
    for (const ImportProgress& p : steps)
        if (p.finished)
            finished << QStringLiteral("%1>%2:%3").arg(p.source, p.target).arg(p.done);
    EXPECT_EQ(finished.join(' '),
              "H_TABEL>accounts_dep.h_tabel:2 IZDEL>cmn_gds_and_srv.gds_and_srv:2 "
              "NOMENKL>accounts_dep.nomenkl:2 OPER>accounts_dep.oper:2 "
              "VID_OPER>accounts_dep.vid_oper:2 WORKERS>accounts_dep.workers:2 "
              "smena>accounts_dep.smena:2");
    EXPECT_EQ(steps.first().done, 0);
    EXPECT_EQ(steps.first().total, 2);
}

TEST_F(ImportTest, RowsAddedAfterwardsGetIdsPastTheImportedOnes) {
    // Generators that stand behind the imported ids, and one that is ahead.
    run("select setval('accounts_dep.workers_id_seq', 900)");
    LegacyDb legacy(sources.tabel);
    fillLegacy(legacy);
    ASSERT_TRUE(import().done());

    struct Case {
        const char* insert;
        int above;
    } cases[] = {
        {"insert into accounts_dep.h_tabel (w_id, month, year) values (1, 1, 2006) returning id",
         2},
        {"insert into cmn_gds_and_srv.gds_and_srv (s_caption, s_description, id_msm_bs, massa) "
         "values ('Новое', '', 6, 1) returning id",
         11},
        {"insert into accounts_dep.oper (vid, naimen, i_id, cena_new) values (30, 0, 10, 0) "
         "returning id",
         21},
        {"insert into accounts_dep.vid_oper (vid) values ('Новый вид') returning id", 31},
        {"insert into accounts_dep.workers (fio) values ('Новый') returning id", 900},
        {"insert into accounts_dep.smena (w_id, data, smena) values (5, '2006-01-02', 1) "
         "returning id",
         101},
    };
    for (const Case& c : cases)
        EXPECT_GT(scalar(c.insert).toInt(), c.above) << c.insert;
    EXPECT_EQ(scalar("select count(*) from accounts_dep.workers").toInt(), 3);
    EXPECT_EQ(scalar("select max(id) from accounts_dep.workers").toInt(), 901);
}

TEST_F(ImportTest, AnEmptySourceTableEmptiesItsTargetAboveIdZero) {
    run("insert into accounts_dep.workers (id, fio, addr) values (-2, 'Минус', ''), "
        "(0, 'Ноль', ''), (3, 'Три', ''), (4, 'Четыре', '')");
    run("insert into accounts_dep.smena (id, w_id, smena) values (0, 1, 1), (12, 1, 1)");
    LegacyDb legacy(sources.tabel); // every legacy table empty
    ASSERT_TRUE(import().done());
    EXPECT_EQ(rows("select id from accounts_dep.workers order by id"), "(-2) (0)");
    EXPECT_EQ(rows("select id from accounts_dep.smena order by id"), "(0)");
    EXPECT_EQ(rows("select id from accounts_dep.vid_oper order by id"), "");
}

// Whatever stops the import on the way, every table stays as it was.
TEST_F(ImportTest, AFailureOrRefusalOnTheWayChangesNothing) {
    addWorker("Иванов");
    const int vid = addVid("Сборка");
    const int oper = addOper(addProduct("Изделие"), vid);
    addRecord({.worker = 1, .oper = oper, .date = QDate(2006, 1, 10)});
    run("insert into accounts_dep.h_tabel (id, w_id, month, year, smena, d1) values "
        "(40, 1, 1, 2006, 1, 8)");
    run("insert into accounts_dep.workers (id, fio, addr) values (3, 'Три', '')");
    const QString before = everything();

    struct Case {
        const char* what;
        std::function<void(LegacyDb&)> spoil;
        QString says; // empty: a server error, thrown
    } cases[] = {
        {"a duplicate id in the fifth table",
         [](LegacyDb& l) {
             l.add("VID_OPER", {30, "Ещё раз"});
         },
         {}},
        {"a record whose date is no date",
         [this](LegacyDb&) {
             run("alter table public.smena alter data type text");
             run("update public.smena set data = '2005-02-30' where id = 100");
         },
         "Таблица smena, строка с id 100, поле data: не дата «2005-02-30»"},
        {"a legacy table without one of its columns",
         [](LegacyDb& l) {
             l.run("drop table WORKERS");
             l.run("create table WORKERS (ID integer, FIO varchar(50))");
         },
         "В таблице WORKERS нет поля addr"},
        {"a worker id that is not a number",
         [this](LegacyDb&) {
             run("alter table public.smena alter w_id type text");
             run("update public.smena set w_id = 'пять' where id = 100");
         },
         "Таблица smena, строка с id 100, поле w_id: не целое число «пять»"},
        {"no table smena on the server", [this](LegacyDb&) { run("drop table public.smena"); },
         kImportNoSmena},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        createSmenaSource();
        LegacyDb legacy(sources.tabel);
        fillLegacy(legacy);
        c.spoil(legacy);
        if (c.says.isEmpty()) {
            EXPECT_THROW(import(), DbError);
        } else {
            const Outcome outcome = import();
            EXPECT_EQ(outcome.caption, kImportCaption);
            EXPECT_TRUE(outcome.text.startsWith(c.says)) << outcome.text.toStdString();
        }
        EXPECT_EQ(everything(), before);
    }
}

TEST_F(ImportTest, WhereIzdelIsATableItIsReplacedLikeTheOthers) {
    run("drop view accounts_dep.izdel");
    run("create table accounts_dep.izdel (id serial primary key, marka varchar(254), "
        "nom varchar(255), massa numeric, id_class_item numeric(15, 0), id_nom numeric(15, 0))");
    run("insert into accounts_dep.izdel (id, marka, nom, massa) values (0, 'Свое', '', 1), "
        "(10, 'Старое', '', 1), (12, 'Лишнее', '', 1)");
    const QString goods = rows("select * from cmn_gds_and_srv.gds_and_srv order by id");
    LegacyDb legacy(sources.tabel);
    fillLegacy(legacy);
    QList<ImportProgress> steps;
    ASSERT_TRUE(import(&steps).done());
    EXPECT_EQ(rows("select id, marka, nom, massa from accounts_dep.izdel order by id"),
              QStringLiteral("(0,Свое,\"\",1) (10,\"Болт М8\",Крепеж,12.345) (11,\"\",\"\",0)"));
    EXPECT_GT(
        scalar("insert into accounts_dep.izdel (marka) values ('Новое') returning id").toInt(), 11);
    EXPECT_EQ(rows("select * from cmn_gds_and_srv.gds_and_srv order by id"), goods);
    EXPECT_TRUE(std::any_of(steps.cbegin(), steps.cend(), [](const ImportProgress& p) {
        return p.finished && p.target == "accounts_dep.izdel" && p.done == 2;
    }));
}

TEST_F(ImportTest, RefusesWhenSmenaIsTheTargetItself) {
    addWorker("Иванов");
    const int oper = addOper(addProduct("Изделие"), addVid("Сборка"));
    addRecord({.worker = 1, .oper = oper, .date = QDate(2006, 1, 10)});
    LegacyDb legacy(sources.tabel);
    fillLegacy(legacy);
    run("drop table public.smena");
    const QString before = everything();

    exec(server(), "set search_path to accounts_dep, public");
    const Outcome outcome = import();
    EXPECT_EQ(outcome.text, kImportSelfWipe);
    EXPECT_EQ(everything(), before);
}

TEST_F(ImportTest, DatesWrittenAsTextAreReadInTheirOwnFormatNeverTheServers) {
    run("alter table public.smena alter data type text, alter vvod type text");
    run("insert into public.smena (id, data, vvod) values "
        "(1, '2005-03-04', '2005-03-04 07:08:09'), (2, '04.03.2005', '04.03.2005 07:08'), "
        "(3, '', '')");
    // Under a month-first date style the server would read 04.03.2005 as
    // the third of April.
    exec(server(), "set datestyle to 'ISO, MDY'");
    LegacyDb legacy(sources.tabel);
    ASSERT_TRUE(import().done());
    EXPECT_EQ(rows("select id, to_char(data, 'YYYY-MM-DD'), "
                   "to_char(vvod, 'YYYY-MM-DD HH24:MI:SS') from accounts_dep.smena order by id"),
              "(1,2005-03-04,\"2005-03-04 07:08:09\") (2,2005-03-04,\"2005-03-04 07:08:00\") "
              "(3,,)");
}

// The legacy database keeps no brigade jobs: the server's go with the
// records they belong to, and the import says how many went.
TEST_F(ImportTest, BrigadeJobsGoWithTheRecordsAndAreCounted) {
    const int worker = addWorker("Иванов");
    const int oper = addOper(addProduct("Изделие"), addVid("Сборка"));
    for (int d = 10; d <= 11; ++d) {
        const int job =
            scalar("insert into accounts_dep.brigade_job (data, smena, i_id, o_id, kol_vo, cena) "
                   "select :d, 1, i_id, id, 10, 1 from accounts_dep.oper where id = :o "
                   "returning id",
                   {{"d", QDate(2006, 1, d)}, {"o", oper}})
                .toInt();
        const int member = scalar("insert into accounts_dep.brigade_member (job_id, w_id, hours, "
                                  "position) values (:j, :w, 8, 1) returning id",
                                  {{"j", job}, {"w", worker}})
                               .toInt();
        const int record = addRecord({.worker = worker, .oper = oper, .date = QDate(2006, 1, d)});
        run("update accounts_dep.smena set id_doc = :j, id_doc_item = :m where id = :r",
            {{"j", job}, {"m", member}, {"r", record}});
    }
    LegacyDb other(sources.other);
    fillLegacy(other);
    const BatchRun done = runBatch(dbName, {"import-legacy", "--source", "Tabel_Other"});
    EXPECT_EQ(done.exitCode, 0) << done.err.toStdString();
    EXPECT_TRUE(done.out.endsWith(
        QStringLiteral("smena → accounts_dep.smena: 2\n"
                       "Бригадные наряды: в прежней базе их нет, удалено нарядов на сервере: 2.\n"
                       "Импорт завершен.\n")))
        << done.out.toStdString();
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_job").toInt(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_member").toInt(), 0);
    EXPECT_EQ(rows("select id from accounts_dep.smena order by id"), "(100) (101)");
}

// The hidden maintenance items of the main window.
TEST_F(ImportTest, TheHiddenImportItemShowsProgressAndTellsTheOutcome) {
    MainWindow main(*ctx);
    Windows windows(*ctx, main);
    QAction* importItem = main.menuAction("ItemImport");
    QAction* structureItem = main.menuAction("ItemStructure");
    ASSERT_NE(importItem, nullptr);
    ASSERT_NE(structureItem, nullptr);
    EXPECT_FALSE(importItem->isVisible());
    EXPECT_FALSE(structureItem->isVisible());

    run("insert into accounts_dep.workers (id, fio, addr) values (3, 'Три', '')");
    const QString before = everything();
    structureItem->trigger();
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_EQ(everything(), before);

    LegacyDb legacy(sources.tabel);
    fillLegacy(legacy);
    // "Отмена" in the progress dialog: nothing changes.
    QTimer::singleShot(0, [&main] {
        auto* progress = main.findChild<QProgressDialog*>("ImportProgress");
        ASSERT_NE(progress, nullptr);
        EXPECT_TRUE(progress->isVisible());
        progress->cancel();
    });
    importItem->trigger();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Information);
    EXPECT_EQ(messenger.messages[0].text, kImportCancelled);
    EXPECT_EQ(everything(), before);

    messenger.messages.clear();
    importItem->trigger();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Information);
    EXPECT_EQ(messenger.messages[0].caption, kImportCaption);
    EXPECT_TRUE(messenger.messages[0].text.startsWith("Импорт завершен.\n"));
    EXPECT_TRUE(messenger.messages[0].text.contains("WORKERS → accounts_dep.workers: 2"));
    EXPECT_TRUE(messenger.messages[0].text.endsWith(
        "\nБригадные наряды: в прежней базе их нет, удалено нарядов на сервере: 0."));
    EXPECT_EQ(rows("select id from accounts_dep.workers order by id"), "(5) (6)");
}

TEST_F(ImportTest, BatchImportReadsTheNamedSourceAndPrintsEachTable) {
    LegacyDb other(sources.other);
    fillLegacy(other);
    other.add("WORKERS", {7, "Сидоров", ""});
    const BatchRun done = runBatch(dbName, {"import-legacy", "--source", "Tabel_Other"});
    EXPECT_EQ(done.exitCode, 0) << done.err.toStdString();
    EXPECT_EQ(done.out, QStringLiteral("H_TABEL → accounts_dep.h_tabel: 2\n"
                                       "IZDEL → cmn_gds_and_srv.gds_and_srv: 2\n"
                                       "NOMENKL → accounts_dep.nomenkl: 2\n"
                                       "OPER → accounts_dep.oper: 2\n"
                                       "VID_OPER → accounts_dep.vid_oper: 2\n"
                                       "WORKERS → accounts_dep.workers: 3\n"
                                       "smena → accounts_dep.smena: 2\n"
                                       "Бригадные наряды: в прежней базе их нет, удалено "
                                       "нарядов на сервере: 0.\n"
                                       "Импорт завершен.\n"));
    EXPECT_EQ(rows("select id from accounts_dep.workers order by id"), "(5) (6) (7)");

    const QString before = everything();
    const BatchRun missing = runBatch(dbName, {"import-legacy", "--source", "No_Such_Source"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("Не удалось открыть источник данных «No_Such_Source»"))
        << missing.err.toStdString();
    EXPECT_EQ(everything(), before);
}

} // namespace
