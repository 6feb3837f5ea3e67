#include "export_actions.h"

#include "export/export_busy.h"
#include "export/sheet_layouts.h"
#include "export/xlsx_workbook.h"
#include "kit/error_boxes.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <optional>

namespace tabel {

namespace {

const QString kCaption = QStringLiteral("Ошибка");
const QString kCannotCreate = QStringLiteral("Ошибка открытия файла Microsoft Excel.");
const QString kCannotOpen = QStringLiteral("Невозможно открыть Microsoft Excel.");

using Layout = std::function<void(SheetSink&, const ExportProgress&)>;

// A folder of its own for each workbook, so that a workbook still open in
// the spreadsheet application is never written over. Without one, the
// temporary folder itself; a folder that cannot take the workbook is then
// reported by the workbook.
struct Folder {
    QString path;
    bool own = false; // made for this workbook, and removed with it
};

Folder newFolder() {
    const QString fixed = workbookHandOver().folder;
    if (!fixed.isEmpty())
        return {fixed, false};
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tabel-XXXXXX"));
    if (!dir.isValid())
        return {QDir::tempPath(), false};
    dir.setAutoRemove(false); // the spreadsheet application reads it later
    return {dir.path(), true};
}

QString fileName(QString name) {
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    return name + QStringLiteral(".xlsx");
}

// Whether the desktop has an application for workbooks. Opening a file
// only starts xdg-open, which succeeds whether or not it then finds an
// application (and in a plain X session runs that application until it
// ends), so the association is asked for first. Without xdg-mime, or
// without an answer in time, the opening is left to try.
bool spreadsheetApplicationFound() {
    QProcess query;
    query.start(
        QStringLiteral("xdg-mime"),
        {QStringLiteral("query"), QStringLiteral("default"),
         QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return query.exitCode() != 0 || !query.readAllStandardOutput().trimmed().isEmpty();
}

bool show(const QString& path) {
    const auto& custom = workbookHandOver().show;
    if (custom)
        return custom(path);
    return spreadsheetApplicationFound() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// Writes the workbook and shows it. The rows are read already, before the
// workbook is begun. The window is given back before the closing messages.
QString writeAndShow(ExportBusy& busy, Messenger& messenger, QPushButton* button,
                     const QString& name, const Layout& lay) {
    const Folder folder = newFolder();
    const QString path = QDir(folder.path).filePath(fileName(name));
    const auto fail = [&](const QString& text, const QString& reason) {
        busy.release();
        // Nobody will see the workbook, so nothing is left of it.
        QFile::remove(path);
        if (folder.own)
            QDir().rmdir(folder.path);
        messenger.error(kCaption, text, reason);
        return QString();
    };
    std::optional<XlsxWorkbook> book;
    try {
        book.emplace(path);
    } catch (const WorkbookError& e) {
        return fail(kCannotCreate, e.reason());
    }
    book->onCellError = [&messenger](int row, int column) {
        messenger.error(QStringLiteral("Ошибка Microsoft Excel"),
                        QStringLiteral("Ошибка при записи: лист 1, столбец %1, строка %2")
                            .arg(column)
                            .arg(row));
    };
    ExportProgress progress;
    if (button)
        progress = [button](int done, int total) {
            button->setText(QStringLiteral("Excel (%1 из %2)").arg(done).arg(total));
            ExportBusy::breathe();
        };
    lay(*book, progress);
    try {
        book->save();
    } catch (const WorkbookError& e) {
        return fail(kCannotCreate, e.reason());
    }
    busy.release();
    if (!show(path))
        return fail(kCannotOpen, QString());
    return path;
}

// Runs one export with its window kept busy; `run` reads the rows and calls
// writeAndShow. A database error is shown after the window is given back.
QString exportIn(QWidget* window, QPushButton* button,
                 const std::function<QString(ExportBusy&)>& run) {
    QString shown;
    guarded([&] {
        ExportBusy busy(window, button);
        shown = run(busy);
    });
    return shown;
}

} // namespace

WorkbookHandOver& workbookHandOver() {
    static WorkbookHandOver handOver;
    return handOver;
}

QString exportPriceList(QWidget* window, AppContext& ctx) {
    return exportIn(window, nullptr, [&](ExportBusy& busy) {
        Dataset rows(ctx.db(), QStringLiteral("XLS_Rep"));
        openPriceList(rows);
        return writeAndShow(
            busy, ctx.messenger, nullptr, QStringLiteral("Цены"),
            [&](SheetSink& sheet, const ExportProgress&) { layPriceList(rows, sheet); });
    });
}

QString exportSummary(QWidget* window, QPushButton* button, AppContext& ctx, const QDate& from,
                      const QDate& to, ProductKind kind) {
    return exportIn(window, button, [&](ExportBusy& busy) {
        Dataset rows(ctx.forReading().db, QStringLiteral("XLS_Rep"));
        openSummary(rows, from, to, kind);
        const QString name = QStringLiteral("Сводка %1-%2")
                                 .arg(from.toString(QStringLiteral("dd.MM.yyyy")),
                                      to.toString(QStringLiteral("dd.MM.yyyy")));
        return writeAndShow(busy, ctx.messenger, button, name,
                            [&](SheetSink& sheet, const ExportProgress& progress) {
                                laySummary(rows, sheet, progress);
                            });
    });
}

QString exportShiftTimesheet(QWidget* window, QPushButton* button, AppContext& ctx, int month,
                             int year, const QString& monthName) {
    return exportIn(window, button, [&](ExportBusy& busy) {
        Dataset rows(ctx.forReading().db, QStringLiteral("H_Tabel"));
        openShiftTimesheet(rows, month, year);
        const QString title = monthName + QLatin1Char(' ') + QString::number(year);
        return writeAndShow(busy, ctx.messenger, button,
                            QStringLiteral("Табель по сменам ") + title,
                            [&](SheetSink& sheet, const ExportProgress& progress) {
                                layShiftTimesheet(rows, title, sheet, progress);
                            });
    });
}

QString exportMonthlySheet(QWidget* window, QPushButton* button, AppContext& ctx,
                           const Dataset& sheet, sql::MonthlySheet kind, const QString& title) {
    return exportIn(window, button, [&](ExportBusy& busy) {
        return writeAndShow(busy, ctx.messenger, button, QStringLiteral("Табель ") + title,
                            [&](SheetSink& out, const ExportProgress& progress) {
                                layMonthlySheet(sheet, kind, title, out, progress);
                            });
    });
}

} // namespace tabel
