#include "repricing.h"

#include "db/array_param.h"
#include "db/closed_month_checks.h"
#include "db/dataset.h"
#include "db/locks.h"
#include "db/sql.h"
#include "db/statements.h"
#include "db/worker_names.h"
#include "records/brigade_split.h"
#include "records/price_rules.h"

#include <QSqlQuery>
#include <QStringList>
#include <cmath>
#include <set>

namespace tabel {

namespace {

// Half of the fourth decimal: a saved price is its base times its factors
// rounded to four decimals.
constexpr double kTolerance = 0.00005;

bool near(double a, double b) {
    return std::fabs(a - b) <= kTolerance;
}

// The records of the month that the norms holding on their dates would
// price otherwise, with what their factors are read from. The server leaves
// out every record whose price is one of the two its shift allows against
// today's reading of the norms, and every share of a job priced right: on a
// month where little changed, little comes back.
//
// `known` is the base price that held on the record's date as it was known
// on the day the record was entered. Entry dates have no time of day, so a
// price set that day may or may not have priced it: both readings are
// tried. A norm's first price and the prices the upgrade seeded were known
// always.
QString candidatesStatement(bool oneOperation) {
    const QString priceNow = sql::normPriceOn(QStringLiteral("n.id"), QStringLiteral("d.data"));
    return QStringLiteral(
               "with s as materialized (select s.id, s.w_id, s.data, s.smena, s.o_id, s.i_id, "
               "s.cena, s.kol_vo, s.brak, s.vvod, j.id as job, j.day_off, j.cena as job_cena "
               "from accounts_dep.smena s "
               "left join accounts_dep.brigade_member m on s.id_doc <> 0 "
               "and m.id = s.id_doc_item and m.job_id = s.id_doc "
               "left join accounts_dep.brigade_job j on j.id = m.job_id "
               "where s.data >= :d1 and s.data < :d2%1), "
               "now_base as (select d.o_id, d.data, min(p.price) as base "
               "from (select distinct o_id, data from s) d "
               "join accounts_dep.norm n on n.o_id = d.o_id "
               "cross join lateral (%2) p group by d.o_id, d.data), "
               "c as materialized (select s.*, b.base from s "
               "join now_base b on b.o_id = s.o_id and b.data = s.data "
               "where case when s.job is not null then "
               "abs(s.job_cena - b.base * (case when s.day_off then 2 else 1 end) * "
               "(case s.smena when 3 then 1.2 when 4 then 1.5 else 1 end)) > %3 "
               "else not (abs(s.cena - b.base * "
               "(case s.smena when 3 then 1.2 when 4 then 1.5 else 1 end)) <= %3 "
               "or abs(s.cena - 2 * b.base * "
               "(case s.smena when 3 then 1.2 when 4 then 1.5 else 1 end)) <= %3) end), "
               "known as (select d.o_id, d.data, d.entered, min(p1.price) as before_day, "
               "min(p2.price) as with_day "
               "from (select distinct o_id, data, %5 as entered from c where job is null) d "
               "join accounts_dep.norm n on n.o_id = d.o_id "
               "left join lateral (%6 and np.set_at::date < d.entered %7) p1 on true "
               "left join lateral (%6 and np.set_at::date <= d.entered %7) p2 on true "
               "group by d.o_id, d.data, d.entered), "
               "%4 "
               "select c.id, c.w_id, names.fio, c.data, c.smena, c.o_id, izdel.marka, "
               "vid_oper.vid, oper.naimen, c.job, c.day_off::integer, c.cena, c.base, "
               "k.before_day, k.with_day, "
               "(c.kol_vo - c.brak)::text as good, "
               "round((c.kol_vo - c.brak) * c.cena::numeric, 2)::text as pay "
               "from c left join known k on c.job is null and k.o_id = c.o_id "
               "and k.data = c.data and k.entered = %5 "
               "left join names on names.w_id = c.w_id "
               "left join accounts_dep.oper oper on oper.id = c.o_id "
               "left join accounts_dep.izdel izdel on izdel.id = c.i_id "
               "left join accounts_dep.vid_oper vid_oper on vid_oper.id = oper.vid "
               "order by names.fio, c.w_id, c.data, c.smena, c.id")
        .arg(oneOperation ? QStringLiteral(" and s.o_id = :o") : QString(), priceNow,
             QString::number(kTolerance, 'f', 5),
             sql::workerNames(QStringLiteral("names"), QStringLiteral("select w_id from c")),
             // A record without an entry date came by the import, priced long
             // ago: only what was known always counts for it.
             QStringLiteral("coalesce(vvod::date, '-infinity'::date)"),
             QStringLiteral("select np.price from accounts_dep.norm_price np "
                            "where np.norm_id = n.id and np.valid_from <= d.data"),
             QStringLiteral("order by np.valid_from desc limit 1"));
}

// Kopecks of a good quantity (thousandths) at a price (ten-thousandths),
// rounded half away from zero as the server rounds amounts.
qint64 payKopecks(qint64 thousandths, qint64 tenThousandths) {
    const qint64 raw = thousandths * tenThousandths; // 10^-7 of a rouble
    const qint64 half = 50000;
    return raw >= 0 ? (raw + half) / 100000 : -((-raw + half) / 100000);
}

// The plan's columns, in the statement's order, with the types the lines
// read them as.
const QList<JsonColumn>& planColumns() {
    static const QList<JsonColumn> columns{
        {"id", QMetaType::LongLong},         {"w_id", QMetaType::Int},
        {"fio", QMetaType::QString, true},   {"data", QMetaType::QDate},
        {"smena", QMetaType::Int},           {"o_id", QMetaType::Int},
        {"marka", QMetaType::QString, true}, {"vid", QMetaType::QString, true},
        {"naimen", QMetaType::Int},          {"job", QMetaType::Int},
        {"day_off", QMetaType::Int},         {"cena", QMetaType::Double},
        {"base", QMetaType::Double},         {"before_day", QMetaType::Double},
        {"with_day", QMetaType::Double},     {"good", QMetaType::QString, true},
        {"pay", QMetaType::QString, true}};
    return columns;
}

RepricePlan readPlan(const QSqlDatabase& db, const QDate& month, std::optional<int> operationId) {
    RepricePlan plan;
    plan.month = QDate(month.year(), month.month(), 1);
    QVariantMap params{{"d1", plan.month}, {"d2", plan.month.addMonths(1)}};
    if (operationId)
        params["o"] = *operationId;
    // A month where every rate changed has tens of thousands of lines: they
    // come as one JSON text, which costs a fraction of the driver's reading
    // row by row.
    QStringList values;
    for (const JsonColumn& c : planColumns())
        values << QStringLiteral("r.") + c.name;
    const QString statement =
        QStringLiteral("select coalesce(json_agg(json_build_array(%1))::text, '[]') from (%2) r")
            .arg(values.join(QStringLiteral(", ")), candidatesStatement(operationId.has_value()));
    QSqlQuery q = exec(db, statement, params);
    const ResultRows rows = readJsonRows(q, planColumns(), statement);
    for (const std::vector<QVariant>& row : rows.rows) {
        const auto value = [&row](int i) { return row[i]; };
        RepriceLine l;
        l.recordId = value(0).toLongLong();
        l.workerId = value(1).toInt();
        l.fio = value(2).toString();
        l.date = value(3).toDate();
        l.shift = value(4).toInt();
        l.operationId = value(5).toInt();
        l.operationText = operationText(value(6).toString(), value(7).toString(), value(8).toInt());
        l.jobId = value(9).isNull() ? 0 : value(9).toInt();
        l.oldPrice = value(11).toDouble();
        const double now = value(12).toDouble();
        if (l.jobId != 0) {
            l.dayOff = value(10).toInt() != 0;
            l.newPrice = round4(finalPrice(now, l.dayOff, l.shift));
        } else {
            for (const int column : {13, 14}) {
                if (value(column).isNull())
                    continue;
                const double then = value(column).toDouble();
                for (const bool dayOff : {false, true})
                    if (!l.newPrice &&
                        near(l.oldPrice, round4(finalPrice(then, dayOff, l.shift)))) {
                        l.dayOff = dayOff;
                        l.newPrice = round4(finalPrice(now, dayOff, l.shift));
                    }
            }
        }
        if (l.newPrice && near(*l.newPrice, l.oldPrice))
            continue; // rounding alone
        if (l.newPrice) {
            const qint64 good = quantityThousandths(value(15).toString()).value_or(0);
            const qint64 before = quantityThousandths(value(16).toString()).value_or(0) / 10;
            l.payDifference = payKopecks(good, priceTenThousandths(*l.newPrice)) - before;
        }
        plan.lines.push_back(l);
    }
    plan.averageStale = scalar(db,
                               "select count(*) from accounts_dep.fatigue where id_o = 7778 "
                               "and i_year = :y and i_mnth = :m",
                               {{"y", plan.month.year()}, {"m", plan.month.month()}})
                            .toInt() > 0;
    return plan;
}

} // namespace

int RepricePlan::changes() const {
    int n = 0;
    for (const RepriceLine& l : lines)
        n += l.newPrice ? 1 : 0;
    return n;
}

int RepricePlan::unexplained() const {
    return static_cast<int>(lines.size()) - changes();
}

int RepricePlan::jobs() const {
    std::set<int> ids;
    for (const RepriceLine& l : lines)
        if (l.newPrice && l.jobId != 0)
            ids.insert(l.jobId);
    return static_cast<int>(ids.size());
}

std::map<int, qint64> RepricePlan::workerDifferences() const {
    std::map<int, qint64> out;
    for (const RepriceLine& l : lines)
        if (l.newPrice)
            out[l.workerId] += l.payDifference;
    return out;
}

RepricePlan Repricing::plan(const QDate& month, std::optional<int> operationId) const {
    return readPlan(db_, month, operationId);
}

Repricing::Applied Repricing::apply(const QDate& month, std::optional<int> operationId) {
    const QDate first(month.year(), month.month(), 1);
    try {
        Transaction tx(db_);
        // Row locks come before the month's lock, as in every write: the
        // records and jobs found to change are held first, then the month
        // is closed to every other write and read again, so what is written
        // is what holds under the lock.
        const RepricePlan before = readPlan(db_, first, operationId);
        std::vector<qint64> ids;
        std::set<int> jobIds;
        for (const RepriceLine& l : before.lines)
            if (l.newPrice) {
                ids.push_back(l.recordId);
                if (l.jobId != 0)
                    jobIds.insert(l.jobId);
            }
        if (!jobIds.empty())
            exec(db_,
                 "select id from accounts_dep.brigade_job where id = any (cast(:ids as integer[])) "
                 "order by id for update",
                 {{"ids", arrayParam(jobIds)}});
        if (!ids.empty())
            exec(db_,
                 "select id from accounts_dep.smena where id = any (cast(:ids as bigint[])) "
                 "order by id for update",
                 {{"ids", arrayParam(ids)}});
        lockWholeMonth(db_, first);
        refuseClosedMonths(db_, {monthKey(first)});

        RepricePlan plan = readPlan(db_, first, operationId);
        std::vector<qint64> records;
        std::vector<double> prices;
        std::map<int, double> jobs;
        for (const RepriceLine& l : plan.lines) {
            if (!l.newPrice)
                continue;
            records.push_back(l.recordId);
            prices.push_back(*l.newPrice);
            if (l.jobId != 0)
                jobs[l.jobId] = *l.newPrice;
        }
        // Shortest text that reads back as the same double.
        const auto priceText = [](double v) { return QString::number(v, 'g', 17); };
        if (!jobs.empty()) {
            std::vector<int> jobIdList;
            std::vector<double> jobPrices;
            for (const auto& [id, price] : jobs) {
                jobIdList.push_back(id);
                jobPrices.push_back(price);
            }
            exec(db_,
                 "update accounts_dep.brigade_job j set cena = v.price from "
                 "unnest(cast(:ids as integer[]), cast(:prices as double precision[])) "
                 "as v(id, price) where j.id = v.id",
                 {{"ids", arrayParam(jobIdList)}, {"prices", arrayParam(jobPrices, priceText)}});
        }
        if (!records.empty())
            exec(db_,
                 "update accounts_dep.smena s set cena = v.price from "
                 "unnest(cast(:ids as bigint[]), cast(:prices as double precision[])) "
                 "as v(id, price) where s.id = v.id",
                 {{"ids", arrayParam(records)}, {"prices", arrayParam(prices, priceText)}});
        // The time sheets keep hours, not pay: no cell changes with a price.
        tx.commit();
        return {Outcome::ok(), plan};
    } catch (const Refused& r) {
        return {r.outcome(), {}};
    } catch (const MonthClosed& e) {
        return {Outcome::refused(kClosedMonthCaption, e.text()), {}};
    }
}

} // namespace tabel
