#include "app/login_dialog.h"
#include "app/version_gate.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "test_support.h"
#include "timesheets/sheet_window_kit.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

using namespace tabel;
using namespace tabel::test;

class VersionGateTest : public DbTest {
protected:
    struct Row {
        int d, t;
        QString delim;
    };
    std::vector<Row> rows() {
        std::vector<Row> out;
        QSqlQuery q = tabel::exec(db, "select d, t, coalesce(delim, '') from accounts_dep.ver");
        while (q.next())
            out.push_back({q.value(0).toInt(), q.value(1).toInt(), q.value(2).toString()});
        return out;
    }
    static constexpr BuildStamp kBuild{20261210, 45000};
};

TEST_F(VersionGateTest, StampsAnEmptyTable) {
    VersionGate gate(db, kBuild);
    EXPECT_EQ(gate.run(), VersionGate::Outcome::Stamped);
    ASSERT_EQ(rows().size(), 1u);
    EXPECT_EQ(rows()[0].d, kBuild.date);
    EXPECT_EQ(rows()[0].t, kBuild.time);
    EXPECT_EQ(gate.decimalSeparator(), "");
}

TEST_F(VersionGateTest, ComparesDateFirstThenTime) {
    struct Case {
        const char* name;
        int d, t;
        VersionGate::Outcome outcome;
        int storedD, storedT;
    } cases[] = {
        {"equal", kBuild.date, kBuild.time, VersionGate::Outcome::Passed, kBuild.date, kBuild.time},
        {"one second later", kBuild.date, kBuild.time + 1, VersionGate::Outcome::Outdated,
         kBuild.date, kBuild.time + 1},
        {"earlier date, larger time", kBuild.date - 1, 86000, VersionGate::Outcome::Stamped,
         kBuild.date, kBuild.time},
        {"same date, earlier time", kBuild.date, 10, VersionGate::Outcome::Stamped, kBuild.date,
         kBuild.time},
        {"later date, smaller time", kBuild.date + 1, 0, VersionGate::Outcome::Outdated,
         kBuild.date + 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        run("delete from accounts_dep.ver");
        run("insert into accounts_dep.ver (d, t, delim) values (:d, :t, '.')",
            {{"d", c.d}, {"t", c.t}});
        const QString before = scalar("select xmin::text from accounts_dep.ver").toString();
        VersionGate gate(db, kBuild);
        EXPECT_EQ(gate.run(), c.outcome);
        EXPECT_EQ(gate.decimalSeparator(), ".");
        ASSERT_EQ(rows().size(), 1u);
        EXPECT_EQ(rows()[0].d, c.storedD);
        EXPECT_EQ(rows()[0].t, c.storedT);
        if (c.outcome != VersionGate::Outcome::Stamped) { // nothing written
            EXPECT_EQ(scalar("select xmin::text from accounts_dep.ver").toString(), before);
        }
    }
}

TEST_F(VersionGateTest, OnlyTheFirstRowCounts) {
    run("insert into accounts_dep.ver (d, t, delim) values (20200101, 5, ',')");
    run("insert into accounts_dep.ver (d, t, delim) values (20991231, 5, '.')");
    VersionGate gate(db, kBuild);
    EXPECT_EQ(gate.run(), VersionGate::Outcome::Stamped);
    EXPECT_EQ(gate.decimalSeparator(), ",");
    EXPECT_EQ(
        scalar("select count(*) from accounts_dep.ver where d = :d", {{"d", kBuild.date}}).toInt(),
        1);
}

TEST_F(VersionGateTest, ANewerBuildElsewhereEndsThisCopyWithinFiveSeconds) {
    MainWindow main(*ctx);
    LoginDialog login(*ctx, main, kBuild);
    int ends = 0;
    login.endProgram = [&] { ++ends; };

    login.runGate(); // stamps the empty table
    EXPECT_EQ(ends, 0);
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_EQ(data->decimalSeparator(), "");

    // Another workstation starts a build made a second later.
    QSqlDatabase other = otherWorkstation();
    VersionGate newer(other, {kBuild.date, kBuild.time + 1});
    EXPECT_EQ(newer.run(), VersionGate::Outcome::Stamped);

    // The next tick of this copy's 30-second timer.
    EXPECT_EQ(main.gateTimer()->interval(), 30000);
    EXPECT_TRUE(main.gateTimer()->isActive());
    login.runGate();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
    EXPECT_EQ(messenger.messages[0].text,
              "Версия программы не соответсвует БД! Запустите программу через 5 мин.");
    EXPECT_EQ(ends, 1);
    // Should the box stay open, the 5-second timer ends the program anyway.
    EXPECT_TRUE(login.exitTimer()->isActive());
    EXPECT_EQ(login.exitTimer()->interval(), 5000);
}

// A rebuild's progress lets timer ticks through while its transaction holds
// the month: the gate waits until it is over, then runs.
TEST_F(VersionGateTest, ATickDuringARebuildWaitsForItsEnd) {
    MainWindow main(*ctx);
    LoginDialog login(*ctx, main, kBuild);
    login.runGate();
    VersionGate newer(otherWorkstation(), {kBuild.date, kBuild.time + 1});
    ASSERT_EQ(newer.run(), VersionGate::Outcome::Stamped);
    int ends = 0, endsInside = 0;
    login.endProgram = [&] {
        ++ends;
        endsInside += Transaction::active(db) ? 1 : 0;
    };
    QObject::connect(main.gateTimer(), &QTimer::timeout, &login, &LoginDialog::gateTick);
    main.gateTimer()->start(0); // a tick whenever events run

    QProgressBar bar;
    int rereads = 0;
    rebuildShowingProgress(db, SheetKind::Shifts, QDate(2026, 11, 1), &bar, [&] { ++rereads; });
    EXPECT_EQ(rereads, 1);
    QCoreApplication::processEvents();
    main.gateTimer()->stop();
    EXPECT_GE(ends, 1);
    EXPECT_EQ(endsInside, 0);
}

TEST_F(VersionGateTest, LoginCaptionShowsTheBuild) {
    MainWindow main(*ctx);
    LoginDialog login(*ctx, main, kBuild);
    login.show();
    const QString expected = "Авторизация (build: 20261210.45000)";
    for (int i = 0; i < 200 && login.windowTitle() != expected; ++i)
        QTest::qWait(10);
    EXPECT_EQ(login.windowTitle(), expected);
    EXPECT_EQ(rows().size(), 1u);
}

TEST(BuildStampForm, IsPlainDecimal) {
    EXPECT_EQ(loginCaption({20260105, 7}), "Авторизация (build: 20260105.7)");
}

TEST_F(VersionGateTest, ABrokenGateIsReportedOnceWhileItsBoxIsOpen) {
    MainWindow main(*ctx);
    LoginDialog login(*ctx, main, kBuild);
    run("alter table accounts_dep.ver rename to ver_gone");
    // The error box of the first tick is still open when the next tick comes.
    struct NestedTick : RecordingMessenger {
        LoginDialog* login = nullptr;
        void error(const QString& caption, const QString& text, const QString& detail) override {
            RecordingMessenger::error(caption, text, detail);
            if (messages.size() == 1)
                login->gateTick();
        }
    } boxes;
    boxes.login = &login;
    Messenger* before = setErrorMessenger(&boxes);
    login.gateTick();
    EXPECT_EQ(boxes.messages.size(), 1);
    login.gateTick(); // later ticks try again
    EXPECT_EQ(boxes.messages.size(), 2);
    setErrorMessenger(before);
}
