#pragma once

#include "db/rights.h"

#include <QString>

namespace tabel {

enum class Role { None, Administrator, Office, Foreman, Warehouse };

// The entered code without leading and trailing blanks and control characters.
QString trimmedCode(const QString& entered);
// The role a trimmed code selects; codes are compared exactly, case included.
Role roleForCode(const QString& trimmed);
// The role as the database's change history names it: "администратор",
// "контора", "мастер", "склад"; empty for None.
QString roleName(Role role);

// What a role switches off in the main window.
struct RoleRestrictions {
    bool addRecord = false;    // "Добавить"
    bool changeRecord = false; // "Изменить"
    bool deleteRecord = false; // "Удалить"
    bool refresh = false;      // "Обновить"
    bool shiftAndDate = false; // shift radio buttons, "Выходной", date picker
    bool gridReadOnly = false; // records grid: read and scroll, no acceptance
    bool directories = false;  // menu "Справочники"
    bool timesheets = false;   // menu "Табель"
};
RoleRestrictions restrictionsFor(Role role);
// `r` and, on top, whatever the database would refuse this login: no control
// stays enabled whose write would be refused.
RoleRestrictions withDatabaseRefusals(RoleRestrictions r, const DatabaseRights& rights);

} // namespace tabel
