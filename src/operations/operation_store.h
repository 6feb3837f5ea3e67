#pragma once

#include "db/outcome.h"
#include "db/search.h"

#include <QSqlDatabase>
#include <QVariant>

namespace tabel {

inline const char* kOperationInUse = "По операции есть записи, удалить нельзя.";
inline const char* kOperationExists = "Операция с такими параметрами уже заведена!";
inline const char* kOperationFieldsMissing = "Все поля должны быть заполнены!";
inline const char* kOperationDeleted = "Операция не найдена: она удалена с другого рабочего места.";
inline const char* kPickedProductGone =
    "Изделие не найдено: оно удалено с другого рабочего места. Выберите изделие заново.";
inline const char* kOperationChanged = "Операция изменена с другого рабочего места.";
inline const char* kOperationTypeGone = "Вид операции не найден: он удалён с другого рабочего "
                                        "места. Выберите вид операции заново.";

// An operation as the list showed it when its change began (the `Oper` row's
// values as read): a change is written only over the operation as it was.
struct ShownOperation {
    QVariant productId; // `i_id`
    QVariant typeId;    // `oper_vid`
    QVariant kind;      // `naimen`, whatever its code
};

// What the operation dialog hands over on "Записать".
struct OperationInput {
    int mode = 1;        // 1 new operation, 2 change
    int operationId = 0; // the operation being changed (mode 2)
    int productId = 0;
    QString productText; // "Марка изделия"
    int typeId = 0;
    QString typeText;     // "Операция"
    int kind = 0;         // 0 "Готовая продукция", 1 "Заготовки"
    ShownOperation shown; // the operation being changed as shown (mode 2)
};

// The rules of operations beyond listing them: their search, their writing
// and their deletion.
class OperationStore {
public:
    explicit OperationStore(QSqlDatabase db) : db_(std::move(db)) {}

    // The operations list narrows to the operations whose product mark
    // contains the typed text anywhere.
    static SearchRule searchRule() {
        return {QStringLiteral("marka"), SearchRule::Match::Contains};
    }

    // Whether any production record or brigade job refers to the operation.
    bool isUsed(int operationId) const;

    // The refusal a deletion of the operation meets while records of it
    // fall in a closed month (named, the earliest); done when there are
    // none. Throws DbError.
    Outcome closedMonthRecords(int operationId) const;

    // What refuses the operation's deletion: records of a closed month
    // first, then any record. Done when nothing does. Throws DbError.
    Outcome deletionRefusal(int operationId) const;

    // Deletes the operation and its norms in one transaction (or inside the
    // caller's). The operation's row is locked first: a save that uses the
    // operation holds a share lock on that row until it commits, so the
    // check below sees every record that can come to refer to it, and a
    // save that comes later finds the operation gone. An operation that
    // records refer to is kept and the outcome says so (deletionRefusal);
    // one already deleted elsewhere counts as deleted. Throws DbError.
    Outcome remove(int operationId);

    struct Saved {
        Outcome outcome;     // refused, or done
        int operationId = 0; // the written operation when done
    };

    // "Записать" of the operation dialog. Both pickers must have been used.
    // An operation is unique by product, operation type and kind (finished
    // goods, or blanks whatever their stored code); the check runs in the
    // write's transaction (a savepoint inside a caller's) under a lock on
    // those values, so two workstations cannot both add the same operation.
    // A change excludes the operation itself. A product or type deleted
    // elsewhere since the pick is refused, as is a change of an operation
    // deleted or changed meanwhile. The product and the type are held with a
    // share lock until the commit, as a record holds its operation, so a
    // deletion of either waits and then sees the operation, or goes first
    // and the save finds it gone. A new operation gets `cena_new` 0 and no
    // norms. Throws DbError.
    Saved save(const OperationInput& in);

private:
    QSqlDatabase db_;
};

} // namespace tabel
