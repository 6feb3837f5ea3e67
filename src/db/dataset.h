#pragma once

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <vector>

class QSqlQuery;

namespace tabel {

// Every row of an executed query, with its field names.
struct ResultRows {
    QStringList fields;
    std::vector<std::vector<QVariant>> rows;
};
ResultRows readAll(QSqlQuery& query);

// A column of rows that a statement hands over as one JSON text, and the type
// the driver gives such a column when it hands rows over one by one. The
// driver hands a null of a `text` column over as a QVariant of no type, and
// any other null as a null of its column's type.
struct JsonColumn {
    QString name;
    QMetaType::Type type;
    bool untypedNull = false;
};

// The rows of an executed query whose one value is a JSON array of rows, each
// an array of the `columns`' values in order (null, a number, or a string:
// dates as JSON writes them, text exactly). Every value becomes the QVariant
// the driver would have made of it, a null one of the column's type; the
// driver converts a row's values at some 13 µs a row, a list of thousands of
// rows arrives as one text in a fraction of that. Throws DbError, naming
// `statement`, on a text of any other shape.
ResultRows readJsonRows(QSqlQuery& query, const QList<JsonColumn>& columns,
                        const QString& statement);

// A named, parameterised statement whose result rows are read into memory
// when it is opened, with a current row and an optional row filter. Every
// opening reads the database again; nothing is kept between openings.
// Numbers are read exactly: numeric and double columns arrive as the text the
// database writes, so quantities and amounts never pass through binary
// floating point (statements cast integer-valued links to bigint, which the
// driver hands over fastest). A list read often and long may instead have
// its rows handed over as one JSON text (setJsonColumns); a double precision
// column, which holds a binary double already, then comes as that double.
// As a model it exposes the raw values (Qt::DisplayRole and Qt::EditRole) of
// the visible rows; windows put presentation models on top.
class Dataset : public QAbstractTableModel {
    Q_OBJECT
public:
    using RowFilter = std::function<bool(const Dataset&, int sourceRow)>;

    Dataset(QSqlDatabase db, QString name, QString sql = {}, QObject* parent = nullptr);

    QString name() const { return name_; }
    QString sql() const { return sql_; }
    void setSql(const QString& sql);
    void setParam(const QString& name, const QVariant& value);
    QVariant param(const QString& name) const { return params_.value(name); }

    // The statement hands its rows over as one JSON text of these columns
    // (readJsonRows).
    void setJsonColumns(QList<JsonColumn> columns) { jsonColumns_ = std::move(columns); }

    void open(); // throws DbError; a failed opening leaves the dataset closed
    // Opens with rows read elsewhere (several lists filled by one statement).
    void openWith(QStringList fields, std::vector<std::vector<QVariant>> rows);
    void close();
    bool isOpen() const { return open_; }
    void reopen(); // close and open, back on the first row
    // Close and open again, returning to the same row number, or to the last
    // row when the list has become shorter. A closed dataset stays closed.
    void reopenKeepingPosition();
    // Close and open again, returning to the row whose `keyField` holds the
    // value the current row held; when that row is gone, as
    // reopenKeepingPosition. A closed dataset stays closed.
    void reopenKeepingRecord(const QString& keyField);

    // Filtering hides rows without reading the database again.
    void setFilter(RowFilter filter);
    void clearFilter();
    bool isFiltered() const { return static_cast<bool>(filter_); }

    QStringList fieldNames() const { return fields_; }
    int fieldIndex(const QString& field) const; // case-insensitive, -1 when absent

    // Visible rows.
    int count() const { return static_cast<int>(visible_.size()); }
    bool isEmpty() const { return visible_.empty(); }
    QVariant value(int row, const QString& field) const;
    QVariant value(int row, int column) const;
    // A value of any loaded row, visible or not, by its position in the
    // result; this is what row filters read.
    QVariant sourceValue(int sourceRow, const QString& field) const;

    int currentRow() const { return current_; } // -1 when empty
    void setCurrentRow(int row);
    QVariant current(const QString& field) const { return value(current_, field); }
    bool locate(const QString& field, const QVariant& value); // moves to the first match

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

signals:
    void currentRowChanged(int row);

private:
    void rebuildVisible();

    QSqlDatabase db_;
    QString name_;
    QString sql_;
    QVariantMap params_;
    bool open_ = false;
    QList<JsonColumn> jsonColumns_;
    QStringList fields_;
    std::vector<std::vector<QVariant>> rows_;
    std::vector<int> visible_;
    RowFilter filter_;
    int current_ = -1;
};

} // namespace tabel
