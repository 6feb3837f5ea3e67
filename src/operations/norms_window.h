#pragma once

#include "operations/norm_store.h"
#include "session/context.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableView>

class QPushButton;

namespace tabel {

// The norms of one operation as an editable grid: the stored norms, and at the
// end, while one is being added, a blank row that becomes a norm as soon as
// its first cell is stored. An operation without norms always shows the
// blank row. Every cell is stored when its editor closes, in one statement.
class NormsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NormaColumn, PriceColumn, PrizeColumn };

    NormsModel(NormStore& store, Messenger& messenger, QObject* parent = nullptr);

    // Reads the operation's norms again. Throws DbError.
    void load(int operationId);
    void reload() { load(operationId_); }
    int operationId() const { return operationId_; }

    int normCount() const { return static_cast<int>(norms_.size()); }
    bool isBlankRow(int row) const { return blank_ && row == normCount(); }
    int normId(int row) const; // 0 for the blank row
    // Adds the blank row at the end (when there is none) and answers its row.
    int appendBlank();
    // Drops the blank row unless it is all the grid shows.
    void dropBlank();
    // Whether the last cell stored was refused.
    bool lastStoreFailed() const { return lastStoreFailed_; }
    void clearFailure() { lastStoreFailed_ = false; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Stores the typed text of one cell; an unchanged cell is not written.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // A norm was found changed or deleted elsewhere: the grid is to be read
    // again, once the editing that found it is over.
    void staleFound();

private:
    static NormStore::Field field(int column);
    QString editText(int row, int column) const;

    NormStore& store_;
    Messenger& messenger_;
    int operationId_ = 0;
    std::vector<Norm> norms_;
    bool blank_ = true;
    bool lastStoreFailed_ = false;
};

// The cell editors of the norms grid: text boxes that take only what the
// cell's column can store. Knows the editor that is open, so "Сохранить" can
// store it.
class NormsDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    // Stores and closes the open editor, if any.
    void finishEditing();

private:
    mutable QPointer<QWidget> open_;
};

// The grid: moving down from the last row, or on from its last cell, begins a
// new norm.
class NormsGrid : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
};

// "Норматив": the price norms of one operation, edited in place. Opened
// from the operations list with "Цены" ticked. Created once and reused.
class NormPriceDialog;

class NormsEditor : public QDialog {
    Q_OBJECT
public:
    explicit NormsEditor(AppContext& ctx, QWidget* parent = nullptr);

    // Reads the norms of the operation and shows them modally.
    void openFor(int operationId);
    // The opening without the modal loop. Throws DbError.
    void prepare(int operationId);

    // "Сохранить" (also Enter and Escape): stores the cell being edited,
    // rereads `Oper` standing on the same operation and closes. Stays open
    // when the cell is refused. Throws DbError.
    bool finish();
    // "Удалить": deletes the current norm unless it is the operation's only
    // one, then reads the norms again. Throws DbError.
    void deleteCurrent();

    int operationId() const { return model_->operationId(); }
    NormsModel* model() const { return model_; }
    NormsDelegate* delegate() const { return delegate_; }
    QTableView* grid() const { return grid_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* priceFromButton() const { return priceFrom_; }
    NormPriceDialog* priceDialog() const { return priceDialog_; }

    // "Цена с даты…": the current norm's dated prices, where a new one is
    // set; the grid is read again after. The preparing refuses a norm not
    // stored yet. Throws DbError.
    bool preparePriceFrom();
    void openPriceFrom();

public slots:
    void reject() override; // Escape and the window's close button: "Сохранить"

protected:
    void showEvent(QShowEvent* e) override;

private:
    void reloadKeepingRow();

    AppContext& ctx_;
    NormStore store_;
    NormsModel* model_;
    NormsDelegate* delegate_;
    NormsGrid* grid_;
    QPushButton* save_;
    QPushButton* delete_;
    QPushButton* priceFrom_;
    NormPriceDialog* priceDialog_;
};

} // namespace tabel
