#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QVariantList>
#include <utility>
#include <vector>

namespace tabel {

// Transaction-scoped locks that keep writers of the same data from running
// into each other across workstations. Every lock here is released when the
// transaction ends; call them inside one.
//
// Writers take them in one global order, so two of them never wait for each
// other in a circle:
//   1. the month lock, shared (by saves and deletions) or exclusive (by a
//      whole-month rebuild), month by month in ascending order;
//   2. the worker lock, shared (by writes of a worker's data) or exclusive
//      (by the deletion of the worker), worker by worker in ascending order;
//   3. the worker-and-month lock, exclusive, in ascending order.
// Row locks (`for update`, `for key share`) of the records, entries and
// operations a write touches, and then of the time-sheet rows it writes,
// come before all of these. A plain-SQL write (psql, another application)
// keeps that order without being asked: its statement locks the rows, then
// the database's closed-month trigger takes the month shared. So a rebuild
// locks the rows it replaces before it takes its month.
//
// Apart from these, a write of a directory row that must stay unique by some
// of its values locks those values (lockUniqueKey). Such a write takes no
// other advisory lock, so it cannot wait in a circle with the ones above.

// A worker and a month (its first day's year * 100 + month).
struct WorkerMonth {
    int worker = 0;
    int month = 0; // year * 100 + month
    auto operator<=>(const WorkerMonth&) const = default;
};
WorkerMonth workerMonth(int worker, const QDate& date);

// Locks what a write of the given workers' records and time-sheet cells needs:
// the months shared, the workers shared and each worker and month exclusively,
// in the global order. Duplicates are taken once.
void lockWorkerMonths(const QSqlDatabase& db, std::vector<WorkerMonth> places);
inline void lockWorkerMonth(const QSqlDatabase& db, int worker, const QDate& date) {
    lockWorkerMonths(db, {workerMonth(worker, date)});
}

// Keeps every write of one month out until the transaction ends; for a
// rebuild that recomputes the whole month.
void lockWholeMonth(const QSqlDatabase& db, const QDate& anyDayOfMonth);

// Keeps every write of a worker's data out until the transaction ends; for
// the deletion of the worker.
void lockWholeWorker(const QSqlDatabase& db, int worker);

// Keeps every other write of the same `table` and `key` values out until the
// transaction ends, so a check that no row holds them yet stays true up to
// the commit. The lock is named by a 64-bit hash of the table and the values
// in the one-key space, which the locks above (two-key) never use; two
// different keys that happen to share a hash only wait for each other.
void lockUniqueKey(const QSqlDatabase& db, const QString& table, const QVariantList& key);

} // namespace tabel
