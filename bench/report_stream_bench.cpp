// The worker reports laid out and written while their rows are read: the
// time to the first page handed over, to the whole document, a month's
// detailed report by workers from the database to the PDF file, and how the
// memory of a streamed PDF grows from a month to a year. Usage:
// report_stream_bench <database> <socket-or-host> <yyyy-mm-dd>; the month is
// the one before that date, the year the twelve months before it.
#include "bench_support.h"
#include "db/connection.h"
#include "reportengine/render.h"
#include "reports/summary_pages.h"
#include "reports/summary_reports.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;
using reports::SummaryReport;

namespace {

struct Run {
    double firstMs = -1;
    double wholeMs = 0;
    int pages = 0;
};

// Lays the report out as its rows are read; `pdf`, when given, is written
// page by page.
Run layOut(const QSqlDatabase& db, const reports::SummaryRequest& request,
           const QString& pdf = {}) {
    Run r;
    QElapsedTimer t;
    t.start();
    std::unique_ptr<reportengine::PdfStream> file;
    reports::SummaryPages pages(db, request, QLocale(), [&](reportengine::Page&& page) {
        if (r.firstMs < 0)
            r.firstMs = t.nsecsElapsed() / 1e6;
        if (file)
            file->add(page);
    });
    if (!pdf.isEmpty())
        file = std::make_unique<reportengine::PdfStream>(pages.setup(), pdf);
    pages.finish();
    if (file && !file->finish().isEmpty())
        std::fprintf(stderr, "the PDF was not written\n");
    r.wholeMs = t.nsecsElapsed() / 1e6;
    r.pages = pages.pagesDone();
    return r;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: report_stream_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    const QDate monthEnd(day.year(), day.month(), 1);
    const QDate monthStart = monthEnd.addMonths(-1);
    const QDate yearStart = monthEnd.addMonths(-12);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    const QString file = QDir::temp().filePath(
        QStringLiteral("report_stream_bench_%1.pdf").arg(QCoreApplication::applicationPid()));
    if (argc > 4 && QByteArray(argv[4]).startsWith("replay")) {
        // A child: a month's rows, read once, laid out and written to PDF
        // `times` times over as one report; says its peak memory, time and
        // pages. What the pages and the file take, apart from the reading.
        const int times = QByteArray(argv[4]).mid(6).toInt();
        const reports::SummaryRequest request{SummaryReport::Workers, monthStart, monthEnd,
                                              reports::ProductKind::All};
        const reportengine::ReportData data = reports::readSummaryReport(db, request);
        QElapsedTimer t;
        t.start();
        std::unique_ptr<reportengine::PdfStream> pdf;
        reportengine::PageStream pages(reports::summaryLayout(request.report), data, QLocale(),
                                       [&](reportengine::Page&& page) { pdf->add(page); });
        pdf = std::make_unique<reportengine::PdfStream>(pages.setup(), file);
        for (int i = 0; i < times; ++i)
            for (int row = 0; row < data.rowCount(); ++row)
                pages.add(data.row(row));
        pages.finish();
        pdf->finish();
        QFile::remove(file);
        std::printf("%ld %.0f %d\n", memory().peak, t.nsecsElapsed() / 1e6, pages.pagesDone());
        return 0;
    }
    if (argc > 4) {
        // A child: one report to PDF; says its peak memory, time and pages.
        const Run run =
            layOut(db,
                   {SummaryReport::Workers, argv[4] == QByteArray("year") ? yearStart : monthStart,
                    monthEnd, reports::ProductKind::All},
                   file);
        QFile::remove(file);
        std::printf("%ld %.0f %d\n", memory().peak, run.wholeMs, run.pages);
        return 0;
    }
    std::printf("-- %s, load average %s\n", argv[1], qPrintable(loadAverage()));

    const struct {
        const char* name;
        SummaryReport report;
    } reportsToRun[] = {{"by workers", SummaryReport::Workers},
                        {"detailed by workers", SummaryReport::WorkersDetail}};
    const struct {
        const char* name;
        QDate from;
        double firstTarget;
        int runs;
    } periods[] = {{"month", monthStart, 300, 3}, {"year", yearStart, 1500, 1}};
    for (const auto& p : periods)
        for (const auto& r : reportsToRun) {
            std::vector<double> first, whole;
            int pages = 0;
            for (int i = 0; i < p.runs; ++i) {
                const Run run = layOut(db, {r.report, p.from, monthEnd, reports::ProductKind::All});
                first.push_back(run.firstMs);
                whole.push_back(run.wholeMs);
                pages = run.pages;
            }
            const QString what = QStringLiteral("%1, %2: first page").arg(r.name, p.name);
            printTarget(qPrintable(what), median(first), p.firstTarget,
                        QStringLiteral("whole document laid out %1 ms, %2 pages, median of %3, "
                                       "load %4")
                            .arg(median(whole), 0, 'f', 0)
                            .arg(pages)
                            .arg(p.runs)
                            .arg(loadAverage()));
        }

    // A month's detailed report by workers from the database to the file.
    {
        std::vector<double> whole;
        int pages = 0;
        for (int i = 0; i < 3; ++i) {
            const Run run = layOut(
                db, {SummaryReport::WorkersDetail, monthStart, monthEnd, reports::ProductKind::All},
                file);
            whole.push_back(run.wholeMs);
            pages = run.pages;
        }
        printTarget("detailed by workers, month, to PDF", median(whole), 3000,
                    QStringLiteral("%1 pages, median of 3, load %2").arg(pages).arg(loadAverage()));
    }

    // The peak memory of a whole process that writes the report by workers
    // to PDF, each period in a process of its own: a year's should be about
    // a month's.
    // The same, laying out and writing a month's rows once and four times
    // over: the memory of the pages and of the file alone.
    const struct {
        const char* mode;
        const char* what;
    } children[] = {{"month", "report by workers, month, to PDF"},
                    {"year", "report by workers, year, to PDF"},
                    {"replay1", "a month's rows laid out and written once"},
                    {"replay4", "a month's rows laid out and written 4 times"}};
    long peak[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {argv[1], argv[2], argv[3], children[i].mode});
        child.waitForFinished(-1);
        const QStringList said = QString::fromUtf8(child.readAllStandardOutput()).split(' ');
        peak[i] = said.value(0).toLong();
        std::printf("%-46s whole process: %s ms, %s pages, peak memory %ld MB (load %s)\n",
                    children[i].what, qPrintable(said.value(1)),
                    qPrintable(said.value(2).trimmed()), peak[i] / 1024, qPrintable(loadAverage()));
    }
    std::printf("peak memory, a year's streamed PDF over a month's: %.2f times; four months' "
                "rows laid out and written over one: %.2f times\n",
                peak[0] > 0 ? double(peak[1]) / double(peak[0]) : 0.0,
                peak[2] > 0 ? double(peak[3]) / double(peak[2]) : 0.0);
    QFile::remove(file);
    return 0;
}
