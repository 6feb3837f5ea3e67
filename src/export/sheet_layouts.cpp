#include "sheet_layouts.h"

namespace tabel {

namespace {

constexpr CellStyle kPlain{};
constexpr CellStyle kFitted{false, false, true};
constexpr CellStyle kFittedText{true, false, true};
constexpr CellStyle kHeading{true, true, true};
constexpr CellStyle kDayHeading{false, true, true};

// A null or empty value writes nothing, as the spreadsheet would be left
// with nothing by an empty text.
void text(SheetSink& sheet, int row, int column, const QVariant& value, CellStyle style) {
    const QString t = value.isNull() ? QString() : value.toString();
    if (!t.isEmpty())
        sheet.writeText(row, column, t, style);
}

void number(SheetSink& sheet, int row, int column, const QVariant& value, CellStyle style) {
    const QString t = value.isNull() ? QString() : value.toString().trimmed();
    if (!t.isEmpty())
        sheet.writeNumber(row, column, t, style);
}

QString kindText(const QVariant& naimen) {
    return naimen.toInt() == 0 ? QStringLiteral("Готовая продукция") : QStringLiteral("Заготовки");
}

void tell(const ExportProgress& progress, int done, int total) {
    if (progress)
        progress(done, total);
}

QString day(const char* prefix, int d) {
    return QLatin1String(prefix) + QString::number(d);
}

} // namespace

QString summaryOperation(const QString& vid, const QVariant& color) {
    const qlonglong c = color.isNull() ? 0 : color.toLongLong();
    if (c == 1)
        return vid + QStringLiteral(" (грунт)");
    if (c > 1)
        return vid + QStringLiteral(" (цвет: %1)").arg(c);
    return vid;
}

void layPriceList(const Dataset& rows, SheetSink& sheet) {
    const char* headers[] = {"Марка", "Операция", "Цена", "Вид"};
    for (int c = 0; c < 4; ++c)
        sheet.writeText(1, c + 1, QString::fromUtf8(headers[c]), kPlain);
    for (int r = 0; r < rows.count(); ++r) {
        const int row = r + 2;
        text(sheet, row, 1, rows.value(r, QStringLiteral("marka")), kPlain);
        text(sheet, row, 2, rows.value(r, QStringLiteral("vid")), kPlain);
        number(sheet, row, 3, rows.value(r, QStringLiteral("cena")), kPlain);
        sheet.writeText(row, 4, kindText(rows.value(r, QStringLiteral("naimen"))), kPlain);
    }
}

void laySummary(const Dataset& rows, SheetSink& sheet, const ExportProgress& progress) {
    const int total = rows.count();
    tell(progress, 0, total);
    const char* headers[] = {"Наименование", "Операция", "Вид продукции", "Коробки", "Кол-во"};
    for (int c = 0; c < 5; ++c)
        sheet.writeText(1, c + 1, QString::fromUtf8(headers[c]), kPlain);
    for (int r = 0; r < total; ++r) {
        const int row = r + 2;
        text(sheet, row, 1, rows.value(r, QStringLiteral("nom")), kPlain);
        text(sheet, row, 2,
             summaryOperation(rows.value(r, QStringLiteral("vid")).toString(),
                              rows.value(r, QStringLiteral("color"))),
             kPlain);
        sheet.writeText(row, 3, kindText(rows.value(r, QStringLiteral("naimen"))), kPlain);
        number(sheet, row, 4, rows.value(r, QStringLiteral("mass")), kPlain);
        number(sheet, row, 5, rows.value(r, QStringLiteral("kolvo")), kPlain);
        tell(progress, r + 1, total);
    }
}

void layShiftTimesheet(const Dataset& rows, const QString& title, SheetSink& sheet,
                       const ExportProgress& progress) {
    const int total = rows.count();
    tell(progress, 0, total);
    sheet.writeText(1, 1, title, kHeading);
    sheet.writeText(2, 1, QStringLiteral("Фамилия И.О."), kHeading);
    for (int d = 1; d <= 31; ++d)
        sheet.writeNumber(2, d + 1, QString::number(d), kDayHeading);
    sheet.writeText(2, 33, QStringLiteral("Итого"), kHeading);

    QList<int> dayColumns;
    for (int d = 1; d <= 31; ++d)
        dayColumns << rows.fieldIndex(day("sd", d));
    for (int r = 0; r < total; ++r) {
        const int row = r + 3;
        text(sheet, row, 1, rows.value(r, QStringLiteral("fio")), kFittedText);
        // A day left empty counts 0 in the total.
        qint64 sum = 0;
        for (int d = 1; d <= 31; ++d) {
            const QVariant v = rows.value(r, dayColumns[d - 1]);
            number(sheet, row, d + 1, v, kFitted);
            if (!v.isNull())
                sum += v.toLongLong();
        }
        sheet.writeNumber(row, 33, QString::number(sum), kFitted);
        tell(progress, r + 1, total);
    }
}

void layMonthlySheet(const Dataset& rows, sql::MonthlySheet kind, const QString& title,
                     SheetSink& sheet, const ExportProgress& progress) {
    const bool dayOrNight =
        kind == sql::MonthlySheet::Housekeeping || kind == sql::MonthlySheet::AveragePiecework;
    const bool hourly = kind != sql::MonthlySheet::General;
    const int total = rows.count();
    tell(progress, 0, total);
    sheet.writeText(1, 1, title, kHeading);
    sheet.writeText(2, 1, QStringLiteral("Фамилия И.О."), kHeading);
    for (int d = 1; d <= 31; ++d)
        sheet.writeNumber(2, d + 2, QString::number(d), kDayHeading);
    sheet.writeText(2, 34, QStringLiteral("Итого (ч.)"), kHeading);
    sheet.writeText(2, 35, QStringLiteral("Итого (р.)"), kHeading);
    if (hourly)
        sheet.writeText(2, 36, QStringLiteral("Час (р.)"), kHeading);

    QList<int> dayColumns;
    for (int d = 1; d <= 31; ++d)
        dayColumns << rows.fieldIndex(day("d", d));
    for (int r = 0; r < total; ++r) {
        const int row = r + 3;
        text(sheet, row, 1, rows.value(r, QStringLiteral("fio")), kFittedText);
        if (dayOrNight)
            text(sheet, row, 2, rows.value(r, QStringLiteral("s_night")), kFittedText);
        for (int d = 1; d <= 31; ++d)
            number(sheet, row, d + 2, rows.value(r, dayColumns[d - 1]), kFitted);
        number(sheet, row, 34, rows.value(r, QStringLiteral("i_time")), kFitted);
        number(sheet, row, 35, rows.value(r, QStringLiteral("f_price")), kFitted);
        if (hourly)
            number(sheet, row, 36, rows.value(r, QStringLiteral("average_price")), kFitted);
        tell(progress, r + 1, total);
    }
}

} // namespace tabel
