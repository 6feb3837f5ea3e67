#include "roles.h"

namespace tabel {

QString trimmedCode(const QString& entered) {
    int begin = 0;
    int end = entered.size();
    auto blank = [](QChar c) { return c.unicode() <= 0x20; };
    while (begin < end && blank(entered[begin]))
        ++begin;
    while (end > begin && blank(entered[end - 1]))
        --end;
    return entered.mid(begin, end - begin);
}

Role roleForCode(const QString& code) {
    if (code == QLatin1String("61730482") || code == QLatin1String("6472"))
        return Role::Administrator;
    if (code == QLatin1String("luskev"))
        return Role::Office;
    if (code == QLatin1String("tavrink"))
        return Role::Foreman;
    if (code == QLatin1String("pomir"))
        return Role::Warehouse;
    return Role::None;
}

QString roleName(Role role) {
    switch (role) {
    case Role::Administrator:
        return QStringLiteral("администратор");
    case Role::Office:
        return QStringLiteral("контора");
    case Role::Foreman:
        return QStringLiteral("мастер");
    case Role::Warehouse:
        return QStringLiteral("склад");
    case Role::None:
        break;
    }
    return {};
}

RoleRestrictions restrictionsFor(Role role) {
    RoleRestrictions r;
    switch (role) {
    case Role::Office:
        r.addRecord = r.changeRecord = r.deleteRecord = r.refresh = true;
        r.shiftAndDate = r.gridReadOnly = r.directories = r.timesheets = true;
        break;
    case Role::Foreman:
        r.changeRecord = r.deleteRecord = r.directories = r.timesheets = true;
        break;
    case Role::Warehouse:
        r.addRecord = r.changeRecord = r.deleteRecord = r.directories = r.timesheets = true;
        break;
    case Role::Administrator:
    case Role::None:
        break;
    }
    return r;
}

RoleRestrictions withDatabaseRefusals(RoleRestrictions r, const DatabaseRights& rights) {
    r.addRecord = r.addRecord || !rights.addRecords;
    r.changeRecord = r.changeRecord || !rights.changeRecords;
    r.deleteRecord = r.deleteRecord || !rights.deleteRecords;
    r.gridReadOnly = r.gridReadOnly || !rights.acceptRecords;
    r.directories = r.directories || !rights.directories;
    r.timesheets = r.timesheets || !rights.timesheets;
    return r;
}

} // namespace tabel
