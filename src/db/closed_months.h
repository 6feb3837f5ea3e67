#pragma once

#include "db/sql.h"

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <optional>

namespace tabel {

// Closed months are kept by the database (accounts_dep.closed_month): its
// triggers refuse every write of a production record, a housekeeping entry
// or a time-sheet row of a closed month, whoever sends it. The program asks
// the same question first, under the month's lock, so that the user meets a
// plain message before anything changes.
//
// Months are keyed as year * 100 + month, the numbers the month locks use.
inline int monthKey(int year, int month) {
    return year * 100 + month;
}
inline int monthKey(const QDate& day) {
    return monthKey(day.year(), day.month());
}

// "Месяц 11.2026 закрыт: изменения запрещены."
QString closedMonthText(int key);
// "11.2026"
QString monthName(int key);

// Whether the month is closed now. Inside a write, ask after taking the
// month's lock: only then does the answer hold until the commit.
bool monthClosed(const QSqlDatabase& db, int key);

// The closed months among `keys`, ascending.
QList<int> closedAmong(const QSqlDatabase& db, const QList<int>& keys);

// Every closed month, ascending.
QList<int> closedMonths(const QSqlDatabase& db);

// The month a database error names when a trigger refused a write into a
// closed month; nothing for any other error.
std::optional<int> closedMonthOf(const DbError& error);

// The refusal of a write into a closed month, raised by the program's own
// checks and made from the database's refusal alike. Its text is the
// message to show.
class MonthClosed : public std::runtime_error {
public:
    explicit MonthClosed(int key);
    int key() const { return key_; }
    QString text() const;

private:
    int key_;
};

} // namespace tabel
