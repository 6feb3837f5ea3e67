// Times the summary reports' statements for a month and a year, beside the
// plain statements they replace (the same rows, checked); the reports by
// workers through their stream (a month whole, the first page's rows of a
// month and of a year, a year's rows and the memory they take); the printed shift
// time sheet's statement, and a month's detailed report by workers laid out
// and written as PDF; the reports that name workers again on a registry
// that finds them by code only. Usage: reports_bench <database> <socket-or-host>
// <yyyy-mm-dd>; the month is the one before that date, the year the twelve
// months before it.
#include "bench_support.h"
#include "db/connection.h"
#include "db/sql.h"
#include "reportengine/render.h"
#include "reports/summary_reports.h"
#include "reports/summary_stream.h"
#include "reports/timesheet_print.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>
#include <malloc.h>

using namespace tabel;
using namespace tabel::bench;
using reports::SummaryReport;

namespace {

// Hands the memory freed so far back to the system and starts the peak
// anew from the memory in use then: what a later read takes shows as
// growth, not hidden in memory an earlier read left behind.
void resetPeak() {
    malloc_trim(0);
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

QString withLoad(const QString& detail = {}) {
    return (detail.isEmpty() ? QString() : detail + QStringLiteral("; ")) +
           QStringLiteral("load %1").arg(loadAverage());
}

// The time until the first `count` rows of the report are in hand through
// its stream, the stream ended after them.
double firstRowsMs(const QSqlDatabase& db, const reports::SummaryRequest& request, int count,
                   int runs) {
    return timeMs(runs, [&] {
        reports::SummaryRowStream stream(db, request);
        QList<reportengine::Value> row;
        for (int i = 0; i < count && stream.next(row); ++i) {
        }
    });
}

// Every row of the report through its stream, none kept: the rows and the
// growth of the process's peak memory meanwhile, in kB.
std::pair<int, long> drain(const QSqlDatabase& db, const reports::SummaryRequest& request) {
    resetPeak();
    const long before = memory().rss;
    int rows = 0;
    {
        reports::SummaryRowStream stream(db, request);
        QList<reportengine::Value> row;
        while (stream.next(row))
            ++rows;
    }
    return {rows, memory().peak - before};
}

// The statements as first written (the ambiguous `cena` of the detailed
// report by workers settled as the record's price): every person of the
// registry cast to a number, the housekeeping sums as correlated subqueries.
const char* kPlainByWorkers =
    "select person.s_caption fio, sum(smena.kol_vo-smena.brak)::numeric(10,2) as "
    "kolvo,vid_oper.vid, "
    "sum((kol_vo-brak)*smena.cena)::numeric(10,2) as summa,izdel.nom, oper.naimen, color,"
    "(select coalesce(sum(f.cnt*f.price),0)::numeric(10,2) f_sum7 from accounts_dep.fatigue f "
    "where "
    "f.d_date<:d2 and f.d_date>=:d1 and f.id_p=smena.w_id and f.id_nom=izdel.id_nom and "
    "f.id_o=7777),"
    "(select coalesce(sum(f.cnt*f.price),0)::numeric(10,2) f_sum8 from accounts_dep.fatigue f "
    "where "
    "f.d_date<:d2 and f.d_date>=:d1 and f.id_p=smena.w_id and f.id_nom=izdel.id_nom and "
    "f.id_o=7778),"
    "(select coalesce(sum(f.cnt*f.price),0)::numeric(10,2) f_sum78 from accounts_dep.fatigue f "
    "where f.d_date<:d2 and f.d_date>=:d1 and f.id_p=smena.w_id) "
    "from cmn_contractor.person person,accounts_dep.smena,accounts_dep.izdel,accounts_dep.vid_oper,"
    "accounts_dep.oper where w_id=s_code::integer and izdel.id=smena.i_id and "
    "vid_oper.id=oper.vid and oper.id=smena.o_id and smena.data<:d2 and smena.data>=:d1 "
    "group by fio, izdel.nom, vid_oper.vid, smena.w_id, izdel.id_nom, oper.naimen, color "
    "order by fio, izdel.nom";

const char* kPlainByProducts =
    "select sum(smena.kol_vo-smena.brak)::numeric as kolvo, vid_oper.vid, izdel.nom, oper.naimen, "
    "color, round((izdel.massa*sum(smena.kol_vo-smena.brak))::numeric,2) as mass "
    "from accounts_dep.smena,accounts_dep.izdel,accounts_dep.vid_oper, accounts_dep.oper where "
    "izdel.id=smena.i_id and vid_oper.id=oper.vid and oper.id=smena.o_id and smena.data<:d2 and "
    "smena.data>=:d1 group by izdel.nom,color, oper.naimen, vid_oper.vid, izdel.massa "
    "order by izdel.nom";

QString plainByWorkersDetailed() {
    QString s = "select s_caption fio, izdel.marka, vid_oper.vid, oper.naimen, sum(time) as "
                "sum_time, sum(smena.kol_vo)::numeric(10,2) as kolvo, sum(smena.brak) as brk, "
                "sum((kol_vo-brak)*smena.cena)::numeric(10,2) as summa, color, "
                "sum(prize*(kol_vo-brak)*smena.cena/100)::numeric(10,2) as s_prize";
    const char* sums[][3] = {
        {"f_sum7", "cnt*f.price", "f.id_o=7777 and f.i_night=0"},
        {"f_sum7_n", "cnt*f.price", "f.id_o=7777 and f.i_night=1"},
        {"f_sum8", "cnt*f.price", "f.id_o=7778 and f.i_night=0"},
        {"f_sum8_n", "cnt*f.price", "f.id_o=7778 and f.i_night=1"},
        {"f_sum7h", "cnt", "f.id_o=7777 and f.i_night=0"},
        {"f_sum7h_n", "cnt", "f.id_o=7777 and f.i_night=1"},
        {"f_sum8h", "cnt", "f.id_o=7778 and f.i_night=0"},
        {"f_sum8h_n", "cnt", "f.id_o=7778 and f.i_night=1"},
    };
    for (const auto& x : sums)
        s += QStringLiteral(", (select coalesce(sum(f.%2),0)::numeric(10,2) %1 from "
                            "accounts_dep.fatigue f where f.d_date<:d2 and f.d_date>=:d1 and "
                            "f.id_p=smena.w_id and %3)")
                 .arg(x[0], x[1], x[2]);
    return s + " from cmn_contractor.person person,accounts_dep.izdel,accounts_dep.oper,"
               "accounts_dep.smena,accounts_dep.vid_oper where smena.o_id=oper.id and "
               "smena.w_id=s_code::integer and smena.i_id=izdel.id and oper.vid=vid_oper.id "
               "and smena.data<:d2 and smena.data>=:d1 group by fio, marka,vid_oper.vid, "
               "oper.naimen, color, w_id order by fio, marka, vid_oper.vid, oper.naimen";
}

const char* kPlainByProductsDetailed =
    "select izdel.marka, vid_oper.vid vid, oper.naimen, izdel.nom, sum(smena.kol_vo)::numeric as "
    "kolvo, sum(smena.brak) as brk, sum((kol_vo-brak)*smena.cena) as summa, color, "
    "round((izdel.massa*sum(smena.kol_vo))::numeric,2) as mass from accounts_dep.izdel,"
    "accounts_dep.oper,accounts_dep.smena,accounts_dep.vid_oper where smena.o_id=oper.id and "
    "smena.i_id=izdel.id and oper.vid=vid_oper.id and smena.data<:d2 and smena.data>=:d1 "
    "group by izdel.nom, marka, vid_oper.vid, oper.naimen, color,massa "
    "order by izdel.nom,marka, vid_oper.vid, oper.naimen";

QString plainTimesheet() {
    QString s = "select person.s_caption fio";
    for (int d = 1; d <= 31; ++d)
        s += QStringLiteral(", sum(d%1) as sd%1").arg(d);
    return s + " from accounts_dep.h_tabel, cmn_contractor.person person where "
               "h_tabel.w_id=person.s_code::t_integer and month=:mnth and year=:yea "
               "group by fio order by fio";
}

// A value as the comparison sees it: numbers to six places (the plain
// statements add doubles in another order), texts as they are.
QString canonical(const reportengine::Value& v) {
    return reportengine::formatValue(v, reportengine::Mask::parse("#0.000000"), 6, QLocale::c());
}

// The rows as text, the columns in `columns` only, sorted: rows in an order
// the plain statement leaves open compare equal.
std::vector<QString> rowsOf(const reportengine::ReportData& data, const QStringList& columns) {
    std::vector<QString> rows;
    for (int i = 0; i < data.rowCount(); ++i) {
        QStringList r;
        for (const QString& c : columns)
            r << canonical(data.value(i, data.fieldIndex(c)));
        rows.push_back(r.join('|'));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

struct Figures {
    double ours = 0;
    double plain = 0;
    int rows = 0;
    bool same = false;
};

Figures compare(const QSqlDatabase& db, SummaryReport report, const QString& plain,
                const QDate& from, const QDate& to, const QStringList& columns, int runs) {
    Figures f;
    reportengine::ReportData ours;
    f.ours = timeMs(runs, [&] {
        ours = reports::readSummaryReport(db, {report, from, to, reports::ProductKind::All});
    });
    QElapsedTimer t;
    t.start();
    QSqlQuery q = exec(db, plain, {{"d1", from}, {"d2", to}});
    const reportengine::ReportData theirs = reports::readRows(q, "plain");
    f.plain = t.nsecsElapsed() / 1e6;
    f.rows = ours.rowCount();
    f.same = rowsOf(ours, columns) == rowsOf(theirs, columns);
    return f;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: reports_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    const QDate monthEnd(day.year(), day.month(), 1);
    const QDate monthStart = monthEnd.addMonths(-1);
    const QDate yearStart = monthEnd.addMonths(-12);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));

    const QStringList workerColumns{"fio",    "kolvo", "vid",    "summa",  "nom",
                                    "naimen", "color", "f_sum7", "f_sum8", "f_sum78"};
    const QStringList detailColumns{"fio",       "marka",    "vid",      "naimen",   "sum_time",
                                    "kolvo",     "brk",      "summa",    "color",    "s_prize",
                                    "f_sum7",    "f_sum7_n", "f_sum8",   "f_sum8_n", "f_sum7h",
                                    "f_sum7h_n", "f_sum8h",  "f_sum8h_n"};
    struct Report {
        const char* name;
        SummaryReport report;
        QString plain;
        QStringList columns;
    } reports[] = {
        {"by workers", SummaryReport::Workers, kPlainByWorkers, workerColumns},
        {"by products",
         SummaryReport::Products,
         kPlainByProducts,
         {"kolvo", "vid", "nom", "naimen", "color", "mass"}},
        {"detailed by workers", SummaryReport::WorkersDetail, plainByWorkersDetailed(),
         detailColumns},
        {"detailed by products",
         SummaryReport::ProductsDetail,
         kPlainByProductsDetailed,
         {"marka", "vid", "naimen", "nom", "kolvo", "brk", "summa", "color", "mass"}},
    };
    struct Period {
        const char* name;
        QDate from;
        int runs;
    } periods[] = {{"month", monthStart, 5}, {"year", yearStart, 3}};
    for (const Period& p : periods) {
        std::printf("-- %s %s .. %s (exclusive)\n", p.name,
                    qPrintable(p.from.toString(Qt::ISODate)),
                    qPrintable(monthEnd.toString(Qt::ISODate)));
        for (const Report& r : reports) {
            const Figures f = compare(db, r.report, r.plain, p.from, monthEnd, r.columns, p.runs);
            std::printf("%-22s %6d rows: %8.1f ms (median of %d, rows and totals read); plain "
                        "statement %8.1f ms; same rows: %s\n",
                        r.name, f.rows, f.ours, p.runs, f.plain, f.same ? "yes" : "NO");
        }
    }

    // The reports by workers, a month read whole (through their stream), as
    // the report window and tabel-batch read it; the first page's rows
    // through the stream for a month and a year; a year's rows through the
    // stream, and the memory that takes, beside a month's.
    std::printf("-- the reports by workers through their stream\n");
    for (const Report& r : reports) {
        if (r.report != SummaryReport::Workers && r.report != SummaryReport::WorkersDetail)
            continue;
        const reports::SummaryRequest month{r.report, monthStart, monthEnd,
                                            reports::ProductKind::All};
        const reports::SummaryRequest year{r.report, yearStart, monthEnd,
                                           reports::ProductKind::All};
        int rows = 0;
        const double whole =
            timeMs(5, [&] { rows = reports::readSummaryReport(db, month).rowCount(); });
        const double atOnce = timeMs(3, [&] { reports::readSummaryReportAtOnce(db, month); });
        printTarget(qPrintable(QStringLiteral("%1, month, read").arg(r.name)), whole, 300,
                    withLoad(QStringLiteral("%1 rows, median of 5; one statement over the "
                                            "month %2 ms")
                                 .arg(rows)
                                 .arg(atOnce, 0, 'f', 1)));
        printTarget(qPrintable(QStringLiteral("%1, month, first 40 rows").arg(r.name)),
                    firstRowsMs(db, month, 40, 5), 300, withLoad(QStringLiteral("median of 5")));
        printTarget(qPrintable(QStringLiteral("%1, year, first 40 rows").arg(r.name)),
                    firstRowsMs(db, year, 40, 5), 1500, withLoad(QStringLiteral("median of 5")));
        QElapsedTimer t;
        t.start();
        const auto [yearRows, yearPeak] = drain(db, year);
        const double yearMs = t.nsecsElapsed() / 1e6;
        const auto [monthRows, monthPeak] = drain(db, month);
        std::printf("%-48s %9.1f ms   (%d rows; %s)\n",
                    qPrintable(QStringLiteral("%1, year, every row").arg(r.name)), yearMs, yearRows,
                    qPrintable(withLoad()));
        std::printf("%-48s %9ld kB   (a month's %d rows: %ld kB)\n",
                    qPrintable(QStringLiteral("%1, peak memory growth, year").arg(r.name)),
                    yearPeak, monthRows, monthPeak);
    }

    // The reports that name workers, on a registry that finds them by code
    // only: the same rows.
    std::printf("-- month, the workers found by code only (\"0<number> \")\n");
    for (const Report& r : reports) {
        if (r.report != SummaryReport::Workers && r.report != SummaryReport::WorkersDetail)
            continue;
        const reports::SummaryRequest request{r.report, monthStart, monthEnd,
                                              reports::ProductKind::All};
        const std::vector<QString> byKey =
            rowsOf(reports::readSummaryReport(db, request), r.columns);
        const RegistryByCodeOnly byCode(db);
        reportengine::ReportData data;
        const double ms = timeMs(5, [&] { data = reports::readSummaryReport(db, request); });
        std::printf("%-22s %6d rows: %8.1f ms (median of 5); the same rows: %s\n", r.name,
                    data.rowCount(), ms, rowsOf(data, r.columns) == byKey ? "yes" : "NO");
    }

    // The shift time sheet's print of the month.
    {
        const QVariantMap params{{"mnth", monthStart.month()}, {"yea", monthStart.year()}};
        QElapsedTimer t;
        t.start();
        QSqlQuery plain = exec(db, plainTimesheet(), params);
        int rows = 0;
        while (plain.next())
            ++rows;
        const double plainMs = t.nsecsElapsed() / 1e6;
        int pages = 0;
        const double ms = timeMs(5, [&] {
            pages = int(
                reports::shiftTimesheetDocument(db, monthStart.month(), monthStart.year(), "Месяц")
                    .pages.size());
        });
        std::printf("shift time sheet print, read and laid out: %.1f ms (median of 5), %d rows, "
                    "%d pages; plain statement %.1f ms\n",
                    ms, rows, pages, plainMs);
    }

    // A month's detailed report by workers, from the database to the file.
    const reports::SummaryRequest request{SummaryReport::WorkersDetail, monthStart, monthEnd,
                                          reports::ProductKind::All};
    const QString file = QDir::temp().filePath("reports_bench.pdf");
    std::vector<double> read, laid, written, whole;
    int pages = 0;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        const reportengine::ReportData data = reports::readSummaryReport(db, request);
        read.push_back(t.nsecsElapsed() / 1e6);
        QElapsedTimer l;
        l.start();
        const reportengine::Document doc =
            reportengine::layOut(reports::summaryLayout(request.report), data);
        laid.push_back(l.nsecsElapsed() / 1e6);
        QElapsedTimer w;
        w.start();
        reportengine::writePdf(doc, file);
        written.push_back(w.nsecsElapsed() / 1e6);
        whole.push_back(t.nsecsElapsed() / 1e6);
        pages = int(doc.pages.size());
    }
    std::printf("detailed report by workers, month, to PDF: %.0f ms (median of 3; read %.0f, "
                "lay out %.0f, write %.0f), %d pages\n",
                median(whole), median(read), median(laid), median(written), pages);
    QFile::remove(file);
    return 0;
}
