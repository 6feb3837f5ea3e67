#pragma once

#include "reportengine/document.h"
#include "reports/summary_reports.h"

#include <QLocale>
#include <QSqlDatabase>
#include <memory>

namespace tabel::reports {

class SummaryRowStream;

// A summary report laid out while its rows are read: each page goes to the
// sink as soon as it is laid out, the same pages as summaryDocument's, so
// that the first can be shown or written long before a year's last row has
// been read. Reading stays on the caller's thread, a little at a time.
class SummaryPages {
public:
    // Starts reading. Throws DbError.
    SummaryPages(const QSqlDatabase& db, const SummaryRequest& request, const QLocale& locale,
                 reportengine::PageStream::Sink sink);
    ~SummaryPages();
    SummaryPages(const SummaryPages&) = delete;
    SummaryPages& operator=(const SummaryPages&) = delete;

    // The title and the page set-up, as summaryDocument gives them.
    const reportengine::Document& setup() const;

    // Reads up to `rows` more rows and lays them out; false once every
    // page has gone to the sink. Throws DbError.
    bool more(int rows);
    // Reads and lays out the rest.
    void finish();
    int pagesDone() const;

private:
    std::unique_ptr<SummaryRowStream> rows_;
    std::unique_ptr<reportengine::PageStream> pages_;
    reportengine::Document setup_;
    bool done_ = false;
};

} // namespace tabel::reports
