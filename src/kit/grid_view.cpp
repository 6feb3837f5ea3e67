#include "grid_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>
#include <QTableView>

namespace tabel {

namespace {
// Cells keep their own text colour when their row is selected, so an "OK"
// mark stays green or red under the selection.
class ColourKeepingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant fg = index.data(Qt::ForegroundRole);
        if (fg.canConvert<QColor>() && fg.value<QColor>().isValid())
            option->palette.setColor(QPalette::HighlightedText, fg.value<QColor>());
    }
};
} // namespace

void bindGrid(QTableView* view, GridModel* model) {
    view->setModel(model);
    view->setItemDelegate(new ColourKeepingDelegate(view));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view->horizontalHeader()->setHighlightSections(false);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    for (int i = 0; i < model->columns().size(); ++i) {
        const GridColumn& c = model->columns()[i];
        if (c.width > 0)
            view->setColumnWidth(i, c.width);
        view->setColumnHidden(i, c.hidden);
    }
    auto syncFromDataset = [view, model] {
        Dataset* ds = model->dataset();
        const int row = ds ? ds->currentRow() : -1;
        if (row < 0) {
            view->selectionModel()->clearSelection();
            return;
        }
        if (view->currentIndex().row() != row)
            view->selectRow(row);
    };
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, view,
                     [model](const QModelIndex& current) {
                         if (Dataset* ds = model->dataset(); ds && current.isValid())
                             ds->setCurrentRow(current.row());
                     });
    QObject::connect(model, &QAbstractItemModel::modelReset, view, syncFromDataset);
    // Datasets can be swapped (the journal shows one shift list at a time),
    // so the current-row link follows whichever dataset the model shows.
    auto link = std::make_shared<QMetaObject::Connection>();
    auto relink = [view, model, link, syncFromDataset] {
        QObject::disconnect(*link);
        if (Dataset* ds = model->dataset())
            *link = QObject::connect(ds, &Dataset::currentRowChanged, view,
                                     [syncFromDataset](int) { syncFromDataset(); });
        syncFromDataset();
    };
    QObject::connect(model, &QAbstractItemModel::modelReset, view, relink);
    relink();
}

} // namespace tabel
