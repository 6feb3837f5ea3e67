#include "render.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageRanges>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <map>

namespace reportengine {

QStringList fontFamilies() {
    return {QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"),
            QStringLiteral("Liberation Sans")};
}

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
            if (t.text.isEmpty())
                continue;
            const Face& face = faceFor(t.fontSize, t.bold);
            if (p.font() != face.font)
                p.setFont(face.font);
            // A little air between a frame or a neighbour and the text.
            const QRectF inner = r.adjusted(0.5 * dotsX_, 0, -0.5 * dotsX_, 0);
            const int flags = alignmentFlags(t.align) | Qt::TextSingleLine | Qt::TextDontClip;
            // A text too long for its cell is cut with an ellipsis, so it does
            // not run into its neighbours; a number is never cut short.
            if (!t.number && face.metrics.horizontalAdvance(t.text) > inner.width())
                p.drawText(inner, flags,
                           face.metrics.elidedText(t.text, Qt::ElideRight, inner.width()));
            else
                p.drawText(inner, flags, t.text);
        }
    }

private:
    struct Face {
        QFont font;
        QFontMetricsF metrics;
    };

    const Face& faceFor(double size, bool bold) {
        const auto key = std::make_pair(size, bold);
        auto it = faces_.find(key);
        if (it == faces_.end()) {
            QFont font;
            font.setFamilies(fontFamilies());
            font.setPointSizeF(size);
            font.setBold(bold);
            it = faces_.emplace(key, Face{font, QFontMetricsF(font, device_)}).first;
        }
        return it->second;
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

QString writePdf(const Document& doc, const QString& fileName) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    {
        QPdfWriter writer(&file);
        writer.setResolution(600);
        writer.setTitle(doc.title);
        writer.setCreator(QStringLiteral("Табель"));
        applyPageSetup(doc, &writer);
        paint(doc, &writer);
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace reportengine
