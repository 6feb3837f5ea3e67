#include "grid_model.h"

#include "db/format.h"
#include "db/numbers.h"

#include <QFont>
#include <QLocale>

namespace tabel {

QString cellText(const GridColumn& col, const QVariant& raw, const QLocale& shown) {
    if (col.decimals >= 0 && !raw.isNull() && raw.isValid()) {
        QLocale locale = shown;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        // Amounts arrive as the database's text and are rounded as text.
        if (raw.metaType().id() == QMetaType::QString)
            return fixedDecimal(raw.toString(), col.decimals, locale);
        return locale.toString(raw.toDouble(), 'f', col.decimals);
    }
    return displayValue(raw, col.numeric, shown);
}

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
    return columnData(col, dataset_->value(index.row(), col.field), role);
}

QVariant GridModel::columnData(const GridColumn& col, const QVariant& raw, int role) const {
    switch (role) {
    case Qt::DisplayRole:
        return cellText(col, raw);
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
    case Qt::BackgroundRole:
        if (col.background.isValid())
            return col.background;
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

} // namespace tabel
