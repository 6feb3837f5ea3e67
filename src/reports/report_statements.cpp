#include "report_statements.h"

#include "db/worker_names.h"

namespace tabel::sql {

namespace {

struct Column {
    const char* name;
    bool numeric;
};

// The rows of `inner` as one JSON text, in the order given by `order`.
ReportStatement asJson(const QString& inner, std::initializer_list<Column> columns,
                       const char* order) {
    ReportStatement s;
    for (const Column& c : columns) {
        s.columns << QLatin1String(c.name);
        s.numeric << c.numeric;
    }
    s.sql = jsonRows(s.columns, inner, QLatin1String(order));
    return s;
}

// Products and operations (of the chosen kind: "naimen=0" finished goods,
// "naimen=1" blanks, as the spreadsheet export filters) with the ranks of their
// names, so that rows are put in the order of the names without comparing
// names row by row.
const char* kNamed =
    "pr as (select izdel.id::bigint as id, izdel.nom, izdel.marka, izdel.id_nom, izdel.massa, "
    "dense_rank() over (order by izdel.nom) as nom_rank, "
    "dense_rank() over (order by izdel.marka) as marka_rank "
    "from accounts_dep.izdel izdel), "
    "op as (select oper.id, oper.naimen, vid_oper.vid, "
    "dense_rank() over (order by vid_oper.vid) as vid_rank "
    "from accounts_dep.oper oper join accounts_dep.vid_oper vid_oper on vid_oper.id = oper.vid "
    "where :kind < 0 or oper.naimen = :kind)";

// The workers of the period, each under the one name the registry gives
// it, with the ranks of the names.
QString workers() {
    return QStringLiteral("w as (select distinct w_id from accounts_dep.smena "
                          "where data >= :d1 and data < :d2), ") +
           workerNames(QStringLiteral("names"), QStringLiteral("select w_id from w")) +
           QStringLiteral(", p as (select w_id, fio, dense_rank() over (order by fio) as fio_rank "
                          "from names)");
}

} // namespace

ReportStatement reportByWorkers() {
    const QString inner =
        QStringLiteral(
            "with %1, "
            "s as (select w_id, i_id, o_id, color, sum(kol_vo - brak) as qty, "
            "sum((kol_vo - brak) * cena) as pay from accounts_dep.smena "
            "where data >= :d1 and data < :d2 group by w_id, i_id, o_id, color), "
            // Rows of one name share its rank; the first product and operation
            // of a row give its name and type.
            "g as (select s.w_id, pr.nom_rank, pr.id_nom, op.vid_rank, op.naimen, s.color, "
            "min(s.i_id) as i_id, min(s.o_id) as o_id, sum(s.qty) as qty, sum(s.pay) as pay "
            "from s join pr on pr.id = s.i_id join op on op.id = s.o_id "
            "group by s.w_id, pr.nom_rank, pr.id_nom, op.vid_rank, op.naimen, s.color), "
            "%2 "
            "select p.fio, g.qty as kolvo, op.vid, round(g.pay::numeric, 2) as summa, "
            "pr.nom, g.naimen, g.color, g.w_id, g.id_nom, p.fio_rank, g.nom_rank, g.vid_rank "
            "from g join p on p.w_id = g.w_id join pr on pr.id = g.i_id join op on op.id = g.o_id")
            .arg(QLatin1String(kNamed), workers());
    // The worker's id keeps namesakes apart.
    ReportStatement r = asJson(inner,
                               {{"fio", false},
                                {"kolvo", true},
                                {"vid", false},
                                {"summa", true},
                                {"nom", false},
                                {"naimen", true},
                                {"color", true},
                                {"w_id", true},
                                {"id_nom", true}},
                               "fio_rank, w_id, nom_rank, naimen, vid_rank, color");
    r.lookups = {
        {QStringLiteral("select id_p::text, id_nom::text, "
                        "round(coalesce(sum(cnt * price) filter (where id_o = 7777), 0), 2)::text, "
                        "round(coalesce(sum(cnt * price) filter (where id_o = 7778), 0), 2)::text "
                        "from accounts_dep.fatigue where d_date >= :d1 and d_date < :d2 "
                        "group by id_p, id_nom"),
         {"w_id", "id_nom"},
         {"f_sum7", "f_sum8"}},
        {QStringLiteral("select id_p::text, round(coalesce(sum(cnt * price), 0), 2)::text "
                        "from accounts_dep.fatigue where d_date >= :d1 and d_date < :d2 "
                        "group by id_p"),
         {"w_id"},
         {"f_sum78"}}};
    return r;
}

ReportStatement reportByProducts() {
    const QString inner =
        QStringLiteral(
            "with %1 "
            ", s as (select i_id, o_id, color, sum(kol_vo - brak) as qty from accounts_dep.smena "
            "where data >= :d1 and data < :d2 group by i_id, o_id, color) "
            "select sum(s.qty)::numeric as kolvo, op.vid, pr.nom, op.naimen, s.color, "
            "round((pr.massa * sum(s.qty))::numeric, 2) as mass, "
            "pr.nom_rank, op.vid_rank, pr.massa "
            "from s join pr on pr.id = s.i_id join op on op.id = s.o_id "
            "group by pr.nom_rank, pr.nom, s.color, op.naimen, op.vid_rank, op.vid, pr.massa")
            .arg(QLatin1String(kNamed));
    return asJson(inner,
                  {{"kolvo", true},
                   {"vid", false},
                   {"nom", false},
                   {"naimen", true},
                   {"color", true},
                   {"mass", true}},
                  "nom_rank, naimen, vid_rank, color, massa");
}

ReportStatement reportByWorkersDetailed() {
    const QString inner =
        QStringLiteral(
            "with %1, "
            "s as (select w_id, i_id, o_id, color, sum(time) as hours, sum(kol_vo) as qty, "
            "sum(brak) as brk, sum((kol_vo - brak) * cena) as pay, "
            // The bonus at the record's own price and percentage.
            "sum(prize * (kol_vo - brak) * cena / 100) as prize "
            "from accounts_dep.smena where data >= :d1 and data < :d2 "
            "group by w_id, i_id, o_id, color), "
            "g as (select s.w_id, pr.marka_rank, op.vid_rank, op.naimen, s.color, "
            "min(s.i_id) as i_id, min(s.o_id) as o_id, sum(s.hours) as sum_time, "
            "sum(s.qty) as qty, sum(s.brk) as brk, sum(s.pay) as pay, sum(s.prize) as prize "
            "from s join pr on pr.id = s.i_id join op on op.id = s.o_id "
            "group by s.w_id, pr.marka_rank, op.vid_rank, op.naimen, s.color), "
            "%2 "
            "select p.fio, pr.marka, op.vid, g.naimen, g.sum_time, g.qty as kolvo, "
            "g.brk, round(g.pay::numeric, 2) as summa, g.color, "
            "round(g.prize::numeric, 2) as s_prize, "
            "g.w_id, p.fio_rank, g.marka_rank, g.vid_rank "
            "from g join p on p.w_id = g.w_id join pr on pr.id = g.i_id join op on op.id = g.o_id")
            .arg(QLatin1String(kNamed), workers());
    ReportStatement r = asJson(inner,
                               {{"fio", false},
                                {"marka", false},
                                {"vid", false},
                                {"naimen", true},
                                {"sum_time", true},
                                {"kolvo", true},
                                {"brk", true},
                                {"summa", true},
                                {"color", true},
                                {"s_prize", true},
                                {"w_id", true}},
                               "fio_rank, w_id, marka_rank, vid_rank, naimen, color");
    QStringList sums;
    const char* const kinds[][3] = {{"f_sum7", "7777", "0"},
                                    {"f_sum7_n", "7777", "1"},
                                    {"f_sum8", "7778", "0"},
                                    {"f_sum8_n", "7778", "1"}};
    for (const char* measure : {"cnt * price", "cnt"})
        for (const auto& k : kinds)
            sums << QStringLiteral("round(coalesce(sum(%1) filter (where id_o = %2 and "
                                   "i_night = %3), 0), 2)::text")
                        .arg(QLatin1String(measure), QLatin1String(k[1]), QLatin1String(k[2]));
    r.lookups = {{QStringLiteral("select id_p::text, %1 from accounts_dep.fatigue "
                                 "where d_date >= :d1 and d_date < :d2 group by id_p")
                      .arg(sums.join(QStringLiteral(", "))),
                  {"w_id"},
                  {"f_sum7", "f_sum7_n", "f_sum8", "f_sum8_n", "f_sum7h", "f_sum7h_n", "f_sum8h",
                   "f_sum8h_n"}}};
    return r;
}

ReportStatement reportByProductsDetailed() {
    const QString inner =
        QStringLiteral("with %1 "
                       ", s as (select i_id, o_id, color, sum(kol_vo) as qty, sum(brak) as brk, "
                       "sum((kol_vo - brak) * cena) as pay from accounts_dep.smena "
                       "where data >= :d1 and data < :d2 group by i_id, o_id, color) "
                       "select pr.marka, op.vid, op.naimen, pr.nom, sum(s.qty)::numeric as kolvo, "
                       "sum(s.brk) as brk, sum(s.pay) as summa, s.color, "
                       "round((pr.massa * sum(s.qty))::numeric, 2) as mass, "
                       "pr.nom_rank, pr.marka_rank, op.vid_rank, pr.massa "
                       "from s join pr on pr.id = s.i_id join op on op.id = s.o_id "
                       "group by pr.nom_rank, pr.nom, pr.marka_rank, pr.marka, op.vid_rank, "
                       "op.vid, op.naimen, "
                       "s.color, pr.massa")
            .arg(QLatin1String(kNamed));
    return asJson(inner,
                  {{"marka", false},
                   {"vid", false},
                   {"naimen", true},
                   {"nom", false},
                   {"kolvo", true},
                   {"brk", true},
                   {"summa", true},
                   {"color", true},
                   {"mass", true}},
                  "nom_rank, marka_rank, vid_rank, naimen, color, massa");
}

QString housekeepingTotals() {
    return QStringLiteral(
        "select round(coalesce(sum(cnt * price) filter (where id_o = 7777), 0), 2) "
        "as f_sum7_all, "
        "round(coalesce(sum(cnt * price) filter (where id_o = 7778), 0), 2) as f_sum8_all "
        "from accounts_dep.fatigue where d_date >= :d1 and d_date < :d2");
}

QString jsonRows(const QStringList& columns, const QString& inner, const QString& order) {
    QStringList values;
    for (const QString& c : columns)
        values << QStringLiteral("r.%1::text").arg(c);
    // The aggregate takes the rows in the order the sorted subquery gives
    // them: sorting the built arrays instead would move far more bytes.
    return QStringLiteral("select coalesce(json_agg(json_build_array(%1))::text, '[]') "
                          "from (%2 order by %3) r")
        .arg(values.join(QStringLiteral(", ")), inner, order);
}

} // namespace tabel::sql
