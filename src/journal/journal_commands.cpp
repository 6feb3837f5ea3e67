#include "journal_commands.h"

#include "db/closed_month_checks.h"
#include "db/locks.h"
#include "db/sql.h"
#include "records/brigade_job.h"
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
    try {
        Transaction tx(db);
        // The row lock first, as in a save; the mark is written only over the
        // row as it was read.
        QSqlQuery rec = exec(db,
                             "select w_id, data, xmin::text from accounts_dep.smena "
                             "where id = :id for update",
                             {{"id", id}});
        if (!rec.next())
            throw Refused(kErrorCaption, kRecordGone);
        if (rec.value(2).toString() != listedVersion)
            throw Refused(kErrorCaption, kRecordChanged);
        // The mark is part of the record: a closed month keeps it as it is.
        const QDate date = rec.value(1).toDate();
        lockWorkerMonth(db, rec.value(0).toInt(), date);
        refuseClosedMonths(db, {monthKey(date)});
        exec(db, "update accounts_dep.smena set ok = :ok where id = :id",
             {{"ok", toggledMark(listedMark)}, {"id", id}});
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
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
    // A member's share goes only with its whole brigade job.
    if (const auto job = brigadeJobOfRecord(db, id))
        throw Refused(kErrorCaption, brigadeRecordText(*job));
    const int worker = rec.value(0).toInt();
    const int shift = rec.value(1).toInt();
    const QDate date = rec.value(2).toDate();
    // The sheet's row before the month, as a rebuild takes them.
    lockShiftRows(db, {{worker, shift, date}});
    lockWorkerMonth(db, worker, date);
    if (monthClosed(db, monthKey(date)))
        throw MonthClosed(monthKey(date));
    exec(db, "delete from accounts_dep.smena where id = :id", {{"id", id}});
    updateShiftDayCell(db, worker, shift, date);
    tx.commit();
    return true;
}

} // namespace tabel
