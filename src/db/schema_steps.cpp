#include "db/schema_steps.h"

#include "db/sql.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <set>

namespace tabel {

namespace {

// Kept apart from every other lock of the program: two upgrades started at
// once run one after the other, and the second finds nothing to do.
constexpr qint64 kUpgradeLock = 0x74616265'6c5f7363; // "tabel_sc"

const char* kStepTable = R"(
create table if not exists accounts_dep.schema_step (
    step       integer primary key,
    name       text not null,
    kind       text not null check (kind in ('addition', 'change')),
    applied    timestamptz not null default now(),
    applied_by text not null default current_user
))";

// "3 «name»"
QString stepName(int number, const QString& name) {
    return QStringLiteral("%1 «%2»").arg(number).arg(name);
}

// The database's steps that `keep` accepts, named and joined.
template <typename Keep> QString appliedList(const std::vector<AppliedStep>& applied, Keep keep) {
    QStringList names;
    for (const AppliedStep& a : applied)
        if (keep(a))
            names << stepName(a.number, a.name);
    return names.join(QLatin1String(", "));
}

QString stepList(const std::vector<int>& numbers, const std::vector<SchemaStep>& steps) {
    QStringList parts;
    for (int n : numbers) {
        const auto it = std::find_if(steps.begin(), steps.end(),
                                     [n](const SchemaStep& s) { return s.number == n; });
        parts << (it == steps.end() ? QString::number(n) : stepName(n, it->name));
    }
    return parts.join(QLatin1String(", "));
}

// Runs a step's statement as it is: no placeholders are looked for in it.
void runDirect(const QSqlDatabase& db, const QString& statement, const SchemaStep& step) {
    QSqlQuery q(db);
    if (!q.exec(statement))
        throw DbError(QStringLiteral("Шаг схемы %1: %2")
                          .arg(stepName(step.number, step.name), q.lastError().text()),
                      statement);
}

} // namespace

std::vector<SchemaStep>
parseSchemaSteps(std::initializer_list<std::tuple<int, QString, QString>> steps) {
    std::vector<SchemaStep> out;
    for (const auto& [number, name, sql] : steps) {
        const QString first = sql.section(QLatin1Char('\n'), 0, 0).simplified();
        out.push_back({number, name, first == QLatin1String("-- kind: addition"), sql});
    }
    std::sort(out.begin(), out.end(),
              [](const SchemaStep& a, const SchemaStep& b) { return a.number < b.number; });
    return out;
}

QStringList splitSqlStatements(const QString& script) {
    QStringList out;
    QString current;
    bool meaningful = false; // the piece holds more than blanks and comments
    const int n = script.size();
    auto flush = [&] {
        if (meaningful)
            out << current.trimmed();
        current.clear();
        meaningful = false;
    };
    for (int i = 0; i < n;) {
        const QChar c = script[i];
        const QChar next = i + 1 < n ? script[i + 1] : QChar();
        if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
            const int end = script.indexOf(QLatin1Char('\n'), i);
            const int stop = end < 0 ? n : end + 1;
            current += script.mid(i, stop - i);
            i = stop;
        } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
            const int end = script.indexOf(QLatin1String("*/"), i + 2);
            const int stop = end < 0 ? n : end + 2;
            current += script.mid(i, stop - i);
            i = stop;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // E'…' strings escape with a backslash; all double the quote.
            const bool escapes =
                c == QLatin1Char('\'') && i > 0 &&
                (script[i - 1] == QLatin1Char('E') || script[i - 1] == QLatin1Char('e'));
            int j = i + 1;
            while (j < n) {
                if (escapes && script[j] == QLatin1Char('\\')) {
                    j += 2;
                    continue;
                }
                if (script[j] == c) {
                    if (j + 1 < n && script[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            const int stop = std::min(n, j + 1);
            current += script.mid(i, stop - i);
            meaningful = true;
            i = stop;
        } else if (c == QLatin1Char('$')) {
            // $tag$ … $tag$, the tag empty or an identifier.
            int j = i + 1;
            while (j < n && (script[j].isLetterOrNumber() || script[j] == QLatin1Char('_')))
                ++j;
            const bool isTag =
                j < n && script[j] == QLatin1Char('$') && (j == i + 1 || !script[i + 1].isDigit());
            if (!isTag) {
                current += c;
                meaningful = true;
                ++i;
                continue;
            }
            const QString tag = script.mid(i, j - i + 1);
            const int end = script.indexOf(tag, j + 1);
            const int stop = end < 0 ? n : end + tag.size();
            current += script.mid(i, stop - i);
            meaningful = true;
            i = stop;
        } else if (c == QLatin1Char(';')) {
            flush();
            ++i;
        } else {
            current += c;
            if (!c.isSpace())
                meaningful = true;
            ++i;
        }
    }
    flush();
    return out;
}

bool SchemaState::newerByAdditionsOnly() const {
    return !unknown.empty() && std::all_of(unknown.begin(), unknown.end(),
                                           [](const AppliedStep& s) { return s.addition; });
}

SchemaState readSchemaState(const QSqlDatabase& db, const std::vector<SchemaStep>& steps) {
    SchemaState state;
    state.tracked =
        scalar(db, "select to_regclass('accounts_dep.schema_step') is not null").toBool();
    if (state.tracked) {
        QSqlQuery q = exec(db, "select step, name, kind, applied from accounts_dep.schema_step "
                               "order by step");
        while (q.next())
            state.applied.push_back({q.value(0).toInt(), q.value(1).toString(),
                                     q.value(2).toString() == QLatin1String("addition"),
                                     q.value(3).toDateTime()});
    }
    std::set<int> known;
    std::set<int> have;
    for (const SchemaStep& s : steps)
        known.insert(s.number);
    for (const AppliedStep& a : state.applied) {
        have.insert(a.number);
        if (!known.count(a.number))
            state.unknown.push_back(a);
    }
    for (const SchemaStep& s : steps)
        if (!have.count(s.number))
            state.missing.push_back(s.number);
    return state;
}

QString schemaRefusal(const SchemaState& state, const std::vector<SchemaStep>& steps) {
    if (!state.unknown.empty() && !state.newerByAdditionsOnly()) {
        return QStringLiteral("База данных обновлена более новой версией программы: шаги схемы "
                              "%1 меняют то, на что рассчитана эта версия.\n"
                              "Установите новую версию программы.")
            .arg(appliedList(state.unknown, [](const AppliedStep& a) { return !a.addition; }));
    }
    if (!state.missing.empty())
        return QStringLiteral("База данных не подготовлена для этой версии программы: "
                              "не выполнены шаги схемы %1.\n"
                              "Администратору: выполните команду\n    %2\n"
                              "и запустите программу снова.")
            .arg(stepList(state.missing, steps), QString::fromUtf8(kUpgradeCommand));
    return {};
}

std::vector<SchemaStep> upgradeSchema(const QSqlDatabase& db, const std::vector<SchemaStep>& steps,
                                      const std::function<void(const SchemaStep&)>& applying) {
    std::vector<SchemaStep> done;
    Transaction tx(db);
    exec(db, "select pg_advisory_xact_lock(:key)", {{"key", kUpgradeLock}});
    // Quiet the notices of objects that are already there.
    exec(db, "set local client_min_messages = warning");
    exec(db, "create schema if not exists accounts_dep");
    exec(db, kStepTable);
    const SchemaState state = readSchemaState(db, steps);
    if (!state.unknown.empty())
        throw SchemaRefused(
            QStringLiteral("В базе данных есть шаги схемы, которых эта версия не "
                           "знает (%1): обновлять её должна новая версия.")
                .arg(appliedList(state.unknown, [](const AppliedStep&) { return true; })));
    for (int number : state.missing) {
        const SchemaStep& step =
            *std::find_if(steps.begin(), steps.end(),
                          [number](const SchemaStep& s) { return s.number == number; });
        if (applying)
            applying(step);
        for (const QString& statement : splitSqlStatements(step.sql))
            runDirect(db, statement, step);
        exec(db, "insert into accounts_dep.schema_step (step, name, kind) values (:s, :n, :k)",
             {{"s", step.number},
              {"n", step.name},
              {"k", step.addition ? QStringLiteral("addition") : QStringLiteral("change")}});
        done.push_back(step);
    }
    tx.commit();
    return done;
}

} // namespace tabel
