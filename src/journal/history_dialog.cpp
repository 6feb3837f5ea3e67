#include "history_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tabel {

HistoryDialog::HistoryDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("TFormHistory");
    setWindowTitle("История позиции");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    list_ = new QTableWidget(0, 4, this);
    list_->setObjectName("HistoryList");
    list_->setAccessibleName("История позиции");
    list_->setHorizontalHeaderLabels({"Когда", "Кто", "Действие", "Что изменено"});
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setWordWrap(true);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->setColumnWidth(0, 135);
    list_->setColumnWidth(1, 200);
    list_->setColumnWidth(2, 90);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText("Закрыть");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    resize(900, 320);
}

void HistoryDialog::showRecord(const QSqlDatabase& db, const QString& table, qint64 rowId) {
    const QList<HistoryEntry> entries = recordHistory(db, table, rowId);
    list_->setRowCount(0);
    list_->setRowCount(static_cast<int>(entries.size()));
    int row = 0;
    for (const HistoryEntry& e : entries) {
        const QString cells[] = {historyTimeText(e.changedAt), historyAuthor(e),
                                 historyAction(e.action), historyChanges(e)};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]);
            list_->setItem(row, c, item);
        }
        ++row;
    }
    if (row > 0)
        list_->setCurrentCell(row - 1, 0);
    open();
    // Only a shown list knows how wide its last column has stretched.
    list_->resizeRowsToContents();
}

} // namespace tabel
