#pragma once

// Shared by the benchmarks: each bench/*_bench.cpp is an executable of its
// own, run by bench/run.sh as `<bench> <database> <server> <yyyy-mm-dd>`.

#include "db/sql.h"
#include "records/record_saver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <algorithm>
#include <cstdio>
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

// The machine's load average over the last minute, as the kernel reports
// it; figures taken on a busy machine are read with it in mind.
inline QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readLine()).section(QLatin1Char(' '), 0, 0);
}

// The process's resident memory and its peak (since the start, or since
// the peak was last reset through /proc/self/clear_refs), in kB, as the
// kernel counts them; -1 where the kernel does not say.
struct Memory {
    long rss = -1;
    long peak = -1;
};

inline Memory memory() {
    Memory m;
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return m;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            m.rss = line.mid(6).trimmed().split(' ').value(0).toLong();
        else if (line.startsWith("VmHWM:"))
            m.peak = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return m;
}

// Prints a figure beside its target, so that a miss shows in the output:
//   save a record                          4.1 ms   target < 20 ms   ok
// `detail` follows in parentheses when given.
inline bool printTarget(const char* what, double ms, double targetMs, const QString& detail = {}) {
    const bool met = ms < targetMs;
    std::printf("%-48s %9.1f ms   target < %5.0f ms   %s%s\n", what, ms, targetMs,
                met ? "ok" : "MISSED",
                detail.isEmpty() ? "" : qPrintable(QStringLiteral("   (%1)").arg(detail)));
    return met;
}

// The record the benchmarks save and delete again: ten pieces, none
// rejected, two hours at 1.5 of `worker` on `day`; `color` tells one run's
// records apart.
inline RecordInput benchRecord(int worker, int operation, int product, int color,
                               const QDate& day) {
    RecordInput in;
    in.workerId = worker;
    in.operationId = operation;
    in.productId = product;
    in.finalPrice = 1.5;
    in.fio = "bench";
    in.operationText = "bench";
    in.quantity = "10";
    in.rejects = "0";
    in.hours = "2";
    in.color = QString::number(color);
    in.date = day;
    return in;
}

// The rows of a statement as text, one line per row, every column; a null
// shows as "∅". For comparing two statements' results.
inline QStringList rowsAsText(const QSqlDatabase& db, const QString& sql,
                              const QVariantMap& params = {}) {
    QSqlQuery q = exec(db, sql, params);
    QStringList out;
    // The record is built once: asking for it per value would time the
    // benchmark's own reading rather than the statement.
    const int columns = q.record().count();
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < columns; ++i)
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
                 "s_code = '0' || s_code || ' ' where id in (select id from accounts_dep.person)");
    }

private:
    Transaction tx_;
};

} // namespace tabel::bench
