#include "band.h"

#include <algorithm>
#include <utility>

namespace reportengine {

namespace {

// The position of the ']' that closes the '[' at `open`, skipping quoted
// texts and nested brackets; -1 when there is none.
qsizetype closingBracket(const QString& memo, qsizetype open) {
    int depth = 0;
    bool quoted = false;
    for (qsizetype i = open; i < memo.size(); ++i) {
        const QChar c = memo[i];
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('['))
            ++depth;
        else if (!quoted && c == QLatin1Char(']') && --depth == 0)
            return i;
    }
    return -1;
}

CompiledCell compileCell(const Cell& cell, const ReportData& data) {
    CompiledCell c{&cell, {}, Mask::parse(cell.mask)};
    qsizetype from = 0;
    while (from < cell.memo.size()) {
        const qsizetype open = cell.memo.indexOf(QLatin1Char('['), from);
        const qsizetype close = open < 0 ? -1 : closingBracket(cell.memo, open);
        if (open < 0 || close < 0) {
            c.parts.append(cell.memo.mid(from));
            break;
        }
        if (open > from)
            c.parts.append(cell.memo.mid(from, open - from));
        c.parts.append(Expression::compile(cell.memo.mid(open + 1, close - open - 1), data));
        from = close + 1;
    }
    return c;
}

QRectF cellRect(const Band& band, const Cell& cell) {
    return {cell.x, cell.y, cell.width, cell.height > 0 ? cell.height : band.height - cell.y};
}

// How far each height of a band moves down when cells of the band grow to
// hold more lines. A cell that grows pushes down what lies below its bottom;
// the cells beside it stretch with it, so that a row of framed cells stays
// one row.
class Growth {
public:
    struct Span {
        double top = 0;
        double bottom = 0;
        double extra = 0; // how much taller the cell must be
    };

    explicit Growth(QList<Span> spans) {
        std::sort(spans.begin(), spans.end(),
                  [](const Span& a, const Span& b) { return a.bottom < b.bottom; });
        for (const Span& c : spans) {
            if (c.bottom <= c.top + kEpsilon)
                continue;
            // Its top has moved with what lies above; its bottom must lie
            // `extra` lower still, and never above a bottom further up.
            const double shift = std::max(at(c.top) + c.extra, total());
            if (!steps_.isEmpty() && steps_.last().first > c.bottom - kEpsilon)
                steps_.last().second = std::max(steps_.last().second, shift);
            else
                steps_.append({c.bottom, shift});
        }
    }

    // The shift of a point `y` of the band as it was laid out.
    double at(double y) const {
        double shift = 0;
        for (const auto& [bottom, s] : steps_) {
            if (bottom > y + kEpsilon)
                break;
            shift = s;
        }
        return shift;
    }

    double total() const { return steps_.isEmpty() ? 0 : steps_.last().second; }

private:
    QList<std::pair<double, double>> steps_; // cell bottoms, each with its shift
};

} // namespace

CompiledBand compileBand(const Band& band, const ReportData& data) {
    CompiledBand cb{&band, {}};
    for (const Cell& cell : band.cells)
        cb.cells.append(compileCell(cell, data));
    return cb;
}

void checkCells(const Layout& layout, const Band& band, double pageWidth) {
    for (qsizetype i = 0; i < band.cells.size(); ++i) {
        const Cell& a = band.cells[i];
        if (a.memo.isEmpty())
            continue;
        const QRectF ra = cellRect(band, a);
        if (ra.left() < -kEpsilon || ra.right() > pageWidth + kEpsilon)
            throw LayoutError(QStringLiteral("Макет «%1»: ячейка «%2» выходит за край страницы")
                                  .arg(layout.name, a.memo));
        for (qsizetype j = i + 1; j < band.cells.size(); ++j) {
            const Cell& b = band.cells[j];
            const QRectF both = ra.intersected(cellRect(band, b));
            if (!b.memo.isEmpty() && both.width() > kEpsilon && both.height() > kEpsilon)
                throw LayoutError(QStringLiteral("Макет «%1»: ячейки «%2» и «%3» перекрываются")
                                      .arg(layout.name, a.memo, b.memo));
        }
    }
}

LaidBand BandLayer::lay(const CompiledBand& b, const Scope& s) {
    const Band& band = *b.band;
    LaidBand laid;
    QList<Growth::Span> spans;
    bool grows = false;
    for (const CompiledCell& c : b.cells) {
        const Cell& cell = *c.cell;
        QString text;
        bool number = c.parts.size() == 1;
        for (const auto& part : c.parts) {
            if (const auto* literal = std::get_if<QString>(&part)) {
                text += *literal;
                number = false;
                continue;
            }
            const Value v = std::get<Expression>(part).evaluate(s);
            number = number && v.isNumber();
            text += formatValue(v, c.mask, defaultPlaces_, locale_);
        }
        PlacedText t;
        t.rect = cellRect(band, cell);
        t.text = text;
        t.align = cell.align;
        t.bold = band.bold || cell.bold;
        t.frame = cell.frame;
        t.number = number;
        const FittedText fitted = measure_.fit(
            text, cell.width, cell.fontSize > 0 ? cell.fontSize : band.fontSize, t.bold, number);
        t.lines = fitted.lines;
        t.fontSize = fitted.fontSize;
        // One line stays as the layout has it, even in a cell lower than
        // the line; more lines need their height.
        const double extra =
            fitted.lines.size() > 1 ? std::max(0.0, fitted.height() - t.rect.height()) : 0;
        grows = grows || extra > kEpsilon;
        spans.append({t.rect.top(), t.rect.bottom(), extra});
        laid.texts.append(t);
    }
    const Growth growth(grows ? spans : QList<Growth::Span>{});
    if (grows)
        for (PlacedText& t : laid.texts) {
            const double top = t.rect.top() + growth.at(t.rect.top());
            const double bottom = t.rect.bottom() + growth.at(t.rect.bottom());
            t.rect.setTop(top);
            t.rect.setBottom(bottom);
        }
    laid.height = band.height + growth.total();
    const QRectF whole(0, 0, width_, laid.height);
    if (band.frame) {
        laid.lines << QLineF(whole.topLeft(), whole.topRight())
                   << QLineF(whole.bottomLeft(), whole.bottomRight())
                   << QLineF(whole.topLeft(), whole.bottomLeft())
                   << QLineF(whole.topRight(), whole.bottomRight());
    }
    if (band.ruleAbove)
        laid.lines << QLineF(whole.topLeft(), whole.topRight());
    if (band.ruleBelow)
        laid.lines << QLineF(whole.bottomLeft(), whole.bottomRight());
    for (const Rule& r : band.rules) {
        const double y = r.y + growth.at(r.y);
        laid.lines << QLineF(r.x1, y, r.x2 < 0 ? width_ : r.x2, y);
    }
    return laid;
}

} // namespace reportengine
