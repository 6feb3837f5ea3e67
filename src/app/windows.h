#pragma once

#include "session/context.h"

#include <memory>

namespace tabel {

class BrigadeDialog;
class GroupsList;
class HousekeepingJournal;
class MainWindow;
class MonthClosingWindow;
class RepriceWindow;
class MonthlyTimesheetWindow;
class OperationTypesList;
class NormsEditor;
class OperationDialog;
class OperationsList;
class ProductsList;
class RecordDialog;
class RepeatShiftDialog;
class ReportsDialog;
class ShiftTimesheetWindow;
class WorkersList;

// Every window besides the login dialog and the main window, created once in
// a fixed order, and the main window's commands that open them.
class Windows {
public:
    Windows(AppContext& ctx, MainWindow& main);
    ~Windows();

    WorkersList& workers() { return *workers_; }
    OperationsList& operations() { return *operations_; }
    ProductsList& products() { return *products_; }
    OperationTypesList& operationTypes() { return *operationTypes_; }
    GroupsList& groups() { return *groups_; }
    RecordDialog& record() { return *record_; }
    BrigadeDialog& brigade() { return *brigade_; }
    RepeatShiftDialog& repeatShift() { return *repeatShift_; }
    OperationDialog& operation() { return *operation_; }
    NormsEditor& norms() { return *norms_; }
    HousekeepingJournal& housekeeping() { return *housekeeping_; }
    ShiftTimesheetWindow& shiftTimesheet() { return *shiftTimesheet_; }
    MonthlyTimesheetWindow& monthlyTimesheet() { return *monthlyTimesheet_; }
    ReportsDialog& reports() { return *reports_; }
    MonthClosingWindow& monthClosing() { return *monthClosing_; }

private:
    AppContext& ctx_;
    MainWindow& main_;
    std::unique_ptr<OperationsList> operations_;
    std::unique_ptr<WorkersList> workers_;
    std::unique_ptr<ProductsList> products_;
    std::unique_ptr<OperationTypesList> operationTypes_;
    std::unique_ptr<GroupsList> groups_;
    std::unique_ptr<RecordDialog> record_;
    std::unique_ptr<BrigadeDialog> brigade_;
    std::unique_ptr<RepeatShiftDialog> repeatShift_;
    std::unique_ptr<OperationDialog> operation_;
    std::unique_ptr<NormsEditor> norms_;
    std::unique_ptr<HousekeepingJournal> housekeeping_;
    std::unique_ptr<ShiftTimesheetWindow> shiftTimesheet_;
    std::unique_ptr<MonthlyTimesheetWindow> monthlyTimesheet_;
    std::unique_ptr<ReportsDialog> reports_;
    std::unique_ptr<MonthClosingWindow> monthClosing_;
    std::unique_ptr<RepriceWindow> reprice_;
};

} // namespace tabel
