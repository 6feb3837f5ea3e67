#pragma once

#include "reportengine/document.h"
#include "reportengine/layout.h"
#include "reportengine/report_data.h"

#include <QByteArray>
#include <QDate>
#include <QJsonArray>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace tabel::reports {

enum class SummaryReport {
    Workers,        // "Отчет по рабочим"
    Products,       // "Отчет по продукции"
    WorkersDetail,  // "Детальный отчет по рабочим"
    ProductsDetail, // "Детальный отчет по продукции"
};

// The product kinds of "Вид продукции".
enum class ProductKind { All = -1, Finished = 0, Blanks = 1 };

// The period is half-open: `from` inclusive, `to` exclusive.
struct SummaryRequest {
    SummaryReport report = SummaryReport::Workers;
    QDate from;
    QDate to;
    ProductKind kind = ProductKind::All;
};

// "   Отчет по рабочим за период с 01.11.2026 по 01.12.2026", the dates in
// the locale's short form.
QString summaryTitle(const SummaryRequest& request, const QLocale& locale = QLocale());

// The rows of a report statement that hands them over as one JSON text: an
// array of rows, each an array of `width` values. Anything else (a text cut
// short on its way, say) throws DbError with `statement`: an empty report
// would pass for a period without work.
QJsonArray jsonRows(const QByteArray& text, qsizetype width, const QString& statement);

// The layouts, as the engine takes them.
reportengine::Layout summaryLayout(SummaryReport report);

// The report's rows, read from the database, with the title and the
// period's housekeeping totals as variables. The reports by workers are
// read through SummaryRowStream, which reads them faster than one
// statement over the whole period can. Throws DbError.
reportengine::ReportData readSummaryReport(const QSqlDatabase& db, const SummaryRequest& request,
                                           const QLocale& locale = QLocale());

// The same report read by one statement over the whole period, as the
// reports by products always are. Throws DbError.
reportengine::ReportData readSummaryReportAtOnce(const QSqlDatabase& db,
                                                 const SummaryRequest& request,
                                                 const QLocale& locale = QLocale());

// The report laid out on its pages. Throws DbError.
reportengine::Document summaryDocument(const QSqlDatabase& db, const SummaryRequest& request,
                                       const QLocale& locale = QLocale());

// The rows of an executed query, each column a field of the same name;
// columns of number types are read as exact numbers.
reportengine::ReportData readRows(QSqlQuery& query, const QString& name);

} // namespace tabel::reports
