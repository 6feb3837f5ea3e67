#pragma once

#include <QValidator>

namespace tabel {

// Accepts only the digits 0-9 and at most `max` as a whole number, so a box
// can never hold a value its column cannot store.
class DigitsValidator : public QValidator {
public:
    DigitsValidator(qint64 max, QObject* parent) : QValidator(parent), max_(max) {}
    State validate(QString& input, int&) const override {
        for (QChar c : input)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        if (input.size() > 18 || (!input.isEmpty() && input.toLongLong() > max_))
            return Invalid;
        return Acceptable;
    }

private:
    qint64 max_;
};

} // namespace tabel
