#pragma once

#include "timesheets/sheet_statements.h"

#include <QDate>
#include <QLocale>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>
#include <array>

namespace tabel {

// What the monthly sheets share between the window and the web view: which
// columns each sheet shows, the parameters of its statement and the month's
// four money totals as they are shown.

struct MonthlySheetInfo {
    const char* dataset;
    const char* caption;
    int nameWidth;
    bool night;      // the day/night column
    bool hourlyRate; // "Час (р.)"
};
MonthlySheetInfo monthlySheetInfo(sql::MonthlySheet sheet);

// The parameters of sql::monthlySheet for the month of `first`, its first day.
QVariantMap monthlySheetParams(const QDate& first);

// The totals' labels, in the order they are shown and read below.
inline const char* const kMonthlyTotalLabels[] = {
    "Ср. сдел.:", "Хоз. работы:", "Сделка:", "Итого:"};
inline const char* const kMonthlyTotalFields[] = {"price8", "price7", "price", "all_price"};

// The month's totals in the order of kMonthlyTotalLabels, each with two
// decimals in `locale`'s format, empty where nothing counts. Throws DbError.
std::array<QString, 4> readMonthlyTotals(const QSqlDatabase& db, const QDate& first,
                                         const QLocale& locale = QLocale());

// The index in kMonthlyTotalLabels of the total that belongs to `sheet`: its
// own kind of pay, or "Итого:" for the general sheet.
int monthlyTotalOf(sql::MonthlySheet sheet);

} // namespace tabel
