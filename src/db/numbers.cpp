#include "numbers.h"

#include "format.h"

#include <QRegularExpression>

namespace tabel {

namespace {
const QRegularExpression& decimalPattern() {
    static const QRegularExpression re(QStringLiteral("^(-?)([0-9]+)(?:\\.([0-9]*))?$"));
    return re;
}
} // namespace

std::optional<qint64> wholeNumber(const QString& text, qint64 max) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 18)
        return std::nullopt;
    for (QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const qint64 v = t.toLongLong();
    if (v > max)
        return std::nullopt;
    return v;
}

QString wholeNumberMessage(const QString& caption, const QString& text, qint64 max) {
    return QStringLiteral("«%1»: значение «%2» не подходит. Введите целое число от 0 до %3.")
        .arg(caption, text.trimmed())
        .arg(max);
}

std::optional<QString> decimalNumber(const QString& text, int wholeDigits, int decimals) {
    static const QRegularExpression typed(QStringLiteral("^([0-9]*)(?:[.,]([0-9]*))?$"));
    const auto m = typed.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    QString whole = m.captured(1);
    const QString fraction = m.captured(2);
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
    if ((whole != QLatin1String("0") && whole.size() > wholeDigits) || fraction.size() > decimals)
        return std::nullopt;
    return fraction.isEmpty() ? whole : whole + QLatin1Char('.') + fraction;
}

QString decimalNumberMessage(const QString& caption, const QString& text, int wholeDigits,
                             int decimals) {
    return QStringLiteral("«%1»: значение «%2» не подходит. Введите число до %3 до "
                          "запятой и до %4 после.")
        .arg(caption, text.trimmed(),
             countNoun(wholeDigits, QStringLiteral("знака"), QStringLiteral("знаков"),
                       QStringLiteral("знаков")))
        .arg(decimals);
}

QString plainDecimal(const QString& text) {
    const QString t = text.trimmed();
    const auto m = decimalPattern().match(t);
    if (!m.hasMatch() || !t.contains(QLatin1Char('.')))
        return t;
    QString out = t;
    while (out.endsWith(QLatin1Char('0')))
        out.chop(1);
    if (out.endsWith(QLatin1Char('.')))
        out.chop(1);
    return out;
}

QString fixedDecimal(const QString& text, int decimals, const QLocale& locale) {
    const QString t = text.trimmed();
    const auto m = decimalPattern().match(t);
    if (!m.hasMatch())
        return text;
    const bool negative = !m.captured(1).isEmpty();
    QString whole = m.captured(2);
    QString frac = m.captured(3);
    const bool roundUp = frac.size() > decimals && frac.at(decimals) >= QLatin1Char('5');
    frac = frac.left(decimals).leftJustified(decimals, QLatin1Char('0'));
    QString digits = whole + frac;
    if (roundUp) {
        int i = digits.size() - 1;
        while (i >= 0 && digits[i] == QLatin1Char('9'))
            digits[i--] = QLatin1Char('0');
        if (i < 0)
            digits.prepend(QLatin1Char('1'));
        else
            digits[i] = QChar(digits[i].unicode() + 1);
    }
    whole = digits.left(digits.size() - decimals);
    frac = digits.right(decimals);
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    const bool zero = !whole.contains(QRegularExpression(QStringLiteral("[1-9]"))) &&
                      !frac.contains(QRegularExpression(QStringLiteral("[1-9]")));
    QString out = (negative && !zero ? locale.negativeSign() : QString()) + whole;
    if (decimals > 0)
        out += locale.decimalPoint() + frac;
    return out;
}

} // namespace tabel
