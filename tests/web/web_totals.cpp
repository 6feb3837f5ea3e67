// The program's own totals of a month, for the browser test to hold the web
// pages against: each worker's pay statement, and the totals the monthly
// sheet window shows (the sheet's rows summed; the statements round each
// record, so their sum may differ from it by kopecks, as reconcile notes).
// Prints one JSON object:
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
#include "timesheets/monthly_sheet.h"

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
        for (const reports::PayStatement& s : reports::readPayStatements(db, month))
            workers.insert(QString::number(s.worker),
                           QJsonObject{{"name", s.shownName()},
                                       {"piecework", text(s.piecework())},
                                       {"housekeeping", text(s.housekeeping())},
                                       {"average", text(s.average())},
                                       {"total", text(s.total())}});
        const std::array<QString, 4> shown = readMonthlyTotals(db, month, c);
        auto total = [&](sql::MonthlySheet sheet) { return shown[monthlyTotalOf(sheet)]; };
        const QJsonObject sheets{{"piecework", total(sql::MonthlySheet::Piecework)},
                                 {"housekeeping", total(sql::MonthlySheet::Housekeeping)},
                                 {"average", total(sql::MonthlySheet::AveragePiecework)},
                                 {"general", total(sql::MonthlySheet::General)}};
        QTextStream(stdout) << QJsonDocument(QJsonObject{{"workers", workers}, {"sheets", sheets}})
                                   .toJson(QJsonDocument::Compact)
                            << '\n';
        return 0;
    } catch (const DbError& e) {
        err << e.text() << '\n';
        return 1;
    }
}
