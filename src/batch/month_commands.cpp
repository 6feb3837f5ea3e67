// Closing a paid month and reopening it, for the administrator's scripts.

#include "command.h"
#include "db/closed_months.h"
#include "timesheets/month_closing.h"

namespace tabel::batch {
namespace {

int closeMonth(Job& job) {
    const QDate first = job.options.month();
    const QString note = job.options.text("note", QString());
    job.options.finish();
    const MonthClosing::CloseResult result =
        MonthClosing(job.db).close(first.year(), first.month(), note);
    if (!result.outcome.done() && !result.differences.agrees()) {
        // As check-timesheets lists them, so the same scripts read both.
        for (const QString& line : differenceLines(result.differences))
            job.out << line << '\n';
        job.out << "Расхождений: " << result.differences.count() << ".\n";
    }
    if (!result.outcome.done())
        throw Refused(result.outcome); // the runner prints it and exits with 1
    job.out << "Месяц " << monthName(monthKey(first)) << " закрыт.\n";
    return 0;
}

int reopenMonth(Job& job) {
    const QDate first = job.options.month();
    const QString reason = job.options.text("reason");
    job.options.finish();
    if (reason.trimmed().isEmpty())
        throw BadArgument(QStringLiteral("Параметр --reason: укажите причину открытия месяца."));
    const Outcome outcome = MonthClosing(job.db).reopen(first.year(), first.month(), reason);
    if (!outcome.done())
        throw Refused(outcome);
    job.out << "Месяц " << monthName(monthKey(first)) << " открыт.\n";
    return 0;
}

const Registration close{
    {"close-month", "--month M --year Y [--note TEXT]",
     "закрыть месяц, если табель совпадает с записями; иначе код 1 и список расхождений",
     closeMonth}};
const Registration reopen{{"reopen-month", "--month M --year Y --reason TEXT",
                           "открыть закрытый месяц с указанием причины", reopenMonth}};

} // namespace
} // namespace tabel::batch
