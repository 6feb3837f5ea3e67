#include "preview.h"

#include "reportengine/render.h"

#include <QAction>
#include <QGraphicsView>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScrollBar>
#include <QTimer>

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
    // Through the dialog's own button, so that its tool bar shows the zoom.
    const char* fit = zoom == Zoom::PageWidth ? "fitWidthAction" : "fitPageAction";
    if (auto* action = dialog.findChild<QAction*>(fit))
        action->trigger();
    else if (auto* view = dialog.findChild<QPrintPreviewWidget*>())
        zoom == Zoom::PageWidth ? view->fitToWidth() : view->fitInView();
    dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    // Zooming to the width keeps the middle of the view in place; once the
    // window has its size, the first page is shown from its top.
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (auto* view = dialog.findChild<QGraphicsView*>())
            view->verticalScrollBar()->setValue(view->verticalScrollBar()->minimum());
    });
    if (run)
        run(dialog);
    else
        dialog.exec();
}

} // namespace reportengine
