// reconcile: every worker's pay statement of a month against the monthly
// sheets and the report by workers, before paying. Changes nothing.

#include "command.h"
#include "reports/pay_reconcile.h"

namespace tabel::batch {
namespace {

int reconcile(Job& job) {
    const QDate month = job.options.month();
    job.options.finish();

    const reports::Reconciliation r = reports::reconcileMonth(job.db, month);
    for (const reports::PayDifference& d : r.differences)
        job.out << (d.note ? "примечание: " : "расхождение: ") << d.name << " (№ " << d.worker
                << "), " << d.text << '\n';
    const QString when = month.toString(QStringLiteral("MM.yyyy"));
    const int faults = r.faults();
    const int notes = int(r.differences.size()) - faults;
    if (faults == 0) {
        job.out << "Расчётные листки за " << when << " (работников: " << r.workers
                << ") сходятся с табелями и отчетом по рабочим";
        if (notes > 0)
            job.out << "; примечаний: " << notes;
        job.out << ".\n";
        return 0;
    }
    job.out << "Расхождений: " << faults << ", примечаний: " << notes << ".\n";
    return 1;
}

const Registration registration{
    {"reconcile", "--month M --year Y",
     "сверить расчётные листки месяца с табелями и отчетом по рабочим; ничего не меняет; "
     "код 1 при расхождениях",
     reconcile}};

} // namespace
} // namespace tabel::batch
