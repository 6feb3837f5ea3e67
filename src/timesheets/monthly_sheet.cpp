#include "monthly_sheet.h"

#include "db/numbers.h"
#include "db/sql.h"

#include <QSqlQuery>

namespace tabel {

MonthlySheetInfo monthlySheetInfo(sql::MonthlySheet s) {
    switch (s) {
    case sql::MonthlySheet::Piecework:
        return {"H_Tabel0", "Табель сделка (27)", 238, false, true};
    case sql::MonthlySheet::Housekeeping:
        return {"H_Tabel7777", "Табель хоз. работы (27)", 208, true, true};
    case sql::MonthlySheet::AveragePiecework:
        return {"H_Tabel7778", "Табель ср. сдельная (27)", 208, true, true};
    case sql::MonthlySheet::General:
        break;
    }
    return {"H_Tabel_all", "Общий табель (27)", 304, false, false};
}

QVariantMap monthlySheetParams(const QDate& first) {
    return {{"i_month", first.month()},
            {"i_year", first.year()},
            {"d_date2", first},
            {"d_date1", first.addMonths(1)}};
}

std::array<QString, 4> readMonthlyTotals(const QSqlDatabase& db, const QDate& first,
                                         const QLocale& shown) {
    QSqlQuery q =
        exec(db, sql::monthlyTotals(), {{"d_date2", first}, {"d_date1", first.addMonths(1)}});
    q.next();
    QLocale locale = shown;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    std::array<QString, 4> totals;
    for (int i = 0; i < 4; ++i) {
        const QVariant v = q.value(kMonthlyTotalFields[i]);
        totals[i] = v.isNull() ? QString() : fixedDecimal(v.toString(), 2, locale);
    }
    return totals;
}

int monthlyTotalOf(sql::MonthlySheet sheet) {
    switch (sheet) {
    case sql::MonthlySheet::AveragePiecework:
        return 0;
    case sql::MonthlySheet::Housekeeping:
        return 1;
    case sql::MonthlySheet::Piecework:
        return 2;
    case sql::MonthlySheet::General:
        break;
    }
    return 3;
}

} // namespace tabel
