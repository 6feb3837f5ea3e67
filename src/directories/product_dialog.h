#pragma once

#include "directories/product_store.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tabel {

class Messenger;

// "Изделие": adds or changes one product; its opener sets the caption. The
// group drop-down keeps its choice from one use to the next, so a new
// product starts with the group chosen last.
class ProductDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { Add = 1, Change = 2 };

    ProductDialog(ProductStore& store, Messenger& messenger, QWidget* parent = nullptr);

    // Set the dialog up for a new product: empty mark and rate, groups read
    // again.
    void beginAdd();
    // Set the dialog up for changing a product as the list shows it: its
    // trimmed mark, its rate in the user's number format, its group. A group
    // no longer offered (excluded from use) leaves the drop-down empty and is
    // kept unless another is chosen. The change is written only over the
    // product as shown.
    void beginChange(int productId, const ShownProduct& shown);
    // Reads the groups in use again, keeping the choice while it is offered.
    void reloadGroups();

    // "Записать": writes and closes the dialog; a refusal is shown and the
    // dialog stays with its contents. A refused change rereads the list
    // behind it, so what was written elsewhere is in view. Throws DbError.
    bool save();

    int mode() const { return mode_; }
    int productId() const { return productId_; }
    // The group the product gets: the drop-down's choice, or the kept group.
    qint64 chosenGroup() const;

    QLineEdit* markEdit() const { return mark_; }
    QLineEdit* rateEdit() const { return rate_; }
    QComboBox* groupBox() const { return group_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    ProductStore& store_;
    Messenger& messenger_;
    QLineEdit* mark_;
    QLineEdit* rate_;
    QComboBox* group_;
    QPushButton* save_;
    QPushButton* cancel_;
    int mode_ = Add;
    int productId_ = 0;
    ShownProduct shown_;
    qint64 keptGroup_ = 0;
};

} // namespace tabel
