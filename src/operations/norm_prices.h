#pragma once

#include "db/outcome.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <vector>

namespace tabel {

inline const char* kNormPriceCaption = "Цена с даты";
inline const char* kNormPriceNoDate = "Укажите дату, с которой действует цена.";
inline const char* kNormPriceGone = "Норма не найдена: она удалена с другого рабочего места.";

// One price of a norm and the date it holds from, as the norms editor lists
// them.
struct NormPriceEntry {
    int id = 0;
    QDate from;           // invalid: from the beginning
    QString price;        // exact decimal text; empty when the norm has no price from then
    QString setBy;        // who set it, as the change history names them; empty when pruned
    QDateTime setAt;      // when, from the change history; invalid when pruned
    bool current = false; // the price holding today
    bool future = false;  // holds from a date after today
};

// The dated prices of a norm. A norm's price holds from its date up to the
// norm's next dated price; accounts_dep.norm.price is the one holding today
// (see db/steps/0006_norm_prices.sql).
class NormPrices {
public:
    explicit NormPrices(QSqlDatabase db) : db_(std::move(db)) {}

    // The norm's prices, the latest date first. Throws DbError.
    std::vector<NormPriceEntry> history(int normId) const;

    // Sets the norm's price from `from` on, in one transaction: a price of
    // the same date is replaced, an earlier or later one stays. Refused
    // (nothing written) for a price that is not a number, a norm deleted
    // meanwhile, or a price that would change what held in a closed month,
    // naming the month. Throws DbError for anything else.
    Outcome setFrom(int normId, const QDate& from, const QString& typedPrice);

    // Brings accounts_dep.norm.price to today's price wherever a price dated
    // in the future has come due since the last write; answers how many
    // norms changed. Throws DbError.
    int catchUp();

    // "с начала" or "01.03.2026".
    static QString fromText(const QDate& from);

private:
    QSqlDatabase db_;
};

} // namespace tabel
