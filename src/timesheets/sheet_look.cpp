#include "sheet_look.h"

#include <QFont>
#include <QGuiApplication>

namespace tabel {

QList<GridColumn> monthlySheetColumns() {
    constexpr int kDayWidth = 20;
    QList<GridColumn> cols{{"fio", "Фамилия И. О.", 208}, {"s_night", "", 30}};
    for (int d = 1; d <= 31; ++d)
        cols.append(GridColumn{QStringLiteral("d%1").arg(d), QString::number(d), kDayWidth,
                               Qt::AlignCenter});
    const auto right = Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter);
    GridColumn pay{"f_price", "Итого (р.)", 66, right, true, 2};
    GridColumn hours{"i_time", "Итого (ч.)", 66, Qt::AlignCenter, true};
    GridColumn rate{"average_price", "Час (р.)", 66, Qt::AlignCenter, true, 2};
    for (GridColumn* c : {&pay, &hours, &rate}) {
        c->bold = true;
        c->background = kTotalsBackground;
        cols.append(*c);
    }
    return cols;
}

bool isWeekend(const QDate& first, int day) {
    const int dow = QDate(first.year(), first.month(), day).dayOfWeek(); // 1 Mon … 7 Sun
    return dow >= 6;
}

DayLook shiftDayLook(const QVariant& value, bool weekend, bool afterMonthEnd,
                     const QPalette& palette) {
    // A day after the month's end has nothing to show: whatever it holds
    // stays out of sight.
    if (afterMonthEnd)
        return {palette.color(QPalette::Window), false, {}};
    const QColor column = weekend ? kWeekendRed : palette.color(QPalette::WindowText);
    const int hours = value.isNull() ? 0 : value.toInt();
    if (hours == 0)
        return {weekend ? kWeekendRed : kSilver, false, {}};
    if (hours == 8)
        return {column, true, {}};
    if (hours > 8)
        return {column, true, kOvertimeGreen};
    return {column, false, {}};
}

DaySheetModel::DaySheetModel(QList<GridColumn> columns, bool hoursAtAGlance, QObject* parent)
    : GridModel(std::move(columns), parent), hoursAtAGlance_(hoursAtAGlance),
      palette_(QGuiApplication::palette()) {}

void DaySheetModel::setMonth(const QDate& first) {
    first_ = QDate(first.year(), first.month(), 1);
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int DaySheetModel::dayOf(int column) const {
    if (column < 0 || column >= columns().size())
        return 0;
    const QString& f = columns()[column].field;
    if (f.size() < 2 || f[0] != QLatin1Char('d'))
        return 0;
    bool ok = false;
    const int day = f.mid(1).toInt(&ok);
    return ok && day >= 1 && day <= 31 ? day : 0;
}

int DaySheetModel::dayColumn(int day) const {
    for (int c = 0; c < columns().size(); ++c)
        if (dayOf(c) == day)
            return c;
    return -1;
}

QVariant DaySheetModel::data(const QModelIndex& index, int role) const {
    const int day = dayOf(index.column());
    if (day == 0 || !first_.isValid() ||
        (role != Qt::ForegroundRole && role != Qt::FontRole && role != Qt::BackgroundRole))
        return GridModel::data(index, role);
    const bool after = day > first_.daysInMonth();
    const bool weekend = !after && isWeekend(first_, day);
    DayLook look;
    if (hoursAtAGlance_)
        look = shiftDayLook(GridModel::data(index, Qt::EditRole), weekend, after, palette_);
    else if (weekend)
        look.text = kWeekendRed;
    switch (role) {
    case Qt::ForegroundRole:
        return look.text.isValid() ? QVariant(look.text) : QVariant();
    case Qt::BackgroundRole:
        return look.background.isValid() ? QVariant(look.background) : QVariant();
    default: {
        if (!look.bold)
            return GridModel::data(index, role);
        QFont f;
        f.setBold(true);
        return f;
    }
    }
}

QVariant DaySheetModel::headerData(int section, Qt::Orientation o, int role) const {
    const int day = o == Qt::Horizontal ? dayOf(section) : 0;
    if (day == 0 || role != Qt::ForegroundRole || !first_.isValid())
        return GridModel::headerData(section, o, role);
    if (day > first_.daysInMonth())
        return kSilver;
    if (isWeekend(first_, day))
        return kWeekendRed;
    return {};
}

} // namespace tabel
