#include "operation_type_dialog.h"

#include "db/messenger.h"
#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tabel {

OperationTypeDialog::OperationTypeDialog(OperationTypeStore& store, Messenger& messenger,
                                         QWidget* parent)
    : QDialog(parent), store_(store), messenger_(messenger) {
    setObjectName("TForm9");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* group = new QGroupBox("Вид операции", this);
    group->setObjectName("GroupBox1");
    name_ = new QLineEdit(group);
    name_->setObjectName("Edit1");
    name_->setMinimumWidth(320);
    name_->setAccessibleName("Операция");
    auto* label = new QLabel("Операция", group);
    label->setBuddy(name_);
    auto* form = new QFormLayout(group);
    form->addRow(label, name_);

    const DialogButtons buttons =
        makeDialogButtons(this, "Записать", "Button1", "Отмена", "Button2", [this] { save(); });
    save_ = buttons.save;
    cancel_ = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons.row);
}

void OperationTypeDialog::beginAdd() {
    mode_ = Add;
    typeId_ = 0;
    shownName_.clear();
    name_->clear();
}

void OperationTypeDialog::beginChange(int typeId, const QString& name) {
    mode_ = Change;
    typeId_ = typeId;
    shownName_ = name;
    name_->setText(name.trimmed());
}

bool OperationTypeDialog::save() {
    int added = 0;
    const Outcome outcome = mode_ == Add ? store_.add(name_->text(), &added)
                                         : store_.rename(typeId_, shownName_, name_->text());
    if (!outcome.done()) {
        if (mode_ == Change)
            store_.types().reopenKeepingRecord("id");
        messenger_.error(outcome.caption, outcome.text);
        return false;
    }
    savedId_ = mode_ == Add ? added : typeId_;
    accept();
    return true;
}

void OperationTypeDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    name_->setFocus();
}

} // namespace tabel
