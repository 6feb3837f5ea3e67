#include "db/config.h"
#include "db/connection.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

using namespace tabel;

namespace {

// A system file and a user file in a folder of their own; a file given no
// text is not written at all.
struct TwoFiles {
    QTemporaryDir dir;
    ConfigFiles files{dir.filePath("etc/tabel.conf"), dir.filePath("home/tabel/tabel.conf")};

    TwoFiles(const std::optional<QByteArray>& system, const std::optional<QByteArray>& user) {
        if (system)
            write(files.system, *system);
        if (user)
            write(files.user, *user);
    }
    static void write(const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

} // namespace

TEST(Config, EachLayerOverridesTheOnesBefore) {
    const QString tobrin = QLatin1String(kDefaultDatabase);
    const QString builtIn = defaultServer();
    const std::nullopt_t none = std::nullopt;
    struct Case {
        const char* what;
        std::optional<QByteArray> system, user;
        QStringList args;
        QString database, server;
    } cases[] = {
        {"nothing anywhere: the build's defaults", none, none, {}, tobrin, builtIn},
        {"the system file alone",
         "server = plant-db\ndatabase = works\n",
         none,
         {},
         "works",
         "plant-db"},
        {"the system file names only the server",
         "server=plant-db\n",
         none,
         {},
         tobrin,
         "plant-db"},
        {"the user's server over the system's",
         "server = plant-db\ndatabase = works\n",
         "server = test-db\n",
         {},
         "works",
         "test-db"},
        {"the user file without a system file", none, "database = mine\n", {}, "mine", builtIn},
        {"the command line over both",
         "server = plant-db\ndatabase = works\n",
         "server = test-db\n",
         {"plant", "/run/pg"},
         "plant",
         "/run/pg"},
        {"a database alone on the command line counts for nothing",
         "server = plant-db\n",
         none,
         {"plant"},
         tobrin,
         "plant-db"},
        {"comments, blanks, quotes and CR LF",
         "# the plant\r\n\r\n; old server: 10.0.0.4\r\n  server = \"10.0.0.9\"  \r\n",
         none,
         {},
         tobrin,
         "10.0.0.9"},
        {"a byte-order mark before the first line",
         "\xEF\xBB\xBFserver = plant-db\n",
         none,
         {},
         tobrin,
         "plant-db"},
        {"an empty file changes nothing", "", "\n# nothing yet\n", {}, tobrin, builtIn},
        {"a comment in the Windows code page harms nothing",
         "# \xD6\xE5\xF5 2\nserver = plant-db\n",
         none,
         {},
         tobrin,
         "plant-db"},
    };
    for (const Case& c : cases) {
        TwoFiles f(c.system, c.user);
        const ConnectionTarget t = resolveConnection(f.files, c.args);
        EXPECT_EQ(t.database, c.database) << c.what;
        EXPECT_EQ(t.server, c.server) << c.what;
    }
}

TEST(Config, AMalformedFileStopsWithItsPathAndLine) {
    struct Case {
        QByteArray text;
        int line;
        QString says;
    } cases[] = {
        {"server = a\nplant-db\n", 2, "ожидается строка вида «имя = значение»"},
        {"# ok\nsever = plant-db\n", 2, "неизвестный параметр «sever»"},
        {"[connection]\nserver = plant-db\n", 1, "ожидается строка вида"},
        {"server = a\ndatabase = b\nserver = c\n", 3, "параметр server уже задан в строке 1"},
        {"\n\ndatabase =\n", 3, "не задано значение database"},
        {"server = plant-db # main\n", 1, "содержит пробел или «;»"},
        {"server = x;UID=postgres\n", 1, "содержит пробел или «;»"},
        // Saved by an editor in the Windows code page: "Цех".
        {"server = plant-db\ndatabase = \xD6\xE5\xF5\n", 2, "не в кодировке UTF-8"},
    };
    for (const Case& c : cases) {
        for (const bool inSystem : {true, false}) {
            // The other file is fine; the command line names both, and still
            // the mistake is reported rather than passed over.
            const QByteArray fine = "server = plant-db\n";
            TwoFiles f(inSystem ? c.text : fine, inSystem ? fine : c.text);
            const QString path = inSystem ? f.files.system : f.files.user;
            try {
                resolveConnection(f.files, {"plant", "host"});
                ADD_FAILURE() << "accepted: " << c.text.toStdString();
            } catch (const ConfigError& e) {
                EXPECT_EQ(e.path(), path);
                EXPECT_EQ(e.line(), c.line) << c.text.toStdString();
                EXPECT_TRUE(e.text().contains(c.says)) << e.text().toStdString();
                EXPECT_TRUE(
                    e.text().contains(QStringLiteral("%1, строка %2").arg(path).arg(c.line)))
                    << e.text().toStdString();
            }
        }
    }
}

// The plant's file decides how people log in; a person's own file may ask
// for the person login, never back for the codes the plant has left.
TEST(Config, TheLoginModeAndTheBatchUser) {
    const std::nullopt_t none = std::nullopt;
    const LoginMode code = LoginMode::Code, person = LoginMode::Person;
    struct Case {
        const char* what;
        std::optional<QByteArray> system, user;
        LoginMode login;
        QString batchUser;
    } cases[] = {
        {"nothing set: the access codes", none, none, code, ""},
        {"the plant's person login", "login = person\nuser = nightly\n", none, person, "nightly"},
        {"the plant's code login said aloud", "login = code\n", none, code, ""},
        {"a workstation trying the person login first", "login = code\n", "login = person\n",
         person, ""},
        {"the plant's person login confirmed", "login = person\n", "login = person\n", person, ""},
        {"the user's own batch user over the plant's", "login = person\nuser = nightly\n",
         "user = anna\n", person, "anna"},
    };
    for (const Case& c : cases) {
        TwoFiles f(c.system, c.user);
        const ConnectionTarget t = resolveConnection(f.files, {"plant", "host"});
        EXPECT_EQ(t.login, c.login) << c.what;
        EXPECT_EQ(t.user, c.batchUser) << c.what;
        EXPECT_EQ(t.database, "plant") << c.what;
    }

    const struct {
        const char* what;
        QByteArray system, user;
        bool inUser;
        int line;
        QString says;
    } refused[] = {
        {"a value of neither kind", "server = a\nlogin = persons\n", "", false, 2,
         "неизвестное значение login «persons» (допустимы code и person)"},
        {"values are exact", "login = Person\n", "", false, 1, "неизвестное значение login"},
        {"empty", "login =\n", "", false, 1, "не задано значение login"},
        {"twice", "login = person\nlogin = person\n", "", false, 2, "уже задан в строке 1"},
        {"a user's file undoing the plant's person login", "login = person\n",
         "# mine\nlogin = code\n", true, 2, "login = code не действует"},
        {"a user's file with a value of neither kind", "", "login = yes\n", true, 1,
         "неизвестное значение login «yes»"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        TwoFiles f(c.system, c.user);
        const QString path = c.inUser ? f.files.user : f.files.system;
        try {
            resolveConnection(f.files, {});
            ADD_FAILURE() << "accepted";
        } catch (const ConfigError& e) {
            EXPECT_EQ(e.path(), path);
            EXPECT_EQ(e.line(), c.line);
            EXPECT_TRUE(e.text().contains(c.says)) << e.text().toStdString();
        }
    }
}

// A file that is there but cannot be read is a mistake like any other: the
// other file's database is not the one meant. Tests run as root, who reads a
// file without read permission, so what stands in the file's place is a
// folder, or a link to nothing.
TEST(Config, AMissingFileIsSkippedAndAnUnreadableOneStops) {
    {
        TwoFiles f(std::nullopt, "server = test-db\n");
        const ConnectionTarget t = resolveConnection(f.files, {});
        EXPECT_EQ(t.server, "test-db") << "a missing file is no news";
    }
    const struct {
        const char* what;
        bool inSystem;
        bool folder; // else a link to a file that is not there
        QString says;
    } cases[] = {
        {"a folder in the user's file's place", false, true, "на месте файла папка"},
        {"a folder in the system file's place", true, true, "на месте файла папка"},
        {"the user's file a link to nothing", false, false, "ссылка на отсутствующий файл"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray fine = "server = plant-db\n";
        TwoFiles f(c.inSystem ? std::nullopt : std::optional<QByteArray>(fine),
                   c.inSystem ? std::optional<QByteArray>(fine) : std::nullopt);
        const QString path = c.inSystem ? f.files.system : f.files.user;
        QDir().mkpath(QFileInfo(path).path());
        if (c.folder)
            ASSERT_TRUE(QDir().mkpath(path));
        else
            ASSERT_TRUE(QFile::link(f.dir.filePath("nowhere.conf"), path));
        try {
            // Even a command line that names both does not pass it over.
            resolveConnection(f.files, {"plant", "host"});
            ADD_FAILURE() << "accepted";
        } catch (const ConfigError& e) {
            EXPECT_EQ(e.path(), path);
            EXPECT_TRUE(e.text().startsWith("Ошибка в файле настроек " + path + ": "))
                << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(c.says)) << e.text().toStdString();
        }
    }
}

TEST(Config, TheFilesAreFoundWhereTheEnvironmentSays) {
    const char* names[] = {"TABEL_SYSTEM_CONFIG", "XDG_CONFIG_HOME", "HOME"};
    QByteArray saved[3];
    bool had[3];
    for (int i = 0; i < 3; ++i) {
        had[i] = qEnvironmentVariableIsSet(names[i]);
        saved[i] = qgetenv(names[i]);
    }
    struct Case {
        const char *system, *xdg, *home;
        QString systemFile, userFile;
    } cases[] = {
        {nullptr, nullptr, "/home/anna", "/etc/tabel/tabel.conf",
         "/home/anna/.config/tabel/tabel.conf"},
        {"/tmp/t/tabel.conf", "/srv/cfg", "/home/anna", "/tmp/t/tabel.conf",
         "/srv/cfg/tabel/tabel.conf"},
        // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
        {nullptr, "cfg", "/home/anna", "/etc/tabel/tabel.conf",
         "/home/anna/.config/tabel/tabel.conf"},
        {nullptr, nullptr, nullptr, "/etc/tabel/tabel.conf", ""},
    };
    for (const Case& c : cases) {
        const char* values[] = {c.system, c.xdg, c.home};
        for (int i = 0; i < 3; ++i)
            values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
        const ConfigFiles files = ConfigFiles::standard();
        EXPECT_EQ(files.system, c.systemFile);
        EXPECT_EQ(files.user, c.userFile);
    }
    for (int i = 0; i < 3; ++i)
        had[i] ? qputenv(names[i], saved[i]) : qunsetenv(names[i]);
}

namespace {

class BatchConfigTest : public tabel::test::DbTest {
protected:
    // tabel-batch with the command alone: the database comes from the files.
    tabel::test::BatchRun runShort(const TwoFiles& f, const QStringList& arguments) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TABEL_SYSTEM_CONFIG", f.files.system);
        env.insert("XDG_CONFIG_HOME", f.dir.filePath("home"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TABEL_BATCH), arguments);
        tabel::test::BatchRun r;
        EXPECT_TRUE(p.waitForFinished(120000));
        r.exitCode = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
};

} // namespace

TEST_F(BatchConfigTest, WithoutDatabaseAndServerTheFilesNameThem) {
    const QByteArray system =
        "server = " + tabel::test::testSocket().toUtf8() + "\ndatabase = no_such_database_here\n";
    TwoFiles f(system, "database = " + dbName.toUtf8() + "\n");
    const tabel::test::BatchRun ok = runShort(f, {"check"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_TRUE(ok.out.contains("База данных отвечает.")) << ok.out.toStdString();

    TwoFiles::write(f.files.user, "database = " + dbName.toUtf8() + "\nport = 5433\n");
    const tabel::test::BatchRun bad = runShort(f, {"check"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(f.files.user + ", строка 2")) << bad.err.toStdString();
    EXPECT_TRUE(bad.out.isEmpty()) << "nothing ran";
}

// The job stops on the mistake rather than running against the system file's
// database, which answers.
TEST_F(BatchConfigTest, AnUnreadableUserFileStopsTheJob) {
    TwoFiles f("server = " + tabel::test::testSocket().toUtf8() +
                   "\ndatabase = " + dbName.toUtf8() + "\n",
               std::nullopt);
    ASSERT_TRUE(QDir().mkpath(f.files.user));
    const tabel::test::BatchRun r = runShort(f, {"check"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("Ошибка в файле настроек " + f.files.user + ": "))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
}
