#include "operation_store.h"

#include "db/closed_month_checks.h"
#include "db/locks.h"
#include "db/sql.h"

#include <QSqlQuery>

namespace tabel {

bool OperationStore::isUsed(int operationId) const {
    // A brigade job names its operation even when its members' records are
    // gone; a save of one holds the operation's row as a record's save does.
    return scalar(db_,
                  "select (exists (select 1 from accounts_dep.smena where o_id = :s) "
                  "or exists (select 1 from accounts_dep.brigade_job where o_id = :j))::integer",
                  {{"s", operationId}, {"j", operationId}})
               .toInt() != 0;
}

Outcome OperationStore::closedMonthRecords(int operationId) const {
    const auto closed = firstClosedMonth(
        db_, "select accounts_dep.month_key(data) from accounts_dep.smena where o_id = :id",
        {{"id", operationId}});
    if (!closed)
        return Outcome::ok();
    return Outcome::refused(kDeleteCaption, closedRecordsText(QStringLiteral("операции"), *closed));
}

Outcome OperationStore::deletionRefusal(int operationId) const {
    if (Outcome closed = closedMonthRecords(operationId); !closed.done())
        return closed;
    return isUsed(operationId) ? Outcome::refused(kDeleteCaption, kOperationInUse) : Outcome::ok();
}

Outcome OperationStore::remove(int operationId) {
    try {
        Transaction tx(db_);
        if (!scalar(db_, "select id from accounts_dep.oper where id = :id for update",
                    {{"id", operationId}})
                 .isValid())
            return Outcome::ok(); // deleted meanwhile elsewhere
        if (Outcome refused = deletionRefusal(operationId); !refused.done())
            throw Refused(refused);
        exec(db_, "delete from accounts_dep.norm where o_id = :id", {{"id", operationId}});
        exec(db_, "delete from accounts_dep.oper where id = :id", {{"id", operationId}});
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

OperationStore::Saved OperationStore::save(const OperationInput& in) {
    if (in.productText.trimmed().isEmpty() || in.typeText.trimmed().isEmpty() ||
        in.productId <= 0 || in.typeId <= 0)
        return {Outcome::refused(kErrorCaption, kOperationFieldsMissing)};
    // Any code but 0 means blanks; what is written is the drop-down's index.
    const int kind = in.kind == 0 ? 0 : 1;
    try {
        Transaction tx(db_);
        // The product first: its deletion locks the product's row before its
        // operations, so taking them in the same order never waits in a
        // circle. Products are written to the goods table, whatever view
        // lists them; the share lock keeps the product until this operation
        // is committed, and the deletion then counts it and stops.
        if (!scalar(db_, "select id from cmn_gds_and_srv.gds_and_srv where id = :i for key share",
                    {{"i", in.productId}})
                 .isValid())
            throw Refused(kErrorCaption, kPickedProductGone);
        if (in.mode == 2) {
            QSqlQuery old = exec(db_,
                                 "select (i_id is not distinct from cast(:si as integer) and vid "
                                 "is not distinct from cast(:sv as integer) and naimen is not "
                                 "distinct from cast(:sk as integer))::integer "
                                 "from accounts_dep.oper where id = :id for update",
                                 {{"si", in.shown.productId},
                                  {"sv", in.shown.typeId},
                                  {"sk", in.shown.kind},
                                  {"id", in.operationId}});
            if (!old.next())
                throw Refused(kErrorCaption, kOperationDeleted);
            // Written elsewhere since it was shown: the change would silently
            // undo what the other workstation wrote.
            if (old.value(0).toInt() != 1)
                throw Refused(kErrorCaption, kOperationChanged);
        }
        lockUniqueKey(db_, QStringLiteral("accounts_dep.oper"), {in.productId, in.typeId, kind});
        // The type stays until this operation is committed; a deletion of it
        // waits for that.
        if (!scalar(db_, "select id from accounts_dep.vid_oper where id = :v for key share",
                    {{"v", in.typeId}})
                 .isValid())
            throw Refused(kErrorCaption, kOperationTypeGone);

        QVariantMap key{{"i", in.productId}, {"v", in.typeId}, {"k", kind}};
        QString count = "select count(*) as cnt from accounts_dep.oper where i_id = :i and "
                        "vid = :v and (case when naimen = 0 then 0 else 1 end) = :k";
        if (in.mode == 2) {
            count += " and id <> :id";
            key["id"] = in.operationId;
        }
        if (scalar(db_, count, key).toInt() > 0)
            throw Refused(kErrorCaption, kOperationExists);

        int id = in.operationId;
        if (in.mode == 2) {
            key["id"] = in.operationId;
            exec(db_,
                 "update accounts_dep.oper set vid = :v, naimen = :k, i_id = :i where id = :id",
                 key);
        } else {
            id = scalar(db_,
                        "insert into accounts_dep.oper (vid, naimen, i_id, cena_new) "
                        "values (:v, :k, :i, 0) returning id",
                        key)
                     .toInt();
        }
        tx.commit();
        return {Outcome::ok(), id};
    } catch (const Refused& r) {
        return {r.outcome()};
    }
}

} // namespace tabel
