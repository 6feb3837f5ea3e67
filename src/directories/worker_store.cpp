#include "worker_store.h"

#include "db/sql.h"

#include <QSqlQuery>
#include <algorithm>

namespace tabel {

namespace {

const QString kDeleteCaption = QStringLiteral("Удаление");

// A null QString reaches the server as NULL; the column is to hold empty text.
QString notNull(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

WorkerStore::WorkerStore(QSqlDatabase db, Messenger& messenger, Dataset& workers)
    : db_(std::move(db)), messenger_(messenger), workers_(workers) {}

bool WorkerStore::nameMatches(const QString& fio, const QString& typed) {
    return fio.startsWith(typed, Qt::CaseSensitive);
}

void WorkerStore::search(const QString& typed) {
    search_ = typed;
    applySearch();
}

void WorkerStore::applySearch() {
    if (search_.isEmpty()) {
        workers_.clearFilter();
        return;
    }
    workers_.setFilter([typed = search_](const Dataset& ds, int sourceRow) {
        return nameMatches(ds.sourceValue(sourceRow, QStringLiteral("fio")).toString(), typed);
    });
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

bool WorkerStore::add(const QString& fio, const QString& department) {
    const QString name = fio.trimmed();
    if (refuseBlank(name))
        return false;
    const QString refusal = storageRefusal(
        {{QStringLiteral("ФИО"), name}, {QStringLiteral("Подразделение"), department}});
    if (!refusal.isEmpty()) {
        messenger_.error(QStringLiteral("Ошибка"), refusal);
        return false;
    }
    exec(db_, "INSERT INTO accounts_dep.person (fio, s_staffpos_hl) VALUES (:fio, :dept)",
         {{"fio", name}, {"dept", notNull(department)}});
    return true;
}

bool WorkerStore::change(int id, const QString& fio, const QString& department) {
    const QString name = fio.trimmed();
    if (refuseBlank(name))
        return false;
    const QString refusal = storageRefusal(
        {{QStringLiteral("ФИО"), name}, {QStringLiteral("Подразделение"), department}});
    if (!refusal.isEmpty()) {
        messenger_.error(QStringLiteral("Ошибка"), refusal);
        return false;
    }
    exec(db_,
         "UPDATE accounts_dep.person SET fio = :fio, s_staffpos_hl = :dept "
         "where accounts_dep.person.id = :id",
         {{"fio", name}, {"dept", notNull(department)}, {"id", id}});
    return true;
}

bool WorkerStore::hasRecords(int id) const {
    return scalar(db_,
                  "select (exists (select 1 from accounts_dep.smena where w_id = :s) "
                  "or exists (select 1 from accounts_dep.fatigue where id_p = :f) "
                  "or exists (select 1 from accounts_dep.h_tabel where w_id = :h))::integer",
                  {{"s", id}, {"f", id}, {"h", id}})
               .toInt() != 0;
}

bool WorkerStore::deleteCurrent() {
    if (workers_.isEmpty())
        return false;
    const int id = workers_.current(QStringLiteral("id")).toInt();
    const QString inUse = QStringLiteral("По работнику есть записи, удалить нельзя.");
    if (hasRecords(id)) {
        messenger_.error(kDeleteCaption, inUse);
        return false;
    }
    if (!messenger_.ask(kDeleteCaption, QStringLiteral("Удалить работника?")))
        return false;
    bool refused = false;
    {
        Transaction tx(db_);
        // Holds back new records, entries and time-sheet rows until the
        // delete is committed: another workstation may have written one for
        // this worker while the question was on the screen.
        exec(db_, "lock table accounts_dep.smena, accounts_dep.fatigue, accounts_dep.h_tabel "
                  "in share mode");
        refused = hasRecords(id);
        if (!refused) {
            exec(db_, "delete from accounts_dep.person where id = :id", {{"id", id}});
            tx.commit();
        }
    }
    if (refused) {
        messenger_.error(kDeleteCaption, inUse);
        return false;
    }
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
