#include "worker_store.h"

#include "db/closed_month_checks.h"
#include "db/deletion.h"
#include "db/locks.h"
#include "db/sql.h"
#include "db/stored_text.h"

#include <QSqlQuery>
#include <QStringList>
#include <algorithm>

namespace tabel {

namespace {

// A null QString reaches the server as NULL; the column is to hold empty text.
QString notNull(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

WorkerStore::WorkerStore(QSqlDatabase db, Messenger& messenger, Dataset& workers)
    : db_(std::move(db)), messenger_(messenger), workers_(workers) {}

SearchRule WorkerStore::searchRule() {
    return {QStringLiteral("fio"), SearchRule::Match::Prefix};
}

void WorkerStore::search(const QString& typed) {
    search_ = typed;
    applySearch();
}

void WorkerStore::applySearch() {
    searchRule().apply(workers_, search_);
}

void WorkerStore::open() {
    workers_.open();
    applySearch();
}

void WorkerStore::close() {
    workers_.close();
    workers_.clearFilter();
}

void WorkerStore::reopen() {
    workers_.close();
    open();
}

void WorkerStore::reopenKeepingPosition() {
    // The search filter stays on the dataset over the rereading.
    workers_.reopenKeepingPosition();
}

bool WorkerStore::refuseBlank(const QString& trimmed) {
    if (!trimmed.isEmpty())
        return false;
    messenger_.error(QStringLiteral("Ошибка"), QStringLiteral("ФИО нужно заполнить!"));
    return true;
}

bool WorkerStore::refuse(const Outcome& outcome) {
    if (outcome.done())
        return false;
    messenger_.error(outcome.caption, outcome.text);
    return true;
}

namespace {

TextField nameField(const QString& name) {
    return {QStringLiteral("ФИО"), name, QStringLiteral("accounts_dep.person.fio")};
}

TextField departmentField(const QString& department) {
    return {QStringLiteral("Подразделение"), department,
            QStringLiteral("accounts_dep.person.s_staffpos_hl")};
}

// A worker's row for the history: the columns the program writes.
const char* kWorkerValues = "jsonb_build_object('fio', cast(:%1fio as text), "
                            "'s_staffpos_hl', cast(:%1dept as text))";

// Writes the worker's history row in the transaction of the change: the
// people registry is another application's and gets no triggers of ours.
// `before` and `after` hold the values as "fio" and "dept"; an empty map
// stands for no row.
void logWorkerChange(const QSqlDatabase& db, const char* action, int id, const QVariantMap& before,
                     const QVariantMap& after) {
    QVariantMap params{{"action", QString::fromLatin1(action)}, {"id", id}};
    auto values = [&params](const QString& prefix, const QVariantMap& row) {
        if (row.isEmpty())
            return QStringLiteral("null::jsonb");
        for (auto it = row.begin(); it != row.end(); ++it)
            params[prefix + it.key()] = it.value();
        return QStringLiteral("jsonb_strip_nulls(%1)")
            .arg(QString::fromLatin1(kWorkerValues).arg(prefix));
    };
    const QString old = values(QStringLiteral("o_"), before);
    const QString now = values(QStringLiteral("n_"), after);
    exec(
        db,
        QStringLiteral("select accounts_dep.log_worker_change(:action, :id, %1, %2)").arg(old, now),
        params);
}

QVariantMap workerRow(const QVariant& fio, const QVariant& department) {
    return {{"fio", fio}, {"dept", department}};
}

} // namespace

bool WorkerStore::add(const QString& fio, const QString& department) {
    const QString name = fio.trimmed();
    if (refuseBlank(name) ||
        refuse(checkStoredText(db_, {nameField(name), departmentField(notNull(department))})))
        return false;
    Transaction tx(db_);
    const int id =
        scalar(db_,
               "INSERT INTO accounts_dep.person (fio, s_staffpos_hl) VALUES (:fio, :dept) "
               "returning id",
               {{"fio", name}, {"dept", notNull(department)}})
            .toInt();
    logWorkerChange(db_, "insert", id, {}, workerRow(name, notNull(department)));
    tx.commit();
    return true;
}

bool WorkerStore::change(int id, const ShownWorker& shown, const QString& fio,
                         const std::optional<QString>& department) {
    const QString name = fio.trimmed();
    if (refuseBlank(name))
        return false;
    QList<TextField> fields{nameField(name)};
    if (department)
        fields << departmentField(notNull(*department));
    if (refuse(checkStoredText(db_, fields)))
        return false;
    try {
        Transaction tx(db_);
        // The workers list may be another application's view with no row of
        // its own to lock: changes of one worker take turns on a lock of its
        // id instead, so the comparison below holds up to the commit.
        lockUniqueKey(db_, QStringLiteral("accounts_dep.person"), {id});
        QSqlQuery now = exec(
            db_, "select fio, s_staffpos_hl from accounts_dep.person where id = :id", {{"id", id}});
        if (!now.next())
            throw Refused(kErrorCaption, kWorkerDeleted);
        const QVariantMap before = workerRow(now.value(0), now.value(1));
        // Only what this change writes is compared: a department kept is
        // not overwritten, so its change elsewhere is no conflict.
        if (now.value(0).toString() != shown.fio ||
            (department && now.value(1).toString() != shown.department))
            throw Refused(kErrorCaption, kWorkerChanged);
        if (department)
            exec(db_,
                 "UPDATE accounts_dep.person SET fio = :fio, s_staffpos_hl = :dept "
                 "where accounts_dep.person.id = :id",
                 {{"fio", name}, {"dept", notNull(*department)}, {"id", id}});
        else
            exec(db_,
                 "UPDATE accounts_dep.person SET fio = :fio where accounts_dep.person.id = :id",
                 {{"fio", name}, {"id", id}});
        // Only the values that changed are kept in the history.
        logWorkerChange(
            db_, "update", id, before,
            workerRow(name, department ? QVariant(notNull(*department)) : before["dept"]));
        tx.commit();
        return true;
    } catch (const Refused& r) {
        refuse(r.outcome());
        return false;
    }
}

bool WorkerStore::hasRecords(int id) const {
    return scalar(db_,
                  "select (exists (select 1 from accounts_dep.smena where w_id = :s) "
                  "or exists (select 1 from accounts_dep.fatigue where id_p = :f) "
                  "or exists (select 1 from accounts_dep.h_tabel where w_id = :h))::integer",
                  {{"s", id}, {"f", id}, {"h", id}})
               .toInt() != 0;
}

Outcome WorkerStore::closedMonthRecords(int id) const {
    const auto closed = firstClosedMonth(
        db_,
        "select accounts_dep.month_key(data) from accounts_dep.smena where w_id = :s "
        "union select accounts_dep.month_key(d_date) from accounts_dep.fatigue where id_p = :f "
        "union select i_year * 100 + i_mnth from accounts_dep.fatigue where id_p = :b "
        "union select year * 100 + month from accounts_dep.h_tabel where w_id = :h",
        {{"s", id}, {"f", id}, {"b", id}, {"h", id}});
    if (!closed)
        return Outcome::ok();
    return Outcome::refused(kDeleteCaption,
                            closedRecordsText(QStringLiteral("работника"), *closed));
}

Outcome WorkerStore::brigadeMembership(int id) const {
    // A few numbers are named, so the user can find the jobs in the journal.
    constexpr int kNamed = 5;
    QSqlQuery q = exec(db_,
                       "select job_id, count(*) over () from accounts_dep.brigade_member "
                       "where w_id = :w order by job_id limit :n",
                       {{"w", id}, {"n", kNamed}});
    QStringList jobs;
    int total = 0;
    while (q.next()) {
        jobs << q.value(0).toString();
        total = q.value(1).toInt();
    }
    if (total == 0)
        return Outcome::ok();
    QString named = jobs.join(QStringLiteral(", "));
    if (total > jobs.size())
        named += QStringLiteral(" и ещё %1").arg(total - jobs.size());
    return Outcome::refused(kDeleteCaption,
                            QStringLiteral("Работник входит в %1 № %2, удалить нельзя.")
                                .arg(total == 1 ? QStringLiteral("бригадный наряд")
                                                : QStringLiteral("бригадные наряды"),
                                     named));
}

Outcome WorkerStore::deletionRefusal(int id) const {
    if (Outcome closed = closedMonthRecords(id); !closed.done())
        return closed;
    // Before the records: a member's record goes only with its job, so the
    // job is what the user has to look for.
    if (Outcome member = brigadeMembership(id); !member.done())
        return member;
    return hasRecords(id) ? Outcome::refused(kDeleteCaption, kWorkerInUse) : Outcome::ok();
}

Outcome WorkerStore::remove(int id) {
    try {
        Transaction tx(db_);
        // Every write of this worker's records, entries and time-sheet rows
        // takes the worker's lock shared; holding it alone means none is
        // under way, and none starts before this deletion is committed
        // (they then find the worker gone).
        lockWholeWorker(db_, id);
        if (Outcome refused = deletionRefusal(id); !refused.done())
            throw Refused(refused);
        QSqlQuery gone = exec(db_,
                              "delete from accounts_dep.person where id = :id "
                              "returning fio, s_staffpos_hl",
                              {{"id", id}});
        if (gone.next())
            logWorkerChange(db_, "delete", id, workerRow(gone.value(0), gone.value(1)), {});
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

bool WorkerStore::deleteCurrent() {
    if (workers_.isEmpty())
        return false;
    const int id = workers_.current(QStringLiteral("id")).toInt();
    // Refused before the question; remove() checks again under the lock in
    // case another workstation wrote for the worker meanwhile.
    if (!askAndDelete(messenger_, deletionRefusal(id), QStringLiteral("Удалить работника?"),
                      [&] { return remove(id); }))
        return false;
    reopenKeepingPosition();
    return true;
}

QList<CaptionItem> WorkerStore::captions(const QString& sql) const {
    QList<CaptionItem> items;
    QSqlQuery q = exec(db_, sql);
    while (q.next())
        items.append({q.value(0).toLongLong(), q.value(1).toString()});
    return items;
}

QList<CaptionItem> WorkerStore::departments() const {
    return captions("select id, s_caption from cmn_department.department order by s_caption");
}

QList<CaptionItem> WorkerStore::staffPositions() const {
    return captions("select id, s_caption from hrms_staffpos.staffpos order by s_caption");
}

QList<CaptionItem> WorkerStore::roles() const {
    return captions("select id, s_caption from adm_role.roles order by s_caption");
}

} // namespace tabel
