#pragma once

#include "db/data_module.h"
#include "db/outcome.h"
#include "db/search.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace tabel {

inline const char* kDuplicateMark = "Такая марка изделия уже заведена!";
inline const char* kProductHasPrices = "По изделию есть расценки они будут удалены!!!";
inline const char* kProductHasRecords = "По изделию есть операции в текущем, предыдущем месяцах и "
                                        "ранее, они будут удалены. Удалить изделие? ";
inline const char* kDeleteProduct = "Удалить изделие? ";
inline const char* kProductUsedMeanwhile =
    "По изделию с другого рабочего места внесены новые операции или расценки. Изделие не "
    "удалено: проверьте его и удалите заново.";
inline const char* kProductGone = "Изделие не найдено: оно удалено с другого рабочего места.";
inline const char* kGroupGone = "Номенклатурная группа не найдена: она удалена с другого рабочего "
                                "места. Выберите группу заново.";
inline const char* kProductOperationsHaveOthersRecords =
    "Изделие не удалено: по его операциям есть записи других изделий";
inline const char* kMoveOperationsBack =
    "Верните операции их изделиям или измените эти записи в журнале, затем удалите изделие.";
inline const char* kProductChanged = "Изделие изменено с другого рабочего места.";

// A nomenclature group as the product dialog offers it.
struct ProductGroup {
    qint64 id = 0;
    QString caption;
};

// A product as the list showed it when its change began (the `Izdel` row's
// values as read): a change is written only over the product as it was.
struct ShownProduct {
    QVariant mark;    // `marka`
    QVariant rate;    // `massa`, exact decimal text
    QVariant groupId; // `id_class_item`
};

// What the product dialog hands over on "Записать".
struct ProductInput {
    int mode = 1;       // 1 new product, 2 change
    int productId = 0;  // the product being changed (mode 2)
    QString mark;       // "Марка" as typed
    QString rate;       // "Расценка" as typed or as shown, either decimal separator
    qint64 groupId = 0; // 0: no group chosen
    ShownProduct shown; // the product being changed as shown (mode 2)
};

// What refers to a product.
struct ProductUse {
    int records = 0;     // production records
    int operations = 0;  // operations with their price norms
    int brigadeJobs = 0; // brigade jobs of the product or on its operations
};

// The last question before a product's deletion: it says what goes with the
// product (its records, its brigade jobs).
QString productDeletionQuestion(const ProductUse& use);

// The products directory without its windows: the mark search over the
// shared `Izdel` list, the group choices, saving a product into the goods
// table and deleting a product with everything that refers to it.
class ProductStore {
public:
    explicit ProductStore(DataModule& data);

    Dataset& products() const { return data_.izdel(); }

    // The products list narrows to the marks that begin with the typed text.
    static SearchRule searchRule();

    // Shows only the products whose marks begin with `typed`; an empty text
    // shows them all. The text is kept and applied again whenever the list is
    // opened or reread here.
    void search(const QString& typed);
    QString searchText() const { return search_; }

    // Opens `Izdel` (when it is not open yet) with the search applied.
    void open();
    // Closes `Izdel` and takes the search off the shared list.
    void close();
    // Reads `Izdel` again from its first row.
    void reopen();
    // Reads `Izdel` again and returns to the same row number, or to the last
    // row when the list has become shorter.
    void reopenKeepingPosition();

    // The nomenclature groups in use (level 2, not excluded), by caption.
    QList<ProductGroup> groups() const;

    // "Записать": checks the fields (a mark the server cannot store, or one
    // longer than the list reads marks, is refused), refuses a mark that
    // another product already has (ignoring letter case and surrounding
    // blanks), then writes the goods row in one transaction, under a lock
    // that keeps two workstations from adding the same mark at once. A change
    // of a product changed elsewhere since it was shown, or deleted, is
    // refused. The rate is stored exactly as typed, with either decimal
    // separator. Throws DbError.
    Outcome save(const ProductInput& in);

    // How many production records, operations and brigade jobs refer to
    // the product.
    ProductUse use(int productId) const;

    // The refusal a deletion of the product meets while records of other
    // products are written on its operations (an operation moved to this
    // product keeps the records written for the product it had): they would
    // point at a deleted operation, yet they are no records of this product
    // to delete with it. The message names them. Done when there are none.
    // Throws DbError.
    Outcome otherProductsRecords(int productId) const;

    // The refusal a deletion of the product meets while records of it fall
    // in a closed month: they would be deleted with it. The message names
    // the earliest such month. Done when there are none. Throws DbError.
    Outcome closedMonthRecords(int productId) const;

    // Deletes the product, its operations with their norms, its production
    // records and its brigade jobs with their members, and brings the
    // affected time-sheet day cells in line, all in one transaction (a
    // savepoint inside a caller's). Exactly the records counted under the
    // deletion's locks are deleted. `agreed` is what the user was told refers
    // to the product; when more refers to it by the time the deletion runs
    // (written meanwhile on another workstation), nothing is deleted and the
    // outcome says so, as it does for records of other products on its
    // operations and for records of a closed month (checked under the
    // months' locks). A product already deleted elsewhere counts as deleted.
    // Throws DbError.
    Outcome remove(int productId, const ProductUse& agreed);

private:
    void applySearch();

    DataModule& data_;
    QSqlDatabase db_;
    QString search_;
};

} // namespace tabel
