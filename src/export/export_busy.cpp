#include "export_busy.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>

namespace tabel {

namespace {

bool isCommand(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
           qobject_cast<QAbstractItemView*>(w) || qobject_cast<QTabBar*>(w);
}

bool isUserInput(QEvent::Type t) {
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace

ExportBusy::ExportBusy(QWidget* window, QPushButton* progress) : window_(window) {
    if (!window)
        return;
    active_ = true;
    focus_ = window->focusWidget();
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* w : children) {
        // A box the window opens is a window of its own and stays usable.
        if (w == progress || w->window() != window || !w->isEnabled() || !isCommand(w))
            continue;
        w->setEnabled(false);
        disabled_ << w;
    }
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

ExportBusy::~ExportBusy() {
    release();
}

void ExportBusy::release() {
    if (!active_)
        return;
    active_ = false;
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget>& w : std::as_const(disabled_))
        if (w)
            w->setEnabled(true);
    disabled_.clear();
    if (focus_)
        focus_->setFocus();
}

void ExportBusy::breathe() {
    QCoreApplication::processEvents();
}

bool ExportBusy::eventFilter(QObject* watched, QEvent* event) {
    if (!active_ || !window_ || !watched->isWidgetType())
        return false;
    QWidget* w = static_cast<QWidget*>(watched);
    if (w->window() != window_)
        return false;
    if (event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    return isUserInput(event->type());
}

} // namespace tabel
