#include "rights.h"

#include "db/session_identity.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace tabel {

bool lacksRights(const DbError& error) {
    if (!error.sqlState().isEmpty())
        return error.sqlState() == QLatin1String("42501");
    // Without the driver's SQLSTATE (a failed commit, say): the server's
    // text, in either of the languages a plant's server speaks.
    static const QRegularExpression denied(QStringLiteral("permission denied for|нет доступа к"));
    return denied.match(error.text()).hasMatch();
}

namespace {

struct Verb {
    const char* pattern; // what the statement starts with
    const char* action;  // the action when it names no table below
};

// A table in the genitive, as the action names its rows.
struct Table {
    const char* name;
    const char* rows;
};

const Table kTables[] = {
    {"smena", "производственной записи"},
    {"brigade_job", "бригадного наряда"},
    {"brigade_member", "бригадного наряда"},
    {"h_tabel", "табеля"},
    {"fatigue", "записи хоз. работ"},
    {"norm", "нормы"},
    {"vid_oper", "вида операции"},
    {"oper", "операции"},
    {"gds_and_srv", "изделия"},
    {"izdel", "изделия"},
    {"item", "номенклатурной группы"},
    {"person", "работника"},
    {"workers", "данных импорта"},
    {"nomenkl", "данных импорта"},
    {"ver", "отметки сборки"},
};

QString rowsOf(const QString& table) {
    for (const Table& t : kTables)
        if (table == QLatin1String(t.name))
            return QString::fromUtf8(t.rows);
    return QStringLiteral("данных");
}

} // namespace

QString refusedAction(const QString& statement) {
    const QString s = statement.simplified().toLower();
    struct Special {
        const char* pattern;
        const char* action;
    };
    static const Special specials[] = {
        {R"(^update accounts_dep\.smena set ok\b)", "приемка записи"},
        {R"(^insert into accounts_dep\.closed_month\b|accounts_dep\.close_month\()",
         "закрытие месяца"},
        {R"(^delete from accounts_dep\.closed_month\b|accounts_dep\.reopen_month\()",
         "открытие месяца"},
        {R"(^delete from accounts_dep\.change_log\b|accounts_dep\.prune_change_log\()",
         "очистка истории изменений"},
        {R"(^lock table\b)", "импорт из старой базы"},
        {R"(accounts_dep\.log_worker_change\()", "изменение работника"},
    };
    for (const Special& sp : specials)
        if (QRegularExpression(QString::fromLatin1(sp.pattern)).match(s).hasMatch())
            return QString::fromUtf8(sp.action);
    static const QRegularExpression write(
        QStringLiteral(R"(\b(insert into|update|delete from)\s+(?:\w+\.)?(\w+))"));
    const QRegularExpressionMatch m = write.match(s);
    if (m.hasMatch()) {
        const QString verb = m.captured(1);
        const QString what = rowsOf(m.captured(2));
        if (verb == QLatin1String("insert into"))
            return QStringLiteral("добавление ") + what;
        if (verb == QLatin1String("update"))
            return QStringLiteral("изменение ") + what;
        return QStringLiteral("удаление ") + what;
    }
    // A row lock, taken before a change or a deletion alike.
    static const QRegularExpression locked(QStringLiteral(
        R"(\bfrom\s+(?:\w+\.)?(\w+)\b.*\bfor (update|no key update|share|key share)\b)"));
    const QRegularExpressionMatch l = locked.match(s);
    if (l.hasMatch())
        return QStringLiteral("изменение или удаление ") + rowsOf(l.captured(1));
    // A plain read, refused to a login of no group (the web view reads as
    // the person).
    static const QRegularExpression read(QStringLiteral(R"(^(select|with)\b)"));
    if (read.match(s).hasMatch())
        return QStringLiteral("просмотр данных");
    return QStringLiteral("изменение данных");
}

QString rightsRefusalText(const DbError& error) {
    QString role;
    const QSqlDatabase db = QSqlDatabase::database(error.connection(), false);
    try {
        if (db.isOpen())
            role = scalar(db, "select accounts_dep.session_app_role()").toString();
    } catch (const DbError&) {
        // A lost connection, say: what the program says it is.
        role = sessionIdentity(db).role;
    }
    const QString action = refusedAction(error.statement());
    if (role.isEmpty())
        return QStringLiteral("Недостаточно прав: %1.").arg(action);
    return QStringLiteral("Недостаточно прав: %1 (роль «%2»).").arg(action, role);
}

DatabaseRights databaseRights(const QSqlDatabase& db) {
    // One round trip; has_*_privilege answers for the user's own rights and
    // those of the groups it inherits.
    QSqlQuery q = exec(db, "select has_table_privilege('accounts_dep.smena', 'INSERT'), "
                           "has_column_privilege('accounts_dep.smena', 'w_id', 'UPDATE'), "
                           "has_table_privilege('accounts_dep.smena', 'DELETE'), "
                           "has_column_privilege('accounts_dep.smena', 'ok', 'UPDATE'), "
                           "has_table_privilege('accounts_dep.fatigue', 'INSERT') and "
                           "has_table_privilege('accounts_dep.fatigue', 'UPDATE') and "
                           "has_table_privilege('accounts_dep.fatigue', 'DELETE'), "
                           "has_table_privilege('accounts_dep.h_tabel', 'DELETE') and "
                           "has_table_privilege('accounts_dep.h_tabel', 'INSERT'), "
                           "has_table_privilege('accounts_dep.oper', 'INSERT') and "
                           "has_table_privilege('accounts_dep.norm', 'UPDATE')");
    DatabaseRights r;
    if (!q.next())
        return r;
    r.addRecords = q.value(0).toBool();
    r.changeRecords = q.value(1).toBool();
    r.deleteRecords = q.value(2).toBool();
    r.acceptRecords = q.value(3).toBool();
    r.housekeeping = q.value(4).toBool();
    r.timesheets = q.value(5).toBool();
    r.directories = q.value(6).toBool();
    return r;
}

} // namespace tabel
