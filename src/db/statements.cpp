#include "statements.h"

namespace tabel::sql {

QString shiftList(int shift) {
    // A record is listed once for every registry person it belongs to: by the
    // person's id, or by the person's code read as a number. The two ways are
    // joined separately (the second leaving out persons already matched by
    // id), so the server can hash-join the large registry instead of testing
    // every person against every record. Codes that are not plain numbers
    // never match and cannot break the cast.
    const QString order = shift == 1
                              ? QStringLiteral("fio, izdel.marka, vid_oper.vid, oper.naimen, color")
                              : QStringLiteral("fio");
    return QStringLiteral(
               "with s as (select * from accounts_dep.smena where smena = %1 and data = :data "
               "and ok <> :ok), "
               "p as (select s.id as sid, person.s_caption as fio from s "
               "join cmn_contractor.person person on person.id = s.w_id "
               "union all "
               "select s.id, person.s_caption from s join cmn_contractor.person person "
               "on (case when person.s_code ~ '^\\s*[0-9]{1,15}\\s*$' then person.s_code::t_id "
               "end) "
               "= s.w_id where person.id <> s.w_id) "
               "select s.id, s.data, s.smena, s.i_id, s.o_id, s.w_id, s.cena, p.fio, izdel.marka, "
               "vid_oper.vid, (case oper.naimen when 0 then 'Готовая продукция' else 'Заготовки' "
               "end) as nmn, oper.naimen, s.brak, s.kol_vo::numeric as kol_vo, "
               "round((s.kol_vo - s.brak) * s.cena::numeric, 2) as summa, s.prize, s.color, "
               "s.time, s.ok, s.vvod, s.id_doc, s.id_doc_item, s.f_gds_qty_use, s.id_gds_use, "
               "s.id_cons_use "
               "from s join p on p.sid = s.id "
               "join accounts_dep.izdel izdel on s.i_id = izdel.id "
               "join accounts_dep.oper oper on s.o_id = oper.id "
               "join accounts_dep.vid_oper vid_oper on oper.vid = vid_oper.id "
               "order by %2")
        .arg(shift)
        .arg(order);
}

QString operations() {
    return QStringLiteral(
        "select izdel.marka, vid_oper.vid, oper.naimen, (case oper.naimen when 0 then "
        "'Готовая продукция' else 'Заготовки' end) as nmn, count(norm.o_id) as norma, "
        "min(norm.price)::numeric as cena, oper.id, oper.i_id, oper.vid as oper_vid "
        "from accounts_dep.norm norm join accounts_dep.oper oper on norm.o_id = oper.id "
        "join accounts_dep.izdel izdel on oper.i_id = izdel.id "
        "join accounts_dep.vid_oper vid_oper on oper.vid = vid_oper.id "
        "group by izdel.marka, vid_oper.vid, oper.naimen, oper.id, oper.i_id, oper.vid "
        "order by izdel.marka, vid_oper.vid, oper.naimen");
}

} // namespace tabel::sql
