#pragma once

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

namespace tabel {

// The two whole-month rebuilds of the time-sheet table, and a check that
// compares the stored rows with what they would leave.
//
// A rebuild recomputes every row of one kind in the month from the entries
// it is made of:
//   - shift rows (`smena` 1 and up) from the production records, a row per
//     worker and shift;
//   - housekeeping rows (`smena` 0) from the housekeeping entries, a row per
//     worker, type of work and day or night work.
// Each day with entries gets their total hours (0 when they add up to 0),
// each day without stays empty; rows of the other kind are left alone. The
// rebuild is a few statements for the whole month, run in one transaction
// (nested in the caller's if there is one) under the month's exclusive lock,
// so no save interleaves and a failure leaves the month as it was. It throws
// DbError, and MonthClosed, before anything changes, for a closed month.

enum class SheetKind { Shifts, Housekeeping };

// Told how far the work has gone: `done` of `total` steps.
using RebuildProgress = std::function<void(int done, int total)>;

// Returns the number of rows the month has of that kind afterwards.
int rebuildMonth(const QSqlDatabase& db, SheetKind kind, const QDate& anyDayOfMonth,
                 const RebuildProgress& progress = {});

// One difference between a stored row and the rebuild's result.
struct SheetDifference {
    int worker = 0;
    QString kind; // "смена 1", "7777 дн.", …
    int day = 0;  // 1..31; 0 for a whole row the rebuild would remove
    QVariant stored;
    QVariant expected; // null for an empty day
};

// Every difference of the month's rows of `kind`, ordered by worker, kind
// and day. Changes nothing.
std::vector<SheetDifference> checkMonth(const QSqlDatabase& db, SheetKind kind,
                                        const QDate& anyDayOfMonth);

} // namespace tabel
