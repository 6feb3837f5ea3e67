// Times the web view's pages as the server renders them, without HTTP: the
// busiest worker's statement (HTML and PDF) of the month with the most
// records, each monthly sheet of that month, the busiest shift's journal,
// the months and a record's history, each the median of several runs.
// Usage: web_pages_bench <database> <socket-or-host> <yyyy-mm-dd>
#include "bench_support.h"
#include "db/connection.h"
#include "db/sql.h"
#include "timesheets/monthly_sheet.h"
#include "timesheets/sheet_reader.h"
#include "web/pages.h"

#include <QGuiApplication>
#include <QSqlQuery>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;

namespace {

constexpr double kTarget = 100;
constexpr int kRuns = 7;

bool timePage(const char* what, const std::function<web::Page()>& page) {
    web::Page last;
    const double ms = timeMs(kRuns, [&] { last = page(); });
    const QString detail =
        QStringLiteral("status %1, %2 KB").arg(last.status).arg(last.body.size() / 1024);
    const bool met = printTarget(what, ms, kTarget, detail);
    return met && last.status == 200;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: web_pages_bench <database> <server> <date>\n");
        return 2;
    }
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    const web::Viewer viewer{QStringLiteral("sys"), QString()};

    // The month with the most records, by the date index a month at a time.
    QSqlQuery busiest =
        exec(db, "select date_trunc('month', data)::date as m, count(*) "
                 "from accounts_dep.smena group by 1 order by 2 desc, 1 desc limit 1");
    busiest.next();
    const QDate month = busiest.value(0).toDate();
    const int worker = scalar(db,
                              "select w_id from accounts_dep.smena where data >= :d1 and "
                              "data < :d2 group by w_id order by count(*) desc, w_id limit 1",
                              {{"d1", month}, {"d2", month.addMonths(1)}})
                           .toInt();
    QSqlQuery shift = exec(db,
                           "select data, smena from accounts_dep.smena where data >= :d1 and "
                           "data < :d2 group by 1, 2 order by count(*) desc, 1, 2 limit 1",
                           {{"d1", month}, {"d2", month.addMonths(1)}});
    shift.next();
    const QDate day = shift.value(0).toDate();
    const int shiftNo = shift.value(1).toInt();
    qint64 record =
        scalar(db, "select row_id from accounts_dep.change_log where table_name = 'smena' "
                   "group by row_id order by count(*) desc, row_id limit 1")
            .toLongLong();
    if (record == 0) // a database filled past the triggers: the page then finds no history
        record = scalar(db, "select max(id) from accounts_dep.smena").toLongLong();
    std::printf("-- month %s, worker %d, journal %s shift %d, record %lld; load %s\n",
                qPrintable(month.toString("MM.yyyy")), worker,
                qPrintable(day.toString(Qt::ISODate)), shiftNo, record, qPrintable(loadAverage()));

    bool all = true;
    all &= timePage("statement of the busiest worker", [&] {
        return web::statementPage(db, viewer, month.year(), month.month(), worker);
    });
    all &= timePage("statement of the busiest worker, PDF",
                    [&] { return web::statementPdf(db, month.year(), month.month(), worker); });
    // What the pages build on, for reading their figures against.
    const QDate first(month.year(), month.month(), 1);
    SheetReader reader(sql::monthlySheet(sql::MonthlySheet::Piecework));
    const double rows = timeMs(kRuns, [&] { reader.read(db, monthlySheetParams(first)); });
    const double totals = timeMs(kRuns, [&] { readMonthlyTotals(db, first); });
    const double inSnapshot = timeMs(kRuns, [&] {
        exec(db, "set session characteristics as transaction isolation level repeatable read, "
                 "read only");
        {
            Transaction t(db);
            reader.read(db, monthlySheetParams(first));
            readMonthlyTotals(db, first);
            t.commit();
        }
        exec(db, "set session characteristics as transaction isolation level read committed, "
                 "read write");
    });
    std::printf("(both in one read-only snapshot: %.1f ms)\n", inSnapshot);
    std::printf("(the piecework sheet's rows read alone: %.1f ms, the month's totals: %.1f ms)\n",
                rows, totals);
    for (const char* kind : {"piecework", "housekeeping", "average", "general"}) {
        const QByteArray what = QByteArray("sheet ") + kind;
        all &= timePage(what.constData(), [&] {
            return web::sheetPage(db, viewer, month.year(), month.month(),
                                  QString::fromLatin1(kind));
        });
    }
    all &= timePage("journal of the busiest shift",
                    [&] { return web::journalPage(db, viewer, day, shiftNo); });
    all &= timePage("months", [&] { return web::monthsPage(db, viewer); });
    all &= timePage("history of a record",
                    [&] { return web::historyPage(db, viewer, QStringLiteral("smena"), record); });
    return all ? 0 : 1;
}
