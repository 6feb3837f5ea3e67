#include "preview.h"

#include "reportengine/render.h"

#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

namespace reportengine {

void showPreview(const Document& doc, QWidget* parent, Zoom zoom,
                 const std::function<void(QPrintPreviewDialog&)>& run) {
    QPrinter printer(QPrinter::HighResolution);
    applyPageSetup(doc, &printer);
    printer.setDocName(doc.title);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(doc.title);
    // The preview may ask for the pages more than once (on opening, on
    // printing); each time they are painted from the laid-out document.
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&doc](QPrinter* p) { paint(doc, p); });
    if (auto* view = dialog.findChild<QPrintPreviewWidget*>()) {
        if (zoom == Zoom::PageWidth)
            view->fitToWidth();
        else
            view->fitInView();
    }
    dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    if (run)
        run(dialog);
    else
        dialog.exec();
}

} // namespace reportengine
