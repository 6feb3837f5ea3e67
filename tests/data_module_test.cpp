#include "db/format.h"
#include "db/numbers.h"
#include "test_support.h"

#include <limits>

using namespace tabel;
using namespace tabel::test;

TEST(DecimalSeparator, ReplacesTheFirstSeparatorOnly) {
    RecordingMessenger m;
    DataModule dm(QSqlDatabase(), m);
    struct Case {
        QString separator, in, out;
    } cases[] = {
        {".", "12,5", "12.5"},
        {".", "12.5", "12.5"},
        {".", "12", "12"},
        {".", "1,5,7", "1.5,7"},
        {",", "12.5", "12,5"},
        {",", "1.5.7", "1,5.7"},
        // A database without a separator must not turn 1,25 into 125.
        {"", "12,5", "12.5"},
        {"", "1.25", "1.25"},
    };
    for (const Case& c : cases) {
        dm.setDecimalSeparator(c.separator);
        EXPECT_EQ(dm.toDatabaseDecimal(c.in), c.out)
            << c.separator.toStdString() << " " << c.in.toStdString();
    }
}

TEST(NumberDisplay, FollowsTheLocaleWithoutBinaryArtefacts) {
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QLocale c(QLocale::C);
    EXPECT_EQ(displayNumber(QString("10.04"), ru), "10,04");
    EXPECT_EQ(displayNumber(QString("10.04"), c), "10.04");
    EXPECT_EQ(displayNumber(QString("1250"), ru), "1250");
    EXPECT_EQ(displayNumber(QString("-3.5"), c), "-3.5");
    EXPECT_EQ(displayDouble(0.15, ru), "0,15");
    EXPECT_EQ(displayDouble(10.039999999999999, c), "10.04");
    EXPECT_EQ(displayDouble(30, c), "30");
}

class DataModuleTest : public DbTest {};

TEST_F(DataModuleTest, DuplicateCheckShowsItsMessageOnlyWhenRowsExist) {
    const int vid = addVid("Резка");
    const QString sql = "select count(*) as cnt from accounts_dep.vid_oper where vid = :v";
    EXPECT_FALSE(data->duplicateCheck(sql, {{"v", "Гибка"}}, "Уже есть"));
    EXPECT_TRUE(messenger.messages.isEmpty());

    addVid("Резка");
    addVid("Резка");
    EXPECT_TRUE(data->duplicateCheck(sql, {{"v", "Резка"}}, "Уже есть"));
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
    EXPECT_EQ(messenger.messages[0].text, "Уже есть");
    (void)vid;
}

TEST_F(DataModuleTest, AFailedWriteSequenceLeavesNothingBehind) {
    // The driver undoes only the failing statement of a transaction; the
    // guard must undo the earlier ones as well.
    try {
        Transaction tx(db);
        run("insert into accounts_dep.vid_oper (vid) values ('Первая')");
        run("insert into accounts_dep.no_such_table values (1)");
        tx.commit();
        FAIL() << "the second statement should have failed";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.text().isEmpty());
    }
    EXPECT_EQ(scalar("select count(*) from accounts_dep.vid_oper where vid = 'Первая'").toInt(), 0);
    // The connection is usable afterwards.
    run("insert into accounts_dep.vid_oper (vid) values ('Вторая')");
    EXPECT_EQ(scalar("select count(*) from accounts_dep.vid_oper where vid = 'Вторая'").toInt(), 1);
}

TEST_F(DataModuleTest, SessionRunsWithoutJit) {
    EXPECT_EQ(scalar("show jit").toString(), "off");
    EXPECT_EQ(scalar("show datestyle").toString(), "ISO, MDY");
}

TEST(ExactNumbers, WholeNumbersAndDecimalTextsStayExact) {
    struct Whole {
        const char* text;
        qint64 max;
        std::optional<qint64> expected;
    } wholes[] = {
        {"100000", 999999999, 100000},
        {" 42 ", 999999999, 42},
        {"0", 0, 0},
        {"32768", 32767, {}},
        {"1e+05", 999999999, {}},
        {"12,5", 999999999, {}},
        {"-1", 999999999, {}},
        {"", 999999999, {}},
        {"１２", 999999999, {}},
        {"99999999999999999999", std::numeric_limits<qint64>::max(), {}},
    };
    for (const Whole& w : wholes)
        EXPECT_EQ(tabel::wholeNumber(QString::fromUtf8(w.text), w.max), w.expected) << w.text;

    const QLocale ru(QLocale::Russian, QLocale::Russia);
    struct Fixed {
        const char* text;
        int decimals;
        const char* expected;
    } fixed[] = {
        {"10.04", 2, "10,04"},
        {"10", 2, "10,00"},
        {"0.005", 2, "0,01"},
        {"-0.004", 2, "0,00"},
        {"-2.5", 0, "-3"},
        {"999.995", 2, "1000,00"},
        {"12345678901234567.89", 1, "12345678901234567,9"},
        {"abc", 2, "abc"},
    };
    for (const Fixed& f : fixed)
        EXPECT_EQ(tabel::fixedDecimal(f.text, f.decimals, ru), QString::fromUtf8(f.expected))
            << f.text;
    EXPECT_EQ(tabel::plainDecimal("100000.000"), "100000");
    EXPECT_EQ(tabel::plainDecimal("2.50"), "2.5");
    EXPECT_EQ(tabel::plainDecimal("7"), "7");
}
