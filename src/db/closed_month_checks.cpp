#include "db/closed_month_checks.h"

#include "db/sql.h"

#include <QStringList>

namespace tabel {

Outcome closedMonthRefusal(const QSqlDatabase& db, const QList<int>& keys) {
    const QList<int> closed = closedAmong(db, keys);
    if (closed.isEmpty())
        return Outcome::ok();
    return Outcome::refused(QString::fromUtf8(kClosedMonthCaption),
                            closedMonthText(closed.first()));
}

void refuseClosedMonths(const QSqlDatabase& db, const QList<int>& keys) {
    if (Outcome o = closedMonthRefusal(db, keys); !o.done())
        throw Refused(o);
}

std::optional<int> firstClosedMonth(const QSqlDatabase& db, const QString& monthKeys,
                                    const QVariantMap& params) {
    // The few closed months are looked for among the rows' months, so the
    // rows are read once however many months are closed.
    const QVariant first = scalar(db,
                                  QStringLiteral("select min(c.year * 100 + c.month) "
                                                 "from accounts_dep.closed_month c "
                                                 "where c.year * 100 + c.month in (%1)")
                                      .arg(monthKeys),
                                  params);
    if (!first.isValid() || first.isNull())
        return std::nullopt;
    return first.toInt();
}

QString closedRecordsText(const QString& whose, int key) {
    return QStringLiteral("Удаление невозможно: записи %1 относятся к закрытому месяцу %2.")
        .arg(whose, monthName(key));
}

QString monthNames(const QList<int>& keys) {
    QStringList names;
    for (int k : keys)
        names << monthName(k);
    return names.join(QStringLiteral(", "));
}

std::optional<int> closedMonthOfError(const std::exception& error) {
    if (const auto* closed = dynamic_cast<const MonthClosed*>(&error))
        return closed->key();
    if (const auto* db = dynamic_cast<const DbError*>(&error))
        return closedMonthOf(*db);
    return std::nullopt;
}

} // namespace tabel
