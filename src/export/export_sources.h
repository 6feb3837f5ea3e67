#pragma once

#include "db/dataset.h"
#include "timesheets/sheet_statements.h"

#include <QDate>
#include <QString>

namespace tabel {

// The rows each spreadsheet export writes, read into a dataset of the
// caller's (its rows are then the export's source, as a window's shown
// dataset is for the monthly sheet). Each opening reads the database again
// and throws DbError.

namespace sql {

// `XLS_Rep` of the operations list: every operation, those without norms
// too, with its list price `cena` (the operation's `cena_new`, exact), by
// mark, type name and kind.
QString priceList();

// `XLS_Rep` of the reports dialog: per product designation, colour, kind and
// operation type, the good quantity `kolvo` and `mass` (that quantity times
// the product's `massa`), both exact, over the records with :data1 <= date <
// :data2, by designation.
QString summaryExport();

} // namespace sql

// Which rows of the summary: all, finished goods (`naimen` = 0) or blanks
// (`naimen` = 1), as the reports dialog's choice filters them.
enum class ProductKind { All, Finished, Blanks };

void openPriceList(Dataset& rows);
void openSummary(Dataset& rows, const QDate& from, const QDate& to, ProductKind kind);
// The shift time sheet's print query for the month.
void openShiftTimesheet(Dataset& rows, int month, int year);
// A monthly sheet as the monthly time-sheet window binds it.
void openMonthlySheet(Dataset& rows, sql::MonthlySheet kind, int month, int year);

} // namespace tabel
