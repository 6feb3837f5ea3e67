#include "brigade_split.h"

#include "db/numbers.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tabel {

namespace {

using Wide = __int128; // total × weight outgrows 64 bits for extreme inputs

// Shares `total` units in proportion to `weights` by the largest remainder.
std::vector<qint64> share(qint64 total, const std::vector<qint64>& weights, qint64 sum) {
    std::vector<qint64> out(weights.size(), 0);
    std::vector<qint64> remainders(weights.size(), 0);
    qint64 given = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const Wide product = Wide(total) * weights[i];
        out[i] = qint64(product / sum);
        remainders[i] = qint64(product % sum);
        given += out[i];
    }
    std::vector<std::size_t> order(weights.size());
    std::iota(order.begin(), order.end(), 0);
    // Stable: on equal remainders the member listed earlier comes first.
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return remainders[a] > remainders[b]; });
    // Fewer units are left than there are members with a remainder, so a
    // member of weight 0 (remainder 0) is never reached.
    for (qint64 left = total - given, k = 0; left > 0; --left, ++k)
        ++out[order[std::size_t(k)]];
    return out;
}

QString fixedText(qint64 value, int decimals, bool trim) {
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    const bool negative = value < 0;
    const qint64 magnitude = negative ? -value : value;
    QString text = QString::number(magnitude / scale);
    QString fraction = QStringLiteral("%1").arg(magnitude % scale, decimals, 10, QChar('0'));
    if (trim) {
        while (fraction.endsWith('0'))
            fraction.chop(1);
    }
    if (!fraction.isEmpty())
        text += '.' + fraction;
    return negative ? '-' + text : text;
}

std::optional<qint64> scaled(const QString& text, int wholeDigits, int decimals) {
    const auto plain = decimalNumber(text, wholeDigits, decimals);
    if (!plain)
        return std::nullopt;
    // Written as the database writes it: digits, at most one point.
    const int point = plain->indexOf('.');
    const QString whole = point < 0 ? *plain : plain->left(point);
    const QString fraction =
        (point < 0 ? QString() : plain->mid(point + 1)).leftJustified(decimals, '0');
    bool ok = false;
    const qint64 value = (whole + fraction).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

BrigadeSplit splitBrigadeJob(qint64 totalThousandths, qint64 rejects,
                             const std::vector<BrigadeWeight>& weights) {
    std::vector<qint64> w;
    qint64 sum = 0;
    for (const BrigadeWeight& m : weights) {
        w.push_back(m.hours * m.ktu);
        sum += w.back();
    }
    if (sum <= 0)
        return {{}, QString::fromUtf8(kBrigadeNoWeight)};
    const std::vector<qint64> quantities = share(totalThousandths, w, sum);
    const std::vector<qint64> rejected = share(rejects, w, sum);
    // A member whose share of the rejects outgrows their share of the
    // quantity would be paid less than nothing.
    for (std::size_t i = 0; i < w.size(); ++i) {
        if (rejected[i] * 1000 > quantities[i])
            return {{},
                    QString::fromUtf8(kBrigadeRejectsAboveShare)
                        .arg(i + 1)
                        .arg(rejected[i])
                        .arg(thousandthsText(quantities[i])
                                 .replace(QLatin1Char('.'), QLatin1Char(',')))};
    }
    BrigadeSplit split;
    for (std::size_t i = 0; i < w.size(); ++i)
        split.shares.push_back({quantities[i], rejected[i]});
    return split;
}

qint64 brigadePayKopecks(const BrigadeShare& share, qint64 priceTenThousandths) {
    // thousandths × ten-thousandths = 10^-7; a kopeck is 10^-2.
    const Wide exact = Wide(share.quantity - share.rejects * 1000) * priceTenThousandths;
    const Wide half = 50000;
    return qint64(exact >= 0 ? (exact + half) / 100000 : -((-exact + half) / 100000));
}

std::optional<qint64> quantityThousandths(const QString& text) {
    return scaled(text, 9, 3);
}

std::optional<int> ktuHundredths(const QString& text) {
    const auto value = scaled(text, 1, 2);
    if (!value)
        return std::nullopt;
    return int(*value);
}

qint64 priceTenThousandths(double price) {
    return std::llround(price * 10000.0);
}

QString thousandthsText(qint64 value) {
    return fixedText(value, 3, true);
}

QString hundredthsText(qint64 value) {
    return fixedText(value, 2, false);
}

QString kopecksText(qint64 value) {
    return fixedText(value, 2, false);
}

} // namespace tabel
