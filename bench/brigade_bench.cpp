// Times a brigade job of 12 members saved (and deleted again) on a
// plant-sized database: the split, the job's rows, one record per member
// and the members' day cells, in one transaction. Usage: brigade_bench
// <database> <socket-or-host> <yyyy-mm-dd>
#include "bench_support.h"
#include "db/connection.h"
#include "db/sql.h"
#include "records/brigade_job.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: brigade_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    exec(db, "vacuum (analyze) accounts_dep.smena, accounts_dep.h_tabel");

    // An operation with a price, and twelve workers with records in the
    // month but none of that operation on the day, so no member is a duplicate.
    QSqlQuery op = exec(db, "select o.id, o.i_id, min(n.price)::float8 from accounts_dep.oper o "
                            "join accounts_dep.norm n on n.o_id = o.id group by o.id, o.i_id "
                            "order by o.id limit 1");
    if (!op.next()) {
        std::fprintf(stderr, "no operation with a price\n");
        return 1;
    }
    BrigadeJobInput in;
    in.date = day;
    in.shift = 1;
    in.operationId = op.value(0).toInt();
    in.productId = op.value(1).toInt();
    in.finalPrice = op.value(2).toDouble();
    in.operationText = QStringLiteral("бригада; сборка; Готовая продукция");
    in.quantity = QStringLiteral("1000");
    in.rejects = QStringLiteral("7");
    QSqlQuery w = exec(db,
                       "select distinct s.w_id from accounts_dep.smena s "
                       "join accounts_dep.person p on p.id = s.w_id "
                       "where s.data >= date_trunc('month', cast(:d as date)) and s.data < :d "
                       "and not exists (select 1 from accounts_dep.smena t where t.w_id = s.w_id "
                       "and t.data = :d and t.o_id = :o) order by s.w_id limit 12",
                       {{"d", day}, {"o", in.operationId}});
    int i = 0;
    while (w.next()) {
        in.members.push_back({w.value(0).toInt(), QStringLiteral("Работник %1").arg(i + 1),
                              QString::number(4 + i % 5),
                              QStringLiteral("1.%1").arg(i * 7 % 100, 2, 10, QChar('0'))});
        ++i;
    }
    if (in.members.size() != 12) {
        std::fprintf(stderr, "fewer than 12 workers found\n");
        return 1;
    }

    BrigadeJobs jobs(db);
    std::vector<double> saves, deletions;
    bool allSaved = true;
    for (int run = 0; run < 21; ++run) {
        QElapsedTimer t;
        t.start();
        const BrigadeJobs::Result r = jobs.save(in, day);
        saves.push_back(t.nsecsElapsed() / 1e6);
        if (!r.saved()) {
            allSaved = false;
            std::fprintf(stderr, "refused: %s\n", qPrintable(r.outcome.text));
            break;
        }
        t.restart();
        jobs.remove(r.jobId);
        deletions.push_back(t.nsecsElapsed() / 1e6);
    }
    if (!allSaved)
        return 1;
    std::printf("brigade job of 12 members saved: %.1f ms (median of %zu; limit 50 ms)\n",
                median(saves), saves.size());
    std::printf("brigade job of 12 members deleted: %.1f ms\n", median(deletions));
    return median(saves) < 50 ? 0 : 1;
}
