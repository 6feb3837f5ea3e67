#include "operation_store.h"

#include "db/sql.h"

namespace tabel {

void OperationStore::search(const QString& text) {
    Dataset& oper = data_.oper();
    if (text.trimmed().isEmpty()) {
        oper.clearFilter();
        return;
    }
    // Compared literally: quotes, percent signs and underscores are looked
    // for as themselves.
    oper.setFilter([text](const Dataset& ds, int row) {
        return ds.sourceValue(row, QStringLiteral("marka"))
            .toString()
            .contains(text, Qt::CaseSensitive);
    });
}

bool OperationStore::isUsed(int operationId) const {
    return scalar(data_.db(), "select count(*) from accounts_dep.smena where o_id = :id",
                  {{"id", operationId}})
               .toInt() > 0;
}

bool OperationStore::remove(int operationId) {
    const QSqlDatabase db = data_.db();
    Transaction tx(db);
    // Holds back new production records until the delete is committed, so
    // that none can come to refer to an operation that is being removed.
    exec(db, "lock table accounts_dep.smena in share mode");
    if (isUsed(operationId)) {
        // Nobody should wait on the lock while the box is open.
        tx.rollback();
        data_.messenger().error(QStringLiteral("Удаление"),
                                QStringLiteral("По операции есть записи, удалить нельзя."));
        return false;
    }
    exec(db, "delete from accounts_dep.norm where o_id = :id", {{"id", operationId}});
    exec(db, "delete from accounts_dep.oper where id = :id", {{"id", operationId}});
    tx.commit();
    return true;
}

bool OperationStore::deleteCurrent() {
    Dataset& oper = data_.oper();
    if (oper.isEmpty())
        return false;
    const int id = oper.current(QStringLiteral("id")).toInt();
    // A used operation is refused before the question; remove() checks again
    // under the lock in case a record came meanwhile.
    if (isUsed(id)) {
        data_.messenger().error(QStringLiteral("Удаление"),
                                QStringLiteral("По операции есть записи, удалить нельзя."));
        return false;
    }
    if (!data_.messenger().ask(QStringLiteral("Удаление"), QStringLiteral("Удалить операцию?")))
        return false;
    if (!remove(id))
        return false;
    oper.reopen();
    return true;
}

} // namespace tabel
