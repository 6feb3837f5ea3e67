#pragma once

#include "reportengine/layout.h"
#include "reportengine/report_data.h"

#include <QLineF>
#include <QList>
#include <QLocale>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace reportengine {

// A report laid out on pages, ready to paint on any device: every text with
// its place, in millimetres from the top left corner of the page's printable
// area (inside the margins).
struct PlacedText {
    QRectF rect;
    QString text;
    // The text as it fits the cell's width: one line, or a text broken
    // into lines, each no wider than the cell.
    QStringList lines;
    Align align = Align::Left;
    bool bold = false;
    double fontSize = 9; // the cell's, or smaller where that made it fit
    bool frame = false;
    bool number = false; // the cell's one value is a number: never broken
};

struct Page {
    QList<PlacedText> texts;
    QList<QLineF> lines;
};

struct Document {
    QString title;
    bool landscape = false;
    double margin = 10;
    QList<Page> pages;

    // The printable area of an A4 page inside the margins, in millimetres.
    QSizeF contentSize() const;
};

// Lays the rows out on pages: report header, page headers, the groups with
// their headers and footers, the details, the report footer, and the page
// footer at the bottom of every page, the last included. A report without
// rows still prints its headers, its footers and its page. Sums in a group's
// bands run over the group's rows, in the report's header and footer over
// all rows; a field outside a detail reads the group's first row in a header
// and its last row in a footer. Every cell's content is fitted to its cell
// (see layout.h); a band grows by the lines its texts need.
// Throws LayoutError for cells that overlap or leave the page, and its
// ExpressionError when a cell or a group names what `data` lacks.
Document layOut(const Layout& layout, const ReportData& data, const QLocale& locale = QLocale());

} // namespace reportengine
