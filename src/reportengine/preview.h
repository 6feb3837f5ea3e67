#pragma once

#include "reportengine/document.h"

#include <functional>

class QPrintPreviewDialog;
class QWidget;

namespace reportengine {

// How the preview zooms when it opens.
enum class Zoom { PageWidth, WholePage };

// The preview window of a laid-out report: the size of the screen's working
// area and maximised, zoomed as asked, showing the top of page 1, with the
// print button of the platform's print dialog. `run` shows it; by default it
// is exec(), tests put their own in.
void showPreview(const Document& doc, QWidget* parent, Zoom zoom,
                 const std::function<void(QPrintPreviewDialog&)>& run = {});

// A report still being laid out when its preview opens.
struct GrowingDocument {
    // The title, the page set-up, and the pages laid out so far.
    Document doc;
    // Lays out a little more into `doc.pages`; false once the last page is
    // there. Throws what laying out throws.
    std::function<bool()> more;
};

// The preview of a report laid out while it is shown: it opens on page 1 as
// soon as that page is laid out, and the rest are laid out a slice at a
// time between the window's events, on this thread, the pages shown again
// now and then as they come. Printing waits for the last page. What `more`
// throws ends the preview and is thrown from here. The window is as
// showPreview's.
void showPreview(GrowingDocument& doc, QWidget* parent, Zoom zoom,
                 const std::function<void(QPrintPreviewDialog&)>& run = {});

} // namespace reportengine
