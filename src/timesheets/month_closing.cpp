#include "month_closing.h"

#include "db/closed_months.h"
#include "db/locks.h"
#include "db/sql.h"
#include "db/stored_text.h"
#include "db/worker_names.h"

#include <QSqlQuery>

namespace tabel {

// The production records are many (hundreds of thousands a year), so their
// months are found by stepping through the date index a month at a time
// rather than by reading every record. The other tables are small.
const char* const kClosingMonthsSql =
    "with recursive record_days(d) as ("
    " select min(data) from accounts_dep.smena"
    " union all"
    " select (select min(s.data) from accounts_dep.smena s"
    "          where s.data >= (date_trunc('month', r.d) + interval '1 month')::date)"
    "   from record_days r where r.d is not null), "
    "keys(k) as ("
    " select accounts_dep.month_key(d) from record_days where d is not null"
    " union select accounts_dep.month_key(d_date) from accounts_dep.fatigue"
    "  where d_date is not null"
    " union select i_year * 100 + i_mnth from accounts_dep.fatigue"
    "  where i_year is not null and i_mnth between 1 and 12"
    " union select year * 100 + month from accounts_dep.h_tabel"
    "  where year is not null and month between 1 and 12"
    " union select year * 100 + month from accounts_dep.closed_month) "
    "select k / 100 as year, k % 100 as month,"
    " lpad((k % 100)::text, 2, '0') || '.' || (k / 100) as month_name,"
    " case when c.year is null then 'Открыт' else 'Закрыт' end as state,"
    " c.closed_by || coalesce(', ' || nullif(c.workstation, ''), '') as closed_by,"
    " c.closed_at, to_char(c.closed_at, 'DD.MM.YYYY HH24:MI') as closed_at_text, c.note,"
    " c.closed_by as role, c.workstation "
    "from keys left join accounts_dep.closed_month c on c.year * 100 + c.month = keys.k "
    "order by k desc";

std::vector<ClosingMonth> closingMonths(const QSqlDatabase& db) {
    std::vector<ClosingMonth> out;
    QSqlQuery q = exec(db, QString::fromUtf8(kClosingMonthsSql));
    while (q.next()) {
        ClosingMonth m;
        m.year = q.value("year").toInt();
        m.month = q.value("month").toInt();
        m.closed = q.value("state").toString() == QStringLiteral("Закрыт");
        m.closedBy = q.value("role").toString();
        m.workstation = q.value("workstation").toString();
        m.closedAt = q.value("closed_at").toDateTime();
        m.note = q.value("note").toString();
        out.push_back(m);
    }
    return out;
}

MonthCheck checkWholeMonth(const QSqlDatabase& db, const QDate& anyDayOfMonth) {
    return {checkMonth(db, SheetKind::Shifts, anyDayOfMonth),
            checkMonth(db, SheetKind::Housekeeping, anyDayOfMonth)};
}

QString differenceText(const SheetDifference& d, const QString& workerName) {
    const QString worker = workerName.isEmpty()
                               ? QString::number(d.worker)
                               : QStringLiteral("%1 (%2)").arg(d.worker).arg(workerName);
    const QString where = QStringLiteral("работник %1, %2, ").arg(worker, d.kind);
    if (d.day == 0)
        return where + QStringLiteral("лишняя строка: перестроение её удалит");
    auto cell = [](const QVariant& v) {
        return v.isNull() ? QStringLiteral("пусто") : v.toString();
    };
    return where + QStringLiteral("день %1: в табеле %2, по записям %3")
                       .arg(d.day)
                       .arg(cell(d.stored), cell(d.expected));
}

QStringList differenceLines(const MonthCheck& check, const QHash<int, QString>& names) {
    QStringList lines;
    for (const auto* kind : {&check.shifts, &check.housekeeping})
        for (const SheetDifference& d : *kind)
            lines << differenceText(d, names.value(d.worker));
    return lines;
}

QHash<int, QString> workerNamesOf(const QSqlDatabase& db, const MonthCheck& check) {
    QHash<int, QString> names;
    QStringList ids;
    for (const auto* kind : {&check.shifts, &check.housekeeping})
        for (const SheetDifference& d : *kind)
            ids << QString::number(d.worker);
    if (ids.isEmpty())
        return names;
    ids.removeDuplicates();
    QSqlQuery q =
        exec(db,
             QStringLiteral("with ids as (select unnest(cast(:ids as integer[])) as w_id), ") +
                 sql::workerNames(QStringLiteral("names"), QStringLiteral("select w_id from ids")) +
                 QStringLiteral(" select w_id, fio from names"),
             {{"ids", QStringLiteral("{%1}").arg(ids.join(QLatin1Char(',')))}});
    while (q.next())
        names.insert(q.value(0).toInt(), q.value(1).toString());
    return names;
}

namespace {

bool validMonth(int year, int month) {
    return month >= 1 && month <= 12 && year >= 1900 && year <= 9999;
}

QString notAMonth(int year, int month) {
    return QStringLiteral("Нет такого месяца: %1.%2.").arg(month).arg(year);
}

} // namespace

MonthClosing::CloseResult MonthClosing::close(int year, int month, const QString& note) {
    CloseResult result;
    if (!validMonth(year, month)) {
        result.outcome = Outcome::refused(kClosingCaption, notAMonth(year, month));
        return result;
    }
    const QDate first(year, month, 1);
    const int key = monthKey(year, month);
    const QString kept = note.trimmed();
    if (Outcome o = checkStoredText(db_, {{"Примечание", kept, "accounts_dep.closed_month.note"}});
        !o.done()) {
        result.outcome = Outcome::refused(kClosingCaption, o.text);
        return result;
    }
    try {
        Transaction tx(db_);
        // Exclusive: every save of the month under way finishes first, and
        // none starts until the close is committed, so the check below sees
        // the month as it will stay.
        lockWholeMonth(db_, first);
        if (monthClosed(db_, key))
            throw Refused(kClosingCaption,
                          QStringLiteral("Месяц %1 уже закрыт.").arg(monthName(key)));
        result.differences = checkWholeMonth(db_, first);
        if (!result.differences.agrees())
            throw Refused(kClosingCaption,
                          QStringLiteral("Табель за %1 расходится с записями (расхождений: %2): "
                                         "месяц не закрыт.")
                              .arg(monthName(key))
                              .arg(result.differences.count()));
        // Who and where come from the session's settings; the database's
        // trigger writes the close into the history.
        exec(db_,
             "insert into accounts_dep.closed_month (year, month, note) values (:y, :m, :note)",
             {{"y", year},
              {"m", month},
              {"note", kept.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : kept}});
        tx.commit();
    } catch (const Refused& r) {
        result.outcome = r.outcome();
    }
    return result;
}

Outcome MonthClosing::reopen(int year, int month, const QString& reason) {
    if (!validMonth(year, month))
        return Outcome::refused(kReopeningCaption, notAMonth(year, month));
    const int key = monthKey(year, month);
    const QString kept = reason.trimmed();
    if (kept.isEmpty())
        return Outcome::refused(
            kReopeningCaption,
            QStringLiteral("Месяц %1 открывают только с указанием причины.").arg(monthName(key)));
    if (Outcome o = checkStoredText(db_, {{"Причина", kept, "accounts_dep.change_log.note"}});
        !o.done())
        return Outcome::refused(kReopeningCaption, o.text);
    try {
        Transaction tx(db_);
        lockWholeMonth(db_, QDate(year, month, 1));
        const bool reopened = scalar(db_, "select accounts_dep.reopen_month(:y, :m, :reason)",
                                     {{"y", year}, {"m", month}, {"reason", kept}})
                                  .toBool();
        if (!reopened)
            throw Refused(kReopeningCaption,
                          QStringLiteral("Месяц %1 не закрыт.").arg(monthName(key)));
        tx.commit();
    } catch (const Refused& r) {
        return r.outcome();
    }
    return Outcome::ok();
}

} // namespace tabel
