#pragma once

#include "db/outcome.h"
#include "db/search.h"

#include <QSqlDatabase>

namespace tabel {

inline const char* kOperationInUse = "По операции есть записи, удалить нельзя.";

// The rules of operations beyond listing them: their search and their
// deletion.
class OperationStore {
public:
    explicit OperationStore(QSqlDatabase db) : db_(std::move(db)) {}

    // The operations list narrows to the operations whose product mark
    // contains the typed text anywhere.
    static SearchRule searchRule() {
        return {QStringLiteral("marka"), SearchRule::Match::Contains};
    }

    // Whether any production record refers to the operation.
    bool isUsed(int operationId) const;

    // Deletes the operation and its norms in one transaction (or inside the
    // caller's). The operation's row is locked first: a save that uses the
    // operation holds a share lock on that row until it commits, so the
    // check below sees every record that can come to refer to it, and a
    // save that comes later finds the operation gone. An operation that
    // records refer to is kept and the outcome says so; one already deleted
    // elsewhere counts as deleted. Throws DbError.
    Outcome remove(int operationId);

private:
    QSqlDatabase db_;
};

} // namespace tabel
