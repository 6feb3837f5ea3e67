#include "workers_list.h"

#include "directories/worker_dialog.h"
#include "kit/error_boxes.h"
#include "kit/grid_view.h"
#include "kit/search_box.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tabel {

WorkersList::WorkersList(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx), store_(ctx.db(), ctx.messenger, ctx.data.workers()) {
    setObjectName("TForm5");
    setWindowTitle("Список рабочих");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    dialog_ = new WorkerDialog(store_, this);
    runDialog = [](WorkerDialog& d) { return d.exec(); };

    grid_ = new QTableView(this);
    grid_->setObjectName("DBGrid1");
    grid_->setAccessibleName("Список рабочих");
    model_ = new GridModel({{"id", "id", 60, Qt::AlignRight | Qt::AlignVCenter, true},
                            {"fio", "fio", 300},
                            {"s_staffpos_hl", "s_staffpos_hl", 250}},
                           this);
    model_->setDataset(&ctx_.data.workers());
    bindGrid(grid_, model_);
    connect(grid_, &QTableView::doubleClicked, this, [this] { guarded([this] { choose(); }); });

    auto* bottom = new QHBoxLayout;
    auto button = [this, bottom](const char* caption, const char* name) {
        return barButton(this, bottom, caption, name);
    };
    add_ = button("Добавить", "AddButton");
    change_ = button("Изменить", "ChangeButton");
    delete_ = button("Удалить", "DeleteButton");
    search_ = new QLineEdit(this);
    search_->setObjectName("Edit1");
    search_->setAccessibleName("Поиск");
    search_->installEventFilter(this);
    bottom->addWidget(search_, 1);
    bottom->addStretch();
    exit_ = button("Выход", "ExitButton");

    connect(add_, &QPushButton::clicked, this, [this] { guarded([this] { addWorker(); }); });
    connect(change_, &QPushButton::clicked, this, [this] { guarded([this] { choose(); }); });
    connect(delete_, &QPushButton::clicked, this, [this] { guarded([this] { deleteCurrent(); }); });
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { store_.search(text); }); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);
    resize(720, 520);
}

void WorkersList::prepareDirectory() {
    mode_ = DirectoryMode;
    picked_.reset();
    store_.open();
    change_->setText("Изменить");
    change_->setDefault(false);
    add_->show();
    delete_->show();
}

void WorkersList::preparePicker(int modeNumber) {
    mode_ = modeNumber;
    picked_.reset();
    store_.open();
    change_->setText("Выбрать");
    change_->setDefault(true);
    change_->show();
    add_->hide();
    delete_->hide();
    search_->show();
    search_->clear();
    // An already empty box sends no change, yet the list must show everyone.
    store_.search(QString());
}

void WorkersList::finish() {
    store_.close();
}

void WorkersList::openDirectory() {
    prepareDirectory();
    exec();
    finish();
}

std::optional<PickedWorker> WorkersList::pick(int modeNumber) {
    preparePicker(modeNumber);
    exec();
    finish();
    return picked_;
}

void WorkersList::choose() {
    if (mode_ == DirectoryMode)
        changeCurrent();
    else
        pickCurrent();
}

void WorkersList::addWorker() {
    dialog_->setWindowTitle("Заведение данных нового работника");
    dialog_->beginAdd();
    runDialog(*dialog_);
    store_.reopen();
}

void WorkersList::changeCurrent() {
    Dataset& workers = store_.workers();
    // With nobody in the list there is no one to change.
    if (workers.isEmpty())
        return;
    dialog_->setWindowTitle("Изменение данных работника");
    dialog_->beginChange(workers.current("id").toInt(), workers.current("fio").toString());
    runDialog(*dialog_);
    store_.reopenKeepingPosition();
    accept();
}

void WorkersList::pickCurrent() {
    Dataset& workers = store_.workers();
    if (!workers.isEmpty())
        picked_ = PickedWorker{workers.current("id").toInt(),
                               workers.current("fio").toString().trimmed()};
    accept();
}

void WorkersList::deleteCurrent() {
    store_.deleteCurrent();
}

void WorkersList::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    search_->setFocus();
}

bool WorkersList::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        search_->setFocus();
    return QDialog::event(e);
}

bool WorkersList::eventFilter(QObject* o, QEvent* e) {
    if (o == search_ && e->type() == QEvent::KeyPress)
        return searchBoxKey(static_cast<QKeyEvent*>(e), store_.workers());
    return QDialog::eventFilter(o, e);
}

} // namespace tabel
