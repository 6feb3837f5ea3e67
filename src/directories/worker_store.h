#pragma once

#include "db/dataset.h"
#include "db/messenger.h"
#include "db/outcome.h"
#include "db/search.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <optional>

namespace tabel {

inline const char* kWorkerInUse = "По работнику есть записи, удалить нельзя.";
inline const char* kWorkerChanged = "Работник изменён с другого рабочего места.";
inline const char* kWorkerDeleted = "Работник не найден: он удалён с другого рабочего места.";

// A worker as the list showed it when the change began (the row's values as
// read): a change is written only over the worker as it was.
struct ShownWorker {
    QString fio;
    QString department; // `s_staffpos_hl`
};

// One row of a drop-down list read from another application's table.
struct CaptionItem {
    qint64 id = 0;
    QString caption;
};

// The workers directory without its windows: the name search over the
// shared `Workers` list, and adding, changing and deleting workers. Each
// change writes the worker's row of the database's change history
// (`accounts_dep.log_worker_change`) in its own transaction.
class WorkerStore {
public:
    WorkerStore(QSqlDatabase db, Messenger& messenger, Dataset& workers);

    Dataset& workers() const { return workers_; }

    // The workers list narrows to the names that begin with the typed text.
    static SearchRule searchRule();

    // Shows only the workers whose names begin with `typed`; an empty text
    // shows them all. The list moves to its first row. The text is kept and
    // applied again whenever the list is opened or reread here.
    void search(const QString& typed);
    QString searchText() const { return search_; }

    // Opens `Workers` (when it is not open yet) with the search applied.
    void open();
    // Closes `Workers` and takes the search off, so nobody else who opens the
    // shared list finds it narrowed.
    void close();
    // Reads `Workers` again from its first row.
    void reopen();
    // Reads `Workers` again and returns to the same row number, or to the
    // last row when the list has become shorter.
    void reopenKeepingPosition();

    // "Записать" of the worker dialog. The name is stored trimmed; an empty
    // department caption is stored as empty text, not as null. A name that is
    // blank after trimming, or a name or department the server cannot store
    // as it is (see checkStoredText), is refused with a message: the answer
    // is then false and nothing is written. Throws DbError.
    bool add(const QString& fio, const QString& department);
    // The same for a change. Without a department the stored one is kept. A
    // worker deleted elsewhere, or changed there since `shown` was read in
    // what this change writes, is refused likewise.
    bool change(int id, const ShownWorker& shown, const QString& fio,
                const std::optional<QString>& department);

    // Whether any production record, housekeeping entry or time-sheet row
    // refers to the worker.
    bool hasRecords(int id) const;

    // The refusal a deletion of the worker meets while records of the
    // worker fall in a closed month (named, the earliest); done when there
    // are none. Throws DbError.
    Outcome closedMonthRecords(int id) const;

    // The refusal a deletion of the worker meets while the worker is a
    // member of brigade jobs (named by their numbers): the member would point
    // at nobody. Done when the worker is in none. Throws DbError.
    Outcome brigadeMembership(int id) const;

    // What refuses the worker's deletion: records of a closed month first,
    // then brigade jobs, then any record, entry or time-sheet row. Done when
    // nothing does. Throws DbError.
    Outcome deletionRefusal(int id) const;

    // Deletes the worker in one transaction (a savepoint inside a caller's)
    // under the worker's lock, unless deletionRefusal refuses; the outcome
    // then says so. Throws DbError.
    Outcome remove(int id);

    // "Удалить" on the current row of `Workers`: refuses (with a message) a
    // worker that records refer to, otherwise asks and deletes, then rereads
    // the list keeping its position. Does nothing on an empty list. Answers
    // whether a worker was deleted. Throws DbError.
    bool deleteCurrent();

    // The drop-down lists of the worker dialog, ordered by caption.
    QList<CaptionItem> departments() const;
    QList<CaptionItem> staffPositions() const;
    QList<CaptionItem> roles() const;

private:
    bool refuseBlank(const QString& trimmed);
    bool refuse(const Outcome& outcome);
    void applySearch();
    QList<CaptionItem> captions(const QString& sql) const;

    QSqlDatabase db_;
    Messenger& messenger_;
    Dataset& workers_;
    QString search_;
};

} // namespace tabel
