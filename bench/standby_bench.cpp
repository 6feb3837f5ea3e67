// Month end with a standby: a year's report by workers written to PDF from
// the plant's hot standby while eight workstations save records on the
// primary. Times the saves with no report running, while the standby reads
// the report, and while the primary reads it itself, and checks that the
// standby's pages are the primary's. Usage:
//   standby_bench <database> <server> <yyyy-mm-dd> [<standby server>]
// The standby comes from the fourth argument or TABEL_BENCH_STANDBY; without
// one the bench says so and does nothing. The year is the twelve months
// before the date's month; the workstations save on the date itself, outside
// the report, each pausing a little between saves as a foreman does.
#include "bench_support.h"
#include "db/connection.h"
#include "db/report_connection.h"
#include "journal/journal_commands.h"
#include "reportengine/render.h"
#include "reports/data_stamp.h"
#include "reports/summary_pages.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace tabel;
using namespace tabel::bench;

namespace {

constexpr int kWorkstations = 8;
constexpr int kPauseMs = 50; // between one workstation's saves

struct Saves {
    std::mutex lock;
    std::vector<double> times;
    QStringList failures;
};

// Eight workstations, each its own connection and worker, saving a record
// and deleting it again until `stop`.
void workstations(const QString& connection, const QList<int>& workers, int oper, int product,
                  const QDate& day, std::atomic<bool>& stop, Saves& saves) {
    std::vector<std::thread> threads;
    for (int i = 0; i < kWorkstations; ++i)
        threads.emplace_back([&, i] {
            const QString name = QStringLiteral("workstation%1").arg(i);
            {
                QSqlDatabase db = openDatabase(connection, name);
                int color = 910000 + i * 1000;
                while (!stop) {
                    try {
                        const RecordInput in =
                            benchRecord(workers[i % workers.size()], oper, product, ++color, day);
                        QElapsedTimer t;
                        t.start();
                        const RecordSaver::Result r = RecordSaver(db).save(in, 4, day);
                        const double ms = t.nsecsElapsed() / 1e6;
                        std::lock_guard<std::mutex> g(saves.lock);
                        if (!r.saved()) {
                            saves.failures << r.outcome.text;
                            continue;
                        }
                        saves.times.push_back(ms);
                        deleteRecord(db, r.recordId);
                    } catch (const DbError& e) {
                        std::lock_guard<std::mutex> g(saves.lock);
                        saves.failures << e.text();
                    }
                    QThread::msleep(kPauseMs);
                }
            }
            QSqlDatabase::removeDatabase(name);
        });
    for (std::thread& t : threads)
        t.join();
}

// The report written to `file`; returns the milliseconds it took.
double writeReport(const QSqlDatabase& db, const reports::SummaryRequest& request,
                   const QDateTime& asOf, const QString& file, int& pages) {
    QElapsedTimer t;
    t.start();
    std::unique_ptr<reportengine::PdfStream> pdf;
    reportengine::Document setup;
    reports::SummaryPages laid(db, request, QLocale(), [&](reportengine::Page&& page) {
        reports::stampDataTime(page, setup, asOf);
        pdf->add(page);
    });
    setup = laid.setup();
    pdf = std::make_unique<reportengine::PdfStream>(setup, file);
    laid.finish();
    pdf->finish();
    pages = laid.pagesDone();
    return t.nsecsElapsed() / 1e6;
}

// The PDF's text without the line that says when the data stands at.
QString pdfText(const QString& file) {
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    p.waitForFinished(600000);
    QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
    lines.removeIf([](const QString& l) { return l.trimmed().startsWith("Данные на "); });
    return lines.join('\n');
}

} // namespace

int run(int argc, char** argv);

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const DbError& e) {
        std::fprintf(stderr, "database error: %s\n", qPrintable(e.text()));
        return 1;
    }
}

int run(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: standby_bench <database> <server> <date> [<standby>]\n");
        return 2;
    }
    const QString database = argv[1];
    const QString server = argv[2];
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    const QString standbyServer =
        argc > 4 ? QString(argv[4]) : qEnvironmentVariable("TABEL_BENCH_STANDBY");
    if (standbyServer.isEmpty()) {
        std::printf("no standby (TABEL_BENCH_STANDBY): skipped\n");
        return 0;
    }
    const QString connection = connectionString(database, server);
    QSqlDatabase db = openDatabase(connection);
    ReadingConnection reading(db, {standbyServer, {}, 5});
    const ReadingPlace place = reading.forJob();
    if (!place.standby) {
        std::fprintf(stderr, "%s\n", qPrintable(place.note));
        return 1;
    }

    reports::SummaryRequest year;
    year.report = reports::SummaryReport::Workers;
    year.to = QDate(day.year(), day.month(), 1);
    year.from = year.to.addMonths(-12);
    QList<int> workers;
    QSqlQuery w = exec(db,
                       "select distinct w_id from accounts_dep.smena where data >= :d "
                       "order by 1 limit 8",
                       {{"d", day.addMonths(-1)}});
    while (w.next())
        workers << w.value(0).toInt();
    QSqlQuery op = exec(db, "select o.id, o.i_id from accounts_dep.oper o where exists (select 1 "
                            "from accounts_dep.norm n where n.o_id = o.id) limit 1");
    op.next();
    const int oper = op.value(0).toInt();
    const int product = op.value(1).toInt();
    if (workers.isEmpty()) {
        std::fprintf(stderr, "no workers with records near %s\n", argv[3]);
        return 1;
    }

    // Records a run ended early left behind would make every save of their
    // workstation a duplicate.
    QSqlQuery left = exec(db,
                          "select id from accounts_dep.smena where data = :d and color between "
                          "910000 and 919999",
                          {{"d", day}});
    while (left.next())
        deleteRecord(db, left.value(0).toInt());

    // Saves alongside `job`, which runs on this thread.
    const auto savesDuring = [&](const std::function<void()>& job) {
        Saves saves;
        std::atomic<bool> stop = false;
        std::thread floor(
            [&] { workstations(connection, workers, oper, product, day, stop, saves); });
        job();
        stop = true;
        floor.join();
        for (const QString& f : saves.failures.mid(0, 3))
            std::fprintf(stderr, "save failed: %s\n", qPrintable(f));
        return saves.times;
    };

    const QString base = QStringLiteral("/tmp/standby_bench_%1").arg(app.applicationPid());
    // Each phase prints as it ends: on a busy machine a run cut short still
    // tells what it measured.
    const auto detail = [](const std::vector<double>& v) {
        return QStringLiteral("median of %1 saves by %2 workstations")
            .arg(v.size())
            .arg(kWorkstations);
    };
    const auto report = [&](const char* what, const std::vector<double>& v) {
        if (!v.empty())
            printTarget(what, median(v), 20, detail(v));
        std::printf("load average %s\n", qPrintable(loadAverage()));
        std::fflush(stdout);
    };
    std::printf("load average %s\n", qPrintable(loadAverage()));
    report("save a record, no report running", savesDuring([] { QThread::sleep(10); }));
    int standbyPages = 0;
    double standbyMs = 0;
    const std::vector<double> withStandby = savesDuring([&] {
        standbyMs =
            writeReport(place.db, year, place.dataAsOf, base + "-standby.pdf", standbyPages);
    });
    std::printf("a year's report by workers to PDF on the standby: %.1f s, %d pages\n",
                standbyMs / 1000, standbyPages);
    report("save a record, the report on the standby", withStandby);
    int primaryPages = 0;
    double primaryMs = 0;
    const std::vector<double> withPrimary = savesDuring(
        [&] { primaryMs = writeReport(db, year, {}, base + "-primary.pdf", primaryPages); });
    std::printf("the same on the primary:                          %.1f s, %d pages\n",
                primaryMs / 1000, primaryPages);
    report("save a record, the report on the primary", withPrimary);
    const bool same = pdfText(base + "-standby.pdf") == pdfText(base + "-primary.pdf");
    QFile::remove(base + "-standby.pdf");
    QFile::remove(base + "-primary.pdf");
    std::printf("the standby's pages equal the primary's: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
