#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace tabel {

// The group roles a plant's people log in under when the database itself is
// to enforce their role (one login per person, a member of one group). The
// role of a person who is a member of several is the first of these.
inline constexpr const char* kGroupRoles[] = {"tabel_admin", "tabel_office", "tabel_foreman",
                                              "tabel_store"};

// What setupGroupRoles did.
struct GroupRolesSetup {
    QStringList created;    // roles made now
    QStringList kept;       // roles that were there
    QStringList notGranted; // what the owner of another application's table must grant
};

// Creates the four group roles where missing (NOLOGIN) and grants each
// exactly what the program lets that role do, table by table and column by
// column, after taking back whatever they and PUBLIC held on accounts_dep:
// running it again changes nothing. On the other applications' tables it
// grants only the reads and the two designed writes, as far as the
// connected user may, and lists the rest. Run by the owner of accounts_dep;
// one transaction. Throws DbError, or std::runtime_error with the reason in
// the user's words.
GroupRolesSetup setupGroupRoles(const QSqlDatabase& db);

// Which of the four group roles exist on the server, in their order.
QStringList existingGroupRoles(const QSqlDatabase& db);

} // namespace tabel
