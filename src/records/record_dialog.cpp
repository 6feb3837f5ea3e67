#include "record_dialog.h"

#include "db/format.h"
#include "db/numbers.h"
#include "db/sql.h"
#include "kit/date_box.h"
#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"
#include "records/brigade_job.h"
#include "records/price_rules.h"
#include "records/record_saver.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tabel {

RecordDialog::RecordDialog(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName("TForm11");
    setWindowTitle("Заведение новой позиции (11)");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* group = new QGroupBox("Закрыто мастером", this);
    auto* grid = new QGridLayout(group);
    auto field = [this, grid](const char* caption, const char* name, int row, int col,
                              bool readOnly) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(edit);
        edit->setAccessibleName(label->text());
        if (readOnly) {
            edit->setReadOnly(true);
            edit->setFocusPolicy(Qt::NoFocus);
        }
        grid->addWidget(label, row * 2, col);
        grid->addWidget(edit, row * 2 + 1, col);
        return std::pair{edit, label};
    };
    auto withButton = [this, grid](QLineEdit* edit, const char* name, int row, int col,
                                   const char* accessible) {
        auto* button = new QPushButton("...", this);
        button->setObjectName(name);
        button->setAccessibleName(QString::fromUtf8(accessible));
        // A focused button takes Enter: the foreman who presses it on "..."
        // expects the picker, not a saved record.
        button->setAutoDefault(true);
        button->setFixedWidth(30);
        auto* box = new QHBoxLayout;
        box->setSpacing(2);
        grid->removeWidget(edit);
        box->addWidget(edit);
        box->addWidget(button);
        grid->addLayout(box, row * 2 + 1, col);
        return button;
    };

    fio_ = field("ФИО", "Edit1", 0, 0, true).first;
    fio_->setMinimumWidth(240);
    workerButton_ = withButton(fio_, "Button3", 0, 0, "Выбрать работника");
    operation_ = field("Операция", "Edit2", 0, 1, true).first;
    operation_->setMinimumWidth(360);
    operationButton_ = withButton(operation_, "Button4", 0, 1, "Выбрать операцию");
    quantity_ = field("Кол-во", "Edit3", 0, 2, false).first;
    hours_ = field("Время", "Edit6", 0, 3, false).first;
    auto colour = field("Цвет", "Edit5", 0, 4, false);
    color_ = colour.first;
    colorLabel_ = colour.second;

    date_ = new DateBox(QDate::currentDate(), this);
    date_->setObjectName("DTimeP");
    auto* dateLabel = new QLabel("Дата", this);
    dateLabel->setBuddy(date_);
    date_->setAccessibleName(dateLabel->text());
    grid->addWidget(dateLabel, 2, 0);
    grid->addWidget(date_, 3, 0);
    rejects_ = field("Брак", "Edit4", 1, 1, false).first;
    basePriceBox_ = field("Цена база", "Edit8", 1, 2, true).first;
    finalPriceBox_ = field("Цена итог", "Edit7", 1, 3, true).first;
    sum_ = field("Сумма", "Edit9", 1, 4, true).first;

    color_->setEnabled(false); // until a painting operation is chosen
    colorLabel_->setEnabled(false);
    date_->setMaximumWidth(130);
    // The number boxes keep what is typed; the save reads them and refuses
    // what is not a whole number of the field.
    for (QLineEdit* e : {quantity_, hours_, color_, rejects_})
        e->setMaximumWidth(90);

    const DialogButtons buttons =
        makeDialogButtons(this, "Запись", "Button1", "Отмена", "Button2", [this] { save(); });
    save_ = buttons.save;
    cancel_ = buttons.cancel;
    // The keys, where the mouse user looks for them.
    save_->setToolTip("Записать позицию (Enter)");
    cancel_->setToolTip("Отмена (Esc)");
    for (QWidget* w : {static_cast<QWidget*>(fio_), static_cast<QWidget*>(workerButton_)})
        w->setToolTip("Выбрать работника (F4 или Enter на «...»)");
    for (QWidget* w : {static_cast<QWidget*>(operation_), static_cast<QWidget*>(operationButton_)})
        w->setToolTip("Выбрать изделие и операцию (F4 или Enter на «...»)");
    connect(workerButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseWorker(); }); });
    connect(operationButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseOperation(); }); });

    for (QObject* o : {static_cast<QObject*>(fio_), static_cast<QObject*>(operation_),
                       static_cast<QObject*>(quantity_), static_cast<QObject*>(hours_)})
        o->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(workerButton_, operationButton_);
    setTabOrder(operationButton_, quantity_);
    setTabOrder(quantity_, hours_);
    setTabOrder(hours_, color_);
    setTabOrder(color_, date_);
    setTabOrder(date_, rejects_);
    setTabOrder(rejects_, save_);
    setTabOrder(save_, cancel_);
}

void RecordDialog::prepareNew() {
    date_->setDate(ctx_.state.pickedDate);
    for (QLineEdit* e : {fio_, operation_, quantity_, color_})
        e->clear();
    rejects_->setText("0");
    hours_->setText("0");
    setWindowTitle("Заведение новой позиции (11)");
    mode_ = 1;
    recordId_ = 0;
    basePrice_ = 0;
}

void RecordDialog::openNew() {
    prepareNew();
    exec();
}

bool RecordDialog::prepareChange() {
    Dataset& list = ctx_.currentShiftList();
    if (list.isEmpty())
        return false;
    setWindowTitle("Изменение данных о позиции (11)");
    mode_ = 2;
    basePrice_ = 0;
    recordId_ = list.current("id").toInt();
    version_ = list.current("row_version").toString();
    finalPrice_ = list.current("cena").toDouble();
    // The quantity goes into its box exactly as the database holds it; a
    // value the box cannot hold (a fraction written by another application)
    // is shown as it is and refused by the save rather than changed.
    const QString quantity = plainDecimal(list.current("kol_vo").toString());
    finalPriceBox_->setText(displayDouble(round4(finalPrice_)));
    sum_->setText(displayDouble(round4(quantity.toDouble() * finalPrice_)));
    date_->setDate(list.current("data").toDate());
    fio_->setText(list.current("fio").toString().trimmed());
    const QString vid = list.current("vid").toString().trimmed();
    operation_->setText(
        operationText(list.current("marka").toString(), vid, list.current("naimen").toInt()));
    quantity_->setText(quantity);
    rejects_->setText(list.current("brak").toString().trimmed());
    workerId_ = list.current("w_id").toInt();
    productId_ = list.current("i_id").toInt();
    operationId_ = list.current("o_id").toInt();
    hours_->setText(QString::number(list.current("time").toInt()));
    // Only the operation type decides here; a pick tests the whole text.
    applyColorRule(vid, list.current("color"));
    return true;
}

void RecordDialog::openChange() {
    Dataset& list = ctx_.currentShiftList();
    const int row = list.currentRow();
    if (!list.isEmpty() && openBrigadeJob) {
        if (const auto job = brigadeJobOfRecord(ctx_.db(), list.current("id").toInt())) {
            ctx_.messenger.inform(kBrigadeCaption,
                                  brigadeRecordText(*job) + QStringLiteral(" Открывается наряд."));
            openBrigadeJob(*job);
            list.setCurrentRow(row);
            return;
        }
    }
    if (!prepareChange())
        return;
    exec();
    list.setCurrentRow(row);
}

void RecordDialog::applyColorRule(const QString& text, const QVariant& color) {
    const bool painting = isPainting(text);
    color_->setEnabled(painting);
    colorLabel_->setEnabled(painting);
    if (!painting)
        color_->clear();
    else if (color.isValid())
        color_->setText(color.isNull() ? QString() : QString::number(color.toInt()));
}

void RecordDialog::chooseWorker() {
    if (!pickWorker)
        return;
    if (const auto w = pickWorker()) {
        fio_->setText(w->fio.trimmed());
        workerId_ = w->id;
        // On to the next box to fill, so the keys go on from the pick.
        operationButton_->setFocus();
        return;
    }
    workerButton_->setFocus();
}

void RecordDialog::chooseOperation() {
    if (!pickOperation)
        return;
    const int current = mode_ == 1 ? 0 : ctx_.currentShiftList().current("o_id").toInt();
    const auto op = pickOperation(current);
    if (op)
        applyOperation(*op);
    applyColorRule(operation_->text(), {});
    recompute();
    if (!op) {
        operationButton_->setFocus();
        return;
    }
    // The quantity is what is typed next; what it held is typed over.
    quantity_->setFocus();
    quantity_->selectAll();
}

void RecordDialog::applyOperation(const OperationChoice& op) {
    productId_ = op.productId;
    operationId_ = op.operationId;
    basePrice_ = op.basePrice;
    // The day-off box and the shift count as they are at the moment of the pick.
    finalPrice_ = tabel::finalPrice(op.basePrice, ctx_.state.dayOff, ctx_.state.shift);
    operation_->setText(operationTextOf(ctx_.db(), op.productId, op.vid, op.naimen));
    operation_->setCursorPosition(0);
}

void RecordDialog::recompute() {
    if (hours_->text().isEmpty())
        hours_->setText("0");
    if (quantity_->text().isEmpty())
        quantity_->setText("0");
    finalPriceBox_->setText(displayDouble(round4(finalPrice_)));
    basePriceBox_->setText(displayDouble(round4(basePrice_)));
    // A quantity that is no number yet shows no sum; the save says why.
    const auto quantity = wholeNumber(quantity_->text(), kMaxQuantity);
    sum_->setText(quantity ? displayDouble(round4(double(*quantity) * finalPrice_)) : QString());
}

bool RecordDialog::save() {
    RecordInput in;
    in.mode = mode_;
    in.recordId = recordId_;
    in.version = version_;
    in.workerId = workerId_;
    in.productId = productId_;
    in.operationId = operationId_;
    in.finalPrice = finalPrice_;
    in.fio = fio_->text();
    in.operationText = operation_->text();
    in.quantity = quantity_->text();
    in.rejects = rejects_->text();
    in.color = color_->text();
    in.hours = hours_->text();
    in.date = date_->date();
    const int shift = ctx_.state.shift;
    const RecordSaver::Result result = RecordSaver(ctx_.db()).save(in, shift, QDate::currentDate());
    if (!result.saved()) {
        // A record changed or deleted elsewhere: the list shows what there
        // is now, so the user can see what happened.
        if (result.status == RecordSaver::Status::Stale ||
            (result.status == RecordSaver::Status::Missing && in.mode == 2))
            ctx_.data.shiftList(shift).reopenKeepingRecord("id");
        ctx_.messenger.error(result.outcome.caption, result.outcome.text);
        return false;
    }
    ctx_.data.shiftList(shift).reopenKeepingRecord("id");
    for (QLineEdit* e : {fio_, operation_, quantity_, rejects_, color_, hours_, finalPriceBox_,
                         basePriceBox_, sum_})
        e->clear();
    accept();
    return true;
}

void RecordDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    workerButton_->setFocus();
}

void RecordDialog::keyPressEvent(QKeyEvent* e) {
    // F4 opens the picker of the box whose "..." has the focus; the boxes
    // themselves take no focus, so their buttons stand for them.
    if (e->key() == Qt::Key_F4) {
        QWidget* f = focusWidget();
        if (f == workerButton_ || f == fio_)
            guarded([this] { chooseWorker(); });
        else if (f == operationButton_ || f == operation_)
            guarded([this] { chooseOperation(); });
        return;
    }
    QDialog::keyPressEvent(e);
}

bool RecordDialog::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress) {
        if (o == fio_) {
            QTimer::singleShot(0, this, [this] { guarded([this] { chooseWorker(); }); });
            return true;
        }
        if (o == operation_) {
            QTimer::singleShot(0, this, [this] { guarded([this] { chooseOperation(); }); });
            return true;
        }
    }
    if (e->type() == QEvent::FocusOut && (o == quantity_ || o == hours_))
        recompute();
    return QDialog::eventFilter(o, e);
}

} // namespace tabel
