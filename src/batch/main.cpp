// tabel-batch: the program's jobs that need no display, run from a shell or
// a scheduler against the same database as the desktop client.
//
//   tabel-batch check [<database> <server>]
//       opens the connection as the client does and tells whether the
//       database answers and which build last stamped it.

#include "app/version_gate.h"
#include "db/connection.h"
#include "db/sql.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTextStream>

using namespace tabel;

namespace {

int usage(QTextStream& err) {
    err << "Использование: tabel-batch check [<база> <сервер>]\n";
    return 2;
}

int check(const QStringList& args, QTextStream& out) {
    const QSqlDatabase db = openDatabase(connectionStringFromArguments(args));
    QSqlQuery q = exec(db, "select d, t from accounts_dep.ver limit 1");
    const BuildStamp mine = buildStamp();
    out << "База данных отвечает.\n";
    out << "Эта сборка: " << mine.date << '.' << mine.time << '\n';
    if (q.next())
        out << "Последняя сборка в базе: " << q.value(0).toInt() << '.' << q.value(1).toInt()
            << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage(err);
    try {
        if (args[0] == QLatin1String("check"))
            return check(args.mid(1), out);
    } catch (const DbError& e) {
        err << "Ошибка базы данных: " << e.text() << '\n';
        return 1;
    }
    return usage(err);
}
