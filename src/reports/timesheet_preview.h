#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <functional>

class QPrintPreviewDialog;
class QWidget;

namespace tabel::reports {

// "Печать" of the shift time sheet: reads the month's sheet and shows it in
// the maximised print preview, zoomed to the whole page, from which the user
// prints. `monthName` is the month as the window shows it ("Декабрь").
// Throws DbError before any window opens when the sheet cannot be read.
// `run` replaces the preview's exec() (tests). `dataAsOf`: when the data of a
// standby stands at, which the pages carry.
void printShiftTimesheet(QWidget* parent, const QSqlDatabase& db, int month, int year,
                         const QString& monthName,
                         const std::function<void(QPrintPreviewDialog&)>& run = {},
                         const QDateTime& dataAsOf = {});

} // namespace tabel::reports
