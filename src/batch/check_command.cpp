// check: whether the database answers, which build last stamped it, and
// whether the registry has the index on its codes.

#include "app/version_gate.h"
#include "command.h"
#include "db/sql.h"
#include "db/worker_names.h"

#include <QSqlQuery>

namespace tabel::batch {
namespace {

// Whether the registry has the index on the number its codes read as: the
// plant's administrator's to create, since the registry is another
// application's table.
void reportCodeIndex(Job& job) {
    const std::optional<QString> index = sql::findCodeIndex(job.db);
    if (index)
        job.out << "Индекс кодов реестра людей: " << *index << ".\n";
    else
        job.out << "Индекса кодов реестра людей нет: работников по коду ищут, читая весь реестр. "
                   "Администратор базы может создать его:\n  "
                << sql::kCodeIndexDdl << '\n';
}

int check(Job& job) {
    job.options.finish();
    QSqlQuery q = exec(job.db, "select d, t from accounts_dep.ver limit 1");
    const BuildStamp mine = buildStamp();
    job.out << "База данных отвечает.\n";
    job.out << "Эта сборка: " << mine.date << '.' << mine.time << '\n';
    if (q.next())
        job.out << "Последняя сборка в базе: " << q.value(0).toInt() << '.' << q.value(1).toInt()
                << '\n';
    reportCodeIndex(job);
    return 0;
}

const Registration registration{
    {"check", "",
     "проверить, что база отвечает, показать отметку последней сборки и индекс кодов "
     "реестра людей",
     check}};

} // namespace
} // namespace tabel::batch
