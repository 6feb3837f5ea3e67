#pragma once

#include "reportengine/document.h"
#include "reportengine/layout.h"

#include <QLocale>
#include <QSqlDatabase>
#include <QString>

namespace tabel::reports {

// The printed shift time sheet: A4 landscape, a row per worker with the
// month's hours of every day (all the worker's rows of the month added up)
// and their total; the day titles at the top of every page.
reportengine::Layout timesheetLayout();

// The month's sheet laid out on its pages; the header reads
// "<monthName> <year> г.". Throws DbError.
reportengine::Document shiftTimesheetDocument(const QSqlDatabase& db, int month, int year,
                                              const QString& monthName,
                                              const QLocale& locale = QLocale());

} // namespace tabel::reports
