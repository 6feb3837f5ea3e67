#include "worker_dialog.h"

#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace tabel {

namespace {

void fill(QComboBox* box, const QList<CaptionItem>& items) {
    const QVariant chosen = box->currentIndex() >= 0 ? box->currentData() : QVariant();
    box->clear();
    for (const CaptionItem& item : items)
        box->addItem(item.caption, item.id);
    // The choice survives the rereading as long as its row still exists.
    box->setCurrentIndex(chosen.isValid() ? box->findData(chosen) : -1);
}

} // namespace

WorkerDialog::WorkerDialog(WorkerStore& store, QWidget* parent) : QDialog(parent), store_(store) {
    setObjectName("TForm2");
    setWindowTitle("Работники");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    name_ = new QLineEdit(this);
    name_->setObjectName("Edit1");
    auto combo = [this](const char* name) {
        auto* box = new QComboBox(this);
        box->setObjectName(name);
        box->setMaxVisibleItems(10);
        box->setMinimumContentsLength(30);
        return box;
    };
    department_ = combo("DBLookupComboBox1");
    connect(department_, &QComboBox::activated, this, [this] { departmentTouched_ = true; });
    staffPos_ = combo("DBLookupComboBox2");
    role_ = combo("DBLookupComboBox3");

    auto* form = new QFormLayout;
    auto row = [this, form](const char* caption, QWidget* field) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(field);
        field->setAccessibleName(QString::fromUtf8(caption));
        form->addRow(label, field);
    };
    row("ФИО", name_);
    row("Подразделение", department_);
    row("Должность", staffPos_);
    row("Роль", role_);

    const DialogButtons buttons = makeDialogButtons(this, "Записать", "SaveButton", "Отмена",
                                                    "CancelButton", [this] { save(); });
    save_ = buttons.save;
    cancel_ = buttons.cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons.row);

    // The wheel turned anywhere over the dialog steps the focused drop-down.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

void WorkerDialog::reloadLists() {
    fill(department_, store_.departments());
    fill(staffPos_, store_.staffPositions());
    fill(role_, store_.roles());
}

void WorkerDialog::beginAdd() {
    name_->clear();
    mode_ = Add;
    workerId_ = 0;
    shown_ = {};
    reloadLists();
}

void WorkerDialog::beginChange(int workerId, const QString& fio, const QString& department) {
    mode_ = Change;
    reloadLists();
    name_->setText(fio.trimmed());
    workerId_ = workerId;
    shown_ = {fio, department};
    // The worker's own department when the list has it; the stored text is
    // kept unless the user picks another one in this opening.
    // Another worker's choice from an earlier use is not shown for this one.
    department_->setCurrentIndex(department_->findText(department.trimmed()));
    departmentTouched_ = false;
}

QString WorkerDialog::departmentText() const {
    return department_->currentIndex() >= 0 ? department_->currentText() : QString();
}

bool WorkerDialog::save() {
    const bool written =
        mode_ == Add
            ? store_.add(name_->text(), departmentText())
            : store_.change(workerId_, shown_, name_->text(),
                            departmentTouched_ ? std::optional(departmentText()) : std::nullopt);
    if (written)
        accept();
    else if (mode_ == Change)
        store_.workers().reopenKeepingRecord("id");
    return written;
}

void WorkerDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    name_->setFocus();
}

bool WorkerDialog::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::Wheel) {
        auto* box = qobject_cast<QComboBox*>(focusWidget());
        const int dy = static_cast<QWheelEvent*>(e)->angleDelta().y();
        if (box && (box == department_ || box == staffPos_ || box == role_) && dy != 0) {
            const int next = box->currentIndex() + (dy < 0 ? 1 : -1);
            if (next >= 0 && next < box->count())
                box->setCurrentIndex(next);
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}

} // namespace tabel
