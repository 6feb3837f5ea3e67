// Times the time sheets on a plant-sized database: the whole-month rebuilds
// beside the first version's day-by-day rebuild, and the opening of every
// sheet and its totals beside the first version's statements, whose rows
// they must match; then the sheets again on a registry that finds the
// workers by code only, which must give the same rows.
// Usage: timesheets_bench <database> <server> <yyyy-mm-dd>
#include "bench_support.h"
#include "day_by_day_rebuild.h"
#include "db/connection.h"
#include "db/sql.h"
#include "first_sheet_statements.h"
#include "timesheets/rebuilds.h"
#include "timesheets/sheet_statements.h"

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

void compare(const char* what, double mine, const QStringList& rows, const QStringList& first,
             double firstMs) {
    std::printf("  %-34s %7.1f ms  (%4lld rows; first version %8.1f ms, %s)\n", what, mine,
                static_cast<long long>(rows.size()), firstMs,
                rows == first ? "same rows" : "ROWS DIFFER");
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

    std::printf("Opening (median of 5):\n");
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
    for (int s = 1; s <= 3; ++s) {
        QStringList rows, firstRows;
        const double mine =
            timeMs(5, [&] { rows = rowsAsText(db, sql::shiftSheet(s), shiftParams); });
        if (s == 1)
            opened.push_back({"shift sheet, shift 1", sql::shiftSheet(s), shiftParams, rows});
        const double old =
            timeMs(1, [&] { firstRows = rowsAsText(db, designShiftSheet(s), shiftParams); });
        compare(qPrintable(QStringLiteral("shift sheet, shift %1").arg(s)), mine, rows, firstRows,
                old);
    }
    {
        const QVariantMap p{{"mnth", first.month()}, {"yea", first.year()}};
        QStringList rows, firstRows;
        const double mine = timeMs(5, [&] { rows = rowsAsText(db, sql::timesheetPrint(), p); });
        opened.push_back({"shift sheet print query", sql::timesheetPrint(), p, rows});
        const double old = timeMs(1, [&] { firstRows = rowsAsText(db, designPrint(), p); });
        compare("shift sheet print query", mine, rows, firstRows, old);
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
    for (const auto& s : sheets) {
        QStringList rows, firstRows;
        const double mine =
            timeMs(5, [&] { rows = rowsAsText(db, sql::monthlySheet(s.sheet), monthly); });
        const double old = timeMs(1, [&] {
            firstRows = rowsAsText(db,
                                   "select * from (" + designMonthly(s.type) + ") x order by " +
                                       QLatin1String(s.order),
                                   monthly);
        });
        compare(s.name, mine, rows, firstRows, old);
        opened.push_back({s.name, sql::monthlySheet(s.sheet), monthly, rows});
    }
    const double totals = timeMs(5, [&] { rowsAsText(db, sql::monthlyTotals(), monthly); });
    std::printf("  %-34s %7.1f ms\n", "the four totals", totals);

    std::printf("Opening with the workers found by code only (\"0<number> \"), median of 5:\n");
    {
        const RegistryByCodeOnly byCode(db);
        for (const Opened& o : opened) {
            QStringList rows;
            const double ms = timeMs(5, [&] { rows = rowsAsText(db, o.sql, o.params); });
            std::printf("  %-34s %7.1f ms  (%4lld rows, %s)\n", o.name, ms,
                        static_cast<long long>(rows.size()),
                        rows == o.rows ? "the same rows" : "ROWS DIFFER");
        }
    }
    return 0;
}
