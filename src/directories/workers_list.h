#pragma once

#include "directories/worker_store.h"
#include "kit/list_window.h"
#include "session/context.h"

#include <functional>
#include <optional>

class QPushButton;

namespace tabel {

class WorkerDialog;

// The worker a picker hands back to its opener.
struct PickedWorker {
    int id = 0;
    QString fio; // trimmed
};

// "Список рабочих": the workers directory (mode number 0, with add, change
// and delete) and the worker picker of the production record dialog (mode
// number 1) and of the housekeeping entry dialog (mode number 24).
class WorkersList : public ListWindow {
    Q_OBJECT
public:
    enum : int { RecordPicker = 1, HousekeepingPicker = 24 };

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

    std::optional<PickedWorker> picked() const { return picked_; }

    // The buttons' commands. Throw DbError.
    void addWorker();     // "Добавить"
    void choose();        // second button, double-click, Enter in a picker
    void changeCurrent(); // "Изменить" in directory mode
    void pickCurrent();   // "Выбрать" in a picker
    void deleteCurrent(); // "Удалить"

    WorkerStore& store() { return store_; }
    WorkerDialog* dialog() const { return dialog_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }

    // "Расчётный листок" of the directory: the current worker's statement of
    // the month of the journal's date. Hidden in the pickers, while unset, and
    // for a role that the time sheets are closed to.
    void setPayStatement(std::function<void(int worker, const QDate& month)> show);
    void showPayStatement(); // nothing when the list is empty
    QPushButton* payStatementButton() const { return pay_; }

    // Shows the worker dialog modally; replaceable so that the directory's
    // commands can be driven without a modal loop.
    std::function<int(WorkerDialog&)> runDialog;

    // The store keeps the text, so the list is narrowed again when reread.
    void search(const QString& text) override { store_.search(text); }

protected:
    void activateRow() override { choose(); }

private:
    AppContext& ctx_;
    WorkerStore store_;
    WorkerDialog* dialog_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    QPushButton* pay_;
    std::function<void(int, const QDate&)> pay_action_;
    std::optional<PickedWorker> picked_;
};

} // namespace tabel
