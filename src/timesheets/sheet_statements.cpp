#include "sheet_statements.h"

#include "db/worker_names.h"

#include <QStringList>

namespace tabel::sql {

QString dayColumns(const QString& pattern, const QString& separator) {
    QStringList out;
    for (int d = 1; d <= 31; ++d)
        out << QString(pattern).replace(QLatin1String("%d"), QString::number(d));
    return out.join(separator);
}

namespace {

// The names of the workers of `h`.
QString namesOf(const char* name) {
    return workerNames(QLatin1String(name), QStringLiteral("select w_id from h"));
}

} // namespace

namespace {

// The shift rows of `shifts` (a list of shift numbers), ordered by shift.
QString shiftRows(const QString& shifts) {
    // The row's hours, added up day by day as the sheet's total, as a big
    // integer: cells written elsewhere can add up beyond an integer.
    const QString total =
        QStringLiteral("(") +
        dayColumns(QStringLiteral("coalesce(h.d%d, 0)::bigint"), QStringLiteral(" + ")) +
        QStringLiteral(")");
    // The pay is the worker's whole month, whatever the shift, so one
    // reading serves every shift's rows. It is summed for every worker of
    // the month's records, who are the sheet's workers once the month is
    // rebuilt: keeping only the sheet's workers first costs a lookup per
    // record and saves nothing.
    // Sums are rounded, not cast to a numeric of fixed size: a sum beyond
    // such a size, stored by whatever means, still shows.
    return (QStringLiteral(
                "with h as (select * from accounts_dep.h_tabel "
                "where smena in (%1) and month = :mnth and year = :yea), "
                "pay as materialized (select s.w_id, sum(s.cena * (s.kol_vo - s.brak)) as pay "
                "from accounts_dep.smena s where s.data >= :date1 and s.data < :date2 "
                "group by s.w_id), ") +
            namesOf("names") +
            QStringLiteral(" select names.fio, %2 as summ, "
                           "round((case when %2 = 0 then 0 else pay.pay / %2 end)::numeric, 2) "
                           "as average_price, round(pay.pay::numeric, 2) as cena_all, h.* "
                           "from h join names on names.w_id = h.w_id "
                           "join pay on pay.w_id = h.w_id order by h.smena, fio, h.w_id, h.id"))
        .arg(shifts, total);
}

} // namespace

QString shiftSheet(int shift) {
    return shiftRows(QString::number(shift));
}

QString shiftSheets() {
    return shiftRows(QStringLiteral("1, 2, 3"));
}

QString timesheetPrint() {
    return QStringLiteral("with h as (select * from accounts_dep.h_tabel "
                          "where month = :mnth and year = :yea), ") +
           namesOf("names") +
           QStringLiteral(" select names.fio, %1 from h join names on names.w_id = h.w_id "
                          "group by names.fio, h.w_id order by fio, h.w_id")
               .arg(dayColumns(QStringLiteral("sum(h.d%d) as sd%d")));
}

QString monthlySheet(MonthlySheet sheet) {
    const QString daySums = dayColumns(QStringLiteral("sum(h.d%d) as d%d"));
    const QString plainDays = dayColumns(QStringLiteral("h.d%d"));
    const QString month = QStringLiteral("year = :i_year and month = :i_month");
    // Records and entries of the month, summed once per worker. Every
    // worker who has any is on the month's rows once the month is rebuilt,
    // so keeping only the sheet's workers before summing saves nothing and
    // costs a lookup per record; the sheet's rows take their workers' sums.
    const QString records =
        QStringLiteral("from accounts_dep.smena s where s.data < :d_date1 and s.data >= :d_date2");
    const QString entries = QStringLiteral(
        "from accounts_dep.fatigue f where f.d_date < :d_date1 and f.d_date >= :d_date2");

    switch (sheet) {
    case MonthlySheet::Piecework:
        return QStringLiteral("with h as (select w_id, %1 from accounts_dep.h_tabel h "
                              "where %2 and i_type = 0 group by w_id), ")
                   .arg(daySums, month) +
               namesOf("p") +
               QStringLiteral(
                   ", s as materialized (select s.w_id, sum(s.time) as i_time, "
                   "round(sum((s.kol_vo - s.brak) * s.cena)::numeric, 2) as f_price, "
                   "case when coalesce(sum(s.time), 0) = 0 then 0 else "
                   "round(coalesce(sum((s.kol_vo - s.brak) * s.cena) / sum(s.time), 0)::numeric, "
                   "2) end as average_price %1 group by s.w_id) "
                   "select p.fio, h.w_id as id, 0 as i_type, s.i_time, s.f_price, "
                   "coalesce(s.average_price, 0) as average_price, %2 "
                   "from h join p on p.w_id = h.w_id left join s on s.w_id = h.w_id "
                   "order by fio, h.w_id")
                   .arg(records, plainDays);
    case MonthlySheet::Housekeeping:
    case MonthlySheet::AveragePiecework: {
        const int type = sheet == MonthlySheet::Housekeeping ? 7777 : 7778;
        return QStringLiteral("with h as (select w_id, i_night, %1 from accounts_dep.h_tabel h "
                              "where %2 and i_type = %3 group by w_id, i_night), ")
                   .arg(daySums, month)
                   .arg(type) +
               namesOf("p") +
               QStringLiteral(
                   ", f as materialized (select f.id_p, f.i_night, sum(f.cnt) as i_time, "
                   "round(sum(f.cnt * f.price), 2) as f_price, "
                   "case when coalesce(sum(f.cnt), 0) = 0 then 0 else "
                   "round(coalesce(sum(f.cnt * f.price) / sum(f.cnt), 0), 2) end "
                   "as average_price %1 and f.id_o = %2 group by f.id_p, f.i_night) "
                   "select p.fio, h.w_id as id, %2 as i_type, case when h.i_night = 0 "
                   "then 'дн.' else 'ноч.' end as s_night, h.i_night, f.i_time, f.f_price, "
                   "coalesce(f.average_price, 0) as average_price, %3 "
                   "from h join p on p.w_id = h.w_id "
                   "left join f on f.id_p = h.w_id and f.i_night = h.i_night "
                   "order by fio, h.w_id, h.i_night")
                   .arg(entries)
                   .arg(type)
                   .arg(plainDays);
    }
    case MonthlySheet::General:
        break;
    }
    return QStringLiteral("with h as (select w_id, %1 from accounts_dep.h_tabel h "
                          "where %2 group by w_id), ")
               .arg(daySums, month) +
           namesOf("p") +
           QStringLiteral(
               ", s as materialized (select s.w_id, sum(s.time) as hours, "
               "round(sum((s.kol_vo - s.brak) * s.cena)::numeric, 2) as pay %1 group by s.w_id), "
               "f as materialized (select f.id_p, sum(f.cnt) as hours, "
               "round(sum(f.cnt * f.price), 2) as pay %2 group by f.id_p) "
               "select p.fio, h.w_id as id, "
               "coalesce(s.hours, 0) + coalesce(f.hours, 0) as i_time, "
               "coalesce(s.pay, 0) + coalesce(f.pay, 0) as f_price, %3 "
               "from h join p on p.w_id = h.w_id left join s on s.w_id = h.w_id "
               "left join f on f.id_p = h.w_id order by fio, h.w_id")
               .arg(records, entries, plainDays);
}

QString monthlyTotals() {
    // Each total counts only what earns: positive quantities and prices,
    // positive hours and rates. "Итого:" adds the piecework pay and the pay
    // of all housekeeping entries, a missing one counting as 0, in exact
    // numbers of any size. The month's records and entries are each read
    // once: "Итого:" adds the very sums the other totals show.
    return QStringLiteral(
        "with s as materialized (select sum((s.kol_vo - s.brak) * s.cena) as pay "
        "from accounts_dep.smena s where s.data < :d_date1 and s.data >= :d_date2 "
        "and s.cena > 0 and s.kol_vo > 0), "
        "f as materialized (select sum(f.cnt * f.price) filter (where f.id_o = 7777) as pay7, "
        "sum(f.cnt * f.price) filter (where f.id_o = 7778) as pay8, sum(f.cnt * f.price) as pay "
        "from accounts_dep.fatigue f where f.d_date < :d_date1 and f.d_date >= :d_date2 "
        "and f.cnt > 0 and f.price > 0) "
        "select round(s.pay::numeric, 2)::text as price, round(f.pay7, 2)::text as price7, "
        "round(f.pay8, 2)::text as price8, "
        "round(coalesce(s.pay::numeric, 0) + coalesce(f.pay, 0), 2)::text as all_price "
        "from s, f");
}

} // namespace tabel::sql
