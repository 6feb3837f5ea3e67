#pragma once

#include "db/outcome.h"
#include "timesheets/rebuilds.h"

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <vector>

namespace tabel {

// Closing a month after it has been paid, and reopening it. The database
// keeps the closed months (accounts_dep.closed_month) and refuses every
// write into them; these rules decide when a month may be closed and keep
// the reason of a reopening.
//
// A month is closed only when its time sheets agree with the records they
// are made of: the pay was computed from the sheets, and a sheet that
// differs from its records could never be put right afterwards.

// A month as the closing window lists it.
struct ClosingMonth {
    int year = 0;
    int month = 0;
    bool closed = false;
    QString closedBy;    // the program's role, or "другое приложение"
    QString workstation; // may be empty
    QDateTime closedAt;  // invalid while open
    QString note;
};

// The months that have production records, housekeeping entries or
// time-sheet rows, and the closed ones, newest first. Columns: year, month,
// month_name ("11.2026"), state ("Закрыт"/"Открыт"), closed_by (the role
// and the workstation), closed_at, closed_at_text, note.
extern const char* const kClosingMonthsSql;

std::vector<ClosingMonth> closingMonths(const QSqlDatabase& db);

// The differences the check behind `check-timesheets` finds in a month.
struct MonthCheck {
    std::vector<SheetDifference> shifts;
    std::vector<SheetDifference> housekeeping;

    bool agrees() const { return shifts.empty() && housekeeping.empty(); }
    int count() const { return int(shifts.size() + housekeeping.size()); }
};

// Both kinds of rows of the month against what their rebuilds would leave.
// Changes nothing.
MonthCheck checkWholeMonth(const QSqlDatabase& db, const QDate& anyDayOfMonth);

// One difference as `check-timesheets` prints it: "работник 12, смена 1,
// день 3: в табеле 10, по записям 8"; with the worker's name, when given,
// after the number: "работник 12 (Иванов И. И.), …".
QString differenceText(const SheetDifference& d, const QString& workerName = {});
// Every difference of the check, shifts first, with the names of `names`.
QStringList differenceLines(const MonthCheck& check, const QHash<int, QString>& names = {});
// The names of the check's workers, as the sheets show them. Throws DbError.
QHash<int, QString> workerNamesOf(const QSqlDatabase& db, const MonthCheck& check);

class MonthClosing {
public:
    explicit MonthClosing(const QSqlDatabase& db) : db_(db) {}

    struct CloseResult {
        Outcome outcome;
        MonthCheck differences; // what refused the close, if the check did
    };

    // Closes the month with an optional note: under the month's exclusive
    // lock, so no write of it is under way or can start before the commit,
    // the sheets are checked against the records; any difference refuses the
    // close and nothing is written. Runs in a transaction of its own, or in
    // the caller's (through a savepoint). Throws DbError.
    CloseResult close(int year, int month, const QString& note);

    // Reopens a closed month; the reason is kept in the history with the
    // close it undoes. A blank reason and a month that is not closed are
    // refused. Throws DbError.
    Outcome reopen(int year, int month, const QString& reason);

private:
    QSqlDatabase db_;
};

inline const char* kClosingCaption = "Закрытие месяца";
inline const char* kReopeningCaption = "Открытие месяца";

} // namespace tabel
