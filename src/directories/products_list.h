#pragma once

#include "directories/product_store.h"
#include "kit/list_window.h"
#include "session/context.h"

#include <functional>
#include <optional>

class QPushButton;

namespace tabel {

class ProductDialog;

// The product a picker hands back to its opener.
struct PickedProduct {
    int id = 0;
    QString marka; // trimmed
};

// "Изделия (3)": the products directory (mode number 0, with add, change and
// delete) and the product picker of the operation dialog (mode number 1).
// Created once and reused.
class ProductsList : public ListWindow {
    Q_OBJECT
public:
    enum : int { OperationPicker = 1 };

    explicit ProductsList(AppContext& ctx, QWidget* parent = nullptr);

    // Menu "Изделия": the directory, shown modally; `Izdel` is closed when it
    // returns.
    void openDirectory();
    // The picker of the dialog numbered `modeNumber`, shown modally. Nothing
    // when the list was empty or closed without a choice.
    std::optional<PickedProduct> pick(int modeNumber);

    // The steps of the two openings before and after the modal loop.
    void prepareDirectory();
    void preparePicker(int modeNumber);
    void finish();

    std::optional<PickedProduct> picked() const { return picked_; }

    // The buttons' commands. Throw DbError.
    void addProduct();    // "Добавить"
    void choose();        // second button, double-click, Enter in a picker
    void changeCurrent(); // "Изменить" in directory mode
    void pickCurrent();   // "Выбрать" in a picker
    void deleteCurrent(); // "Удалить"

    ProductStore& store() { return store_; }
    ProductDialog* dialog() const { return dialog_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }

    // Shows the product dialog modally; replaceable so that the directory's
    // commands can be driven without a modal loop.
    std::function<int(ProductDialog&)> runDialog;

    // The store keeps the text, so the list is narrowed again when reread.
    void search(const QString& text) override { store_.search(text); }

protected:
    void activateRow() override { choose(); }

private:
    AppContext& ctx_;
    ProductStore store_;
    ProductDialog* dialog_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    std::optional<PickedProduct> picked_;
};

} // namespace tabel
