#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace tabel {

// How a window that shows one month's data (the journal's date, a time
// sheet's month) tells that the month is closed: a red "Месяц закрыт" beside
// its controls and the same words in its caption. The window disables what
// would change the month itself; the database would refuse it anyway.

inline const char* kMonthClosedText = "Месяц закрыт";

// The label, hidden until the month is closed; object name "LabelMonthClosed".
QLabel* makeClosedMonthLabel(QWidget* parent);

// Shows or hides the label and the words in `window`'s caption.
void showMonthClosed(QWidget* window, QLabel* label, bool closed);

} // namespace tabel
