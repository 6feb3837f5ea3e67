#pragma once

#include "reportengine/document.h"

#include <QString>
#include <memory>

class QPagedPaintDevice;

namespace reportengine {

// Sets A4, the orientation and the margins of `doc` on the device.
void applyPageSetup(const Document& doc, QPagedPaintDevice* device);

// Paints the pages on a device already set up (a printer, a preview, a PDF
// writer), from scratch every time, so it can be called again for the same
// device kind. Pages outside the device's page ranges, when it has any, are
// left out.
void paint(const Document& doc, QPagedPaintDevice* device);

// Writes the pages as a PDF file whose text can be searched and copied. The
// file appears only when it has been written completely; an existing file is
// replaced then, and left as it was when writing fails. Returns the reason
// of a failure, or an empty text.
QString writePdf(const Document& doc, const QString& fileName);

// A PDF file written page by page as the pages are laid out, each painted
// when it is added and then no longer needed. As with writePdf, the file
// appears only when finish() has written it completely.
class PdfStream {
public:
    // `setup`: the title and the page set-up; its pages, if any, are not
    // written.
    PdfStream(const Document& setup, const QString& fileName);
    ~PdfStream();
    PdfStream(const PdfStream&) = delete;
    PdfStream& operator=(const PdfStream&) = delete;

    // Why the file cannot be written, found on opening; empty when it can.
    QString error() const;
    void add(const Page& page);
    // Writes the file in its place. Returns the reason of a failure, or an
    // empty text; an existing file is then left as it was.
    QString finish();

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace reportengine
