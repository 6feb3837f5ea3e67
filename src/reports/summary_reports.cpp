#include "summary_reports.h"

#include "db/format.h"
#include "db/sql.h"
#include "reports/report_statements.h"
#include "reports/summary_stream.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSqlField>
#include <QSqlRecord>
#include <utility>

namespace tabel::reports {

using namespace reportengine;

namespace {

struct Source {
    QString query; // the name the layouts qualify fields with
    sql::ReportStatement statement;
    QString title;
};

Source sourceOf(SummaryReport report) {
    switch (report) {
    case SummaryReport::Workers:
        return {"t_Report", sql::reportByWorkers(), "   Отчет по рабочим за период с "};
    case SummaryReport::Products:
        return {"t_Report", sql::reportByProducts(), "   Отчет по продукции за период с "};
    case SummaryReport::WorkersDetail:
        return {"w_Report", sql::reportByWorkersDetailed(),
                "   Детальный отчет по рабочим за период с "};
    case SummaryReport::ProductsDetail:
        return {"i_Report", sql::reportByProductsDetailed(),
                "   Детальный отчет по продукции за период с "};
    }
    return {};
}

bool numberType(QMetaType type) {
    switch (type.id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

} // namespace

QString summaryTitle(const SummaryRequest& request, const QLocale& locale) {
    return sourceOf(request.report).title + locale.toString(request.from, QLocale::ShortFormat) +
           QStringLiteral(" по ") + locale.toString(request.to, QLocale::ShortFormat);
}

QJsonArray jsonRows(const QByteArray& text, qsizetype width, const QString& statement) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    QString fault;
    if (error.error != QJsonParseError::NoError)
        fault = QStringLiteral("%1 (позиция %2)").arg(error.errorString()).arg(error.offset);
    else if (!document.isArray())
        fault = QStringLiteral("нет списка строк");
    const QJsonArray rows = document.array();
    for (qsizetype i = 0; fault.isEmpty() && i < rows.size(); ++i)
        if (!rows[i].isArray() || rows[i].toArray().size() != width)
            fault = QStringLiteral("строка %1 не из %2")
                        .arg(i + 1)
                        .arg(countNoun(width, QStringLiteral("значения"),
                                       QStringLiteral("значений"), QStringLiteral("значений")));
    if (!fault.isEmpty())
        throw DbError(QStringLiteral("Строки отчета не прочитаны: %1.").arg(fault), statement);
    return rows;
}

ReportData readRows(QSqlQuery& query, const QString& name) {
    ReportData data(name);
    const QSqlRecord record = query.record();
    QStringList fields;
    QList<bool> numeric;
    for (int i = 0; i < record.count(); ++i) {
        fields << record.fieldName(i);
        numeric << numberType(record.field(i).metaType());
    }
    data.setFields(fields, numeric);
    QVariantList row(record.count());
    while (query.next()) {
        for (int i = 0; i < record.count(); ++i)
            row[i] = query.value(i);
        data.addRow(row);
    }
    return data;
}

ReportData readSummaryReport(const QSqlDatabase& db, const SummaryRequest& request,
                             const QLocale& locale) {
    if (request.report != SummaryReport::Workers && request.report != SummaryReport::WorkersDetail)
        return readSummaryReportAtOnce(db, request, locale);
    SummaryRowStream stream(db, request, locale);
    ReportData data = stream.schema();
    QList<Value> row;
    while (stream.next(row))
        data.addRow(std::exchange(row, {}));
    return data;
}

ReportData readSummaryReportAtOnce(const QSqlDatabase& db, const SummaryRequest& request,
                                   const QLocale& locale) {
    const Source source = sourceOf(request.report);
    const sql::ReportStatement& statement = source.statement;
    const QVariantMap period{{"d1", request.from}, {"d2", request.to}};
    QVariantMap params = period;
    params.insert("kind", int(request.kind));

    // A year's report groups and sorts tens of thousands of rows at once;
    // in the server's usual working memory they would go through the disk.
    // The memory is raised for this transaction only, and never lowered.
    Transaction tx(db);
    exec(db, "select set_config('work_mem', '64MB', true) "
             "where pg_size_bytes(current_setting('work_mem')) < 64 * 1024 * 1024");
    QSqlQuery rows = exec(db, statement.sql, params);
    rows.next();
    const QByteArray json = rows.value(0).toString().toUtf8();
    // Per lookup: the values of each key ("w_id" or "w_id id_nom" as text).
    QList<QHash<QString, QList<Value>>> found;
    for (const sql::Lookup& lookup : statement.lookups) {
        QHash<QString, QList<Value>>& byKey = found.emplace_back();
        QSqlQuery q = exec(db, lookup.sql, period);
        const int keys = int(lookup.keys.size());
        while (q.next()) {
            QStringList key;
            for (int k = 0; k < keys; ++k)
                key << q.value(k).toString();
            QList<Value>& values = byKey[key.join(QChar(0x1f))];
            for (int v = 0; v < lookup.values.size(); ++v)
                values << Value::fromVariant(q.value(keys + v), true);
        }
    }
    // The period's totals do not depend on the rows: they print even when
    // the kind or the period leaves no row.
    QSqlQuery totals = exec(db, sql::housekeepingTotals(), period);
    totals.next();
    const QVariant sum7 = totals.value("f_sum7_all");
    const QVariant sum8 = totals.value("f_sum8_all");
    tx.commit();

    QStringList fields = statement.columns;
    QList<bool> numeric = statement.numeric;
    QList<QList<int>> keyColumns;
    for (const sql::Lookup& lookup : statement.lookups) {
        QList<int>& columns = keyColumns.emplace_back();
        for (const QString& key : lookup.keys)
            columns << int(statement.columns.indexOf(key));
        fields << lookup.values;
        numeric << QList<bool>(lookup.values.size(), true);
    }
    ReportData data(source.query);
    data.setFields(fields, numeric);
    const qsizetype width = statement.columns.size();
    const QJsonArray all = jsonRows(json, width, statement.sql);
    for (const QJsonValue& row : all) {
        const QJsonArray r = row.toArray();
        QList<Value> values(fields.size());
        QStringList texts(width);
        for (qsizetype i = 0; i < width; ++i) {
            const QJsonValue v = r.at(i);
            if (v.isNull())
                continue;
            texts[i] = v.toString();
            if (!numeric[i])
                values[i] = Value::text(texts[i]);
            else if (const auto number = Decimal::parse(texts[i]))
                values[i] = Value::number(*number);
        }
        qsizetype next = width;
        for (qsizetype l = 0; l < statement.lookups.size(); ++l) {
            QStringList key;
            bool complete = true;
            for (int column : keyColumns[l]) {
                complete = complete && !r.at(column).isNull();
                key << texts[column];
            }
            const auto hit =
                complete ? found[l].constFind(key.join(QChar(0x1f))) : found[l].constEnd();
            // No entry of the worker (or none in the group, or no group):
            // nothing was paid.
            for (qsizetype v = 0; v < statement.lookups[l].values.size(); ++v)
                values[next++] =
                    hit != found[l].constEnd() ? hit.value()[v] : Value::number(Decimal());
        }
        data.addRow(std::move(values));
    }
    data.setVariable("title", Value::text(summaryTitle(request, locale)));
    data.setVariable("f_sum7_all", Value::fromVariant(sum7, true));
    data.setVariable("f_sum8_all", Value::fromVariant(sum8, true));
    return data;
}

Document summaryDocument(const QSqlDatabase& db, const SummaryRequest& request,
                         const QLocale& locale) {
    const ReportData data = readSummaryReport(db, request, locale);
    Document doc = layOut(summaryLayout(request.report), data, locale);
    doc.title = summaryTitle(request, locale).trimmed();
    return doc;
}

} // namespace tabel::reports
