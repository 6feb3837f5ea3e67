#include "document.h"

#include "reportengine/expression.h"
#include "reportengine/fit.h"

#include <QList>
#include <algorithm>
#include <utility>
#include <variant>

namespace reportengine {

QSizeF Document::contentSize() const {
    const QSizeF a4 = landscape ? QSizeF(297, 210) : QSizeF(210, 297);
    return {a4.width() - 2 * margin, a4.height() - 2 * margin};
}

namespace {

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

constexpr double kEpsilon = 1e-6;

QRectF cellRect(const Band& band, const Cell& cell) {
    return {cell.x, cell.y, cell.width, cell.height > 0 ? cell.height : band.height - cell.y};
}

// Cells that overlap, or run over the page's edge, would print into each
// other however well each content fits its own cell.
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

// A band's texts and lines as they print, measured from the band's top.
struct LaidBand {
    double height = 0;
    QList<PlacedText> texts;
    QList<QLineF> lines;
};

} // namespace

class PageStream::Pager {
public:
    Pager(const Layout& layout, const ReportData& schema, const QLocale& locale, Sink sink,
          bool keepEveryRow)
        : layout_(layout), data_(schema.withoutRows()), locale_(locale), sink_(std::move(sink)),
          streams_(!keepEveryRow) {
        setup_.title = layout_.name;
        setup_.landscape = layout_.landscape;
        setup_.margin = layout_.margin;
        const QSizeF size = setup_.contentSize();
        width_ = size.width();
        // The compiled bands point into the layout kept here.
        for (const Band& b : std::as_const(layout_.bands)) {
            checkCells(layout_, b, width_);
            CompiledBand cb{&b, {}};
            for (const Cell& cell : b.cells)
                cb.cells.append(compileCell(cell, data_));
            bands_.append(cb);
            if (b.kind == BandKind::PageFooter)
                footerHeight_ += b.height;
        }
        bottom_ = size.height() - footerHeight_;
        for (const QStringList& level : std::as_const(layout_.groups)) {
            QList<Expression> keys;
            for (const QString& k : level)
                keys.append(Expression::compile(k, data_));
            groupKeys_.append(keys);
        }
        decideStreaming();
    }

    const Document& setup() const { return setup_; }
    bool streams() const { return streams_; }
    int pagesDone() const { return done_; }

    void add(QList<Value> row) {
        data_.addRow(std::move(row));
        const int i = data_.rowCount() - 1;
        const int levels = int(groupKeys_.size());
        QList<QStringList> keys(levels);
        for (int level = 0; level < levels; ++level)
            keys[level] = key(level, i);
        // The outermost level whose group changes at this row.
        int changed = 0;
        if (seen_ > 0)
            while (changed < levels && keys[changed] == lastKeys_[changed])
                ++changed;
        lastKeys_ = keys;
        changes_.append(changed);
        ++seen_;
        // A new outermost group: the groups before it are complete.
        if (streams_ && i > 0 && changed == 0) {
            layOutRows(i);
            data_.removeFirstRows(i);
            changes_.remove(0, i);
        }
        if (streams_) {
            const int last = data_.rowCount() - 1;
            for (const Expression* e : closingSums_)
                e->addToSums(scope(last, last, last), sums_);
        }
    }

    void finish() {
        const int n = data_.rowCount();
        if (n > 0)
            layOutRows(n);
        else
            start();
        Scope footer = scope(n - 1, 0, n - 1);
        if (streams_)
            footer.sums = &sums_;
        placeAll(BandKind::ReportFooter, -1, footer);
        finishPage();
    }

private:
    // A layout streams unless something printed before the last row needs
    // what the rows after it bring.
    void decideStreaming() {
        for (const CompiledBand& b : std::as_const(bands_))
            for (const CompiledCell& c : b.cells)
                for (const auto& part : c.parts) {
                    const auto* e = std::get_if<Expression>(&part);
                    if (!e)
                        continue;
                    const Expression::Needs needs = e->needs();
                    switch (b.band->kind) {
                    case BandKind::ReportHeader:
                    case BandKind::PageHeader:
                        streams_ = streams_ && !needs.sum;
                        break;
                    case BandKind::PageFooter:
                        streams_ = streams_ && !needs.fieldOutsideSum;
                        break;
                    case BandKind::ReportFooter:
                        streams_ = streams_ && !needs.pageInSum;
                        if (needs.sum)
                            closingSums_.append(e);
                        break;
                    default:
                        break;
                    }
                }
    }

    // The report header and the first page header, before the first row.
    void start() {
        if (started_)
            return;
        started_ = true;
        const int n = data_.rowCount();
        placeAll(BandKind::ReportHeader, -1, scope(n > 0 ? 0 : -1, 0, n - 1));
        placeAll(BandKind::PageHeader, -1, scope(n > 0 ? 0 : -1, 0, n - 1));
        pageTop_ = y_;
    }

    // Lays out the first `count` rows kept, whose groups end with them.
    void layOutRows(int count) {
        start();
        const int levels = int(groupKeys_.size());
        auto groupEnd = [&](int from, int level) {
            int j = from + 1;
            while (j < data_.rowCount() && changes_[j] > level)
                ++j;
            return j - 1;
        };
        starts_.resize(levels);
        for (int i = 0; i < count; ++i) {
            const int changed = changes_[i];
            if (i > 0)
                for (int level = levels - 1; level >= changed; --level)
                    placeAll(BandKind::GroupFooter, level, scope(i - 1, starts_[level], i - 1));
            for (int level = changed; level < levels; ++level) {
                starts_[level] = i;
                placeAll(BandKind::GroupHeader, level, scope(i, i, groupEnd(i, level)),
                         keepWithHeader(level));
            }
            placeAll(BandKind::Detail, -1, scope(i, i, i));
        }
        for (int level = levels - 1; level >= 0; --level)
            placeAll(BandKind::GroupFooter, level, scope(count - 1, starts_[level], count - 1));
    }

    QStringList key(int level, int row) const {
        QStringList k;
        for (const Expression& e : groupKeys_[level])
            k << formatValue(e.evaluate(scope(row, row, row)), {}, Decimal::kPlaces, locale_);
        return k;
    }

    Scope scope(int row, int first, int last) const {
        Scope s;
        s.data = &data_;
        s.row = row;
        s.first = first;
        s.last = last;
        s.page = pageNumber_;
        s.locale = locale_;
        return s;
    }

    // A group header is not left alone at the bottom of a page: the headers
    // of the inner groups and the first detail come onto the page with it.
    double keepWithHeader(int level) const {
        double extra = 0;
        for (const CompiledBand& b : bands_) {
            const BandKind k = b.band->kind;
            if ((k == BandKind::GroupHeader && b.band->level > level) || k == BandKind::Detail)
                extra += b.band->height;
        }
        return extra;
    }

    void placeAll(BandKind kind, int level, const Scope& s, double keep = 0) {
        for (const CompiledBand& b : bands_)
            if (b.band->kind == kind && (level < 0 || b.band->level == level))
                place(b, s, keep);
    }

    void place(const CompiledBand& b, const Scope& s, double keep) {
        Scope here = s;
        here.page = pageNumber_;
        LaidBand laid = lay(b, here);
        // A band taller than what is left goes onto the next page, unless
        // the page holds nothing yet but its headers.
        if (y_ + laid.height + keep > bottom_ + kEpsilon && y_ > pageTop_ + kEpsilon) {
            newPage(s.row);
            here.page = pageNumber_;
            laid = lay(b, here);
        }
        put(laid, y_);
        y_ += laid.height;
    }

    LaidBand lay(const CompiledBand& b, const Scope& s) {
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
                text += formatValue(v, c.mask, layout_.defaultPlaces, locale_);
            }
            PlacedText t;
            t.rect = cellRect(band, cell);
            t.text = text;
            t.align = cell.align;
            t.bold = band.bold || cell.bold;
            t.frame = cell.frame;
            t.number = number;
            const FittedText fitted =
                measure_.fit(text, cell.width, cell.fontSize > 0 ? cell.fontSize : band.fontSize,
                             t.bold, number);
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

    void put(const LaidBand& laid, double top) {
        for (PlacedText t : laid.texts) {
            t.rect.translate(0, top);
            page_.texts.append(t);
        }
        for (const QLineF& l : laid.lines)
            page_.lines.append(l.translated(0, top));
    }

    void newPage(int row) {
        finishPage();
        ++pageNumber_;
        y_ = 0;
        pageTop_ = 0;
        placeAll(BandKind::PageHeader, -1, scope(row, row, row));
        pageTop_ = y_;
    }

    // The page footer, then the page to the sink. A footer reads no field
    // unless every row is kept (see decideStreaming), and then the last.
    void finishPage() {
        double top = bottom_;
        const int last = data_.rowCount() - 1;
        for (const CompiledBand& b : bands_)
            if (b.band->kind == BandKind::PageFooter) {
                const LaidBand laid = lay(b, scope(last, 0, -1));
                put(laid, top);
                top += laid.height;
            }
        ++done_;
        sink_(std::move(page_));
        page_ = Page{};
    }

    const Layout layout_;
    ReportData data_; // the rows kept: those of the current outermost group
    QLocale locale_;
    Sink sink_;
    TextMeasure measure_;
    Document setup_;
    Page page_;
    int pageNumber_ = 1;
    int done_ = 0;
    QList<CompiledBand> bands_;
    QList<QList<Expression>> groupKeys_;
    bool streams_ = true;
    bool started_ = false;
    int seen_ = 0;
    QList<QStringList> lastKeys_;
    QList<int> changes_; // per row kept: the outermost level whose group changes there
    QList<int> starts_;  // per level: the row kept its current group starts at
    RunningSums sums_;
    QList<const Expression*> closingSums_; // the report footer's expressions with a SUM()
    double width_ = 0;
    double bottom_ = 0;
    double footerHeight_ = 0;
    double y_ = 0;
    double pageTop_ = 0;
};

PageStream::PageStream(const Layout& layout, const ReportData& schema, const QLocale& locale,
                       Sink sink, bool keepEveryRow)
    : pager_(std::make_unique<Pager>(layout, schema, locale, std::move(sink), keepEveryRow)) {}

PageStream::~PageStream() = default;

const Document& PageStream::setup() const {
    return pager_->setup();
}

bool PageStream::streams() const {
    return pager_->streams();
}

void PageStream::add(QList<Value> row) {
    pager_->add(std::move(row));
}

void PageStream::finish() {
    pager_->finish();
}

int PageStream::pagesDone() const {
    return pager_->pagesDone();
}

Document layOut(const Layout& layout, const ReportData& data, const QLocale& locale) {
    Document doc;
    PageStream stream(layout, data, locale,
                      [&doc](Page&& page) { doc.pages.append(std::move(page)); });
    doc = stream.setup();
    for (int i = 0; i < data.rowCount(); ++i)
        stream.add(data.row(i));
    stream.finish();
    return doc;
}

} // namespace reportengine
