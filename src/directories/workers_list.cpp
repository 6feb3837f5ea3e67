#include "workers_list.h"

#include "directories/worker_dialog.h"
#include "kit/error_boxes.h"
#include "session/roles.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace tabel {

WorkersList::WorkersList(AppContext& ctx, QWidget* parent)
    : ListWindow(ctx.data.workers(),
                 {{"id", "id", 60, Qt::AlignRight | Qt::AlignVCenter, true},
                  {"fio", "fio", 300},
                  {"s_staffpos_hl", "s_staffpos_hl", 250}},
                 WorkerStore::searchRule(), parent),
      ctx_(ctx), store_(ctx.db(), ctx.messenger, ctx.data.workers()) {
    setObjectName("TForm5");
    setWindowTitle("Список рабочих");
    grid()->setAccessibleName("Список рабочих");

    dialog_ = new WorkerDialog(store_, this);
    runDialog = [](WorkerDialog& d) { return d.exec(); };

    add_ = addBarButton("Добавить", "AddButton");
    change_ = addBarButton("Изменить", "ChangeButton");
    delete_ = addBarButton("Удалить", "DeleteButton");
    pay_ = addBarButton("Расчётный листок", "PayStatementButton");
    pay_->hide();
    addSearchBox();
    finishBar();

    connect(add_, &QPushButton::clicked, this, [this] { guarded([this] { addWorker(); }); });
    connect(change_, &QPushButton::clicked, this, [this] { guarded([this] { choose(); }); });
    connect(delete_, &QPushButton::clicked, this, [this] { guarded([this] { deleteCurrent(); }); });
    connect(pay_, &QPushButton::clicked, this, [this] { guarded([this] { showPayStatement(); }); });
    resize(720, 520);
}

void WorkersList::prepareDirectory() {
    setModeNumber(DirectoryMode);
    picked_.reset();
    store_.open();
    change_->setText("Изменить");
    change_->setDefault(false);
    add_->show();
    delete_->show();
    pay_->setVisible(pay_action_ && !restrictionsFor(ctx_.state.role()).timesheets);
}

void WorkersList::preparePicker(int modeNumber) {
    setModeNumber(modeNumber);
    picked_.reset();
    store_.open();
    change_->setText("Выбрать");
    change_->setDefault(true);
    change_->show();
    add_->hide();
    delete_->hide();
    pay_->hide();
    searchBox()->show();
    searchBox()->clear();
    // An already empty box sends no change, yet the list must show everyone.
    store_.search(QString());
}

void WorkersList::setPayStatement(std::function<void(int, const QDate&)> show) {
    pay_action_ = std::move(show);
}

void WorkersList::showPayStatement() {
    Dataset& workers = store_.workers();
    if (pay_action_ && !workers.isEmpty())
        pay_action_(workers.current("id").toInt(), ctx_.state.pickedDate);
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
    if (!isPicker())
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
    dialog_->beginChange(workers.current("id").toInt(), workers.current("fio").toString(),
                         workers.current("s_staffpos_hl").toString());
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

} // namespace tabel
