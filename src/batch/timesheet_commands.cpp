// The time sheets' jobs: the two whole-month rebuilds, the month's
// average-piecework recalculation and the check of the stored sheets
// against what a rebuild would leave.

#include "command.h"
#include "housekeeping/housekeeping_rules.h"
#include "timesheets/month_closing.h"
#include "timesheets/rebuilds.h"

namespace tabel::batch {
namespace {

QString monthText(const QDate& first) {
    return first.toString(QStringLiteral("MM.yyyy"));
}

int rebuild(Job& job, SheetKind kind, const char* what) {
    const QDate first = job.options.month();
    job.options.finish();
    const int rows = rebuildMonth(job.db, kind, first);
    job.out << "Перестроены " << what << " за " << monthText(first) << ": строк " << rows << ".\n";
    return 0;
}

int recalcAverage(Job& job) {
    const QDate first = job.options.month();
    job.options.finish();
    const int entries = HousekeepingRules(job.db).recalculate(first);
    job.out << "Пересчитана средняя сдельная за " << monthText(first) << ": записей " << entries
            << ".\n";
    return 0;
}

int checkTimesheets(Job& job) {
    const QDate first = job.options.month();
    job.options.finish();
    // Each kind is compared in one statement, so a save running meanwhile
    // is seen either whole or not at all.
    std::vector<SheetDifference> all = checkMonth(job.db, SheetKind::Shifts, first);
    for (SheetDifference& d : checkMonth(job.db, SheetKind::Housekeeping, first))
        all.push_back(std::move(d));

    for (const SheetDifference& d : all)
        job.out << differenceText(d) << '\n';
    if (all.empty()) {
        job.out << "Табель за " << monthText(first) << " совпадает с записями.\n";
        return 0;
    }
    job.out << "Расхождений: " << all.size() << ".\n";
    return 1;
}

const Registration shifts{
    {"rebuild-shifts", "--month M --year Y",
     "перестроить строки смен табеля за месяц по производственным записям",
     [](Job& job) { return rebuild(job, SheetKind::Shifts, "строки смен"); }}};
const Registration housekeeping{
    {"rebuild-housekeeping", "--month M --year Y",
     "перестроить строки хоз. работ и ср. сдельной табеля за месяц",
     [](Job& job) { return rebuild(job, SheetKind::Housekeeping, "строки хоз. работ"); }}};
const Registration average{{"recalc-average", "--month M --year Y",
                            "пересчитать цену часа работ по средней сдельной за месяц",
                            recalcAverage}};
const Registration check{
    {"check-timesheets", "--month M --year Y",
     "сравнить табель за месяц с тем, что оставит перестроение; ничего не меняет; "
     "код 1 при расхождениях",
     checkTimesheets}};

} // namespace
} // namespace tabel::batch
