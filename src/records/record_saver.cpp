#include "record_saver.h"

#include "db/closed_month_checks.h"
#include "db/locks.h"
#include "db/numbers.h"
#include "db/sql.h"
#include "db/statements.h"
#include "records/brigade_job.h"
#include "records/price_rules.h"
#include "timesheets/shift_cell.h"

#include <QSqlQuery>
#include <algorithm>
#include <tuple>

namespace tabel {

namespace {

struct Numbers {
    qint64 quantity = 0;
    qint64 rejects = 0;
    qint64 hours = 0;
    qint64 color = 0;
};

Outcome refusal(const QString& text) {
    return Outcome::refused(kErrorCaption, text);
}

// The checks that need no database, in the order the user meets them: the
// empty fields first, then numbers a column could not store as typed.
Outcome validate(const RecordInput& in, Numbers& n) {
    const bool painting = isPainting(in.operationText);
    const bool missing = in.fio.trimmed().isEmpty() || in.operationText.trimmed().isEmpty() ||
                         in.quantity.trimmed().isEmpty() || in.rejects.trimmed().isEmpty() ||
                         (painting && in.color.trimmed().isEmpty()) || in.hours.trimmed().isEmpty();
    if (missing)
        return refusal(kFillAllFields);
    struct Field {
        const char* caption;
        const QString& text;
        qint64 max;
        qint64& out;
    } fields[] = {
        {"Кол-во", in.quantity, kMaxQuantity, n.quantity},
        {"Брак", in.rejects, kMaxRejects, n.rejects},
        {"Время", in.hours, kMaxHours, n.hours},
        {"Цвет", in.color, kMaxColor, n.color},
    };
    for (Field& f : fields) {
        if (&f.text == &in.color && f.text.trimmed().isEmpty()) {
            f.out = 0;
            continue;
        }
        const auto value = wholeNumber(f.text, f.max);
        if (!value)
            return refusal(wholeNumberMessage(QString::fromUtf8(f.caption), f.text, f.max));
        f.out = *value;
    }
    return Outcome::ok();
}

} // namespace

RecordSaver::Result RecordSaver::save(const RecordInput& in, int shift, const QDate& today) {
    Numbers n;
    if (Outcome o = validate(in, n); !o.done())
        return {Status::Invalid, o};
    if (shift < 1 || shift > 4)
        shift = 1;
    const double price = round4(in.finalPrice);
    Status status = Status::Saved;
    try {
        Transaction tx(db_);
        // Where a changed record stood before, so its former cell follows too.
        struct Place {
            int worker;
            int shift;
            QDate date;
        };
        std::vector<Place> places{{in.workerId, shift, in.date}};
        if (in.mode == 2) {
            // The row lock keeps the record as it is until this change is
            // committed; it comes before every other lock, as in a deletion.
            QSqlQuery old = exec(db_,
                                 "select w_id, smena, data, xmin::text from accounts_dep.smena "
                                 "where id = :id for update",
                                 {{"id", in.recordId}});
            if (!old.next()) {
                status = Status::Missing;
                throw Refused(kErrorCaption, kRecordGone);
            }
            if (old.value(3).toString() != in.version) {
                // Written elsewhere since it was read: the change would
                // silently undo what the other workstation wrote.
                status = Status::Stale;
                throw Refused(kErrorCaption, kRecordChanged);
            }
            // A member's share of a brigade job follows the job's split; a
            // change of it alone would leave the job's total behind.
            if (const auto job = brigadeJobOfRecord(db_, in.recordId))
                throw Refused(kErrorCaption, brigadeRecordText(*job));
            places.push_back({old.value(0).toInt(), old.value(1).toInt(), old.value(2).toDate()});
        }
        // The operation may have been deleted on another workstation since it
        // was picked; a record must not point at nothing, or the journal
        // would never show it. The share lock keeps the operation until this
        // record is committed, and a deletion of it waits for that.
        if (!scalar(db_, "select accounts_dep.hold_for_use('oper', :o)", {{"o", in.operationId}})
                 .toBool()) {
            status = Status::Missing;
            throw Refused(kErrorCaption, kOperationGone);
        }

        std::vector<WorkerMonth> locks;
        std::vector<ShiftCell> cells;
        QList<int> months;
        for (const Place& p : places) {
            locks.push_back(workerMonth(p.worker, p.date));
            cells.push_back({p.worker, p.shift, p.date});
            months << monthKey(p.date);
        }
        // The sheet's rows before the months, as a rebuild takes them.
        lockShiftRows(db_, cells);
        lockWorkerMonths(db_, locks);
        // A close waits for the month's lock, so the answer holds to the
        // commit. Both months count: a record may neither leave nor enter a
        // closed one.
        if (Outcome o = closedMonthRefusal(db_, months); !o.done()) {
            status = Status::Closed;
            throw Refused(o);
        }

        // A worker deleted elsewhere since the pick; the deletion holds the
        // worker's lock while it runs, so it is either done or not begun.
        if (!scalar(db_, sql::kWorkerListed, {{"w", in.workerId}}).isValid()) {
            status = Status::Missing;
            throw Refused(kErrorCaption, kWorkerGone);
        }

        QVariantMap key{{"w", in.workerId}, {"o", in.operationId}, {"i", in.productId},
                        {"d", in.date},     {"s", shift},          {"c", n.color}};
        QString count = "select count(id) as cnt from accounts_dep.smena where w_id = :w and "
                        "o_id = :o and i_id = :i and data = :d and smena = :s and color = :c";
        if (in.mode == 2) {
            count += " and id <> :id";
            key["id"] = in.recordId;
        }
        if (scalar(db_, count, key).toInt() > 0) {
            status = Status::Duplicate;
            throw Refused(kErrorCaption, kDuplicateRecord);
        }

        QVariantMap values{{"w", in.workerId},
                           {"i", in.productId},
                           {"o", in.operationId},
                           {"p", price},
                           {"q", n.quantity},
                           {"b", static_cast<int>(n.rejects)},
                           {"d", in.date},
                           {"s", shift},
                           {"c", static_cast<int>(n.color)},
                           {"t", static_cast<int>(n.hours)},
                           {"v", today}};
        int id = in.recordId;
        if (in.mode == 1) {
            id = scalar(db_,
                        "insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, "
                        "data, smena, color, time, vvod, ok, prize, id_doc, id_doc_item, "
                        "f_gds_qty_use, id_gds_use, id_cons_use) values (:w, :i, :o, :p, :q, :b, "
                        ":d, :s, :c, :t, :v, 'no', 0, 0, 0, 0, 0, 0) returning id",
                        values)
                     .toInt();
        } else {
            values["id"] = in.recordId;
            exec(db_,
                 "update accounts_dep.smena set w_id = :w, i_id = :i, o_id = :o, cena = :p, "
                 "kol_vo = :q, brak = :b, data = :d, smena = :s, color = :c, time = :t, "
                 "vvod = :v, prize = 0, id_doc = 0, id_doc_item = 0, f_gds_qty_use = 0, "
                 "id_gds_use = 0, id_cons_use = 0 where id = :id",
                 values);
        }

        for (std::size_t i = 0; i < places.size(); ++i) {
            const Place& p = places[i];
            const bool seen = std::any_of(places.begin(), places.begin() + i, [&](const Place& q) {
                return std::tie(q.worker, q.shift, q.date) == std::tie(p.worker, p.shift, p.date);
            });
            if (!seen)
                updateShiftDayCell(db_, p.worker, p.shift, p.date);
        }
        tx.commit();
        return {Status::Saved, Outcome::ok(), id};
    } catch (const Refused& r) {
        // The transaction is rolled back by now; only the message is left.
        return {status == Status::Saved ? Status::Invalid : status, r.outcome()};
    }
}

} // namespace tabel
