#pragma once

#include "reportengine/document.h"

#include <QString>

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

} // namespace reportengine
