#include "operation_store.h"

#include "db/sql.h"

namespace tabel {

bool OperationStore::isUsed(int operationId) const {
    return scalar(db_, "select exists (select 1 from accounts_dep.smena where o_id = :id)::integer",
                  {{"id", operationId}})
               .toInt() != 0;
}

Outcome OperationStore::remove(int operationId) {
    try {
        Transaction tx(db_);
        if (!scalar(db_, "select id from accounts_dep.oper where id = :id for update",
                    {{"id", operationId}})
                 .isValid())
            return Outcome::ok(); // deleted meanwhile elsewhere
        if (isUsed(operationId))
            throw Refused(kDeleteCaption, kOperationInUse);
        exec(db_, "delete from accounts_dep.norm where o_id = :id", {{"id", operationId}});
        exec(db_, "delete from accounts_dep.oper where id = :id", {{"id", operationId}});
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

} // namespace tabel
