#include "record_saver.h"

#include "db/locks.h"
#include "db/sql.h"
#include "records/price_rules.h"
#include "timesheets/shift_cell.h"

#include <QSqlQuery>
#include <algorithm>
#include <tuple>

namespace tabel {

bool RecordSaver::validate(const RecordInput& in) {
    const bool missing = in.fio.trimmed().isEmpty() || in.operationText.trimmed().isEmpty() ||
                         in.quantity.trimmed().isEmpty() || in.rejects.trimmed().isEmpty() ||
                         (isPainting(in.operationText) && in.color.trimmed().isEmpty()) ||
                         in.hours.trimmed().isEmpty();
    if (missing)
        ctx_.messenger.error("Ошибка", kFillAllFields);
    return !missing;
}

RecordSaver::Result RecordSaver::save(const RecordInput& in, int shift, const QDate& today) {
    if (!validate(in))
        return Result::Invalid;
    if (shift < 1 || shift > 4)
        shift = 1;
    const QSqlDatabase db = ctx_.db();
    const double price = round4(in.finalPrice);
    const int color = in.color.trimmed().isEmpty() ? 0 : in.color.trimmed().toInt();

    Transaction tx(db);
    // Where a changed record stood before, so its former cell follows too.
    struct Place {
        int worker;
        int shift;
        QDate date;
    };
    std::vector<Place> places{{in.workerId, shift, in.date}};
    if (in.mode == 2) {
        QSqlQuery old =
            exec(db, "select w_id, smena, data from accounts_dep.smena where id = :id for update",
                 {{"id", in.recordId}});
        if (!old.next()) {
            tx.rollback();
            ctx_.messenger.error("Ошибка", kRecordGone);
            return Result::Missing;
        }
        places.push_back({old.value(0).toInt(), old.value(1).toInt(), old.value(2).toDate()});
    }
    // Locks in a fixed order, so two workstations never wait for each other.
    std::vector<std::pair<int, int>> locks;
    for (const Place& p : places)
        locks.emplace_back(p.worker, p.date.year() * 100 + p.date.month());
    std::sort(locks.begin(), locks.end());
    locks.erase(std::unique(locks.begin(), locks.end()), locks.end());
    for (const auto& [worker, month] : locks)
        lockWorkerMonth(db, worker, QDate(month / 100, month % 100, 1));

    // The operation may have been deleted on another workstation since it
    // was picked; a record must not point at nothing, or the journal would
    // never show it. The row lock keeps it until this record is committed.
    if (!scalar(db, "select id from accounts_dep.oper where id = :o for key share",
                {{"o", in.operationId}})
             .isValid()) {
        tx.rollback();
        ctx_.messenger.error("Ошибка", kOperationGone);
        return Result::Missing;
    }

    QVariantMap key{{"w", in.workerId}, {"o", in.operationId}, {"i", in.productId},
                    {"d", in.date},     {"s", shift},          {"c", color}};
    QString count = "select count(id) as cnt from accounts_dep.smena where w_id = :w and "
                    "o_id = :o and i_id = :i and data = :d and smena = :s and color = :c";
    if (in.mode == 2) {
        count += " and id <> :id";
        key["id"] = in.recordId;
    }
    if (scalar(db, count, key).toInt() > 0) {
        // Nobody should wait on our locks while the box is open.
        tx.rollback();
        ctx_.messenger.error("Ошибка", kDuplicateRecord);
        return Result::Duplicate;
    }

    QVariantMap values{{"w", in.workerId},
                       {"i", in.productId},
                       {"o", in.operationId},
                       {"p", price},
                       {"q", in.quantity.trimmed().toLongLong()},
                       {"b", in.rejects.trimmed().toInt()},
                       {"d", in.date},
                       {"s", shift},
                       {"c", color},
                       {"t", in.hours.trimmed().toInt()},
                       {"v", today}};
    if (in.mode == 1) {
        exec(db,
             "insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, data, smena, "
             "color, time, vvod, ok, prize, id_doc, id_doc_item, f_gds_qty_use, id_gds_use, "
             "id_cons_use) values (:w, :i, :o, :p, :q, :b, :d, :s, :c, :t, :v, 'no', 0, 0, 0, "
             "0, 0, 0)",
             values);
    } else {
        values["id"] = in.recordId;
        exec(db,
             "update accounts_dep.smena set w_id = :w, i_id = :i, o_id = :o, cena = :p, "
             "kol_vo = :q, brak = :b, data = :d, smena = :s, color = :c, time = :t, vvod = :v, "
             "prize = 0, id_doc = 0, id_doc_item = 0, f_gds_qty_use = 0, id_gds_use = 0, "
             "id_cons_use = 0 where id = :id",
             values);
    }

    for (std::size_t i = 0; i < places.size(); ++i) {
        const Place& p = places[i];
        const bool seen = std::any_of(places.begin(), places.begin() + i, [&](const Place& q) {
            return std::tie(q.worker, q.shift, q.date) == std::tie(p.worker, p.shift, p.date);
        });
        if (!seen)
            updateShiftDayCell(db, p.worker, p.shift, p.date);
    }
    tx.commit();

    ctx_.data.shiftList(shift).reopenKeepingPosition();
    return Result::Saved;
}

} // namespace tabel
