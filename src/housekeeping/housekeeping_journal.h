#pragma once

#include "kit/list_window.h"
#include "session/context.h"

#include <QDate>
#include <functional>

class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;

namespace tabel {

class HousekeepingDialog;

// "Хоз. работы (25)": the housekeeping and average-piecework entries of one
// date, with adding, changing and deleting them and the month's
// average-piecework recalculation. Created once and reused.
class HousekeepingJournal : public ListWindow {
    Q_OBJECT
public:
    explicit HousekeepingJournal(AppContext& ctx, QWidget* parent = nullptr);

    // The main window's button: the journal on `date`, shown modally.
    // Setting the date this way leaves "Выходной" as it is.
    void openOn(const QDate& date);
    void setDate(const QDate& date);

    // Each opening: the shift number back to 1, the list of the picked date
    // read again.
    void activate();

    // What the entry dialog reads while saving.
    QDate pickedDate() const;
    bool dayOff() const;
    int shift() const { return shift_; }
    // The entry of the current row; the entry dialog keeps its own.
    int currentEntryId() const;
    // Reads the list again, keeping the row number.
    void refreshKeepingPosition();

    // The buttons' commands. Throw DbError.
    void addEntry();    // "Добавить"
    void changeEntry(); // "Изменить", double-click
    void deleteEntry(); // "Удалить"
    void recalculate(); // "Расчитать ср.сд."
    // The user picked another date.
    void userChangedDate(const QDate& date);

    HousekeepingDialog* entryDialog() const { return dialog_; }
    QDateEdit* datePicker() const { return date_; }
    QCheckBox* dayOffBox() const { return dayOff_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* averageButton() const { return average_; }
    QLabel* monthClosedLabel() const { return monthClosedLabel_; }
    bool isMonthClosed() const { return monthClosed_; }

    // Shows the entry dialog modally; replaceable so that the commands can be
    // driven without a modal loop.
    std::function<int(HousekeepingDialog&)> runDialog;

protected:
    void activateRow() override {
        if (!monthClosed_ && writable_)
            changeEntry();
    }

private:
    void markDayOff(bool checked);
    void fitToColumns();
    void runEntryDialog();
    // Whether the picked date's month is closed, read again; the banner and
    // the buttons follow it.
    void showMonthState();

    AppContext& ctx_;
    int shift_ = 1;
    HousekeepingDialog* dialog_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    QPushButton* average_;
    QDateEdit* date_;
    QCheckBox* dayOff_;
    QLabel* monthClosedLabel_;
    bool monthClosed_ = false;
    // Whether the database lets this login write the entries (a person's own
    // login may only read them).
    bool writable_ = true;
};

} // namespace tabel
