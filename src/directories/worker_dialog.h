#pragma once

#include "directories/worker_store.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tabel {

// Adds or changes one worker ("Работники"); its opener sets the caption.
// The three drop-downs are not tied to the worker: they keep their last
// choice from one use to the next, and only the department's caption is
// stored.
class WorkerDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { Add = 1, Change = 2 };

    explicit WorkerDialog(WorkerStore& store, QWidget* parent = nullptr);

    // Set the dialog up for a new worker: empty name, drop-downs read again.
    void beginAdd();
    // Set the dialog up for changing a worker as the list shows it: its
    // trimmed name, drop-downs read again (still showing their last choice).
    // The change is written only over the worker as shown.
    void beginChange(int workerId, const QString& fio, const QString& department = {});
    // Reads the three drop-down lists again, keeping each one's choice.
    void reloadLists();

    // "Записать": writes and closes the dialog; a refusal (a blank name, say)
    // is shown and the dialog stays. A refused change rereads the list
    // behind it, so what was written elsewhere is in view. Throws DbError.
    bool save();

    int mode() const { return mode_; }
    int workerId() const { return workerId_; }
    // The department caption as the drop-down shows it (empty when none).
    QString departmentText() const;

    QLineEdit* nameEdit() const { return name_; }
    QComboBox* departmentBox() const { return department_; }
    QComboBox* staffPositionBox() const { return staffPos_; }
    QComboBox* roleBox() const { return role_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    WorkerStore& store_;
    QLineEdit* name_;
    QComboBox* department_;
    QComboBox* staffPos_;
    QComboBox* role_;
    QPushButton* save_;
    QPushButton* cancel_;
    int mode_ = Add;
    int workerId_ = 0;
    ShownWorker shown_;
    bool departmentTouched_ = false; // picked by the user in this opening
};

} // namespace tabel
