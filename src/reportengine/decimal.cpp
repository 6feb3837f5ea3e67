#include "decimal.h"

#include <algorithm>

namespace reportengine {

namespace {

using Raw = __int128;

constexpr Raw pow10(int n) {
    Raw r = 1;
    for (int i = 0; i < n; ++i)
        r *= 10;
    return r;
}

constexpr Raw kOne = pow10(Decimal::kPlaces);
// Values beyond this are refused, so sums of many of them stay in range.
constexpr Raw kLimit = pow10(27 + Decimal::kPlaces);

Raw absolute(Raw v) {
    return v < 0 ? -v : v;
}

// q = n / d rounded half away from zero.
Raw roundedQuotient(Raw n, Raw d) {
    Raw q = n / d;
    const Raw r = n % d;
    if (absolute(r) * 2 >= absolute(d))
        q += ((n < 0) != (d < 0)) ? -1 : 1;
    return q;
}

bool digit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

Decimal Decimal::fromInteger(long long value) {
    return Decimal(Raw(value) * kOne);
}

std::optional<Decimal> Decimal::parse(QStringView text) {
    // Reports read tens of thousands of numbers: no allocation here.
    const QStringView t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        negative = t[i++] == QLatin1Char('-');
    const qsizetype mantissa = i;
    qsizetype digits = 0;
    qsizetype point = -1; // digits before the point
    for (; i < t.size(); ++i) {
        if (digit(t[i]))
            ++digits;
        else if (t[i] == QLatin1Char('.') && point < 0)
            point = digits;
        else
            break;
    }
    if (digits == 0)
        return std::nullopt;
    const qsizetype end = i;
    if (point < 0)
        point = digits;
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        bool ok = false;
        const int exponent = t.mid(i + 1).toInt(&ok);
        if (!ok || exponent > 40 || exponent < -40)
            return std::nullopt;
        point += exponent;
        i = t.size();
    }
    if (i != t.size())
        return std::nullopt;
    // The scaled integer has kPlaces digits after the point: the digits up
    // to point + kPlaces count, the next one rounds, zeros fill up.
    const qsizetype wanted = point + kPlaces;
    if (wanted < 0)
        return Decimal(); // below the last place
    Raw raw = 0;
    qsizetype taken = 0;
    bool roundUp = false;
    for (qsizetype k = mantissa; k < end; ++k) {
        if (!digit(t[k]))
            continue;
        if (taken == wanted) {
            roundUp = t[k] >= QLatin1Char('5');
            break;
        }
        raw = raw * 10 + (t[k].unicode() - '0');
        ++taken;
        if (raw >= kLimit)
            return std::nullopt;
    }
    for (; taken < wanted; ++taken) {
        raw *= 10;
        if (raw >= kLimit)
            return std::nullopt;
    }
    if (roundUp)
        ++raw;
    if (raw >= kLimit)
        return std::nullopt;
    return Decimal(negative ? -raw : raw);
}

std::optional<Decimal> Decimal::plus(const Decimal& other) const {
    const Raw r = raw_ + other.raw_; // both below kLimit: no overflow
    if (absolute(r) >= kLimit)
        return std::nullopt;
    return Decimal(r);
}

std::optional<Decimal> Decimal::minus(const Decimal& other) const {
    return plus(other.negated());
}

std::optional<Decimal> Decimal::times(const Decimal& other) const {
    // The scaled product of two numbers in range has up to 74 digits, twice
    // what __int128 holds. Each factor is cut at the point into a whole part
    // and a fraction, and the four partial products are added up, each of
    // them below 10^37; only the fraction times the fraction has digits
    // beyond the last place, and only it is rounded.
    const Raw a = absolute(raw_);
    const Raw b = absolute(other.raw_);
    const Raw aWhole = a / kOne, aFraction = a % kOne;
    const Raw bWhole = b / kOne, bFraction = b % kOne;
    constexpr Raw kWholeLimit = kLimit / kOne;
    if (aWhole != 0 && bWhole > kWholeLimit / aWhole)
        return std::nullopt;
    const Raw r = aWhole * bWhole * kOne + aWhole * bFraction + aFraction * bWhole +
                  roundedQuotient(aFraction * bFraction, kOne);
    if (r >= kLimit)
        return std::nullopt;
    return Decimal((raw_ < 0) != (other.raw_ < 0) ? -r : r);
}

std::optional<Decimal> Decimal::dividedBy(const Decimal& other) const {
    if (other.raw_ == 0)
        return std::nullopt;
    // Long division, one decimal place at a time, so that nothing overflows
    // whatever the sizes of the two numbers.
    const Raw n = absolute(raw_);
    const Raw d = absolute(other.raw_);
    Raw q = n / d;
    Raw rest = n % d;
    if (q >= kLimit / kOne)
        return std::nullopt;
    for (int i = 0; i < kPlaces; ++i) {
        Raw next = 0;
        if (__builtin_mul_overflow(rest, Raw(10), &next))
            return std::nullopt;
        q = q * 10 + next / d;
        rest = next % d;
    }
    if (rest * 2 >= d) // rest < d < 10^38 / 2: no overflow
        ++q;
    return Decimal((raw_ < 0) != (other.raw_ < 0) ? -q : q);
}

Decimal Decimal::negated() const {
    return Decimal(-raw_);
}

QString Decimal::toString(int places, const QLocale& locale, bool trimZeros) const {
    places = std::clamp(places, 0, kPlaces);
    const Raw scaled = roundedQuotient(raw_, pow10(kPlaces - places));
    Raw a = absolute(scaled);
    QString digits;
    do {
        digits.prepend(QChar('0' + int(a % 10)));
        a /= 10;
    } while (a > 0);
    while (digits.size() <= places)
        digits.prepend(QLatin1Char('0'));
    QString whole = digits.left(digits.size() - places);
    QString fraction = digits.right(places);
    if (trimZeros)
        while (fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
    QString out;
    if (scaled < 0)
        out += locale.negativeSign();
    out += whole;
    if (!fraction.isEmpty())
        out += locale.decimalPoint() + fraction;
    return out;
}

} // namespace reportengine
