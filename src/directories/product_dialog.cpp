#include "product_dialog.h"

#include "db/format.h"
#include "db/messenger.h"
#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tabel {

ProductDialog::ProductDialog(ProductStore& store, Messenger& messenger, QWidget* parent)
    : QDialog(parent), store_(store), messenger_(messenger) {
    setObjectName("TForm7");
    setWindowTitle("Изделие");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    mark_ = new QLineEdit(this);
    mark_->setObjectName("Edit1");
    rate_ = new QLineEdit(this);
    rate_->setObjectName("Edit2");
    group_ = new QComboBox(this);
    group_->setObjectName("cb_item");
    // The drop-down has no label of its own; a screen reader still names it.
    group_->setAccessibleName("Номенклатурная группа");
    group_->setMaxVisibleItems(12);
    // The dialog keeps its width whatever the groups' names: the box is as
    // wide as 30 characters; the open list is as wide as the names need, as
    // far as the screen allows.
    group_->setMinimumContentsLength(30);
    group_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto* form = new QFormLayout;
    auto row = [this, form](const char* caption, QLineEdit* field) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(field);
        field->setAccessibleName(QString::fromUtf8(caption));
        form->addRow(label, field);
    };
    row("Марка", mark_);
    row("Расценка", rate_);
    form->addRow(group_);

    const DialogButtons buttons = makeDialogButtons(this, "Записать", "SaveButton", "Отмена",
                                                    "CancelButton", [this] { save(); });
    save_ = buttons.save;
    cancel_ = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons.row);
}

void ProductDialog::reloadGroups() {
    const QVariant chosen = group_->currentIndex() >= 0 ? group_->currentData() : QVariant();
    group_->clear();
    for (const ProductGroup& g : store_.groups())
        group_->addItem(g.caption, g.id);
    group_->setCurrentIndex(chosen.isValid() ? group_->findData(chosen) : -1);
}

void ProductDialog::beginAdd() {
    mode_ = Add;
    productId_ = 0;
    shown_ = {};
    // Only a group the user can see is carried over to a new product.
    keptGroup_ = 0;
    mark_->clear();
    rate_->clear();
    reloadGroups();
}

void ProductDialog::beginChange(int productId, const ShownProduct& shown) {
    mode_ = Change;
    productId_ = productId;
    shown_ = shown;
    mark_->setText(shown.mark.toString().trimmed());
    rate_->setText(displayNumber(shown.rate).trimmed());
    reloadGroups();
    const qint64 groupId = shown.groupId.toLongLong();
    const int index = groupId != 0 ? group_->findData(groupId) : -1;
    group_->setCurrentIndex(index);
    keptGroup_ = index < 0 ? groupId : 0;
}

qint64 ProductDialog::chosenGroup() const {
    return group_->currentIndex() >= 0 ? group_->currentData().toLongLong() : keptGroup_;
}

bool ProductDialog::save() {
    ProductInput in;
    in.mode = mode_;
    in.productId = productId_;
    in.mark = mark_->text();
    in.rate = rate_->text();
    in.groupId = chosenGroup();
    in.shown = shown_;
    const Outcome outcome = store_.save(in);
    if (!outcome.done()) {
        if (mode_ == Change)
            store_.products().reopenKeepingRecord("id");
        messenger_.error(outcome.caption, outcome.text);
        return false;
    }
    accept();
    return true;
}

void ProductDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    mark_->setFocus();
}

} // namespace tabel
