// pay-statement: workers' pay statements of a month ("Расчётный листок"),
// one worker or every worker with anything in the month, in one PDF.

#include "command.h"
#include "reportengine/render.h"
#include "reports/data_stamp.h"
#include "reports/pay_statement.h"

#include <limits>
#include <optional>
#include <stdexcept>

namespace tabel::batch {
namespace {

int payStatement(Job& job) {
    const QDate month = job.options.month();
    std::optional<int> worker;
    if (job.options.has("worker"))
        worker = job.options.integer("worker", 1, std::numeric_limits<int>::max());
    const QString file = job.options.text("pdf");
    job.options.finish();

    const QList<reports::PayStatement> statements =
        reports::readPayStatements(job.db, month, worker);
    const QString when = month.toString(QStringLiteral("MM.yyyy"));
    // A mistyped number would otherwise print a statement of nobody.
    if (worker && statements.value(0).fio.isEmpty() && statements.value(0).isEmpty())
        throw BadArgument(QStringLiteral("работник %1 не найден и ничего не заработал за %2")
                              .arg(*worker)
                              .arg(when));
    if (statements.isEmpty()) {
        job.out << "За " << when << " нет начислений ни у кого: файл не записан.\n";
        return 0;
    }
    reportengine::Document doc = reports::payStatementDocument(statements);
    reports::stampDataTime(doc, job.dataAsOf);
    const QString failure = reportengine::writePdf(doc, file);
    if (!failure.isEmpty())
        throw std::runtime_error(
            QStringLiteral("не удалось записать «%1»: %2").arg(file, failure).toStdString());
    job.out << "Расчётные листки за " << when << " записаны в " << file
            << " (работников: " << statements.size() << ", страниц: " << doc.pages.size() << ").\n";
    return 0;
}

const Registration registration{
    {"pay-statement", "--month M --year Y [--worker ID] --pdf ФАЙЛ",
     "расчётный листок работника за месяц или листки всех работников месяца в файл PDF",
     payStatement, true}};

} // namespace
} // namespace tabel::batch
