// Times the time sheets on a plant-sized database: the whole-month rebuilds
// beside the first version's day-by-day rebuild, and the opening of every
// sheet and its totals beside the first version's statements, whose rows
// they must match; then the sheets again on a registry that finds the
// workers by code only, which must give the same rows.
// Usage: timesheets_bench <database> <server> <yyyy-mm-dd>
#include "bench_support.h"
#include "day_by_day_rebuild.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "db/sql.h"
#include "first_sheet_statements.h"
#include "timesheets/rebuilds.h"
#include "timesheets/sheet_reader.h"
#include "timesheets/sheet_statements.h"
#include "timesheets/shift_sheets.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;
using namespace tabel::reference;

namespace {

QStringList monthRows(const QSqlDatabase& db, const QDate& first) {
    QStringList cols;
    for (int d = 1; d <= 31; ++d)
        cols << QStringLiteral("d%1").arg(d);
    return rowsAsText(
        db,
        "select w_id, smena, i_type, i_night, " + cols.join(", ") +
            " from accounts_dep.h_tabel where month = :m and year = :y order by 1, 2, "
            "3, 4",
        {{"m", first.month()}, {"y", first.year()}});
}

constexpr double kTargetMs = 200;

// A sheet as a window has it: the values the dataset holds, one line per
// row as rowsAsText writes them, to compare with the first version's rows.
QStringList datasetRows(const Dataset& ds) {
    QStringList out;
    for (int r = 0; r < ds.count(); ++r) {
        QStringList cells;
        for (int c = 0; c < ds.fieldNames().size(); ++c) {
            const QVariant v = ds.value(r, c);
            cells << (v.isNull() ? QStringLiteral("∅") : v.toString());
        }
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

// The server's own time for `sql`: planning and execution as EXPLAIN
// ANALYZE counts them, without the transfer of the rows.
double serverMs(const QSqlDatabase& db, const QString& sql, const QVariantMap& params) {
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) {
        QSqlQuery q = exec(db, "explain (analyze, timing off, summary) " + sql, params);
        double ms = 0;
        while (q.next()) {
            const QString line = q.value(0).toString().trimmed();
            for (const char* what : {"Planning Time:", "Execution Time:"})
                if (line.startsWith(QLatin1String(what)))
                    ms += line.section(QLatin1Char(' '), 2, 2).toDouble();
        }
        times.push_back(ms);
    }
    return median(times);
}

struct Opening {
    double ms;       // the whole opening: statement, transfer, every value read
    double serverMs; // of which the server's part
    double rowByRow; // the same rows handed over value by value (Dataset::open)
    QStringList rows;
};

// Opens a dataset on `sql` as the sheet windows do (its rows carried as one
// text, every value read as the window reads it), five times; the first
// opening, which also learns the statement's columns, is the slowest.
Opening openSheet(const QSqlDatabase& db, const QString& sql, const QVariantMap& params) {
    SheetReader reader(sql);
    Dataset ds(db, QStringLiteral("sheet"), sql);
    const double ms = timeMs(5, [&] {
        ResultRows rows = reader.read(db, params);
        ds.openWith(std::move(rows.fields), std::move(rows.rows));
    });
    const QStringList rows = datasetRows(ds);
    for (auto it = params.begin(); it != params.end(); ++it)
        ds.setParam(it.key(), it.value());
    const double rowByRow = timeMs(5, [&] { ds.reopen(); });
    return {ms, serverMs(db, sql, params), rowByRow,
            datasetRows(ds) == rows ? rows : QStringList{"value by value: ROWS DIFFER"}};
}

void report(const char* what, const Opening& mine, const QStringList& first, double firstMs) {
    printTarget(what, mine.ms, kTargetMs,
                QStringLiteral("%1 rows, server %2 ms, value by value %3 ms, load %4; first "
                               "version %5 ms, %6")
                    .arg(mine.rows.size())
                    .arg(mine.serverMs, 0, 'f', 1)
                    .arg(mine.rowByRow, 0, 'f', 1)
                    .arg(loadAverage())
                    .arg(firstMs, 0, 'f', 1)
                    .arg(mine.rows == first ? "same rows" : "ROWS DIFFER"));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: timesheets_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    const QDate first = QDate(day.year(), day.month(), 1).addMonths(-1); // a whole month
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    exec(db, "vacuum (analyze) accounts_dep.h_tabel");
    const int workers =
        scalar(db,
               "select count(distinct w_id) from accounts_dep.smena where data >= :f and "
               "data < :t",
               {{"f", first}, {"t", first.addMonths(1)}})
            .toInt();
    std::printf("Month %s, %d workers with records\n", qPrintable(first.toString("MM.yyyy")),
                workers);

    std::printf("Rebuilds (the month left as the day-by-day rebuild leaves it):\n");
    for (const SheetKind kind : {SheetKind::Shifts, SheetKind::Housekeeping}) {
        const bool shifts = kind == SheetKind::Shifts;
        const double dayByDay = timeMs(1, [&] {
            if (shifts)
                rebuildShiftsDayByDay(db, first.month(), first.year());
            else
                rebuildHousekeepingDayByDay(db, first.month(), first.year());
        });
        const QStringList expected = monthRows(db, first);
        const double mine = timeMs(5, [&] { rebuildMonth(db, kind, first); });
        std::printf("  %-12s %7.1f ms; day by day %9.1f ms; %5.0f times faster; %s\n",
                    shifts ? "shift rows" : "housekeeping", mine, dayByDay, dayByDay / mine,
                    monthRows(db, first) == expected ? "same rows" : "ROWS DIFFER");
    }

    std::printf("Opening, as the windows open a sheet (median of 5; load %s):\n",
                qPrintable(loadAverage()));
    const QVariantMap shiftParams{{"mnth", first.month()},
                                  {"yea", first.year()},
                                  {"date1", first},
                                  {"date2", first.addMonths(1)}};
    // What each statement read, for the same statements on a registry that
    // finds the workers by code only.
    struct Opened {
        const char* name;
        QString sql;
        QVariantMap params;
        QStringList rows;
    };
    std::vector<Opened> opened;
    double oneByOne = 0, valueByValue = 0;
    QStringList shiftRows[3];
    for (int s = 1; s <= 3; ++s) {
        const QString name = QStringLiteral("shift sheet, shift %1").arg(s);
        const Opening mine = openSheet(db, sql::shiftSheet(s), shiftParams);
        oneByOne += mine.ms;
        valueByValue += mine.rowByRow;
        shiftRows[s - 1] = mine.rows;
        if (s == 1)
            opened.push_back({"shift sheet, shift 1", sql::shiftSheet(s), shiftParams, mine.rows});
        QStringList firstRows;
        const double old =
            timeMs(1, [&] { firstRows = rowsAsText(db, designShiftSheet(s), shiftParams); });
        report(qPrintable(name), mine, firstRows, old);
    }
    {
        // The window reads its three tabs in one statement.
        ShiftSheetsReader reader;
        std::array<ResultRows, 3> tabs;
        const double together = timeMs(5, [&] { tabs = reader.read(db, first); });
        bool same = true;
        for (int s = 0; s < 3; ++s) {
            Dataset ds(db, QStringLiteral("tab"));
            ds.openWith(tabs[s].fields, std::move(tabs[s].rows));
            same = same && datasetRows(ds) == shiftRows[s];
        }
        printTarget("shift window, its three tabs", together, kTargetMs,
                    QStringLiteral("load %1; one after the other %2 ms, value by value %3 ms; %4")
                        .arg(loadAverage())
                        .arg(oneByOne, 0, 'f', 1)
                        .arg(valueByValue, 0, 'f', 1)
                        .arg(same ? "same rows" : "ROWS DIFFER"));
    }
    {
        const QVariantMap p{{"mnth", first.month()}, {"yea", first.year()}};
        // The print reads its rows value by value.
        Opening mine = openSheet(db, sql::timesheetPrint(), p);
        mine.ms = mine.rowByRow;
        opened.push_back({"shift sheet print query", sql::timesheetPrint(), p, mine.rows});
        QStringList firstRows;
        const double old = timeMs(1, [&] { firstRows = rowsAsText(db, designPrint(), p); });
        report("shift sheet print query", mine, firstRows, old);
    }
    const QVariantMap monthly{{"i_month", first.month()},
                              {"i_year", first.year()},
                              {"d_date2", first},
                              {"d_date1", first.addMonths(1)}};
    const struct {
        const char* name;
        sql::MonthlySheet sheet;
        int type;
        const char* order;
    } sheets[] = {
        {"piecework sheet", sql::MonthlySheet::Piecework, 0, "fio, id"},
        {"housekeeping sheet", sql::MonthlySheet::Housekeeping, 7777, "fio, id, i_night"},
        {"average-piecework sheet", sql::MonthlySheet::AveragePiecework, 7778, "fio, id, i_night"},
        {"general sheet", sql::MonthlySheet::General, 1, "fio, id"}};
    double slowestSheet = 0;
    for (const auto& s : sheets) {
        const Opening mine = openSheet(db, sql::monthlySheet(s.sheet), monthly);
        slowestSheet = std::max(slowestSheet, mine.ms);
        QStringList firstRows;
        const double old = timeMs(1, [&] {
            firstRows = rowsAsText(db,
                                   "select * from (" + designMonthly(s.type) + ") x order by " +
                                       QLatin1String(s.order),
                                   monthly);
        });
        report(s.name, mine, firstRows, old);
        opened.push_back({s.name, sql::monthlySheet(s.sheet), monthly, mine.rows});
    }
    const double totals = timeMs(5, [&] { rowsAsText(db, sql::monthlyTotals(), monthly); });
    printTarget("the four totals", totals, kTargetMs, QStringLiteral("load %1").arg(loadAverage()));
    // The monthly window reads its sheet and then the totals.
    printTarget("slowest monthly sheet with its totals", slowestSheet + totals, kTargetMs,
                QStringLiteral("load %1").arg(loadAverage()));

    std::printf("Opening with the workers found by code only (\"0<number> \"), median of 5:\n");
    {
        const RegistryByCodeOnly byCode(db);
        for (const Opened& o : opened) {
            const Opening mine = openSheet(db, o.sql, o.params);
            const bool print = o.sql == sql::timesheetPrint(); // read value by value
            printTarget(
                o.name, print ? mine.rowByRow : mine.ms, kTargetMs,
                QStringLiteral("%1 rows, server %2 ms, value by value %3 ms, load %4, %5")
                    .arg(mine.rows.size())
                    .arg(mine.serverMs, 0, 'f', 1)
                    .arg(mine.rowByRow, 0, 'f', 1)
                    .arg(loadAverage(), mine.rows == o.rows ? "the same rows" : "ROWS DIFFER"));
        }
    }
    return 0;
}
