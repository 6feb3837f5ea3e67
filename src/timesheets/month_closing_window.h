#pragma once

#include "session/context.h"

#include <QDialog>
#include <functional>
#include <optional>

class QProgressBar;
class QPushButton;
class QTableView;

namespace tabel {

class Dataset;
class GridModel;

// "Закрытие месяцев": the months with records and whether each is closed,
// who closed it, when and why; closing a month after its check, reopening it
// with a reason. The administrator's window. Created once and reused.
class MonthClosingWindow : public QDialog {
    Q_OBJECT
public:
    explicit MonthClosingWindow(AppContext& ctx, QWidget* parent = nullptr);

    // The main menu's item: the list read again, the journal's month
    // current, shown modally.
    void openFromMenu();
    void reload(); // the list read again, the same month current if it is still listed
    // Makes the month current; false when it is not listed.
    bool selectMonth(int year, int month);

    // The buttons' commands. Throw DbError.
    void closeCurrent();  // "Закрыть"
    void reopenCurrent(); // "Открыть"

    Dataset& months() const { return *months_; }
    QTableView* grid() const { return grid_; }
    QPushButton* closeButton() const { return close_; }
    QPushButton* reopenButton() const { return reopen_; }

    // Asks for a line of text (the note of a close, the reason of a
    // reopening); nothing when the user cancels. Replaceable so that the
    // commands can be driven without a modal loop.
    std::function<std::optional<QString>(const QString& caption, const QString& label)> askText;

private:
    void updateButtons();
    // The month's sheets rebuilt from the records, shift rows and
    // housekeeping rows alike, showing the progress.
    void rebuildSheets(const QDate& first);

    AppContext& ctx_;
    Dataset* months_;
    GridModel* model_;
    QTableView* grid_;
    QPushButton* close_;
    QPushButton* reopen_;
    QProgressBar* progress_;
    QPushButton* exit_;
};

} // namespace tabel
