#include "preview.h"

#include "reportengine/render.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <exception>

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

// The dialog zoomed as asked, on the screen's working area and maximised,
// kept at the top of page 1 until the user moves.
void setUp(QPrintPreviewDialog& dialog, const Document& doc, QWidget* parent, Zoom zoom) {
    dialog.setWindowTitle(doc.title);
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
}

// The dialog's print button: it has no name of its own, only its text.
QAction* printAction(QPrintPreviewDialog& dialog) {
    const QString print = QCoreApplication::translate("QPrintPreviewDialog", "Print");
    for (QAction* a : dialog.findChildren<QAction*>())
        if (a->text() == print)
            return a;
    return nullptr;
}

// Lays the rest of a growing document out between the dialog's events, a
// slice of a few tens of milliseconds at a time, so that the window stays
// responsive, and shows the pages again as they come and once more at the
// end.
class Slices : public QObject {
public:
    Slices(QPrintPreviewDialog& dialog, GrowingDocument& doc)
        : QObject(&dialog), dialog_(dialog), doc_(doc),
          preview_(dialog.findChild<QPrintPreviewWidget*>()), print_(printAction(dialog)) {
        if (print_)
            print_->setEnabled(false);
        shown_ = doc.doc.pages.size();
        sinceShown_.start();
        connect(&timer_, &QTimer::timeout, this, &Slices::slice);
        timer_.start(0);
    }

    std::exception_ptr failure;

private:
    void slice() {
        QElapsedTimer t;
        t.start();
        bool more = true;
        try {
            while (more && t.elapsed() < kSliceMs)
                more = doc_.more();
        } catch (...) {
            failure = std::current_exception();
            timer_.stop();
            dialog_.reject();
            return;
        }
        if (!more) {
            timer_.stop();
            if (print_)
                print_->setEnabled(true);
        }
        // Each showing paints every page so far: shown again once the
        // pages have doubled, so that all the showings together cost about
        // twice the last one.
        const qsizetype pages = doc_.doc.pages.size();
        if (pages > shown_ &&
            (!more || (pages >= 2 * shown_ && sinceShown_.elapsed() >= kBetweenMs))) {
            shown_ = pages;
            if (preview_)
                preview_->updatePreview();
            sinceShown_.restart();
        }
    }

    static constexpr qint64 kSliceMs = 40;
    static constexpr qint64 kBetweenMs = 250;

    QPrintPreviewDialog& dialog_;
    GrowingDocument& doc_;
    QPrintPreviewWidget* preview_;
    QAction* print_;
    QTimer timer_;
    QElapsedTimer sinceShown_;
    qsizetype shown_ = 0;
};

} // namespace

void showPreview(const Document& doc, QWidget* parent, Zoom zoom,
                 const std::function<void(QPrintPreviewDialog&)>& run) {
    QPrinter printer(QPrinter::HighResolution);
    applyPageSetup(doc, &printer);
    printer.setDocName(doc.title);
    QPrintPreviewDialog dialog(&printer, parent);
    // The preview may ask for the pages more than once (on opening, on
    // printing); each time they are painted from the laid-out document.
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&doc](QPrinter* p) { paint(doc, p); });
    setUp(dialog, doc, parent, zoom);
    if (run)
        run(dialog);
    else
        dialog.exec();
}

void showPreview(GrowingDocument& doc, QWidget* parent, Zoom zoom,
                 const std::function<void(QPrintPreviewDialog&)>& run) {
    bool more = true;
    while (more && doc.doc.pages.isEmpty())
        more = doc.more();
    QPrinter printer(QPrinter::HighResolution);
    applyPageSetup(doc.doc, &printer);
    printer.setDocName(doc.doc.title);
    QPrintPreviewDialog dialog(&printer, parent);
    // The pages laid out so far; printing, which waits for the last page,
    // gets them all.
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&doc](QPrinter* p) { paint(doc.doc, p); });
    setUp(dialog, doc.doc, parent, zoom);
    Slices* slices = more ? new Slices(dialog, doc) : nullptr;
    if (run)
        run(dialog);
    else
        dialog.exec();
    if (slices && slices->failure)
        std::rethrow_exception(slices->failure);
}

} // namespace reportengine
