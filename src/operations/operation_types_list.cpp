#include "operation_types_list.h"

#include "db/deletion.h"
#include "kit/error_boxes.h"
#include "operations/operation_type_dialog.h"

#include <QBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace tabel {

OperationTypesList::OperationTypesList(AppContext& ctx, QWidget* parent)
    : ListWindow(ctx.data.vidOper(), {{"vid", "Операции", 390}}, OperationTypeStore::searchRule(),
                 parent),
      ctx_(ctx), store_(ctx.db(), ctx.data.vidOper()) {
    setObjectName("TForm8");
    setWindowTitle("Виды операций (8)");
    grid()->setAccessibleName("Виды операций");

    dialog_ = new OperationTypeDialog(store_, ctx_.messenger, this);
    runDialog = [](OperationTypeDialog& d) { return d.exec(); };

    add_ = addBarButton("Добавить", "AddButton");
    change_ = addBarButton("Изменить", "ChangeButton");
    delete_ = addBarButton("Удалить", "DeleteButton");
    finishBar();
    // The search box lies above the bar, between it and the grid; only a
    // picker shows it.
    if (auto* column = qobject_cast<QBoxLayout*>(layout()))
        column->insertWidget(1, searchBox());
    searchBox()->hide();

    connect(add_, &QPushButton::clicked, this, [this] { guarded([this] { addType(); }); });
    connect(change_, &QPushButton::clicked, this, [this] { guarded([this] { choose(); }); });
    connect(delete_, &QPushButton::clicked, this, [this] { guarded([this] { deleteCurrent(); }); });
    resize(440, 480);
}

void OperationTypesList::prepareDirectory() {
    setModeNumber(DirectoryMode);
    picked_.reset();
    searchBox()->hide();
    searchBox()->clear();
    list().clearFilter();
    // Every opening reads the database again.
    list().close();
    list().open();
    change_->setText("Изменить");
    change_->setDefault(false);
    add_->setDefault(true);
    add_->show();
    delete_->show();
}

void OperationTypesList::preparePicker(int modeNumber) {
    setModeNumber(modeNumber);
    picked_.reset();
    list().close();
    list().open();
    change_->setText("Выбрать");
    add_->setDefault(false);
    change_->setDefault(true);
    add_->hide();
    delete_->hide();
    searchBox()->show();
    searchBox()->clear();
    // An already empty box sends no change, yet the list must show every type.
    search(QString());
}

void OperationTypesList::finish() {
    change_->setDefault(false);
    searchBox()->hide();
    // The shared list is left neither open nor narrowed for its next user.
    list().close();
    list().clearFilter();
}

void OperationTypesList::openDirectory() {
    prepareDirectory();
    exec();
    finish();
}

std::optional<PickedOperationType> OperationTypesList::pick(int modeNumber) {
    preparePicker(modeNumber);
    exec();
    finish();
    return picked_;
}

void OperationTypesList::choose() {
    if (isPicker())
        pickCurrent();
    else
        changeCurrent();
}

void OperationTypesList::addType() {
    dialog_->setWindowTitle("Заведение нового вида операций");
    dialog_->beginAdd();
    if (runDialog(*dialog_) != QDialog::Accepted)
        return;
    list().reopen();
    list().locate("id", dialog_->savedId());
}

void OperationTypesList::changeCurrent() {
    Dataset& types = list();
    // With no type in the list there is nothing to rename.
    if (types.isEmpty())
        return;
    dialog_->setWindowTitle("Изменение данных вида операции");
    dialog_->beginChange(types.current("id").toInt(), types.current("vid").toString());
    if (runDialog(*dialog_) == QDialog::Accepted)
        types.reopenKeepingRecord("id");
}

void OperationTypesList::pickCurrent() {
    Dataset& types = list();
    if (!types.isEmpty())
        picked_ = PickedOperationType{types.current("id").toInt(),
                                      types.current("vid").toString().trimmed()};
    accept();
}

void OperationTypesList::deleteCurrent() {
    Dataset& types = list();
    if (isPicker() || types.isEmpty())
        return;
    const int id = types.current("id").toInt();
    // Refused before the question; remove() checks again with the type's row
    // locked, in case an operation came to use it meanwhile.
    const Outcome inUse =
        store_.isUsed(id) ? Outcome::refused(kDeleteCaption, kOperationTypeInUse) : Outcome::ok();
    if (askAndDelete(ctx_.messenger, inUse, "Удалить вид операции?",
                     [&] { return store_.remove(id); }))
        types.reopenKeepingPosition();
}

} // namespace tabel
