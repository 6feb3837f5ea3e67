#include "app/login_dialog.h"
#include "journal/main_window.h"
#include "session/roles.h"
#include "test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace tabel;
using namespace tabel::test;

TEST(AccessCodes, SelectTheirRoles) {
    struct Case {
        QString entered;
        Role role;
    } cases[] = {
        {"61730482", Role::Administrator},
        {"6472", Role::Administrator},
        {" 6472 ", Role::Administrator},
        {"\t6472\r\n", Role::Administrator},
        {"luskev", Role::Office},
        {"tavrink", Role::Foreman},
        {"pomir", Role::Warehouse},
        {"Pomir", Role::None},
        {"   ", Role::None},
        {"", Role::None},
        {"64 72", Role::None},
        {"TAVRINK", Role::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(roleForCode(trimmedCode(c.entered)), c.role) << c.entered.toStdString();
}

class LoginTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        main = std::make_unique<MainWindow>(*ctx);
        login = std::make_unique<LoginDialog>(*ctx, *main, BuildStamp{20260101, 100});
        login->handOver = [this] { ++handOvers; };
        login->endProgram = [this] { ++ends; };
    }
    void TearDown() override {
        login.reset();
        main.reset();
        DbTest::TearDown();
    }
    bool enter(const QString& code) {
        login->codeEdit()->setText(code);
        return login->enter();
    }
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<LoginDialog> login;
    int handOvers = 0;
    int ends = 0;
};

TEST_F(LoginTest, EachRoleKeepsWhatItMayUse) {
    struct Case {
        QString code;
        bool add, change, remove, refresh, dateAndShift, accept, directories, timesheets;
    } cases[] = {
        {"6472", true, true, true, true, true, true, true, true},
        {"luskev", false, false, false, false, false, false, false, false},
        {"tavrink", true, false, false, true, true, true, false, false},
        {"pomir", false, false, false, true, true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code.toStdString());
        MainWindow w(*ctx);
        LoginDialog l(*ctx, w, BuildStamp{20260101, 100});
        int handed = 0;
        l.handOver = [&] { ++handed; };
        l.codeEdit()->setText(c.code);
        EXPECT_TRUE(l.enter());
        EXPECT_EQ(handed, 1);
        EXPECT_EQ(w.addButton()->isEnabled(), c.add);
        EXPECT_EQ(w.changeButton()->isEnabled(), c.change);
        EXPECT_EQ(w.deleteButton()->isEnabled(), c.remove);
        EXPECT_EQ(w.findChild<QPushButton*>("RefreshButton")->isEnabled(), c.refresh);
        EXPECT_EQ(w.shiftButton(2)->isEnabled(), c.dateAndShift);
        EXPECT_EQ(w.findChild<QDateEdit*>("DateT")->isEnabled(), c.dateAndShift);
        EXPECT_EQ(w.dayOffBox()->isEnabled(), c.dateAndShift);
        EXPECT_TRUE(w.grid()->isEnabled());
        EXPECT_EQ(w.isGridReadOnly(), !c.accept);
        EXPECT_EQ(w.findChild<QMenu*>("MenuDirectories")->isEnabled(), c.directories);
        EXPECT_EQ(w.findChild<QMenu*>("MenuTimesheets")->isEnabled(), c.timesheets);
        // Everybody keeps the reports, the housekeeping journal and the exit.
        EXPECT_TRUE(w.findChild<QMenu*>("MenuReports")->isEnabled());
        EXPECT_TRUE(w.findChild<QPushButton*>("ExitButton")->isEnabled());
        EXPECT_EQ(ctx->state.accessWord, c.code);
        EXPECT_EQ(ctx->state.shift, 1);
        for (int s = 1; s <= 4; ++s)
            EXPECT_EQ(data->shiftList(s).param("ok").toString(), "ta");
    }
}

TEST_F(LoginTest, AWrongCodeIsRefusedAndMayBeRetried) {
    ctx->state.shift = 3;
    EXPECT_FALSE(enter("Pomir"));
    EXPECT_EQ(handOvers, 0);
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
    EXPECT_EQ(messenger.messages[0].text, "Введены неверные данные.");
    EXPECT_EQ(login->codeEdit()->text(), "Pomir"); // left as typed
    EXPECT_EQ(ctx->state.accessWord, "Pomir");
    EXPECT_EQ(ctx->state.shift, 1);

    EXPECT_FALSE(enter("   "));
    EXPECT_TRUE(enter(" 6472 "));
    EXPECT_EQ(handOvers, 1);
    EXPECT_EQ(ctx->state.accessWord, "6472");
}

TEST_F(LoginTest, CodeIsMaskedAndControlsAreNamed) {
    EXPECT_EQ(login->objectName(), "TForm23");
    EXPECT_EQ(login->windowTitle(), "Авторизация");
    EXPECT_EQ(login->codeEdit()->echoMode(), QLineEdit::Password);
    login->codeEdit()->setText("luskev");
    EXPECT_EQ(login->codeEdit()->displayText(), "******");
    EXPECT_FALSE(login->codeEdit()->accessibleName().isEmpty());
    EXPECT_TRUE(login->findChild<QPushButton*>("Button1")->isDefault());
    EXPECT_EQ(login->findChild<QPushButton*>("Button2")->text(), "Отмена");
}

// The program shows the login before it builds the main window: the window
// is asked for only when a code is entered, a wrong one included, and the
// role then applies to the window built.
TEST_F(LoginTest, TheMainWindowIsAskedForOnlyWhenACodeIsEntered) {
    std::unique_ptr<MainWindow> w;
    int asked = 0;
    LoginDialog l(
        *ctx,
        [&]() -> MainWindow& {
            ++asked;
            if (!w)
                w = std::make_unique<MainWindow>(*ctx);
            return *w;
        },
        BuildStamp{20260101, 100});
    int handed = 0;
    l.handOver = [&] { ++handed; };
    l.endProgram = [] {};
    l.show();
    // The gate's run at the first showing puts the build in the caption.
    for (int i = 0; i < 200 && l.windowTitle() == "Авторизация"; ++i)
        QTest::qWait(10);
    EXPECT_EQ(l.windowTitle(), "Авторизация (build: 20260101.100)");
    EXPECT_EQ(asked, 0);

    l.codeEdit()->setText("Pomir");
    EXPECT_FALSE(l.enter());
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->findChild<QMenu*>("MenuTimesheets")->isEnabled());
    EXPECT_EQ(handed, 0);

    l.codeEdit()->setText("tavrink");
    EXPECT_TRUE(l.enter());
    EXPECT_EQ(handed, 1);
    EXPECT_TRUE(w->addButton()->isEnabled());
    EXPECT_FALSE(w->changeButton()->isEnabled());
    EXPECT_FALSE(w->findChild<QMenu*>("MenuDirectories")->isEnabled());
    for (int s = 1; s <= 4; ++s)
        EXPECT_EQ(data->shiftList(s).param("ok").toString(), "ta");
}
