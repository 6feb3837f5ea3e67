#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <optional>

namespace reportengine {

// A decimal number with ten places after the point, held as an exact scaled
// integer: amounts read from the database as text add up without the binary
// rounding of doubles, and round half away from zero the way a bookkeeper
// does. Ten places are more than any amount or quantity of a report carries;
// a quotient is cut at the tenth place, rounded.
//
// Operations that would leave the range (about 10^27) or divide by zero give
// nothing, and the caller prints an empty cell.
class Decimal {
public:
    static constexpr int kPlaces = 10;

    Decimal() = default;
    static Decimal fromInteger(long long value);
    // "12", "-12.50", " 3.125 ", "1e-05", "2.5E+3"; nothing for any other text.
    static std::optional<Decimal> parse(QStringView text);

    std::optional<Decimal> plus(const Decimal& other) const;
    std::optional<Decimal> minus(const Decimal& other) const;
    std::optional<Decimal> times(const Decimal& other) const;
    std::optional<Decimal> dividedBy(const Decimal& other) const;
    Decimal negated() const;

    bool isZero() const { return raw_ == 0; }
    int compare(const Decimal& other) const { return raw_ < other.raw_ ? -1 : raw_ > other.raw_; }
    bool operator==(const Decimal& other) const { return raw_ == other.raw_; }

    // Rounded half away from zero to `places` (0..10) and written with
    // exactly that many decimals, or, with `trimZeros`, without the zeros at
    // the end. The locale gives the decimal point and the minus sign; there
    // are no group separators.
    QString toString(int places, const QLocale& locale, bool trimZeros = false) const;

private:
    // GCC and Clang have it on every 64-bit target we build for (MinGW too).
    using Raw = __int128;
    explicit Decimal(Raw raw) : raw_(raw) {}
    Raw raw_ = 0;
};

} // namespace reportengine
