#include "grid_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <cmath>

namespace tabel {

namespace {

// WCAG relative luminance and contrast ratio.
double luminance(const QColor& c) {
    auto channel = [](float v) {
        return v <= 0.04045f ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor mix(const QColor& base, const QColor& tint, double share) {
    auto m = [share](float b, float t) { return b + (t - b) * share; };
    return QColor::fromRgbF(m(base.redF(), tint.redF()), m(base.greenF(), tint.greenF()),
                            m(base.blueF(), tint.blueF()));
}

// Cells with a text colour of their own keep it when their row is selected,
// so an "OK" mark stays green or red. On the usual blue selection those marks
// all but vanish (green about 1.4:1, red 1.1:1), so such a cell gets the
// strongest light tint of the selection colour that keeps its mark at 3:1 or
// better: the mark stays readable and the row still reads as selected.
class ColourKeepingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant fg = index.data(Qt::ForegroundRole);
        if (!fg.canConvert<QColor>() || !fg.value<QColor>().isValid())
            return;
        const QColor mark = fg.value<QColor>();
        QPalette& p = option->palette;
        p.setColor(QPalette::HighlightedText, mark);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            const QColor base = p.color(group, QPalette::Base);
            const QColor selection = p.color(group, QPalette::Highlight);
            QColor behind = base;
            for (double share = 0.3; share > 0.01; share -= 0.05) {
                const QColor tinted = mix(base, selection, share);
                if (contrast(mark, tinted) >= 3.0) {
                    behind = tinted;
                    break;
                }
            }
            p.setColor(group, QPalette::Highlight, behind);
        }
    }
};

} // namespace

void bindGrid(QTableView* view, GridModel* model) {
    view->setModel(model);
    view->setItemDelegate(new ColourKeepingDelegate(view));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Nothing in a read-only grid is for Tab to visit cell by cell (a
    // monthly sheet has 36 columns); Tab goes on to the window's buttons.
    view->setTabKeyNavigation(false);
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
