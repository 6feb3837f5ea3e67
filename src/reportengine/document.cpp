#include "document.h"

#include "reportengine/band.h"

#include <QList>
#include <utility>
#include <variant>

namespace reportengine {

QSizeF Document::contentSize() const {
    const QSizeF a4 = landscape ? QSizeF(297, 210) : QSizeF(210, 297);
    return {a4.width() - 2 * margin, a4.height() - 2 * margin};
}

namespace {

Document setupOf(const Layout& layout) {
    Document setup;
    setup.title = layout.name;
    setup.landscape = layout.landscape;
    setup.margin = layout.margin;
    return setup;
}

} // namespace

class PageStream::Pager {
public:
    Pager(const Layout& layout, const ReportData& schema, const QLocale& locale, Sink sink,
          bool keepEveryRow)
        : layout_(layout), data_(schema.withoutRows()), locale_(locale), sink_(std::move(sink)),
          setup_(setupOf(layout)),
          bandLayer_(layout.defaultPlaces, locale, setup_.contentSize().width()),
          streams_(!keepEveryRow) {
        const QSizeF size = setup_.contentSize();
        width_ = size.width();
        // The compiled bands point into the layout kept here.
        for (const Band& b : std::as_const(layout_.bands)) {
            checkCells(layout_, b, width_);
            bands_.append(compileBand(b, data_));
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
        LaidBand laid = bandLayer_.lay(b, here);
        // A band taller than what is left goes onto the next page, unless
        // the page holds nothing yet but its headers.
        if (y_ + laid.height + keep > bottom_ + kEpsilon && y_ > pageTop_ + kEpsilon) {
            newPage(s.row);
            here.page = pageNumber_;
            laid = bandLayer_.lay(b, here);
        }
        put(laid, y_);
        y_ += laid.height;
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
                const LaidBand laid = bandLayer_.lay(b, scope(last, 0, -1));
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
    Document setup_;
    BandLayer bandLayer_;
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
