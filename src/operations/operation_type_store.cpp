#include "operation_type_store.h"

#include "db/locks.h"
#include "db/sql.h"
#include "db/stored_text.h"
#include "records/record_saver.h"

#include <QSqlQuery>

namespace tabel {

namespace {

// Names compare as the user reads them: letter case (Cyrillic included) and
// the blanks around them do not count. Compared here rather than with the
// server's upper(), whose treatment of Cyrillic depends on the database's
// locale.
QString nameKey(const QString& name) {
    return name.trimmed().toCaseFolded();
}

} // namespace

OperationTypeStore::OperationTypeStore(QSqlDatabase db, Dataset& vidOper)
    : db_(std::move(db)), types_(vidOper) {}

Outcome OperationTypeStore::add(const QString& name, int* newId) {
    return save(0, nullptr, name, newId);
}

Outcome OperationTypeStore::rename(int id, const QString& shownName, const QString& name) {
    return save(id, &shownName, name, nullptr);
}

Outcome OperationTypeStore::save(int id, const QString* shownName, const QString& name,
                                 int* newId) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return Outcome::refused(kErrorCaption, kFillAllFields);
    if (Outcome o = checkStoredText(db_, {{QStringLiteral("Операция"), trimmed,
                                           QStringLiteral("accounts_dep.vid_oper.vid")}});
        !o.done())
        return o;
    try {
        Transaction tx(db_);
        // Held until the commit, so no other workstation writes the same
        // name between the check and the write.
        // Names are compared ignoring case, so every add or rename of a type
        // waits for the others.
        lockUniqueKey(db_, "accounts_dep.vid_oper.vid", {});
        if (id != 0 && !holdForUse(db_, id))
            throw Refused(kErrorCaption, kOperationTypeDeleted);
        // Renamed elsewhere since it was shown (renames wait for each other on
        // the lock above): this rename would silently undo that one.
        if (shownName &&
            scalar(db_, "select vid from accounts_dep.vid_oper where id = :id", {{"id", id}})
                    .toString() != *shownName)
            throw Refused(kErrorCaption, kOperationTypeChanged);
        QSqlQuery q = exec(db_, "select id, vid from accounts_dep.vid_oper");
        const QString key = nameKey(trimmed);
        while (q.next())
            if (q.value(0).toInt() != id && nameKey(q.value(1).toString()) == key)
                throw Refused(kErrorCaption, kOperationTypeExists);
        if (id == 0) {
            const int added = scalar(db_,
                                     "insert into accounts_dep.vid_oper (vid) values (:vid) "
                                     "returning id",
                                     {{"vid", trimmed}})
                                  .toInt();
            if (newId)
                *newId = added;
        } else {
            exec(db_, "update accounts_dep.vid_oper set vid = :vid where id = :id",
                 {{"vid", trimmed}, {"id", id}});
        }
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

bool OperationTypeStore::isUsed(int id) const {
    if (id == kHousekeepingType || id == kAveragePieceworkType)
        return true;
    return scalar(db_,
                  "select (exists (select 1 from accounts_dep.oper where vid = :o) "
                  "or exists (select 1 from accounts_dep.fatigue where id_o = :f))::integer",
                  {{"o", id}, {"f", id}})
               .toInt() != 0;
}

Outcome OperationTypeStore::remove(int id) {
    try {
        Transaction tx(db_);
        // A writer that makes an operation refer to the type holds a key
        // share lock on its row (holdForUse) until it commits, so the check
        // below sees every operation that can come to refer to it.
        if (!scalar(db_, "select id from accounts_dep.vid_oper where id = :id for update",
                    {{"id", id}})
                 .isValid())
            return Outcome::ok(); // deleted meanwhile elsewhere
        if (isUsed(id))
            throw Refused(kDeleteCaption, kOperationTypeInUse);
        exec(db_, "delete from accounts_dep.vid_oper where id = :id", {{"id", id}});
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

bool OperationTypeStore::holdForUse(const QSqlDatabase& db, int id) {
    return scalar(db, "select id from accounts_dep.vid_oper where id = :id for key share",
                  {{"id", id}})
        .isValid();
}

} // namespace tabel
