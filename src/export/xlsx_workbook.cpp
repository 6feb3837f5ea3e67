#include "xlsx_workbook.h"

#include "db/numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

namespace tabel {

namespace {

// Why a file could not be written, from the system's error number.
QString why(int error, const QString& path) {
    const QString folder = QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("на диске нет места");
    case EFBIG:
        return QStringLiteral("файл больше, чем разрешено записать");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав на запись в папку «%1»").arg(folder);
    case ENOENT:
        return QStringLiteral("папки «%1» нет").arg(folder);
    case ENOTDIR:
        return QStringLiteral("«%1» — не папка").arg(folder);
    case EROFS:
        return QStringLiteral("диск только для чтения");
    case EISDIR:
        return QStringLiteral("на месте файла папка с тем же именем");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

QString failure(const QString& path, const QString& reason) {
    return QStringLiteral("Файл «%1» не записан: %2.").arg(QDir::toNativeSeparators(path), reason);
}

// libxlsxwriter tells of a failure twice: in its result, which the workbook
// turns into the user's words, and as "[ERROR]" lines on the standard error,
// which would land in a scheduled job's output beside the job's own message.
// The library's lines go nowhere while it opens or writes out a workbook
// (the calls that print); the standard error is back as it was afterwards.
class LibraryQuiet {
public:
    LibraryQuiet() {
        std::fflush(stderr);
        saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && nowhere >= 0)
            ::dup2(nowhere, STDERR_FILENO);
        if (nowhere >= 0)
            ::close(nowhere);
    }
    ~LibraryQuiet() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    LibraryQuiet(const LibraryQuiet&) = delete;
    LibraryQuiet& operator=(const LibraryQuiet&) = delete;

private:
    int saved_ = -1;
};

bool isDecimal(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    return re.match(text).hasMatch();
}

} // namespace

XlsxWorkbook::XlsxWorkbook(const QString& path) : path_(QFileInfo(path).absoluteFilePath()) {
    const QFileInfo target(path_);
    // Hidden beside the target, so that the final rename stays on one disk.
    for (int attempt = 0;; ++attempt) {
        const QString part =
            target.absolutePath() + QStringLiteral("/.") + target.fileName() +
            QStringLiteral(".%1.part")
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const int fd =
            ::open(QFile::encodeName(part).constData(), O_CREAT | O_EXCL | O_WRONLY, 0666);
        if (fd >= 0) {
            ::close(fd);
            partPath_ = part;
            break;
        }
        if (errno != EEXIST || attempt > 100)
            throw WorkbookError(failure(path_, why(errno, path_)));
    }
    {
        const LibraryQuiet quiet;
        workbook_ = workbook_new(QFile::encodeName(partPath_).constData());
        if (workbook_)
            sheet_ = workbook_add_worksheet(workbook_, "Лист1");
    }
    if (!sheet_) {
        discard();
        throw WorkbookError(failure(path_, why(ENOMEM, path_)));
    }
}

XlsxWorkbook::~XlsxWorkbook() {
    discard();
}

void XlsxWorkbook::discard() noexcept {
    if (workbook_) {
        lxw_workbook_free(workbook_);
        workbook_ = nullptr;
        sheet_ = nullptr;
    }
    if (!partPath_.isEmpty()) {
        QFile::remove(partPath_);
        partPath_.clear();
    }
}

lxw_format* XlsxWorkbook::format(CellStyle style) {
    const int which = (style.textFormat ? 1 : 0) + (style.bold ? 2 : 0);
    if (which == 0)
        return nullptr;
    if (!formats_[which]) {
        lxw_format* f = workbook_add_format(workbook_);
        if (style.textFormat)
            format_set_num_format(f, "@");
        if (style.bold)
            format_set_bold(f);
        formats_[which] = f;
    }
    return formats_[which];
}

void XlsxWorkbook::check(int result, int row, int column) {
    if (result != LXW_NO_ERROR && onCellError)
        onCellError(row, column);
}

void XlsxWorkbook::fit(int column, const QString& shown, CellStyle style) {
    if (!style.fit)
        return;
    const int w = widths_.pixels(shown, style.bold);
    int& widest = widest_[column];
    widest = std::max(widest, w);
}

void XlsxWorkbook::writeText(int row, int column, const QString& text, CellStyle style) {
    const lxw_error result = worksheet_write_string(sheet_, row - 1, column - 1,
                                                    text.toUtf8().constData(), format(style));
    check(result, row, column);
    if (result == LXW_NO_ERROR)
        fit(column, text, style);
}

void XlsxWorkbook::writeNumber(int row, int column, const QString& decimal, CellStyle style) {
    const QString t = decimal.trimmed();
    bool ok = isDecimal(t);
    // The nearest double to the exact decimal: what the spreadsheet would
    // make of the same digits typed in.
    const double value = ok ? t.toDouble(&ok) : 0;
    if (!ok) {
        writeText(row, column, decimal, style);
        return;
    }
    const lxw_error result =
        worksheet_write_number(sheet_, row - 1, column - 1, value, format(style));
    check(result, row, column);
    if (result == LXW_NO_ERROR)
        fit(column, QString(plainDecimal(t)).replace(QLatin1Char('.'), QLocale().decimalPoint()),
            style);
}

void XlsxWorkbook::save() {
    for (auto it = widest_.cbegin(); it != widest_.cend(); ++it)
        worksheet_set_column_pixels(sheet_, it.key() - 1, it.key() - 1,
                                    TextWidths::columnPixels(it.value()), nullptr);
    lxw_error result;
    int error;
    {
        const LibraryQuiet quiet;
        errno = 0;
        result = workbook_close(workbook_);
        error = errno;
    }
    workbook_ = nullptr; // closed and freed, whatever the result
    sheet_ = nullptr;
    if (result != LXW_NO_ERROR) {
        const QString reason =
            error != 0 ? why(error, path_) : QString::fromUtf8(lxw_strerror(result));
        discard();
        throw WorkbookError(failure(path_, reason));
    }
    if (std::rename(QFile::encodeName(partPath_).constData(),
                    QFile::encodeName(path_).constData()) != 0) {
        const int renameError = errno;
        discard();
        throw WorkbookError(failure(path_, why(renameError, path_)));
    }
    partPath_.clear();
}

} // namespace tabel
