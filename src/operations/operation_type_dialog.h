#pragma once

#include "operations/operation_type_store.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tabel {

class Messenger;

// Adds an operation type or renames one; its opener sets the caption.
class OperationTypeDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { Add = 1, Change = 2 };

    OperationTypeDialog(OperationTypeStore& store, Messenger& messenger, QWidget* parent = nullptr);

    // An empty name, for a new type.
    void beginAdd();
    // The type's trimmed name as the list shows it, for renaming it; the
    // rename is written only over that name.
    void beginChange(int typeId, const QString& name);

    // "Записать": writes and closes the dialog; a refusal is shown and the
    // dialog stays open, and a refused rename rereads the list behind it, so
    // what was written elsewhere is in view. Throws DbError.
    bool save();

    int mode() const { return mode_; }
    int typeId() const { return typeId_; }
    // The type written by the last successful save.
    int savedId() const { return savedId_; }

    QLineEdit* nameEdit() const { return name_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    OperationTypeStore& store_;
    Messenger& messenger_;
    QLineEdit* name_;
    QPushButton* save_;
    QPushButton* cancel_;
    int mode_ = Add;
    int typeId_ = 0;
    QString shownName_;
    int savedId_ = 0;
};

} // namespace tabel
