#include "list_window.h"

#include "db/dataset.h"
#include "kit/error_boxes.h"
#include "kit/grid_view.h"
#include "kit/search_box.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tabel {

ListWindow::ListWindow(Dataset& list, QList<GridColumn> columns, SearchRule rule, QWidget* parent)
    : QDialog(parent), list_(list), rule_(std::move(rule)) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    grid_ = new QTableView(this);
    grid_->setObjectName("DBGrid1");
    model_ = new GridModel(std::move(columns), this);
    model_->setDataset(&list_);
    bindGrid(grid_, model_);
    connect(grid_, &QTableView::doubleClicked, this,
            [this] { guarded([this] { activateRow(); }); });

    search_ = new QLineEdit(this);
    search_->setObjectName("Edit1");
    search_->setAccessibleName("Поиск");
    search_->installEventFilter(this);
    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& text) { guarded([&] { search(text); }); });

    bar_ = new QHBoxLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(bar_);
}

void ListWindow::search(const QString& text) {
    rule_.apply(list_, text);
}

QPushButton* ListWindow::addBarButton(const char* caption, const char* objectName) {
    return barButton(this, bar_, caption, objectName);
}

void ListWindow::addBarWidget(QWidget* widget, int stretch) {
    bar_->addWidget(widget, stretch);
}

void ListWindow::addSearchBox() {
    bar_->addWidget(search_, 1);
}

void ListWindow::finishBar() {
    bar_->addStretch();
    exit_ = addBarButton("Выход", "ExitButton");
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
}

void ListWindow::focusSearch() {
    if (search_->isVisible())
        search_->setFocus();
}

void ListWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    focusSearch();
}

void ListWindow::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        focusSearch();
}

bool ListWindow::eventFilter(QObject* o, QEvent* e) {
    if (o == search_ && e->type() == QEvent::KeyPress)
        return searchBoxKey(static_cast<QKeyEvent*>(e), list_);
    return QDialog::eventFilter(o, e);
}

} // namespace tabel
