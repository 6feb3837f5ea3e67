#include "render.h"

#include "reportengine/fit.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPageLayout>
#include <QPageRanges>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <map>

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
    explicit PagePainter(QPagedPaintDevice* device)
        : device_(device), dotsX_(device->logicalDpiX() / 25.4),
          dotsY_(device->logicalDpiY() / 25.4) {}

    QPointF at(const QPointF& mm) const { return {mm.x() * dotsX_, mm.y() * dotsY_}; }
    QRectF at(const QRectF& mm) const { return {at(mm.topLeft()), at(mm.bottomRight())}; }

    void paintPage(QPainter& p, const Page& page) {
        QPen pen(Qt::black);
        pen.setWidthF(0.25 * dotsX_);
        p.setPen(pen);
        for (const QLineF& l : page.lines)
            p.drawLine(QLineF(at(l.p1()), at(l.p2())));
        for (const PlacedText& t : page.texts) {
            const QRectF r = at(t.rect);
            if (t.frame)
                p.drawRect(r);
            const QStringList lines = t.lines.isEmpty() ? QStringList{t.text} : t.lines;
            if (lines.size() == 1 && lines[0].isEmpty())
                continue;
            Face& face = faceFor(t.fontSize, t.bold);
            if (p.font() != face.font)
                p.setFont(face.font);
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
    }

private:
    struct Face {
        QFont font;
        QFontMetricsF metrics;
        // A report prints the same numbers and names many times over.
        QHash<QString, double> widths;

        double width(const QString& text) {
            auto it = widths.find(text);
            if (it == widths.end())
                it = widths.insert(text, metrics.horizontalAdvance(text));
            return it.value();
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
    static void drawLine(QPainter& p, Face& face, const QRectF& box, const QString& line,
                         Align align) {
        const int flags = alignmentFlags(align) | Qt::TextSingleLine | Qt::TextDontClip;
        const double w = face.width(line);
        if (w <= box.width() || w <= 0) {
            p.drawText(box, flags, line);
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

struct PdfStream::Impl {
    QSaveFile file;
    QString error;
    std::unique_ptr<QPdfWriter> writer;
    std::unique_ptr<QPainter> painter;
    std::unique_ptr<PagePainter> pages;
    bool first = true;

    explicit Impl(const QString& fileName) : file(fileName) {}
};

PdfStream::PdfStream(const Document& setup, const QString& fileName)
    : d_(std::make_unique<Impl>(fileName)) {
    if (!d_->file.open(QIODevice::WriteOnly)) {
        d_->error = d_->file.errorString();
        return;
    }
    d_->writer = std::make_unique<QPdfWriter>(&d_->file);
    d_->writer->setResolution(600);
    d_->writer->setTitle(setup.title);
    d_->writer->setCreator(QStringLiteral("Табель"));
    applyPageSetup(setup, d_->writer.get());
    d_->painter = std::make_unique<QPainter>(d_->writer.get());
    d_->pages = std::make_unique<PagePainter>(d_->writer.get());
}

PdfStream::~PdfStream() = default;

QString PdfStream::error() const {
    return d_->error;
}

void PdfStream::add(const Page& page) {
    if (!d_->error.isEmpty())
        return;
    if (!d_->first)
        d_->writer->newPage();
    d_->first = false;
    d_->pages->paintPage(*d_->painter, page);
}

QString PdfStream::finish() {
    if (!d_->error.isEmpty())
        return d_->error;
    d_->painter->end();
    d_->pages.reset();
    d_->painter.reset();
    d_->writer.reset();
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
