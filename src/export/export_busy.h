#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QPushButton;
class QWidget;

namespace tabel {

// Keeps a window to itself while an export runs in it: its commands are
// disabled, and the user's clicks, keys and the close box reach none of its
// widgets, so neither a second export nor a database action can start inside
// the first. The window still repaints, so `progress` (the export's own
// button, left enabled for its caption) can show how far it has come.
// Everything is given back as it was when the guard ends.
class ExportBusy : public QObject {
    Q_OBJECT
public:
    ExportBusy(QWidget* window, QPushButton* progress);
    ~ExportBusy() override;

    // Gives everything back before the guard ends (for the messages that
    // close an export); the guard then does nothing more.
    void release();

    // Lets the window repaint and the program's timers run.
    static void breathe();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool active_ = false;
    QPointer<QWidget> window_;
    QPointer<QWidget> focus_;
    QList<QPointer<QWidget>> disabled_;
};

} // namespace tabel
