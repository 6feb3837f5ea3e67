#include "journal_commands.h"

#include "db/locks.h"
#include "db/sql.h"
#include "session/roles.h"
#include "timesheets/shift_cell.h"

#include <QSqlQuery>

namespace tabel {

bool isAccepted(const QString& mark) {
    return mark == QLatin1String("ok") || mark == QStringLiteral("да");
}

void JournalCommands::toggleAcceptance() {
    if (isForemanCode(ctx_.state.accessWord))
        return;
    Dataset& list = ctx_.currentShiftList();
    if (list.isEmpty())
        return;
    const QString mark =
        isAccepted(list.current("ok").toString()) ? QStringLiteral("no") : QStringLiteral("ok");
    exec(ctx_.db(), "update accounts_dep.smena set ok = :ok where id = :id",
         {{"ok", mark}, {"id", list.current("id").toInt()}});
    list.reopenKeepingPosition();
}

bool deleteRecord(const QSqlDatabase& db, int id) {
    Transaction tx(db);
    // The record's own worker, shift and date, as stored now; the row lock
    // comes first, as in a save, so the two never wait for each other.
    QSqlQuery rec =
        exec(db, "select w_id, smena, data from accounts_dep.smena where id = :id for update",
             {{"id", id}});
    if (!rec.next())
        return false; // deleted meanwhile elsewhere, together with its cell
    const int worker = rec.value(0).toInt();
    const int shift = rec.value(1).toInt();
    const QDate date = rec.value(2).toDate();
    lockWorkerMonth(db, worker, date);
    exec(db, "delete from accounts_dep.smena where id = :id", {{"id", id}});
    updateShiftDayCell(db, worker, shift, date);
    tx.commit();
    return true;
}

bool JournalCommands::deleteCurrent() {
    Dataset& list = ctx_.currentShiftList();
    if (list.isEmpty() || list.current("id").toString().isEmpty())
        return false;
    const int id = list.current("id").toInt();
    if (!ctx_.messenger.ask("Удаление", "Удалить позицию из списка?")) {
        list.reopen();
        return false;
    }
    deleteRecord(ctx_.db(), id);
    list.reopen();
    return true;
}

} // namespace tabel
