#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace tabel {

inline constexpr const char* kDefaultDatabase = "tobrin";

// The ODBC connection string for a database on a server, as the plant's
// installations expect it; the driver options are passed through unchanged.
QString connectionString(const QString& database, const QString& server);

// The same string for one person's own PostgreSQL user. Without a password
// the string names none, and the driver's client library takes it from
// PostgreSQL's password file (PGPASSFILE or ~/.pgpass) if anywhere. The user
// name cannot hold ";", which the driver would not read back as part of it.
QString personConnectionString(const QString& database, const QString& server, const QString& user,
                               const QString& password = {});

// The string built from the command line alone (arguments after the program
// name): both a database and a server are needed to leave the built-in
// default. The programs also read the configuration files (config.h).
QString connectionStringFromArguments(const QStringList& arguments);

// The default server, fixed when the program is built.
QString defaultServer();

// A named ODBC connection set up with `connectionString`, not yet open.
QSqlDatabase prepareDatabase(const QString& connectionString,
                             const QString& name = QLatin1String(QSqlDatabase::defaultConnection));

// Opens a named ODBC connection with `connectionString`. Throws DbError.
QSqlDatabase openDatabase(const QString& connectionString,
                          const QString& name = QLatin1String(QSqlDatabase::defaultConnection));

// Opens `db` with the connection string it already holds and puts the new
// session under the program's rules. Serves the first opening and every
// reopening after a lost connection alike. Throws DbError.
void openSession(QSqlDatabase db);

// Says when a lost connection has been opened again, so that windows can read
// their lists anew.
class ConnectionWatch : public QObject {
    Q_OBJECT
public:
    static ConnectionWatch* instance();

signals:
    // Emitted from inside the statement that found the connection lost,
    // before it returns or throws: a receiver that reads the database should
    // be connected with Qt::QueuedConnection.
    void reopened(const QString& connectionName);

private:
    ConnectionWatch() = default;
};

} // namespace tabel
