#pragma once

#include "kit/list_window.h"
#include "operations/operation_type_store.h"
#include "session/context.h"

#include <functional>
#include <optional>

class QPushButton;

namespace tabel {

class OperationTypeDialog;

// The operation type a picker hands back to its opener.
struct PickedOperationType {
    int id = 0;
    QString vid; // trimmed
};

// "Виды операций (8)": the directory of operation types (mode number 0, with
// add, change and delete) and the type picker of the operation dialog (mode
// number 1), over the shared `Vid_oper` list.
class OperationTypesList : public ListWindow {
    Q_OBJECT
public:
    enum : int { OperationPicker = 1 };

    explicit OperationTypesList(AppContext& ctx, QWidget* parent = nullptr);

    // Menu "Операции": the directory, shown modally; `Vid_oper` is closed
    // when it returns. Throws DbError.
    void openDirectory();
    // The picker of the dialog numbered `modeNumber`, shown modally. Nothing
    // when the list was empty or closed without a choice. Throws DbError.
    std::optional<PickedOperationType> pick(int modeNumber = OperationPicker);

    // The steps of the two openings before and after the modal loop.
    void prepareDirectory();
    void preparePicker(int modeNumber);
    void finish();

    std::optional<PickedOperationType> picked() const { return picked_; }

    // The buttons' commands. Throw DbError.
    void addType();       // "Добавить"
    void choose();        // second button, double-click, Enter in a picker
    void changeCurrent(); // "Изменить" in directory mode
    void pickCurrent();   // "Выбрать" in a picker
    void deleteCurrent(); // "Удалить"

    OperationTypeStore& store() { return store_; }
    OperationTypeDialog* dialog() const { return dialog_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }

    // Shows the type dialog modally; replaceable so that the directory's
    // commands can be driven without a modal loop.
    std::function<int(OperationTypeDialog&)> runDialog;

protected:
    void activateRow() override { choose(); }

private:
    AppContext& ctx_;
    OperationTypeStore store_;
    OperationTypeDialog* dialog_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    std::optional<PickedOperationType> picked_;
};

} // namespace tabel
