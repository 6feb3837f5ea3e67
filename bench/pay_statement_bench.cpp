// Times the workers' pay statements of a month ("Расчётный листок") and
// their reconciliation with the sheets and the report by workers: the
// busiest worker's statement read and laid out, every worker of the month
// read, laid out and written as one PDF, and the month's reconciliation.
// Usage: pay_statement_bench <database> <socket-or-host> <yyyy-mm-dd>; the
// month is the one before that date.
#include "bench_support.h"
#include "db/connection.h"
#include "db/sql.h"
#include "reportengine/render.h"
#include "reports/pay_reconcile.h"
#include "reports/pay_statement.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: pay_statement_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    const QDate month = QDate(day.year(), day.month(), 1).addMonths(-1);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));

    const int busiest = scalar(db,
                               "select w_id from accounts_dep.smena where data >= :d1 and "
                               "data < :d2 group by w_id order by count(*) desc, w_id limit 1",
                               {{"d1", month}, {"d2", month.addMonths(1)}})
                            .toInt();
    QList<reports::PayStatement> one;
    const double read = timeMs(9, [&] { one = reports::readPayStatements(db, month, busiest); });
    reportengine::Document doc;
    const double laid = timeMs(9, [&] { doc = reports::payStatementDocument(one); });
    const double both = timeMs(9, [&] {
        doc = reports::payStatementDocument(reports::readPayStatements(db, month, busiest));
    });
    std::printf("-- %s\n", qPrintable(month.toString("MM.yyyy")));
    std::printf("one worker (%d records, %d entries), read and laid out: %.1f ms (median of 9; "
                "read %.1f, laid out %.1f), %d pages\n",
                int(one.value(0).pieces.size()), int(one.value(0).hours.size()), both, read, laid,
                int(doc.pages.size()));

    const QString file = QDir::temp().filePath("pay_statement_bench.pdf");
    int workers = 0;
    double readAll = 0;
    double layAll = 0;
    const double all = timeMs(3, [&] {
        QElapsedTimer t;
        t.start();
        const QList<reports::PayStatement> every = reports::readPayStatements(db, month);
        readAll = t.nsecsElapsed() / 1e6;
        doc = reports::payStatementDocument(every);
        layAll = t.nsecsElapsed() / 1e6 - readAll;
        workers = int(every.size());
        const QString failure = reportengine::writePdf(doc, file);
        if (!failure.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(failure));
    });
    std::printf("every worker (%d) to one PDF: %.0f ms (median of 3; last: read %.0f, laid out "
                "%.0f), %d pages, %lld KB\n",
                workers, all, readAll, layAll, int(doc.pages.size()),
                QFileInfo(file).size() / 1024);
    QFile::remove(file);

    reports::Reconciliation r;
    const double reconcile = timeMs(3, [&] { r = reports::reconcileMonth(db, month); });
    std::printf("reconcile (%d workers): %.0f ms (median of 3); faults %d, notes %d\n", r.workers,
                reconcile, r.faults(), int(r.differences.size()) - r.faults());
    return 0;
}
