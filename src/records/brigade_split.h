#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace tabel {

// The split of a brigade job among its members, in exact integers: quantities
// in thousandths, the КТУ in hundredths, prices in ten-thousandths, pay in
// kopecks.

struct BrigadeWeight {
    qint64 hours = 0;
    int ktu = 100; // hundredths: 100 is 1.00
};

struct BrigadeShare {
    qint64 quantity = 0; // thousandths
    qint64 rejects = 0;
};

struct BrigadeSplit {
    std::vector<BrigadeShare> shares; // in the members' order; empty when refused
    QString refusal;                  // why there is no split
    bool ok() const { return refusal.isEmpty(); }
};

inline const char* kBrigadeNoWeight =
    "У всех участников наряда часы или КТУ равны нулю: количество не на кого разделить.";

inline const char* kBrigadeRejectsAboveShare =
    "Брак участника № %1 (%2 шт.) больше его доли количества (%3): уменьшите брак "
    "или измените часы и КТУ.";

// Each member's weight is hours × КТУ. The total and the rejects are shared
// in proportion to the weights, each share rounded down and the units left
// over handed one each to the largest remainders (the earlier member first
// on a tie), so the shares add up to the total exactly. A member of weight 0
// gets nothing; all weights 0 is refused, and so is a split that would give
// a member more rejects than pieces.
BrigadeSplit splitBrigadeJob(qint64 totalThousandths, qint64 rejects,
                             const std::vector<BrigadeWeight>& weights);

// (quantity − rejects) × price in kopecks, half away from zero, as the
// journal rounds a record's sum.
qint64 brigadePayKopecks(const BrigadeShare& share, qint64 priceTenThousandths);

// The typed quantity ("12,5") in thousandths, or nothing (numbers.h's rules:
// up to 9 whole digits and 3 decimals).
std::optional<qint64> quantityThousandths(const QString& text);
// The typed КТУ ("1,25") in hundredths, 0.00 to 9.99, or nothing.
std::optional<int> ktuHundredths(const QString& text);
// A price as stored (4 decimals at most) in ten-thousandths.
qint64 priceTenThousandths(double price);

// As the database writes numbers: "3.333", "10", "0.5".
QString thousandthsText(qint64 value);
// "1.25"
QString hundredthsText(qint64 value);
// "12.30", "-0.05"
QString kopecksText(qint64 value);

} // namespace tabel
