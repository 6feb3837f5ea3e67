#pragma once

#include <QDate>
#include <QStringList>

namespace tabel {

// The month lists of the time sheets; a month's number is its index + 1.
inline QStringList monthNames() {
    return {"Январь", "Февраль", "Март",     "Апрель",  "Май",    "Июнь",
            "Июль",   "Август",  "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
}

// The first day of the month.
inline QDate monthStart(const QDate& anyDay) {
    return QDate(anyDay.year(), anyDay.month(), 1);
}

} // namespace tabel
