#pragma once

#include "reportengine/decimal.h"

#include <QLocale>
#include <QString>
#include <QVariant>

namespace reportengine {

// What a field or an expression yields: nothing (an empty field, a division
// by zero), an exact number, or text.
class Value {
public:
    enum class Kind { Empty, Number, Text };

    Value() = default;
    static Value number(const Decimal& d) { return Value(Kind::Number, d, {}); }
    static Value text(const QString& t) { return Value(Kind::Text, {}, t); }
    // A database value: null is empty; a numeric column, or a value of a
    // number type, becomes a number when it reads as one.
    static Value fromVariant(const QVariant& v, bool numeric);

    Kind kind() const { return kind_; }
    bool isEmpty() const { return kind_ == Kind::Empty; }
    bool isNumber() const { return kind_ == Kind::Number; }
    const Decimal& asNumber() const { return number_; }
    const QString& asText() const { return text_; }

private:
    Value(Kind k, const Decimal& d, const QString& t) : kind_(k), number_(d), text_(t) {}
    Kind kind_ = Kind::Empty;
    Decimal number_;
    QString text_;
};

// A display mask: "#0.00", "#0.000", "#0". The number of characters after
// the point is the number of decimals printed, always all of them.
struct Mask {
    static Mask parse(const QString& mask);
    bool isSet() const { return decimals >= 0; }
    int decimals = -1;
};

// How a value prints: a number with its mask, or without one in the default
// form (at most `defaultPlaces` decimals, no zeros at the end); text as it
// is; an empty value as nothing.
QString formatValue(const Value& v, const Mask& mask, int defaultPlaces, const QLocale& locale);

} // namespace reportengine
