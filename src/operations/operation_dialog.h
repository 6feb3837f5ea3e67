#pragma once

#include "operations/operation_store.h"
#include "session/context.h"

#include <QDialog>
#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tabel {

// Adds or changes one operation: a product, an operation type and a kind.
// Its prices are its norms, kept by the norms editor. Created once and
// reused.
class OperationDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { Add = 1, Change = 2 };

    // A choice from a picker; id 0 (a choice from an empty list) empties the
    // box, so the dialog refuses to save until something is chosen.
    struct ProductChoice {
        int id = 0;
        QString marka;
    };
    struct TypeChoice {
        int id = 0;
        QString vid;
    };

    explicit OperationDialog(AppContext& ctx, QWidget* parent = nullptr);

    void openNew();    // "Добавить" of the operations list
    void openChange(); // "Изменить": nothing when the list is empty

    // The steps of the openings without the modal loop.
    void prepareNew();
    bool prepareChange(); // from the current row of `Oper`; false when empty

    // Pickers, set by whoever owns the products and operation types lists;
    // nothing comes back when the list was closed without a choice.
    std::function<std::optional<ProductChoice>()> pickProduct;
    std::function<std::optional<TypeChoice>()> pickType;

    void chooseProduct(); // "..." beside "Марка изделия"
    void chooseType();    // "..." beside "Операция"
    // "Записать": writes, rereads `Oper` standing on the operation, and
    // closes; a refusal is shown and the dialog stays. A refused change
    // rereads `Oper` too, so what was written elsewhere is in view. A change
    // is written only over the operation as the list showed it. Throws
    // DbError.
    bool save();

    int mode() const { return mode_; }
    int operationId() const { return operationId_; }
    int productId() const { return productId_; }
    int typeId() const { return typeId_; }

    QLineEdit* productEdit() const { return product_; }
    QLineEdit* typeEdit() const { return type_; }
    QComboBox* kindBox() const { return kind_; }
    QPushButton* productButton() const { return productButton_; }
    QPushButton* typeButton() const { return typeButton_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    AppContext& ctx_;
    OperationStore store_;
    int mode_ = Add;
    int operationId_ = 0;
    int productId_ = 0;
    int typeId_ = 0;
    ShownOperation shown_;

    QLineEdit* product_;
    QPushButton* productButton_;
    QLineEdit* type_;
    QPushButton* typeButton_;
    QComboBox* kind_;
    QPushButton* save_;
    QPushButton* cancel_;
};

} // namespace tabel
