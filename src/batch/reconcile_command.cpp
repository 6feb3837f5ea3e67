// reconcile: every worker's pay statement of a month against the monthly
// sheets and the report by workers, before paying. Changes nothing.

#include "command.h"
#include "db/format.h"
#include "reports/pay_reconcile.h"

namespace tabel::batch {
namespace {

int reconcile(Job& job) {
    const QDate month = job.options.month();
    const bool verbose = job.options.flag(QStringLiteral("verbose"));
    job.options.finish();

    const reports::Reconciliation r = reports::reconcileMonth(job.db, month);
    // The report's rounding leaves a note for most workers of a month: one
    // line counts them, so that a real difference stands out among the rest.
    for (const reports::PayDifference& d : r.differences)
        if (!d.note || verbose)
            job.out << (d.note ? "примечание: " : "расхождение: ") << d.name << " (№ " << d.worker
                    << "), " << d.text << '\n';
    const int faults = r.faults();
    const int notes = r.notes();
    if (const reports::PayDifference* widest = r.widestNote()) {
        job.out << "примечания: сделка расходится с отчетом по рабочим в пределах его округления у "
                << countNoun(notes, QStringLiteral("работника"), QStringLiteral("работников"),
                             QStringLiteral("работников"))
                << ", наибольшая разница " << widest->gap.toString(2, QLocale::c()) << " ("
                << widest->name << ", № " << widest->worker << ')';
        if (!verbose)
            job.out << "; по каждому: --verbose";
        job.out << ".\n";
    }
    if (faults == 0) {
        job.out << "Расчётные листки за " << month.toString(QStringLiteral("MM.yyyy"))
                << " (работников: " << r.workers << ") сходятся с табелями и отчетом по рабочим";
        if (notes > 0)
            job.out << "; примечаний: " << notes;
        job.out << ".\n";
        return 0;
    }
    job.out << "Расхождений: " << faults << ", примечаний: " << notes << ".\n";
    return 1;
}

const Registration registration{
    {"reconcile", "--month M --year Y [--verbose]",
     "сверить расчётные листки месяца с табелями и отчетом по рабочим; ничего не меняет; "
     "код 1 при расхождениях; примечания об округлении отчета — одной строкой, по каждому "
     "работнику — с --verbose",
     reconcile, true}};

} // namespace
} // namespace tabel::batch
