#pragma once

#include "db/dataset.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QLocale>
#include <QPointer>
#include <functional>

namespace tabel {

// One grid column over a dataset field.
struct GridColumn {
    QString field;
    QString title;
    int width = -1; // -1: the view's default
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    bool numeric = false; // shown in the locale's number format
    int decimals = -1;    // fixed decimals for amounts; -1: as short as exact
    bool hidden = false;
    // Optional: the text colour of a cell (an invalid colour: default), and
    // whether it is bold.
    std::function<QColor(const QVariant&)> foreground;
    bool bold = false;
    QColor background; // invalid: the grid's own
};

// The text a grid cell of `col` shows for `raw`, in `locale`'s number format
// (the web pages show the same text as the windows).
QString cellText(const GridColumn& col, const QVariant& raw, const QLocale& locale = QLocale());

// What a grid shows of a dataset: chosen columns with titles, the text of
// each cell in the user's locale, and colours as model data.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QList<GridColumn> columns, QObject* parent = nullptr);
    void setDataset(Dataset* dataset);
    Dataset* dataset() const { return dataset_; }
    const QList<GridColumn>& columns() const { return columns_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

protected:
    // What the column shows in `role` for the value `raw`, as data() gives
    // it; for models that add looks of their own.
    QVariant columnData(const GridColumn& col, const QVariant& raw, int role) const;

private:
    QList<GridColumn> columns_;
    QPointer<Dataset> dataset_;
    QList<QMetaObject::Connection> links_;
};

} // namespace tabel
