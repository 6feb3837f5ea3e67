#pragma once

#include <QLocale>
#include <QString>
#include <QVariant>

namespace tabel {

// A number as the user reads it: in the locale's format, exactly as the
// database gave it (amounts arrive as text, so no binary rounding shows).
QString displayNumber(const QVariant& value, const QLocale& locale = QLocale());

// A double in the general format of the locale: shortest form, no trailing
// zeros, no group separators.
QString displayDouble(double value, const QLocale& locale = QLocale());

// A value for a grid cell: numbers as above, dates as dd.MM.yyyy, text trimmed
// on the right.
QString displayValue(const QVariant& value, bool numeric, const QLocale& locale = QLocale());

// A count and its noun in the form Russian gives the noun after that number:
// countNoun(n, "шаг", "шага", "шагов") is "1 шаг", "3 шага", "11 шагов",
// "21 шаг". For a noun in another case, give its three forms in that case
// ("из 1 значения", "из 5 значений": "значения", "значений", "значений").
QString countNoun(qint64 n, const QString& one, const QString& few, const QString& many);

} // namespace tabel
