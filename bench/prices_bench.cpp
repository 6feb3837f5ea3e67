// Times the prices that hold from a date: the operations picker as of a day
// with at least 5,000 operations whose norms have a year of monthly price
// changes, and re-pricing the month before the given date after its rates
// were raised from its first day (the plan, then applying it). Everything
// it adds or changes is rolled back at the end, so the database is left as
// it was. Usage: prices_bench <database> <socket-or-host> <yyyy-mm-dd>
#include "bench_support.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "db/sql.h"
#include "db/statements.h"
#include "records/repricing.h"

#include <QCoreApplication>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;

namespace {

constexpr int kOperations = 5000;

// Operations of types of their own up to kOperations in all, each with two
// norms, and a price change on the first of each of the twelve months
// before `day` for every norm: a plant a year after its rates began to be
// kept by date.
void addOperationsAndAYearOfPrices(const QSqlDatabase& db, const QDate& day) {
    const int have = scalar(db, "select count(*) from accounts_dep.oper").toInt();
    const int more = std::max(0, kOperations - have);
    exec(db,
         "insert into accounts_dep.vid_oper (id, vid) "
         "select 900000 + n, 'Операция ' || n from generate_series(1, :more) n",
         {{"more", more}});
    exec(db,
         "insert into accounts_dep.oper (id, vid, naimen, i_id, cena_new, cena) "
         "select (select max(id) from accounts_dep.oper) + n, 900000 + n, 0, "
         "(select min(i_id) from accounts_dep.oper), 0, null from generate_series(1, :more) n",
         {{"more", more}});
    exec(db,
         "insert into accounts_dep.norm (id, o_id, norma, prize, price) "
         "select (select max(id) from accounts_dep.norm) + row_number() over (order by o.id, k), "
         "o.id, 10 * k, 0, round((2 + (o.id % 97) / 10.0 + k)::numeric, 2)::float8 "
         "from accounts_dep.oper o cross join generate_series(1, 2) k "
         "where o.vid >= 900000");
    const QDate first(day.year(), day.month(), 1);
    exec(db,
         "insert into accounts_dep.norm_price (norm_id, valid_from, price) "
         "select n.id, (cast(:first as date) - make_interval(months => m))::date, "
         "round((coalesce(n.price, 1) * (1 - m / 100.0))::numeric, 2)::float8 "
         "from accounts_dep.norm n cross join generate_series(1, 12) m "
         "on conflict (norm_id, valid_from) do nothing",
         {{"first", first}});
    exec(db, "analyze accounts_dep.oper");
    exec(db, "analyze accounts_dep.norm");
    exec(db, "analyze accounts_dep.norm_price");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: prices_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    const QDate month = QDate(day.year(), day.month(), 1).addMonths(-1);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    std::printf("load average %s\n", qPrintable(loadAverage()));

    Transaction everything(db);
    QElapsedTimer t;
    t.start();
    addOperationsAndAYearOfPrices(db, day);
    std::printf("(%d operations, %d norms, %d dated prices added in %.0f ms)\n",
                scalar(db, "select count(*) from accounts_dep.oper").toInt(),
                scalar(db, "select count(*) from accounts_dep.norm").toInt(),
                scalar(db, "select count(*) from accounts_dep.norm_price").toInt(),
                t.nsecsElapsed() / 1e6);

    Dataset oper(db, QStringLiteral("Oper"), sql::operations());
    oper.setJsonColumns(sql::operationColumns());
    const QDate dates[] = {day, month.addDays(9), month.addMonths(-6)};
    for (const QDate& d : dates) {
        oper.close();
        oper.setParam("day", d);
        const double ms = timeMs(11, [&] { oper.reopen(); });
        printTarget(qPrintable(QStringLiteral("operations picker as of %1")
                                   .arg(d.toString(QStringLiteral("dd.MM.yyyy")))),
                    ms, 50, QStringLiteral("%1 rows, median of 11").arg(oper.count()));
    }
    oper.close();

    // The rates of every operation recorded in the month go up by a tenth
    // from its first day, decided after the month's records were entered.
    exec(db,
         "insert into accounts_dep.norm_price (norm_id, valid_from, price) "
         "select n.id, cast(:first as date), "
         "round((accounts_dep.norm_price_on(n.id, cast(:first as date)) * 1.1)::numeric, 2)"
         "::float8 from accounts_dep.norm n "
         "where n.o_id in (select distinct o_id from accounts_dep.smena "
         "where data >= :first and data < :next) "
         "and accounts_dep.norm_price_on(n.id, cast(:first as date)) is not null "
         "on conflict (norm_id, valid_from) do update set price = excluded.price",
         {{"first", month}, {"next", month.addMonths(1)}});
    const int records =
        scalar(db, "select count(*) from accounts_dep.smena where data >= :first and data < :next",
               {{"first", month}, {"next", month.addMonths(1)}})
            .toInt();

    Repricing repricing(db);
    const auto run = [&](const char* what, std::optional<int> operation) {
        RepricePlan plan;
        const double planned = timeMs(3, [&] { plan = repricing.plan(month, operation); });
        printTarget(qPrintable(QStringLiteral("re-pricing %1: the plan").arg(what)), planned, 2000,
                    QStringLiteral("%1 to change, %2 unexplained; median of 3")
                        .arg(plan.changes())
                        .arg(plan.unexplained()));
        QElapsedTimer t;
        t.start();
        const Repricing::Applied applied = repricing.apply(month, operation);
        printTarget(qPrintable(QStringLiteral("re-pricing %1: applied").arg(what)),
                    t.nsecsElapsed() / 1e6, 2000,
                    QStringLiteral("%1 records changed, %2 workers; %3")
                        .arg(applied.plan.changes())
                        .arg(applied.plan.workerDifferences().size())
                        .arg(applied.outcome.done()
                                 ? QStringLiteral("done")
                                 : QStringLiteral("refused: ") + applied.outcome.text));
    };
    // A rate review of the busiest operation, then of everything else.
    const int busiest = scalar(db,
                               "select o_id from accounts_dep.smena where data >= :first and "
                               "data < :next group by o_id order by count(*) desc limit 1",
                               {{"first", month}, {"next", month.addMonths(1)}})
                            .toInt();
    std::printf("(%d records in the month)\n", records);
    run("one operation", busiest);
    run("the whole month", std::nullopt);
    everything.rollback();
    return 0;
}
