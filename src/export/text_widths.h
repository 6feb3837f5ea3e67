#pragma once

#include <QFont>
#include <QHash>
#include <QString>
#include <memory>

class QFontMetricsF;

namespace tabel {

// How wide a spreadsheet application draws a text in a cell of its default
// font, Calibri 11 pt at 96 dots per inch. Carlito has Calibri's widths and is
// what is measured when it is installed; without it the nearest font the
// font database offers stands in. Like the spreadsheet, which lays a cell's
// text out on the screen's pixel grid, every character advances by a whole
// number of pixels (a digit by 7) and nothing is kerned.
//
// Measuring needs the font database of a QGuiApplication (tabel-batch runs
// one on the offscreen platform). Without one, a text counts the width of a
// digit per character, which the spreadsheet's own width unit is made of.
class TextWidths {
public:
    TextWidths();
    ~TextWidths();

    // The text's advance in pixels.
    int pixels(const QString& text, bool bold) const;

    // The width in pixels that fits a column to its widest text, with the
    // margin a spreadsheet's own fitting leaves.
    static int columnPixels(int widestText);

private:
    std::unique_ptr<QFontMetricsF> regular_;
    std::unique_ptr<QFontMetricsF> bold_;
    mutable QHash<char32_t, int> advances_[2];
};

} // namespace tabel
