#include "connection.h"

#include "sql.h"

#include <QSqlError>

#ifndef TABEL_DEFAULT_SERVER
#define TABEL_DEFAULT_SERVER "localhost"
#endif

namespace tabel {

QString connectionString(const QString& database, const QString& server) {
    return QStringLiteral("DRIVER={PostgreSQL UNICODE};DATABASE=") + database +
           QStringLiteral(";SERVER=") + server +
           QStringLiteral(";PORT=5432;UID=sys;PWD=wuxamez;SSLmode=allow;") +
           QStringLiteral("ReadOnly=0;Protocol=7.4;FakeOidIndex=0;ShowOidColumn=0;RowVersioning=0;"
                          "ShowSystemTables=0;Fetch=100;UnknownSizes=0;MaxVarcharSize=255;"
                          "MaxLongVarcharSize=8190;") +
           QStringLiteral("Debug=0;CommLog=0;UseDeclareFetch=0;TextAsLongVarchar=1;"
                          "UnknownsAsLongVarchar=0;BoolsAsChar=1;Parse=0;ExtraSysTablePrefixes=;"
                          "LFConversion=1;UpdatableCursors=1;") +
           QStringLiteral("TrueIsMinus1=0;BI=0;ByteaAsLongVarBinary=1;UseServerSidePrepare=1;"
                          "LowerCaseIdentifier=0;D6=-101;OptionalErrors=0;XaOpt=1");
}

QString defaultServer() {
    return QStringLiteral(TABEL_DEFAULT_SERVER);
}

QString connectionStringFromArguments(const QStringList& arguments) {
    const QString database = arguments.value(0);
    const QString server = arguments.value(1);
    if (server.isEmpty())
        return connectionString(QLatin1String(kDefaultDatabase), defaultServer());
    return connectionString(database, server);
}

QSqlDatabase openDatabase(const QString& connectionString, const QString& name) {
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase("QODBC", name);
    db.close();
    db.setDatabaseName(connectionString);
    // Amounts are read as the server writes them, never through binary floats.
    db.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!db.open())
        throw DbError(db.lastError().text());
    // Short interactive statements must not pay for JIT compilation, which the
    // server may have switched on for everyone.
    exec(db, QStringLiteral("SET jit = off"));
    return db;
}

} // namespace tabel
