#pragma once

#include "reportengine/value.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace reportengine {

// The rows a report prints: named fields, values kept as read. A numeric
// field's text ("1234.50") is read as an exact number. Besides the rows, a
// report has variables: values set once for the whole report (its title,
// totals computed apart from the rows).
class ReportData {
public:
    // `name` is the query's name, by which expressions may qualify a field
    // ("t_Report.f_sum7").
    explicit ReportData(QString name = {}) : name_(std::move(name)) {}

    // Declares the fields in order; `numeric` marks those read as numbers.
    void setFields(const QStringList& names, const QList<bool>& numeric = {});
    void addRow(const QVariantList& values);
    // Values already read; as many as there are fields.
    void addRow(QList<Value> values);
    // Drops the first `count` rows, once they have been laid out.
    void removeFirstRows(int count) { rows_.remove(0, count); }
    bool isNumeric(int field) const { return numeric_[field]; }
    void setVariable(const QString& name, const Value& value);

    const QString& name() const { return name_; }
    const QStringList& fields() const { return fields_; }
    // -1 when there is no such field; names are compared ignoring case.
    int fieldIndex(const QString& name) const;
    int rowCount() const { return int(rows_.size()); }
    const Value& value(int row, int field) const { return rows_[row][field]; }
    const QList<Value>& row(int row) const { return rows_[row]; }
    // The same fields and variables, without the rows.
    ReportData withoutRows() const;
    // Empty when there is no such variable.
    const Value* variable(const QString& name) const;

private:
    QString name_;
    QStringList fields_;
    QList<bool> numeric_;
    QHash<QString, int> index_;
    QList<QList<Value>> rows_;
    QHash<QString, Value> variables_;
};

} // namespace reportengine
