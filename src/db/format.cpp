#include "format.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

namespace tabel {

QString displayDouble(double value, const QLocale& locale) {
    QLocale loc = locale;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(value, 'g', 15);
}

QString displayNumber(const QVariant& value, const QLocale& locale) {
    if (value.isNull() || !value.isValid())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return displayDouble(value.toDouble(), locale);
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        static const QRegularExpression plain(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
        if (plain.match(text).hasMatch()) {
            QString out = text;
            if (out.startsWith(QLatin1Char('-')))
                out.replace(0, 1, locale.negativeSign());
            return out.replace(QLatin1Char('.'), locale.decimalPoint());
        }
        bool ok = false;
        const double d = text.toDouble(&ok);
        return ok ? displayDouble(d, locale) : text;
    }
    default:
        return value.toString();
    }
}

QString displayValue(const QVariant& value, bool numeric, const QLocale& locale) {
    if (value.isNull() || !value.isValid())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    case QMetaType::QDateTime:
        return value.toDateTime().date().toString(QStringLiteral("dd.MM.yyyy"));
    case QMetaType::Double:
    case QMetaType::Float:
        return displayDouble(value.toDouble(), locale);
    default:
        break;
    }
    if (numeric)
        return displayNumber(value, locale);
    QString text = value.toString();
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

QString countNoun(qint64 n, const QString& one, const QString& few, const QString& many) {
    const qint64 last2 = (n < 0 ? -n : n) % 100;
    const qint64 last = last2 % 10;
    const QString& noun = last2 >= 11 && last2 <= 14 ? many
                          : last == 1                ? one
                          : last >= 2 && last <= 4   ? few
                                                     : many;
    return QString::number(n) + QLatin1Char(' ') + noun;
}

} // namespace tabel
