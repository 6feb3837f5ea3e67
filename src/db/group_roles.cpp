#include "group_roles.h"

#include "db/sql.h"

#include <QSqlQuery>
#include <stdexcept>
#include <vector>

namespace tabel {

namespace {

const QString kAdmin = QStringLiteral("tabel_admin");
const QString kOffice = QStringLiteral("tabel_office");
const QString kForeman = QStringLiteral("tabel_foreman");
const QString kStore = QStringLiteral("tabel_store");

QStringList everyone() {
    return {kAdmin, kOffice, kForeman, kStore};
}

enum class Kind { Schema, Relation, Sequence, Routine };

// One GRANT: privileges as GRANT writes them (column lists included), on one
// object, to some of the groups.
struct Grant {
    Kind kind;
    QString object;
    QString privileges;
    QStringList roles;
};

QString keyword(Kind kind) {
    switch (kind) {
    case Kind::Schema:
        return QStringLiteral("SCHEMA");
    case Kind::Relation:
        return QStringLiteral("TABLE");
    case Kind::Sequence:
        return QStringLiteral("SEQUENCE");
    case Kind::Routine:
        return QStringLiteral("ROUTINE");
    }
    return {};
}

QString dayColumns() {
    QStringList days;
    for (int d = 1; d <= 31; ++d)
        days << QStringLiteral("d%1").arg(d);
    return days.join(QStringLiteral(", "));
}

QString ours(const char* name) {
    return QStringLiteral("accounts_dep.") + QLatin1String(name);
}

// What each role may do beyond reading. Reads (every table and view of
// accounts_dep, the neighbours' tables the windows show) are added for
// everyone by grantsFor().
std::vector<Grant> writeGrants() {
    const QString writes = QStringLiteral("INSERT, UPDATE, DELETE");
    std::vector<Grant> g = {
        // Every start stamps the build into the version gate's row.
        {Kind::Relation, ours("ver"), QStringLiteral("INSERT (d, t), UPDATE (d, t)"), everyone()},
        {Kind::Routine, ours("month_key(date)"), QStringLiteral("EXECUTE"), everyone()},
        {Kind::Routine, ours("closed_month_text(integer)"), QStringLiteral("EXECUTE"), everyone()},
        {Kind::Routine, ours("change_log_keep_until()"), QStringLiteral("EXECUTE"), everyone()},
        {Kind::Routine, ours("member_role()"), QStringLiteral("EXECUTE"), everyone()},
        {Kind::Routine, ours("session_app_role()"), QStringLiteral("EXECUTE"), everyone()},
        // The number a registry code reads as. The plant may index the
        // registry on it, and an index's function runs with the rights of
        // whoever writes the registry, our groups or not: everyone may call
        // it (it reads nothing).
        {Kind::Routine,
         ours("code_number(text)"),
         QStringLiteral("EXECUTE"),
         {QStringLiteral("PUBLIC")}},
        {Kind::Routine, ours("code_index()"), QStringLiteral("EXECUTE"), everyone()},
        // A norm's and an operation's price on a day, for anyone who reads.
        {Kind::Routine, ours("norm_price_on(integer, date)"), QStringLiteral("EXECUTE"),
         everyone()},
        {Kind::Routine, ours("oper_price_on(integer, date)"), QStringLiteral("EXECUTE"),
         everyone()},
        {Kind::Routine,
         ours("hold_for_use(text, bigint)"),
         QStringLiteral("EXECUTE"),
         {kAdmin, kOffice, kForeman}},

        // Warehouse: the acceptance mark only.
        {Kind::Relation, ours("smena"), QStringLiteral("UPDATE (ok)"), {kStore}},

        // Foreman: new records, brigade jobs and repeated shifts, and the
        // day cells of the time sheet their saves keep.
        {Kind::Relation, ours("smena"), QStringLiteral("INSERT"), {kForeman}},
        {Kind::Relation, ours("brigade_job"), QStringLiteral("INSERT"), {kForeman}},
        {Kind::Relation, ours("brigade_member"), QStringLiteral("INSERT"), {kForeman}},
        {Kind::Relation,
         ours("h_tabel"),
         QStringLiteral("INSERT, UPDATE (%1)").arg(dayColumns()),
         {kForeman}},
        {Kind::Sequence, ours("smena_id_seq"), QStringLiteral("USAGE"), {kForeman}},
        {Kind::Sequence, ours("brigade_job_id_seq"), QStringLiteral("USAGE"), {kForeman}},
        {Kind::Sequence, ours("brigade_member_id_seq"), QStringLiteral("USAGE"), {kForeman}},
        {Kind::Sequence, ours("h_tabel_id_seq"), QStringLiteral("USAGE"), {kForeman, kOffice}},

        // Office: housekeeping and average-piecework entries, their
        // recalculation, the time sheets' rebuilds.
        {Kind::Relation, ours("fatigue"), writes, {kOffice}},
        {Kind::Relation, ours("h_tabel"), writes, {kOffice}},
        {Kind::Sequence, ours("fatigue_id_seq"), QStringLiteral("USAGE"), {kOffice}},

        // Administrator: everything the program writes, directories, norms
        // and the legacy import included; closing and reopening months and
        // pruning the history, which the database's triggers write down.
        {Kind::Relation, ours("closed_month"), QStringLiteral("INSERT, DELETE"), {kAdmin}},
        {Kind::Relation, ours("change_log"), QStringLiteral("DELETE"), {kAdmin}},
        {Kind::Routine,
         ours("close_month(integer, integer, text)"),
         QStringLiteral("EXECUTE"),
         {kAdmin}},
        {Kind::Routine,
         ours("reopen_month(integer, integer, text)"),
         QStringLiteral("EXECUTE"),
         {kAdmin}},
        {Kind::Routine, ours("prune_change_log(date)"), QStringLiteral("EXECUTE"), {kAdmin}},
        {Kind::Routine,
         ours("norm_prices_catch_up(integer[])"),
         QStringLiteral("EXECUTE"),
         {kAdmin}},
        {Kind::Routine,
         ours("log_worker_change(text, bigint, jsonb, jsonb)"),
         QStringLiteral("EXECUTE"),
         {kAdmin}},
        // The two designed writes into other applications' tables.
        {Kind::Relation, QStringLiteral("cmn_classifier.item"), writes, {kAdmin}},
        {Kind::Relation, QStringLiteral("cmn_gds_and_srv.gds_and_srv"), writes, {kAdmin}},
    };
    for (const char* table :
         {"smena", "h_tabel", "fatigue", "oper", "norm", "norm_price", "vid_oper", "brigade_job",
          "brigade_member", "workers", "nomenkl", "person", "izdel"})
        g.push_back({Kind::Relation, ours(table), writes, {kAdmin}});
    return g;
}

// The neighbours' tables the windows read.
const char* const kNeighbourReads[] = {"cmn_contractor.person",       "cmn_classifier.item",
                                       "cmn_gds_and_srv.gds_and_srv", "cmn_department.department",
                                       "hrms_staffpos.staffpos",      "adm_role.roles"};

QStringList column(QSqlQuery q) {
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

// Whether the connected user owns the object (directly or through a role it
// uses), null when there is no such object.
QVariant owned(const QSqlDatabase& db, Kind kind, const QString& object) {
    switch (kind) {
    case Kind::Schema:
        return scalar(db,
                      "select pg_has_role(session_user, nspowner, 'USAGE') from pg_namespace "
                      "where nspname = :o",
                      {{"o", object}});
    case Kind::Relation:
    case Kind::Sequence:
        return scalar(db,
                      "select pg_has_role(session_user, relowner, 'USAGE') from pg_class "
                      "where oid = to_regclass(:o)",
                      {{"o", object}});
    case Kind::Routine:
        return scalar(db,
                      "select pg_has_role(session_user, proowner, 'USAGE') from pg_proc "
                      "where oid = to_regprocedure(:o)",
                      {{"o", object}});
    }
    return {};
}

// The privileges of a GRANT that a role does not hold afterwards.
QStringList missing(const QSqlDatabase& db, const Grant& g, const QString& role) {
    QStringList out;
    for (QString privilege : g.privileges.split(QLatin1Char(','))) {
        privilege = privilege.trimmed();
        QString check;
        switch (g.kind) {
        case Kind::Schema:
            check = QStringLiteral("select has_schema_privilege(:r, :o, :p)");
            break;
        case Kind::Relation:
            check = QStringLiteral("select has_table_privilege(:r, :o, :p)");
            break;
        case Kind::Sequence:
            check = QStringLiteral("select has_sequence_privilege(:r, :o, :p)");
            break;
        case Kind::Routine:
            check = QStringLiteral("select has_function_privilege(:r, :o, :p)");
            break;
        }
        if (!scalar(db, check, {{"r", role}, {"o", g.object}, {"p", privilege}}).toBool())
            out << privilege;
    }
    return out;
}

QString grantStatement(const Grant& g) {
    return QStringLiteral("GRANT %1 ON %2 %3 TO %4")
        .arg(g.privileges, keyword(g.kind), g.object, g.roles.join(QStringLiteral(", ")));
}

// Another owner's object: granted as far as the connected user may; what is
// still missing afterwards is listed for the plant.
void grantForeign(const QSqlDatabase& db, const Grant& g, QStringList& notGranted) {
    try {
        Transaction part(db);
        exec(db, grantStatement(g));
        part.commit();
    } catch (const DbError&) {
        // Checked below, as a grant that gave nothing.
    }
    for (const QString& role : g.roles) {
        const QStringList lacking = missing(db, g, role);
        if (!lacking.isEmpty())
            notGranted << QStringLiteral("%1 на %2 для %3")
                              .arg(lacking.join(QStringLiteral(", ")), g.object, role);
    }
}

void createMissingRoles(const QSqlDatabase& db, GroupRolesSetup& done) {
    const QStringList present = existingGroupRoles(db);
    QStringList absent;
    for (const QString& role : everyone())
        (present.contains(role) ? done.kept : absent) << role;
    for (const QString& role : absent) {
        try {
            Transaction part(db);
            exec(db, QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(role));
            part.commit();
            done.created << role;
        } catch (const DbError& e) {
            QStringList statements;
            for (const QString& r : absent)
                statements << QStringLiteral("CREATE ROLE %1 NOLOGIN;").arg(r);
            throw std::runtime_error(
                QStringLiteral("Не удалось создать роль %1 (%2). Роли создает суперпользователь "
                               "или пользователь с правом CREATEROLE: %3 Затем повторите "
                               "setup-roles.")
                    .arg(role, e.text(), statements.join(QLatin1Char(' ')))
                    .toStdString());
        }
    }
}

} // namespace

QStringList existingGroupRoles(const QSqlDatabase& db) {
    QStringList present;
    for (const QString& role : everyone())
        if (scalar(db, "select 1 from pg_roles where rolname = :r", {{"r", role}}).isValid())
            present << role;
    return present;
}

GroupRolesSetup setupGroupRoles(const QSqlDatabase& db) {
    GroupRolesSetup done;
    Transaction tx(db);
    if (!owned(db, Kind::Schema, QStringLiteral("accounts_dep")).toBool())
        throw std::runtime_error(
            QStringLiteral("Роли настраивает владелец схемы accounts_dep; подключен «%1».")
                .arg(scalar(db, "select session_user").toString())
                .toStdString());
    // Several servers' jobs at once would grant over each other's revocations.
    exec(db, "select pg_advisory_xact_lock(hashtextextended('tabel setup-roles', 0))");
    createMissingRoles(db, done);

    const QString from = QStringLiteral(" FROM PUBLIC, ") + everyone().join(QStringLiteral(", "));
    const QStringList relations =
        column(exec(db, "select c.oid::regclass::text from pg_class c join pg_namespace n on "
                        "n.oid = c.relnamespace where n.nspname = 'accounts_dep' and c.relkind "
                        "in ('r', 'v', 'm', 'p', 'f') order by 1"));
    const auto mine = [&](const char* kinds) {
        return column(exec(db,
                           "select c.oid::regclass::text from pg_class c join pg_namespace n on "
                           "n.oid = c.relnamespace where n.nspname = 'accounts_dep' and "
                           "c.relkind = any (string_to_array(:k, ',')::\"char\"[]) and "
                           "pg_has_role(session_user, c.relowner, 'USAGE') order by 1",
                           {{"k", QLatin1String(kinds)}}));
    };
    const QStringList tables = mine("r,v,m,p,f");
    const QStringList sequences = mine("S");
    const QStringList routines =
        column(exec(db, "select p.oid::regprocedure::text from pg_proc p join pg_namespace n on "
                        "n.oid = p.pronamespace where n.nspname = 'accounts_dep' and "
                        "pg_has_role(session_user, p.proowner, 'USAGE') order by 1"));
    // Back to nothing, so that the grants below are all there is.
    exec(db, QStringLiteral("REVOKE ALL ON SCHEMA accounts_dep") + from);
    if (!tables.isEmpty())
        exec(db, QStringLiteral("REVOKE ALL ON TABLE ") + tables.join(QStringLiteral(", ")) + from);
    if (!sequences.isEmpty())
        exec(db, QStringLiteral("REVOKE ALL ON SEQUENCE ") + sequences.join(QStringLiteral(", ")) +
                     from);
    if (!routines.isEmpty())
        exec(db,
             QStringLiteral("REVOKE ALL ON ROUTINE ") + routines.join(QStringLiteral(", ")) + from);

    std::vector<Grant> grants{{Kind::Schema, QStringLiteral("accounts_dep"), "USAGE", everyone()}};
    for (const QString& r : relations)
        grants.push_back({Kind::Relation, r, QStringLiteral("SELECT"), everyone()});
    for (const char* schema : {"cmn_contractor", "cmn_classifier", "cmn_gds_and_srv",
                               "cmn_department", "hrms_staffpos", "adm_role"})
        grants.push_back(
            {Kind::Schema, QLatin1String(schema), QStringLiteral("USAGE"), everyone()});
    for (const char* table : kNeighbourReads)
        grants.push_back(
            {Kind::Relation, QLatin1String(table), QStringLiteral("SELECT"), everyone()});
    for (const Grant& g : writeGrants())
        grants.push_back(g);
    // The administrator's writes draw ids from every sequence of ours, and the
    // import moves them on; the designed writes draw from the neighbours'.
    for (const QString& s : sequences)
        grants.push_back({Kind::Sequence, s, QStringLiteral("USAGE, SELECT, UPDATE"), {kAdmin}});
    for (const QString& s : column(exec(
             db, "select distinct s.oid::regclass::text from pg_attrdef d join pg_depend dep on "
                 "dep.classid = 'pg_attrdef'::regclass and dep.objid = d.oid join pg_class s on "
                 "s.oid = dep.refobjid and s.relkind = 'S' where d.adrelid in "
                 "(to_regclass('cmn_classifier.item'), to_regclass('cmn_gds_and_srv.gds_and_srv')) "
                 "order by 1")))
        grants.push_back({Kind::Sequence, s, QStringLiteral("USAGE, SELECT, UPDATE"), {kAdmin}});

    for (const Grant& g : grants) {
        const QVariant own = owned(db, g.kind, g.object);
        if (!own.isValid()) {
            done.notGranted
                << QStringLiteral("%1 на %2: такого объекта нет").arg(g.privileges, g.object);
            continue;
        }
        if (own.toBool())
            exec(db, grantStatement(g));
        else
            grantForeign(db, g, done.notGranted);
    }
    tx.commit();
    return done;
}

} // namespace tabel
