#include "housekeeping_dialog.h"

#include "db/format.h"
#include "db/numbers.h"
#include "housekeeping/housekeeping_journal.h"
#include "housekeeping/housekeeping_rules.h"
#include "kit/dialog_buttons.h"
#include "kit/error_boxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tabel {

HousekeepingDialog::HousekeepingDialog(AppContext& ctx, HousekeepingJournal& journal,
                                       QWidget* parent)
    : QDialog(parent), ctx_(ctx), journal_(journal),
      typeList_(HousekeepingRules::makeTypes(ctx.db())) {
    setObjectName("TForm24");
    setWindowTitle("Хоз. работы/среднесдельная (24)");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);

    auto* frame = new QGroupBox("Закрыто мастером", this);
    auto* column = new QVBoxLayout(frame);
    auto picked = [this, column](const char* caption, const char* name, const char* buttonName,
                                 const char* accessible) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setAccessibleName(label->text());
        label->setBuddy(edit);
        auto* button = new QPushButton("...", this);
        button->setObjectName(buttonName);
        button->setAccessibleName(QString::fromUtf8(accessible));
        button->setAutoDefault(true);
        button->setFixedWidth(30);
        auto* line = new QHBoxLayout;
        line->setSpacing(2);
        line->addWidget(edit);
        line->addWidget(button);
        column->addWidget(label);
        column->addLayout(line);
        return std::pair{edit, button};
    };
    const auto [workerEdit, workerButton] = picked("ФИО", "Edit1", "Button3", "Выбрать работника");
    const auto [groupEdit, groupButton] =
        picked("Номенклатура", "Edit2", "Button4", "Выбрать номенклатурную группу");
    worker_ = workerEdit;
    group_ = groupEdit;
    groupButton_ = groupButton;
    worker_->setMinimumWidth(420);

    type_ = new QComboBox(this);
    type_->setObjectName("cb_type_work");
    type_->setAccessibleName("Вид работы");
    hours_ = new QLineEdit("0", this);
    hours_->setObjectName("Edit3");
    hours_->setAccessibleName("Часы");
    hours_->setMaximumWidth(70);
    price_ = new QLineEdit(this);
    price_->setObjectName("Edit4");
    price_->setAccessibleName("Цена");
    sum_ = new QLineEdit(this);
    sum_->setObjectName("Edit5");
    sum_->setAccessibleName("Сумма");
    for (QLineEdit* e : {price_, sum_}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        e->setMaximumWidth(90);
    }
    auto* line = new QHBoxLayout;
    line->addWidget(type_, 1);
    line->addWidget(hours_);
    line->addWidget(new QLabel("ч.    Цена", this));
    line->addWidget(price_);
    line->addWidget(new QLabel("р.    Сумма", this));
    line->addWidget(sum_);
    column->addLayout(line);
    night_ = new QCheckBox("Ночные", this);
    night_->setObjectName("CheckBox1");
    column->addWidget(night_);

    const DialogButtons buttons =
        makeDialogButtons(this, "Записать", "Button1", "Выход", "Button2", [this] { save(); });
    save_ = buttons.save;
    exit_ = buttons.cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(workerButton, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseWorker(); }); });
    connect(groupButton, &QPushButton::clicked, this,
            [this] { guarded([this] { chooseGroup(); }); });
    // The sum follows the hours as they are typed and the chosen type.
    connect(hours_, &QLineEdit::textChanged, this, [this] { recompute(); });
    connect(type_, &QComboBox::currentIndexChanged, this, [this] { recompute(); });
}

HousekeepingDialog::~HousekeepingDialog() = default;

void HousekeepingDialog::openTypes(const QDate& day) {
    typeList_->close();
    typeList_->setParam("day", day.isValid() ? day : QDate::currentDate());
    typeList_->open();
    types_.clear();
    for (int r = 0; r < typeList_->count(); ++r) {
        TypeRow row{typeList_->value(r, "id").toInt(),
                    typeList_->value(r, "vid").toString().trimmed(),
                    typeList_->value(r, "price").toString()};
        // Norms of one rate are one choice: they price alike.
        const bool seen = std::any_of(types_.begin(), types_.end(), [&](const TypeRow& t) {
            return t.id == row.id && sameDecimal(t.price, row.price);
        });
        if (!seen)
            types_.push_back(row);
    }
    QSignalBlocker quiet(type_);
    type_->clear();
    for (const TypeRow& t : types_)
        addTypeItem(t);
}

void HousekeepingDialog::addTypeItem(const TypeRow& t) {
    // Two norms of one type of work differ only by their rate.
    QString text = t.name + QStringLiteral(" — ") + rateText(t.price);
    if (t.kept)
        text += QStringLiteral(" (цена позиции)");
    type_->addItem(text, t.id);
}

void HousekeepingDialog::closeTypes() {
    typeList_->close();
}

void HousekeepingDialog::prepareNew() {
    mode_ = 0;
    entryId_ = 0;
    version_.clear();
    worker_->clear();
    group_->clear();
    workerId_ = 0;
    groupId_ = 0;
    hours_->setText("0");
    night_->setChecked(false);
    night_->setEnabled(true);
    selectType(kHousekeepingWork);
}

void HousekeepingDialog::prepareChange(const ShownEntry& entry) {
    mode_ = 1;
    entryId_ = entry.id;
    version_ = entry.version;
    worker_->setText(entry.fio.trimmed());
    group_->setText(entry.group.trimmed());
    hours_->setText(QString::number(entry.hours));
    workerId_ = entry.workerId;
    groupId_ = entry.groupId;
    night_->setChecked(entry.night);
    // The night flag of an existing entry stays as it was entered.
    night_->setEnabled(false);

    // The rate the entry was priced from: the one that gives its price with
    // the flags it was saved with.
    int own = -1;
    for (std::size_t i = 0; i < types_.size() && own < 0; ++i) {
        const TypeRow& t = types_[i];
        const auto priced = hourPrice(t.price, entry.dayOff, entry.night);
        if (t.id == entry.type && priced && sameDecimal(*priced, entry.price))
            own = static_cast<int>(i);
    }
    if (own < 0) {
        // Its norm changed or went since, or the average-piecework
        // recalculation priced it: another rate would reprice it unasked.
        types_.push_back({entry.type, entry.typeName.trimmed(), entry.price, true});
        QSignalBlocker quiet(type_);
        addTypeItem(types_.back());
        own = static_cast<int>(types_.size()) - 1;
        ctx_.messenger.inform(QStringLiteral("Цена"),
                              keptPriceMessage(entry.typeName, entry.price));
    }
    type_->setCurrentIndex(own);
    recompute();
}

void HousekeepingDialog::selectType(int type) {
    type_->setCurrentIndex(type_->findData(type));
    recompute();
}

const HousekeepingDialog::TypeRow* HousekeepingDialog::currentType() const {
    const int i = type_->currentIndex();
    return i >= 0 && i < static_cast<int>(types_.size()) ? &types_[i] : nullptr;
}

void HousekeepingDialog::recompute() {
    const TypeRow* t = currentType();
    if (!t) {
        price_->clear();
        sum_->clear();
        return;
    }
    price_->setText(displayNumber(t->price));
    // Hours that the save would refuse show no sum.
    const QString typed = hours_->text().trimmed().isEmpty() ? "0" : hours_->text();
    const auto hours = wholeNumber(typed, kMaxEntryHours);
    const auto sum = hours ? decimalProduct(QString::number(*hours), t->price) : std::nullopt;
    sum_->setText(sum ? displayNumber(*sum) : QString());
}

void HousekeepingDialog::chooseWorker() {
    if (!pickWorker)
        return;
    if (const auto w = pickWorker()) {
        worker_->setText(w->fio.trimmed());
        workerId_ = w->id;
        // On to the next box to fill, so the keys go on from the pick.
        groupButton_->setFocus();
    }
}

void HousekeepingDialog::chooseGroup() {
    if (!pickGroup)
        return;
    if (const auto g = pickGroup()) {
        group_->setText(g->caption);
        groupId_ = g->id;
        // The type of work comes set to housekeeping; the hours are typed next.
        hours_->setFocus();
        hours_->selectAll();
    }
}

bool HousekeepingDialog::save() {
    EntryInput in;
    in.mode = mode_;
    in.entryId = mode_ == 1 ? entryId_ : 0;
    in.version = version_;
    in.workerId = workerId_;
    in.groupId = groupId_;
    const TypeRow* t = currentType();
    in.type = t ? t->id : 0;
    in.normPrice = t ? t->price : QString();
    in.keepPrice = t && t->kept;
    in.hours = hours_->text();
    in.dayOff = journal_.dayOff();
    in.night = night_->isChecked();
    in.date = journal_.pickedDate();
    in.shift = journal_.shift();
    const Outcome o = HousekeepingRules(ctx_.db()).save(in);
    if (!o.done()) {
        // A changed entry gone or written elsewhere: the list shows what
        // there is now.
        if (in.mode == 1 && (o.text == kEntryGone || o.text == kEntryChanged))
            journal_.refreshKeepingPosition();
        ctx_.messenger.error(o.caption, o.text);
        return false;
    }
    journal_.refreshKeepingPosition();
    accept();
    return true;
}

} // namespace tabel
