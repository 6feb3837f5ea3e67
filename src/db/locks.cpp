#include "locks.h"

#include "sql.h"

#include <algorithm>

namespace tabel {

// Advisory locks in the two-key form. The key spaces do not overlap: a month
// lock has 0 as its first key (no worker has id 0), a worker lock has 0 as its
// second key (no month is 0), a worker-and-month lock has neither.

WorkerMonth workerMonth(int worker, const QDate& date) {
    return {worker, date.year() * 100 + date.month()};
}

void lockWorkerMonths(const QSqlDatabase& db, std::vector<WorkerMonth> places) {
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    std::vector<int> months;
    std::vector<int> workers;
    for (const WorkerMonth& p : places) {
        months.push_back(p.month);
        workers.push_back(p.worker);
    }
    for (auto* keys : {&months, &workers}) {
        std::sort(keys->begin(), keys->end());
        keys->erase(std::unique(keys->begin(), keys->end()), keys->end());
    }
    for (int m : months)
        exec(db, "select pg_advisory_xact_lock_shared(0, :m)", {{"m", m}});
    for (int w : workers)
        exec(db, "select pg_advisory_xact_lock_shared(:w, 0)", {{"w", w}});
    for (const WorkerMonth& p : places)
        exec(db, "select pg_advisory_xact_lock(:w, :m)", {{"w", p.worker}, {"m", p.month}});
}

void lockWholeMonth(const QSqlDatabase& db, const QDate& anyDayOfMonth) {
    exec(db, "select pg_advisory_xact_lock(0, :m)",
         {{"m", anyDayOfMonth.year() * 100 + anyDayOfMonth.month()}});
}

void lockWholeWorker(const QSqlDatabase& db, int worker) {
    exec(db, "select pg_advisory_xact_lock(:w, 0)", {{"w", worker}});
}

} // namespace tabel
