#include "db/closed_months.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QStringList>

namespace tabel {

QString monthName(int key) {
    return QStringLiteral("%1.%2").arg(key % 100, 2, 10, QLatin1Char('0')).arg(key / 100);
}

QString closedMonthText(int key) {
    return QStringLiteral("Месяц %1 закрыт: изменения запрещены.").arg(monthName(key));
}

bool monthClosed(const QSqlDatabase& db, int key) {
    return closedAmong(db, {key}).contains(key);
}

QList<int> closedAmong(const QSqlDatabase& db, const QList<int>& keys) {
    QList<int> out;
    if (keys.isEmpty())
        return out;
    QStringList list;
    for (int k : keys)
        list << QString::number(k);
    // The keys travel as one array literal: one statement whatever their number.
    QSqlQuery q = exec(db,
                       "select year * 100 + month from accounts_dep.closed_month "
                       "where year * 100 + month = any (cast(:keys as integer[])) order by 1",
                       {{"keys", QStringLiteral("{%1}").arg(list.join(QLatin1Char(',')))}});
    while (q.next())
        out << q.value(0).toInt();
    return out;
}

QList<int> closedMonths(const QSqlDatabase& db) {
    QList<int> out;
    QSqlQuery q =
        exec(db, "select year * 100 + month from accounts_dep.closed_month order by year, month");
    while (q.next())
        out << q.value(0).toInt();
    return out;
}

std::optional<int> closedMonthOf(const DbError& error) {
    // The trigger's detail is ours and not translated by the server's locale.
    static const QRegularExpression detail(QStringLiteral("closed month (\\d{6})"));
    const QRegularExpressionMatch m = detail.match(error.text());
    if (!m.hasMatch())
        return std::nullopt;
    return m.captured(1).toInt();
}

MonthClosed::MonthClosed(int key)
    : std::runtime_error(closedMonthText(key).toStdString()), key_(key) {}

QString MonthClosed::text() const {
    return closedMonthText(key_);
}

} // namespace tabel
