// import-legacy: the legacy import without the program's hidden menu item.

#include "command.h"
#include "import/legacy_import.h"

namespace tabel::batch {
namespace {

int importLegacy(Job& job) {
    const QString source = job.options.text("source", QString::fromUtf8(kLegacySource));
    job.options.finish();
    LegacyImport import(job.db, source);
    const Outcome outcome = import.run([&job](const ImportProgress& step) {
        if (step.finished) {
            job.out << step.source << " → " << step.target << ": " << step.done << '\n';
            job.out.flush();
        }
        return true;
    });
    if (!outcome.done())
        throw Refused(outcome); // the runner prints it and exits with 1
    job.out << import.brigadeJobsNote() << '\n' << "Импорт завершен.\n";
    return 0;
}

const Registration registration{
    {"import-legacy", "[--source DSN]",
     "скопировать таблицы прежней базы (источник ODBC Tabel или --source) в базу на сервере",
     importLegacy}};

} // namespace
} // namespace tabel::batch
