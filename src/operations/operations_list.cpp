#include "operations_list.h"

#include "db/deletion.h"
#include "db/statements.h"
#include "export/export_actions.h"
#include "kit/error_boxes.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace tabel {

namespace {

QList<GridColumn> operationColumns() {
    const auto right = Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter);
    return {
        {"marka", "Марка", 300},
        {"vid", "Опреция", 200},
        {"cena", "Цена (min)", 80, right, true},
        {"nmn", "Вид", 140},
        {"norma", "Нормы (шт.)", 95, right, true},
    };
}

} // namespace

OperationsList::OperationsList(AppContext& ctx, QWidget* parent)
    : ListWindow(ctx.data.oper(), operationColumns(), OperationStore::searchRule(), parent),
      ctx_(ctx), store_(ctx.db()) {
    setObjectName("TForm4");
    setWindowTitle("Операции");
    grid()->setAccessibleName("Операции");

    add_ = addBarButton("Добавить", "AddButton");
    change_ = addBarButton("Изменить", "ChangeButton");
    delete_ = addBarButton("Удалить", "DeleteButton");
    excel_ = addBarButton("Excel", "ExcelButton");
    prices_ = new QCheckBox("Цены", this);
    prices_->setObjectName("CheckBox1");
    QFont bold = prices_->font();
    bold.setBold(true);
    prices_->setFont(bold);
    addBarWidget(prices_);
    addSearchBox();
    finishBar();

    connect(add_, &QPushButton::clicked, this, [this] { callHook(onAddOperation); });
    connect(change_, &QPushButton::clicked, this, [this] { changeOrChoose(); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteCurrent(); });
    // The price list: every operation with its list price, whatever the
    // search shows.
    connect(excel_, &QPushButton::clicked, this, [this] { exportPriceList(this, ctx_); });

    resize(900, 560);
    setFixedSize(size());
}

void OperationsList::openDirectory() {
    beginDirectory();
    exec();
    endDirectory();
}

void OperationsList::beginDirectory() {
    setModeNumber(Directory);
    // Every opening reads the database again: prices and operations change
    // on other workstations. The directory lists operations without norms
    // too, so a new one can be given its first norm.
    list().close();
    list().setSql(sql::operationsDirectory());
    list().setParam("day", QDate::currentDate());
    list().open();
    change_->setText("Изменить");
    change_->setDefault(false);
    add_->setDefault(true);
    add_->show();
    delete_->show();
}

void OperationsList::endDirectory() {
    list().close();
    list().setSql(sql::operations());
}

std::optional<PickedOperation> OperationsList::pick(int currentOperationId, const QDate& day) {
    beginPick(currentOperationId, day);
    exec();
    return endPick();
}

void OperationsList::beginPick(int currentOperationId, const QDate& day) {
    setModeNumber(Picker);
    chosen_.reset();
    Dataset& oper = list();
    // A norm raised elsewhere since the last pick must not reach a record
    // at the old price. Only operations with a price can be picked, at the
    // price holding on the record's day.
    oper.close();
    oper.setSql(sql::operations());
    oper.setParam("day", day.isValid() ? day : QDate::currentDate());
    oper.open();
    change_->setText("Выбрать");
    add_->hide();
    delete_->hide();
    add_->setDefault(false);
    change_->setDefault(true);
    searchBox()->show();
    // Emptying the box lifts a search left from before, so the operation to
    // stand on is placed in the whole list.
    searchBox()->clear();
    search(QString());
    oper.setCurrentRow(0);
    if (currentOperationId != 0)
        oper.locate("id", currentOperationId);
}

std::optional<PickedOperation> OperationsList::endPick() {
    change_->setDefault(false);
    searchBox()->hide();
    search(QString());
    std::optional<PickedOperation> picked;
    picked.swap(chosen_);
    return picked;
}

void OperationsList::choose() {
    Dataset& oper = list();
    if (!oper.isEmpty()) {
        PickedOperation p;
        p.productId = oper.current("i_id").toInt();
        p.operationId = oper.current("id").toInt();
        p.naimen = oper.current("naimen").toInt();
        p.vid = oper.current("vid").toString();
        p.basePrice = oper.current("cena").toDouble();
        chosen_ = p;
    }
    accept();
}

void OperationsList::changeOrChoose() {
    if (isPicker()) {
        choose();
        return;
    }
    // There is nothing to change in an empty list.
    if (!list().isEmpty())
        callHook(onChangeOperation);
}

void OperationsList::activateRow() {
    if (isPicker()) {
        choose();
        return;
    }
    if (list().isEmpty())
        return;
    callHook(prices_->isChecked() ? onOpenNorms : onChangeOperation);
}

void OperationsList::deleteCurrent() {
    guarded([this] {
        Dataset& oper = list();
        if (oper.isEmpty())
            return;
        const int id = oper.current("id").toInt();
        // A used operation is refused before the question; the deletion
        // checks again under its lock in case a record came meanwhile.
        if (askAndDelete(ctx_.messenger, store_.deletionRefusal(id), "Удалить операцию?",
                         [&] { return store_.remove(id); }))
            oper.reopen();
    });
}

void OperationsList::moveCurrent(int by) {
    Dataset& oper = list();
    if (!oper.isEmpty())
        oper.setCurrentRow(oper.currentRow() + by);
}

void OperationsList::callHook(const std::function<void()>& hook) {
    if (hook)
        guarded(hook);
}

} // namespace tabel
