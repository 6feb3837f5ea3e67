#include "summary_stream.h"

namespace tabel::reports {

using reportengine::ReportData;
using reportengine::Value;

struct SummaryRowStream::Impl {
    ReportData all;
    ReportData schema;
    int next = 0;
};

SummaryRowStream::SummaryRowStream(const QSqlDatabase& db, const SummaryRequest& request,
                                   const QLocale& locale)
    : d_(std::make_unique<Impl>()) {
    d_->all = readSummaryReport(db, request, locale);
    d_->schema = d_->all.withoutRows();
}

SummaryRowStream::~SummaryRowStream() = default;

const ReportData& SummaryRowStream::schema() const {
    return d_->schema;
}

bool SummaryRowStream::next(QList<Value>& row) {
    if (d_->next >= d_->all.rowCount())
        return false;
    row = d_->all.row(d_->next++);
    return true;
}

} // namespace tabel::reports
