#include "price_rules.h"

#include "db/sql.h"

#include <cfenv>
#include <cmath>

namespace tabel {

double round4(double value) {
    // nearbyint follows the current rounding mode, which is to-nearest-even
    // unless someone changed it.
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value * 10000.0) / 10000.0;
    std::fesetround(mode);
    return r;
}

double finalPrice(double basePrice, bool dayOff, int shift) {
    double p = basePrice;
    if (dayOff)
        p *= 2;
    if (shift == 3)
        p *= 1.2;
    else if (shift == 4)
        p *= 1.5;
    return p;
}

QString kindText(int naimen) {
    return naimen == 0 ? QStringLiteral("Готовая продукция") : QStringLiteral("Заготовки");
}

QString operationText(const QString& marka, const QString& vid, int naimen) {
    return marka.trimmed() + QStringLiteral("; ") + vid.trimmed() + QStringLiteral("; ") +
           kindText(naimen);
}

QString operationTextOf(const QSqlDatabase& db, int productId, const QString& vid, int naimen) {
    const QString marka =
        scalar(db, "select marka from accounts_dep.izdel where id = :id", {{"id", productId}})
            .toString();
    return operationText(marka, vid, naimen);
}

bool isPainting(const QString& text) {
    return text.toUpper().contains(QStringLiteral("КРАСКА"));
}

} // namespace tabel
