// check: whether the database answers, which build last stamped it, and
// whether the registry has the index on its codes.

#include "app/version_gate.h"
#include "command.h"
#include "db/config.h"
#include "db/group_roles.h"
#include "db/sql.h"
#include "db/worker_names.h"

#include <QSqlQuery>

namespace tabel::batch {
namespace {

// How people log in, as the configuration files decide it (the command line
// names only a database), and as whom this job is connected.
void reportLogin(Job& job) {
    const ConnectionTarget target = resolveConnection(ConfigFiles::standard(), {});
    if (target.login == LoginMode::Person)
        job.out << "Вход в программу: у каждого свой пользователь PostgreSQL (login = person).\n";
    else
        job.out << "Вход в программу: по коду доступа (login = code).\n";
    job.out << "tabel-batch подключен как пользователь "
            << scalar(job.db, "select session_user").toString() << ".\n";
}

// Whether people can log in one by one under the database's own rules.
void reportGroupRoles(Job& job) {
    const QStringList present = existingGroupRoles(job.db);
    QStringList absent;
    for (const char* role : kGroupRoles)
        if (!present.contains(QLatin1String(role)))
            absent << QLatin1String(role);
    if (absent.isEmpty())
        job.out << "Групповые роли: есть все (" << present.join(QStringLiteral(", ")) << ").\n";
    else
        job.out << "Групповые роли: нет " << absent.join(QStringLiteral(", "))
                << " (их создает tabel-batch setup-roles).\n";
}

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
    reportLogin(job);
    reportGroupRoles(job);
    reportCodeIndex(job);
    return 0;
}

const Registration registration{
    {"check", "",
     "проверить, что база отвечает, показать отметку последней сборки, вход, групповые роли "
     "и индекс кодов реестра людей",
     check}};

} // namespace
} // namespace tabel::batch
