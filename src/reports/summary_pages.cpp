#include "summary_pages.h"

#include "reports/summary_stream.h"

namespace tabel::reports {

using namespace reportengine;

SummaryPages::SummaryPages(const QSqlDatabase& db, const SummaryRequest& request,
                           const QLocale& locale, PageStream::Sink sink)
    : rows_(std::make_unique<SummaryRowStream>(db, request, locale)),
      pages_(std::make_unique<PageStream>(summaryLayout(request.report), rows_->schema(), locale,
                                          std::move(sink))),
      setup_(pages_->setup()) {
    setup_.title = summaryTitle(request, locale).trimmed();
}

SummaryPages::~SummaryPages() = default;

const Document& SummaryPages::setup() const {
    return setup_;
}

bool SummaryPages::more(int rows) {
    if (done_)
        return false;
    QList<Value> row;
    for (int i = 0; i < rows; ++i) {
        if (!rows_->next(row)) {
            pages_->finish();
            done_ = true;
            // The rest of the reading: its connection, its memory.
            rows_.reset();
            return false;
        }
        pages_->add(std::move(row));
    }
    return true;
}

void SummaryPages::finish() {
    while (more(1 << 20)) {
    }
}

int SummaryPages::pagesDone() const {
    return pages_->pagesDone();
}

} // namespace tabel::reports
