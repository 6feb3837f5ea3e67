#pragma once

// A login per person: PostgreSQL checks the person's name and password, and
// the person's role in the program follows from their membership in the
// plant's group roles. Nothing here keeps a password.

#include "db/config.h"
#include "session/roles.h"

#include <QSqlDatabase>
#include <QString>
#include <stdexcept>

namespace tabel {

// The group roles, highest first: a person in several gets the highest.
inline constexpr const char* kAdministratorGroup = "tabel_admin";
inline constexpr const char* kOfficeGroup = "tabel_office";
inline constexpr const char* kForemanGroup = "tabel_foreman";
inline constexpr const char* kWarehouseGroup = "tabel_store";

// A login refused: the user's message and, when the driver gave one, its own
// words for whoever asks for the details.
class LoginRefused : public std::runtime_error {
public:
    LoginRefused(const QString& text, const QString& detail = {});
    QString text() const { return text_; }
    QString detail() const { return detail_; }

private:
    QString text_;
    QString detail_;
};

// Whether the driver's words on a failed connection mean that the name or
// the password was wrong, in the server's English or Russian.
bool credentialsRejected(const QString& driverText);

// The role session_user has through membership (direct or not) in the group
// roles; Role::None when in none. Groups not created yet count as none.
// Throws DbError.
Role roleFromMembership(const QSqlDatabase& db);

// Opens `db` on the target's database as `user` with `password` and answers
// the person's role. Afterwards the connection keeps a connection string
// without the password. A refused login, a person in no group included,
// leaves `db` closed and throws LoginRefused.
Role openAsPerson(QSqlDatabase db, const ConnectionTarget& target, const QString& user,
                  const QString& password);

} // namespace tabel
