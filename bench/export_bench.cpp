// Times the spreadsheet exports end to end on a plant-sized database: reading
// the rows, laying out the cells with their fitted widths and writing the
// .xlsx file, as the windows do it (without showing the workbook). The
// summary and price-list statements are checked against the first version's
// for the same rows. Usage: export_bench <database> <socket-or-host>
// <yyyy-mm-dd>
#include "bench_support.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "db/sql.h"
#include "export/export_sources.h"
#include "export/sheet_layouts.h"
#include "export/xlsx_workbook.h"
#include "timesheets/months.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;

namespace {

// The first version's statements.
const char* kFirstSummary =
    "select sum(smena.kol_vo-smena.brak)::numeric as kolvo, vid_oper.vid,\n"
    "izdel.nom, oper.naimen, color,izdel.massa*sum(smena.kol_vo-smena.brak) as mass \n"
    "from accounts_dep.smena,accounts_dep.izdel,accounts_dep.vid_oper, accounts_dep.oper where "
    "izdel.id=smena.i_id and vid_oper.id=oper.vid\n"
    "and oper.id=smena.o_id and smena.data<:data2 and smena.data>=:data1 \n"
    "group by izdel.nom,color, oper.naimen, vid_oper.vid, izdel.massa order by izdel.nom";
const char* kFirstPriceList =
    "select izdel.MARKA, vid_oper.VID, oper.NAIMEN,(SELECT (CASE naimen WHEN 0 THEN 'Готовая "
    "продукция' ELSE 'Заготовки' END)) as nmn, oper.CENA_new as cena, oper.id, oper.i_id,\n"
    " oper.VID as oper_vid from accounts_dep.OPER,accounts_dep.IZDEL,accounts_dep.VID_OPER "
    "where OPER.i_id=IZDEL.id \n"
    "and oper.vid=vid_oper.id order by izdel.marka, vid_oper.vid, oper.naimen";

struct Rows {
    QStringList sorted;  // every row as text, sorted
    QStringList ordered; // the first column of every row, in the order given
};

QString rowText(const QSqlRecord& rec, const QSqlQuery& q) {
    QStringList cells;
    for (int i = 0; i < rec.count(); ++i)
        cells << (q.isNull(i) ? QStringLiteral("∅") : q.value(i).toString());
    return cells.join(QLatin1Char('|'));
}

Rows rowsOf(const QSqlDatabase& db, const QString& sql, const QVariantMap& params,
            const QString& orderField) {
    QSqlQuery q = exec(db, sql, params);
    Rows r;
    const QSqlRecord rec = q.record();
    const int order = rec.indexOf(orderField);
    while (q.next()) {
        r.sorted << rowText(rec, q);
        r.ordered << q.value(order).toString();
    }
    r.sorted.sort();
    return r;
}

Rows rowsOf(const Dataset& d, const QString& orderField) {
    Rows r;
    for (int row = 0; row < d.count(); ++row) {
        QStringList cells;
        for (int c = 0; c < d.fieldNames().size(); ++c)
            cells << (d.value(row, c).isNull() ? QStringLiteral("∅") : d.value(row, c).toString());
        r.sorted << cells.join(QLatin1Char('|'));
        r.ordered << d.value(row, orderField).toString();
    }
    r.sorted.sort();
    return r;
}

// One export end to end: `open` reads the rows, `lay` writes the cells; the
// window's progress step (a look at pending events) runs after every row.
double timeExport(const QString& path, const std::function<void()>& open,
                  const std::function<void(SheetSink&, const ExportProgress&)>& lay) {
    return timeMs(5, [&] {
        open();
        XlsxWorkbook book(path);
        lay(book, [](int, int) { QCoreApplication::processEvents(); });
        book.save();
    });
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: export_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    QTemporaryDir dir;
    const QString file = QDir(dir.path()).filePath(QStringLiteral("bench.xlsx"));
    Dataset rows(db, QStringLiteral("XLS_Rep"));

    // The month before the date, with every worker who has a time-sheet row.
    const QDate month = QDate(day.year(), day.month(), 1).addMonths(-1);
    const char* kinds[] = {"piecework", "housekeeping", "average piecework", "general"};
    const sql::MonthlySheet sheets[] = {
        sql::MonthlySheet::Piecework, sql::MonthlySheet::Housekeeping,
        sql::MonthlySheet::AveragePiecework, sql::MonthlySheet::General};
    const QString title =
        monthNames().value(month.month() - 1) + QLatin1Char(' ') + QString::number(month.year());
    for (int k = 0; k < 4; ++k) {
        const double ms = timeExport(
            file, [&] { openMonthlySheet(rows, sheets[k], month.month(), month.year()); },
            [&](SheetSink& s, const ExportProgress& p) {
                layMonthlySheet(rows, sheets[k], title, s, p);
            });
        std::printf("monthly sheet export, %s, %s (%d workers): %.1f ms (median of 5)\n", kinds[k],
                    qPrintable(title), rows.count(), ms);
    }

    const double shifts = timeExport(
        file, [&] { openShiftTimesheet(rows, month.month(), month.year()); },
        [&](SheetSink& s, const ExportProgress& p) { layShiftTimesheet(rows, title, s, p); });
    std::printf("shift time-sheet export, %s (%d workers): %.1f ms (median of 5)\n",
                qPrintable(title), rows.count(), shifts);

    // A year's summary, up to the first of the date's month.
    const QDate to(day.year(), day.month(), 1);
    const QDate from = to.addYears(-1);
    const QVariantMap period{{QStringLiteral("data1"), from}, {QStringLiteral("data2"), to}};
    const Rows first = rowsOf(db, QString::fromUtf8(kFirstSummary), period, "nom");
    openSummary(rows, from, to, ProductKind::All);
    const Rows ours = rowsOf(rows, "nom");
    // The first version orders by designation alone; ours continues past it.
    std::printf("summary %s to %s: %d rows, same rows as the first statement: %s, same order of "
                "designations: %s\n",
                qPrintable(from.toString(Qt::ISODate)), qPrintable(to.toString(Qt::ISODate)),
                rows.count(), first.sorted == ours.sorted ? "yes" : "NO",
                first.ordered == ours.ordered ? "yes" : "NO");
    const double summary = timeExport(
        file, [&] { openSummary(rows, from, to, ProductKind::All); },
        [&](SheetSink& s, const ExportProgress& p) { laySummary(rows, s, p); });
    std::printf("summary export of a year: %.1f ms (median of 5)\n", summary);
    const double firstRead = timeMs(5, [&] { exec(db, QString::fromUtf8(kFirstSummary), period); });
    std::printf("the first summary statement alone, for comparison: %.1f ms (median of 5)\n",
                firstRead);

    const Rows firstPrices = rowsOf(db, QString::fromUtf8(kFirstPriceList), {}, "marka");
    openPriceList(rows);
    const Rows ourPrices = rowsOf(rows, "marka");
    std::printf("price list: %d operations, same rows as the first statement: %s, same order of "
                "marks: %s\n",
                rows.count(), firstPrices.sorted == ourPrices.sorted ? "yes" : "NO",
                firstPrices.ordered == ourPrices.ordered ? "yes" : "NO");
    const double prices = timeExport(
        file, [&] { openPriceList(rows); },
        [&](SheetSink& s, const ExportProgress&) { layPriceList(rows, s); });
    std::printf("price-list export: %.1f ms (median of 5)\n", prices);
    return 0;
}
