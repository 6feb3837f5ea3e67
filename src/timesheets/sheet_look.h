#pragma once

#include "kit/grid_model.h"

#include <QColor>
#include <QDate>
#include <QPalette>
#include <QVariant>

namespace tabel {

// How the time sheets draw a day: weekends in red, the days after the
// month's end out of sight, and in the shift time sheet the hours of a day
// at a glance: an absent day grey, a normal day (8 hours) bold, overtime
// (more than 8) bold on green.

inline const QColor kWeekendRed{255, 0, 0};
inline const QColor kSilver{192, 192, 192};
inline const QColor kOvertimeGreen{192, 220, 192};
inline const QColor kTotalsBackground{225, 228, 255};

// Saturdays and Sundays of the month of `first`.
bool isWeekend(const QDate& first, int day);

struct DayLook {
    QColor text;       // invalid: the grid's own
    bool bold = false; //
    QColor background; // invalid: the grid's own
};

// A day cell of the shift time sheet holding `value` (null reads as 0).
DayLook shiftDayLook(const QVariant& value, bool weekend, bool afterMonthEnd,
                     const QPalette& palette);

// The columns of the monthly sheets: the name, the day/night mark, 31 days
// and the month's pay, hours and pay per hour.
QList<GridColumn> monthlySheetColumns();

// A grid over a time sheet: columns d1 … d31 are coloured for the month
// shown; with `hoursAtAGlance` the shift time sheet's value rules apply too.
class DaySheetModel : public GridModel {
    Q_OBJECT
public:
    DaySheetModel(QList<GridColumn> columns, bool hoursAtAGlance, QObject* parent = nullptr);

    void setMonth(const QDate& first);
    QDate month() const { return first_; }
    // The grid column of day `day`, -1 when there is none.
    int dayColumn(int day) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

private:
    int dayOf(int column) const; // 0 when not a day column

    bool hoursAtAGlance_;
    QDate first_;
    QPalette palette_;
};

} // namespace tabel
