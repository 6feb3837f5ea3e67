#include "products_list.h"

#include "directories/product_dialog.h"
#include "kit/error_boxes.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace tabel {

namespace {

constexpr int kGroupColumn = 1;

} // namespace

ProductsList::ProductsList(AppContext& ctx, QWidget* parent)
    : ListWindow(ctx.data.izdel(),
                 {{"marka", "Марка изделия", 315},
                  {"nom", "Номенклатурная группа", 162},
                  {"massa", "Коробки", 67, Qt::AlignLeft | Qt::AlignVCenter, true}},
                 ProductStore::searchRule(), parent),
      ctx_(ctx), store_(ctx.data) {
    setObjectName("TForm3");
    setWindowTitle("Изделия (3)");
    grid()->setAccessibleName("Изделия");
    // The group's title is wider than the names under it; it is read whole.
    QHeaderView* header = grid()->horizontalHeader();
    grid()->setColumnWidth(kGroupColumn, std::max(grid()->columnWidth(kGroupColumn),
                                                  header->sectionSizeHint(kGroupColumn)));

    dialog_ = new ProductDialog(store_, ctx_.messenger, this);
    runDialog = [](ProductDialog& d) { return d.exec(); };

    // The search box runs across the window under the grid, the buttons
    // below it.
    if (auto* column = qobject_cast<QVBoxLayout*>(layout()))
        column->insertWidget(1, searchBox());
    add_ = addBarButton("Добавить", "AddButton");
    change_ = addBarButton("Изменить", "ChangeButton");
    delete_ = addBarButton("Удалить", "DeleteButton");
    finishBar();
    add_->setDefault(true);

    connect(add_, &QPushButton::clicked, this, [this] { guarded([this] { addProduct(); }); });
    connect(change_, &QPushButton::clicked, this, [this] { guarded([this] { choose(); }); });
    connect(delete_, &QPushButton::clicked, this, [this] { guarded([this] { deleteCurrent(); }); });
    resize(600, 520);
}

void ProductsList::prepareDirectory() {
    setModeNumber(DirectoryMode);
    picked_.reset();
    store_.open();
    change_->setText("Изменить");
    change_->setDefault(false);
    add_->setDefault(true);
    add_->show();
    delete_->show();
}

void ProductsList::preparePicker(int modeNumber) {
    setModeNumber(modeNumber);
    picked_.reset();
    store_.open();
    change_->setText("Выбрать");
    add_->hide();
    delete_->hide();
    add_->setDefault(false);
    change_->setDefault(true);
    searchBox()->show();
    searchBox()->clear();
    // An already empty box sends no change, yet the list must show them all.
    store_.search(QString());
}

void ProductsList::finish() {
    if (isPicker()) {
        change_->setDefault(false);
        // The box stays hidden in the directory from now on; emptied, so a
        // search typed here does not narrow the directory unseen.
        searchBox()->clear();
        store_.search(QString());
        searchBox()->hide();
    }
    store_.close();
}

void ProductsList::openDirectory() {
    prepareDirectory();
    exec();
    finish();
}

std::optional<PickedProduct> ProductsList::pick(int modeNumber) {
    preparePicker(modeNumber);
    exec();
    finish();
    return picked_;
}

void ProductsList::choose() {
    if (!isPicker())
        changeCurrent();
    else
        pickCurrent();
}

void ProductsList::addProduct() {
    dialog_->setWindowTitle("Заведение нового изделия (7)");
    dialog_->beginAdd();
    runDialog(*dialog_);
    store_.reopenKeepingPosition();
}

void ProductsList::changeCurrent() {
    Dataset& products = store_.products();
    // With no product in the list there is nothing to change.
    if (products.isEmpty())
        return;
    dialog_->setWindowTitle("Изменение данных изделия (7)");
    dialog_->beginChange(
        products.current("id").toInt(),
        {products.current("marka"), products.current("massa"), products.current("id_class_item")});
    runDialog(*dialog_);
    store_.reopenKeepingPosition();
}

void ProductsList::pickCurrent() {
    Dataset& products = store_.products();
    if (!products.isEmpty())
        picked_ = PickedProduct{products.current("id").toInt(),
                                products.current("marka").toString().trimmed()};
    accept();
}

void ProductsList::deleteCurrent() {
    Dataset& products = store_.products();
    if (products.isEmpty())
        return;
    const int id = products.current("id").toInt();
    Messenger& m = ctx_.messenger;
    // Refused before a question whose Yes would be turned down; remove()
    // checks again under its locks.
    for (const Outcome& refused : {store_.closedMonthRecords(id), store_.otherProductsRecords(id)})
        if (!refused.done()) {
            m.error(refused.caption, refused.text);
            return;
        }
    // Every question is asked before anything is deleted, and a No to any
    // of them leaves the product with all that refers to it.
    const ProductUse use = store_.use(id);
    const bool agreed = (use.operations == 0 || m.ask(kDeleteCaption, kProductHasPrices)) &&
                        m.ask(kDeleteCaption, productDeletionQuestion(use));
    if (agreed) {
        const Outcome outcome = store_.remove(id, use);
        if (!outcome.done())
            m.error(outcome.caption, outcome.text);
    }
    store_.reopen();
}

} // namespace tabel
