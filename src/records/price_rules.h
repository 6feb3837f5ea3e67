#pragma once

#include <QSqlDatabase>
#include <QString>

namespace tabel {

// Rounds to 4 decimal places; an exact half goes to the even neighbour.
double round4(double value);

// The piece price paid for a record: the operation's base price, doubled on
// a day off, then x1.2 in shift 3 or x1.5 in overtime (shift 4).
double finalPrice(double basePrice, bool dayOff, int shift);

// "Готовая продукция" for kind 0, "Заготовки" for any other.
QString kindText(int naimen);

// "<mark>; <operation type>; <kind>", mark and type trimmed.
QString operationText(const QString& marka, const QString& vid, int naimen);

// operationText for an operation picked from the list: the mark is read
// from the product `productId`.
QString operationTextOf(const QSqlDatabase& db, int productId, const QString& vid, int naimen);

// A painting operation: the text contains "КРАСКА" in any case.
bool isPainting(const QString& text);

} // namespace tabel
