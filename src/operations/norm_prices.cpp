#include "norm_prices.h"

#include "db/closed_month_checks.h"
#include "db/sql.h"
#include "operations/norm_store.h"

#include <QSqlQuery>

namespace tabel {

std::vector<NormPriceEntry> NormPrices::history(int normId) const {
    // Who set a price is what the change history says of its row's last
    // write; the seed an upgrade wrote has none.
    QSqlQuery q = exec(db_,
                       "select p.id, case when isfinite(p.valid_from) then p.valid_from end, "
                       "p.price::numeric::text, l.app_role, l.workstation, l.changed_at, "
                       "(p.valid_from = (select max(c.valid_from) from accounts_dep.norm_price c "
                       "where c.norm_id = p.norm_id and c.valid_from <= current_date))::integer, "
                       "(p.valid_from > current_date)::integer "
                       "from accounts_dep.norm_price p "
                       "left join lateral (select g.app_role, g.workstation, g.changed_at "
                       "from accounts_dep.change_log g where g.table_name = 'norm_price' "
                       "and g.row_id = p.id and g.action in ('insert', 'update') "
                       "order by g.id desc limit 1) l on true "
                       "where p.norm_id = :n order by p.valid_from desc",
                       {{"n", normId}});
    std::vector<NormPriceEntry> out;
    while (q.next()) {
        NormPriceEntry e;
        e.id = q.value(0).toInt();
        e.from = q.value(1).isNull() ? QDate() : q.value(1).toDate();
        e.price = q.value(2).isNull() ? QString() : q.value(2).toString();
        if (!q.value(3).isNull()) {
            e.setBy = q.value(3).toString();
            if (!q.value(4).isNull() && !q.value(4).toString().isEmpty())
                e.setBy += QStringLiteral(", ") + q.value(4).toString();
            e.setAt = q.value(5).toDateTime();
        }
        e.current = q.value(6).toInt() == 1;
        e.future = q.value(7).toInt() == 1;
        out.push_back(e);
    }
    return out;
}

Outcome NormPrices::setFrom(int normId, const QDate& from, const QString& typedPrice) {
    if (!from.isValid())
        return Outcome::refused(kNormPriceCaption, kNormPriceNoDate);
    const auto price = NormStore::parse(NormStore::Field::Price, typedPrice);
    if (!price || price->isNull() || price->toString().isEmpty())
        return Outcome::refused(kNormPriceCaption,
                                NormStore::refusal(NormStore::Field::Price, typedPrice));
    try {
        Transaction tx(db_);
        // The norm's row first, as every write of it locks it; the months
        // the price changes are locked by the database's check after it.
        if (!scalar(db_, "select id from accounts_dep.norm where id = :n for update",
                    {{"n", normId}})
                 .isValid())
            throw Refused(kNormPriceCaption, kNormPriceGone);
        exec(db_,
             "insert into accounts_dep.norm_price (norm_id, valid_from, price) "
             "values (:n, :d, cast(:p as double precision)) "
             "on conflict (norm_id, valid_from) do update set price = excluded.price",
             {{"n", normId}, {"d", from}, {"p", *price}});
        // Prices of other norms that came due since their last write follow
        // too, so the price holding now is what norm.price says.
        exec(db_, "select accounts_dep.norm_prices_catch_up()");
        tx.commit();
        return Outcome::ok();
    } catch (const Refused& r) {
        return r.outcome();
    } catch (const DbError& e) {
        if (const auto closed = closedMonthOf(e))
            return Outcome::refused(kClosedMonthCaption, closedMonthText(*closed));
        throw;
    }
}

int NormPrices::catchUp() {
    return scalar(db_, "select accounts_dep.norm_prices_catch_up()").toInt();
}

QString NormPrices::fromText(const QDate& from) {
    return from.isValid() ? from.toString(QStringLiteral("dd.MM.yyyy"))
                          : QStringLiteral("с начала");
}

} // namespace tabel
