#include "pay_statement_preview.h"

#include "reportengine/preview.h"
#include "reports/data_stamp.h"
#include "reports/pay_statement.h"

#include <QApplication>

namespace tabel::reports {

void previewPayStatement(QWidget* parent, const QSqlDatabase& db, int worker, const QDate& month,
                         const std::function<void(QPrintPreviewDialog&)>& run,
                         const QDateTime& dataAsOf) {
    reportengine::Document doc;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        doc = payStatementDocument(readPayStatements(db, month, worker));
        stampDataTime(doc, dataAsOf);
    }
    reportengine::showPreview(doc, parent, reportengine::Zoom::PageWidth, run);
}

} // namespace tabel::reports
