#pragma once

#include "records/repeat_shift.h"
#include "session/context.h"

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tabel {

// "Повторить смену": a worker's records of their last earlier day in the
// journal's shift, offered as new records on the journal's date. What was
// made comes from that day; the quantity and the hours are left empty for
// the foreman, with the earlier day's beside them to read.
class RepeatShiftDialog : public QDialog {
    Q_OBJECT
public:
    struct WorkerChoice {
        int id;
        QString fio;
    };
    enum Column { Operation, Color, Quantity, Hours, Rejects, EarlierQuantity, EarlierHours };

    explicit RepeatShiftDialog(AppContext& ctx, QWidget* parent = nullptr);

    // For the journal's current record's worker (none in an empty journal).
    void openNew();
    void prepareNew();
    // The worker whose earlier day is offered; reads it again.
    void setWorker(int id, const QString& fio);

    std::function<std::optional<WorkerChoice>()> pickWorker;
    void chooseWorker(); // "..." beside "ФИО", or F4
    void removeLine();   // "Убрать строку", or Delete in the table
    bool save();         // "Записать"

    int workerId() const { return workerId_; }
    QDate sourceDate() const { return source_.date; }
    QList<RepeatLine> lines() const; // as the table holds them now
    QTableWidget* table() const { return table_; }
    QLineEdit* fioEdit() const { return fio_; }
    QLabel* sourceLabel() const { return sourceLabel_; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void fillTable();

    AppContext& ctx_;
    int workerId_ = 0;
    RepeatSource source_;
    QLineEdit* fio_;
    QPushButton* workerButton_;
    QLabel* sourceLabel_;
    QTableWidget* table_;
    QPushButton* remove_;
    QPushButton* save_;
};

} // namespace tabel
