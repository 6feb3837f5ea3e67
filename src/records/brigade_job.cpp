#include "brigade_job.h"

#include "db/array_param.h"
#include "db/closed_month_checks.h"
#include "db/locks.h"
#include "db/numbers.h"
#include "db/sql.h"
#include "db/worker_names.h"
#include "records/price_rules.h"
#include "records/record_saver.h"
#include "timesheets/shift_cell.h"

#include <QSet>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace tabel {

namespace {

Outcome refusal(const QString& text) {
    return Outcome::refused(kErrorCaption, text);
}

// An array parameter as the server reads `cast(:name as integer[])` or
// `numeric[]`, from items written as the database writes numbers.
QString arrayText(const QStringList& items) {
    return QLatin1Char('{') + items.join(QLatin1Char(',')) + QLatin1Char('}');
}
QString intArray(const std::vector<qint64>& values) {
    return arrayParam(values);
}

// The job's row, locked first as a record's change locks its own, and
// refused when it is gone or, given a `version`, written since it was read.
struct LockedJob {
    QDate date;
    int shift;
};
LockedJob lockJob(const QSqlDatabase& db, int jobId, const std::optional<QString>& version,
                  BrigadeJobs::Status& status) {
    QSqlQuery job = exec(db,
                         "select data, smena, xmin::text from accounts_dep.brigade_job "
                         "where id = :id for update",
                         {{"id", jobId}});
    if (!job.next()) {
        status = BrigadeJobs::Status::Missing;
        throw Refused(kErrorCaption, kBrigadeGone);
    }
    if (version && job.value(2).toString() != *version) {
        status = BrigadeJobs::Status::Stale;
        throw Refused(kErrorCaption, kBrigadeChanged);
    }
    return {job.value(0).toDate(), job.value(1).toInt()};
}

// Where a record stands in the time sheet.
struct Place {
    int worker;
    int shift;
    QDate date;
    auto operator<=>(const Place& o) const {
        return std::tie(worker, shift, date) <=> std::tie(o.worker, o.shift, o.date);
    }
    bool operator==(const Place&) const = default;
};

// The members' records of a job, locked, as they stand now.
struct StoredRecord {
    qint64 id;
    Place place;
};
std::vector<StoredRecord> lockJobRecords(const QSqlDatabase& db, int job) {
    QSqlQuery q = exec(db,
                       "select s.id, s.w_id, s.smena, s.data from accounts_dep.smena s "
                       "join accounts_dep.brigade_member m on m.id = s.id_doc_item "
                       "and m.job_id = s.id_doc where s.id_doc <> 0 and s.id_doc = :job order by "
                       "s.id for update of s",
                       {{"job", job}});
    std::vector<StoredRecord> out;
    while (q.next())
        out.push_back({q.value(0).toLongLong(),
                       {q.value(1).toInt(), q.value(2).toInt(), q.value(3).toDate()}});
    return out;
}

// Locks every month and worker the write touches, then refuses a closed
// month while the locks hold the answer to the commit.
void lockAndCheckMonths(const QSqlDatabase& db, const std::set<Place>& places) {
    std::vector<WorkerMonth> locks;
    std::vector<ShiftCell> cells;
    QList<int> months;
    for (const Place& p : places) {
        locks.push_back(workerMonth(p.worker, p.date));
        cells.push_back({p.worker, p.shift, p.date});
        months << monthKey(p.date);
    }
    // The sheet's rows before the months, as a rebuild takes them.
    lockShiftRows(db, cells);
    lockWorkerMonths(db, locks);
    refuseClosedMonths(db, months);
}

void updateCells(const QSqlDatabase& db, const std::set<Place>& places) {
    for (const Place& p : places)
        updateShiftDayCell(db, p.worker, p.shift, p.date);
}

} // namespace

Outcome planBrigadeJob(const BrigadeJobInput& in, BrigadePlan& plan) {
    const bool painting = isPainting(in.operationText);
    if (in.operationText.trimmed().isEmpty() || in.quantity.trimmed().isEmpty() ||
        in.rejects.trimmed().isEmpty() || (painting && in.color.trimmed().isEmpty()))
        return refusal(kFillAllFields);
    if (in.members.empty())
        return refusal("В наряде нет ни одного работника.");
    const auto total = quantityThousandths(in.quantity);
    if (!total)
        return refusal(decimalNumberMessage("Кол-во", in.quantity, 9, 3));
    const auto rejects = wholeNumber(in.rejects, kMaxRejects);
    if (!rejects)
        return refusal(wholeNumberMessage("Брак", in.rejects, kMaxRejects));
    if (*rejects * 1000 > *total)
        return refusal("Брак больше количества наряда.");
    plan.color = 0;
    if (painting) {
        const auto color = wholeNumber(in.color, kMaxColor);
        if (!color)
            return refusal(wholeNumberMessage("Цвет", in.color, kMaxColor));
        plan.color = *color;
    }
    plan.total = *total;
    plan.rejects = *rejects;
    plan.hours.clear();
    plan.ktu.clear();
    std::vector<BrigadeWeight> weights;
    QSet<int> seen;
    for (const BrigadeMemberInput& m : in.members) {
        const QString who = m.fio.trimmed();
        if (m.workerId == 0 || who.isEmpty())
            return refusal(kFillAllFields);
        if (seen.contains(m.workerId))
            return refusal(QStringLiteral("Работник %1 указан в наряде дважды.").arg(who));
        seen.insert(m.workerId);
        const auto hours = wholeNumber(m.hours, kMaxHours);
        if (!hours)
            return refusal(
                wholeNumberMessage(QStringLiteral("Часы (%1)").arg(who), m.hours, kMaxHours));
        const auto ktu = ktuHundredths(m.ktu);
        if (!ktu)
            return refusal(decimalNumberMessage(QStringLiteral("КТУ (%1)").arg(who), m.ktu, 1, 2));
        plan.hours.push_back(*hours);
        plan.ktu.push_back(*ktu);
        weights.push_back({*hours, *ktu});
    }
    plan.split = splitBrigadeJob(plan.total, plan.rejects, weights);
    if (!plan.split.ok())
        return refusal(plan.split.refusal);
    plan.price = priceTenThousandths(round4(in.finalPrice));
    plan.pay.clear();
    plan.totalPay = 0;
    for (const BrigadeShare& s : plan.split.shares) {
        plan.pay.push_back(brigadePayKopecks(s, plan.price));
        plan.totalPay += plan.pay.back();
    }
    return Outcome::ok();
}

BrigadeJobs::Result BrigadeJobs::save(const BrigadeJobInput& in, const QDate& today) {
    BrigadePlan plan;
    if (Outcome o = planBrigadeJob(in, plan); !o.done())
        return {Status::Invalid, o};
    Status status = Status::Saved;
    try {
        Transaction tx(db_);
        QDate date = in.date;
        int shift = in.shift < 1 || in.shift > 4 ? 1 : in.shift;
        std::map<int, qint64> oldMembers; // worker → member
        std::vector<StoredRecord> oldRecords;
        if (in.jobId != 0) {
            const LockedJob job = lockJob(db_, in.jobId, in.version, status);
            date = job.date;
            shift = job.shift;
            QSqlQuery members =
                exec(db_, "select w_id, id from accounts_dep.brigade_member where job_id = :id",
                     {{"id", in.jobId}});
            while (members.next())
                oldMembers[members.value(0).toInt()] = members.value(1).toLongLong();
            oldRecords = lockJobRecords(db_, in.jobId);
        }
        if (!scalar(db_, "select accounts_dep.hold_for_use('oper', :o)", {{"o", in.operationId}})
                 .toBool()) {
            status = Status::Missing;
            throw Refused(kErrorCaption, kOperationGone);
        }

        std::set<Place> places;
        std::vector<qint64> workers;
        for (const BrigadeMemberInput& m : in.members) {
            places.insert({m.workerId, shift, date});
            workers.push_back(m.workerId);
        }
        std::vector<qint64> ownRecords;
        for (const StoredRecord& r : oldRecords) {
            places.insert(r.place);
            ownRecords.push_back(r.id);
        }
        try {
            lockAndCheckMonths(db_, places);
        } catch (const Refused&) {
            status = Status::Closed;
            throw;
        }

        const QVariant gone = scalar(db_,
                                     "select w from unnest(cast(:ws as integer[])) w "
                                     "where not exists (select 1 from accounts_dep.person p "
                                     "where p.id = w) limit 1",
                                     {{"ws", intArray(workers)}});
        auto fioOf = [&](int worker) {
            for (const BrigadeMemberInput& m : in.members)
                if (m.workerId == worker)
                    return m.fio.trimmed();
            return QString::number(worker);
        };
        if (gone.isValid()) {
            status = Status::Missing;
            throw Refused(kErrorCaption, QStringLiteral("%1 (%2)").arg(
                                             QString::fromUtf8(kWorkerGone), fioOf(gone.toInt())));
        }
        // The duplicate check of a single record's save, for every member at
        // once; the job's own records do not count against it.
        const QVariant duplicate =
            scalar(db_,
                   "select w_id from accounts_dep.smena where w_id = any (cast(:ws as integer[])) "
                   "and o_id = :o and i_id = :i and data = :d and smena = :s and color = :c "
                   "and id <> all (cast(:own as integer[])) order by w_id limit 1",
                   {{"ws", intArray(workers)},
                    {"o", in.operationId},
                    {"i", in.productId},
                    {"d", date},
                    {"s", shift},
                    {"c", static_cast<int>(plan.color)},
                    {"own", intArray(ownRecords)}});
        if (duplicate.isValid()) {
            status = Status::Duplicate;
            throw Refused(kErrorCaption,
                          QStringLiteral("%1 Работник: %2.")
                              .arg(QString::fromUtf8(kDuplicateRecord), fioOf(duplicate.toInt())));
        }

        const double price = round4(in.finalPrice);
        QVariantMap job{{"d", date},
                        {"s", shift},
                        {"i", in.productId},
                        {"o", in.operationId},
                        {"c", static_cast<int>(plan.color)},
                        {"q", thousandthsText(plan.total)},
                        {"b", static_cast<int>(plan.rejects)},
                        {"off", in.dayOff},
                        {"p", price}};
        int jobId = in.jobId;
        if (jobId == 0) {
            jobId = scalar(db_,
                           "insert into accounts_dep.brigade_job (data, smena, i_id, o_id, color, "
                           "kol_vo, brak, day_off, cena) values (:d, :s, :i, :o, :c, "
                           "cast(:q as numeric), :b, :off, :p) returning id",
                           job)
                        .toInt();
        } else {
            job["id"] = jobId;
            exec(db_,
                 "update accounts_dep.brigade_job set i_id = :i, o_id = :o, color = :c, "
                 "kol_vo = cast(:q as numeric), brak = :b, day_off = :off, cena = :p, "
                 "vvod = now() where id = :id",
                 job);
        }

        // Members who left take their records with them.
        std::vector<qint64> removed;
        for (const auto& [worker, member] : oldMembers)
            if (std::none_of(in.members.begin(), in.members.end(),
                             [w = worker](const BrigadeMemberInput& m) { return m.workerId == w; }))
                removed.push_back(member);
        if (!removed.empty()) {
            const QVariantMap p{{"job", jobId}, {"ids", intArray(removed)}};
            exec(db_,
                 "delete from accounts_dep.smena where id_doc <> 0 and id_doc = :job "
                 "and id_doc_item = any (cast(:ids as integer[]))",
                 p);
            exec(db_,
                 "delete from accounts_dep.brigade_member where id = any (cast(:ids as integer[]))",
                 p);
        }

        // The members in one statement each way: kept ones updated, new ones
        // inserted, then every member's record written from its share.
        std::vector<qint64> keptIds, keptHours, keptPos, newWorkers, newHours, newPos;
        QStringList keptKtu, newKtu;
        for (std::size_t i = 0; i < in.members.size(); ++i) {
            const auto old = oldMembers.find(in.members[i].workerId);
            if (old != oldMembers.end()) {
                keptIds.push_back(old->second);
                keptHours.push_back(plan.hours[i]);
                keptKtu << hundredthsText(plan.ktu[i]);
                keptPos.push_back(qint64(i) + 1);
            } else {
                newWorkers.push_back(in.members[i].workerId);
                newHours.push_back(plan.hours[i]);
                newKtu << hundredthsText(plan.ktu[i]);
                newPos.push_back(qint64(i) + 1);
            }
        }
        if (!keptIds.empty())
            exec(db_,
                 "update accounts_dep.brigade_member m set hours = u.h, ktu = u.k, "
                 "position = u.p from unnest(cast(:ids as integer[]), cast(:hs as integer[]), "
                 "cast(:ks as numeric[]), cast(:ps as integer[])) as u(id, h, k, p) "
                 "where m.id = u.id",
                 {{"ids", intArray(keptIds)},
                  {"hs", intArray(keptHours)},
                  {"ks", arrayText(keptKtu)},
                  {"ps", intArray(keptPos)}});
        if (!newWorkers.empty())
            exec(db_,
                 "insert into accounts_dep.brigade_member (job_id, w_id, hours, ktu, position) "
                 "select :job, u.w, u.h, u.k, u.p from unnest(cast(:ws as integer[]), "
                 "cast(:hs as integer[]), cast(:ks as numeric[]), cast(:ps as integer[])) "
                 "as u(w, h, k, p)",
                 {{"job", jobId},
                  {"ws", intArray(newWorkers)},
                  {"hs", intArray(newHours)},
                  {"ks", arrayText(newKtu)},
                  {"ps", intArray(newPos)}});

        QStringList quantities;
        std::vector<qint64> shareRejects;
        for (const BrigadeShare& s : plan.split.shares) {
            quantities << thousandthsText(s.quantity);
            shareRejects.push_back(s.rejects);
        }
        const QVariantMap shares{{"job", jobId},
                                 {"ws", intArray(workers)},
                                 {"qs", arrayText(quantities)},
                                 {"bs", intArray(shareRejects)},
                                 {"ts", intArray(plan.hours)},
                                 {"i", in.productId},
                                 {"o", in.operationId},
                                 {"p", price},
                                 {"c", static_cast<int>(plan.color)},
                                 {"d", date},
                                 {"s", shift},
                                 {"v", today}};
        const QString split = QStringLiteral(
            "with u as (select u.w, u.q, u.b, u.t, m.id as m from unnest(cast(:ws as integer[]), "
            "cast(:qs as numeric[]), cast(:bs as integer[]), cast(:ts as integer[])) "
            "as u(w, q, b, t) join accounts_dep.brigade_member m on m.job_id = :job "
            "and m.w_id = u.w) ");
        if (in.jobId != 0)
            exec(db_,
                 split + "update accounts_dep.smena s set i_id = :i, o_id = :o, cena = :p, "
                         "kol_vo = u.q, brak = u.b, color = :c, time = u.t, vvod = :v "
                         "from u where s.id_doc <> 0 and s.id_doc = :job and s.id_doc_item = u.m",
                 shares);
        // A new member's record, and one that another application removed.
        exec(db_,
             split +
                 "insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, "
                 "data, smena, color, time, vvod, ok, prize, id_doc, id_doc_item, "
                 "f_gds_qty_use, id_gds_use, id_cons_use) "
                 "select u.w, :i, :o, :p, u.q, u.b, :d, :s, :c, u.t, :v, 'no', 0, :job, u.m, "
                 "0, 0, 0 from u where not exists (select 1 from accounts_dep.smena s "
                 "where s.id_doc <> 0 and s.id_doc = :job and s.id_doc_item = u.m) order by u.m",
             shares);

        updateCells(db_, places);
        tx.commit();
        return {Status::Saved, Outcome::ok(), jobId};
    } catch (const Refused& r) {
        return {status == Status::Saved ? Status::Invalid : status, r.outcome()};
    }
}

BrigadeJobs::Result BrigadeJobs::remove(int jobId, const QString& version) {
    Status status = Status::Saved;
    try {
        Transaction tx(db_);
        const auto [date, shift] =
            lockJob(db_, jobId, version.isEmpty() ? std::nullopt : std::optional(version), status);
        std::set<Place> places;
        QSqlQuery members =
            exec(db_, "select w_id from accounts_dep.brigade_member where job_id = :id",
                 {{"id", jobId}});
        while (members.next())
            places.insert({members.value(0).toInt(), shift, date});
        std::vector<qint64> records;
        for (const StoredRecord& r : lockJobRecords(db_, jobId)) {
            places.insert(r.place);
            records.push_back(r.id);
        }
        try {
            lockAndCheckMonths(db_, places);
        } catch (const Refused&) {
            status = Status::Closed;
            throw;
        }
        // Members before the job: their month is read through it.
        exec(db_, "delete from accounts_dep.smena where id = any (cast(:ids as integer[]))",
             {{"ids", intArray(records)}});
        exec(db_, "delete from accounts_dep.brigade_member where job_id = :id", {{"id", jobId}});
        exec(db_, "delete from accounts_dep.brigade_job where id = :id", {{"id", jobId}});
        updateCells(db_, places);
        tx.commit();
        return {Status::Saved, Outcome::ok(), jobId};
    } catch (const Refused& r) {
        return {status == Status::Saved ? Status::Invalid : status, r.outcome()};
    }
}

std::optional<BrigadeJob> BrigadeJobs::load(int jobId) {
    QSqlQuery q = exec(db_,
                       "select j.data, j.smena, j.day_off, j.i_id, j.o_id, j.kol_vo::text, j.brak, "
                       "j.color, j.cena, j.xmin::text, izdel.marka, vid_oper.vid, oper.naimen "
                       "from accounts_dep.brigade_job j "
                       "join accounts_dep.izdel izdel on izdel.id = j.i_id "
                       "join accounts_dep.oper oper on oper.id = j.o_id "
                       "join accounts_dep.vid_oper vid_oper on vid_oper.id = oper.vid "
                       "where j.id = :id",
                       {{"id", jobId}});
    if (!q.next())
        return std::nullopt;
    BrigadeJob job;
    job.id = jobId;
    job.date = q.value(0).toDate();
    job.shift = q.value(1).toInt();
    job.dayOff = q.value(2).toBool();
    job.productId = q.value(3).toInt();
    job.operationId = q.value(4).toInt();
    job.quantity = plainDecimal(q.value(5).toString());
    job.rejects = q.value(6).toInt();
    job.color = q.value(7).toInt();
    job.price = q.value(8).toDouble();
    job.version = q.value(9).toString();
    job.operationText =
        operationText(q.value(10).toString(), q.value(11).toString(), q.value(12).toInt());
    QSqlQuery m =
        exec(db_,
             QStringLiteral("with ") +
                 sql::workerNames(QStringLiteral("names"),
                                  QStringLiteral("select w_id from accounts_dep.brigade_member "
                                                 "where job_id = :id")) +
                 QStringLiteral(" select m.id, m.w_id, names.fio, m.hours, m.ktu::text "
                                "from accounts_dep.brigade_member m "
                                "left join names on names.w_id = m.w_id "
                                "where m.job_id = :id order by m.position, m.id"),
             {{"id", jobId}});
    while (m.next())
        job.members.push_back({m.value(0).toInt(), m.value(1).toInt(),
                               m.value(2).toString().trimmed(), m.value(3).toInt(),
                               m.value(4).toString()});
    return job;
}

std::optional<int> brigadeJobOfRecord(const QSqlDatabase& db, int recordId) {
    const QVariant job = scalar(db,
                                "select m.job_id from accounts_dep.smena s "
                                "join accounts_dep.brigade_member m on m.id = s.id_doc_item "
                                "and m.job_id = s.id_doc where s.id = :id",
                                {{"id", recordId}});
    if (!job.isValid())
        return std::nullopt;
    return job.toInt();
}

QString brigadeRecordText(int jobId) {
    return QStringLiteral("Позиция входит в бригадный наряд № %1: её изменяют и удаляют только "
                          "вместе с нарядом.")
        .arg(jobId);
}

} // namespace tabel
