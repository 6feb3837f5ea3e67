// The login per person: PostgreSQL checks each person's password (the test
// cluster asks it of every member of `tabel_login_test`), and the role comes
// from the person's group.
#include "app/login_dialog.h"
#include "db/connection.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "session/person_login.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUuid>
#include <memory>

using namespace tabel;
using namespace tabel::test;

TEST(PersonConnectionString, QuotesThePasswordAndLeavesTheRestAsForTheCodes) {
    const QString codes = connectionString("plant", "/run/pg");
    struct Case {
        QString user, password, account;
    } cases[] = {
        {"anna", "secret", "UID=anna;PWD={secret};"},
        {"anna", "a;b}c=d{e", "UID=anna;PWD={a;b}}c=d{e};"},
        {"иванов", "}}", "UID=иванов;PWD={}}}}};"},
        // No password: PostgreSQL's password file is asked.
        {"nightly", "", "UID=nightly;"},
    };
    for (const Case& c : cases) {
        QString expected = codes;
        expected.replace("UID=sys;PWD=wuxamez;", c.account);
        EXPECT_EQ(personConnectionString("plant", "/run/pg", c.user, c.password), expected);
    }
}

TEST(PersonLogin, TheDriversWordsForAWrongNameOrPassword) {
    const struct {
        const char* said;
        bool rejected;
    } cases[] = {
        {"connection to server on socket \"/s/.s.PGSQL.5432\" failed: FATAL:  password "
         "authentication failed for user \"anna\"",
         true},
        {"ВАЖНО:  пользователь \"anna\" не прошёл проверку подлинности (по паролю)", true},
        {"failed: fe_sendauth: no password supplied", true},
        {"FATAL:  role \"nobody\" does not exist", true},
        {"ВАЖНО:  роль \"nobody\" не существует", true},
        {"FATAL:  database \"plant\" does not exist", false},
        {"could not connect to server: No such file or directory", false},
        {"FATAL:  no pg_hba.conf entry for host \"10.0.0.5\", user \"anna\"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(credentialsRejected(QString::fromUtf8(c.said)), c.rejected) << c.said;
}

namespace {

QString uniqueName(const char* prefix) {
    return prefix + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

class PersonLoginTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        setErrorMessenger(&messenger);
        target.database = dbName;
        target.server = testSocket();
        target.login = LoginMode::Person;
    }
    void TearDown() override {
        setErrorMessenger(nullptr);
        DbTest::TearDown();
        for (const QString& name : people_)
            runAsSuperuser("select format('drop role if exists %I', :n::text)", {{"n", name}});
        QSqlDatabase::removeDatabase(kSuperuser);
    }

    // A login role of this test's own (roles are the cluster's, shared by
    // the tests running beside it), in `groups`. It is in `sys` as well:
    // what the groups may touch is the database's business, not the login's.
    QString addPerson(const QString& password, const QStringList& groups) {
        const QString name = uniqueName("tabel_lt_");
        people_ << name;
        runAsSuperuser("select format('create role %I login password %L', :n::text, :p::text)",
                       {{"n", name}, {"p", password}});
        for (const QString& group : groups + QStringList{"tabel_login_test", "sys"})
            runAsSuperuser("select format('grant %I to %I', :g::text, :n::text)",
                           {{"g", group}, {"n", name}});
        return name;
    }

    // Statements that take no parameters (roles): the server quotes the
    // bound values into the text, which then runs.
    void runAsSuperuser(const QString& formatSql, const QVariantMap& params) {
        if (!QSqlDatabase::contains(kSuperuser))
            openDatabase(personConnectionString("postgres", testSocket(), "postgres"), kSuperuser);
        const QSqlDatabase su = QSqlDatabase::database(kSuperuser);
        tabel::exec(su, tabel::scalar(su, formatSql, params).toString());
    }

    struct Attempt {
        bool accepted = false;
        int handOvers = 0;
    };
    Attempt logIn(MainWindow& w, const QString& user, const QString& password) {
        LoginDialog l(*ctx, w, BuildStamp{20260101, 100});
        l.usePersonLogin(target);
        Attempt a;
        l.handOver = [&] { ++a.handOvers; };
        l.endProgram = [] {};
        l.userEdit()->setText(user);
        l.codeEdit()->setText(password);
        a.accepted = l.enter();
        EXPECT_TRUE(l.codeEdit()->text().isEmpty()) << "the password stays in the field";
        return a;
    }

    ConnectionTarget target;
    static constexpr const char* kSuperuser = "tabel_login_superuser";

private:
    QStringList people_;
};

} // namespace

TEST_F(PersonLoginTest, TheHighestGroupGivesTheRoleAndItsRestrictions) {
    struct Case {
        QStringList groups;
        QString password;
        Role role;
        bool add, change, directories, timesheets;
    } cases[] = {
        {{"tabel_admin"}, "a;b}c=d{e", Role::Administrator, true, true, true, true},
        {{"tabel_office"}, "пароль;=}", Role::Office, false, false, false, false},
        {{"tabel_foreman"}, "{x}", Role::Foreman, true, false, false, false},
        {{"tabel_store"}, " blank at both ends ", Role::Warehouse, false, false, false, false},
        {{"tabel_store", "tabel_foreman"}, "p", Role::Foreman, true, false, false, false},
        {{"tabel_foreman", "tabel_office"}, "p", Role::Office, false, false, false, false},
        {{"tabel_store", "tabel_admin"}, "p", Role::Administrator, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.groups.join(", ").toStdString());
        const QString person = addPerson(c.password, c.groups);
        MainWindow w(*ctx);
        const Attempt a = logIn(w, " " + person + " ", c.password);
        ASSERT_TRUE(a.accepted) << messenger.lastText().toStdString();
        EXPECT_EQ(a.handOvers, 1);
        EXPECT_EQ(ctx->state.role(), c.role);
        EXPECT_TRUE(ctx->state.accessWord.isEmpty());
        EXPECT_EQ(w.addButton()->isEnabled(), c.add);
        EXPECT_EQ(w.changeButton()->isEnabled(), c.change);
        EXPECT_EQ(w.deleteButton()->isEnabled(), c.change);
        EXPECT_EQ(w.findChild<QMenu*>("MenuDirectories")->isEnabled(), c.directories);
        EXPECT_EQ(w.findChild<QMenu*>("MenuTimesheets")->isEnabled(), c.timesheets);
        for (int s = 1; s <= 4; ++s)
            EXPECT_EQ(data->shiftList(s).param("ok").toString(), "ta");
        // The session is the person's, and the history names their role.
        EXPECT_EQ(scalar("select session_user").toString(), person);
        EXPECT_EQ(scalar("select current_setting('tabel.role')").toString(), roleName(c.role));
        // Nothing keeps the password once connected.
        EXPECT_FALSE(db.databaseName().contains("PWD")) << db.databaseName().toStdString();
    }
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.lastText().toStdString();
}

TEST_F(PersonLoginTest, RefusalsAreRussianAndTheNextTryMayWork) {
    const QString foreman = addPerson("right", {"tabel_foreman"});
    const QString nobody = addPerson("right", {});
    const struct {
        const char* what;
        QString user, password, says, detail;
    } cases[] = {
        {"a wrong password", foreman, "wrong", "Неверное имя пользователя или пароль.",
         "password authentication failed"},
        {"no password", foreman, "", "Неверное имя пользователя или пароль.",
         "no password supplied"},
        {"a user the server does not know", uniqueName("tabel_lt_none_"), "right",
         "Неверное имя пользователя или пароль.", "does not exist"},
        {"in none of the groups", nobody, "right",
         "Пользователь «" + nobody +
             "» не входит ни в одну из групп программы (tabel_admin, tabel_office, "
             "tabel_foreman, tabel_store). Вход не разрешен: обратитесь к администратору.",
         ""},
        {"no name", "  ", "right", "Введите имя пользователя.", ""},
        {"a name the connection string cannot carry", "a;UID=sys", "right",
         "Имя пользователя не может содержать «;».", ""},
    };
    MainWindow w(*ctx);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        messenger.messages.clear();
        const Attempt a = logIn(w, c.user, c.password);
        EXPECT_FALSE(a.accepted);
        EXPECT_EQ(a.handOvers, 0);
        EXPECT_FALSE(db.isOpen()) << "a refused person keeps no connection";
        EXPECT_EQ(ctx->state.role(), Role::None);
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
        EXPECT_EQ(messenger.messages[0].text, c.says);
        EXPECT_TRUE(messenger.messages[0].detail.contains(c.detail))
            << messenger.messages[0].detail.toStdString();
        EXPECT_FALSE(messenger.messages[0].detail.contains("right"));
    }
    messenger.messages.clear();
    EXPECT_TRUE(logIn(w, foreman, "right").accepted) << messenger.lastText().toStdString();
    EXPECT_EQ(ctx->state.role(), Role::Foreman);
}

// Before "Вход" there is no connection: showing the dialog must not try one,
// and it asks for a user and a password, the password masked.
TEST_F(PersonLoginTest, TheDialogAsksForAUserAndAPassword) {
    // As the program sets it up: closed, and no password to open it with.
    db.close();
    db.setDatabaseName(personConnectionString(dbName, testSocket(), addPerson("p", {})));
    std::unique_ptr<MainWindow> w;
    LoginDialog l(
        *ctx,
        [&]() -> MainWindow& {
            w = std::make_unique<MainWindow>(*ctx);
            return *w;
        },
        BuildStamp{20260101, 100});
    l.usePersonLogin(target);
    l.endProgram = [] {};
    l.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(l.windowTitle(), "Авторизация (build: 20260101.100)");
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(w, nullptr);
    ASSERT_NE(l.userEdit(), nullptr);
    EXPECT_EQ(l.userEdit()->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(l.codeEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(l.userEdit()->accessibleName(), "Пользователь");
    EXPECT_EQ(l.codeEdit()->accessibleName(), "Пароль");
    QStringList labels;
    for (const QLabel* label : l.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains("Пользователь") && labels.contains("Пароль"))
        << labels.join(", ").toStdString();
    EXPECT_FALSE(labels.contains("Код доступа"));
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.lastText().toStdString();
}

namespace {

// tabel-batch with the command alone, under the plant's file `config`, with
// PostgreSQL's password file `pgpass` (when not empty).
BatchRun runWithFiles(const QTemporaryDir& dir, const QByteArray& config,
                      const QByteArray& pgpass) {
    const QString system = dir.filePath("tabel.conf");
    const QString passfile = dir.filePath("pgpass");
    for (const auto& [path, text] : {std::pair{system, config}, std::pair{passfile, pgpass}}) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TABEL_SYSTEM_CONFIG", system);
    env.insert("XDG_CONFIG_HOME", dir.filePath("home"));
    env.insert("HOME", dir.filePath("home"));
    env.insert("PGPASSFILE", passfile);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TABEL_BATCH), {"check"});
    BatchRun r;
    EXPECT_TRUE(p.waitForFinished(120000));
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST_F(PersonLoginTest, TheBatchConnectsAsItsUserWithPostgresPasswordFile) {
    const QString nightly = addPerson("n;i}g=ht", {});
    const QByteArray where =
        "server = " + testSocket().toUtf8() + "\ndatabase = " + dbName.toUtf8() + "\n";
    // The socket folder stands where a host name would; ":" would need "\:".
    const QByteArray entry = testSocket().toUtf8() + ":5432:*:" + nightly.toUtf8() + ":n;i}g=ht\n";
    QTemporaryDir dir;
    const struct {
        const char* what;
        QByteArray config, pgpass;
        int exitCode;
        QString says;
    } cases[] = {
        {"the codes: the built-in account", where, "", 0,
         "Вход в программу: по коду доступа (login = code).\ntabel-batch подключен как "
         "пользователь sys."},
        {"a person login: the job's user and PostgreSQL's password file",
         where + "login = person\nuser = " + nightly.toUtf8() + "\n", entry, 0,
         "Вход в программу: у каждого свой пользователь PostgreSQL (login = person).\n"
         "tabel-batch подключен как пользователь " +
             nightly + "."},
        {"no password for it there", where + "login = person\nuser = " + nightly.toUtf8() + "\n",
         "", 1, "PostgreSQL не принял пользователя «" + nightly + "»"},
        {"no user for the job", where + "login = person\n", entry, 2,
         "не задан пользователь tabel-batch (user = ...)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const BatchRun r = runWithFiles(dir, c.config, c.pgpass);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_TRUE((c.exitCode == 0 ? r.out : r.err).contains(c.says))
            << r.out.toStdString() << r.err.toStdString();
    }
}
