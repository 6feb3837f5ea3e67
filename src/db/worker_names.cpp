#include "worker_names.h"

namespace tabel::sql {

namespace {

// Blanks as the server's integer input skips them, and the no-break space
// that a code pasted from a document brings along.
const char* kBlankCodes = "9, 10, 11, 12, 13, 32, 160";
const char* kBlanks = "chr(9) || chr(10) || chr(11) || chr(12) || chr(13) || ' ' || chr(160)";

} // namespace

QString codeNumber(const QString& code) {
    // Only a code that starts with a blank or a zero or ends with a blank is
    // rewritten: trimming every code of a large registry costs twice as much
    // as comparing it, and the others read as themselves already.
    return QStringLiteral("(case when ascii(%1) in (%2, 48) or ascii(right(%1, 1)) in (%2) "
                          "then ltrim(btrim(%1, %3), '0') else %1 end)")
        .arg(code, QLatin1String(kBlankCodes), QLatin1String(kBlanks));
}

QString workerNames(const QString& name, const QString& workerIds) {
    return QStringLiteral(
               "%1_ids as materialized (select distinct x.w_id from (%2) x (w_id) "
               "where x.w_id is not null), "
               "%1_by_id as materialized (select person.id::integer as w_id, person.s_caption as "
               "fio from cmn_contractor.person person "
               "where person.id = any (array(select w_id::numeric from %1_ids))), "
               // When every worker has a person by key, this is empty and the
               // registry is not read again.
               "%1_missing as materialized (select w_id from %1_ids i where not exists "
               "(select 1 from %1_by_id b where b.w_id = i.w_id)), "
               "%1_by_code as materialized (select distinct on (c.code) c.code, c.fio from "
               "(select %3 as code, person.s_code, person.id, person.s_caption as fio "
               "from cmn_contractor.person person "
               "where %3 in (select w_id::text from %1_missing)) c "
               "order by c.code, c.s_code = c.code desc, c.id), "
               "%1 as (select w_id, fio from %1_by_id union all "
               "select m.w_id, c.fio from %1_missing m join %1_by_code c on c.code = m.w_id::text)")
        .arg(name, workerIds, codeNumber(QStringLiteral("person.s_code")));
}

} // namespace tabel::sql
