#include "housekeeping_rules.h"

#include "db/closed_month_checks.h"
#include "db/locks.h"
#include "db/numbers.h"
#include "db/sql.h"
#include "db/statements.h"
#include "directories/group_store.h"
#include "timesheets/housekeeping_cell.h"

#include <QSqlQuery>
#include <algorithm>
#include <tuple>
#include <vector>

namespace tabel {

namespace {

// A decimal number as digits and a count of them after the point. 36 digits
// fit in 128 bits; a norm price carries at most 15 significant ones.
struct Decimal {
    __int128 digits = 0;
    int scale = 0;
};
constexpr int kMaxDigits = 36;

std::optional<Decimal> parseDecimal(const QString& text) {
    const QString t = text.trimmed();
    Decimal d;
    bool negative = false;
    bool point = false;
    int count = 0;
    int i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        negative = t[i++] == QLatin1Char('-');
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == QLatin1Char('.') && !point) {
            point = true;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        if (++count > kMaxDigits)
            return std::nullopt;
        d.digits = d.digits * 10 + (c.unicode() - '0');
        if (point)
            ++d.scale;
    }
    if (count == 0)
        return std::nullopt;
    if (negative)
        d.digits = -d.digits;
    return d;
}

QString toText(Decimal d) {
    while (d.scale > 0 && d.digits % 10 == 0) {
        d.digits /= 10;
        --d.scale;
    }
    const bool negative = d.digits < 0;
    __int128 v = negative ? -d.digits : d.digits;
    QString s;
    do {
        s.prepend(QChar(static_cast<char>('0' + static_cast<int>(v % 10))));
        v /= 10;
    } while (v > 0);
    if (d.scale > 0) {
        if (s.size() <= d.scale)
            s.prepend(QString(d.scale - s.size() + 1, QLatin1Char('0')));
        s.insert(s.size() - d.scale, QLatin1Char('.'));
    }
    return negative ? QLatin1Char('-') + s : s;
}

Outcome refusal(const QString& text) {
    return Outcome::refused(kErrorCaption, text);
}

// The worker's housekeeping pay of the month of `date`, rounded as the sheets
// round it, as text, and whether it is more than they carry. Magnitudes are
// added, so that no sum of a part of the month (by type of work, by night
// flag) is more either, whatever the signs of the prices.
struct MonthPay {
    QString total;
    bool tooLarge = false;
};
MonthPay monthPay(const QSqlDatabase& db, int worker, const QDate& date) {
    const QDate first(date.year(), date.month(), 1);
    QSqlQuery q = exec(db,
                       "select t::text, t > cast(:max as numeric) from (select "
                       "round(coalesce(sum(abs(cnt * price)), 0), 2) as t "
                       "from accounts_dep.fatigue where id_p = :w and d_date >= :from "
                       "and d_date < :to) m",
                       {{"w", worker},
                        {"from", first},
                        {"to", first.addMonths(1)},
                        {"max", QString::fromLatin1(kMaxMonthPay)}});
    q.next();
    return {q.value(0).toString(), q.value(1).toString() == QLatin1String("1")};
}

// |`a`| < |`b`| for plain decimals; false when either is not one.
bool smallerMagnitude(const QString& a, const QString& b) {
    const auto x = parseDecimal(a);
    const auto y = parseDecimal(b);
    if (!x || !y)
        return false;
    __int128 l = x->digits < 0 ? -x->digits : x->digits;
    __int128 r = y->digits < 0 ? -y->digits : y->digits;
    for (int s = x->scale; s < y->scale; ++s)
        l *= 10;
    for (int s = y->scale; s < x->scale; ++s)
        r *= 10;
    return l < r;
}

} // namespace

QString rateText(const QString& price) {
    const QString plain = plainDecimal(price);
    const int point = plain.indexOf(QLatin1Char('.'));
    const int decimals = point < 0 ? 0 : static_cast<int>(plain.size() - point - 1);
    return fixedDecimal(plain, std::max(2, decimals));
}

bool sameDecimal(const QString& a, const QString& b) {
    const auto x = decimalProduct(a, QStringLiteral("1"));
    return x && x == decimalProduct(b, QStringLiteral("1"));
}

QString monthPayMessage(const QString& total, const QDate& month) {
    return QStringLiteral("Хоз. работы и среднесдельная работника за %1 составят %2 р., а табели "
                          "и отчёты вмещают за месяц не больше %3 р.")
        .arg(month.toString(QStringLiteral("MM.yyyy")), rateText(total),
             rateText(QString::fromLatin1(kMaxMonthPay)));
}

QString keptPriceMessage(const QString& typeName, const QString& price) {
    return QStringLiteral("Цены, по которой заведена позиция (%1 р. за час), у вида работы «%2» "
                          "в нормах больше нет. Позиция сохранит свою цену, пока не выбран другой "
                          "вид работы.")
        .arg(rateText(price), typeName.trimmed());
}

std::optional<QString> decimalProduct(const QString& a, const QString& b) {
    const auto x = parseDecimal(a);
    const auto y = parseDecimal(b);
    if (!x || !y)
        return std::nullopt;
    // Both below 10^18 in size keeps the product inside 128 bits.
    const __int128 limit = static_cast<__int128>(1000000000000000000LL);
    auto magnitude = [](__int128 v) { return v < 0 ? -v : v; };
    if (magnitude(x->digits) >= limit || magnitude(y->digits) >= limit)
        return std::nullopt;
    return toText({x->digits * y->digits, x->scale + y->scale});
}

std::optional<QString> hourPrice(const QString& normPrice, bool dayOff, bool night) {
    std::optional<QString> price = decimalProduct(normPrice, dayOff ? "2" : "1");
    if (price && night)
        price = decimalProduct(*price, "1.2");
    return price;
}

std::unique_ptr<Dataset> HousekeepingRules::makeList(QSqlDatabase db) {
    // Every entry of the date, once; `summ` is computed by the server from
    // the exact price. The row version lets a change refuse an entry written
    // elsewhere since it was listed.
    return std::make_unique<Dataset>(
        db, "fatigue",
        "select distinct vo.vid, p.fio, i.s_caption, (f.cnt*f.price) as summ,  f.*, case when "
        "f.i_holiday=0 then '' else '+' end as s_holiday, case when f.i_night=0 then '' else '+' "
        "end as s_night, f.xmin::text as row_version\n"
        "from accounts_dep.fatigue f, cmn_classifier.item i, accounts_dep.person p,"
        "accounts_dep.vid_oper vo\n"
        "where f.id_nom =i.id and p.id=f.id_p and vo.id = f.id_o and f.d_date = :d_date\n"
        "order by p.fio, f.id");
}

std::unique_ptr<Dataset> HousekeepingRules::makeTypes(QSqlDatabase db) {
    // The norm price as numeric, so its text is plain decimal notation the
    // price rule can multiply exactly; the one holding on :day, the
    // journal's date.
    return std::make_unique<Dataset>(
        db, "type_work",
        QStringLiteral("select vo.id, vo.vid, price_on.price::numeric as price from "
                       "accounts_dep.vid_oper vo,accounts_dep.norm n, accounts_dep.oper o, "
                       "lateral (%1) price_on \n"
                       "where n.o_id =o.id and o.vid=vo.id and (vo.id = 7777 or vo.id = 7778) "
                       "order by vo.id, n.id")
            .arg(sql::normPriceOn(QStringLiteral("n.id"), QStringLiteral("cast(:day as date)"))));
}

Outcome HousekeepingRules::save(const EntryInput& in, int* savedId) {
    if (in.workerId == 0 || in.groupId == 0 ||
        (in.type != kHousekeepingWork && in.type != kAveragePiecework))
        return refusal(kEntryFillAll);
    if (in.hours.trimmed().isEmpty())
        return refusal(kEntryNoHours);
    const auto hours = wholeNumber(in.hours, kMaxEntryHours);
    if (!hours)
        return refusal(wholeNumberMessage("Часы", in.hours, kMaxEntryHours));
    if (*hours < 1)
        return refusal(kEntryNoHours);
    const bool keepPrice = in.mode == 1 && in.keepPrice;
    std::optional<QString> price;
    if (!keepPrice) {
        price = hourPrice(in.normPrice, in.dayOff, in.night);
        if (!price)
            return refusal(kEntryBadPrice);
    }

    try {
        Transaction tx(db_);
        struct Place {
            int worker;
            int type;
            int night;
            QDate date;
        };
        QDate date = in.date;
        std::vector<Place> places;
        // What the entry added to its worker's month before this save.
        QString formerPay = QStringLiteral("0");
        // The month a changed entry is booked in, which the change keeps; a
        // new entry is booked in the month of its day.
        std::optional<int> booked;
        if (in.mode == 1) {
            // The row lock keeps the entry until this change is committed; it
            // comes before every other lock, as in a deletion.
            QSqlQuery old = exec(db_,
                                 "select id_p, id_o, i_night, d_date, xmin::text, price::text, "
                                 "(cnt * price)::text, i_year * 100 + i_mnth "
                                 "from accounts_dep.fatigue where id = :id for update",
                                 {{"id", in.entryId}});
            if (!old.next())
                throw Refused(kErrorCaption, kEntryGone);
            if (old.value(4).toString() != in.version) {
                // Written elsewhere since it was read: the change would
                // silently undo what the other workstation wrote.
                throw Refused(kErrorCaption, kEntryChanged);
            }
            if (keepPrice)
                price = old.value(5).toString();
            if (old.value(0).toInt() == in.workerId)
                formerPay = old.value(6).toString();
            date = old.value(3).toDate();
            places.push_back(
                {old.value(0).toInt(), old.value(1).toInt(), old.value(2).toInt(), date});
            if (!old.value(7).isNull())
                booked = old.value(7).toInt();
        }
        const int night = in.night ? 1 : 0;
        places.push_back({in.workerId, in.type, night, date});

        // A group deleted elsewhere since the pick; the share lock keeps it
        // until this entry is committed.
        if (!GroupStore::holdForUse(db_, in.groupId))
            throw Refused(kErrorCaption, kEntryGroupGone);

        // An entry belongs to the month of its day and to the month it is
        // booked in: both are locked and both must be open.
        std::vector<WorkerMonth> locks;
        std::vector<HousekeepingCell> cells;
        QList<int> months;
        for (const Place& p : places) {
            locks.push_back(workerMonth(p.worker, p.date));
            cells.push_back({p.worker, p.type, p.night, p.date});
            months << monthKey(p.date);
            if (booked) {
                locks.push_back({p.worker, *booked});
                months << *booked;
            }
        }
        // The sheet's rows before the months, as a rebuild takes them.
        lockHousekeepingRows(db_, cells);
        lockWorkerMonths(db_, locks);
        refuseClosedMonths(db_, months);

        // A worker deleted elsewhere since the pick; the deletion holds the
        // worker's lock while it runs, so it is either done or not begun.
        if (!scalar(db_, sql::kWorkerListed, {{"w", in.workerId}}).isValid())
            throw Refused(kErrorCaption, kEntryWorkerGone);

        QVariantMap values{{"g", in.groupId},  {"t", in.type},
                           {"w", in.workerId}, {"c", static_cast<int>(*hours)},
                           {"p", *price},      {"h", in.dayOff ? 1 : 0},
                           {"n", night}};
        int id = in.entryId;
        if (in.mode == 1) {
            values["id"] = in.entryId;
            exec(db_,
                 "update accounts_dep.fatigue set id_nom = :g, id_o = :t, id_p = :w, cnt = :c, "
                 "price = cast(:p as numeric), i_holiday = :h, i_night = :n where id = :id",
                 values);
        } else {
            values["d"] = date;
            values["m"] = date.month();
            values["y"] = date.year();
            values["s"] = in.shift;
            id = scalar(db_,
                        "insert into accounts_dep.fatigue (id_nom, id_o, id_p, d_date, i_mnth, "
                        "i_year, i_smena, cnt, price, i_holiday, i_night) values (:g, :t, :w, "
                        ":d, :m, :y, :s, :c, cast(:p as numeric), :h, :n) returning id",
                        values)
                     .toInt();
        }

        for (std::size_t i = 0; i < places.size(); ++i) {
            const Place& p = places[i];
            const auto key = [](const Place& q) {
                return std::tie(q.worker, q.type, q.night, q.date);
            };
            if (std::none_of(places.begin(), places.begin() + i,
                             [&](const Place& q) { return key(q) == key(p); }))
                updateHousekeepingDayCell(db_, p.worker, p.type, p.night, p.date);
        }
        // A month the sheets could not carry would stop them from opening.
        // A month already over the limit (written by another application)
        // may still be brought down: only an entry that adds more than it
        // added before is refused. Under the worker's month lock no other
        // entry of the month comes or goes meanwhile.
        const MonthPay month = monthPay(db_, in.workerId, date);
        const auto pay = decimalProduct(QString::number(*hours), *price);
        if (month.tooLarge && (!pay || smallerMagnitude(formerPay, *pay)))
            throw Refused(kErrorCaption, monthPayMessage(month.total, date));
        tx.commit();
        if (savedId)
            *savedId = id;
        return Outcome::ok();
    } catch (const Refused& r) {
        // The transaction is rolled back by now; only the message is left.
        return r.outcome();
    }
}

Outcome HousekeepingRules::remove(int entryId) {
    try {
        Transaction tx(db_);
        QSqlQuery old = exec(db_,
                             "select id_p, id_o, i_night, d_date, i_year * 100 + i_mnth "
                             "from accounts_dep.fatigue where id = :id for update",
                             {{"id", entryId}});
        if (!old.next())
            return Outcome::ok(); // deleted meanwhile elsewhere
        const int worker = old.value(0).toInt();
        const QDate date = old.value(3).toDate();
        QList<int> months{monthKey(date)};
        std::vector<WorkerMonth> locks{workerMonth(worker, date)};
        if (!old.value(4).isNull()) {
            months << old.value(4).toInt();
            locks.push_back({worker, old.value(4).toInt()});
        }
        lockHousekeepingRows(db_, {{worker, old.value(1).toInt(), old.value(2).toInt(), date}});
        lockWorkerMonths(db_, locks);
        refuseClosedMonths(db_, months);
        exec(db_, "delete from accounts_dep.fatigue where id = :id", {{"id", entryId}});
        updateHousekeepingDayCell(db_, worker, old.value(1).toInt(), old.value(2).toInt(), date);
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    }
}

int HousekeepingRules::recalculate(const QDate& anyDay) {
    const QDate first(anyDay.year(), anyDay.month(), 1);
    // The whole month, as a rebuild: the rates come from every record of
    // the month, and a closed month keeps its prices.
    const QVariantMap month{{"m", first.month()}, {"y", first.year()}};
    Transaction tx(db_);
    // The entries it reprices before the month's lock, as a rebuild locks
    // its rows: a change of an entry, in the program or by plain SQL, holds
    // the entry and then waits for the month.
    exec(db_,
         "select count(*) from (select 1 from accounts_dep.fatigue where i_mnth = :m "
         "and i_year = :y and id_o = 7778 order by id for update) locked",
         month);
    lockWholeMonth(db_, first);
    if (monthClosed(db_, monthKey(first)))
        throw MonthClosed(monthKey(first));
    // One statement: the month's records are summed once per worker, and the
    // rate is worked out in numeric, so its cents are exact. Records of
    // workers no longer in the directory do not count. The sums are
    // materialized: inlined, the server would sum the month again for every
    // entry it reprices.
    QSqlQuery q = exec(
        db_,
        "with rate as materialized (select s.w_id, sum(s.time) as hours, "
        "sum((s.kol_vo - s.brak) * s.cena::numeric) as pay from accounts_dep.smena s "
        "where s.data >= :from and s.data < :to and exists (select 1 from accounts_dep.person p "
        "where p.id = s.w_id) group by s.w_id) "
        "update accounts_dep.fatigue f set price = coalesce((select case when "
        "coalesce(r.hours, 0) = 0 then 0 else round(coalesce(r.pay, 0) * (1 + f.i_holiday + "
        "0.2 * f.i_night) / r.hours, 2) end from rate r where r.w_id = f.id_p), 0) "
        "where f.i_mnth = :m and f.i_year = :y and f.id_o = 7778",
        {{"from", first}, {"to", first.addMonths(1)}, {"m", first.month()}, {"y", first.year()}});
    const int repriced = q.numRowsAffected();
    tx.commit();
    return repriced;
}

} // namespace tabel
