// The program's own totals of a month, for the browser test to hold the web
// pages against: what the monthly sheets and the pay statements add up to,
// read by the readers the pages use. Prints one JSON object:
//
//   web_totals DATABASE SERVER YEAR MONTH
//   {"workers": {"NUMBER": {"name": "...", "piecework": "123.45", ...}},
//    "sheets": {"piecework": "...", "housekeeping": "...", "average": "..."}}
//
// Amounts are plain decimals with a point, never through binary doubles.
// Connects as the program's own account; exit status 1 on a database error.
#include "db/connection.h"
#include "db/sql.h"
#include "reports/pay_statement.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTextStream>

using namespace tabel;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 5) {
        err << "usage: web_totals DATABASE SERVER YEAR MONTH\n";
        return 2;
    }
    try {
        const QSqlDatabase db = openDatabase(connectionString(args[1], args[2]));
        const QDate month(args[3].toInt(), args[4].toInt(), 1);
        const QLocale c = QLocale::c();
        auto text = [&](const reportengine::Decimal& d) { return d.toString(2, c); };
        QJsonObject workers;
        reportengine::Decimal piecework, housekeeping, average;
        for (const reports::PayStatement& s : reports::readPayStatements(db, month)) {
            workers.insert(QString::number(s.worker),
                           QJsonObject{{"name", s.shownName()},
                                       {"piecework", text(s.piecework())},
                                       {"housekeeping", text(s.housekeeping())},
                                       {"average", text(s.average())},
                                       {"total", text(s.total())}});
            // A month of one shop is far from the range's end.
            piecework = piecework.plus(s.piecework()).value();
            housekeeping = housekeeping.plus(s.housekeeping()).value();
            average = average.plus(s.average()).value();
        }
        const QJsonObject sheets{{"piecework", text(piecework)},
                                 {"housekeeping", text(housekeeping)},
                                 {"average", text(average)}};
        QTextStream(stdout) << QJsonDocument(QJsonObject{{"workers", workers}, {"sheets", sheets}})
                                   .toJson(QJsonDocument::Compact)
                            << '\n';
        return 0;
    } catch (const DbError& e) {
        err << e.text() << '\n';
        return 1;
    }
}
