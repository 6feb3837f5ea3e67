#include "test_support.h"

using namespace tabel::test;

namespace {

class BatchTest : public DbTest {};

TEST_F(BatchTest, CheckAnswersAndHelpListsCommands) {
    const BatchRun check = runBatch(dbName, {"check"});
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    EXPECT_TRUE(check.out.contains("База данных отвечает.")) << check.out.toStdString();

    const BatchRun help = runBatch(dbName, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("check")) << help.out.toStdString();
}

TEST_F(BatchTest, BadArgumentsExitNonZeroWithAReason) {
    struct Case {
        QStringList args;
        int exitCode;
        QString says;
    } cases[] = {
        {{"no-such-command"}, 2, "Неизвестная команда"},
        {{"check", "--bogus", "1"}, 2, "Неизвестный параметр --bogus"},
        {{"check", "stray"}, 2, "Лишний аргумент"},
    };
    for (const Case& c : cases) {
        const BatchRun r = runBatch(dbName, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
    const BatchRun noDb = runBatch("no_such_database_here", {"check"});
    EXPECT_EQ(noDb.exitCode, 1);
    EXPECT_FALSE(noDb.err.isEmpty());
}

} // namespace
