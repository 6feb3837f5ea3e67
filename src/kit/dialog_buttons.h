#pragma once

#include <functional>

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace tabel {

// The two buttons at the bottom right of the program's dialogs: the save
// button, default for Enter in the input boxes, and the cancel button, which
// Esc presses. Whichever button has the focus takes Enter itself, as the
// user expects of a focused button.
struct DialogButtons {
    QPushButton* save;
    QPushButton* cancel;
    QHBoxLayout* row; // to be added to the dialog's layout
};

// `onSave` runs under the general error handler; the cancel button rejects.
DialogButtons makeDialogButtons(QDialog* dialog, const char* saveCaption, const char* saveName,
                                const char* cancelCaption, const char* cancelName,
                                std::function<void()> onSave);

} // namespace tabel
