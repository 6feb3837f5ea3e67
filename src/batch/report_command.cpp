// report: one of the four summary reports of a period, written as PDF, the
// same pages as the preview of the reports dialog.

#include "command.h"
#include "reportengine/render.h"
#include "reports/summary_reports.h"

#include <stdexcept>

namespace tabel::batch {
namespace {

using reports::ProductKind;
using reports::SummaryReport;

int report(Job& job) {
    const QStringList names{"workers", "products", "workers-detail", "products-detail"};
    const SummaryReport kinds[] = {SummaryReport::Workers, SummaryReport::Products,
                                   SummaryReport::WorkersDetail, SummaryReport::ProductsDetail};
    reports::SummaryRequest request;
    request.report = kinds[names.indexOf(job.options.word(0, "отчет", names))];
    request.from = job.options.date("from");
    request.to = job.options.date("to");
    const QStringList kindNames{"all", "finished", "blanks"};
    const ProductKind productKinds[] = {ProductKind::All, ProductKind::Finished,
                                        ProductKind::Blanks};
    request.kind = productKinds[kindNames.indexOf(job.options.choice("kind", kindNames, "all"))];
    const QString file = job.options.text("pdf");
    job.options.finish();

    const reportengine::Document doc = reports::summaryDocument(job.db, request);
    const QString failure = reportengine::writePdf(doc, file);
    if (!failure.isEmpty())
        throw std::runtime_error(
            QStringLiteral("не удалось записать «%1»: %2").arg(file, failure).toStdString());
    job.out << "Отчет записан в " << file << " (страниц: " << doc.pages.size() << ").\n";
    return 0;
}

const Registration registration{
    {"report",
     "workers|products|workers-detail|products-detail --from ДАТА --to ДАТА "
     "[--kind all|finished|blanks] --pdf ФАЙЛ",
     "сводный отчет за период (--to не входит в период) в файл PDF", report}};

} // namespace
} // namespace tabel::batch
