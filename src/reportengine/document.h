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
#include <functional>
#include <memory>

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

// The same pages as layOut, laid out while the rows are still coming: rows
// are added one at a time, in the order they print, and each page is handed
// to `sink` as soon as nothing more can go onto it. Only the rows of the
// current outermost group are kept (a group header may print what its
// group's last row brings); the report footer's sums are carried along as
// the rows go by. A layout that needs every row before its first page (a
// sum in the report header or the page header, a field in the page footer,
// which reads the report's last row) keeps every row and hands its pages
// over at the end.
class PageStream {
public:
    using Sink = std::function<void(Page&& page)>;

    // `schema`: the fields and variables the rows come with; its rows, if
    // any, are not laid out. With `keepEveryRow`, the pages are laid out as
    // for a layout that cannot stream. Throws what layOut throws for the
    // layout.
    PageStream(const Layout& layout, const ReportData& schema, const QLocale& locale, Sink sink,
               bool keepEveryRow = false);
    ~PageStream();
    PageStream(const PageStream&) = delete;
    PageStream& operator=(const PageStream&) = delete;

    // The document's title and page set-up, without pages.
    const Document& setup() const;
    // False when the layout keeps every row before its first page.
    bool streams() const;

    // A row's values in the order of the schema's fields.
    void add(QList<Value> row);
    // No more rows: the rest of the pages go to the sink.
    void finish();
    // Pages handed over so far.
    int pagesDone() const;

private:
    class Pager;
    std::unique_ptr<Pager> pager_;
};

} // namespace reportengine
