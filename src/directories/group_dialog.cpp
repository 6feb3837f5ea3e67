#include "group_dialog.h"

#include "db/messenger.h"
#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tabel {

GroupDialog::GroupDialog(GroupStore& store, Messenger& messenger, QWidget* parent)
    : QDialog(parent), store_(store), messenger_(messenger) {
    setObjectName("TForm29");
    setWindowTitle("Ведение групп (29)");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* group = new QGroupBox("Номенклатурная группа", this);
    group->setObjectName("GroupBox1");
    name_ = new QLineEdit(group);
    name_->setObjectName("Edit1");
    name_->setMinimumWidth(360);
    name_->setAccessibleName("Наименование");
    // Tab passes the name by; a click, or the opening, puts the focus in it.
    name_->setFocusPolicy(Qt::ClickFocus);
    auto* label = new QLabel("Наименование", group);
    label->setBuddy(name_);
    excluded_ = new QCheckBox("Не используется", group);
    excluded_->setObjectName("CheckBox1");
    auto* form = new QFormLayout(group);
    form->addRow(label, name_);
    form->addRow(QString(), excluded_);

    const DialogButtons buttons =
        makeDialogButtons(this, "Записать", "Button1", "Выход", "Button2", [this] { save(); });
    save_ = buttons.save;
    exit_ = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void GroupDialog::beginAdd() {
    mode_ = Add;
    groupId_ = 0;
    shown_ = {};
    name_->clear();
}

void GroupDialog::beginChange(qint64 groupId, const ShownGroup& shown) {
    mode_ = Change;
    groupId_ = groupId;
    shown_ = shown;
    name_->setText(shown.caption.toString().trimmed());
    excluded_->setChecked(shown.excluded.toInt() != 0);
}

bool GroupDialog::save() {
    const bool excluded = excluded_->isChecked();
    qint64 added = 0;
    const Outcome outcome = mode_ == Add ? store_.add(name_->text(), excluded, &added)
                                         : store_.change(groupId_, shown_, name_->text(), excluded);
    if (!outcome.done()) {
        if (mode_ == Change)
            store_.items().reopenKeepingRecord("id");
        messenger_.error(outcome.caption, outcome.text);
        return false;
    }
    savedId_ = mode_ == Add ? added : groupId_;
    accept();
    return true;
}

void GroupDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    name_->setFocus();
}

} // namespace tabel
