#include "db/connection.h"
#include "db/sql.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace tabel;

namespace {
const QString kTail =
    ";PORT=5432;UID=sys;PWD=wuxamez;SSLmode=allow;ReadOnly=0;Protocol=7.4;FakeOidIndex=0;"
    "ShowOidColumn=0;RowVersioning=0;ShowSystemTables=0;Fetch=100;UnknownSizes=0;"
    "MaxVarcharSize=255;MaxLongVarcharSize=8190;Debug=0;CommLog=0;UseDeclareFetch=0;"
    "TextAsLongVarchar=1;UnknownsAsLongVarchar=0;BoolsAsChar=1;Parse=0;ExtraSysTablePrefixes=;"
    "LFConversion=0;UpdatableCursors=1;TrueIsMinus1=0;BI=0;ByteaAsLongVarBinary=1;"
    "UseServerSidePrepare=1;LowerCaseIdentifier=0;D6=-101;OptionalErrors=0;XaOpt=1";
}

TEST(ConnectionString, FollowsTheCommandLine) {
    const QString dflt =
        "DRIVER={PostgreSQL UNICODE};DATABASE=tobrin;SERVER=" + defaultServer() + kTail;
    struct Case {
        QStringList args;
        QString expected;
    } cases[] = {
        {{}, dflt},
        {{"plant"}, dflt}, // a database alone is not enough
        {{"plant", ""}, dflt},
        {{"", "db-host"}, "DRIVER={PostgreSQL UNICODE};DATABASE=;SERVER=db-host" + kTail},
        {{"plant", "/tmp/sock"},
         "DRIVER={PostgreSQL UNICODE};DATABASE=plant;SERVER=/tmp/sock" + kTail},
        {{"plant", "10.1.1.1", "extra"},
         "DRIVER={PostgreSQL UNICODE};DATABASE=plant;SERVER=10.1.1.1" + kTail},
    };
    for (const Case& c : cases)
        EXPECT_EQ(connectionStringFromArguments(c.args), c.expected)
            << c.args.join('|').toStdString();
}

namespace {
class SessionRules : public tabel::test::DbTest {};
} // namespace

TEST_F(SessionRules, TransactionsReadCommittedWhateverTheDatabaseDefault) {
    // Duplicate checks and row-lock rechecks depend on it.
    const QString statements[] = {
        "alter database %1 set default_transaction_isolation = 'repeatable read'",
        "alter database %1 set default_transaction_isolation = 'serializable'",
    };
    int n = 0;
    for (const QString& statement : statements) {
        run(statement.arg(dbName));
        const QString tag = QString::number(++n);
        // A connection opened without our rules takes the database default.
        {
            QSqlDatabase plain = QSqlDatabase::addDatabase("QODBC", dbName + "_plain" + tag);
            plain.setDatabaseName(connectionString(dbName, tabel::test::testSocket()));
            ASSERT_TRUE(plain.open());
            Transaction tx(plain);
            EXPECT_NE(tabel::scalar(plain, "show transaction_isolation").toString().toStdString(),
                      "read committed");
        }
        QSqlDatabase::removeDatabase(dbName + "_plain" + tag);

        QSqlDatabase ours = otherWorkstation("ours" + tag);
        Transaction tx(ours);
        EXPECT_EQ(tabel::scalar(ours, "show transaction_isolation").toString().toStdString(),
                  "read committed")
            << statement.toStdString();
    }
}
