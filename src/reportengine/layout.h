#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace reportengine {

// A layout that cannot be laid out as it is written: cells that overlap or
// leave the page, an expression that does not compile.
class LayoutError : public std::runtime_error {
public:
    explicit LayoutError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// A report layout as data: the page, the grouping, the bands and their
// cells. Lengths are millimetres; x is measured from the left margin, y from
// the band's top.
//
// A cell's content always fits its cell: a number that is too wide is set
// smaller, a text that is too wide is broken into lines and its band grows
// to hold them (see TextMeasure::fit). So that nothing runs into anything
// else, the cells of a band may not overlap and must lie within the page.

enum class Align { Left, Center, Right };

struct Cell {
    double x = 0;
    double width = 0;
    // Text with expressions in square brackets: "Хоз.р.: [f_sum7]". A memo
    // that is one expression prints its value alone.
    QString memo;
    Align align = Align::Left;
    // Applies to every expression of the memo ("#0.00").
    QString mask = {};
    double y = 0;
    double height = 0; // 0: the band's height less y
    bool bold = false; // in addition to the band's boldness
    bool frame = false;
    double fontSize = 0; // points; 0: the band's
};

// A horizontal rule inside a band; it runs to the right margin when `x2` is
// not given.
struct Rule {
    double y = 0;
    double x1 = 0;
    double x2 = -1;
};

enum class BandKind {
    ReportHeader, // once, at the start
    PageHeader,   // at the top of every page (after the report header on the first)
    GroupHeader,  // when the group's value changes
    Detail,       // once per row
    GroupFooter,  // after the group's last row
    ReportFooter, // once, at the end
    PageFooter,   // at the bottom of every page
};

struct Band {
    BandKind kind = BandKind::Detail;
    int level = 0; // group level of a group header or footer, 0 outermost
    double height = 5;
    QList<Cell> cells;
    bool bold = false;
    double fontSize = 9; // points
    bool ruleAbove = false;
    bool ruleBelow = false;
    bool frame = false;
    QList<Rule> rules = {};
};

struct Layout {
    QString name;
    bool landscape = false;
    double margin = 10; // on every side of an A4 page
    // One entry per group level, outermost first: the expressions whose
    // values make up the group; a change of any of them starts a new group.
    QList<QStringList> groups;
    QList<Band> bands;
    // Decimals of a number printed without a mask, at most; zeros at the
    // end are left out.
    int defaultPlaces = 2;
};

} // namespace reportengine
