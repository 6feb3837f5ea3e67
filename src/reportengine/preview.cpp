#include "preview.h"

#include "reportengine/render.h"

#include <QAction>
#include <QEvent>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>

namespace reportengine {

namespace {

// The preview zooms again whenever its view changes size, and keeps the
// middle of the view where it was, so a window that gets its size after the
// pages are shown (a window manager maximising it, often in more than one
// step) would open on the middle of page 1. Until the user first clicks,
// scrolls or types in the window, every new zoom goes back to the top.
class TopOfFirstPage : public QObject {
public:
    TopOfFirstPage(QPrintPreviewDialog& dialog, QPrintPreviewWidget& preview, QGraphicsView& view)
        : QObject(&dialog), dialog_(dialog), view_(view) {
        connect(&preview, &QPrintPreviewWidget::previewChanged, this, &TopOfFirstPage::toTop);
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::TouchBegin:
            if (auto* w = qobject_cast<QWidget*>(watched);
                w && (w == &dialog_ || dialog_.isAncestorOf(w)))
                release();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void toTop() {
        if (!released_)
            view_.verticalScrollBar()->setValue(view_.verticalScrollBar()->minimum());
    }

    void release() {
        released_ = true;
        qApp->removeEventFilter(this);
    }

    QPrintPreviewDialog& dialog_;
    QGraphicsView& view_;
    bool released_ = false;
};

} // namespace

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
    auto* preview = dialog.findChild<QPrintPreviewWidget*>();
    if (auto* action = dialog.findChild<QAction*>(fit))
        action->trigger();
    else if (preview)
        zoom == Zoom::PageWidth ? preview->fitToWidth() : preview->fitInView();
    // Maximising is a request to the window manager; without one (a kiosk
    // session, a remote X display) the dialog would open at its small size
    // hint. It is given the screen's working area itself first.
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        dialog.setGeometry(screen->availableGeometry());
    dialog.setWindowState(dialog.windowState() | Qt::WindowMaximized);
    if (auto* view = dialog.findChild<QGraphicsView*>(); preview && view)
        new TopOfFirstPage(dialog, *preview, *view);
    if (run)
        run(dialog);
    else
        dialog.exec();
}

} // namespace reportengine
