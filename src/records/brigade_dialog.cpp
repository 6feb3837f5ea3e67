#include "brigade_dialog.h"

#include "db/format.h"
#include "db/numbers.h"
#include "db/sql.h"
#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"
#include "records/price_rules.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tabel {

namespace {

// A КТУ as the window shows it: "1,00", or as typed when it is no КТУ.
QString ktuShown(const QString& typed) {
    const auto ktu = ktuHundredths(typed);
    return ktu ? fixedDecimal(hundredthsText(*ktu), 2) : typed;
}

QTableWidgetItem* fixedItem(const QString& text, Qt::Alignment align = Qt::AlignRight) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    item->setTextAlignment(align | Qt::AlignVCenter);
    return item;
}

} // namespace

BrigadeDialog::BrigadeDialog(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName("TFormBrigade");
    setWindowTitle(QString::fromUtf8(kBrigadeCaption));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    place_ = new QLabel(this);
    place_->setObjectName("LabelPlace");

    auto* grid = new QGridLayout;
    auto field = [this, grid](const char* caption, const char* name, int col, bool readOnly) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(edit);
        edit->setAccessibleName(label->text());
        if (readOnly) {
            edit->setReadOnly(true);
            edit->setFocusPolicy(Qt::NoFocus);
        }
        grid->addWidget(label, 0, col);
        grid->addWidget(edit, 1, col);
        return std::pair{edit, label};
    };
    operation_ = field("Операция", "EditOperation", 0, true).first;
    operation_->setMinimumWidth(360);
    operationButton_ = new QPushButton("...", this);
    operationButton_->setObjectName("ButtonOperation");
    operationButton_->setAccessibleName("Выбрать операцию");
    operationButton_->setAutoDefault(true);
    operationButton_->setFixedWidth(30);
    grid->addWidget(operationButton_, 1, 1);
    quantity_ = field("Кол-во", "EditQuantity", 2, false).first;
    rejects_ = field("Брак", "EditRejects", 3, false).first;
    auto colour = field("Цвет", "EditColor", 4, false);
    color_ = colour.first;
    colorLabel_ = colour.second;
    price_ = field("Цена итог", "EditPrice", 5, true).first;
    for (QLineEdit* e : {quantity_, rejects_, color_, price_})
        e->setMaximumWidth(100);

    members_ = new QTableWidget(0, 6, this);
    members_->setObjectName("GridMembers");
    members_->setAccessibleName("Участники наряда");
    members_->setHorizontalHeaderLabels({"Работник", "Часы", "КТУ", "Кол-во", "Брак", "Сумма"});
    members_->horizontalHeader()->setSectionResizeMode(Worker, QHeaderView::Stretch);
    members_->verticalHeader()->hide();
    members_->setSelectionBehavior(QAbstractItemView::SelectRows);
    members_->setSelectionMode(QAbstractItemView::SingleSelection);
    members_->setMinimumSize(640, 240);
    // Hours and КТУ are typed straight into the cell, as in a spreadsheet.
    members_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                              QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);

    addWorker_ = new QPushButton("Добавить работника", this);
    addWorker_->setObjectName("ButtonAddMember");
    removeWorker_ = new QPushButton("Убрать", this);
    removeWorker_->setObjectName("ButtonRemoveMember");
    for (QPushButton* b : {addWorker_, removeWorker_})
        b->setAutoDefault(true);
    auto* memberButtons = new QHBoxLayout;
    memberButtons->addWidget(addWorker_);
    memberButtons->addWidget(removeWorker_);
    memberButtons->addStretch();
    totals_ = new QLabel(this);
    totals_->setObjectName("LabelTotals");
    totals_->setWordWrap(true);
    memberButtons->addWidget(totals_, 1);

    const DialogButtons buttons = makeDialogButtons(this, "Записать", "ButtonSave", "Отмена",
                                                    "ButtonCancel", [this] { save(); });

    connect(operationButton_, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseOperation(); }); });
    connect(addWorker_, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseWorker(); }); });
    connect(removeWorker_, &QPushButton::clicked, this, [this] { removeCurrentMember(); });
    for (QLineEdit* e : {quantity_, rejects_, color_})
        connect(e, &QLineEdit::textChanged, this, [this] { recompute(); });
    connect(members_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == Ktu) {
            // "1.5" from the keypad's point shows as "1,50", as the others do.
            const QSignalBlocker block(members_);
            item->setText(ktuShown(item->text()));
        }
        recompute();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(place_);
    layout->addLayout(grid);
    layout->addWidget(members_, 1);
    layout->addLayout(memberButtons);
    layout->addLayout(buttons.row);
}

void BrigadeDialog::prepareNew() {
    jobId_ = 0;
    version_.clear();
    date_ = ctx_.state.pickedDate;
    shift_ = ctx_.state.shift;
    dayOff_ = ctx_.state.dayOff;
    productId_ = operationId_ = 0;
    finalPrice_ = 0;
    {
        const QSignalBlocker block(members_);
        members_->setRowCount(0);
    }
    for (QLineEdit* e : {operation_, quantity_, color_, price_})
        e->clear();
    rejects_->setText("0");
    setWindowTitle(QString::fromUtf8(kBrigadeCaption));
    applyColorRule();
    recompute();
}

bool BrigadeDialog::prepareChange(int jobId) {
    const auto job = BrigadeJobs(ctx_.db()).load(jobId);
    if (!job)
        return false;
    jobId_ = job->id;
    version_ = job->version;
    date_ = job->date;
    shift_ = job->shift;
    dayOff_ = job->dayOff;
    productId_ = job->productId;
    operationId_ = job->operationId;
    finalPrice_ = job->price;
    operation_->setText(job->operationText);
    operation_->setCursorPosition(0);
    // Numbers as the database writes them ("3.333") show as the journal
    // shows them, with the locale's decimal comma.
    quantity_->setText(displayNumber(plainDecimal(job->quantity)));
    rejects_->setText(QString::number(job->rejects));
    {
        const QSignalBlocker block(members_);
        members_->setRowCount(0);
    }
    applyColorRule();
    if (isPainting(job->operationText))
        color_->setText(QString::number(job->color));
    for (const BrigadeJob::Member& m : job->members)
        addMember(m.workerId, m.fio, QString::number(m.hours), m.ktu);
    setWindowTitle(QStringLiteral("%1 № %2").arg(QString::fromUtf8(kBrigadeCaption)).arg(jobId));
    recompute();
    return true;
}

void BrigadeDialog::openNew() {
    prepareNew();
    exec();
}

void BrigadeDialog::openChange(int jobId) {
    if (!prepareChange(jobId)) {
        ctx_.messenger.error(kErrorCaption, kBrigadeGone);
        return;
    }
    exec();
}

void BrigadeDialog::chooseOperation() {
    if (!pickOperation)
        return;
    if (const auto op = pickOperation(operationId_)) {
        applyOperation(*op);
        // The quantity is what is typed next.
        quantity_->setFocus();
        quantity_->selectAll();
    }
}

void BrigadeDialog::applyOperation(const RecordDialog::OperationChoice& op) {
    productId_ = op.productId;
    operationId_ = op.operationId;
    // The price rule of a single record, with the job's day-off mark and shift.
    finalPrice_ = tabel::finalPrice(op.basePrice, dayOff_, shift_);
    operation_->setText(operationTextOf(ctx_.db(), op.productId, op.vid, op.naimen));
    operation_->setCursorPosition(0);
    applyColorRule();
    recompute();
}

void BrigadeDialog::applyColorRule() {
    const bool painting = isPainting(operation_->text());
    color_->setEnabled(painting);
    colorLabel_->setEnabled(painting);
    if (!painting)
        color_->clear();
}

void BrigadeDialog::chooseWorker() {
    if (!pickWorker)
        return;
    if (const auto w = pickWorker()) {
        addMember(w->id, w->fio.trimmed());
        // The new member's hours are typed next.
        members_->setFocus();
    }
}

void BrigadeDialog::addMember(int workerId, const QString& fio, const QString& hours,
                              const QString& ktu) {
    {
        const QSignalBlocker block(members_);
        const int row = members_->rowCount();
        members_->insertRow(row);
        QTableWidgetItem* who = fixedItem(fio, Qt::AlignLeft);
        who->setData(Qt::UserRole, workerId);
        members_->setItem(row, Worker, who);
        auto* h = new QTableWidgetItem(hours);
        h->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        members_->setItem(row, Hours, h);
        auto* k = new QTableWidgetItem(ktuShown(ktu));
        k->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        members_->setItem(row, Ktu, k);
        for (int c : {Quantity, Rejects, Pay})
            members_->setItem(row, c, fixedItem(QString()));
        members_->setCurrentCell(row, Hours);
    }
    recompute();
}

void BrigadeDialog::removeCurrentMember() {
    const int row = members_->currentRow();
    if (row < 0)
        return;
    {
        const QSignalBlocker block(members_);
        members_->removeRow(row);
    }
    recompute();
}

BrigadeJobInput BrigadeDialog::input() const {
    BrigadeJobInput in;
    in.jobId = jobId_;
    in.version = version_;
    in.date = date_;
    in.shift = shift_;
    in.dayOff = dayOff_;
    in.productId = productId_;
    in.operationId = operationId_;
    in.finalPrice = finalPrice_;
    in.operationText = operation_->text();
    in.quantity = quantity_->text();
    in.rejects = rejects_->text();
    in.color = color_->text();
    for (int r = 0; r < members_->rowCount(); ++r)
        in.members.push_back({members_->item(r, Worker)->data(Qt::UserRole).toInt(),
                              members_->item(r, Worker)->text(), members_->item(r, Hours)->text(),
                              members_->item(r, Ktu)->text()});
    return in;
}

void BrigadeDialog::recompute() {
    place_->setText(QStringLiteral("Дата: %1, смена: %2%3")
                        .arg(date_.toString("dd.MM.yyyy"))
                        .arg(shift_ == 4 ? QStringLiteral("переработка") : QString::number(shift_))
                        .arg(dayOff_ ? QStringLiteral(", выходной") : QString()));
    price_->setText(operationId_ ? displayDouble(round4(finalPrice_)) : QString());
    BrigadePlan plan;
    const Outcome o = planBrigadeJob(input(), plan);
    const QSignalBlocker block(members_);
    const bool split = o.done();
    for (int r = 0; r < members_->rowCount(); ++r) {
        members_->item(r, Quantity)
            ->setText(split ? displayNumber(thousandthsText(plan.split.shares[r].quantity))
                            : QString());
        members_->item(r, Rejects)
            ->setText(split ? QString::number(plan.split.shares[r].rejects) : QString());
        members_->item(r, Pay)->setText(split ? displayNumber(kopecksText(plan.pay[r]))
                                              : QString());
    }
    if (split) {
        totals_->setText(QStringLiteral("Итого: кол-во %1, брак %2, сумма %3 р.")
                             .arg(displayNumber(thousandthsText(plan.total)))
                             .arg(plan.rejects)
                             .arg(displayNumber(kopecksText(plan.totalPay))));
        return;
    }
    // A job still being filled in is no error: the line says what the
    // split waits for, and "Записать" alone refuses what is missing.
    const QStringList needed = stillNeeded();
    totals_->setText(needed.isEmpty()
                         ? o.text
                         : QStringLiteral("Для расчёта укажите: %1.").arg(needed.join(", ")));
}

QStringList BrigadeDialog::stillNeeded() const {
    QStringList needed;
    if (operation_->text().trimmed().isEmpty())
        needed << QStringLiteral("операцию");
    if (quantity_->text().trimmed().isEmpty())
        needed << QStringLiteral("количество");
    if (rejects_->text().trimmed().isEmpty())
        needed << QStringLiteral("брак");
    if (color_->isEnabled() && color_->text().trimmed().isEmpty())
        needed << QStringLiteral("цвет");
    if (members_->rowCount() == 0)
        needed << QStringLiteral("работников");
    return needed;
}

void BrigadeDialog::keyPressEvent(QKeyEvent* e) {
    // Enter in a member's cell ends the cell's typing. As the dialog's
    // default key it would save the job before the cell's new value is in.
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && members_->isAncestorOf(QApplication::focusWidget())) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void BrigadeDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    operationButton_->setFocus();
}

bool BrigadeDialog::save() {
    const BrigadeJobs::Result result = BrigadeJobs(ctx_.db()).save(input(), QDate::currentDate());
    Dataset& list = ctx_.data.shiftList(shift_);
    if (!result.saved()) {
        if (result.status == BrigadeJobs::Status::Stale ||
            result.status == BrigadeJobs::Status::Missing)
            list.reopenKeepingRecord("id");
        ctx_.messenger.error(result.outcome.caption, result.outcome.text);
        return false;
    }
    jobId_ = result.jobId;
    list.reopenKeepingRecord("id");
    accept();
    return true;
}

} // namespace tabel
