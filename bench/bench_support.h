#pragma once

// Shared by the benchmarks: each bench/*_bench.cpp is an executable of its
// own, run by bench/run.sh as `<bench> <database> <server> <yyyy-mm-dd>`.

#include "db/sql.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <vector>

namespace tabel::bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The median of `runs` timings of `f`, in milliseconds.
inline double timeMs(int runs, const std::function<void()>& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    return median(times);
}

// The rows of a statement as text, one line per row, every column; a null
// shows as "∅". For comparing two statements' results.
inline QStringList rowsAsText(const QSqlDatabase& db, const QString& sql,
                              const QVariantMap& params = {}) {
    QSqlQuery q = exec(db, sql, params);
    QStringList out;
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < q.record().count(); ++i)
            cells << (q.isNull(i) ? QStringLiteral("∅") : q.value(i).toString());
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

// The registry as another application may keep it: every worker's person
// under another key, its code written with a leading zero and a blank after
// it, so that only the code, read as a number, finds the worker. The change
// is never committed: the registry is as it was once this goes out of
// scope. Statements timed meanwhile run inside a transaction, which costs
// the driver a savepoint per statement.
class RegistryByCodeOnly {
public:
    explicit RegistryByCodeOnly(const QSqlDatabase& db) : tx_(db) {
        exec(db, "update cmn_contractor.person set id = id + 100000000000, "
                 "s_code = '0' || s_code || ' ' where b_worker = 1");
    }

private:
    Transaction tx_;
};

} // namespace tabel::bench
