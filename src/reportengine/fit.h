#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>

class QImage;

namespace reportengine {

// The typefaces the engine asks for, in order: one that has Cyrillic letters
// on every desktop (DejaVu Sans on Linux, Arial on Windows and macOS).
QStringList fontFamilies();

// The report's font in a size (points), bold or not.
QFont reportFont(double pointSize, bool bold);

// The air between a cell's edge and its text, on the left and on the right,
// in millimetres.
constexpr double kCellPadding = 0.5;

// How a cell's content is printed: the lines it is broken into and the size
// they are set in.
struct FittedText {
    QStringList lines;
    double fontSize = 9;
    double lineHeight = 0; // millimetres, from one line's top to the next one's
    double height() const { return lines.size() * lineHeight; }
};

// Measures texts as the pages print them, in millimetres, at a resolution
// fine enough that the widths hold on any printer; remembers the widths it
// has measured, since a report prints the same numbers and names many times.
class TextMeasure {
public:
    TextMeasure();
    ~TextMeasure();
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    double width(const QString& text, double pointSize, bool bold);
    double lineHeight(double pointSize, bool bold);

    // Fits a cell's content into `width` millimetres (the cell's, padding
    // included), so that nothing is cut and nothing runs into a neighbour:
    // - a number stays on one line, set smaller as far as it takes;
    // - a text is broken into lines where a line may break (after blanks
    //   and hyphens); a word wider than the cell sets the whole text
    //   smaller, down to 70 % of its size, and below that it is broken
    //   between its letters.
    FittedText fit(const QString& text, double width, double pointSize, bool bold, bool number);

private:
    struct Face {
        QFontMetricsF metrics;
        QHash<QString, double> widths;
    };
    Face& face(double pointSize, bool bold);
    QStringList wrap(const QString& text, double width, double pointSize, bool bold,
                     double* widest);

    std::unique_ptr<QImage> device_;
    std::map<std::pair<double, bool>, Face> faces_;
};

} // namespace reportengine
