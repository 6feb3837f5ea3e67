#include "repeat_shift_dialog.h"

#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tabel {

namespace {

const QColor kEarlierColour(110, 110, 110);

QTableWidgetItem* cell(const QString& text, bool editable) {
    auto* item = new QTableWidgetItem(text);
    if (!editable) {
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        item->setForeground(kEarlierColour);
    }
    return item;
}

} // namespace

RepeatShiftDialog::RepeatShiftDialog(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx) {
    setObjectName("TFormRepeatShift");
    setWindowTitle("Повторить смену");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* top = new QHBoxLayout;
    auto* fioLabel = new QLabel("ФИО", this);
    fio_ = new QLineEdit(this);
    fio_->setObjectName("EditWorker");
    fio_->setReadOnly(true);
    fio_->setFocusPolicy(Qt::NoFocus);
    fio_->setMinimumWidth(240);
    fio_->setAccessibleName(fioLabel->text());
    fioLabel->setBuddy(fio_);
    workerButton_ = new QPushButton("...", this);
    workerButton_->setObjectName("ButtonWorker");
    workerButton_->setAccessibleName("Выбрать работника");
    workerButton_->setToolTip("Выбрать работника (F4, Enter)");
    workerButton_->setAutoDefault(true);
    workerButton_->setFixedWidth(30);
    sourceLabel_ = new QLabel(this);
    sourceLabel_->setObjectName("LabelSource");
    top->addWidget(fioLabel);
    top->addWidget(fio_);
    top->addWidget(workerButton_);
    top->addSpacing(20);
    top->addWidget(sourceLabel_, 1);

    table_ = new QTableWidget(0, 7, this);
    table_->setObjectName("GridLines");
    table_->setAccessibleName("Позиции смены");
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                            QAbstractItemView::EditKeyPressed);
    table_->verticalHeader()->hide();
    table_->setToolTip("Кол-во, часы и брак вводятся в строке (F2 или сразу цифры); "
                       "Delete убирает строку, Enter записывает все, Esc отменяет");
    // Every column in sight at once: the earlier day's numbers are there to
    // be read beside the new ones, not scrolled to.
    table_->setColumnWidth(Operation, 340);
    for (int c = Color; c <= EarlierHours; ++c)
        table_->setColumnWidth(c, c >= EarlierQuantity ? 110 : 80);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumWidth(340 + 4 * 80 + 2 * 110 + 30);
    table_->setMinimumHeight(260);

    auto* bar = new QHBoxLayout;
    remove_ = new QPushButton("Убрать строку", this);
    remove_->setObjectName("ButtonRemoveLine");
    remove_->setToolTip("Убрать строку из записи (Delete)");
    remove_->setAutoDefault(false);
    bar->addWidget(remove_);
    const DialogButtons buttons = makeDialogButtons(this, "Записать", "ButtonSave", "Отмена",
                                                    "ButtonCancel", [this] { save(); });
    save_ = buttons.save;
    save_->setToolTip("Записать все строки (Enter)");
    buttons.cancel->setToolTip("Отмена (Esc)");
    bar->addLayout(buttons.row, 1);

    connect(workerButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseWorker(); }); });
    // Enter in a cell being typed into is kept by the table; here it saves.
    table_->installEventFilter(this);
    connect(remove_, &QPushButton::clicked, this, [this] { removeLine(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(bar);
}

void RepeatShiftDialog::prepareNew() {
    Dataset& list = ctx_.currentShiftList();
    if (!list.isEmpty() && !list.current("id").toString().isEmpty())
        setWorker(list.current("w_id").toInt(), list.current("fio").toString().trimmed());
    else
        setWorker(0, QString());
}

void RepeatShiftDialog::openNew() {
    prepareNew();
    if (workerId_ == 0)
        workerButton_->setFocus();
    else
        table_->setFocus();
    exec();
}

void RepeatShiftDialog::setWorker(int id, const QString& fio) {
    workerId_ = id;
    fio_->setText(fio);
    source_ = id == 0 ? RepeatSource{}
                      : lastShiftOf(ctx_.db(), id, ctx_.state.shift, ctx_.state.pickedDate);
    const QString to = ctx_.state.pickedDate.toString("dd.MM.yyyy");
    if (id == 0)
        sourceLabel_->setText("Выберите работника (F4)");
    else if (!source_.date.isValid())
        sourceLabel_->setText(
            QStringLiteral("Нет записей в смене %1 до %2").arg(ctx_.state.shift).arg(to));
    else
        sourceLabel_->setText(QStringLiteral("Смена %1: с %2 на %3")
                                  .arg(ctx_.state.shift)
                                  .arg(source_.date.toString("dd.MM.yyyy"), to));
    fillTable();
}

void RepeatShiftDialog::fillTable() {
    const QString earlier = source_.date.toString("dd.MM");
    table_->setHorizontalHeaderLabels({"Изделие; операция", "Цвет", "Кол-во", "Часы", "Брак",
                                       QStringLiteral("Кол-во %1").arg(earlier),
                                       QStringLiteral("Часы %1").arg(earlier)});
    table_->setRowCount(0);
    for (const RepeatLine& l : source_.lines) {
        const int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, Operation, cell(l.operationText, false));
        table_->setItem(row, Color, cell(l.color, false));
        table_->setItem(row, Quantity, cell(l.quantity, true));
        table_->setItem(row, Hours, cell(l.hours, true));
        table_->setItem(row, Rejects, cell(l.rejects, true));
        table_->setItem(row, EarlierQuantity, cell(l.earlierQuantity, false));
        table_->setItem(row, EarlierHours, cell(l.earlierHours, false));
    }
    if (table_->rowCount() > 0)
        table_->setCurrentCell(0, Quantity);
}

QList<RepeatLine> RepeatShiftDialog::lines() const {
    QList<RepeatLine> out = source_.lines;
    for (int row = 0; row < out.size(); ++row) {
        out[row].quantity = table_->item(row, Quantity)->text();
        out[row].hours = table_->item(row, Hours)->text();
        out[row].rejects = table_->item(row, Rejects)->text();
    }
    return out;
}

void RepeatShiftDialog::chooseWorker() {
    if (!pickWorker)
        return;
    if (const auto w = pickWorker())
        setWorker(w->id, w->fio.trimmed());
    workerButton_->setFocus();
}

void RepeatShiftDialog::removeLine() {
    const int row = table_->currentRow();
    if (row < 0 || row >= source_.lines.size())
        return;
    // What was typed in the other lines stays.
    const QList<RepeatLine> typed = lines();
    source_.lines = typed;
    source_.lines.removeAt(row);
    fillTable();
    if (table_->rowCount() > 0)
        table_->setCurrentCell(std::min(row, table_->rowCount() - 1), Quantity);
}

bool RepeatShiftDialog::save() {
    // A cell still being typed into counts as typed: Enter reaches the
    // dialog before the cell's editor hands its text over.
    if (QWidget* editor = QApplication::focusWidget();
        editor && table_->viewport()->isAncestorOf(editor))
        emit table_->itemDelegate()->commitData(editor);
    const int shift = ctx_.state.shift;
    const RepeatResult result =
        saveRepeatedShift(ctx_.db(), workerId_, fio_->text(), lines(), ctx_.state.pickedDate, shift,
                          ctx_.state.dayOff, QDate::currentDate());
    if (!result.saved()) {
        if (result.refusedLine >= 0)
            table_->setCurrentCell(result.refusedLine, Quantity);
        ctx_.messenger.error(result.outcome.caption, result.outcome.text);
        return false;
    }
    ctx_.data.shiftList(shift).reopenKeepingRecord("id");
    accept();
    return true;
}

bool RepeatShiftDialog::eventFilter(QObject* o, QEvent* e) {
    if (o == table_ && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            guarded([this] { save(); });
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}

void RepeatShiftDialog::keyPressEvent(QKeyEvent* e) {
    // The worker is the one box with a picker, wherever the focus is.
    if (e->key() == Qt::Key_F4) {
        guarded([this] { chooseWorker(); });
        return;
    }
    if (e->key() == Qt::Key_Delete && focusWidget() == table_) {
        removeLine();
        return;
    }
    QDialog::keyPressEvent(e);
}

} // namespace tabel
