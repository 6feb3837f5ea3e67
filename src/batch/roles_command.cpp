// setup-roles: the group roles under which people log in one by one, and
// what the database lets each of them do.

#include "command.h"
#include "db/group_roles.h"

namespace tabel::batch {
namespace {

int setupRoles(Job& job) {
    job.options.finish();
    const GroupRolesSetup done = setupGroupRoles(job.db);
    for (const QString& role : done.created)
        job.out << "Роль " << role << " создана.\n";
    for (const QString& role : done.kept)
        job.out << "Роль " << role << " уже есть.\n";
    job.out << "Права ролей на схему accounts_dep выданы заново; PUBLIC прав на нее не имеет.\n";
    if (!done.notGranted.isEmpty()) {
        job.out << "Не выдано (таблицы других приложений: права выдает их владелец):\n";
        for (const QString& line : done.notGranted)
            job.out << "  " << line << '\n';
    }
    return 0;
}

const Registration registration{
    {"setup-roles", "",
     "создать групповые роли tabel_admin, tabel_office, tabel_foreman, tabel_store и выдать им "
     "права (выполняет владелец базы; повторный запуск ничего не меняет)",
     setupRoles}};

} // namespace
} // namespace tabel::batch
