#pragma once

#include "session/context.h"
#include "timesheets/sheet_reader.h"
#include "timesheets/sheet_statements.h"

#include <QDate>
#include <QDialog>
#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace tabel {

class Dataset;
class DaySheetModel;

// The monthly time sheets ("Табель сделка (27)" and its three siblings): a
// row per worker with the hours of each day and the month's hours, pay and
// pay per hour, the month's four money totals, and the rebuild of the
// month's housekeeping rows. One window serves the four sheets. Created once
// and reused.
class MonthlyTimesheetWindow : public QDialog {
    Q_OBJECT
public:
    using Sheet = sql::MonthlySheet;

    explicit MonthlyTimesheetWindow(AppContext& ctx, QWidget* parent = nullptr);

    // A main-menu item: the sheet for today's month, shown modally.
    void openSheet(Sheet sheet);
    // Everything the opening does before the window is shown, for `today`.
    void prepare(Sheet sheet, const QDate& today);

    // The commands. Throw DbError.
    void periodChanged();           // a new month or year chosen
    void chooseYear(int listIndex); // the user picked a year from the list
    void refresh();                 // "Обновить"
    void rebuild();                 // "Перестроить"

    Sheet sheetKind() const { return kind_; }
    Dataset& sheet() const;
    DaySheetModel& model() const { return *model_; }
    QTableView* grid() const { return grid_; }
    QComboBox* monthList() const { return month_; }
    QComboBox* yearList() const { return year_; }
    QDate month() const;   // the first day of the month shown
    QString title() const; // the month's name and the year shown in the list
    // The totals as shown, by label: "Ср. сдел.:", "Хоз. работы:", "Сделка:",
    // "Итого:".
    QString total(const QString& label) const;
    QPushButton* excelButton() const { return excel_; }
    QPushButton* rebuildButton() const { return rebuild_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* monthClosedLabel() const { return monthClosedLabel_; }

    // "Excel"; the button stays disabled while it is unset.
    void setExport(std::function<void()> exportSheet);
    // "Расчётный листок", also a double-click on a worker's row: the
    // statement of the current row's worker for the month shown. The button
    // stays disabled while it is unset.
    void setPayStatement(std::function<void(int worker, const QDate& month)> show);
    void showPayStatement(); // nothing on an empty sheet
    QPushButton* payStatementButton() const { return pay_; }

private:
    void openSheet(); // the sheet shown, for the month shown
    void showDays(const QDate& first);
    void showTotals();     // the month's four totals, read again
    void showMonthState(); // the closed-month banner and the rebuild button

    AppContext& ctx_;
    Sheet kind_ = Sheet::Piecework;
    std::array<Dataset*, 4> sheets_{};
    std::array<SheetReader, 4> readers_;
    Dataset* years_;
    DaySheetModel* model_;
    QTableView* grid_;
    QComboBox* month_;
    QComboBox* year_;
    int yearKey_ = 0; // the year shown, in the list or not
    int baseNameWidth_ = 208;
    std::array<QLabel*, 4> totals_{};
    QPushButton* excel_;
    QPushButton* refresh_;
    QPushButton* rebuild_;
    QProgressBar* progress_;
    QPushButton* exit_;
    QLabel* monthClosedLabel_;
    std::function<void()> export_action_;
    QPushButton* pay_;
    std::function<void(int, const QDate&)> pay_action_;
    bool selecting_ = false;
};

} // namespace tabel
