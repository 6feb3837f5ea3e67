#pragma once

#include "reportengine/report_data.h"
#include "reports/summary_reports.h"

#include <QList>
#include <QLocale>
#include <QSqlDatabase>
#include <memory>

namespace tabel::reports {

// A summary report's rows handed over one at a time, in the order they
// print, so that pages can be laid out, shown and written while the rest
// are still being read.
class SummaryRowStream {
public:
    // Starts reading. Throws DbError.
    SummaryRowStream(const QSqlDatabase& db, const SummaryRequest& request,
                     const QLocale& locale = QLocale());
    ~SummaryRowStream();
    SummaryRowStream(const SummaryRowStream&) = delete;
    SummaryRowStream& operator=(const SummaryRowStream&) = delete;

    // The report's fields and variables (the title, the period's totals),
    // without rows: what readSummaryReport gives, rows aside.
    const reportengine::ReportData& schema() const;

    // The next row, its values in the order of schema().fields(); false
    // when every row has been handed over. Throws DbError.
    bool next(QList<reportengine::Value>& row);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace tabel::reports
