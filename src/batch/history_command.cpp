// history: the change history of a period as a workbook.

#include "command.h"
#include "journal/record_history.h"

namespace tabel::batch {
namespace {

int writeHistory(Job& job) {
    const Options& o = job.options;
    HistoryPeriod period;
    period.from = o.date(QStringLiteral("from"));
    period.to = o.date(QStringLiteral("to"));
    period.table = o.choice(QStringLiteral("table"), historyTables(), QString());
    if (o.has(QStringLiteral("worker"))) {
        // Workers are keys of the people registry, numbers of up to 15 digits.
        const QString t = o.text(QStringLiteral("worker"));
        bool ok = false;
        const qlonglong id = t.toLongLong(&ok);
        if (!ok || id < 1 || id > 999999999999999LL)
            throw BadArgument(
                QStringLiteral("Параметр --worker: «%1» — нужен код работника, целое число.")
                    .arg(t));
        period.worker = id;
    }
    const QString file = o.text(QStringLiteral("xlsx"));
    o.finish();
    if (period.to <= period.from)
        throw BadArgument(QStringLiteral("Параметр --to: «%1» — нужна дата позже --from.")
                              .arg(o.text(QStringLiteral("to"))));

    int rows = 0;
    const QString written = writeWholeWorkbook(file, [&job, &period, &rows](SheetSink& book) {
        HistorySheet sheet(book);
        forEachHistoryEntry(job.db, period, [&sheet](const HistoryEntry& e) { sheet.add(e); });
        rows = sheet.rows();
    });
    job.out << QStringLiteral("Записан файл %1: строк истории %2.\n").arg(written).arg(rows);
    return 0;
}

const Registration registration{
    {"history",
     "--from ДАТА --to ДАТА [--table "
     "smena|fatigue|norm|oper|person|closed_month|brigade_job|brigade_member] "
     "[--worker ID] --xlsx ФАЙЛ",
     "выгрузить историю изменений за период (с ДАТЫ включительно по ДАТУ не включая) в файл "
     ".xlsx",
     writeHistory, true}};

} // namespace
} // namespace tabel::batch
