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

} // namespace reportengine
