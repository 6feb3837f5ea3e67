#include "journal_commands.h"

#include "db/locks.h"
#include "db/sql.h"
#include "records/record_saver.h"
#include "timesheets/shift_cell.h"

#include <QSqlQuery>

namespace tabel {

bool isAccepted(const QString& mark) {
    return mark == QLatin1String("ok") || mark == QStringLiteral("да");
}

QString toggledMark(const QString& listedMark) {
    return isAccepted(listedMark) ? QStringLiteral("no") : QStringLiteral("ok");
}

Outcome toggleAcceptance(const QSqlDatabase& db, int id, const QString& listedVersion,
                         const QString& listedMark) {
    // One statement: it writes only over the row as it was read.
    const QVariant written =
        scalar(db,
               "update accounts_dep.smena set ok = :ok where id = :id and "
               "xmin::text = :version returning id",
               {{"ok", toggledMark(listedMark)}, {"id", id}, {"version", listedVersion}});
    if (written.isValid())
        return Outcome::ok();
    const bool exists =
        scalar(db, "select id from accounts_dep.smena where id = :id", {{"id", id}}).isValid();
    return Outcome::refused(kErrorCaption, exists ? kRecordChanged : kRecordGone);
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

} // namespace tabel
