#pragma once

#include "session/context.h"

#include <memory>

namespace tabel {

class MainWindow;
class NormsEditor;
class OperationDialog;
class OperationsList;
class RecordDialog;
class WorkersList;

// Every window besides the login dialog and the main window, created once in
// a fixed order, and the main window's commands that open them.
class Windows {
public:
    Windows(AppContext& ctx, MainWindow& main);
    ~Windows();

    WorkersList& workers() { return *workers_; }
    OperationsList& operations() { return *operations_; }
    RecordDialog& record() { return *record_; }
    OperationDialog& operation() { return *operation_; }
    NormsEditor& norms() { return *norms_; }

private:
    AppContext& ctx_;
    MainWindow& main_;
    std::unique_ptr<OperationsList> operations_;
    std::unique_ptr<WorkersList> workers_;
    std::unique_ptr<RecordDialog> record_;
    std::unique_ptr<OperationDialog> operation_;
    std::unique_ptr<NormsEditor> norms_;
};

} // namespace tabel
