#pragma once

#include "directories/group_store.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tabel {

class Messenger;

// "Ведение групп (29)": adds or changes one nomenclature group.
class GroupDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { Add = 1, Change = 2 };

    GroupDialog(GroupStore& store, Messenger& messenger, QWidget* parent = nullptr);

    // An empty name for a new group; "Не используется" keeps its last state.
    void beginAdd();
    // The group's trimmed name and its "not in use" mark, as the list shows
    // them; the change is written only over the group as shown.
    void beginChange(qint64 groupId, const ShownGroup& shown);

    // "Записать": writes and closes the dialog; a refusal is shown and the
    // dialog stays open, and a refused change rereads the list behind it, so
    // what was written elsewhere is in view. Throws DbError; the dialog then
    // stays open.
    bool save();

    int mode() const { return mode_; }
    qint64 groupId() const { return groupId_; }
    // The group written by the last save.
    qint64 savedId() const { return savedId_; }

    QLineEdit* nameEdit() const { return name_; }
    QCheckBox* excludedBox() const { return excluded_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* exitButton() const { return exit_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    GroupStore& store_;
    Messenger& messenger_;
    QLineEdit* name_;
    QCheckBox* excluded_;
    QPushButton* save_;
    QPushButton* exit_;
    int mode_ = Add;
    qint64 groupId_ = 0;
    ShownGroup shown_;
    qint64 savedId_ = 0;
};

} // namespace tabel
