#pragma once

#include "session/context.h"
#include "timesheets/shift_sheets.h"

#include <QDate>
#include <QDialog>
#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;

namespace tabel {

class Dataset;
class DaySheetModel;

// "Табель по времени": the hours of each worker on each day of a month, one
// tab per shift, with the month's rebuild from the production records.
// Created once and reused.
class ShiftTimesheetWindow : public QDialog {
    Q_OBJECT
public:
    explicit ShiftTimesheetWindow(AppContext& ctx, QWidget* parent = nullptr);

    // The main menu's item: the month of the journal's date, shown modally.
    void openFromMenu();
    // Selects the month and year of `date` and shows that month (without
    // showing the window).
    void selectMonthOf(const QDate& date);

    QDate month() const; // the first day of the selected month
    QString monthName() const;

    // The commands. Throw DbError.
    void periodChanged(); // a new month or year chosen
    void refresh();       // "Обновить"
    void rebuild();       // "Перестроить"

    Dataset& sheet(int shift) const { return *sheets_.at(shift - 1); }
    DaySheetModel& model(int shift) const { return *models_.at(shift - 1); }
    QTableView* grid(int shift) const { return grids_.at(shift - 1); }
    QComboBox* monthList() const { return month_; }
    QComboBox* yearList() const { return year_; }
    QPushButton* rebuildButton() const { return rebuild_; }
    QPushButton* excelButton() const { return excel_; }
    QPushButton* printButton() const { return print_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* monthClosedLabel() const { return monthClosedLabel_; }

    // "Печать" and "Excel"; the buttons stay disabled while these are unset.
    void setPrint(std::function<void()> print);
    void setExport(std::function<void()> exportSheet);

protected:
    void changeEvent(QEvent* event) override;

private:
    void closeSheets();
    void openSheets();     // the three shifts of the month chosen
    void showMonthState(); // the closed-month banner and the rebuild button

    AppContext& ctx_;
    QComboBox* month_;
    QComboBox* year_;
    QTabWidget* tabs_;
    std::array<Dataset*, 3> sheets_{};
    ShiftSheetsReader reader_;
    std::array<DaySheetModel*, 3> models_{};
    std::array<QTableView*, 3> grids_{};
    QPushButton* rebuild_;
    QPushButton* excel_;
    QProgressBar* progress_;
    QPushButton* refresh_;
    QPushButton* print_;
    QPushButton* exit_;
    QLabel* monthClosedLabel_;
    std::function<void()> print_action_;
    std::function<void()> export_action_;
    bool selecting_ = false; // the lists are being set, not chosen by the user
};

} // namespace tabel
