// Times the legacy import at plant size: a legacy database (a SQLite file
// reached through the SQLite ODBC driver) with 500 workers, their time
// sheets of a year, products, operations and types, and 100,000 production
// records in the server's table `smena`, imported into a scratch database of
// the benchmark cluster that is made for the run and dropped after it.
// Usage: import_bench <database> <socket-or-host> [<yyyy-mm-dd>]; the
// database named is only where the cluster is reached, never written.
#include "bench_support.h"
#include "db/connection.h"
#include "db/schema_steps.h"
#include "db/sql.h"
#include "import/legacy_import.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace tabel;
using namespace tabel::bench;

namespace {

const char* kScratch = "tabel_import_bench_scratch";
constexpr int kWorkers = 500;
constexpr int kProducts = 200;
constexpr int kOperations = 1000;
constexpr int kTypes = 20;
constexpr int kRecords = 100000;

// Runs a file of statements as the server's own script runner would: the
// driver passes the text through in one piece.
void runScript(const QSqlDatabase& db, const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw DbError("cannot read " + path);
    QSqlQuery q(db);
    if (!q.exec(QString::fromUtf8(f.readAll())))
        throw DbError(q.lastError().text(), path);
}

void fail(const QSqlQuery& q) {
    throw DbError(q.lastError().text(), q.lastQuery());
}

// The legacy desktop database: the six tables the import reads.
void buildLegacy(const QString& path) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QODBC", "legacy_build");
    db.setDatabaseName("DRIVER=SQLite3;Database=" + path);
    if (!db.open())
        throw DbError(db.lastError().text());
    {
        QSqlQuery q(db);
        QString days;
        QString marks;
        for (int d = 1; d <= 31; ++d) {
            days += QStringLiteral(", d%1 smallint").arg(d);
            marks += QStringLiteral(",?");
        }
        for (const QString& sql :
             {"create table H_TABEL (id integer primary key, w_id integer, month smallint, "
              "year smallint, smena smallint" +
                  days + ")",
              QStringLiteral("create table IZDEL (ID integer primary key, MARKA varchar(50), "
                             "nom varchar(100), massa decimal(12,3))"),
              QStringLiteral("create table NOMENKL (Nom varchar(150), marka varchar(7))"),
              QStringLiteral("create table OPER (ID integer primary key, VID integer, "
                             "NAIMEN smallint, CENA decimal(12,2), I_ID integer)"),
              QStringLiteral("create table VID_OPER (ID integer primary key, VID varchar(50))"),
              QStringLiteral("create table WORKERS (ID integer primary key, FIO varchar(50), "
                             "ADDR varchar(100))")})
            if (!q.exec(sql))
                fail(q);
        db.transaction();
        auto fill = [&](const QString& sql, int count,
                        const std::function<QVariantList(int)>& row) {
            QSqlQuery ins(db);
            if (!ins.prepare(sql))
                fail(ins);
            for (int i = 1; i <= count; ++i) {
                const QVariantList values = row(i);
                for (int v = 0; v < values.size(); ++v)
                    ins.bindValue(v, values[v]);
                if (!ins.exec())
                    fail(ins);
            }
        };
        fill("insert into WORKERS values (?,?,?)", kWorkers, [](int i) {
            return QVariantList{i, QStringLiteral("Работник %1 И.О.").arg(i),
                                QStringLiteral("ул. Заводская, %1").arg(i)};
        });
        fill("insert into VID_OPER values (?,?)", kTypes, [](int i) {
            return QVariantList{i, QStringLiteral("Операция %1").arg(i)};
        });
        fill("insert into IZDEL values (?,?,?,?)", kProducts, [](int i) {
            return QVariantList{i, QStringLiteral("Изделие-%1").arg(i),
                                QStringLiteral("Номенклатура %1").arg(i % 10),
                                QStringLiteral("%1.%2").arg(i % 7).arg(i % 1000)};
        });
        fill("insert into NOMENKL values (?,?)", 50, [](int i) {
            return QVariantList{QStringLiteral("Группа %1").arg(i), QStringLiteral("Г%1").arg(i)};
        });
        fill("insert into OPER values (?,?,?,?,?)", kOperations, [](int i) {
            return QVariantList{i, 1 + i % kTypes, i % 2, QStringLiteral("%1.25").arg(i % 90),
                                1 + i % kProducts};
        });
        // A year of shift rows: every worker, every month, two shifts.
        int id = 0;
        fill("insert into H_TABEL values (?,?,?,?,?" + marks + ")", kWorkers * 24, [&id](int i) {
            const int w = 1 + (i - 1) / 24;
            const int month = 1 + ((i - 1) / 2) % 12;
            QVariantList v{++id, w, month, 2025, 1 + (i - 1) % 2};
            for (int d = 1; d <= 31; ++d)
                v << ((d + w) % 7 < 5 ? QVariant(8) : QVariant(QMetaType::fromType<int>()));
            return v;
        });
        db.commit();
    }
    db.close();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: import_bench <database> <server> [<date>]\n");
        return 2;
    }
    const QString server = QString::fromLocal8Bit(argv[2]);
    try {
        QSqlDatabase admin = openDatabase(connectionString("postgres", server), "admin");
        exec(admin, QStringLiteral("drop database if exists %1 with (force)").arg(kScratch));
        exec(admin, QStringLiteral("create database %1 owner sys").arg(kScratch));
        {
            QSqlDatabase db = openDatabase(connectionString(kScratch, server), "scratch");
            runScript(db, QStringLiteral(TABEL_SOURCE_DIR "/db/neighbours.sql"));
            upgradeSchema(db);
            // The production records' source, on the server as the import
            // finds it.
            exec(db, "create table public.smena (id integer, w_id integer, i_id integer, "
                     "o_id integer, kol_vo numeric, brak smallint, smena smallint, "
                     "cena double precision, color integer, ok text, data date, time integer, "
                     "vvod timestamp)");
            exec(db,
                 "insert into public.smena select g, 1 + g % :w, 1 + g % :p, 1 + g % :o, "
                 "10 + g % 50, g % 3, 1 + g % 4, 1.25 + (g % 40) * 0.5, g % 5, "
                 "case when g % 2 = 0 then 'ok' else 'no' end, "
                 "date '2025-01-01' + g % 365, 8, date '2025-01-01' + g % 365 "
                 "from generate_series(1, :n) g",
                 {{"w", kWorkers}, {"p", kProducts}, {"o", kOperations}, {"n", kRecords}});

            QTemporaryDir dir;
            const QString legacy = dir.filePath("legacy.sqlite");
            buildLegacy(legacy);
            QFile ini(dir.filePath("odbc.ini"));
            ini.open(QIODevice::WriteOnly);
            ini.write(
                QStringLiteral("[Tabel]\nDriver=SQLite3\nDatabase=%1\n").arg(legacy).toUtf8());
            ini.close();
            // Read at the first lookup of a data source, which comes next.
            qputenv("ODBCINI", QFile::encodeName(ini.fileName()));

            LegacyImport import(db);
            Outcome outcome;
            // The machine may be busy with other work: the time this process
            // spent is shown beside the time that passed.
            const std::clock_t cpu = std::clock();
            const double ms = timeMs(3, [&] { outcome = import.run(); });
            const double cpuMs = double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC / 3;
            if (!outcome.done())
                throw DbError(outcome.text);
            for (const ImportedTable& t : import.tables())
                std::printf("  %s -> %s: %d rows\n", qPrintable(t.source), qPrintable(t.target),
                            t.rows);
            const int records = scalar(db, "select count(*) from accounts_dep.smena").toInt();
            std::printf("import %d production records, %d workers and the rest: %.0f ms "
                        "(median of 3; this process's own time %.0f ms a run)%s\n",
                        kRecords, kWorkers, ms, cpuMs, records == kRecords ? "" : "  COUNT WRONG");
        }
        QSqlDatabase::removeDatabase("scratch");
        exec(admin, QStringLiteral("drop database if exists %1 with (force)").arg(kScratch));
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(e.text()), qPrintable(e.statement()));
        return 1;
    }
    return 0;
}
