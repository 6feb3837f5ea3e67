#pragma once

// One band laid out by itself: its memos compiled once, then, for each scope
// it prints in, its texts evaluated, fitted to their cells, and the band
// grown by the lines they need. Where bands go on the pages is the pager's
// part (document.cpp). Only the engine includes this.

#include "reportengine/document.h"
#include "reportengine/expression.h"
#include "reportengine/fit.h"

#include <QLocale>
#include <variant>

namespace reportengine {

inline constexpr double kEpsilon = 1e-6;

// A memo cut into its literal texts and its expressions.
struct CompiledCell {
    const Cell* cell;
    QList<std::variant<QString, Expression>> parts;
    Mask mask;
};

struct CompiledBand {
    const Band* band;
    QList<CompiledCell> cells;
};

// The band's cells compiled against the fields and variables of `data`.
// Throws ExpressionError for a name that `data` lacks.
CompiledBand compileBand(const Band& band, const ReportData& data);

// Cells that overlap, or run over the page's edge, would print into each
// other however well each content fits its own cell: throws LayoutError.
void checkCells(const Layout& layout, const Band& band, double pageWidth);

// A band's texts and lines as they print, measured from the band's top.
struct LaidBand {
    double height = 0;
    QList<PlacedText> texts;
    QList<QLineF> lines;
};

class BandLayer {
public:
    // `width`: the printable width of the page, which frames and rules span.
    BandLayer(int defaultPlaces, const QLocale& locale, double width)
        : defaultPlaces_(defaultPlaces), locale_(locale), width_(width) {}

    LaidBand lay(const CompiledBand& b, const Scope& s);

private:
    int defaultPlaces_;
    QLocale locale_;
    double width_;
    TextMeasure measure_;
};

} // namespace reportengine
