#pragma once

#include "db/dataset.h"
#include "db/outcome.h"
#include "db/search.h"

#include <QSqlDatabase>

namespace tabel {

inline const char* kOperationTypeExists = "Такая операция уже заведена!";
inline const char* kOperationTypeInUse = "Вид операции используется, удалить нельзя.";
inline const char* kOperationTypeChanged = "Вид операции изменён с другого рабочего места.";
inline const char* kOperationTypeDeleted =
    "Вид операции не найден: он удалён с другого рабочего места.";

// Housekeeping work and average piecework: the housekeeping entries and their
// time-sheet rows are written under these two ids.
inline constexpr int kHousekeepingType = 7777;
inline constexpr int kAveragePieceworkType = 7778;

// The operation types directory without its windows: the name search over
// the shared `Vid_oper` list, and adding, renaming and deleting types.
class OperationTypeStore {
public:
    OperationTypeStore(QSqlDatabase db, Dataset& vidOper);

    Dataset& types() const { return types_; }

    // The list narrows to the types whose names begin with the typed text.
    static SearchRule searchRule() { return {QStringLiteral("vid"), SearchRule::Match::Prefix}; }

    // "Записать" for a new type. The name is stored trimmed. A blank name, a
    // name the server cannot store as it is (see checkStoredText), or one
    // that an existing type already has (letter case and surrounding blanks
    // aside), is refused. `newId` receives the new type's id. Throws
    // DbError.
    Outcome add(const QString& name, int* newId = nullptr);
    // "Записать" for a renamed type; the type's own name does not count as a
    // duplicate of it. A type renamed elsewhere since it was shown with the
    // name `shownName`, or deleted, is refused.
    Outcome rename(int id, const QString& shownName, const QString& name);

    // Whether the type may not be deleted: 7777 and 7778, and every type an
    // operation or a housekeeping entry refers to.
    bool isUsed(int id) const;

    // Deletes the type in one transaction (a savepoint inside a caller's),
    // with its row locked, unless it is in use; the outcome then says so. A
    // type already deleted elsewhere counts as deleted. Throws DbError.
    Outcome remove(int id);

    // For writers that make a row refer to a type (the operation dialog):
    // call inside the write's transaction before writing. Locks the type's
    // row against deletion until the transaction ends, so the deletion's
    // check sees the new reference or the writer finds the type gone.
    // Answers whether the type exists.
    static bool holdForUse(const QSqlDatabase& db, int id);

private:
    Outcome save(int id, const QString* shownName, const QString& name, int* newId);

    QSqlDatabase db_;
    Dataset& types_;
};

} // namespace tabel
