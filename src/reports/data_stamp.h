#pragma once

#include "reportengine/document.h"

#include <QDateTime>

namespace tabel::reports {

// Writes "Данные на ..." (db/report_connection.h) small in the top margin of
// `page`, at the right: a report read from the standby says when its data
// stands at, on every page, since pages get separated. Nothing for an
// invalid time (a report read from the primary).
void stampDataTime(reportengine::Page& page, const reportengine::Document& setup,
                   const QDateTime& asOf);

// The same on every page of `doc`.
void stampDataTime(reportengine::Document& doc, const QDateTime& asOf);

} // namespace tabel::reports
