// tabel-batch: the program's jobs that need no display, run from a shell or a
// scheduler against the same database as the desktop client:
//
//   tabel-batch DATABASE SERVER COMMAND [OPTIONS]
//
// DATABASE and SERVER as on the program's command line. `--help` lists the
// commands. Exit status: 0 done, 1 the job failed (nothing changed),
// 2 bad arguments.

#include "command.h"
#include "db/connection.h"
#include "db/schema_steps.h"
#include "db/sql.h"

#include <QGuiApplication>
#include <algorithm>

using namespace tabel;
using namespace tabel::batch;

namespace {

void help(QTextStream& s) {
    s << "Использование: tabel-batch БАЗА СЕРВЕР КОМАНДА [ПАРАМЕТРЫ]\n\nКоманды:\n";
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

} // namespace

int main(int argc, char** argv) {
    // Rendering (text widths, pages) needs the font database of a GUI
    // application; the offscreen platform gives it without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        help(out);
        return 0;
    }
    if (args.size() < 3) {
        help(err);
        return 2;
    }
    const Command* command = findCommand(args[2]);
    if (!command) {
        err << "Неизвестная команда «" << args[2] << "».\n\n";
        help(err);
        return 2;
    }
    try {
        const Options options(args.mid(3));
        const QSqlDatabase db = openDatabase(connectionString(args[0], args[1]));
        // Jobs run only on a schema this build knows; the two commands that
        // bring a database to it, or merely look, run on any.
        if (command->name != QLatin1String("upgrade-schema") &&
            command->name != QLatin1String("check")) {
            const QString refusal = schemaRefusal(readSchemaState(db));
            if (!refusal.isEmpty()) {
                err << refusal << '\n';
                return 1;
            }
        }
        Job job{db, options, out};
        const int rc = command->run(job);
        out.flush();
        return rc;
    } catch (const BadArgument& e) {
        out.flush();
        err << e.message() << "\nСм. tabel-batch --help.\n";
        return 2;
    } catch (const DbError& e) {
        out.flush();
        err << "Ошибка базы данных: " << e.text() << '\n';
        return 1;
    } catch (const std::exception& e) {
        out.flush();
        err << "Ошибка: " << QString::fromUtf8(e.what()) << '\n';
        return 1;
    }
}
