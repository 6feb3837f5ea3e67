#include "operation_dialog.h"

#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <tuple>

namespace tabel {

OperationDialog::OperationDialog(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx), store_(ctx.db()) {
    setObjectName("TForm10");
    setWindowTitle("Заведение новой цены за операцию");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* group = new QGroupBox("Цена операции", this);
    group->setObjectName("GroupBox1");
    auto* grid = new QGridLayout(group);
    auto label = [this, grid](const char* caption, QWidget* field, int row) {
        auto* l = new QLabel(QString::fromUtf8(caption), this);
        l->setBuddy(field);
        field->setAccessibleName(l->text());
        grid->addWidget(l, row, 0);
    };
    auto picked = [this, grid, &label](const char* caption, const char* name,
                                       const char* buttonName, const char* accessible, int row) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setMinimumWidth(300);
        label(caption, edit, row);
        auto* button = new QPushButton("...", this);
        button->setObjectName(buttonName);
        button->setAccessibleName(QString::fromUtf8(accessible));
        // Enter on a focused "..." opens its picker, as a click would.
        button->setAutoDefault(true);
        button->setFixedWidth(30);
        auto* box = new QHBoxLayout;
        box->setSpacing(2);
        box->addWidget(edit);
        box->addWidget(button);
        grid->addLayout(box, row, 1);
        return std::pair{edit, button};
    };
    std::tie(product_, productButton_) =
        picked("Марка изделия", "Edit1", "Button3", "Выбрать изделие", 0);
    std::tie(type_, typeButton_) =
        picked("Операция", "Edit2", "Button4", "Выбрать вид операции", 1);
    kind_ = new QComboBox(this);
    kind_->setObjectName("ComboBox1");
    kind_->addItems({"Готовая продукция", "Заготовки"});
    label("Вид", kind_, 2);
    grid->addWidget(kind_, 2, 1, Qt::AlignLeft);

    const DialogButtons buttons =
        makeDialogButtons(this, "Записать", "Button1", "Отмена", "Button2", [this] { save(); });
    save_ = buttons.save;
    cancel_ = buttons.cancel;
    connect(productButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseProduct(); }); });
    connect(typeButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseType(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(productButton_, typeButton_);
    setTabOrder(typeButton_, kind_);
    setTabOrder(kind_, save_);
    setTabOrder(save_, cancel_);
}

void OperationDialog::prepareNew() {
    product_->clear();
    type_->clear();
    kind_->setCurrentIndex(0);
    setWindowTitle("Заведение новой цены за операцию");
    mode_ = Add;
    operationId_ = 0;
    productId_ = 0;
    typeId_ = 0;
    shown_ = {};
}

void OperationDialog::openNew() {
    prepareNew();
    exec();
}

bool OperationDialog::prepareChange() {
    Dataset& oper = ctx_.data.oper();
    if (oper.isEmpty())
        return false;
    setWindowTitle("Изменение данных о цене за операцию");
    mode_ = Change;
    operationId_ = oper.current("id").toInt();
    product_->setText(oper.current("marka").toString().trimmed());
    type_->setText(oper.current("vid").toString().trimmed());
    // Any code but 0 is shown as blanks.
    kind_->setCurrentIndex(oper.current("naimen").toInt() == 0 ? 0 : 1);
    productId_ = oper.current("i_id").toInt();
    typeId_ = oper.current("oper_vid").toInt();
    shown_ = {oper.current("i_id"), oper.current("oper_vid"), oper.current("naimen")};
    return true;
}

void OperationDialog::openChange() {
    if (prepareChange())
        exec();
}

void OperationDialog::chooseProduct() {
    if (!pickProduct)
        return;
    if (const auto p = pickProduct()) {
        productId_ = p->id;
        product_->setText(p->id != 0 ? p->marka.trimmed() : QString());
        product_->setCursorPosition(0);
    }
}

void OperationDialog::chooseType() {
    if (!pickType)
        return;
    if (const auto t = pickType()) {
        typeId_ = t->id;
        type_->setText(t->id != 0 ? t->vid.trimmed() : QString());
        type_->setCursorPosition(0);
    }
}

bool OperationDialog::save() {
    OperationInput in;
    in.mode = mode_;
    in.operationId = operationId_;
    in.productId = productId_;
    in.productText = product_->text();
    in.typeId = typeId_;
    in.typeText = type_->text();
    in.kind = kind_->currentIndex() == 1 ? 1 : 0;
    in.shown = shown_;
    const OperationStore::Saved saved = store_.save(in);
    if (!saved.outcome.done()) {
        if (mode_ == Change && ctx_.data.oper().isOpen())
            ctx_.data.oper().reopenKeepingRecord("id");
        ctx_.messenger.error(saved.outcome.caption, saved.outcome.text);
        return false;
    }
    // The list stands on the operation written, so a new one can be given
    // its first norm straight away.
    Dataset& oper = ctx_.data.oper();
    if (oper.isOpen()) {
        oper.reopen();
        oper.locate("id", saved.operationId);
    }
    accept();
    return true;
}

void OperationDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    productButton_->setFocus();
}

void OperationDialog::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        productButton_->setFocus();
}

} // namespace tabel
