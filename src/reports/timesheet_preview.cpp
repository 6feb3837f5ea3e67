#include "timesheet_preview.h"

#include "reportengine/preview.h"
#include "reports/data_stamp.h"
#include "reports/timesheet_print.h"

#include <QApplication>

namespace tabel::reports {

void printShiftTimesheet(QWidget* parent, const QSqlDatabase& db, int month, int year,
                         const QString& monthName,
                         const std::function<void(QPrintPreviewDialog&)>& run,
                         const QDateTime& dataAsOf) {
    reportengine::Document doc;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        doc = shiftTimesheetDocument(db, month, year, monthName);
        stampDataTime(doc, dataAsOf);
    }
    reportengine::showPreview(doc, parent, reportengine::Zoom::WholePage, run);
}

} // namespace tabel::reports
