#include "report_data.h"

namespace reportengine {

void ReportData::setFields(const QStringList& names, const QList<bool>& numeric) {
    fields_ = names;
    numeric_ = numeric;
    numeric_.resize(names.size(), false);
    index_.clear();
    for (int i = 0; i < names.size(); ++i)
        index_.insert(names[i].toLower(), i);
}

void ReportData::addRow(const QVariantList& values) {
    QList<Value> row;
    row.reserve(fields_.size());
    for (int i = 0; i < fields_.size(); ++i)
        row.append(i < values.size() ? Value::fromVariant(values[i], numeric_[i]) : Value());
    rows_.append(std::move(row));
}

void ReportData::addRow(QList<Value> values) {
    values.resize(fields_.size());
    rows_.append(std::move(values));
}

void ReportData::setVariable(const QString& name, const Value& value) {
    variables_.insert(name.toLower(), value);
}

ReportData ReportData::withoutRows() const {
    ReportData copy(name_);
    copy.fields_ = fields_;
    copy.numeric_ = numeric_;
    copy.index_ = index_;
    copy.variables_ = variables_;
    return copy;
}

int ReportData::fieldIndex(const QString& name) const {
    return index_.value(name.toLower(), -1);
}

const Value* ReportData::variable(const QString& name) const {
    const auto it = variables_.constFind(name.toLower());
    return it == variables_.constEnd() ? nullptr : &it.value();
}

} // namespace reportengine
