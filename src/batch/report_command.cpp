// report: one of the four summary reports of a period, written as PDF, the
// same pages as the preview of the reports dialog.

#include "command.h"
#include "reportengine/render.h"
#include "reports/data_stamp.h"
#include "reports/summary_pages.h"

#include <memory>
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

    const auto failed = [&file](const QString& why) {
        return std::runtime_error(
            QStringLiteral("не удалось записать «%1»: %2").arg(file, why).toStdString());
    };
    // Each page is written as soon as it is laid out and then let go, so
    // that a year's report takes no more memory than a month's.
    std::unique_ptr<reportengine::PdfStream> pdf;
    reportengine::Document setup;
    reports::SummaryPages pages(job.db, request, QLocale(),
                                [&pdf, &setup, &job](reportengine::Page&& page) {
                                    reports::stampDataTime(page, setup, job.dataAsOf);
                                    pdf->add(page);
                                });
    setup = pages.setup();
    pdf = std::make_unique<reportengine::PdfStream>(setup, file);
    if (!pdf->error().isEmpty())
        throw failed(pdf->error());
    pages.finish();
    if (const QString failure = pdf->finish(); !failure.isEmpty())
        throw failed(failure);
    job.out << "Отчет записан в " << file << " (страниц: " << pages.pagesDone() << ").\n";
    return 0;
}

const Registration registration{
    {"report",
     "workers|products|workers-detail|products-detail --from ДАТА --to ДАТА "
     "[--kind all|finished|blanks] --pdf ФАЙЛ",
     "сводный отчет за период (--to не входит в период) в файл PDF", report, true}};

} // namespace
} // namespace tabel::batch
