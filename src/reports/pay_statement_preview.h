#pragma once

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <functional>

class QPrintPreviewDialog;
class QWidget;

namespace tabel::reports {

// "Расчётный листок" of `worker` for the month of `month` in the print
// preview, zoomed to the page's width, from which the user prints. Throws
// DbError before any window opens when the statement cannot be read. `run`
// replaces the preview's exec() (tests).
// `dataAsOf`: when the data of a standby stands at, which the pages carry.
void previewPayStatement(QWidget* parent, const QSqlDatabase& db, int worker, const QDate& month,
                         const std::function<void(QPrintPreviewDialog&)>& run = {},
                         const QDateTime& dataAsOf = {});

} // namespace tabel::reports
