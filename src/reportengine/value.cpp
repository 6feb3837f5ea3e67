#include "value.h"

#include <QDate>

namespace reportengine {

Value Value::fromVariant(const QVariant& v, bool numeric) {
    if (!v.isValid() || v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return number(Decimal::fromInteger(v.toLongLong()));
    case QMetaType::ULongLong: // may lie beyond a long long
        return number(*Decimal::parse(QString::number(v.toULongLong())));
    case QMetaType::Double:
    case QMetaType::Float:
        // Fifteen significant digits are what a double holds; the text
        // then rounds the way its reader expects.
        if (const auto d = Decimal::parse(QString::number(v.toDouble(), 'g', 15)))
            return number(*d);
        return {};
    case QMetaType::QDate:
        return text(v.toDate().toString(QStringLiteral("dd.MM.yyyy")));
    default:
        break;
    }
    const QString t = v.toString();
    if (numeric) {
        if (t.trimmed().isEmpty())
            return {};
        if (const auto d = Decimal::parse(t))
            return number(*d);
    }
    return text(t);
}

Mask Mask::parse(const QString& mask) {
    Mask m;
    if (mask.isEmpty())
        return m;
    const qsizetype point = mask.indexOf(QLatin1Char('.'));
    m.decimals = point < 0 ? 0 : int(mask.size() - point - 1);
    return m;
}

QString formatValue(const Value& v, const Mask& mask, int defaultPlaces, const QLocale& locale) {
    switch (v.kind()) {
    case Value::Kind::Empty:
        return {};
    case Value::Kind::Text:
        return v.asText();
    case Value::Kind::Number:
        if (mask.isSet())
            return v.asNumber().toString(mask.decimals, locale);
        return v.asNumber().toString(defaultPlaces, locale, true);
    }
    return {};
}

} // namespace reportengine
