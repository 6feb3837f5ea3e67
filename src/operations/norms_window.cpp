#include "norms_window.h"

#include "operations/norm_price_dialog.h"
#include "operations/norm_prices.h"

#include "db/format.h"
#include "db/numbers.h"
#include "db/sql.h"
#include "kit/error_boxes.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tabel {

namespace {

QString numberText(const QVariant& v) {
    return v.isNull() || !v.isValid() ? QString() : QString::number(v.toLongLong());
}

} // namespace

// --- NormsModel ---

NormsModel::NormsModel(NormStore& store, Messenger& messenger, QObject* parent)
    : QAbstractTableModel(parent), store_(store), messenger_(messenger) {}

void NormsModel::load(int operationId) {
    std::vector<Norm> norms = store_.read(operationId);
    beginResetModel();
    operationId_ = operationId;
    norms_ = std::move(norms);
    blank_ = norms_.empty();
    lastStoreFailed_ = false;
    endResetModel();
}

int NormsModel::normId(int row) const {
    return row >= 0 && row < normCount() ? norms_[row].id : 0;
}

int NormsModel::appendBlank() {
    if (!blank_) {
        beginInsertRows({}, normCount(), normCount());
        blank_ = true;
        endInsertRows();
    }
    return normCount();
}

void NormsModel::dropBlank() {
    if (!blank_ || norms_.empty())
        return;
    beginRemoveRows({}, normCount(), normCount());
    blank_ = false;
    endRemoveRows();
}

NormStore::Field NormsModel::field(int column) {
    switch (column) {
    case NormaColumn:
        return NormStore::Field::Norma;
    case PrizeColumn:
        return NormStore::Field::Prize;
    default:
        return NormStore::Field::Price;
    }
}

int NormsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : normCount() + (blank_ ? 1 : 0);
}

int NormsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QString NormsModel::editText(int row, int column) const {
    if (row < 0 || row >= normCount())
        return {};
    const Norm& n = norms_[row];
    switch (column) {
    case NormaColumn:
        return numberText(n.norma);
    case PrizeColumn:
        return numberText(n.prize);
    default:
        // The exact stored price, for changing it.
        return displayNumber(n.price.isNull() ? QVariant() : QVariant(n.price));
    }
}

QVariant NormsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == PriceColumn) {
            const int row = index.row();
            return row < normCount() ? NormStore::priceText(norms_[row].price) : QString();
        }
        return editText(index.row(), index.column());
    case Qt::EditRole:
        return editText(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant NormsModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section >= 3)
        return QAbstractTableModel::headerData(section, o, role);
    if (role == Qt::DisplayRole)
        return NormStore::caption(field(section));
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags NormsModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool NormsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount())
        return false;
    const int row = index.row();
    const NormStore::Field f = field(index.column());
    const QString typed = value.toString();
    // A cell left as it was costs no statement; "12,50" for 12.5 is as it was.
    const auto before = NormStore::parse(f, editText(row, index.column()));
    const auto after = NormStore::parse(f, typed);
    if (before && after && before->isNull() == after->isNull() &&
        plainDecimal(before->toString()) == plainDecimal(after->toString()))
        return true;
    lastStoreFailed_ = true;
    NormStore::Stored stored;
    bool failed = true;
    guarded([&] {
        stored = store_.store(operationId_, row < normCount() ? norms_[row] : Norm{}, f, typed);
        failed = false;
    });
    if (failed)
        return false; // the database's error is shown
    if (!stored.outcome.done()) {
        messenger_.error(stored.outcome.caption, stored.outcome.text);
        if (after) // valid, so the norm was changed, or it or its operation is gone
            emit staleFound();
        return false;
    }
    lastStoreFailed_ = false;
    if (row == normCount()) {
        norms_.push_back(stored.norm);
        blank_ = false;
    } else {
        norms_[row] = stored.norm;
    }
    emit dataChanged(this->index(row, 0), this->index(row, columnCount() - 1));
    return true;
}

// --- NormsDelegate ---

QWidget* NormsDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                     const QModelIndex&) const {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The cell keeps what is typed; the store reads it and refuses what is
    // not a number of the column.
    open_ = edit;
    return edit;
}

void NormsDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* edit = qobject_cast<QLineEdit*>(editor))
        edit->setText(index.data(Qt::EditRole).toString());
}

void NormsDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                 const QModelIndex& index) const {
    if (auto* edit = qobject_cast<QLineEdit*>(editor))
        model->setData(index, edit->text(), Qt::EditRole);
}

void NormsDelegate::finishEditing() {
    QWidget* editor = open_;
    open_ = nullptr;
    if (!editor)
        return;
    // Both are ignored by the view for an editor it has already closed.
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

// --- NormsGrid ---

QModelIndex NormsGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    auto* norms = qobject_cast<NormsModel*>(model());
    const QModelIndex current = currentIndex();
    if (norms && current.isValid() && current.row() == norms->rowCount() - 1 &&
        !norms->isBlankRow(current.row())) {
        const bool down = action == MoveDown;
        const bool onFromLast = action == MoveNext && current.column() == norms->columnCount() - 1;
        if (down || onFromLast)
            return norms->index(norms->appendBlank(), down ? current.column() : 0);
    }
    return QTableView::moveCursor(action, modifiers);
}

// --- NormsEditor ---

NormsEditor::NormsEditor(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx), store_(ctx.db()) {
    setObjectName("TForm22");
    setWindowTitle("Норматив");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    model_ = new NormsModel(store_, ctx_.messenger, this);
    delegate_ = new NormsDelegate(this);
    grid_ = new NormsGrid(this);
    grid_->setObjectName("DBGrid1");
    grid_->setAccessibleName("Норматив");
    grid_->setModel(model_);
    grid_->setItemDelegate(delegate_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    grid_->verticalHeader()->setVisible(false);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < 3; ++c)
        grid_->setColumnWidth(c, 110);

    // A blank row left without a stored cell is dropped, once the move off
    // it is over.
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (!previous.isValid() || !model_->isBlankRow(previous.row()) ||
                    current.row() == previous.row())
                    return;
                QTimer::singleShot(0, this, [this] {
                    if (!model_->isBlankRow(grid_->currentIndex().row()))
                        model_->dropBlank();
                });
            });
    connect(model_, &NormsModel::staleFound, this, [this] {
        QTimer::singleShot(0, this, [this] { guarded([this] { reloadKeepingRow(); }); });
    });

    save_ = new QPushButton("Сохранить", this);
    save_->setObjectName("Button1");
    save_->setDefault(true);
    delete_ = new QPushButton("Удалить", this);
    delete_->setObjectName("Button2");
    delete_->setAutoDefault(false);
    connect(save_, &QPushButton::clicked, this, [this] { guarded([this] { finish(); }); });
    connect(delete_, &QPushButton::clicked, this, [this] { guarded([this] { deleteCurrent(); }); });
    priceFrom_ = new QPushButton("Цена с даты…", this);
    priceFrom_->setObjectName("PriceFromButton");
    priceFrom_->setAutoDefault(false);
    priceFrom_->setToolTip("Цена нормы с даты и история ее цен");
    priceDialog_ = new NormPriceDialog(ctx_, this);
    connect(priceFrom_, &QPushButton::clicked, this,
            [this] { guarded([this] { openPriceFrom(); }); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(delete_);
    buttons->addWidget(priceFrom_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);
    resize(380, 300);
    setFixedSize(size());
}

void NormsEditor::prepare(int operationId) {
    // A price dated earlier that has come due since is the norm's price now.
    NormPrices(ctx_.db()).catchUp();
    model_->load(operationId);
    grid_->setCurrentIndex(model_->index(0, NormsModel::NormaColumn));
}

void NormsEditor::openFor(int operationId) {
    prepare(operationId);
    exec();
}

bool NormsEditor::finish() {
    model_->clearFailure();
    delegate_->finishEditing();
    if (model_->lastStoreFailed())
        return false;
    ctx_.data.oper().reopenKeepingRecord("id");
    accept();
    return true;
}

void NormsEditor::reject() {
    bool closed = false;
    guarded([&] { closed = finish(); });
    // Closing is refused only to let the user see a refused cell; a list
    // that cannot be read again does not hold the window open.
    if (!closed && !model_->lastStoreFailed())
        QDialog::reject();
}

void NormsEditor::deleteCurrent() {
    delegate_->finishEditing();
    const int row = grid_->currentIndex().row();
    if (row < 0)
        return;
    if (model_->isBlankRow(row)) {
        model_->dropBlank(); // nothing stored yet: the new row is just let go
        return;
    }
    store_.remove(model_->operationId(), model_->normId(row));
    reloadKeepingRow();
}

bool NormsEditor::preparePriceFrom() {
    delegate_->finishEditing();
    const int row = grid_->currentIndex().row();
    if (row < 0 || row >= model_->rowCount() || model_->isBlankRow(row)) {
        ctx_.messenger.error(kNormPriceCaption, "Сначала запишите норму.");
        return false;
    }
    priceDialog_->prepare(
        model_->normId(row),
        QStringLiteral("норматив %1")
            .arg(model_->data(model_->index(row, NormsModel::NormaColumn)).toString()));
    return true;
}

void NormsEditor::openPriceFrom() {
    if (!preparePriceFrom())
        return;
    priceDialog_->exec();
    reloadKeepingRow();
}

void NormsEditor::reloadKeepingRow() {
    const QModelIndex current = grid_->currentIndex();
    model_->reload();
    const int row = std::clamp(current.row(), 0, std::max(model_->rowCount() - 1, 0));
    grid_->setCurrentIndex(model_->index(row, std::max(current.column(), 0)));
}

void NormsEditor::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    grid_->setFocus();
}

} // namespace tabel
