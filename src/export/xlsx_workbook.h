#pragma once

#include "export/sheet_layouts.h"
#include "export/text_widths.h"

#include <QMap>
#include <QString>
#include <functional>
#include <stdexcept>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace tabel {

// A workbook that could not be written, with the reason in the user's words.
class WorkbookError : public std::runtime_error {
public:
    explicit WorkbookError(const QString& reason)
        : std::runtime_error(reason.toStdString()), reason_(reason) {}
    QString reason() const { return reason_; }

private:
    QString reason_;
};

// An .xlsx file of one sheet, written with libxlsxwriter.
//
// The file appears at its path only when it is complete: the workbook is
// written to a hidden file beside it, which replaces the path at the end and
// is removed when anything fails, so a full disk or an unwritable folder
// never leaves half a workbook where the user would look for it.
//
// Fitted columns get the width of their widest fitted cell (libxlsxwriter
// cannot fit columns itself); the others keep the default width.
class XlsxWorkbook : public SheetSink {
public:
    // Claims the hidden file at once, so that an unwritable place is known
    // before any row is laid out. Throws WorkbookError.
    explicit XlsxWorkbook(const QString& path);
    ~XlsxWorkbook() override;
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    void writeText(int row, int column, const QString& text, CellStyle style) override;
    // Text that is no decimal number is written as text.
    void writeNumber(int row, int column, const QString& decimal, CellStyle style) override;

    // A cell the library refused (a text beyond the 32,767 characters a cell
    // holds, say); the workbook goes on without it.
    std::function<void(int row, int column)> onCellError;

    // Writes the file and puts it at its path. Throws WorkbookError.
    void save();

    QString path() const { return path_; }

private:
    lxw_format* format(CellStyle style);
    void fit(int column, const QString& shown, CellStyle style);
    void check(int result, int row, int column);
    void discard() noexcept;

    QString path_;
    QString partPath_;
    lxw_workbook* workbook_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* formats_[4] = {};
    TextWidths widths_;
    QMap<int, int> widest_; // fitted columns from 1: widest text in pixels
};

} // namespace tabel
