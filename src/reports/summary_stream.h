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
//
// The reports by workers are read through a cursor, a few workers at a
// time, inside a transaction of the stream's own (a Transaction guard: a
// savepoint when the caller has one open) that lasts as long as the
// stream. Meanwhile, on the same connection:
//  - write nothing: it would join the stream's transaction and be undone
//    when the stream ends;
//  - end no transaction guard opened before the stream: the stream must go
//    first (destroy it, or let it go out of scope, before the guard's
//    commit or rollback);
//  - reading is fine, and so is a second stream, ended before this one.
// The destructor ends the transaction (or the stream's part of the
// caller's), and the cursor with it, whether every row was taken or not,
// and after an error too: the connection is then usable as before.
// The product reports are short and are read whole at once.
class SummaryRowStream {
public:
    // Starts reading: the first rows are in hand within milliseconds
    // whatever the period. Throws DbError.
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
