#pragma once

#include "reports/summary_reports.h"
#include "session/context.h"
#include "session/roles.h"

#include <QDate>
#include <QDialog>
#include <array>
#include <functional>

class QDateEdit;
class QGroupBox;
class QPrintPreviewDialog;
class QPushButton;
class QRadioButton;

namespace tabel {

// "Отчеты (8)": a period and a product kind, and the four summary reports
// printed over them. Created once; the kind stays as the user left it
// between openings, the period is set anew at each opening from the menu.
class ReportsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReportsDialog(AppContext& ctx, QWidget* parent = nullptr);

    // "Отчеты" → "Сводные отчеты": the whole previous month, shown modally.
    void openFromMenu();
    // The previous month: from its first day to the first day of today's.
    void resetPeriod();
    // What the role leaves of the dialog: the foreman and the warehouse keep
    // only the detailed report by products, the warehouse for finished goods
    // only. Disabled controls stay so for the rest of the run.
    void applyRole(Role role);

    // A report button: the report of the period and kind in the preview.
    // Throws DbError.
    void printReport(reports::SummaryReport report);
    reports::SummaryRequest request(reports::SummaryReport report) const;

    QRadioButton* kindButton(reports::ProductKind kind) const;
    QGroupBox* kindGroup() const { return kindGroup_; }
    QDateEdit* fromPicker() const { return from_; }
    QDateEdit* toPicker() const { return to_; }
    QPushButton* reportButton(reports::SummaryReport report) const;
    QPushButton* excelButton() const { return excel_; }
    QPushButton* exitButton() const { return exit_; }

    // Today's date as the dialog sees it when it opens.
    std::function<QDate()> today = [] { return QDate::currentDate(); };
    // Shows the preview; tests put their own in.
    std::function<void(QPrintPreviewDialog&)> runPreview;

private:
    AppContext& ctx_;
    QGroupBox* kindGroup_;
    std::array<QRadioButton*, 3> kinds_{};
    QDateEdit* from_;
    QDateEdit* to_;
    std::array<QPushButton*, 4> reports_{};
    QPushButton* excel_;
    QPushButton* exit_;
};

} // namespace tabel
