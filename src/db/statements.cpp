#include "statements.h"

#include "worker_names.h"

namespace tabel::sql {

QString shiftList(int shift) {
    // A record is listed once for every registry person it belongs to: by
    // the person's id, or by the person's code, which for a worker holds the
    // worker's id written in digits. The two ways are joined separately
    // (the second leaving out persons already matched by id): one "id or
    // code" join would have the server test every person of the registry
    // against every record. The code is read as sql::codeNumber reads it,
    // so a code that is not a number can never break the statement.
    //
    // The entry date is shown as a date; read as one, it costs the driver a
    // good part less than a timestamp.
    //
    // Every shift has one order, whichever way it is read (all four at once
    // or one alone), ending in the record id: a row number then means the
    // same record before and after a rereading.
    const QString order =
        QStringLiteral("fio, izdel.marka, vid_oper.vid, oper.naimen, color, s.id");
    const QString which = shift == 0 ? QStringLiteral("smena in (1, 2, 3, 4)")
                                     : QStringLiteral("smena = %1").arg(shift);
    const QString records =
        QStringLiteral("from accounts_dep.smena where %1 and data = :data and ok <> :ok")
            .arg(which);
    const QString code = codeNumber(QStringLiteral("person.s_code"));
    // Without the registry's index, the pass over the registry tests every
    // code, which costs more than the rest of the statement, so it is left
    // free to share the registry among the server's helper processes: it
    // reads the records' workers from the records themselves, not from `s`,
    // which only the statement's own process may read.
    //
    // A code can read as a worker number only when it starts with a blank or
    // a zero (below "1" in byte order, or the no-break space) or, starting
    // otherwise, is the number itself followed by nothing but blanks: at or
    // after the lowest number and before the highest number followed by the
    // character after the no-break space. Byte comparisons leave the other
    // codes out at a fraction of the cost of reading them, and the planner
    // counts on few codes passing. The test of what a code reads as stays
    // part of the pass (coalesce keeps it from becoming a join), so only the
    // persons found come back from the helpers.
    const QString pass =
        QStringLiteral(
            "(person.s_code collate \"C\" < '1' "
            "or person.s_code collate \"C\" >= chr(160) "
            "and person.s_code collate \"C\" < chr(161) "
            "or person.s_code collate \"C\" >= (select min(w_id::text collate \"C\") %1) "
            "and person.s_code collate \"C\" < "
            "(select max((w_id::text || chr(161)) collate \"C\") %1)) "
            "and coalesce(%2 in (select w_id::text %1), false)")
            .arg(records, code);
    return QStringLiteral(
               "with s as (select smena.*, smena.xmin::text as row_version %1), "
               // The registry is read for the persons of these records only: by
               // key for the ids, in one pass for the codes.
               "ids as materialized (select person.id, person.s_caption "
               "from cmn_contractor.person person "
               "where person.id = any (array(select distinct w_id::numeric from s))), "
               // The persons whose code reads as a record's worker number.
               "codes as materialized (%3), "
               "p as (select s.id as sid, ids.s_caption as fio from s join ids on ids.id = s.w_id "
               "union all "
               "select s.id, codes.s_caption from s join codes on codes.code = s.w_id::text "
               "where codes.id <> s.w_id) "
               "select s.id, s.data, s.smena, s.i_id, s.o_id, s.w_id, s.cena, p.fio, izdel.marka, "
               "vid_oper.vid::varchar(255) as vid, (case oper.naimen when 0 then "
               "'Готовая продукция' else 'Заготовки' end)::varchar(17) as nmn, oper.naimen, "
               "s.brak, s.kol_vo::numeric::text as kol_vo, "
               "round((s.kol_vo - s.brak) * s.cena::numeric, 2)::text as summa, s.prize, s.color, "
               "s.time, s.ok::varchar(255) as ok, s.vvod::date as vvod, s.id_doc::bigint as "
               "id_doc, "
               "s.id_doc_item::bigint as id_doc_item, s.f_gds_qty_use, "
               "s.id_gds_use::bigint as id_gds_use, s.id_cons_use::bigint as id_cons_use, "
               "s.row_version "
               "from s join p on p.sid = s.id "
               "join accounts_dep.izdel izdel on s.i_id = izdel.id "
               "join accounts_dep.oper oper on s.o_id = oper.id "
               "join accounts_dep.vid_oper vid_oper on oper.vid = vid_oper.id "
               "order by %2")
        .arg(records, shift == 0 ? QStringLiteral("s.smena, ") + order : order,
             personsByCode(QStringLiteral("person.id, %1 as code, person.s_caption").arg(code),
                           QStringLiteral("select w_id::text %1").arg(records), pass));
}

const QList<JsonColumn>& shiftListColumns() {
    static const QList<JsonColumn> columns{{"id", QMetaType::Int},
                                           {"data", QMetaType::QDate},
                                           {"smena", QMetaType::Int},
                                           {"i_id", QMetaType::Int},
                                           {"o_id", QMetaType::Int},
                                           {"w_id", QMetaType::Int},
                                           {"cena", QMetaType::Double},
                                           {"fio", QMetaType::QString, true},
                                           {"marka", QMetaType::QString},
                                           {"vid", QMetaType::QString},
                                           {"nmn", QMetaType::QString},
                                           {"naimen", QMetaType::Int},
                                           {"brak", QMetaType::Int},
                                           {"kol_vo", QMetaType::QString, true},
                                           {"summa", QMetaType::QString, true},
                                           {"prize", QMetaType::Double},
                                           {"color", QMetaType::Int},
                                           {"time", QMetaType::Int},
                                           {"ok", QMetaType::QString},
                                           {"vvod", QMetaType::QDate},
                                           {"id_doc", QMetaType::LongLong},
                                           {"id_doc_item", QMetaType::LongLong},
                                           {"f_gds_qty_use", QMetaType::Double},
                                           {"id_gds_use", QMetaType::LongLong},
                                           {"id_cons_use", QMetaType::LongLong},
                                           {"row_version", QMetaType::QString, true}};
    return columns;
}

QString shiftListJson(int shift) {
    // Values go in as they are: JSON writes numbers as the server writes
    // them (a double in its shortest exact form) and dates as ISO dates,
    // whatever the session's date style.
    QStringList values;
    for (const JsonColumn& c : shiftListColumns())
        values << QStringLiteral("r.") + c.name;
    // The aggregate takes the rows in the order the sorted subquery gives
    // them.
    return QStringLiteral("select coalesce(json_agg(json_build_array(%1))::text, '[]') "
                          "from (%2) r")
        .arg(values.join(QStringLiteral(", ")), shiftList(shift));
}

namespace {

// Both lists have one row shape and one order; only the norms join differs.
// The norms are counted and priced per operation before anything is joined
// to them, so the names are sorted once, for the rows shown. A norm's price
// is the one holding on :day (norm_price_on, written out so that the server
// reads each norm's history through its index, not through one function
// call per norm).
QString operationsWith(const char* normsJoin) {
    return QStringLiteral(
               "select izdel.marka, vid_oper.vid, oper.naimen, (case oper.naimen when 0 then "
               "'Готовая продукция' else 'Заготовки' end) as nmn, coalesce(norms.norma, 0) "
               "as norma, norms.cena, oper.id, oper.i_id, oper.vid as oper_vid "
               "from accounts_dep.oper oper "
               "join accounts_dep.izdel izdel on oper.i_id = izdel.id "
               "join accounts_dep.vid_oper vid_oper on oper.vid = vid_oper.id "
               "%1 (select norm.o_id, count(*) as norma, min(price_on.price)::numeric as cena "
               "from accounts_dep.norm norm left join lateral (%2) price_on on true "
               "group by norm.o_id) norms on norms.o_id = oper.id "
               "order by izdel.marka, vid_oper.vid, oper.naimen")
        .arg(QLatin1String(normsJoin),
             normPriceOn(QStringLiteral("norm.id"), QStringLiteral("cast(:day as date)")));
}

// A list of thousands of operations comes as one JSON text (readJsonRows).
QString asJson(const QString& statement) {
    QStringList values;
    for (const JsonColumn& c : operationColumns())
        values << QStringLiteral("r.") + c.name;
    return QStringLiteral("select coalesce(json_agg(json_build_array(%1))::text, '[]') "
                          "from (%2) r")
        .arg(values.join(QStringLiteral(", ")), statement);
}

} // namespace

QString normPriceOn(const QString& normId, const QString& day) {
    return QStringLiteral("select np.price from accounts_dep.norm_price np "
                          "where np.norm_id = %1 and np.valid_from <= %2 "
                          "order by np.valid_from desc limit 1")
        .arg(normId, day);
}

QString operations() {
    return asJson(operationsWith("join"));
}

QString operationsDirectory() {
    return asJson(operationsWith("left join"));
}

QString operationsByRow(bool directory) {
    return operationsWith(directory ? "left join" : "join");
}

const QList<JsonColumn>& operationColumns() {
    // The price is numeric: the driver hands it over as its text.
    static const QList<JsonColumn> columns{{"marka", QMetaType::QString, true},
                                           {"vid", QMetaType::QString, true},
                                           {"naimen", QMetaType::Int},
                                           {"nmn", QMetaType::QString, true},
                                           {"norma", QMetaType::LongLong},
                                           {"cena", QMetaType::QString, true},
                                           {"id", QMetaType::Int},
                                           {"i_id", QMetaType::Int},
                                           {"oper_vid", QMetaType::Int}};
    return columns;
}

} // namespace tabel::sql
