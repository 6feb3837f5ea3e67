#include "worker_names.h"

#include "sql.h"

namespace tabel::sql {

QString codeNumber(const QString& code) {
    return QStringLiteral("accounts_dep.code_number(%1)").arg(code);
}

QString personsByCode(const QString& columns, const QString& numbers, const QString& pass) {
    // Both ways are planned and the registry's index decides at each run
    // which one runs: a plan that reads the index would, without it, test
    // every code against every number one by one. The pass is planned as a
    // statement of its own, so it keeps the server's helper processes; the
    // choice (which only the statement's own process makes) sits above it,
    // and a pass not chosen never starts them.
    return QStringLiteral(
               "select %1 from cmn_contractor.person person "
               "where accounts_dep.code_index() is not null and %2 = any (array(%3)) "
               "union all "
               "select * from (select %1 from cmn_contractor.person person where %4 offset 0) "
               "passed where accounts_dep.code_index() is null")
        .arg(columns, codeNumber(QStringLiteral("person.s_code")), numbers, pass);
}

std::optional<QString> findCodeIndex(const QSqlDatabase& db) {
    const QVariant name = scalar(db, "select accounts_dep.code_index()");
    if (name.isNull())
        return std::nullopt;
    return name.toString();
}

QString workerNames(const QString& name, const QString& workerIds) {
    const QString code = codeNumber(QStringLiteral("person.s_code"));
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
               "%1_by_code as materialized (select distinct on (c.code) c.code, c.fio from (%3) c "
               "order by c.code, c.s_code = c.code desc, c.id), "
               "%1 as (select w_id, fio from %1_by_id union all "
               "select m.w_id, c.fio from %1_missing m join %1_by_code c on c.code = m.w_id::text)")
        .arg(name, workerIds,
             personsByCode(
                 QStringLiteral("%1 as code, person.s_code, person.id, person.s_caption as fio")
                     .arg(code),
                 QStringLiteral("select w_id::text from %1_missing").arg(name),
                 QStringLiteral("%1 in (select w_id::text from %2_missing)").arg(code, name)));
}

} // namespace tabel::sql
