#include "norm_store.h"

#include "db/numbers.h"
#include "db/sql.h"
#include "operations/operation_store.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace tabel {

namespace {

const char* column(NormStore::Field field) {
    switch (field) {
    case NormStore::Field::Norma:
        return "norma";
    case NormStore::Field::Price:
        return "price";
    case NormStore::Field::Prize:
        return "prize";
    }
    return "price";
}

// The price goes to the server as the typed decimal text and becomes a
// double there: the nearest double to what was typed, with no binary
// rounding of our own on the way.
QString valueExpression(NormStore::Field field) {
    return field == NormStore::Field::Price ? QStringLiteral("cast(:v as double precision)")
                                            : QStringLiteral(":v");
}

// Prices come back as numeric, which writes the 15 significant digits a
// double keeps and never an exponent.
const char* kReturning = " returning id, norma, price::numeric as price, prize";

Norm normFrom(const QSqlQuery& q) {
    Norm n;
    n.id = q.value(0).toInt();
    n.norma = q.value(1);
    n.price = q.value(2).isNull() ? QString() : q.value(2).toString();
    n.prize = q.value(3);
    return n;
}

} // namespace

std::vector<Norm> NormStore::read(int operationId) const {
    QSqlQuery q = exec(db_,
                       "select id, norma, price::numeric as price, prize from accounts_dep.norm "
                       "where o_id = :o order by norma, id",
                       {{"o", operationId}});
    std::vector<Norm> norms;
    while (q.next())
        norms.push_back(normFrom(q));
    return norms;
}

std::optional<QVariant> NormStore::parse(Field field, const QString& typed) {
    const QString t = typed.trimmed();
    if (field != Field::Price) {
        if (t.isEmpty())
            return nullInt();
        if (const auto v = wholeNumber(t, kMaxNormWhole))
            return QVariant(static_cast<int>(*v));
        return std::nullopt;
    }
    if (t.isEmpty())
        return QVariant(QMetaType::fromType<QString>());
    if (const auto price = decimalNumber(t, kMaxPriceWholeDigits, kMaxPriceDecimals))
        return QVariant(*price);
    return std::nullopt;
}

QString NormStore::caption(Field field) {
    switch (field) {
    case Field::Norma:
        return QStringLiteral("Норматив");
    case Field::Price:
        return QStringLiteral("Цена");
    case Field::Prize:
        return QStringLiteral("Премия, %");
    }
    return {};
}

QString NormStore::refusal(Field field, const QString& typed) {
    if (field != Field::Price)
        return wholeNumberMessage(caption(field), typed, kMaxNormWhole);
    return decimalNumberMessage(caption(field), typed, kMaxPriceWholeDigits, kMaxPriceDecimals);
}

NormStore::Stored NormStore::store(int operationId, const Norm& shown, Field field,
                                   const QString& typed) {
    const auto value = parse(field, typed);
    if (!value)
        return {Outcome::refused(kErrorCaption, refusal(field, typed)), {}};
    QVariantMap params{{"o", operationId}, {"v", *value}};
    QString sql;
    if (shown.id != 0) {
        // The cell as the grid shows it is compared as it was read: a price
        // through numeric, as read() gives it. The server checks the
        // condition again on a row another workstation is writing, once that
        // one is committed, so nothing slips in between.
        const bool price = field == Field::Price;
        sql = QStringLiteral("update accounts_dep.norm set %1 = %2 where id = :id and o_id = :o "
                             "and %3 is not distinct from cast(:was as %4)")
                  .arg(QLatin1String(column(field)), valueExpression(field),
                       price ? QStringLiteral("price::numeric") : QLatin1String(column(field)),
                       price ? QStringLiteral("numeric") : QStringLiteral("integer"));
        params["id"] = shown.id;
        params["was"] = price ? (shown.price.isNull() ? QVariant(QMetaType::fromType<QString>())
                                                      : QVariant(shown.price))
                        : field == Field::Norma ? shown.norma
                                                : shown.prize;
    } else {
        // The share lock keeps the operation until the norm is in; a
        // deletion of the operation, which takes its norms along, waits.
        sql = QStringLiteral("insert into accounts_dep.norm (o_id, %1) select oper.id, %2 "
                             "from accounts_dep.oper oper where oper.id = :o for key share")
                  .arg(QLatin1String(column(field)), valueExpression(field));
    }
    QSqlQuery q = exec(db_, sql + QLatin1String(kReturning), params);
    if (q.next())
        return {Outcome::ok(), normFrom(q)};
    if (shown.id == 0)
        return {Outcome::refused(kErrorCaption, kOperationDeleted), {}};
    const bool exists = scalar(db_, "select id from accounts_dep.norm where id = :id and o_id = :o",
                               {{"id", shown.id}, {"o", operationId}})
                            .isValid();
    return {Outcome::refused(kErrorCaption, exists ? kNormChanged : kNormGone), {}};
}

bool NormStore::remove(int operationId, int normId) {
    Transaction tx(db_);
    // Deletions of the same operation's norms take turns here; saving
    // records (a key share) and adding norms go on meanwhile.
    if (!scalar(db_, "select id from accounts_dep.oper where id = :o for no key update",
                {{"o", operationId}})
             .isValid())
        return false;
    if (scalar(db_, "select count(*) from accounts_dep.norm where o_id = :o", {{"o", operationId}})
            .toInt() <= 1)
        return false;
    QSqlQuery q =
        exec(db_, "delete from accounts_dep.norm where id = :id and o_id = :o returning id",
             {{"id", normId}, {"o", operationId}});
    const bool deleted = q.next();
    tx.commit();
    return deleted;
}

QString NormStore::priceText(const QString& exact, const QLocale& locale) {
    const QString t = exact.trimmed();
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]*)?$"));
    if (!number.match(t).hasMatch())
        return t;
    QString out = fixedDecimal(t, 3, locale);
    if (out.endsWith(QLatin1Char('0')))
        out.chop(1);
    return out;
}

} // namespace tabel
