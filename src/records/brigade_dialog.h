#pragma once

#include "records/brigade_job.h"
#include "records/record_dialog.h"
#include "session/context.h"

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tabel {

// "Бригадный наряд": one operation done by several workers on the journal's
// date and shift, its quantity split among them by hours × КТУ, each
// member's share and pay shown as it is typed, saved as one record per
// member.
class BrigadeDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { Worker, Hours, Ktu, Quantity, Rejects, Pay };

    explicit BrigadeDialog(AppContext& ctx, QWidget* parent = nullptr);

    // The pickers of the record dialog, set by whoever owns the lists.
    std::function<std::optional<RecordDialog::WorkerChoice>()> pickWorker;
    std::function<std::optional<RecordDialog::OperationChoice>(int currentOperationId)>
        pickOperation;

    void openNew();                      // "Бригада": the journal's date and shift
    QDate date() const { return date_; } // the job's date
    void openChange(int jobId);          // a member's record opened for a change
    // The openings' steps without the modal loop; false when the job is gone.
    void prepareNew();
    bool prepareChange(int jobId);

    void chooseOperation();
    void applyOperation(const RecordDialog::OperationChoice& op);
    void chooseWorker(); // "Добавить работника"
    void addMember(int workerId, const QString& fio, const QString& hours = QStringLiteral("8"),
                   const QString& ktu = QStringLiteral("1.00"));
    void removeCurrentMember(); // "Убрать"
    void recompute();
    bool save(); // "Записать"

    BrigadeJobInput input() const;
    int jobId() const { return jobId_; }

    QLineEdit* operationEdit() const { return operation_; }
    QLineEdit* quantityEdit() const { return quantity_; }
    QLineEdit* rejectsEdit() const { return rejects_; }
    QLineEdit* colorEdit() const { return color_; }
    QLineEdit* priceEdit() const { return price_; }
    QTableWidget* membersGrid() const { return members_; }
    QLabel* totalsLabel() const { return totals_; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void applyColorRule();
    QStringList stillNeeded() const; // what the split waits for, as the totals line names it

    AppContext& ctx_;
    int jobId_ = 0;
    QString version_;
    QDate date_;
    int shift_ = 1;
    bool dayOff_ = false;
    int productId_ = 0;
    int operationId_ = 0;
    double finalPrice_ = 0;

    QLabel* place_;
    QLineEdit* operation_;
    QPushButton* operationButton_;
    QLineEdit* quantity_;
    QLineEdit* rejects_;
    QLabel* colorLabel_;
    QLineEdit* color_;
    QLineEdit* price_;
    QTableWidget* members_;
    QPushButton* addWorker_;
    QPushButton* removeWorker_;
    QLabel* totals_;
};

} // namespace tabel
