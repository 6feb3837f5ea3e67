#pragma once

#include "db/search.h"
#include "kit/grid_model.h"

#include <QDialog>

class QBoxLayout;
class QLineEdit;
class QPushButton;
class QTableView;

namespace tabel {

class Dataset;

// What every list window of the program shares: a grid over one dataset, a
// bottom bar of buttons with a search box and "Выход" at its right edge, a
// mode number (0 in directory mode, otherwise the number of the dialog that
// opened the list as a picker) and the search rule of its box.
//
// The search box narrows the list as the user types; Up and Down in it move
// the list; keys that would act on key-down in the box are swallowed. The
// focus goes to the box whenever the window becomes active and the box is
// visible.
class ListWindow : public QDialog {
    Q_OBJECT
public:
    enum : int { DirectoryMode = 0 };

    ListWindow(Dataset& list, QList<GridColumn> columns, SearchRule search,
               QWidget* parent = nullptr);

    Dataset& list() const { return list_; }
    int modeNumber() const { return mode_; }
    bool isPicker() const { return mode_ != DirectoryMode; }

    QTableView* grid() const { return grid_; }
    GridModel* gridModel() const { return model_; }
    QLineEdit* searchBox() const { return search_; }
    QPushButton* exitButton() const { return exit_; }

    // Narrows the list by the window's search rule, as typing in the box does.
    virtual void search(const QString& text);

protected:
    void setModeNumber(int mode) { mode_ = mode; }
    // The bottom bar, filled left to right; `finishBar` puts "Выход" at the
    // right edge.
    QPushButton* addBarButton(const char* caption, const char* objectName);
    void addBarWidget(QWidget* widget, int stretch = 0);
    void addSearchBox();
    void finishBar();

    // A double-click on a row, and Enter on the grid.
    virtual void activateRow() {}

    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void focusSearch();

    Dataset& list_;
    SearchRule rule_;
    int mode_ = DirectoryMode;
    QTableView* grid_;
    GridModel* model_;
    QBoxLayout* bar_;
    QLineEdit* search_;
    QPushButton* exit_ = nullptr;
};

} // namespace tabel
