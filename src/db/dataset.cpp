#include "dataset.h"

#include "format.h"
#include "json_text.h"
#include "sql.h"

#include <QDate>
#include <QSqlRecord>
#include <cmath>
#include <limits>

namespace tabel {

namespace {

// Reads the one JSON shape readJsonRows takes straight from the text: no
// document is built, and each value is converted once, into its column's
// type.
class JsonRowReader {
public:
    JsonRowReader(QStringView text, const QList<JsonColumn>& columns)
        : text_(text), columns_(columns) {}

    // Whether the text has the shape: the rows go to `rows`, the reason why
    // not to `fault`.
    bool read(std::vector<std::vector<QVariant>>& rows, QString& fault) {
        if (!take(u'['))
            return fail(fault, QStringLiteral("нет списка строк"));
        if (!take(u']')) {
            do {
                std::vector<QVariant> row;
                row.reserve(columns_.size());
                if (!take(u'['))
                    return fail(fault, rowFault(rows.size()));
                for (qsizetype c = 0; c < columns_.size(); ++c) {
                    if ((c > 0 && !take(u',')) || !value(columns_[c], row))
                        return fail(fault, rowFault(rows.size()));
                }
                if (!take(u']'))
                    return fail(fault, rowFault(rows.size()));
                rows.push_back(std::move(row));
            } while (take(u','));
            if (!take(u']'))
                return fail(fault, rowFault(rows.size()));
        }
        skipSpace();
        if (pos_ != text_.size())
            return fail(fault, QStringLiteral("лишний текст после списка"));
        return true;
    }

private:
    static bool fail(QString& fault, const QString& why) {
        fault = why;
        return false;
    }
    QString rowFault(std::size_t index) const {
        return QStringLiteral("строка %1 не из %2 нужного вида (позиция %3)")
            .arg(index + 1)
            .arg(countNoun(qint64(columns_.size()), QStringLiteral("значения"),
                           QStringLiteral("значений"), QStringLiteral("значений")))
            .arg(pos_);
    }
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == u' ' || text_[pos_] == u'\n' ||
                                       text_[pos_] == u'\r' || text_[pos_] == u'\t'))
            ++pos_;
    }
    bool take(char16_t c) {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    // One value, converted as the driver converts its column.
    bool value(const JsonColumn& column, std::vector<QVariant>& row) {
        skipSpace();
        if (pos_ >= text_.size())
            return false;
        if (text_.mid(pos_).startsWith(u"null")) {
            pos_ += 4;
            row.push_back(column.untypedNull ? QVariant() : QVariant(QMetaType(column.type)));
            return true;
        }
        QString unescaped;
        QStringView token;
        if (text_[pos_] == u'"') {
            if (!string(unescaped, token))
                return false;
        } else {
            const qsizetype start = pos_;
            while (pos_ < text_.size() && text_[pos_] != u',' && text_[pos_] != u']' &&
                   !text_[pos_].isSpace())
                ++pos_;
            token = text_.mid(start, pos_ - start);
        }
        bool ok = true;
        switch (column.type) {
        case QMetaType::Int:
            row.emplace_back(token.toInt(&ok));
            break;
        case QMetaType::LongLong:
            row.emplace_back(token.toLongLong(&ok));
            break;
        case QMetaType::Double:
            row.emplace_back(number(token, ok));
            break;
        case QMetaType::QDate: {
            const QDate date = QDate::fromString(token.toString(), Qt::ISODate);
            ok = date.isValid();
            row.emplace_back(date);
            break;
        }
        case QMetaType::QString:
            row.emplace_back(unescaped.isNull() ? token.toString() : unescaped);
            break;
        default:
            ok = false;
        }
        return ok;
    }

    // A double as the server writes it; what JSON has no number for comes
    // as the server's words.
    static double number(QStringView token, bool& ok) {
        if (token == u"NaN")
            return std::numeric_limits<double>::quiet_NaN();
        if (token == u"Infinity")
            return std::numeric_limits<double>::infinity();
        if (token == u"-Infinity")
            return -std::numeric_limits<double>::infinity();
        return token.toDouble(&ok);
    }

    // A JSON string at pos_: its text as a view of the JSON text when it has
    // no escapes, otherwise written out in `unescaped`.
    bool string(QString& unescaped, QStringView& token) {
        const qsizetype start = ++pos_;
        while (pos_ < text_.size() && text_[pos_] != u'"' && text_[pos_] != u'\\')
            ++pos_;
        if (pos_ >= text_.size())
            return false;
        if (text_[pos_] == u'"') {
            token = text_.mid(start, pos_ - start);
            ++pos_;
            return true;
        }
        unescaped = text_.mid(start, pos_ - start).toString();
        if (!readJsonStringRest(text_, pos_, unescaped))
            return false;
        token = unescaped;
        return true;
    }

    QStringView text_;
    const QList<JsonColumn>& columns_;
    qsizetype pos_ = 0;
};

} // namespace

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

ResultRows readJsonRows(QSqlQuery& q, const QList<JsonColumn>& columns, const QString& statement) {
    ResultRows result;
    for (const JsonColumn& c : columns)
        result.fields << c.name;
    const QString text = q.next() ? q.value(0).toString() : QString();
    QString fault;
    if (!JsonRowReader(text, columns).read(result.rows, fault))
        throw DbError(QStringLiteral("Строки списка не прочитаны: %1.").arg(fault), statement);
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
    QSqlQuery q = exec(db_, sql_, params_);
    ResultRows result = jsonColumns_.isEmpty() ? readAll(q) : readJsonRows(q, jsonColumns_, sql_);
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
