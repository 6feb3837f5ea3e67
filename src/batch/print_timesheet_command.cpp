// print-timesheet: the month's shift time sheet as printed, written as PDF.

#include "command.h"
#include "reportengine/render.h"
#include "reports/data_stamp.h"
#include "reports/timesheet_print.h"
#include "timesheets/months.h"

#include <stdexcept>

namespace tabel::batch {
namespace {

int printTimesheet(Job& job) {
    const QDate month = job.options.month();
    const QString file = job.options.text("pdf");
    job.options.finish();

    reportengine::Document doc = reports::shiftTimesheetDocument(
        job.db, month.month(), month.year(), monthNames().value(month.month() - 1));
    reports::stampDataTime(doc, job.dataAsOf);
    const QString failure = reportengine::writePdf(doc, file);
    if (!failure.isEmpty())
        throw std::runtime_error(
            QStringLiteral("не удалось записать «%1»: %2").arg(file, failure).toStdString());
    job.out << "Табель записан в " << file << " (страниц: " << doc.pages.size() << ").\n";
    return 0;
}

const Registration registration{{"print-timesheet", "--month M --year Y --pdf ФАЙЛ",
                                 "табель по сменам за месяц, как он печатается, в файл PDF",
                                 printTimesheet, true}};

} // namespace
} // namespace tabel::batch
