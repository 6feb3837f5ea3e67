#pragma once

#include "directories/group_store.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tabel {

// "Ведение групп (29)": adds or changes one nomenclature group.
class GroupDialog : public QDialog {
    Q_OBJECT
public:
    enum Mode { Add = 1, Change = 2 };

    explicit GroupDialog(GroupStore& store, QWidget* parent = nullptr);

    // An empty name for a new group; "Не используется" keeps its last state.
    void beginAdd();
    // The group's trimmed name and its "not in use" mark.
    void beginChange(qint64 groupId, const QString& caption, bool excluded);

    // "Записать": writes and closes the dialog. Throws DbError; the dialog
    // then stays open.
    void save();

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
    QLineEdit* name_;
    QCheckBox* excluded_;
    QPushButton* save_;
    QPushButton* exit_;
    int mode_ = Add;
    qint64 groupId_ = 0;
    qint64 savedId_ = 0;
};

} // namespace tabel
