// Reading jobs on a real hot standby of the test cluster (tests/standby.sh):
// which jobs it serves, that it never takes a write, and how a standby that
// is gone, is no standby, or lags too far hands the job to the primary with
// a note.

#include "db/config.h"
#include "db/connection.h"
#include "db/report_connection.h"
#include "pdf_text.h"
#include "reports/reports_dialog.h"
#include "test_support.h"

#include <QDateEdit>
#include <QFile>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

using namespace tabel;
using namespace tabel::test;

namespace {

// The standby's socket folder: tests/standby.sh puts the standby beside the
// suite's cluster, in the cluster's folder name with "-standby".
QString standbySocket() {
    const QString socket = testSocket();
    if (socket.isEmpty())
        return {};
    return QFileInfo(socket).path() + QStringLiteral("-standby/socket");
}

// The clusters' superuser, who may pause and resume the replay.
QSqlDatabase superuser(const QString& socket, const QString& name) {
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name);
        if (db.isOpen())
            return db;
    }
    return openDatabase(personConnectionString("postgres", socket, "postgres"), name);
}

class StandbyTest : public DbTest {
protected:
    const char* templateName() const override { return demoTemplate; }

    void SetUp() override {
        DbTest::SetUp();
        catchUp();
    }
    void TearDown() override {
        // A paused replay would hold the next test's database back.
        tabel::exec(standbyAdmin(), "select pg_wal_replay_resume()");
        DbTest::TearDown();
    }

    QSqlDatabase standbyAdmin() { return superuser(standbySocket(), "standby_admin"); }
    QSqlDatabase primaryAdmin() { return superuser(testSocket(), "primary_admin"); }

    // Until the standby has replayed all the primary has written so far:
    // polled, a bounded number of times.
    void catchUp() {
        const QString lsn =
            tabel::scalar(primaryAdmin(), "select pg_current_wal_lsn()::text").toString();
        for (int i = 0; i < 600; ++i) {
            if (tabel::scalar(standbyAdmin(),
                              "select pg_wal_lsn_diff(pg_last_wal_replay_lsn(), "
                              "cast(:l as pg_lsn)) >= 0",
                              {{"l", lsn}})
                    .toBool())
                return;
            QThread::msleep(50);
        }
        FAIL() << "the standby did not catch up";
    }
    void pauseReplay() { tabel::exec(standbyAdmin(), "select pg_wal_replay_pause()"); }

    // tabel-batch with a plant's file naming `reportServer` as the standby.
    BatchRun batch(const QStringList& arguments, const QString& reportServer, int maxLag) {
        QFile conf(dir.filePath("tabel.conf"));
        conf.open(QIODevice::WriteOnly | QIODevice::Truncate);
        conf.write(QStringLiteral("report_server = %1\nreport_max_lag = %2\n")
                       .arg(reportServer)
                       .arg(maxLag)
                       .toUtf8());
        conf.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TABEL_SYSTEM_CONFIG", conf.fileName());
        env.insert("XDG_CONFIG_HOME", dir.filePath("nobody"));
        return runBatch(dbName, arguments, env);
    }

    // A worker with a record of a new product in March 2024, its day in the
    // shift time sheet and a day of average piecework: something every
    // reading job shows.
    void addNewWork() {
        const int worker = addWorker("Резервов Р. Р.");
        const int oper = addOper(addProduct("Щит-Резерв"), addVid("Резка-Резерв"));
        addNorm(oper, 7.5);
        addRecord({.worker = worker, .oper = oper, .date = QDate(2024, 3, 5), .qty = 40});
        run("insert into accounts_dep.h_tabel (w_id, month, year, smena, d5) values (:w, 3, 2024, "
            "1, 8)",
            {{"w", worker}});
        // A day of average piecework at a rate of its own, which the
        // reconciliation names.
        addFatigue(worker, 7778, addGroup("Группа-Резерв"), QDate(2024, 3, 6), 8, "999.99", 0);
    }

    QTemporaryDir dir;
};

// What a run printed, in a form two runs can be compared by: the PDF's
// text without its "Данные на" line, or what the job wrote to stdout.
struct JobCase {
    const char* name;
    QStringList arguments; // "FILE" stands for the file written
    const char* suffix;    // ".pdf": the file's text is compared
};

const JobCase kJobs[] = {
    {"report",
     {"report", "workers", "--from", "2024-03-01", "--to", "2024-04-01", "--pdf", "FILE"},
     ".pdf"},
    {"pay-statement", {"pay-statement", "--month", "3", "--year", "2024", "--pdf", "FILE"}, ".pdf"},
    {"print-timesheet",
     {"print-timesheet", "--month", "3", "--year", "2024", "--pdf", "FILE"},
     ".pdf"},
    {"reconcile", {"reconcile", "--month", "3", "--year", "2024"}, ""},
    {"export",
     {"export", "summary", "--from", "2024-03-01", "--to", "2024-04-01", "--xlsx", "FILE"},
     ".xlsx"},
    {"history",
     {"history", "--from", "2000-01-01", "--to", "2100-01-01", "--xlsx", "FILE"},
     ".xlsx"},
};

struct Printed {
    BatchRun run;
    QString content;      // compared between runs
    bool stamped = false; // the PDF says when its data stands at
};

const QString kAsOf = QStringLiteral("Данные на ");

TEST_F(StandbyTest, EveryReadingJobIsServedByTheStandbyWithinTheLagAndByThePrimaryBeyond) {
    int serial = 0;
    const auto print = [&](const JobCase& job, const QString& server, int maxLag) {
        const QString file = dir.filePath(QStringLiteral("%1-%2%3")
                                              .arg(QLatin1String(job.name))
                                              .arg(++serial)
                                              .arg(QLatin1String(job.suffix)));
        QStringList args = job.arguments;
        args.replaceInStrings(QRegularExpression("^FILE$"), file);
        Printed p;
        p.run = batch(args, server, maxLag);
        p.content = p.run.out;
        p.content.replace(file, "FILE");
        if (QLatin1String(job.suffix) == QLatin1String(".pdf")) {
            QStringList lines = pdfPages(file).join('\n').split('\n');
            for (const QString& line : lines)
                p.stamped = p.stamped || line.startsWith(kAsOf);
            lines.removeIf([](const QString& line) { return line.startsWith(kAsOf); });
            p.content += lines.join('\n');
        }
        return p;
    };

    // Caught up: the standby serves every job, quietly, and its pages say
    // when their data stands at.
    std::vector<Printed> before;
    for (const JobCase& job : kJobs) {
        SCOPED_TRACE(job.name);
        before.push_back(print(job, standbySocket(), 5));
        // The demo months' average rates were never recomputed, which
        // reconcile reports with its own exit code.
        EXPECT_TRUE(before.back().run.exitCode == 0 ||
                    QLatin1String(job.name) == QLatin1String("reconcile"))
            << before.back().run.err.toStdString();
        EXPECT_TRUE(before.back().run.err.isEmpty()) << before.back().run.err.toStdString();
        EXPECT_EQ(before.back().stamped, QLatin1String(job.suffix) == QLatin1String(".pdf"));
    }

    // The standby stops replaying, and the primary takes new work: the
    // standby's jobs do not see it, which proves they ran there.
    pauseReplay();
    addNewWork();
    std::vector<Printed> beyond;
    for (size_t i = 0; i < std::size(kJobs); ++i) {
        SCOPED_TRACE(kJobs[i].name);
        const Printed within = print(kJobs[i], standbySocket(), 86400);
        EXPECT_TRUE(within.run.err.isEmpty()) << within.run.err.toStdString();
        EXPECT_EQ(within.content, before[i].content);

        beyond.push_back(print(kJobs[i], standbySocket(), 0));
        const BatchRun& r = beyond.back().run;
        EXPECT_TRUE(r.err.contains("отстает от основного")) << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith(": данные читаются с основного сервера.\n"));
        EXPECT_EQ(r.err.count('\n'), 1) << "said once";
        EXPECT_NE(beyond.back().content, before[i].content);
        EXPECT_FALSE(beyond.back().stamped);
    }

    // Replayed again, the standby prints what the primary printed.
    tabel::exec(standbyAdmin(), "select pg_wal_replay_resume()");
    catchUp();
    for (size_t i = 0; i < std::size(kJobs); ++i) {
        SCOPED_TRACE(kJobs[i].name);
        const Printed after = print(kJobs[i], standbySocket(), 0);
        EXPECT_TRUE(after.run.err.isEmpty()) << after.run.err.toStdString();
        EXPECT_EQ(after.content, beyond[i].content);
        EXPECT_EQ(after.run.exitCode, beyond[i].run.exitCode);
    }
}

// The reports window reads the standby too, and its pages say when their
// data stands at; beyond the lag it reads the primary and says so once.
TEST_F(StandbyTest, TheReportsWindowReadsTheStandbyWithinTheLag) {
    pauseReplay();
    addNewWork();
    int serial = 0;
    const auto preview = [&](int maxLag) {
        ReadingConnection reading(db, {standbySocket(), {}, maxLag}, "reading_" + dbName);
        ctx->reading = &reading;
        ReportsDialog dialog(*ctx);
        dialog.fromPicker()->setDate(QDate(2024, 3, 1));
        dialog.toPicker()->setDate(QDate(2024, 4, 1));
        const QString file = dir.filePath(QStringLiteral("window-%1.pdf").arg(++serial));
        dialog.runPreview = [&file](QPrintPreviewDialog& d) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(file);
            emit d.paintRequested(&printer);
        };
        dialog.printReport(reports::SummaryReport::Workers);
        ctx->reading = nullptr;
        return pdfPages(file).join('\n');
    };

    const QString standby = preview(86400);
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_TRUE(standby.contains(kAsOf)) << standby.toStdString();
    EXPECT_FALSE(standby.contains("Резервов"));

    const QString primary = preview(0);
    EXPECT_FALSE(primary.contains(kAsOf));
    EXPECT_TRUE(primary.contains("Резервов")) << primary.toStdString();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.lastText().contains("отстает от основного"));
}

// A standby that cannot serve is a note on stderr and the primary's numbers.
TEST_F(StandbyTest, AStandbyThatCannotServeHandsTheJobToThePrimaryWithANote) {
    QTemporaryDir nothingThere;
    const QStringList args{"reconcile", "--month", "3", "--year", "2024"};
    const BatchRun primary = batch(args, standbySocket(), 5);
    ASSERT_TRUE(primary.err.isEmpty()) << primary.err.toStdString();
    const struct {
        QString server;
        QString says;
    } cases[] = {
        {nothingThere.path(), "недоступен"},
        {testSocket(), "не является резервным"},
    };
    for (const auto& c : cases) {
        // In the windows: the note once, through the messenger, and the
        // primary's connection.
        ReadingConnection reading(db, {c.server, {}, 5}, "reading_" + dbName);
        ctx->reading = &reading;
        messenger.messages.clear();
        const ReadingPlace place = ctx->forReading();
        ctx->reading = nullptr;
        EXPECT_FALSE(place.standby);
        EXPECT_EQ(place.db.connectionName(), db.connectionName());
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_TRUE(messenger.lastText().contains(c.says)) << messenger.lastText().toStdString();

        const BatchRun r = batch(args, c.server, 5);
        EXPECT_EQ(r.exitCode, primary.exitCode);
        EXPECT_EQ(r.out, primary.out);
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
        EXPECT_TRUE(r.err.endsWith(": данные читаются с основного сервера.\n"))
            << r.err.toStdString();
    }
}

// The reading connection is the standby's own, refuses a write, and is never
// what a writing command gets.
TEST_F(StandbyTest, WritesNeverGoToTheStandby) {
    ReadingConnection reading(db, {standbySocket(), {}, 5}, "reading_" + dbName);
    const ReadingPlace place = reading.forJob();
    ASSERT_TRUE(place.standby) << place.note.toStdString();
    EXPECT_TRUE(place.note.isEmpty());
    EXPECT_TRUE(place.dataAsOf.isValid());
    EXPECT_TRUE(tabel::scalar(place.db, "select pg_is_in_recovery()").toBool());
    EXPECT_EQ(tabel::scalar(place.db, "show default_transaction_read_only").toString(), "on");
    EXPECT_THROW(tabel::exec(place.db, "insert into accounts_dep.person (fio) values ('Запись')"),
                 DbError);

    // A writing command with a standby configured still writes, on the
    // primary, and says nothing about the standby.
    const BatchRun write =
        batch({"recalc-average", "--month", "3", "--year", "2024"}, standbySocket(), 5);
    EXPECT_EQ(write.exitCode, 0) << write.err.toStdString();
    EXPECT_TRUE(write.err.isEmpty()) << write.err.toStdString();

    // Without a standby configured, the primary serves and nothing is said.
    ReadingConnection none(db, {}, "none_" + dbName);
    const ReadingPlace primary = none.forJob();
    EXPECT_FALSE(primary.standby);
    EXPECT_TRUE(primary.note.isEmpty());
    EXPECT_EQ(primary.db.connectionName(), db.connectionName());
}

TEST(StandbySettings, ConnectionStringSwapsOnlyServerAndDatabaseAndReadsOnly) {
    const QString primary = connectionString("plant", "db-main");
    const QString standby = standbyConnectionString(primary, "db-replica", {});
    EXPECT_TRUE(standby.contains(";SERVER=db-replica;"));
    EXPECT_TRUE(standby.contains("DATABASE=plant;"));
    EXPECT_TRUE(standby.endsWith(";pqopt={options='-c default_transaction_read_only=on'}"));
    EXPECT_FALSE(standby.contains("db-main"));
    EXPECT_EQ(QString(standby).replace("db-replica", "db-main").section(";pqopt=", 0, 0), primary);
    EXPECT_TRUE(
        standbyConnectionString(primary, "r", "plant_copy").contains("DATABASE=plant_copy;"));
    EXPECT_EQ(dataAsOfText(QDateTime(QDate(2026, 12, 31), QTime(23, 5, 9))),
              "Данные на 31.12.2026 23:05:09");
}

TEST(StandbySettings, ConfigurationNamesTheStandbyAndItsLag) {
    QTemporaryDir dir;
    const auto target = [&dir](const QString& text) {
        QFile f(dir.filePath("tabel.conf"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text.toUtf8());
        f.close();
        return resolveConnection({f.fileName(), {}}, {});
    };
    const ConnectionTarget none = target("server = main\n");
    EXPECT_TRUE(none.reportServer.isEmpty());
    EXPECT_EQ(none.reportMaxLag, 5);
    const ConnectionTarget set =
        target("server = main\nreport_server = replica\nreport_database = copy\n"
               "report_max_lag = 30\n");
    EXPECT_EQ(set.reportServer, "replica");
    EXPECT_EQ(set.reportDatabase, "copy");
    EXPECT_EQ(set.reportMaxLag, 30);
    for (const char* bad : {"report_max_lag = -1\n", "report_max_lag = 5s\n"})
        EXPECT_THROW(target(bad), ConfigError) << bad;
}

} // namespace
