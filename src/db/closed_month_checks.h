#pragma once

#include "db/closed_months.h"
#include "db/outcome.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>
#include <exception>
#include <optional>

namespace tabel {

// The program's own refusals of what a closed month would not allow, met
// before anything changes. The database refuses the same writes anyway; these
// checks only put the plain message in front of the user first.

// The caption every refusal of a closed month is shown under, the program's
// and the database's alike.
inline const char* kClosedMonthCaption = "Месяц закрыт";

// The refusal (kClosedMonthCaption, closedMonthText of the earliest) when
// any of `keys` is closed; done otherwise. Ask it inside the write's
// transaction after the write has taken the months' locks: the answer then
// holds to the commit.
Outcome closedMonthRefusal(const QSqlDatabase& db, const QList<int>& keys);
// The same, thrown as Refused.
void refuseClosedMonths(const QSqlDatabase& db, const QList<int>& keys);

// The earliest closed month among the month keys `monthKeys` selects (a
// statement with one integer column, `:name` placeholders from `params`), or
// nothing.
std::optional<int> firstClosedMonth(const QSqlDatabase& db, const QString& monthKeys,
                                    const QVariantMap& params);

// "Удаление невозможно: записи изделия относятся к закрытому месяцу 11.2026."
// `whose` names the directory row in the genitive ("изделия", "работника").
QString closedRecordsText(const QString& whose, int key);

// "10.2026, 11.2026"
QString monthNames(const QList<int>& keys);

// The closed month an error stands for: a refusal of the program's own checks
// (MonthClosed) or of the database's triggers (a DbError closedMonthOf
// recognises); nothing for any other error.
std::optional<int> closedMonthOfError(const std::exception& error);

} // namespace tabel
