#pragma once

#include "db/dataset.h"
#include "timesheets/sheet_statements.h"

#include <QString>
#include <QVariant>
#include <functional>

namespace tabel {

// What a cell write asks for besides its value.
struct CellStyle {
    bool textFormat = false; // the text number format: the cell keeps text as text
    bool bold = false;
    bool fit = false; // the column is as wide as its widest fitted cell
};

// Sheet 1 of a new workbook; rows and columns count from 1.
class SheetSink {
public:
    virtual ~SheetSink() = default;
    virtual void writeText(int row, int column, const QString& text, CellStyle style) = 0;
    // `decimal` as the database writes numbers ("12.50", "-3", "8"); the cell
    // holds that value as a number.
    virtual void writeNumber(int row, int column, const QString& decimal, CellStyle style) = 0;
};

// Told after the header and after every row: `done` of `total` source rows
// written.
using ExportProgress = std::function<void(int done, int total)>;

// The cell layouts of the four exports over their source rows (see
// export_sources.h), the visible rows of the dataset from its first. A null
// or empty value writes nothing. Texts are written as texts, whatever they
// look like; days, hours, quantities and amounts as numbers.

// "Марка", "Операция", "Цена", "Вид": plain cells, no progress.
void layPriceList(const Dataset& rows, SheetSink& sheet);

// "Наименование", "Операция", "Вид продукции", "Коробки", "Кол-во": plain
// cells; the operation carries its colour (summaryOperation).
void laySummary(const Dataset& rows, SheetSink& sheet, const ExportProgress& progress = {});

// The title, then "Фамилия И.О.", the days 1 … 31 and "Итого", then a row per
// worker with the day hours and their total; every column fitted, names and
// worded cells in the text format, the title and the header bold.
void layShiftTimesheet(const Dataset& rows, const QString& title, SheetSink& sheet,
                       const ExportProgress& progress = {});

// The title, then "Фамилия И.О.", an untitled column 2 (the day or night
// mark, housekeeping and average-piecework sheets only), the days 1 … 31 in
// columns 3 … 33, "Итого (ч.)", "Итого (р.)" and, but for the general sheet,
// "Час (р.)"; then a row per dataset row. Formats as the shift time sheet.
void layMonthlySheet(const Dataset& rows, sql::MonthlySheet kind, const QString& title,
                     SheetSink& sheet, const ExportProgress& progress = {});

// The summary's operation text: the type name alone, with " (грунт)" for
// colour 1, with " (цвет: N)" for a colour number N above 1.
QString summaryOperation(const QString& vid, const QVariant& color);

} // namespace tabel
