#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace tabel {

// Numbers as the database writes them ("-12.50", "100000") are kept as that
// text from the database to the screen and back, so no binary rounding ever
// touches a quantity or an amount.

// A whole number from 0 to `max` written in plain digits (blanks around it
// allowed), or nothing for any other text: signs, separators, fractions,
// exponents and values above `max` included.
std::optional<qint64> wholeNumber(const QString& text, qint64 max);

// "«Кол-во»: значение «12,5» не подходит. Введите целое число от 0 до 999999999."
QString wholeNumberMessage(const QString& caption, const QString& text, qint64 max);

// A decimal number as the database writes it, without trailing zeros after
// the point ("100000.000" gives "100000", "2.50" gives "2.5"); any other text
// comes back trimmed and otherwise as it is.
QString plainDecimal(const QString& text);

// A decimal number as the database writes it, rounded half away from zero to
// `decimals` places and written with exactly that many, in the locale's
// format without group separators. Text that is not such a number comes back
// as it is.
QString fixedDecimal(const QString& text, int decimals, const QLocale& locale = QLocale());

} // namespace tabel
