#pragma once

#include "export/export_sources.h"
#include "session/context.h"

#include <QDate>
#include <QString>
#include <functional>

class QPushButton;
class QWidget;

namespace tabel {

// The "Excel" buttons of the windows. Each call reads its rows, writes them
// into a new workbook in a folder of its own under the system's temporary
// folder and hands the workbook to the desktop's default spreadsheet
// application, where the user looks at it and saves it where they like.
//
// While it runs, the window keeps to it (ExportBusy): its other commands are
// disabled, and `button`, when given, shows "Excel (k из N)" for k rows of N
// written, repainting after each row. The caption stays as the export left it;
// the windows set it back when their rules say so.
//
// Errors are shown through the context's messenger, caption "Ошибка":
// "Ошибка открытия файла Microsoft Excel." when the workbook cannot be
// written (the reason as the detail), "Невозможно открыть Microsoft Excel."
// when no application can be started for it; a cell the workbook refuses
// shows "Ошибка при записи: лист 1, столбец C, строка R" (caption "Ошибка
// Microsoft Excel") and the export goes on. Database errors are shown by the
// general error handler. Each returns the workbook's path, or an empty text
// when nothing was shown.

// Operations list: every operation with its list price; no progress.
QString exportPriceList(QWidget* window, AppContext& ctx);

// Reports dialog: the summary of the period from <= date < to, of the kind of
// product chosen.
QString exportSummary(QWidget* window, QPushButton* button, AppContext& ctx, const QDate& from,
                      const QDate& to, ProductKind kind);

// Shift time sheet: the month's print query, titled "<monthName> <year>".
QString exportShiftTimesheet(QWidget* window, QPushButton* button, AppContext& ctx, int month,
                             int year, const QString& monthName);

// Monthly time sheet: the window's sheet dataset as shown, titled `title`
// (the month's name, a space and the year). The dataset is only read.
QString exportMonthlySheet(QWidget* window, QPushButton* button, AppContext& ctx,
                           const Dataset& sheet, sql::MonthlySheet kind, const QString& title);

// Where workbooks are written and how they are shown; tests replace both.
struct WorkbookHandOver {
    // Empty: a new folder under the system's temporary folder per workbook.
    QString folder;
    // Empty: the desktop's default application for workbooks (asked of
    // xdg-mime), started through QDesktopServices (xdg-open on Linux).
    // False when there is none or it could not be started.
    std::function<bool(const QString& path)> show;
};
WorkbookHandOver& workbookHandOver();

} // namespace tabel
