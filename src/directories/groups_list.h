#pragma once

#include "directories/group_store.h"
#include "kit/list_window.h"
#include "session/context.h"

#include <functional>
#include <optional>

class QPushButton;

namespace tabel {

class GroupDialog;

// The nomenclature group a picker hands back to its opener.
struct PickedGroup {
    qint64 id = 0;
    QString caption; // as stored
};

// "Номенклатура (26)": the directory of nomenclature groups (mode number 0,
// with add, change and delete) and the group picker of the housekeeping
// entry dialog (mode number 24), which offers only the groups in use.
// Created once and reused; the search text stays from one use to the next.
class GroupsList : public ListWindow {
    Q_OBJECT
public:
    enum : int { HousekeepingPicker = 24 };
    static constexpr int kNormalWidth = 585;
    static constexpr int kPickerWidth = 460;

    explicit GroupsList(AppContext& ctx, QWidget* parent = nullptr);

    // Menu "Ном. группы": the directory, shown modally; the list is closed
    // when it returns. Throws DbError.
    void openDirectory();
    // The picker of the dialog numbered `modeNumber`, shown modally, without
    // the groups not in use. Nothing when the list was empty or closed
    // without a choice. Throws DbError.
    std::optional<PickedGroup> pick(int modeNumber = HousekeepingPicker);

    // The steps of the two openings before and after the modal loop.
    void prepareDirectory();
    void preparePicker(int modeNumber);
    void finish();

    std::optional<PickedGroup> picked() const { return picked_; }

    // The buttons' commands. Throw DbError.
    void addGroup();      // "Добавить"
    void choose();        // second button, double-click, Enter in a picker
    void changeCurrent(); // "Изменить" in directory mode
    void pickCurrent();   // "Выбрать" in a picker
    void deleteCurrent(); // "Удалить"

    GroupStore& store() { return store_; }
    GroupDialog* dialog() const { return dialog_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }

    // Shows the group dialog modally; replaceable so that the directory's
    // commands can be driven without a modal loop.
    std::function<int(GroupDialog&)> runDialog;

    // The store keeps the text, so the list is narrowed again when reread.
    void search(const QString& text) override { store_.search(text); }

protected:
    void activateRow() override { choose(); }

private:
    void setWidth(int width);

    AppContext& ctx_;
    GroupStore store_;
    GroupDialog* dialog_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    std::optional<PickedGroup> picked_;
};

} // namespace tabel
