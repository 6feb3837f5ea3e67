#include "connection.h"

#include "config.h"
#include "session_identity.h"
#include "sql.h"

#include <QSqlError>
#include <QSqlQuery>

#ifndef TABEL_DEFAULT_SERVER
#define TABEL_DEFAULT_SERVER "localhost"
#endif

namespace tabel {

namespace {

// LFConversion=0: with 1 the driver hands every line feed it reads over as
// CR LF but writes bound values unchanged, so a text read and saved again
// without an edit came back altered.
QString withAccount(const QString& database, const QString& server, const QString& account) {
    return QStringLiteral("DRIVER={PostgreSQL UNICODE};DATABASE=") + database +
           QStringLiteral(";SERVER=") + server + QStringLiteral(";PORT=5432;") + account +
           QStringLiteral("SSLmode=allow;") +
           QStringLiteral("ReadOnly=0;Protocol=7.4;FakeOidIndex=0;ShowOidColumn=0;RowVersioning=0;"
                          "ShowSystemTables=0;Fetch=100;UnknownSizes=0;MaxVarcharSize=255;"
                          "MaxLongVarcharSize=8190;") +
           QStringLiteral("Debug=0;CommLog=0;UseDeclareFetch=0;TextAsLongVarchar=1;"
                          "UnknownsAsLongVarchar=0;BoolsAsChar=1;Parse=0;ExtraSysTablePrefixes=;"
                          "LFConversion=0;UpdatableCursors=1;") +
           QStringLiteral("TrueIsMinus1=0;BI=0;ByteaAsLongVarBinary=1;UseServerSidePrepare=1;"
                          "LowerCaseIdentifier=0;D6=-101;OptionalErrors=0;XaOpt=1");
}

} // namespace

QString connectionString(const QString& database, const QString& server) {
    return withAccount(database, server, QStringLiteral("UID=sys;PWD=wuxamez;"));
}

QString personConnectionString(const QString& database, const QString& server, const QString& user,
                               const QString& password) {
    QString account = QStringLiteral("UID=") + user + QLatin1Char(';');
    // In braces a password may hold ";", "=" and "{"; a "}" is doubled. The
    // driver takes braces off the password only, which is why the user name
    // goes without.
    if (!password.isEmpty())
        account += QStringLiteral("PWD={") +
                   QString(password).replace(QLatin1Char('}'), QStringLiteral("}}")) +
                   QStringLiteral("};");
    return withAccount(database, server, account);
}

QString defaultServer() {
    return QStringLiteral(TABEL_DEFAULT_SERVER);
}

QString connectionStringFromArguments(const QStringList& arguments) {
    const ConnectionTarget target = resolveConnection({}, arguments);
    return connectionString(target.database, target.server);
}

QSqlDatabase prepareDatabase(const QString& connectionString, const QString& name) {
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase("QODBC", name);
    db.close();
    db.setDatabaseName(connectionString);
    // Amounts are read as the server writes them, never through binary floats.
    db.setNumericalPrecisionPolicy(QSql::HighPrecision);
    return db;
}

QSqlDatabase openDatabase(const QString& connectionString, const QString& name) {
    QSqlDatabase db = prepareDatabase(connectionString, name);
    openSession(db);
    return db;
}

namespace {
// Sent as plain text: a setting needs no prepared statement, and it must not
// go through exec(), which reopens lost connections with this very code.
void setSession(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw DbError(q.lastError().text(), sql);
}
} // namespace

void openSession(QSqlDatabase db) {
    if (!db.open())
        throw DbError(db.lastError().text());
    // Short interactive statements must not pay for JIT compilation, which the
    // server may have switched on for everyone.
    setSession(db, QStringLiteral("SET jit = off"));
    // Duplicate checks and the rechecks after row locks must see what other
    // workstations committed while they waited, whatever default the server
    // or the database sets: a snapshot isolation would let duplicates through.
    setSession(db,
               QStringLiteral(
                   "SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL READ COMMITTED"));
    // Who writes, for the database's change history; a session opened anew
    // after a loss must not turn into "another application".
    applySessionIdentity(db);
}

ConnectionWatch* ConnectionWatch::instance() {
    static ConnectionWatch watch;
    return &watch;
}

} // namespace tabel
