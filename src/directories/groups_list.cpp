#include "groups_list.h"

#include "db/deletion.h"
#include "directories/group_dialog.h"
#include "kit/error_boxes.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace tabel {

namespace {

QList<GridColumn> groupColumns() {
    const auto right = Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter);
    return {
        {"id_classifier", "id_classifier", 90, right},
        {"id_level", "id_level", 60, right},
        {"s_code", "s_code", 70},
        {"s_caption", "s_caption", 220},
        {"s_description", "s_description", 120},
        {"d_excluded_date", "d_excluded_date", 100},
        {"id_parent", "id_parent", 70, right},
        {"id", "id", 60, right},
        {"s_excl", "s_excl", 50, Qt::AlignCenter},
        {"b_excluded", "b_excluded", 70, right},
    };
}

// The picker leaves out the level, the same for every row.
constexpr int kLevelColumn = 1;

} // namespace

GroupsList::GroupsList(AppContext& ctx, QWidget* parent)
    : ListWindow(*GroupStore::makeList(ctx.db()).release(), groupColumns(),
                 GroupStore::searchRule(), parent),
      ctx_(ctx), store_(ctx.db(), list()) {
    list().setParent(this);
    setObjectName("TForm26");
    setWindowTitle("Номенклатура (26)");
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);
    grid()->setAccessibleName("Номенклатурные группы");

    dialog_ = new GroupDialog(store_, ctx_.messenger, this);
    runDialog = [](GroupDialog& d) { return d.exec(); };

    add_ = addBarButton("Добавить", "AddButton");
    change_ = addBarButton("Изменить", "ChangeButton");
    delete_ = addBarButton("Удалить", "DeleteButton");
    addSearchBox();
    finishBar();

    connect(add_, &QPushButton::clicked, this, [this] { guarded([this] { addGroup(); }); });
    connect(change_, &QPushButton::clicked, this, [this] { guarded([this] { choose(); }); });
    connect(delete_, &QPushButton::clicked, this, [this] { guarded([this] { deleteCurrent(); }); });
    setWidth(kNormalWidth);
}

void GroupsList::setWidth(int width) {
    setFixedSize(width, 460);
}

void GroupsList::prepareDirectory() {
    setModeNumber(DirectoryMode);
    picked_.reset();
    store_.setOnlyInUse(false);
    store_.open();
    change_->setText("Изменить");
    change_->setDefault(false);
    add_->show();
    delete_->show();
}

void GroupsList::preparePicker(int modeNumber) {
    setModeNumber(modeNumber);
    picked_.reset();
    store_.setOnlyInUse(true);
    store_.open();
    change_->setText("Выбрать");
    change_->setDefault(true);
    add_->hide();
    delete_->hide();
    grid()->setColumnHidden(kLevelColumn, true);
    setWidth(kPickerWidth);
}

void GroupsList::finish() {
    change_->setDefault(false);
    add_->show();
    delete_->show();
    grid()->setColumnHidden(kLevelColumn, false);
    setWidth(kNormalWidth);
    store_.close();
    store_.setOnlyInUse(false);
}

void GroupsList::openDirectory() {
    prepareDirectory();
    exec();
    finish();
}

std::optional<PickedGroup> GroupsList::pick(int modeNumber) {
    preparePicker(modeNumber);
    exec();
    finish();
    return picked_;
}

void GroupsList::choose() {
    if (isPicker())
        pickCurrent();
    else
        changeCurrent();
}

void GroupsList::addGroup() {
    if (isPicker())
        return;
    dialog_->beginAdd();
    if (runDialog(*dialog_) != QDialog::Accepted)
        return;
    // Stand on the new group when the search lets it be seen; otherwise
    // where the list was.
    store_.reopenKeepingPosition();
    list().locate("id", dialog_->savedId());
}

void GroupsList::changeCurrent() {
    Dataset& items = list();
    // With no group in the list there is nothing to change.
    if (items.isEmpty())
        return;
    dialog_->beginChange(items.current("id").toLongLong(),
                         {items.current("s_caption"), items.current("b_excluded")});
    if (runDialog(*dialog_) == QDialog::Accepted)
        store_.reopenKeepingPosition();
}

void GroupsList::pickCurrent() {
    Dataset& items = list();
    if (!items.isEmpty())
        picked_ =
            PickedGroup{items.current("id").toLongLong(), items.current("s_caption").toString()};
    accept();
}

void GroupsList::deleteCurrent() {
    Dataset& items = list();
    if (isPicker() || items.isEmpty())
        return;
    const qint64 id = items.current("id").toLongLong();
    // Refused before the question; remove() checks again with the group's
    // row locked, in case a product or an entry came to use it meanwhile.
    if (askAndDelete(ctx_.messenger, GroupStore::deletionRefusal(store_.usage(id)),
                     "Удалить номенклатурную группу?", [&] { return store_.remove(id); }))
        store_.reopenKeepingPosition();
}

} // namespace tabel
