#pragma once

#include "kit/date_box.h"
#include "session/context.h"

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tabel {

// "Заведение новой позиции (11)" / "Изменение данных о позиции (11)": one
// production record. Created once and reused; what an opening does not reset
// stays from the previous use.
class RecordDialog : public QDialog {
    Q_OBJECT
public:
    struct WorkerChoice {
        int id;
        QString fio;
    };
    struct OperationChoice {
        int productId;
        int operationId;
        int naimen;
        QString vid;
        double basePrice;
    };

    explicit RecordDialog(AppContext& ctx, QWidget* parent = nullptr);

    void openNew();    // "Добавить"
    void openChange(); // "Изменить"; nothing when the journal is empty

    // The steps of the openings without the modal loop.
    void prepareNew();
    bool prepareChange();

    // Pickers, set by whoever owns the lists.
    std::function<std::optional<WorkerChoice>()> pickWorker;
    std::function<std::optional<OperationChoice>(int currentOperationId)> pickOperation;
    // Opens the brigade job a member's record belongs to, instead of the record.
    std::function<void(int jobId)> openBrigadeJob;

    void chooseWorker();    // "..." beside "ФИО"
    void chooseOperation(); // "..." beside "Операция"
    void applyOperation(const OperationChoice& choice);
    void recompute();
    bool save(); // "Запись"

    int mode() const { return mode_; }
    int workerId() const { return workerId_; }
    int productId() const { return productId_; }
    int operationId() const { return operationId_; }
    double finalPrice() const { return finalPrice_; }

    QLineEdit* fioEdit() const { return fio_; }
    QLineEdit* operationEdit() const { return operation_; }
    QLineEdit* quantityEdit() const { return quantity_; }
    QLineEdit* rejectsEdit() const { return rejects_; }
    QLineEdit* colorEdit() const { return color_; }
    QLineEdit* hoursEdit() const { return hours_; }
    QLineEdit* basePriceEdit() const { return basePriceBox_; }
    QLineEdit* finalPriceEdit() const { return finalPriceBox_; }
    QLineEdit* sumEdit() const { return sum_; }
    DateBox* dateEdit() const { return date_; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void applyColorRule(const QString& text, const QVariant& color);

    AppContext& ctx_;
    int mode_ = 1;
    int recordId_ = 0;
    QString version_; // the changed record's row version as it was read
    int workerId_ = 0;
    int productId_ = 0;
    int operationId_ = 0;
    double finalPrice_ = 0;
    double basePrice_ = 0;

    QLineEdit* fio_;
    QPushButton* workerButton_;
    QLineEdit* operation_;
    QPushButton* operationButton_;
    QLineEdit* quantity_;
    QLineEdit* hours_;
    QLabel* colorLabel_;
    QLineEdit* color_;
    DateBox* date_;
    QLineEdit* rejects_;
    QLineEdit* basePriceBox_;
    QLineEdit* finalPriceBox_;
    QLineEdit* sum_;
    QPushButton* save_;
    QPushButton* cancel_;
};

} // namespace tabel
