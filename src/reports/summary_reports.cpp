#include "summary_reports.h"

#include "db/sql.h"
#include "reports/report_statements.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlField>
#include <QSqlRecord>

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
    const Source source = sourceOf(request.report);
    const QVariantMap period{{"d1", request.from}, {"d2", request.to}};
    QVariantMap params = period;
    params.insert("kind", int(request.kind));
    // A year's report groups and sorts tens of thousands of rows at once;
    // in the server's usual working memory they would go through the disk.
    // The memory is raised for this transaction only, and never lowered.
    Transaction tx(db);
    exec(db, "select set_config('work_mem', '64MB', true) "
             "where pg_size_bytes(current_setting('work_mem')) < 64 * 1024 * 1024");
    QSqlQuery rows = exec(db, source.statement.sql, params);
    rows.next();
    const QByteArray json = rows.value(0).toString().toUtf8();
    // The period's totals do not depend on the rows: they print even when
    // the kind or the period leaves no row.
    QSqlQuery totals = exec(db, sql::housekeepingTotals(), period);
    totals.next();
    const QVariant sum7 = totals.value("f_sum7_all");
    const QVariant sum8 = totals.value("f_sum8_all");
    tx.commit();

    ReportData data(source.query);
    data.setFields(source.statement.columns, source.statement.numeric);
    const qsizetype width = source.statement.columns.size();
    const QJsonArray all = QJsonDocument::fromJson(json).array();
    for (const QJsonValue& row : all) {
        const QJsonArray r = row.toArray();
        QList<Value> values(width);
        for (qsizetype i = 0; i < width; ++i) {
            const QJsonValue v = r.at(i);
            if (v.isNull())
                continue;
            const QString text = v.toString();
            if (!data.isNumeric(int(i)))
                values[i] = Value::text(text);
            else if (const auto number = Decimal::parse(text))
                values[i] = Value::number(*number);
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
