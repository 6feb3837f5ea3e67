#pragma once

#include "session/context.h"
#include "session/roles.h"

#include <QDialog>
#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTableView;
class QTimer;

namespace tabel {

class DateBox;
class GridModel;
class HistoryDialog;

// The shift journal ("Табель"): the records of one date and shift, and the
// way to every other window.
class MainWindow : public QDialog {
    Q_OBJECT
public:
    explicit MainWindow(AppContext& ctx, QWidget* parent = nullptr);

    // Opening steps: today's date, the day-off box, the four lists.
    void openJournal();
    void reloadLists();                    // "Обновить"
    void setPickedDate(const QDate& date); // as if picked in the calendar
    void selectShift(int shift);           // as if its radio button were clicked
    // The role's restrictions, and what the database would refuse this login.
    void applyRestrictions(const RoleRestrictions& role);
    void setTimesheetMenuEnabled(bool enabled);
    // Whether the month of the lists' date is closed, read again: the banner
    // and the commands that would change the month follow it.
    void showMonthState();

    QTableView* grid() const { return grid_; }
    GridModel* gridModel() const { return model_; }
    QCheckBox* dayOffBox() const { return dayOff_; }
    QRadioButton* shiftButton(int shift) const { return radios_[shift - 1]; }
    QPushButton* addButton() const { return add_; }
    QPushButton* brigadeButton() const { return brigade_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* repeatShiftButton() const { return repeatShift_; }
    QPushButton* housekeepingButton() const { return housekeeping_; }
    QPushButton* historyButton() const { return history_; }
    QAction* menuAction(const QString& objectName) const;
    QTimer* gateTimer() const { return timer_; }
    bool isGridReadOnly() const { return gridReadOnly_; }
    bool isMonthClosed() const { return monthClosed_; }
    QLabel* monthClosedLabel() const { return monthClosedLabel_; }

    // Today's date as the window sees it when it opens.
    std::function<QDate()> today = [] { return QDate::currentDate(); };
    // Called on double-click in the grid (acceptance).
    std::function<void()> onToggleAcceptance;

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void dateChosen();
    void updateDayOffLook();
    void updateShiftLook();
    void showHistory();
    void updateEditing();

    AppContext& ctx_;
    std::array<QRadioButton*, 4> radios_{};
    DateBox* date_;
    QCheckBox* dayOff_;
    QTableView* grid_;
    GridModel* model_;
    QPushButton* add_;
    QPushButton* brigade_;
    QPushButton* change_;
    QPushButton* delete_;
    QPushButton* repeatShift_;
    QPushButton* refresh_;
    QPushButton* housekeeping_;
    QPushButton* history_;
    HistoryDialog* historyDialog_ = nullptr;
    QPushButton* exit_;
    QMenu* directories_;
    QMenu* timesheets_;
    QMenu* reports_;
    QLabel* monthClosedLabel_;
    QTimer* timer_;
    bool opened_ = false;
    bool gridReadOnly_ = false;
    RoleRestrictions restrictions_;
    bool monthClosed_ = false;
};

} // namespace tabel
