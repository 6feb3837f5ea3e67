#include "locks.h"

#include "sql.h"

#include <QStringList>
#include <algorithm>

namespace tabel {

// Advisory locks in the two-key form. The key spaces do not overlap: a month
// lock has 0 as its first key (no worker has id 0), a worker lock has 0 as its
// second key (no month is 0), a worker-and-month lock has neither.
// Name locks use the one-key form, a key space of its own.

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
    // One statement for all of them: the server takes the locks of a select
    // list from left to right, so the order above holds, and a save pays
    // for one round trip instead of three or more.
    QStringList calls;
    QVariantMap params;
    auto key = [&params](const QVariant& v) {
        const QString name = QStringLiteral("k%1").arg(params.size());
        params[name] = v;
        return QLatin1Char(':') + name;
    };
    for (int m : months)
        calls << QStringLiteral("pg_advisory_xact_lock_shared(0, %1)").arg(key(m));
    for (int w : workers)
        calls << QStringLiteral("pg_advisory_xact_lock_shared(%1, 0)").arg(key(w));
    for (const WorkerMonth& p : places)
        calls << QStringLiteral("pg_advisory_xact_lock(%1, %2)").arg(key(p.worker), key(p.month));
    if (!calls.isEmpty())
        exec(db, QStringLiteral("select ") + calls.join(QStringLiteral(", ")), params);
}

void lockWholeMonth(const QSqlDatabase& db, const QDate& anyDayOfMonth) {
    exec(db, "select pg_advisory_xact_lock(0, :m)",
         {{"m", anyDayOfMonth.year() * 100 + anyDayOfMonth.month()}});
}

void lockWholeWorker(const QSqlDatabase& db, int worker) {
    exec(db, "select pg_advisory_xact_lock(:w, 0)", {{"w", worker}});
}

void lockUniqueKey(const QSqlDatabase& db, const QString& table, const QVariantList& key) {
    QStringList parts{table};
    for (const QVariant& v : key)
        parts << v.toString();
    exec(db, "select pg_advisory_xact_lock(hashtextextended(:key, 0))",
         {{"key", parts.join(QLatin1Char('/'))}});
}

} // namespace tabel
