#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace tabel {

// A date as the program's date boxes show it and the plant types it,
// "dd.MM.yyyy", a day or a month of one digit allowed: the day it names, or
// nothing when it names none. A day the month lacks ("31.02.2026", "29.02.2025")
// names none: it is never read as the month's last day or as a day of the
// next month.
std::optional<QDate> typedDate(const QString& text);

// "«Дата»: значение «31.02.2026» не подходит: такого дня в календаре нет. В поле
// оставлена дата 29.11.2026."
QString typedDateMessage(const QString& caption, const QString& text, const QDate& kept);

} // namespace tabel
