#include "record_history.h"

#include "db/array_param.h"
#include "db/sql.h"
#include "db/worker_names.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSqlQuery>
#include <algorithm>
#include <limits>
#include <map>

namespace tabel {

namespace {

// jsonb's text of a flat object: `{"a": 1, "b": "x\"y", "c": null}`.
class JsonReader {
public:
    explicit JsonReader(const QString& s) : s_(s) {}

    QList<std::pair<QString, HistoryValue>> members() {
        QList<std::pair<QString, HistoryValue>> out;
        blank();
        if (!take(u'{'))
            return out;
        for (blank(); i_ < s_.size() && s_[i_] != u'}'; blank()) {
            const QString key = string();
            blank();
            take(u':');
            blank();
            HistoryValue value;
            if (i_ < s_.size() && s_[i_] == u'"') {
                value.text = string();
            } else {
                value.text = raw().trimmed();
                value.null = value.text == QLatin1String("null");
                if (value.null)
                    value.text.clear();
                value.number =
                    !value.text.isEmpty() && (value.text[0].isDigit() || value.text[0] == u'-');
            }
            out.append({key, value});
            blank();
            take(u',');
        }
        return out;
    }

private:
    void blank() {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
    }
    bool take(char16_t c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    QString string() {
        QString out;
        if (!take(u'"'))
            return out;
        while (i_ < s_.size() && s_[i_] != u'"') {
            QChar c = s_[i_++];
            if (c == u'\\' && i_ < s_.size()) {
                const QChar e = s_[i_++];
                switch (e.unicode()) {
                case u'b':
                    c = u'\b';
                    break;
                case u'f':
                    c = u'\f';
                    break;
                case u'n':
                    c = u'\n';
                    break;
                case u'r':
                    c = u'\r';
                    break;
                case u't':
                    c = u'\t';
                    break;
                case u'u':
                    // UTF-16 units, as QString holds them: a pair of escapes
                    // for a surrogate pair makes the right character.
                    c = QChar(char16_t(s_.mid(i_, 4).toUShort(nullptr, 16)));
                    i_ += 4;
                    break;
                default:
                    c = e;
                }
            }
            out += c;
        }
        take(u'"');
        return out;
    }
    // A number, true, false, null or a nested value: up to the comma or
    // brace that ends it.
    QString raw() {
        const qsizetype start = i_;
        int depth = 0;
        for (; i_ < s_.size(); ++i_) {
            const QChar c = s_[i_];
            if (c == u'"') {
                string();
                --i_;
            } else if (c == u'{' || c == u'[') {
                ++depth;
            } else if (c == u'}' || c == u']') {
                if (depth == 0)
                    break;
                --depth;
            } else if (c == u',' && depth == 0) {
                break;
            }
        }
        return s_.mid(start, i_ - start);
    }

    const QString& s_;
    qsizetype i_ = 0;
};

constexpr int kPage = 10000;

const char* kSelect =
    "select id, (extract(epoch from changed_at) * 1000)::bigint, db_user, app_role, "
    "workstation, table_name, row_id, action, worker_id, old_values::text, new_values::text, "
    "note";
const char* kFrom = " from accounts_dep.change_log ";

std::optional<qint64> optionalId(const QVariant& v) {
    if (v.isNull())
        return std::nullopt;
    return v.toLongLong();
}

HistoryEntry readEntry(const QSqlQuery& q) {
    HistoryEntry e;
    e.id = q.value(0).toLongLong();
    e.changedAt = QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong()).toLocalTime();
    e.dbUser = q.value(2).toString();
    e.appRole = q.value(3).toString();
    e.workstation = q.value(4).toString();
    e.table = q.value(5).toString();
    e.rowId = optionalId(q.value(6));
    e.action = q.value(7).toString();
    e.workerId = optionalId(q.value(8));
    e.note = q.value(11).toString();
    QMap<QString, HistoryChange> changes;
    for (const auto& [column, value] : jsonMembers(q.value(9).toString())) {
        changes[column].column = column;
        changes[column].before = value;
    }
    for (const auto& [column, value] : jsonMembers(q.value(10).toString())) {
        changes[column].column = column;
        changes[column].after = value;
    }
    e.changes = changes.values();
    std::stable_sort(
        e.changes.begin(), e.changes.end(), [&e](const HistoryChange& a, const HistoryChange& b) {
            return historyColumnRank(e.table, a.column) < historyColumnRank(e.table, b.column);
        });
    return e;
}

qint64 localMidnight(const QDate& day) {
    return day.startOfDay().toSecsSinceEpoch();
}

// What the ids of a list of entries stand for, read with one statement:
// each kind of row by its key, the workers as the rest of the program finds
// them in the people registry, and the brigade members that ever belonged
// to a job (a deleted share names a member that is gone too).
const char* kNames =
    " select 'w', w_id::bigint, fio, null, null from names"
    " union all select 'i', p.id::bigint, p.marka, null, null from accounts_dep.izdel p"
    " where p.id = any (cast(:i as numeric[]))"
    " union all select 'o', o.id::bigint, v.vid, o.naimen::text, p.marka"
    " from accounts_dep.oper o left join accounts_dep.vid_oper v on v.id = o.vid"
    " left join accounts_dep.izdel p on p.id = o.i_id where o.id = any (cast(:o as integer[]))"
    " union all select 't', v.id::bigint, v.vid, null, null from accounts_dep.vid_oper v"
    " where v.id = any (cast(:t as integer[]))"
    " union all select 'g', g.id::bigint, g.s_caption, null, null from cmn_classifier.item g"
    " where g.id = any (cast(:g as integer[]))"
    " union all select 'm', m.id::bigint, m.job_id::text, null, null"
    " from accounts_dep.brigade_member m where m.id = any (cast(:m as integer[]))"
    " union all select 'm', l.row_id, coalesce(l.new_values, l.old_values) ->> 'job_id', null, null"
    " from accounts_dep.change_log l where l.table_name = 'brigade_member'"
    " and l.row_id = any (cast(:m as bigint[])) and l.action in ('insert', 'delete')";

// An id as the statement's integer keys hold it, or nothing.
std::optional<int> key(const HistoryValue& v) {
    if (v.null || !v.number)
        return std::nullopt;
    bool ok = false;
    const qlonglong id = v.text.toLongLong(&ok);
    if (!ok || id < 1 || id > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(id);
}

QString arrayText(const QSet<int>& ids) {
    return arrayParam(ids);
}

// The job a production record's values name as a share, when it is one:
// id_doc the job, id_doc_item a member of it.
std::optional<std::pair<int, int>> shareLink(const HistoryEntry& e) {
    if (e.table != QLatin1String("smena"))
        return std::nullopt;
    const HistoryValue* job = nullptr;
    const HistoryValue* member = nullptr;
    for (const HistoryChange& c : e.changes) {
        const std::optional<HistoryValue>& v = c.after ? c.after : c.before;
        if (c.column == QLatin1String("id_doc"))
            job = &*v;
        else if (c.column == QLatin1String("id_doc_item"))
            member = &*v;
    }
    if (!job || !member || !key(*job) || !key(*member))
        return std::nullopt;
    return std::pair{*key(*job), *key(*member)};
}

} // namespace

void nameHistoryEntries(const QSqlDatabase& db, QList<HistoryEntry>& entries) {
    const HistoryColumn named[] = {HistoryColumn::Worker, HistoryColumn::Product,
                                   HistoryColumn::Operation, HistoryColumn::OperationType,
                                   HistoryColumn::Group};
    std::map<HistoryColumn, QSet<int>> wanted;
    QSet<int> members;
    for (const HistoryEntry& e : entries) {
        if (e.workerId && *e.workerId > 0 && *e.workerId <= std::numeric_limits<int>::max())
            wanted[HistoryColumn::Worker].insert(static_cast<int>(*e.workerId));
        for (const HistoryChange& c : e.changes) {
            const HistoryColumn kind = historyColumnKind(e.table, c.column);
            if (std::find(std::begin(named), std::end(named), kind) == std::end(named))
                continue;
            for (const auto& v : {c.before, c.after})
                if (v && key(*v))
                    wanted[kind].insert(*key(*v));
        }
        if (const auto link = shareLink(e))
            members.insert(link->second);
    }
    auto ids = [&](HistoryColumn kind) { return arrayText(wanted[kind]); };
    if (members.isEmpty() &&
        std::all_of(std::begin(named), std::end(named),
                    [&](HistoryColumn kind) { return wanted[kind].isEmpty(); }))
        return;

    QSqlQuery q =
        exec(db,
             QStringLiteral("with ") +
                 sql::workerNames(QStringLiteral("names"),
                                  QStringLiteral("select unnest(cast(:w as integer[]))")) +
                 QLatin1String(kNames),
             {{"w", ids(HistoryColumn::Worker)},
              {"i", ids(HistoryColumn::Product)},
              {"o", ids(HistoryColumn::Operation)},
              {"t", ids(HistoryColumn::OperationType)},
              {"g", ids(HistoryColumn::Group)},
              {"m", arrayText(members)}});
    std::map<HistoryColumn, QHash<qint64, QString>> names;
    struct Operation {
        QString vid;
        int kind = 0;
        QString marka;
    };
    QHash<qint64, Operation> operations;
    QSet<std::pair<qint64, qint64>> shares; // job, member
    while (q.next()) {
        const QString what = q.value(0).toString();
        const qint64 id = q.value(1).toLongLong();
        const QString name = q.value(2).toString().trimmed();
        if (what == QLatin1String("o")) {
            if (!name.isEmpty())
                operations.insert(id, {name, q.value(3).toInt(), q.value(4).toString().trimmed()});
        } else if (what == QLatin1String("m")) {
            shares.insert({name.toLongLong(), id});
        } else if (!name.isEmpty()) {
            const HistoryColumn kind = what == QLatin1String("w")   ? HistoryColumn::Worker
                                       : what == QLatin1String("i") ? HistoryColumn::Product
                                       : what == QLatin1String("t") ? HistoryColumn::OperationType
                                                                    : HistoryColumn::Group;
            names[kind].insert(id, name);
        }
    }

    for (HistoryEntry& e : entries) {
        if (e.workerId)
            e.workerName = names[HistoryColumn::Worker].value(*e.workerId);
        if (const auto link = shareLink(e); link && shares.contains(*link))
            e.brigadeJob = link->first;
        for (HistoryChange& c : e.changes) {
            const HistoryColumn kind = historyColumnKind(e.table, c.column);
            for (std::optional<HistoryValue>* v : {&c.before, &c.after}) {
                if (!*v || !key(**v))
                    continue;
                const int id = *key(**v);
                if (kind != HistoryColumn::Operation) {
                    (*v)->name = names[kind].value(id);
                } else if (const auto o = operations.constFind(id); o != operations.constEnd()) {
                    // A norm's row names no product of its own.
                    const QString kindText = o->kind == 0 ? QStringLiteral("Готовая продукция")
                                                          : QStringLiteral("Заготовки");
                    (*v)->name = o->vid + QStringLiteral(" (") + kindText + QLatin1Char(')');
                    if (e.table == QLatin1String("norm") && !o->marka.isEmpty())
                        (*v)->name = o->marka + QStringLiteral(", ") + (*v)->name;
                }
            }
        }
    }
}

QList<std::pair<QString, HistoryValue>> jsonMembers(const QString& json) {
    return JsonReader(json).members();
}

QList<HistoryEntry> recordHistory(const QSqlDatabase& db, const QString& table, qint64 rowId) {
    QSqlQuery q = exec(
        db, QLatin1String(kSelect) + kFrom + "where table_name = :t and row_id = :id order by id",
        {{"t", table}, {"id", rowId}});
    QList<HistoryEntry> out;
    while (q.next())
        out.append(readEntry(q));
    nameHistoryEntries(db, out);
    return out;
}

QList<HistoryEntry> periodHistory(const QSqlDatabase& db, const HistoryPeriod& period) {
    QList<HistoryEntry> out;
    forEachHistoryEntry(db, period, [&out](const HistoryEntry& e) { out.append(e); });
    return out;
}

void forEachHistoryEntry(const QSqlDatabase& db, const HistoryPeriod& period,
                         const std::function<void(const HistoryEntry&)>& each) {
    // Pages follow the index on changed_at: each starts where the last one
    // ended, told by its time as the server writes it (exact to the
    // microsecond) and its id.
    QString sql = QLatin1String(kSelect) + ", changed_at::text as page_at" + kFrom +
                  "where changed_at >= cast(:at as timestamptz) and (changed_at > cast(:at as "
                  "timestamptz) or id > :id) and changed_at < to_timestamp(:to)";
    QVariantMap params{{"id", qint64(0)}, {"to", localMidnight(period.to)}};
    if (!period.table.isEmpty()) {
        sql += " and table_name = :t";
        params["t"] = period.table;
    }
    if (period.worker) {
        sql += " and worker_id = :w";
        params["w"] = *period.worker;
    }
    sql += QStringLiteral(" order by changed_at, id limit %1").arg(kPage);
    params["at"] =
        scalar(db, "select to_timestamp(:from)::text", {{"from", localMidnight(period.from)}});
    for (;;) {
        QList<HistoryEntry> page;
        {
            QSqlQuery q = exec(db, sql, params);
            while (q.next()) {
                page.append(readEntry(q));
                params["at"] = q.value(12).toString();
                params["id"] = page.last().id;
            }
        }
        nameHistoryEntries(db, page);
        for (const HistoryEntry& e : page)
            each(e);
        if (page.size() < kPage)
            return;
    }
}

} // namespace tabel
