#pragma once

#include "db/dataset.h"
#include "db/outcome.h"
#include "db/search.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <memory>

namespace tabel {

inline const char* kGroupHasProducts = "В номенклатурной группе есть изделия.";
inline const char* kGroupHasEntries = "В номенклатурной группе есть операции.";
inline const char* kGroupChanged = "Номенклатурная группа изменена с другого рабочего места.";
inline const char* kGroupDeleted =
    "Номенклатурная группа не найдена: она удалена с другого рабочего места.";

// A group as the list showed it when its change began (the row's values as
// read): a change is written only over the group as it was.
struct ShownGroup {
    QVariant caption;  // `s_caption`
    QVariant excluded; // `b_excluded`
};

// What refers to a nomenclature group.
struct GroupUsage {
    int products = 0; // goods of the group
    int entries = 0;  // housekeeping entries naming it
    int records = 0;  // production records of its goods
};

// The nomenclature groups (the item classifier's level-2 rows) without their
// windows: the list `item`, its search, the narrowing to groups in use that
// pickers apply, and adding, changing and deleting groups.
class GroupStore {
public:
    // The list `item`: every column of the group rows, with `s_excl`, "V"
    // for a group not in use. Its owner keeps it; the store works on it.
    static std::unique_ptr<Dataset> makeList(QSqlDatabase db);

    GroupStore(QSqlDatabase db, Dataset& items);

    Dataset& items() const { return items_; }

    // The list narrows to the groups whose names begin with the typed text.
    static SearchRule searchRule() {
        return {QStringLiteral("s_caption"), SearchRule::Match::Prefix};
    }
    // Whether a group with this `b_excluded` is offered for new products and
    // entries: everything not marked 1, which the list shows as "V".
    static bool inUse(const QVariant& bExcluded) { return bExcluded.toInt() != 1; }

    // Narrows the list to the names beginning with `typed` (an empty text
    // shows them all). Kept and applied again whenever the list is reread.
    void search(const QString& typed);
    QString searchText() const { return search_; }
    // Leaves out the groups not in use (pickers), or shows them too.
    void setOnlyInUse(bool on);
    bool onlyInUse() const { return onlyInUse_; }

    // Reads the list again (from its first row), or closes it.
    void open();
    void close();
    // Reads the list again, returning to the same row number, or to the last
    // row when the list has become shorter.
    void reopenKeepingPosition();

    // "Записать" of the group dialog. The name is stored trimmed (an empty
    // one as an empty caption); a name the server cannot store, or one
    // longer than the column, is refused. A new group gets level 2, and the
    // classifier and the parent of the existing groups where they all share
    // one, so it is listed with them; `newId` receives its id. Throws
    // DbError.
    Outcome add(const QString& name, bool excluded, qint64* newId = nullptr);
    // The same for a change, in one transaction (a savepoint inside a
    // caller's) with the group's row locked; a group changed elsewhere since
    // it was shown, or deleted, is refused.
    Outcome change(qint64 id, const ShownGroup& shown, const QString& name, bool excluded);

    GroupUsage usage(qint64 id) const;
    // The refusal a deletion of a group so used meets; done when none.
    static Outcome deletionRefusal(const GroupUsage& usage);

    // Deletes the group in one transaction (a savepoint inside a caller's)
    // with its row locked, unless products, housekeeping entries or records
    // refer to it; the outcome then says so. A group already deleted
    // elsewhere counts as deleted. Throws DbError.
    Outcome remove(qint64 id);

    // For writers that make a row refer to a group (products, housekeeping
    // entries): call inside the write's transaction before writing. Locks the
    // group's row against deletion until the transaction ends; answers
    // whether the group exists.
    static bool holdForUse(const QSqlDatabase& db, qint64 id);

private:
    void applyFilter();

    QSqlDatabase db_;
    Dataset& items_;
    QString search_;
    bool onlyInUse_ = false;
};

} // namespace tabel
