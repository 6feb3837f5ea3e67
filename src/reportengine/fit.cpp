#include "fit.h"

#include <QImage>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>

namespace reportengine {

namespace {

// Widths are measured as on a 1200 dpi printer: hinting no longer moves
// them there, so a PDF or a printer of any resolution sets the text as wide
// as measured.
constexpr int kDotsPerInch = 1200;
constexpr double kMillimetresPerDot = 25.4 / kDotsPerInch;

// Texts are set smaller in steps of a quarter point, so that a report uses
// few sizes.
constexpr double kStep = 0.25;
// A word is set no smaller than this part of its cell's size; a word that
// still does not fit is broken between its letters.
constexpr double kSmallestWord = 0.7;
// The widths remembered per size, at most: a month's report has fewer
// distinct numbers and names than this, and breaking lines measures
// throwaway texts. A year's has more: the widths are then forgotten and
// remembered anew, so that the names and numbers still printing stay known
// and the memory stays that of a month.
constexpr qsizetype kRemembered = 50000;

double stepDown(double size) {
    return std::max(kStep, std::floor(size / kStep) * kStep);
}

QString withoutTrailingBlanks(const QString& s) {
    qsizetype end = s.size();
    while (end > 0 && s[end - 1].isSpace())
        --end;
    return s.left(end);
}

} // namespace

QStringList fontFamilies() {
    return {QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"),
            QStringLiteral("Liberation Sans")};
}

QFont reportFont(double pointSize, bool bold) {
    QFont font;
    font.setFamilies(fontFamilies());
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

TextMeasure::TextMeasure() : device_(std::make_unique<QImage>(1, 1, QImage::Format_Mono)) {
    const int dotsPerMetre = qRound(kDotsPerInch / 0.0254);
    device_->setDotsPerMeterX(dotsPerMetre);
    device_->setDotsPerMeterY(dotsPerMetre);
}

TextMeasure::~TextMeasure() = default;

TextMeasure::Face& TextMeasure::face(double pointSize, bool bold) {
    const auto key = std::make_pair(pointSize, bold);
    auto it = faces_.find(key);
    if (it == faces_.end())
        it =
            faces_.emplace(key, Face{QFontMetricsF(reportFont(pointSize, bold), device_.get()), {}})
                .first;
    return it->second;
}

double TextMeasure::width(const QString& text, double pointSize, bool bold) {
    Face& f = face(pointSize, bold);
    const auto known = f.widths.constFind(text);
    if (known != f.widths.constEnd())
        return known.value();
    const double w = f.metrics.horizontalAdvance(text) * kMillimetresPerDot;
    if (f.widths.size() >= kRemembered)
        f.widths.clear();
    f.widths.insert(text, w);
    return w;
}

double TextMeasure::lineHeight(double pointSize, bool bold) {
    return face(pointSize, bold).metrics.lineSpacing() * kMillimetresPerDot;
}

QStringList TextMeasure::wrap(const QString& text, double room, double pointSize, bool bold,
                              double* widest) {
    QStringList lines;
    *widest = 0;
    const auto finish = [&](const QString& line) {
        const QString l = withoutTrailingBlanks(line);
        *widest = std::max(*widest, width(l, pointSize, bold));
        lines << l;
    };
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    QString line;
    qsizetype from = 0;
    while (breaks.toNextBoundary() != -1) {
        const qsizetype at = breaks.position();
        if (at <= from)
            continue;
        const QString piece = text.mid(from, at - from);
        from = at;
        const QString longer = line + piece;
        if (!line.isEmpty() && width(withoutTrailingBlanks(longer), pointSize, bold) > room) {
            finish(line);
            line = piece;
        } else {
            line = longer;
        }
        if (breaks.boundaryReasons() & QTextBoundaryFinder::MandatoryBreak) {
            finish(line);
            line.clear();
        }
    }
    if (!line.isEmpty() || lines.isEmpty())
        finish(line);
    return lines;
}

FittedText TextMeasure::fit(const QString& text, double cellWidth, double pointSize, bool bold,
                            bool number) {
    const double room = cellWidth - 2 * kCellPadding;
    FittedText r;
    r.fontSize = pointSize;
    r.lines = QStringList{text};
    if (text.isEmpty() || room <= 0 ||
        (width(text, pointSize, bold) <= room && !text.contains(QLatin1Char('\n')))) {
        r.lineHeight = lineHeight(pointSize, bold);
        return r;
    }
    if (number) {
        // Digits cannot be broken: the number is set as small as it takes.
        double size = stepDown(pointSize * room / width(text, pointSize, bold));
        while (size > kStep && width(text, size, bold) > room)
            size -= kStep;
        r.fontSize = size;
        r.lineHeight = lineHeight(size, bold);
        return r;
    }
    double widest = 0;
    double size = pointSize;
    r.lines = wrap(text, room, size, bold, &widest);
    if (widest > room) {
        // A word wider than the cell: the text is set smaller until the
        // word fits, within a limit.
        const double smallest = std::min(pointSize, stepDown(pointSize * kSmallestWord));
        size = std::max(smallest, stepDown(size * room / widest));
        for (;;) {
            r.lines = wrap(text, room, size, bold, &widest);
            if (widest <= room || size <= smallest)
                break;
            size = std::max(smallest, size - kStep);
        }
    }
    if (widest > room) {
        // Still too wide at the smallest size: broken between letters.
        QStringList broken;
        for (const QString& line : std::as_const(r.lines)) {
            if (width(line, size, bold) <= room) {
                broken << line;
                continue;
            }
            QTextBoundaryFinder letters(QTextBoundaryFinder::Grapheme, line);
            QString part;
            qsizetype from = 0;
            while (letters.toNextBoundary() != -1) {
                const qsizetype at = letters.position();
                if (at <= from)
                    continue;
                const QString letter = line.mid(from, at - from);
                from = at;
                if (!part.isEmpty() && width(part + letter, size, bold) > room) {
                    broken << part;
                    part = letter;
                } else {
                    part += letter;
                }
            }
            broken << part;
        }
        r.lines = broken;
    }
    r.fontSize = size;
    r.lineHeight = lineHeight(size, bold);
    return r;
}

} // namespace reportengine
