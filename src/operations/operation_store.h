#pragma once

#include "db/data_module.h"

#include <QString>

namespace tabel {

// What the operations list does to operations beyond showing them: narrowing
// the shared `Oper` list by product mark and deleting an operation.
class OperationStore {
public:
    explicit OperationStore(DataModule& data) : data_(data) {}

    // Shows only the operations whose product mark contains `text` anywhere,
    // compared literally and case-sensitively; the text is used as typed,
    // spaces included. A text that is blank after trimming shows them all.
    // Narrowing moves the list to its first matching row and lasts over
    // closings and rereadings of `Oper` until a blank text is searched for.
    void search(const QString& text);

    // Whether any production record refers to the operation.
    bool isUsed(int operationId) const;

    // Deletes the operation and its norms in one transaction. An operation
    // that production records refer to is kept, and the user is told so;
    // the answer is then false. Does not reread `Oper`. Throws DbError.
    bool remove(int operationId);

    // "Удалить" on the current row of `Oper`: asks the user, deletes as
    // `remove` does and, when something was deleted, reads `Oper` again from
    // its first row. Does nothing on an empty list. Throws DbError.
    bool deleteCurrent();

private:
    DataModule& data_;
};

} // namespace tabel
