// upgrade-schema: brings accounts_dep up to what this build needs.

#include "command.h"
#include "db/format.h"
#include "db/schema_steps.h"

#include <stdexcept>

namespace tabel::batch {
namespace {

int upgrade(Job& job) {
    job.options.finish();
    std::vector<SchemaStep> done;
    try {
        done = upgradeSchema(job.db, embeddedSchemaSteps(), [&](const SchemaStep& step) {
            job.out << "Шаг " << step.number << " «" << step.name << "»...\n";
            job.out.flush();
        });
    } catch (const SchemaRefused& e) {
        // A refusal is an error of the job: on the error stream, where a
        // script or the journal of a scheduled run looks for it.
        throw std::runtime_error(e.message().toStdString());
    }
    if (done.empty())
        job.out << "Схема уже обновлена: выполнены все "
                << countNoun(qint64(embeddedSchemaSteps().size()), QStringLiteral("шаг"),
                             QStringLiteral("шага"), QStringLiteral("шагов"))
                << ", ничего не изменено.\n";
    else
        job.out << "Выполнено шагов: " << done.size() << ". Схема обновлена до шага "
                << done.back().number << ".\n";
    return 0;
}

const Registration registration{
    {"upgrade-schema", "",
     "выполнить недостающие шаги схемы accounts_dep (в одной транзакции; повторный запуск ничего "
     "не меняет)",
     upgrade}};

} // namespace
} // namespace tabel::batch
