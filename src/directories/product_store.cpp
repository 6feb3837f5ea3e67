#include "product_store.h"

#include "db/closed_month_checks.h"
#include "db/format.h"
#include "db/locks.h"
#include "db/numbers.h"
#include "db/sql.h"
#include "db/stored_text.h"
#include "timesheets/shift_cell.h"

#include <QSqlQuery>
#include <QStringList>
#include <vector>

namespace tabel {

namespace {

// The rate's column has no limit of its own; these keep a typed rate to
// what the program shows and computes with exactly.
constexpr int kMaxRateWholeDigits = 15;
constexpr int kMaxRateDecimals = 15;

// Adding or renaming a product holds this lock from its duplicate check to
// its commit, so two workstations cannot both find a new mark free; marks
// are compared ignoring case, so the lock covers them all.
void lockMarks(const QSqlDatabase& db) {
    lockUniqueKey(db, "cmn_gds_and_srv.gds_and_srv.s_caption", {});
}

// The brigade jobs that go with a product: its own, whose members' records
// are the product's, and any on its operations, which would be left without
// their operation.
const char* kProductJobs = "from accounts_dep.brigade_job where i_id = :ji or o_id in "
                           "(select id from accounts_dep.oper where i_id = :jo)";

} // namespace

ProductStore::ProductStore(DataModule& data) : data_(data), db_(data.db()) {}

SearchRule ProductStore::searchRule() {
    return {QStringLiteral("marka"), SearchRule::Match::Prefix};
}

void ProductStore::search(const QString& typed) {
    search_ = typed;
    applySearch();
}

void ProductStore::applySearch() {
    searchRule().apply(products(), search_);
}

void ProductStore::open() {
    products().open();
    applySearch();
}

void ProductStore::close() {
    products().close();
    products().clearFilter();
}

void ProductStore::reopen() {
    products().close();
    open();
}

void ProductStore::reopenKeepingPosition() {
    // The search filter stays on the dataset over the rereading.
    products().reopenKeepingPosition();
}

QList<ProductGroup> ProductStore::groups() const {
    QList<ProductGroup> items;
    QSqlQuery q = exec(db_, "select id, s_caption from cmn_classifier.item where id_level = 2 "
                            "and (b_excluded = 0 or b_excluded is null) order by s_caption, id");
    while (q.next())
        items.append({q.value(0).toLongLong(), q.value(1).toString()});
    return items;
}

Outcome ProductStore::save(const ProductInput& in) {
    const QString mark = in.mark.trimmed();
    const QString typedRate = in.rate.trimmed();
    if (mark.isEmpty() || typedRate.isEmpty() || in.groupId == 0)
        return Outcome::refused(kErrorCaption, QStringLiteral("Все поля должны быть заполнены!"));
    // The mark is written to the goods table and listed through `Izdel`,
    // which may read it narrower: a longer mark would be listed cut.
    if (Outcome o = checkStoredText(
            db_, {{QStringLiteral("Марка"), mark, QStringLiteral("accounts_dep.izdel.marka")}});
        !o.done())
        return o;
    const auto rate = decimalNumber(typedRate, kMaxRateWholeDigits, kMaxRateDecimals);
    if (!rate)
        return Outcome::refused(kErrorCaption,
                                decimalNumberMessage(QStringLiteral("Расценка"), typedRate,
                                                     kMaxRateWholeDigits, kMaxRateDecimals));

    try {
        Transaction tx(db_);
        if (in.mode == 2) {
            if (!scalar(db_, "select id from cmn_gds_and_srv.gds_and_srv where id = :id for update",
                        {{"id", in.productId}})
                     .isValid())
                throw Refused(kErrorCaption, kProductGone);
            // Written elsewhere since it was shown: the change would silently
            // undo what the other workstation wrote. Compared as the list
            // reads it, so a rate is the same number whatever its zeros.
            if (scalar(db_,
                       "select (marka is not distinct from cast(:m as text) and massa is not "
                       "distinct from cast(:r as numeric) and id_class_item is not distinct "
                       "from cast(:g as numeric))::integer from accounts_dep.izdel where id = :id",
                       {{"m", in.shown.mark},
                        {"r", in.shown.rate},
                        {"g", in.shown.groupId},
                        {"id", in.productId}})
                    .toInt() != 1)
                throw Refused(kErrorCaption, kProductChanged);
        }
        // The group may have been deleted elsewhere since the dialog read
        // it; the share lock keeps it until this product is committed.
        if (!scalar(db_, "select id from cmn_classifier.item where id = :g for key share",
                    {{"g", in.groupId}})
                 .isValid())
            throw Refused(kErrorCaption, kGroupGone);
        lockMarks(db_);

        QString count = "select count(*) as cnt from accounts_dep.izdel "
                        "where upper(btrim(marka)) = upper(:m)";
        QVariantMap key{{"m", mark}};
        if (in.mode == 2) {
            count += " and id <> :id";
            key["id"] = in.productId;
        }
        if (scalar(db_, count, key).toInt() > 0)
            throw Refused(kErrorCaption, kDuplicateMark);

        // The rate goes over as text and the server reads it as a numeric,
        // so it is stored with every digit typed.
        QVariantMap values{{"m", mark}, {"r", *rate}, {"g", in.groupId}};
        if (in.mode == 2) {
            values["id"] = in.productId;
            exec(db_,
                 "update cmn_gds_and_srv.gds_and_srv set s_caption = :m, s_description = '', "
                 "id_msm_bs = 6, massa = cast(:r as numeric), id_class_item = :g where id = :id",
                 values);
        } else {
            exec(db_,
                 "insert into cmn_gds_and_srv.gds_and_srv (s_caption, s_description, id_msm_bs, "
                 "massa, id_class_item) values (:m, '', 6, cast(:r as numeric), :g)",
                 values);
        }
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

ProductUse ProductStore::use(int productId) const {
    QSqlQuery q = exec(db_,
                       QStringLiteral("select (select count(*) from accounts_dep.smena where i_id "
                                      "= :s), (select count(*) from accounts_dep.oper where i_id "
                                      "= :o), (select count(*) %1)")
                           .arg(QString::fromLatin1(kProductJobs)),
                       {{"s", productId}, {"o", productId}, {"ji", productId}, {"jo", productId}});
    q.next();
    return {q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt()};
}

QString productDeletionQuestion(const ProductUse& use) {
    const QString question =
        QString::fromUtf8(use.records > 0 ? kProductHasRecords : kDeleteProduct);
    if (use.brigadeJobs == 0)
        return question;
    // Both texts end in the closing question; the jobs are told before it.
    const QString closing = QString::fromUtf8(kDeleteProduct);
    return question.chopped(closing.size()) +
           QStringLiteral("Бригадные наряды по изделию (%1) %2будут удалены. ")
               .arg(use.brigadeJobs)
               .arg(use.records > 0 ? QStringLiteral("тоже ") : QString()) +
           closing;
}

Outcome ProductStore::otherProductsRecords(int productId) const {
    // A few are named, so the user can find them in the journal; the count
    // says how many there are in all.
    constexpr int kNamed = 5;
    QSqlQuery q = exec(db_,
                       "select s.data, s.smena, p.fio, i.marka, count(*) over () "
                       "from accounts_dep.smena s "
                       "left join accounts_dep.person p on p.id = s.w_id "
                       "left join accounts_dep.izdel i on i.id = s.i_id "
                       "where s.o_id in (select id from accounts_dep.oper where i_id = :p) "
                       "and s.i_id is distinct from :q order by s.data, s.smena, s.id limit :n",
                       {{"p", productId}, {"q", productId}, {"n", kNamed}});
    QStringList named;
    int total = 0;
    while (q.next()) {
        QStringList parts;
        parts << displayValue(q.value(0), false)
              << QStringLiteral("смена %1").arg(q.value(1).toString());
        for (int c : {2, 3})
            if (const QString t = q.value(c).toString().trimmed(); !t.isEmpty())
                parts << t;
        named << parts.join(QStringLiteral(", "));
        total = q.value(4).toInt();
    }
    if (total == 0)
        return Outcome::ok();
    if (total > named.size())
        named << QStringLiteral("и ещё %1").arg(total - named.size());
    return Outcome::refused(
        kDeleteCaption,
        QStringLiteral("%1 (%2):\n%3\n%4")
            .arg(QString::fromUtf8(kProductOperationsHaveOthersRecords))
            .arg(total)
            .arg(named.join(QLatin1Char('\n')), QString::fromUtf8(kMoveOperationsBack)));
}

Outcome ProductStore::closedMonthRecords(int productId) const {
    const auto closed = firstClosedMonth(
        db_, "select accounts_dep.month_key(data) from accounts_dep.smena where i_id = :id",
        {{"id", productId}});
    if (!closed)
        return Outcome::ok();
    return Outcome::refused(kDeleteCaption, closedRecordsText(QStringLiteral("изделия"), *closed));
}

Outcome ProductStore::remove(int productId, const ProductUse& agreed) {
    const QVariantMap id{{"id", productId}};
    try {
        Transaction tx(db_);
        if (!scalar(db_, "select id from cmn_gds_and_srv.gds_and_srv where id = :id for update", id)
                 .isValid())
            return Outcome::ok(); // deleted meanwhile elsewhere
        // The jobs before the operations, in the order a change of a job
        // locks them, so the two never wait for each other in a circle.
        QSqlQuery jobRows = exec(db_,
                                 QStringLiteral("select id, data %1 order by id for update")
                                     .arg(QString::fromLatin1(kProductJobs)),
                                 {{"ji", productId}, {"jo", productId}});
        QStringList jobs;
        QList<int> months;
        while (jobRows.next()) {
            jobs << jobRows.value(0).toString();
            months << monthKey(jobRows.value(1).toDate());
        }
        // A record is saved under a share lock on its operation's row, held
        // until it commits. Locking the product's operations waits for such
        // saves, and saves that come later find their operation gone.
        const int operations = scalar(db_,
                                      "select count(*) from (select id from accounts_dep.oper "
                                      "where i_id = :id for update) o",
                                      id)
                                   .toInt();
        // Records of other products on these operations stay refused; the
        // lock above keeps any more from being written on them.
        if (Outcome o = otherProductsRecords(productId); !o.done())
            throw Refused(o);
        // The records are locked too, so none moves to another worker or day
        // while their cells are recomputed; these and no others are deleted.
        QSqlQuery days = exec(db_,
                              "with locked as (select id, w_id, smena, data from "
                              "accounts_dep.smena where i_id = :id for update) "
                              "select w_id, smena, data, count(*), string_agg(id::text, ',') "
                              "from locked group by w_id, smena, data",
                              id);
        std::vector<ShiftCell> cells;
        std::vector<WorkerMonth> places;
        QStringList records; // ids, a group of them at a time
        int recordCount = 0;
        while (days.next()) {
            recordCount += days.value(3).toInt();
            records << days.value(4).toString();
            if (!days.value(2).isNull())
                months << monthKey(days.value(2).toDate());
            if (days.value(0).isNull() || days.value(2).isNull())
                continue; // no worker or day, so no cell
            const ShiftCell c{days.value(0).toInt(), days.value(1).toInt(), days.value(2).toDate()};
            cells.push_back(c);
            places.push_back(workerMonth(c.worker, c.date));
        }
        // The user agreed to delete what there was when asked; anything
        // written since then would go unseen.
        if (recordCount > agreed.records || operations > agreed.operations ||
            jobs.size() > agreed.brigadeJobs)
            throw Refused(kDeleteCaption, kProductUsedMeanwhile);

        // The sheet's rows before the months, as a rebuild takes them.
        lockShiftRows(db_, cells);
        lockWorkerMonths(db_, places);
        // Under the months' locks no close of them can come in between.
        if (const QList<int> closed = closedAmong(db_, months); !closed.isEmpty())
            throw Refused(kDeleteCaption,
                          closedRecordsText(QStringLiteral("изделия"), closed.first()));
        // A save of a record of the product on an operation of another
        // product waits for none of the locks above but the months': one
        // that held such a lock has committed by now, unseen by the count.
        const ProductUse now = use(productId);
        if (now.records > recordCount || now.brigadeJobs > jobs.size())
            throw Refused(kDeleteCaption, kProductUsedMeanwhile);

        exec(db_, "delete from accounts_dep.smena where id = any (cast(:ids as integer[]))",
             {{"ids", QLatin1Char('{') + records.join(QLatin1Char(',')) + QLatin1Char('}')}});
        // Members before their jobs: a member's month is read through its job.
        const QVariantMap jobIds{
            {"jobs", QLatin1Char('{') + jobs.join(QLatin1Char(',')) + QLatin1Char('}')}};
        exec(db_,
             "delete from accounts_dep.brigade_member where job_id = any (cast(:jobs as "
             "integer[]))",
             jobIds);
        exec(db_, "delete from accounts_dep.brigade_job where id = any (cast(:jobs as integer[]))",
             jobIds);
        exec(db_,
             "delete from accounts_dep.norm where o_id in "
             "(select id from accounts_dep.oper where i_id = :id)",
             id);
        exec(db_, "delete from accounts_dep.oper where i_id = :id", id);
        exec(db_, "delete from cmn_gds_and_srv.gds_and_srv where id = :id", id);
        for (const ShiftCell& c : cells)
            updateShiftDayCell(db_, c.worker, c.shift, c.date);
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

} // namespace tabel
