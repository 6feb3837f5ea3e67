#include "person_login.h"

#include "db/connection.h"
#include "db/sql.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace tabel {

LoginRefused::LoginRefused(const QString& text, const QString& detail)
    : std::runtime_error(text.toStdString()), text_(text), detail_(detail) {}

bool credentialsRejected(const QString& driverText) {
    // A password refused; none given where one is asked for; a user the
    // server does not know (it says so only where it asks no password). A
    // database that does not exist is the configuration's fault, not theirs.
    static const QRegularExpression said(
        QStringLiteral("password authentication failed|не прошёл проверку подлинности|"
                       "не прошел проверку подлинности|no password supplied|пароль не указан|"
                       "role \".*\" does not exist|роль \".*\" не существует"),
        QRegularExpression::CaseInsensitiveOption);
    return said.match(driverText).hasMatch();
}

Role roleFromMembership(const QSqlDatabase& db) {
    // By oid: pg_has_role by name fails for a group that does not exist.
    static const QString sql = QStringLiteral(
        "select r.rolname from pg_catalog.pg_roles r where r.rolname in ('tabel_admin', "
        "'tabel_office', 'tabel_foreman', 'tabel_store') and "
        "pg_catalog.pg_has_role(session_user, r.oid, 'member')");
    QSqlQuery q = exec(db, sql);
    QStringList groups;
    while (q.next())
        groups << q.value(0).toString();
    const std::pair<const char*, Role> order[] = {
        {kAdministratorGroup, Role::Administrator},
        {kOfficeGroup, Role::Office},
        {kForemanGroup, Role::Foreman},
        {kWarehouseGroup, Role::Warehouse},
    };
    for (const auto& [group, role] : order)
        if (groups.contains(QLatin1String(group)))
            return role;
    return Role::None;
}

Role openAsPerson(QSqlDatabase db, const ConnectionTarget& target, const QString& user,
                  const QString& password) {
    if (user.isEmpty())
        throw LoginRefused(QStringLiteral("Введите имя пользователя."));
    if (user.contains(QLatin1Char(';')))
        throw LoginRefused(QStringLiteral("Имя пользователя не может содержать «;»."));
    const QString kept = personConnectionString(target.database, target.server, user);
    db.close();
    db.setDatabaseName(personConnectionString(target.database, target.server, user, password));
    try {
        openSession(db);
    } catch (const DbError& e) {
        db.close();
        db.setDatabaseName(kept);
        if (credentialsRejected(e.text()))
            throw LoginRefused(QStringLiteral("Неверное имя пользователя или пароль."), e.text());
        throw LoginRefused(QStringLiteral("Подключение к БД отсутсвует!!!"), e.text());
    }
    // The open session needs it no more. A connection lost later is opened
    // again without it, which only PostgreSQL's password file can answer.
    db.setDatabaseName(kept);
    Role role = Role::None;
    try {
        role = roleFromMembership(db);
    } catch (const DbError&) {
        db.close();
        throw;
    }
    if (role == Role::None) {
        db.close();
        throw LoginRefused(
            QStringLiteral("Пользователь «%1» не входит ни в одну из групп программы "
                           "(tabel_admin, tabel_office, tabel_foreman, tabel_store). Вход "
                           "не разрешен: обратитесь к администратору.")
                .arg(user));
    }
    return role;
}

} // namespace tabel
