#pragma once

#include "directories/worker_store.h"
#include "session/context.h"

#include <QDialog>
#include <functional>
#include <optional>

class QKeyEvent;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tabel {

class GridModel;
class WorkerDialog;

// The worker a picker hands back to its opener.
struct PickedWorker {
    int id = 0;
    QString fio; // trimmed
};

// "Список рабочих": the workers directory (mode number 0, with add, change
// and delete) and the worker picker of the production record dialog (mode
// number 1) and of the housekeeping entry dialog (mode number 24).
class WorkersList : public QDialog {
    Q_OBJECT
public:
    enum : int { DirectoryMode = 0, RecordPicker = 1, HousekeepingPicker = 24 };

    explicit WorkersList(AppContext& ctx, QWidget* parent = nullptr);

    // Menu "Рабочие": the directory, shown modally; `Workers` is closed when
    // it returns.
    void openDirectory();
    // The picker of the dialog numbered `modeNumber`, shown modally. Nothing
    // when the list was empty or closed without a choice.
    std::optional<PickedWorker> pick(int modeNumber);

    // The steps of the two openings before and after the modal loop.
    void prepareDirectory();
    void preparePicker(int modeNumber);
    void finish();

    int modeNumber() const { return mode_; }
    std::optional<PickedWorker> picked() const { return picked_; }

    // The buttons' commands. Throw DbError.
    void addWorker();     // "Добавить"
    void choose();        // second button, double-click, Enter in a picker
    void changeCurrent(); // "Изменить" in directory mode
    void pickCurrent();   // "Выбрать" in a picker
    void deleteCurrent(); // "Удалить"

    WorkerStore& store() { return store_; }
    WorkerDialog* dialog() const { return dialog_; }
    QTableView* grid() const { return grid_; }
    GridModel* gridModel() const { return model_; }
    QLineEdit* searchBox() const { return search_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* exitButton() const { return exit_; }

    // Shows the worker dialog modally; replaceable so that the directory's
    // commands can be driven without a modal loop.
    std::function<int(WorkerDialog&)> runDialog;

protected:
    void showEvent(QShowEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    AppContext& ctx_;
    WorkerStore store_;
    WorkerDialog* dialog_;
    QTableView* grid_;
    GridModel* model_;
    QLineEdit* search_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    QPushButton* exit_;
    int mode_ = DirectoryMode;
    std::optional<PickedWorker> picked_;
};

} // namespace tabel
