// export: the spreadsheet exports of the windows, written to a file instead
// of being shown.

#include "command.h"
#include "db/dataset.h"
#include "export/export_sources.h"
#include "export/sheet_layouts.h"
#include "timesheets/months.h"

namespace tabel::batch {
namespace {

const QStringList kKinds = {"price-list", "summary", "timesheet", "monthly"};
const QStringList kSheets = {"piecework", "housekeeping", "average", "general"};
const QStringList kProducts = {"all", "finished", "blanks"};

sql::MonthlySheet sheetOf(const QString& word) {
    switch (kSheets.indexOf(word)) {
    case 0:
        return sql::MonthlySheet::Piecework;
    case 1:
        return sql::MonthlySheet::Housekeeping;
    case 2:
        return sql::MonthlySheet::AveragePiecework;
    default:
        return sql::MonthlySheet::General;
    }
}

int exportWorkbook(Job& job) {
    const Options& o = job.options;
    const QString kind = o.word(0, QStringLiteral("вид выгрузки"), kKinds);
    const QString file = o.text(QStringLiteral("xlsx"));
    Dataset rows(job.db, QStringLiteral("export"));
    std::function<void(SheetSink&)> lay;
    if (kind == QLatin1String("price-list")) {
        o.finish();
        openPriceList(rows);
        lay = [&rows](SheetSink& s) { layPriceList(rows, s); };
    } else if (kind == QLatin1String("summary")) {
        const QDate from = o.date(QStringLiteral("from"));
        const QDate to = o.date(QStringLiteral("to"));
        const QString product = o.choice(QStringLiteral("kind"), kProducts, QStringLiteral("all"));
        o.finish();
        const ProductKind which = product == QLatin1String("finished") ? ProductKind::Finished
                                  : product == QLatin1String("blanks") ? ProductKind::Blanks
                                                                       : ProductKind::All;
        openSummary(rows, from, to, which);
        lay = [&rows](SheetSink& s) { laySummary(rows, s); };
    } else {
        const bool monthly = kind == QLatin1String("monthly");
        const sql::MonthlySheet sheet =
            monthly ? sheetOf(o.word(1, QStringLiteral("вид табеля"), kSheets))
                    : sql::MonthlySheet::General;
        const QDate month = o.month();
        o.finish();
        const QString title = monthNames().value(month.month() - 1) + QLatin1Char(' ') +
                              QString::number(month.year());
        // `lay` runs after this block: what it needs of the block is copied.
        if (monthly) {
            openMonthlySheet(rows, sheet, month.month(), month.year());
            lay = [&rows, sheet, title](SheetSink& s) { layMonthlySheet(rows, sheet, title, s); };
        } else {
            openShiftTimesheet(rows, month.month(), month.year());
            lay = [&rows, title](SheetSink& s) { layShiftTimesheet(rows, title, s); };
        }
    }

    // The window shows a workbook without the cells it could not hold and
    // says which; a job has no one to show it to, so it writes nothing.
    const QString written = writeWholeWorkbook(file, lay);
    job.out << QStringLiteral("Записан файл %1: строк %2.\n").arg(written).arg(rows.count());
    return 0;
}

const Registration registration{
    {"export",
     "price-list | summary --from ДАТА --to ДАТА [--kind all|finished|blanks] | "
     "timesheet --month M --year Y | "
     "monthly piecework|housekeeping|average|general --month M --year Y; --xlsx ФАЙЛ",
     "выгрузить прайс-лист, сводку за период (с ДАТЫ включительно по ДАТУ не включая), "
     "табель по сменам или месячный табель в файл .xlsx",
     exportWorkbook, true}};

} // namespace
} // namespace tabel::batch
