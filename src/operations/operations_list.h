#pragma once

#include "kit/list_window.h"
#include "operations/operation_store.h"
#include "session/context.h"

#include <functional>
#include <optional>

class QCheckBox;
class QPushButton;

namespace tabel {

// What the production record dialog receives from a pick: the operation's
// product, id, kind and type name, and its lowest norm price holding on the
// day the list was read for, as the database gave it.
struct PickedOperation {
    int productId = 0;
    int operationId = 0;
    int naimen = 0;
    QString vid;
    double basePrice = 0;
};

// The operations with their lowest norm prices ("Операции"): the directory
// of operations from the main menu, and the operation picker of the
// production record dialog. Created once and reused, so the search box keeps
// its text and visibility from one opening to the next.
class OperationsList : public ListWindow {
    Q_OBJECT
public:
    enum Mode { Directory = DirectoryMode, Picker = 1 };

    explicit OperationsList(AppContext& ctx, QWidget* parent = nullptr);

    // Reads `Oper` again, with today's prices, shows the list modally with
    // add, change and delete, and closes `Oper` again. The directory lists every operation, those
    // without norms too (0 norms, no price), so that a new operation can be
    // given its first norm. Throws DbError when `Oper` cannot be read.
    void openDirectory();

    // Reads `Oper` again, only the operations with at least one norm, with
    // the prices holding on `day` (the record's date), and shows the list
    // modally for a choice, standing
    // on the operation `currentOperationId` (on the first row when it is 0 or
    // not listed). `Oper` is left open and unnarrowed. Nothing comes back
    // when the list was closed without a choice or had no rows. Throws
    // DbError.
    std::optional<PickedOperation> pick(int currentOperationId, const QDate& day = {});

    // The steps of the two openings before and after their modal loop, for
    // callers that drive the window themselves.
    void beginDirectory();
    void endDirectory();
    void beginPick(int currentOperationId, const QDate& day = {}); // no day: today
    std::optional<PickedOperation> endPick();

    int mode() const { return modeNumber(); }

    QPushButton* addButton() const { return add_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* excelButton() const { return excel_; }
    QCheckBox* pricesBox() const { return prices_; }

    // The operation dialog and the norms editor; nothing happens while unset.
    std::function<void()> onAddOperation;
    std::function<void()> onChangeOperation;
    std::function<void()> onOpenNorms;

public slots:
    void choose();               // "Выбрать": takes the current row and closes
    void changeOrChoose();       // the second button, in either mode
    void activateRow() override; // double-click on a row
    void deleteCurrent();        // "Удалить"
    void moveCurrent(int by);    // Up and Down in the search box

private:
    void callHook(const std::function<void()>& hook);

    AppContext& ctx_;
    OperationStore store_;
    std::optional<PickedOperation> chosen_;
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* delete_;
    QPushButton* excel_;
    QCheckBox* prices_;
};

} // namespace tabel
