#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace tabel {

// Numbers as the database writes them ("-12.50", "100000") are kept as that
// text from the database to the screen and back, so no binary rounding ever
// touches a quantity or an amount.

// What the program's number boxes take. A box keeps every character typed,
// and the value is read from its text with these rules where it is used, so
// a text that is not a number is refused with a message and never turned
// into another number behind the user's back ("1,5" is not 15, "-3" is not
// 3). Blanks around the number are allowed; signs, group separators and
// exponents are not.

// A whole number from 0 to `max` written in plain digits, or nothing for any
// other text: fractions and values above `max` included.
std::optional<qint64> wholeNumber(const QString& text, qint64 max);

// "«Кол-во»: значение «12,5» не подходит. Введите целое число от 0 до 999999999."
QString wholeNumberMessage(const QString& caption, const QString& text, qint64 max);

// A decimal number from 0 with at most `wholeDigits` digits before its
// separator (leading zeros aside) and `decimals` after it. The plant writes
// a decimal comma, and the point of the numeric keypad is taken the same
// way; one of them at most. Answered as the database writes it, digits kept
// as typed: "12,50" gives "12.50", "007" gives "7", ",5" gives "0.5", "5,"
// gives "5".
std::optional<QString> decimalNumber(const QString& text, int wholeDigits, int decimals);

// "«Цена»: значение «1.2.3» не подходит. Введите число до 9 знаков до запятой
// и до 6 после."
QString decimalNumberMessage(const QString& caption, const QString& text, int wholeDigits,
                             int decimals);

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
