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
    // The type's trimmed name, for renaming it.
    void beginChange(int typeId, const QString& name);

    // "Записать": writes and closes the dialog; a refusal is shown and the
    // dialog stays open. Throws DbError.
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
    int savedId_ = 0;
};

} // namespace tabel
