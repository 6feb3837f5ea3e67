#include "pay_statement.h"

#include "db/sql.h"
#include "db/statements.h"
#include "db/worker_names.h"
#include "reports/report_statements.h"
#include "reports/summary_reports.h"
#include "timesheets/months.h"

#include <QHash>
#include <QJsonArray>
#include <QSqlQuery>

namespace tabel::reports {

namespace {

// A value of the statement's JSON: a number as the server writes it, or
// null. Anything else would otherwise pay 0 without a word.
[[noreturn]] void notANumber(const QJsonValue& v, const QString& sql) {
    throw DbError(QStringLiteral("Строки листка не прочитаны: не число «%1».").arg(v.toString()),
                  sql);
}

Decimal num(const QJsonValue& v, const QString& sql) {
    if (v.isNull())
        return {};
    const std::optional<Decimal> d = Decimal::parse(v.toString());
    if (!d)
        notANumber(v, sql);
    return *d;
}

Decimal plus(const Decimal& a, const Decimal& b) {
    return a.plus(b).value_or(Decimal());
}

Decimal times(const Decimal& a, const Decimal& b) {
    return a.times(b).value_or(Decimal());
}

Decimal exactly(const char* text) {
    return *Decimal::parse(QString::fromLatin1(text));
}

// Half of the fourth decimal: the saved price is the base price times its
// factor rounded to four decimals.
const Decimal kPriceTolerance = exactly("0.00005");

// The workers of the statements, with the one name the registry gives each
// and the department the workers directory keeps.
QString workersStatement(bool one) {
    const QString ids =
        one ? QStringLiteral("w as (select cast(:w as integer) as w_id), ")
            : QStringLiteral("w as (select w_id from accounts_dep.smena "
                             "where data >= :d1 and data < :d2 and w_id is not null union "
                             "select id_p::integer from accounts_dep.fatigue "
                             "where d_date >= :d1 and d_date < :d2 and id_o in (7777, 7778)), ");
    return sql::jsonRows(
        {"w_id", "fio", "dept", "listed"},
        QStringLiteral("with ") + ids +
            sql::workerNames(QStringLiteral("names"), QStringLiteral("select w_id from w")) +
            QStringLiteral(" select w.w_id, names.fio, (select min(ap.s_staffpos_hl) "
                           "from accounts_dep.person ap where ap.id = w.w_id) as dept, "
                           "exists (select 1 from accounts_dep.person ap where ap.id = w.w_id) "
                           "as listed from w left join names on names.w_id = w.w_id"),
        QStringLiteral("names.fio is null, names.fio, w.w_id"));
}

// The month's production records with what tells their price: the
// operation's lowest norm price holding on the record's date; and for a brigade
// member's share (id_doc the job, id_doc_item the member) what tells its
// quantity: the job's quantity and rejects, the member's hours and КТУ and
// the weights of all the job's members.
QString piecesStatement(bool one) {
    const QString filter = one ? QStringLiteral(" and s.w_id = :w") : QString();
    return sql::jsonRows(
        {"w_id", "id", "data", "smena", "marka", "vid", "color", "kol_vo", "brak", "cena", "base",
         "time", "job", "job_qty", "job_brak", "m_hours", "m_ktu", "job_weight"},
        QStringLiteral(
            "with s as materialized (select * from accounts_dep.smena s "
            "where s.data >= :d1 and s.data < :d2%1), "
            "base as (select d.o_id, d.data, min(price_on.price) as base "
            "from (select distinct o_id, data from s) d "
            "join accounts_dep.norm n on n.o_id = d.o_id "
            "cross join lateral (%2) price_on group by d.o_id, d.data), "
            "member as materialized (select m.id, m.job_id, m.hours, m.ktu "
            "from accounts_dep.brigade_member m "
            "where m.job_id in (select id_doc from s where id_doc <> 0)), "
            "weight as (select job_id, sum(hours * ktu) as weight from member group by job_id) "
            "select s.w_id, s.id, s.data, s.smena, pr.marka, vo.vid, s.color, s.kol_vo, s.brak, "
            "s.cena, base.base, s.time, j.id as job, j.kol_vo as job_qty, j.brak as job_brak, "
            "m.hours as m_hours, m.ktu as m_ktu, weight.weight as job_weight from s "
            "left join accounts_dep.izdel pr on pr.id = s.i_id "
            "left join accounts_dep.oper op on op.id = s.o_id "
            "left join accounts_dep.vid_oper vo on vo.id = op.vid "
            "left join base on base.o_id = s.o_id and base.data = s.data "
            "left join member m on s.id_doc <> 0 and m.id = s.id_doc_item "
            "and m.job_id = s.id_doc "
            "left join accounts_dep.brigade_job j on j.id = m.job_id "
            "left join weight on weight.job_id = m.job_id")
            .arg(filter, sql::normPriceOn(QStringLiteral("n.id"), QStringLiteral("d.data"))),
        QStringLiteral("s.w_id, s.data, s.smena, s.id"));
}

QString hoursStatement(bool one) {
    const QString filter = one ? QStringLiteral(" and f.id_p = :w") : QString();
    return sql::jsonRows(
        {"id_p", "id", "d_date", "id_o", "i_night", "i_holiday", "s_caption", "cnt", "price"},
        QStringLiteral("select f.id_p, f.id, f.d_date, f.id_o, f.i_night, f.i_holiday, "
                       "i.s_caption, f.cnt, f.price from accounts_dep.fatigue f "
                       "left join cmn_classifier.item i on i.id = f.id_nom "
                       "where f.d_date >= :d1 and f.d_date < :d2 "
                       "and f.id_o in (7777, 7778)%1")
            .arg(filter),
        QStringLiteral("f.id_p, f.id_o, f.d_date, f.i_night, f.id"));
}

int integer(const QJsonValue& v, const QString& sql) {
    if (v.isNull())
        return 0;
    bool ok = false;
    const int i = v.toString().toInt(&ok);
    if (!ok)
        notANumber(v, sql);
    return i;
}

// Rounded per day and night work, as the sheets' rows are, and added up.
Decimal rowsTotal(const std::map<int, Decimal>& rows) {
    Decimal sum;
    for (const auto& [night, pay] : rows)
        sum = plus(sum, pay);
    return sum;
}

} // namespace

Decimal toKopecks(const Decimal& d) {
    return Decimal::parse(d.toString(2, QLocale::c())).value_or(Decimal());
}

std::optional<PriceFactor> priceFactor(const Decimal& stored, const std::optional<Decimal>& base,
                                       int shift) {
    if (!base || base->compare(Decimal()) <= 0)
        return std::nullopt;
    const int factorShift = shift == 3 || shift == 4 ? shift : 1;
    const Decimal shiftFactor = exactly(factorShift == 3 ? "1.2" : factorShift == 4 ? "1.5" : "1");
    for (const bool dayOff : {false, true}) {
        const Decimal expected =
            times(times(*base, shiftFactor), Decimal::fromInteger(dayOff ? 2 : 1));
        const Decimal gap = stored.minus(expected).value_or(Decimal());
        const Decimal distance = gap.compare(Decimal()) < 0 ? gap.negated() : gap;
        if (distance.compare(kPriceTolerance) <= 0)
            return PriceFactor{dayOff, factorShift};
    }
    return std::nullopt;
}

Decimal PieceLine::amount() const {
    return times(quantity.minus(rejects).value_or(Decimal()), price);
}

Decimal HourLine::amount() const {
    return times(Decimal::fromInteger(hours), rate);
}

Decimal RateBasis::rate(bool dayOff, bool night) const {
    if (hours == 0 || !counted)
        return {};
    // 1 + day off + 0.2 × night, in tenths.
    const Decimal factor = Decimal::fromInteger(10 + (dayOff ? 10 : 0) + (night ? 2 : 0))
                               .dividedBy(Decimal::fromInteger(10))
                               .value_or(Decimal());
    return toKopecks(times(pay, factor).dividedBy(Decimal::fromInteger(hours)).value_or(Decimal()));
}

Decimal RateBasis::hourly() const {
    if (hours == 0)
        return {};
    return toKopecks(pay.dividedBy(Decimal::fromInteger(hours)).value_or(Decimal()));
}

QString PayStatement::shownName() const {
    return fio.isEmpty() ? QStringLiteral("№ %1").arg(worker) : fio;
}

Decimal PayStatement::piecework() const {
    Decimal sum;
    for (const PieceLine& l : pieces)
        sum = plus(sum, l.amount());
    return toKopecks(sum);
}

std::map<int, Decimal> PayStatement::sheetRows(int type) const {
    std::map<int, Decimal> rows;
    for (const HourLine& l : hours)
        if (l.type == type) {
            Decimal& sum = rows[l.night ? 1 : 0];
            sum = plus(sum, l.amount());
        }
    for (auto& [night, sum] : rows)
        sum = toKopecks(sum);
    return rows;
}

Decimal PayStatement::housekeeping() const {
    return rowsTotal(sheetRows(7777));
}

Decimal PayStatement::average() const {
    return rowsTotal(sheetRows(7778));
}

Decimal PayStatement::total() const {
    return plus(plus(piecework(), housekeeping()), average());
}

QString monthTitle(const QDate& month) {
    return monthNames().value(month.month() - 1) + QLatin1Char(' ') + QString::number(month.year());
}

PayStatementParts payStatementParts(bool oneWorker) {
    return {workersStatement(oneWorker), piecesStatement(oneWorker), hoursStatement(oneWorker)};
}

QList<PayStatement> readPayStatements(const QSqlDatabase& db, const QDate& anyDay,
                                      std::optional<int> worker) {
    const QDate first = monthStart(anyDay);
    QVariantMap params{{"d1", first}, {"d2", first.addMonths(1)}};
    if (worker)
        params.insert("w", *worker);
    const PayStatementParts parts = payStatementParts(worker.has_value());
    // One statement, so one snapshot: a record saved meanwhile is in every
    // part or in none.
    const QString sql =
        QStringLiteral("select (%1), (%2), (%3)").arg(parts.workers, parts.pieces, parts.hours);
    QSqlQuery q = exec(db, sql, params);
    q.next();
    return payStatementsFrom(first, q.value(0).toString().toUtf8(), q.value(1).toString().toUtf8(),
                             q.value(2).toString().toUtf8(), sql);
}

QList<PayStatement> payStatementsFrom(const QDate& first, const QByteArray& workersJson,
                                      const QByteArray& piecesJson, const QByteArray& hoursJson,
                                      const QString& sql) {
    const QJsonArray workers = jsonRows(workersJson, 4, sql);
    const QJsonArray pieces = jsonRows(piecesJson, 18, sql);
    const QJsonArray entries = jsonRows(hoursJson, 9, sql);
    QList<PayStatement> out;
    QHash<int, qsizetype> index;
    for (const QJsonValue& v : workers) {
        const QJsonArray r = v.toArray();
        PayStatement s;
        s.worker = integer(r[0], sql);
        s.fio = r[1].toString().trimmed();
        s.department = r[2].toString().trimmed();
        s.basis.counted = r[3].toString() == QLatin1String("true");
        s.month = first;
        index.insert(s.worker, out.size());
        out << s;
    }
    for (const QJsonValue& v : pieces) {
        const QJsonArray r = v.toArray();
        const auto at = index.constFind(integer(r[0], sql));
        if (at == index.constEnd())
            continue;
        PayStatement& s = out[*at];
        PieceLine l;
        l.recordId = integer(r[1], sql);
        l.date = QDate::fromString(r[2].toString(), Qt::ISODate);
        l.shift = integer(r[3], sql);
        l.marka = r[4].toString().trimmed();
        l.vid = r[5].toString().trimmed();
        l.color = integer(r[6], sql);
        l.quantity = num(r[7], sql);
        l.rejects = num(r[8], sql);
        l.price = num(r[9], sql);
        if (!r[10].isNull())
            l.base = num(r[10], sql);
        l.factor = priceFactor(l.price, l.base, l.shift);
        l.hours = integer(r[11], sql);
        if (!r[12].isNull())
            l.brigade = BrigadeShareBasis{integer(r[12], sql), num(r[13], sql), num(r[14], sql),
                                          integer(r[15], sql), num(r[16], sql), num(r[17], sql)};
        s.basis.pay = plus(s.basis.pay, l.amount());
        s.basis.hours += l.hours;
        s.pieces << l;
    }
    for (const QJsonValue& v : entries) {
        const QJsonArray r = v.toArray();
        const auto at = index.constFind(integer(r[0], sql));
        if (at == index.constEnd())
            continue;
        HourLine l;
        l.entryId = integer(r[1], sql);
        l.date = QDate::fromString(r[2].toString(), Qt::ISODate);
        l.type = integer(r[3], sql);
        l.night = integer(r[4], sql) != 0;
        l.dayOff = integer(r[5], sql) != 0;
        l.group = r[6].toString().trimmed();
        l.hours = integer(r[7], sql);
        l.rate = num(r[8], sql);
        out[*at].hours << l;
    }
    return out;
}

} // namespace tabel::reports
