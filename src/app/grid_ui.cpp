#include "grid_ui.h"

#include "db/format.h"

#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLocale>
#include <QStyledItemDelegate>
#include <QTableView>

namespace tabel {

GridModel::GridModel(QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {}

void GridModel::setDataset(Dataset* dataset) {
    beginResetModel();
    for (const auto& c : links_)
        disconnect(c);
    links_.clear();
    dataset_ = dataset;
    if (dataset_) {
        links_ << connect(dataset_, &QAbstractItemModel::modelAboutToBeReset, this,
                          &GridModel::beginResetModel);
        links_ << connect(dataset_, &QAbstractItemModel::modelReset, this,
                          &GridModel::endResetModel);
    }
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !dataset_ ? 0 : dataset_->count();
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!dataset_ || !index.isValid() || index.column() >= columns_.size())
        return {};
    const GridColumn& col = columns_[index.column()];
    const QVariant raw = dataset_->value(index.row(), col.field);
    switch (role) {
    case Qt::DisplayRole:
        if (col.decimals >= 0 && !raw.isNull() && raw.isValid()) {
            QLocale locale;
            locale.setNumberOptions(QLocale::OmitGroupSeparator);
            return locale.toString(raw.toDouble(), 'f', col.decimals);
        }
        return displayValue(raw, col.numeric);
    case Qt::EditRole:
        return raw;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(col.align);
    case Qt::ForegroundRole:
        if (col.foreground) {
            const QColor c = col.foreground(raw);
            if (c.isValid())
                return c;
        }
        return {};
    case Qt::FontRole:
        if (col.bold) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || section < 0 || section >= columns_.size())
        return QAbstractTableModel::headerData(section, o, role);
    if (role == Qt::DisplayRole)
        return columns_[section].title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role == Qt::FontRole) {
        QFont f;
        f.setBold(true);
        return f;
    }
    return {};
}

namespace {
// Cells keep their own text colour when their row is selected, so an "OK"
// mark stays green or red under the selection.
class ColourKeepingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant fg = index.data(Qt::ForegroundRole);
        if (fg.canConvert<QColor>() && fg.value<QColor>().isValid())
            option->palette.setColor(QPalette::HighlightedText, fg.value<QColor>());
    }
};
} // namespace

void bindGrid(QTableView* view, GridModel* model) {
    view->setModel(model);
    view->setItemDelegate(new ColourKeepingDelegate(view));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view->horizontalHeader()->setHighlightSections(false);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    for (int i = 0; i < model->columns().size(); ++i) {
        const GridColumn& c = model->columns()[i];
        if (c.width > 0)
            view->setColumnWidth(i, c.width);
        view->setColumnHidden(i, c.hidden);
    }
    auto syncFromDataset = [view, model] {
        Dataset* ds = model->dataset();
        const int row = ds ? ds->currentRow() : -1;
        if (row < 0) {
            view->selectionModel()->clearSelection();
            return;
        }
        if (view->currentIndex().row() != row)
            view->selectRow(row);
    };
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, view,
                     [model](const QModelIndex& current) {
                         if (Dataset* ds = model->dataset(); ds && current.isValid())
                             ds->setCurrentRow(current.row());
                     });
    QObject::connect(model, &QAbstractItemModel::modelReset, view, syncFromDataset);
    // Datasets can be swapped (the journal shows one shift list at a time),
    // so the current-row link follows whichever dataset the model shows.
    auto link = std::make_shared<QMetaObject::Connection>();
    auto relink = [view, model, link, syncFromDataset] {
        QObject::disconnect(*link);
        if (Dataset* ds = model->dataset())
            *link = QObject::connect(ds, &Dataset::currentRowChanged, view,
                                     [syncFromDataset](int) { syncFromDataset(); });
        syncFromDataset();
    };
    QObject::connect(model, &QAbstractItemModel::modelReset, view, relink);
    relink();
}

} // namespace tabel
