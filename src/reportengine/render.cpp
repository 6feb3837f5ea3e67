#include "render.h"

#include "reportengine/fit.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPageLayout>
#include <QPageRanges>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <QTextLayout>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace reportengine {

void applyPageSetup(const Document& doc, QPagedPaintDevice* device) {
    const QPageLayout layout(
        QPageSize(QPageSize::A4), doc.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(doc.margin, doc.margin, doc.margin, doc.margin), QPageLayout::Millimeter);
    device->setPageLayout(layout);
}

namespace {

int alignmentFlags(Align a) {
    switch (a) {
    case Align::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

class PagePainter {
public:
    // `shapeOnce`: lines are shaped once and set as glyphs. Only for a
    // device that keeps glyphs as text (the PDF writer): a preview records
    // glyphs without their text as outlines.
    explicit PagePainter(QPagedPaintDevice* device, bool shapeOnce = false)
        : device_(device), dotsX_(device->logicalDpiX() / 25.4),
          dotsY_(device->logicalDpiY() / 25.4), shapeOnce_(shapeOnce) {}

    QPointF at(const QPointF& mm) const { return {mm.x() * dotsX_, mm.y() * dotsY_}; }
    QRectF at(const QRectF& mm) const { return {at(mm.topLeft()), at(mm.bottomRight())}; }

    void paintPage(QPainter& p, const Page& page) {
        QPen pen(Qt::black);
        pen.setWidthF(0.25 * dotsX_);
        p.setPen(pen);
        for (const QLineF& l : page.lines)
            p.drawLine(QLineF(at(l.p1()), at(l.p2())));
        const Face* current = nullptr;
        for (const PlacedText& t : page.texts) {
            const QRectF r = at(t.rect);
            if (t.frame)
                p.drawRect(r);
            const QStringList& lines = t.lines.isEmpty() ? QStringList{t.text} : t.lines;
            if (lines.size() == 1 && lines[0].isEmpty())
                continue;
            Face& face = faceFor(t.fontSize, t.bold);
            if (current != &face && p.font() != face.font)
                p.setFont(face.font);
            current = &face;
            // A little air between a frame or a neighbour and the text.
            const QRectF inner = r.adjusted(kCellPadding * dotsX_, 0, -kCellPadding * dotsX_, 0);
            // One line is centred in the cell; several are centred as a
            // block, a line's spacing apart.
            const double step = lines.size() == 1 ? inner.height() : face.metrics.lineSpacing();
            double top = inner.center().y() - step * lines.size() / 2;
            for (const QString& line : lines) {
                drawLine(p, face, QRectF(inner.left(), top, inner.width(), step), line, t.align);
                top += step;
            }
        }
        // The glyphs of a page set at once, one run per font: each run
        // costs the PDF its own text object.
        for (Batch& b : batches_) {
            if (b.glyphs.isEmpty())
                continue;
            QGlyphRun run;
            run.setRawFont(b.font);
            run.setGlyphIndexes(b.glyphs);
            run.setPositions(b.positions);
            p.drawGlyphRun(QPointF(0, 0), run);
            b.glyphs.clear();
            b.positions.clear();
        }
    }

private:
    // A line as the painter sets it in a rectangle (a single line, its
    // trailing blanks included, on the device's own metrics): its glyphs
    // with their places from the line's origin, and its measures.
    struct Shaped {
        QList<QGlyphRun> runs;
        QList<qsizetype> batches; // per run: its font's batch, once known
        double height = 0;
        double advance = 0;
    };

    struct Face {
        QFont font;
        QFontMetricsF metrics;
        // A report prints the same numbers and names many times over:
        // each is measured and shaped once.
        QHash<QString, double> widths;
        QHash<QString, Shaped> shapes;
        // A year's report prints more different numbers than are worth
        // keeping: past this many, what was kept is forgotten and what
        // still prints is kept anew.
        static constexpr qsizetype kRemembered = 8000;

        double width(const QString& text) {
            if (const auto it = widths.constFind(text); it != widths.constEnd())
                return it.value();
            const double w = metrics.horizontalAdvance(text);
            if (widths.size() >= kRemembered)
                widths.clear();
            widths.insert(text, w);
            return w;
        }

        Shaped& shaped(const QString& text, QPaintDevice* device) {
            auto it = shapes.find(text);
            if (it != shapes.end())
                return it.value();
            QTextLayout layout(text, font, device);
            QTextOption option;
            option.setFlags(QTextOption::IncludeTrailingSpaces);
            layout.setTextOption(option);
            layout.beginLayout();
            QTextLine line = layout.createLine();
            line.setLineWidth(0x01000000);
            line.setPosition(QPointF(0, 0));
            layout.endLayout();
            Shaped s;
            s.runs = layout.glyphRuns();
            s.height = line.ascent() + line.descent();
            s.advance = line.horizontalAdvance();
            if (shapes.size() >= kRemembered)
                shapes.clear();
            return shapes.insert(text, s).value();
        }
    };

    Face& faceFor(double size, bool bold) {
        const auto key = std::make_pair(size, bold);
        auto it = faces_.find(key);
        if (it == faces_.end()) {
            const QFont font = reportFont(size, bold);
            it = faces_.emplace(key, Face{font, QFontMetricsF(font, device_)}).first;
        }
        return it->second;
    }

    // The pages were laid out with widths measured apart from this device;
    // where its own metrics make a line a hair wider than its cell, the line
    // is narrowed to the cell, never cut and never run into a neighbour.
    void drawLine(QPainter& p, Face& face, const QRectF& box, const QString& line, Align align) {
        const int flags = alignmentFlags(align) | Qt::TextSingleLine | Qt::TextDontClip;
        // The shape's advance is the width the device's metrics give.
        Shaped* shape = shapeOnce_ ? &face.shaped(line, device_) : nullptr;
        const double w = shape ? shape->advance : face.width(line);
        if ((w <= box.width() || w <= 0) && !shape) {
            p.drawText(box, flags, line);
            return;
        }
        if (w <= box.width() || w <= 0) {
            // Where drawText(box, flags) would set it, without laying the
            // line out again.
            Shaped& s = *shape;
            double x = box.left();
            if (align == Align::Right)
                x += box.width() - s.advance;
            else if (align == Align::Center)
                x += (box.width() - s.advance) / 2;
            const QPointF origin(x, box.top() + (box.height() - s.height) / 2);
            if (s.batches.isEmpty())
                for (const QGlyphRun& run : s.runs)
                    s.batches.append(batchOf(run.rawFont()));
            for (qsizetype i = 0; i < s.runs.size(); ++i) {
                Batch& b = batches_[s.batches[i]];
                b.glyphs += s.runs[i].glyphIndexes();
                for (const QPointF& at : s.runs[i].positions())
                    b.positions.append(at + origin);
            }
            return;
        }
        p.save();
        p.translate(box.left(), 0);
        p.scale(box.width() / w, 1);
        p.drawText(QRectF(0, box.top(), w, box.height()), flags, line);
        p.restore();
    }

    QPagedPaintDevice* device_;
    double dotsX_;
    double dotsY_;
    bool shapeOnce_;
    // The glyphs of the page so far, per font.
    struct Batch {
        QRawFont font;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    QList<Batch> batches_; // never shrinks: the shapes know their places

    qsizetype batchOf(const QRawFont& font) {
        for (qsizetype i = 0; i < batches_.size(); ++i)
            if (batches_[i].font == font)
                return i;
        batches_.append(Batch{font, {}, {}});
        return batches_.size() - 1;
    }
    std::map<std::pair<double, bool>, Face> faces_;
};

} // namespace

void paint(const Document& doc, QPagedPaintDevice* device) {
    const QPageRanges ranges = device->pageRanges();
    QPainter painter(device);
    PagePainter pages(device);
    bool first = true;
    for (int i = 0; i < doc.pages.size(); ++i) {
        if (!ranges.isEmpty() && !ranges.contains(i + 1))
            continue;
        if (!first)
            device->newPage();
        first = false;
        pages.paintPage(painter, doc.pages[i]);
    }
}

// The pages are painted into the file on a thread of their own while the
// next ones are read and laid out: painting and compressing a page costs
// more than laying it out. A few pages wait at most, so that the memory
// stays that of a few pages however long the report.
struct PdfStream::Impl {
    static constexpr qsizetype kWaiting = 16;

    QSaveFile file;
    QString error;
    Document setup;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Page> waiting;
    bool closing = false;
    std::thread painter;

    explicit Impl(const QString& fileName) : file(fileName) {}

    void paintAll() {
        QPdfWriter writer(&file);
        writer.setResolution(600);
        writer.setTitle(setup.title);
        writer.setCreator(QStringLiteral("Табель"));
        applyPageSetup(setup, &writer);
        QPainter p(&writer);
        PagePainter pages(&writer, true);
        bool first = true;
        for (;;) {
            Page page;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return closing || !waiting.empty(); });
                if (waiting.empty())
                    break;
                page = std::move(waiting.front());
                waiting.pop_front();
            }
            changed.notify_all();
            if (!first)
                writer.newPage();
            first = false;
            pages.paintPage(p, page);
        }
        p.end();
    }

    void close() {
        {
            std::lock_guard lock(mutex);
            closing = true;
        }
        changed.notify_all();
        if (painter.joinable())
            painter.join();
    }
};

PdfStream::PdfStream(const Document& setup, const QString& fileName)
    : d_(std::make_unique<Impl>(fileName)) {
    if (!d_->file.open(QIODevice::WriteOnly)) {
        d_->error = d_->file.errorString();
        return;
    }
    d_->setup = setup;
    d_->setup.pages.clear();
    d_->painter = std::thread([d = d_.get()] { d->paintAll(); });
}

PdfStream::~PdfStream() {
    // Unfinished: the pages painted so far are thrown away with the
    // unwritten file, and those still waiting are not painted at all.
    {
        std::lock_guard lock(d_->mutex);
        d_->waiting.clear();
    }
    d_->close();
}

QString PdfStream::error() const {
    return d_->error;
}

void PdfStream::add(const Page& page) {
    if (!d_->error.isEmpty())
        return;
    std::unique_lock lock(d_->mutex);
    d_->changed.wait(lock, [this] { return d_->waiting.size() < Impl::kWaiting; });
    d_->waiting.push_back(page);
    lock.unlock();
    d_->changed.notify_all();
}

QString PdfStream::finish() {
    if (!d_->error.isEmpty())
        return d_->error;
    d_->close();
    if (!d_->file.commit())
        return d_->file.errorString();
    return {};
}

QString writePdf(const Document& doc, const QString& fileName) {
    PdfStream pdf(doc, fileName);
    for (const Page& page : doc.pages)
        pdf.add(page);
    return pdf.finish();
}

} // namespace reportengine
