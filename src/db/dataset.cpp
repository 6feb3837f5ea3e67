#include "dataset.h"

#include "sql.h"

#include <QSqlRecord>

namespace tabel {

ResultRows readAll(QSqlQuery& q) {
    ResultRows result;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        result.fields << rec.fieldName(i);
    while (q.next()) {
        std::vector<QVariant> row;
        row.reserve(result.fields.size());
        for (int i = 0; i < result.fields.size(); ++i)
            row.push_back(q.value(i));
        result.rows.push_back(std::move(row));
    }
    return result;
}

Dataset::Dataset(QSqlDatabase db, QString name, QString sql, QObject* parent)
    : QAbstractTableModel(parent), db_(std::move(db)), name_(std::move(name)),
      sql_(std::move(sql)) {}

void Dataset::setSql(const QString& sql) {
    sql_ = sql;
}

void Dataset::setParam(const QString& name, const QVariant& value) {
    params_[name] = value;
}

void Dataset::open() {
    if (open_)
        return;
    QSqlQuery q = exec(db_, sql_, params_, precision());
    ResultRows result = readAll(q);
    openWith(std::move(result.fields), std::move(result.rows));
}

void Dataset::openWith(QStringList fields, std::vector<std::vector<QVariant>> rows) {
    if (open_)
        close();
    beginResetModel();
    fields_ = fields;
    rows_ = std::move(rows);
    open_ = true;
    rebuildVisible();
    current_ = visible_.empty() ? -1 : 0;
    endResetModel();
    emit currentRowChanged(current_);
}

void Dataset::close() {
    if (!open_)
        return;
    beginResetModel();
    open_ = false;
    rows_.clear();
    visible_.clear();
    current_ = -1;
    endResetModel();
    emit currentRowChanged(current_);
}

void Dataset::reopen() {
    close();
    open();
}

void Dataset::reopenKeepingPosition() {
    if (!open_)
        return; // nobody is looking at it
    const int row = current_;
    reopen();
    if (row >= 0 && !visible_.empty())
        setCurrentRow(std::min(row, count() - 1));
}

void Dataset::reopenKeepingRecord(const QString& keyField) {
    if (!open_)
        return;
    const int row = current_;
    const QVariant key = row >= 0 ? value(row, keyField) : QVariant();
    reopen();
    if (visible_.empty() || row < 0)
        return;
    if (!key.isValid() || !locate(keyField, key))
        setCurrentRow(std::min(row, count() - 1));
}

void Dataset::setFilter(RowFilter filter) {
    beginResetModel();
    filter_ = std::move(filter);
    rebuildVisible();
    current_ = visible_.empty() ? -1 : 0;
    endResetModel();
    emit currentRowChanged(current_);
}

void Dataset::clearFilter() {
    if (!filter_)
        return;
    setFilter({});
}

void Dataset::rebuildVisible() {
    visible_.clear();
    visible_.reserve(rows_.size());
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (!filter_ || filter_(*this, i))
            visible_.push_back(i);
}

int Dataset::fieldIndex(const QString& field) const {
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_[i].compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Dataset::value(int row, int column) const {
    if (row < 0 || row >= count() || column < 0 || column >= fields_.size())
        return {};
    return rows_[visible_[row]][column];
}

QVariant Dataset::sourceValue(int sourceRow, const QString& field) const {
    const int col = fieldIndex(field);
    if (sourceRow < 0 || sourceRow >= static_cast<int>(rows_.size()) || col < 0)
        return {};
    return rows_[sourceRow][col];
}

QVariant Dataset::value(int row, const QString& field) const {
    return value(row, fieldIndex(field));
}

void Dataset::setCurrentRow(int row) {
    if (visible_.empty())
        row = -1;
    else
        row = std::clamp(row, 0, count() - 1);
    if (row == current_)
        return;
    current_ = row;
    emit currentRowChanged(current_);
}

bool Dataset::locate(const QString& field, const QVariant& v) {
    const int col = fieldIndex(field);
    for (int r = 0; r < count(); ++r) {
        if (value(r, col) == v || value(r, col).toString() == v.toString()) {
            setCurrentRow(r);
            return true;
        }
    }
    return false;
}

int Dataset::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int Dataset::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(fields_.size());
}

QVariant Dataset::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    return value(index.row(), index.column());
}

QVariant Dataset::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole)
        return fields_.value(section);
    return QAbstractTableModel::headerData(section, o, role);
}

} // namespace tabel
