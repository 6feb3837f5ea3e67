#pragma once

#include <QBoxLayout>
#include <QPushButton>

class QKeyEvent;

namespace tabel {

class Dataset;

// A key pressed in a list window's search box: Up and Down move the list's
// current row; typed characters, Backspace and the clipboard keys edit the
// box; Enter, Escape and Tab go on to the window (default button, close,
// next control). Every other key is swallowed, so keys that act on
// key-down (Delete, Home, End, the arrows) do nothing in the box.
// Returns true when the key is kept from the box.
bool searchBoxKey(const QKeyEvent* key, Dataset& list);

// A button of a window's bottom bar that Enter does not press unless it is
// made the default button.
QPushButton* barButton(QWidget* parent, QBoxLayout* bar, const char* caption, const char* name);

} // namespace tabel
