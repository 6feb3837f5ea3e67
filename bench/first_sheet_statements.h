#pragma once

// The time sheets' statements as the plant's first version of the program
// wrote them: the reference for the rows and columns of today's statements,
// in the tests and the benchmarks.

#include <QString>
#include <QStringList>

namespace tabel::reference {

inline QString firstDays(const QString& pattern) {
    QStringList out;
    for (int d = 1; d <= 31; ++d)
        out << QString(pattern).replace("%d", QString::number(d));
    return out.join(", ");
}

inline QString designShiftSheet(int shift) {
    const QString t = "(" + firstDays("coalesce(d%d,0)").replace(", ", "+") + ")";
    return "select person.s_caption fio, " + t + " as summ, case when " + t +
           "=0 then 0 else (sum(s.cena*(kol_vo-brak))/" + t +
           ") end ::numeric(10,2) as average_price, sum(s.cena*(kol_vo-brak))::numeric(10,2) as "
           "cena_all, h_tabel.* from accounts_dep.h_tabel, cmn_contractor.person, "
           "accounts_dep.smena s where h_tabel.w_id=person.s_code::integer and h_tabel.smena=" +
           QString::number(shift) +
           " and month=:mnth and s.w_id = h_tabel.w_id and h_tabel.year=:yea and s.data >=:date1 "
           "and s.data <:date2 group by person.s_caption,h_tabel.w_id,h_tabel.month,"
           "h_tabel.year,h_tabel.smena,h_tabel.id order by fio";
}

inline QString designPrint() {
    return "select person.s_caption fio," + firstDays("sum(d%d) as sd%d") +
           " from accounts_dep.h_tabel, cmn_contractor.person person where "
           "h_tabel.w_id=person.s_code::t_integer and month=:mnth and year=:yea group by fio "
           "order by fio";
}

// `type`: 0 piecework, 7777 and 7778 the housekeeping sheets, 1 the general
// sheet.
inline QString designMonthly(int type) {
    const QString daySums = firstDays("sum(h.d%d) as d%d");
    const QString from = " from  cmn_contractor.person p, accounts_dep.h_tabel h\n"
                         "where h.year=:i_year and h.month=:i_month and h.w_id=p.id";
    if (type == 0)
        return "select p.s_caption fio, p.id,h.i_type,\n(select sum(s.time) from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and "
               "s.w_id=p.id) i_time,\n(select sum((s.kol_vo-s.brak)*s.cena)::numeric(10,2)from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.w_id=p.id) "
               "f_price,\n(select case when coalesce(sum(s.time),0)::numeric(10,2)=0 then 0 else "
               "coalesce(sum((s.kol_vo-s.brak)*s.cena)/sum(time),0)::numeric(10,2) end from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and s.w_id=p.id) "
               "average_price,\n" +
               daySums + from + " and i_type=0\ngroup by p.id, p.s_caption, h.i_type\norder by fio";
    if (type == 1)
        return "select p.s_caption fio, p.id,\ncoalesce((select sum(s.time) from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and "
               "s.w_id=p.id),0)+\ncoalesce((select sum(f.cnt) from accounts_dep.fatigue f where "
               "f.d_date<:d_date1 and f.d_date>=:d_date2 and f.id_p=p.id),0) i_time,\n"
               "coalesce((select sum((s.kol_vo-s.brak)*s.cena)::numeric(10,2)from "
               "accounts_dep.smena s where s.data<:d_date1 and s.data>=:d_date2 and "
               "s.w_id=p.id),0)+ \ncoalesce((select sum(f.cnt*f.price)::numeric(10,2)from "
               "accounts_dep.fatigue f where f.d_date<:d_date1 and f.d_date>=:d_date2 and "
               "f.id_p=p.id),0) f_price,\n" +
               daySums + from + "\ngroup by p.id, p.s_caption\norder by fio";
    const QString t = QString::number(type);
    const QString f = " from accounts_dep.fatigue f where f.d_date<:d_date1 and "
                      "f.d_date>=:d_date2 and f.id_p=p.id and f.id_o=" +
                      t + " and f.i_night=h.i_night)";
    return "select p.s_caption fio, p.id,h.i_type, case when h.i_night=0 then 'дн.' else 'ноч.' "
           "end as s_night, h.i_night,\n(select sum(f.cnt)" +
           f + " i_time,\n(select sum(f.cnt*f.price)::numeric(10,2)" + f +
           " f_price,\n(select case when coalesce(sum(f.cnt),0)::numeric(10,2)=0 then 0 else "
           "coalesce(sum((f.cnt*f.price))/sum(f.cnt),0)::numeric(10,2) end \n" +
           f.mid(1) + " average_price,\n" + daySums + from + " and i_type=" + t +
           " \ngroup by p.id, p.s_caption, h.i_type, h.i_night\norder by fio";
}

} // namespace tabel::reference
