#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace tabel::test {

// The text of a PDF file as `pdftotext -layout` reads it, one entry per
// page, every run of blanks within a line made one blank.
inline QStringList pdfPages(const QString& file) {
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    p.waitForFinished(60000);
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    QStringList pages = text.split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    static const QRegularExpression blanks("[ \\t]+");
    for (QString& page : pages) {
        QStringList lines = page.split(QLatin1Char('\n'));
        for (QString& line : lines)
            line = line.replace(blanks, " ").trimmed();
        lines.removeAll(QString());
        page = lines.join(QLatin1Char('\n'));
    }
    return pages;
}

} // namespace tabel::test
