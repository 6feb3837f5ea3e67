#include "operations_list.h"

#include "kit/error_boxes.h"
#include "kit/grid_view.h"
#include "kit/search_box.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

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
    : QDialog(parent), ctx_(ctx), store_(ctx.data) {
    setObjectName("TForm4");
    setWindowTitle("Операции");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    grid_ = new QTableView(this);
    grid_->setObjectName("DBGrid1");
    grid_->setAccessibleName("Операции");
    model_ = new GridModel(operationColumns(), this);
    model_->setDataset(&ctx_.data.oper());
    bindGrid(grid_, model_);
    connect(grid_, &QTableView::doubleClicked, this, [this] { activateRow(); });

    auto* bottom = new QHBoxLayout;
    auto button = [this, bottom](const char* caption, const char* name) {
        return barButton(this, bottom, caption, name);
    };
    add_ = button("Добавить", "AddButton");
    change_ = button("Изменить", "ChangeButton");
    delete_ = button("Удалить", "DeleteButton");
    excel_ = button("Excel", "ExcelButton");
    // The price-list export arrives with the spreadsheet exports.
    excel_->setEnabled(false);
    prices_ = new QCheckBox("Цены", this);
    prices_->setObjectName("CheckBox1");
    QFont bold = prices_->font();
    bold.setBold(true);
    prices_->setFont(bold);
    bottom->addWidget(prices_);
    search_ = new QLineEdit(this);
    search_->setObjectName("Edit1");
    search_->setAccessibleName("Поиск");
    search_->installEventFilter(this);
    bottom->addWidget(search_, 1);
    bottom->addStretch();
    exit_ = button("Выход", "ExitButton");

    connect(add_, &QPushButton::clicked, this, [this] { callHook(onAddOperation); });
    connect(change_, &QPushButton::clicked, this, [this] { changeOrChoose(); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteCurrent(); });
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { store_.search(text); }); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);

    resize(900, 560);
    setFixedSize(size());
}

void OperationsList::openDirectory() {
    beginDirectory();
    exec();
    endDirectory();
}

void OperationsList::beginDirectory() {
    mode_ = Directory;
    ctx_.data.oper().open();
    change_->setText("Изменить");
    change_->setDefault(false);
    add_->setDefault(true);
    add_->show();
    delete_->show();
}

void OperationsList::endDirectory() {
    ctx_.data.oper().close();
}

std::optional<PickedOperation> OperationsList::pick(int currentOperationId) {
    beginPick(currentOperationId);
    exec();
    return endPick();
}

void OperationsList::beginPick(int currentOperationId) {
    mode_ = Picker;
    chosen_.reset();
    Dataset& oper = ctx_.data.oper();
    oper.open();
    change_->setText("Выбрать");
    add_->hide();
    delete_->hide();
    add_->setDefault(false);
    change_->setDefault(true);
    search_->show();
    // Emptying the box lifts a search left from before, so the operation to
    // stand on is placed in the whole list.
    search_->clear();
    store_.search(QString());
    oper.setCurrentRow(0);
    if (currentOperationId != 0)
        oper.locate("id", currentOperationId);
}

std::optional<PickedOperation> OperationsList::endPick() {
    change_->setDefault(false);
    search_->hide();
    store_.search(QString());
    std::optional<PickedOperation> picked;
    picked.swap(chosen_);
    return picked;
}

void OperationsList::choose() {
    Dataset& oper = ctx_.data.oper();
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
    if (mode_ == Picker) {
        choose();
        return;
    }
    // There is nothing to change in an empty list.
    if (!ctx_.data.oper().isEmpty())
        callHook(onChangeOperation);
}

void OperationsList::activateRow() {
    if (mode_ == Picker) {
        choose();
        return;
    }
    if (ctx_.data.oper().isEmpty())
        return;
    callHook(prices_->isChecked() ? onOpenNorms : onChangeOperation);
}

void OperationsList::deleteCurrent() {
    guarded([this] { store_.deleteCurrent(); });
}

void OperationsList::moveCurrent(int by) {
    Dataset& oper = ctx_.data.oper();
    if (!oper.isEmpty())
        oper.setCurrentRow(oper.currentRow() + by);
}

void OperationsList::callHook(const std::function<void()>& hook) {
    if (hook)
        guarded(hook);
}

void OperationsList::focusSearch() {
    if (search_->isVisible())
        search_->setFocus();
}

void OperationsList::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    focusSearch();
}

void OperationsList::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        focusSearch();
}

bool OperationsList::eventFilter(QObject* o, QEvent* e) {
    if (o == search_ && e->type() == QEvent::KeyPress)
        return searchBoxKey(static_cast<QKeyEvent*>(e), ctx_.data.oper());
    return QDialog::eventFilter(o, e);
}

} // namespace tabel
