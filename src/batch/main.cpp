// tabel-batch: the program's jobs that need no display, run from a shell or a
// scheduler against the same database as the desktop client:
//
//   tabel-batch [DATABASE SERVER] COMMAND [OPTIONS]
//
// DATABASE and SERVER as on the program's command line; without them, the
// configuration files name the database (db/config.h). Under `login = person`
// it connects as the configured `user`, whose password PostgreSQL's password
// file (PGPASSFILE or ~/.pgpass) holds. `--help` lists the
// commands. Exit status: 0 done, 1 the job failed (nothing changed),
// 2 bad arguments or a malformed configuration file.

#include "app/language.h"
#include "command.h"
#include "db/closed_months.h"
#include "db/config.h"
#include "db/connection.h"
#include "db/report_connection.h"
#include "db/rights.h"
#include "db/schema_steps.h"
#include "db/session_identity.h"
#include "db/sql.h"
#include "session/person_login.h"

#include <QGuiApplication>
#include <QSysInfo>
#include <algorithm>

using namespace tabel;
using namespace tabel::batch;

namespace {

void help(QTextStream& s) {
    s << "Использование: tabel-batch [БАЗА СЕРВЕР] КОМАНДА [ПАРАМЕТРЫ]\n"
         "Без БАЗЫ и СЕРВЕРА подключение берется из /etc/tabel/tabel.conf и "
         "~/.config/tabel/tabel.conf (man tabel-batch).\n\nКоманды:\n";
    std::vector<const Command*> sorted;
    for (const Command& c : commands())
        sorted.push_back(&c);
    std::sort(sorted.begin(), sorted.end(),
              [](const Command* a, const Command* b) { return a->name < b->name; });
    for (const Command* c : sorted) {
        s << "  " << c->name;
        if (!c->synopsis.isEmpty())
            s << ' ' << c->synopsis;
        s << "\n      " << c->summary << '\n';
    }
}

// A scheduled job's output is what the job says and nothing else: Qt's own
// notes (a missing XDG_RUNTIME_DIR on every run under cron, font and platform
// warnings) are not the job's and are dropped. Only Qt's critical and fatal
// messages, which mean the job cannot be trusted, still reach stderr.
QtMessageHandler qtDefault = nullptr;

void jobMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if ((type == QtCriticalMsg || type == QtFatalMsg) && qtDefault)
        qtDefault(type, context, text);
}

} // namespace

int main(int argc, char** argv) {
    // Rendering (text widths, pages) needs the font database of a GUI
    // application; the offscreen platform gives it without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtDefault = qInstallMessageHandler(jobMessages);
    QGuiApplication app(argc, argv);
    speakRussian(app);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        help(out);
        return 0;
    }
    if (args.isEmpty()) {
        help(err);
        return 2;
    }
    const CommandLine line = splitCommandLine(args);
    if (!line.command) {
        err << "Неизвестная команда «" << line.word << "».\n\n";
        help(err);
        return 2;
    }
    try {
        const ConnectionTarget target = resolveConnection(ConfigFiles::standard(), line.connection);
        const Options options(line.options);
        // Under a login per person the job is a PostgreSQL user of its own,
        // with its password in PostgreSQL's password file: nothing of ours
        // holds it, which suits cron and timers.
        if (target.login == LoginMode::Person && target.user.isEmpty()) {
            err << "В настройках задан вход по пользователям (login = person), но не задан "
                   "пользователь tabel-batch (user = ...).\n";
            return 2;
        }
        QSqlDatabase db;
        try {
            db = openDatabase(
                target.login == LoginMode::Person
                    ? personConnectionString(target.database, target.server, target.user)
                    : connectionString(target.database, target.server));
        } catch (const DbError& e) {
            if (target.login != LoginMode::Person || !credentialsRejected(e.text()))
                throw;
            err << "PostgreSQL не принял пользователя «" << target.user
                << "»: его пароля нет в файле паролей PostgreSQL (PGPASSFILE или ~/.pgpass, "
                   "права 0600), или пароль там неверен.\n"
                << e.text() << '\n';
            return 1;
        }
        setSessionIdentity(db, {QStringLiteral("tabel-batch"), QStringLiteral("tabel-batch"),
                                QSysInfo::machineHostName()});
        // Jobs run only on a schema this build knows; the two commands that
        // bring a database to it, or merely look, run on any.
        if (line.command->name != QLatin1String("upgrade-schema") &&
            line.command->name != QLatin1String("check")) {
            const QString refusal = schemaRefusal(readSchemaState(db));
            if (!refusal.isEmpty()) {
                err << refusal << '\n';
                return 1;
            }
        }
        // The bulk reading goes to the standby when it is fit for it; the
        // note of one that was passed over goes to stderr, once, so that a
        // scheduled job's log tells where its numbers came from.
        ReadingConnection reading(
            db, {target.reportServer, target.reportDatabase, target.reportMaxLag});
        Job job{db, options, out};
        if (line.command->readsOnly) {
            const ReadingPlace place = reading.forJob();
            if (!place.note.isEmpty())
                err << place.note << '\n';
            err.flush();
            job.db = place.db;
            job.dataAsOf = place.dataAsOf;
        }
        const int rc = line.command->run(job);
        out.flush();
        return rc;
    } catch (const ConfigError& e) {
        out.flush();
        err << e.text() << '\n';
        return 2;
    } catch (const BadArgument& e) {
        out.flush();
        err << e.message() << "\nСм. tabel-batch --help.\n";
        return 2;
    } catch (const DbError& e) {
        out.flush();
        if (const auto closed = closedMonthOf(e))
            err << closedMonthText(*closed) << '\n';
        else if (lacksRights(e))
            err << rightsRefusalText(e) << '\n' << e.text() << '\n';
        else
            err << "Ошибка базы данных: " << e.text() << '\n';
        return 1;
    } catch (const MonthClosed& e) {
        out.flush();
        err << e.text() << '\n';
        return 1;
    } catch (const std::exception& e) {
        out.flush();
        err << "Ошибка: " << QString::fromUtf8(e.what()) << '\n';
        return 1;
    }
}
