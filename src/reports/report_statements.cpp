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
                               "fio_rank, w_id, nom_rank, naimen, vid_rank, color, id_nom");
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

namespace {

// The workers of the period, found by skipping along the records' (w_id,
// data) index from one worker to the next: a year's records are never read
// to find them. Each is named as sql::workerNames names it and numbered in
// the order of the names (namesakes by id), with its entry of the batches'
// workers: w_id, fio and `lookups`, columns of `sums`, a statement over the
// period's housekeeping grouped by id_p (read once for every worker: a
// batch at a time it costs more than the batch's rows). The numbers are
// cut into batches of `batchSize`: `b` has the batch, its workers' ids and
// their entries as one JSON text.
QString workerBatches(int batchSize, const QString& sums, const QString& lookups) {
    return QStringLiteral("with recursive t (w_id) as (select min(w_id) from accounts_dep.smena "
                          "union all select (select min(s.w_id) from accounts_dep.smena s "
                          "where s.w_id > t.w_id) from t where t.w_id is not null), "
                          "w as (select t.w_id from t where t.w_id is not null and exists "
                          "(select 1 from accounts_dep.smena s where s.w_id = t.w_id "
                          "and s.data >= :d1 and s.data < :d2)), ") +
           workerNames(QStringLiteral("names"), QStringLiteral("select w_id from w")) +
           QStringLiteral(", hk as (%2), "
                          "p as materialized (select n.w_id, "
                          "row_number() over (order by n.fio, n.w_id) as pos, "
                          "json_build_array(n.w_id::text, n.fio, %3)::text as entry "
                          "from names n left join hk f on f.id_p = n.w_id), "
                          "b as (select (pos - 1) / %1 as batch, array_agg(w_id order by pos) "
                          "as ids, '[' || string_agg(entry, ', ' order by pos) || ']' "
                          "as workers from p group by 1)")
               .arg(batchSize)
               .arg(sums, lookups);
}

// The batch's rows as one text of `values` (of `rows`, which has the
// worker's place in the batch as `pos`), in the order of `order`.
QString batchRows(const QString& rows, const QStringList& values, const QString& order) {
    return QStringLiteral("(select coalesce(string_agg(concat(%2), ';'), '') "
                          "from (%1 order by %3) r)")
        .arg(rows, values.join(QStringLiteral(", ',', ")), order);
}

// The housekeeping entries of the period.
const char* kFatigue = "from accounts_dep.fatigue where d_date >= :d1 and d_date < :d2";

const char* kBatchRecords = "from accounts_dep.smena where w_id = any (b.ids) "
                            "and data >= :d1 and data < :d2";

} // namespace

// The batch's rows are summed in the same two steps as the statements over
// the whole period sum them (per product and operation, then per name and
// type), so that sums of prices, binary doubles, add up in the same way.
WorkerStream streamByWorkers(int batchSize) {
    const QString rows =
        QStringLiteral(
            "with s as (select w_id, i_id, o_id, color, sum(kol_vo - brak) as qty, "
            "sum((kol_vo - brak) * cena) as pay %2 group by w_id, i_id, o_id, color), "
            "g as (select s.w_id, pr.nom_rank, pr.id_nom, op.vid_rank, op.naimen, s.color, "
            "min(s.i_id) as i_id, min(s.o_id) as o_id, sum(s.qty) as qty, sum(s.pay) as pay "
            "from s join pr on pr.id = s.i_id join op on op.id = s.o_id "
            "group by s.w_id, pr.nom_rank, pr.id_nom, op.vid_rank, op.naimen, s.color) "
            "select g.*, o.pos, f.f7, f.f8 from g "
            "join unnest(b.ids) with ordinality o (w_id, pos) on o.w_id = g.w_id "
            "left join hk_groups f on f.id_p = g.w_id and f.id_nom = g.id_nom::text")
            .arg(QLatin1String(kBatchRecords));
    // The housekeeping by worker and group, read once and looked up by
    // every batch.
    const QString groups =
        QStringLiteral(
            "hk_groups as materialized (select id_p, id_nom::text as id_nom, "
            "round(coalesce(sum(cnt * price) filter (where id_o = 7777), 0), 2)::text as f7, "
            "round(coalesce(sum(cnt * price) filter (where id_o = 7778), 0), 2)::text as f8 "
            "%1 group by id_p, id_nom)")
            .arg(QLatin1String(kFatigue));
    WorkerStream s;
    s.sql =
        QStringLiteral("%1, %2, %3 select b.batch, b.workers, %4 from b order by b.batch")
            .arg(workerBatches(batchSize,
                               QStringLiteral("select id_p, round(coalesce(sum(cnt * price), 0), "
                                              "2)::text as f78 %1 group by id_p")
                                   .arg(QLatin1String(kFatigue)),
                               QStringLiteral("f.f78")),
                 groups, QLatin1String(kNamed),
                 batchRows(rows,
                           {"r.w_id", "r.qty", "round(r.pay::numeric, 2)", "r.i_id", "r.o_id",
                            "r.naimen", "r.color", "r.id_nom", "r.f7", "r.f8"},
                           QStringLiteral("pos, nom_rank, naimen, vid_rank, color, id_nom")));
    // fio, kolvo, vid, summa, nom, naimen, color, w_id, id_nom; f_sum7,
    // f_sum8, f_sum78.
    s.workerWidth = 3;
    s.rowWidth = 10;
    using C = StreamColumn;
    s.columns = {{C::Worker, 1, false}, {C::Row, 1, false},  {C::Operation, 4, false},
                 {C::Row, 2, false},    {C::Name, 3, false}, {C::Row, 5, false},
                 {C::Row, 6, false},    {C::Row, 0, false},  {C::Row, 7, false},
                 {C::Row, 8, true},     {C::Row, 9, true},   {C::Worker, 2, true}};
    return s;
}

WorkerStream streamByWorkersDetailed(int batchSize) {
    const QString rows =
        QStringLiteral(
            "with s as (select w_id, i_id, o_id, color, sum(time) as hours, sum(kol_vo) as qty, "
            "sum(brak) as brk, sum((kol_vo - brak) * cena) as pay, "
            "sum(prize * (kol_vo - brak) * cena / 100) as prize %1 "
            "group by w_id, i_id, o_id, color), "
            "g as (select s.w_id, pr.marka_rank, op.vid_rank, op.naimen, s.color, "
            "min(s.i_id) as i_id, min(s.o_id) as o_id, sum(s.hours) as sum_time, "
            "sum(s.qty) as qty, sum(s.brk) as brk, sum(s.pay) as pay, sum(s.prize) as prize "
            "from s join pr on pr.id = s.i_id join op on op.id = s.o_id "
            "group by s.w_id, pr.marka_rank, op.vid_rank, op.naimen, s.color) "
            "select g.*, o.pos from g "
            "join unnest(b.ids) with ordinality o (w_id, pos) on o.w_id = g.w_id")
            .arg(QLatin1String(kBatchRecords));
    QStringList sums;
    QStringList lookups;
    const char* const kinds[][2] = {{"7777", "0"}, {"7777", "1"}, {"7778", "0"}, {"7778", "1"}};
    for (const char* measure : {"cnt * price", "cnt"})
        for (const auto& k : kinds) {
            sums << QStringLiteral("round(coalesce(sum(%1) filter (where id_o = %2 and "
                                   "i_night = %3), 0), 2)::text as v%4")
                        .arg(QLatin1String(measure), QLatin1String(k[0]), QLatin1String(k[1]))
                        .arg(sums.size());
            lookups << QStringLiteral("f.v%1").arg(lookups.size());
        }
    WorkerStream s;
    s.sql =
        QStringLiteral("%1, %2 select b.batch, b.workers, %3 from b order by b.batch")
            .arg(
                workerBatches(batchSize,
                              QStringLiteral("select id_p, %1 %2 group by id_p")
                                  .arg(sums.join(QStringLiteral(", ")), QLatin1String(kFatigue)),
                              lookups.join(QStringLiteral(", "))),
                QLatin1String(kNamed),
                batchRows(rows,
                          {"r.w_id", "r.i_id", "r.o_id", "r.naimen", "r.sum_time", "r.qty", "r.brk",
                           "round(r.pay::numeric, 2)", "r.color", "round(r.prize::numeric, 2)"},
                          QStringLiteral("pos, marka_rank, vid_rank, naimen, color")));
    // fio, marka, vid, naimen, sum_time, kolvo, brk, summa, color, s_prize,
    // w_id; the eight housekeeping sums.
    s.workerWidth = 10;
    s.rowWidth = 10;
    using C = StreamColumn;
    s.columns = {{C::Worker, 1, false}, {C::Mark, 1, false}, {C::Operation, 2, false},
                 {C::Row, 3, false},    {C::Row, 4, false},  {C::Row, 5, false},
                 {C::Row, 6, false},    {C::Row, 7, false},  {C::Row, 8, false},
                 {C::Row, 9, false},    {C::Row, 0, false}};
    for (int i = 0; i < 8; ++i)
        s.columns << StreamColumn{C::Worker, 2 + i, true};
    return s;
}

QString productsAndOperations() {
    return QStringLiteral(
        "select json_build_array((select "
        "coalesce(json_agg(json_build_array(izdel.id::bigint::text, "
        "izdel.nom::text, izdel.marka::text)), '[]') from accounts_dep.izdel izdel), "
        "(select coalesce(json_agg(json_build_array(oper.id::text, vid_oper.vid::text)), '[]') "
        "from accounts_dep.oper oper join accounts_dep.vid_oper vid_oper "
        "on vid_oper.id = oper.vid))::text");
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
