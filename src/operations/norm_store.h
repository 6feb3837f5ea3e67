#pragma once

#include "db/outcome.h"

#include <QLocale>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

namespace tabel {

inline const char* kNormGone = "Норма не найдена: она удалена с другого рабочего места.";
inline const char* kNormChanged = "Норма изменена с другого рабочего места.";

// Limits of what a norm's cells take: the integer columns' range, and prices
// with at most 15 significant digits, which double precision keeps exactly as
// typed.
inline constexpr qint64 kMaxNormWhole = 2147483647;
inline constexpr int kMaxPriceWholeDigits = 9;
inline constexpr int kMaxPriceDecimals = 6;

// One price norm of an operation as the database holds it. Empty cells are
// null; the price is the exact decimal text of the stored value.
struct Norm {
    int id = 0;
    QVariant norma; // integer or null
    QString price;  // "12.5"; null when none
    QVariant prize; // integer or null
};

// The price norms of one operation ("Норматив"): reading them, storing one
// typed cell, and deleting a norm but never the last one.
class NormStore {
public:
    enum class Field { Norma, Price, Prize };

    explicit NormStore(QSqlDatabase db) : db_(std::move(db)) {}

    // The operation's norms by norm quantity, then as they were added.
    // Throws DbError.
    std::vector<Norm> read(int operationId) const;

    // What a cell takes: for "Норматив" and "Премия, %" a whole number from 0
    // to kMaxNormWhole, for "Цена" a decimal number with "," or "." as its
    // separator within the limits above. An empty cell is null. The answer is
    // the value to store (a price as decimal text with "."), or nothing when
    // the text is not acceptable.
    static std::optional<QVariant> parse(Field field, const QString& typed);
    static QString caption(Field field); // the column's title
    static QString refusal(Field field, const QString& typed);

    struct Stored {
        Outcome outcome; // refused, or done
        Norm norm;       // the norm as stored when done
    };

    // Stores one cell of a norm in one statement: of the norm `shown` (as
    // the grid shows it), or, when its id is 0, of a new norm of the
    // operation with only this cell filled. The cell is written only over the
    // value shown: a cell changed elsewhere since it was read is refused, as
    // is a norm deleted elsewhere meanwhile, or a new one whose operation is
    // gone. Throws DbError.
    Stored store(int operationId, const Norm& shown, Field field, const QString& typed);

    // Deletes the norm unless it is the operation's only one; answers whether
    // it was deleted. The check and the deletion hold the operation's row, so
    // two workstations deleting different norms at once cannot leave it with
    // none. Throws DbError.
    bool remove(int operationId, int normId);

    // A price as the norms grid shows it ("#0.00#"): at least two and at most
    // three decimals, rounded half away from zero, in the locale's format.
    static QString priceText(const QString& exact, const QLocale& locale = QLocale());

private:
    QSqlDatabase db_;
};

} // namespace tabel
