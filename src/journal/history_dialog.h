#pragma once

#include "journal/record_history.h"

#include <QDialog>
#include <QSqlDatabase>

class QTableWidget;

namespace tabel {

// "История": who changed a record, when, and what from what to what, one
// line per row of its history, oldest first.
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    explicit HistoryDialog(QWidget* parent = nullptr);

    // Reads the row's history and shows it. Throws DbError.
    void showRecord(const QSqlDatabase& db, const QString& table, qint64 rowId);

    QTableWidget* list() const { return list_; }

private:
    QTableWidget* list_;
};

} // namespace tabel
