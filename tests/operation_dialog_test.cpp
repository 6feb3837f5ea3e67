#include "test_support.h"

#include "app/windows.h"
#include "db/locks.h"
#include "directories/product_store.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "operations/norms_window.h"
#include "operations/operation_dialog.h"
#include "operations/operation_store.h"
#include "operations/operations_list.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace tabel;
using namespace tabel::test;

namespace {

class OperationDialogTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        setErrorMessenger(&messenger);
        balka = addProduct("Балка");
        rama = addProduct("Рама");
        paint = addVid("Покраска");
        cut = addVid("Резка");
    }
    void TearDown() override {
        setErrorMessenger(nullptr);
        DbTest::TearDown();
    }

    OperationInput input(int product, int type, int kind, int mode = 1, int id = 0) {
        OperationInput in;
        in.mode = mode;
        in.operationId = id;
        in.productId = product;
        in.productText = "изделие";
        in.typeId = type;
        in.typeText = "вид";
        in.kind = kind;
        if (mode == 2) {
            // A change begins on the operation as stored now.
            QSqlQuery q = tabel::exec(
                db, "select i_id, vid, naimen from accounts_dep.oper where id = :id", {{"id", id}});
            in.shown = q.next() ? ShownOperation{q.value(0), q.value(1), q.value(2)}
                                : ShownOperation{nullInt(), nullInt(), nullInt()};
        }
        return in;
    }
    int operations() { return scalar("select count(*) from accounts_dep.oper").toInt(); }
    QString row(int id) {
        return scalar("select i_id || '/' || vid || '/' || naimen || '/' || cena_new "
                      "from accounts_dep.oper where id = :id",
                      {{"id", id}})
            .toString();
    }

    int balka = 0, rama = 0, paint = 0, cut = 0;
};

} // namespace

TEST_F(OperationDialogTest, AnOperationIsUniqueByProductTypeAndKind) {
    const int existing = addOper(balka, paint, 0);
    const int otherKind = addOper(rama, cut, 2); // blanks, as another program wrote them
    OperationStore store(db);
    struct Case {
        const char* what;
        OperationInput in;
        const char* refusal; // nullptr: written
    } cases[] = {
        {"same product, type and kind", input(balka, paint, 0), kOperationExists},
        {"blanks under another code", input(rama, cut, 1), kOperationExists},
        {"the other kind", input(balka, paint, 1), nullptr},
        {"another type", input(balka, cut, 0), nullptr},
        {"another product", input(rama, paint, 0), nullptr},
        {"itself, unchanged", input(balka, paint, 0, 2, existing), nullptr},
        {"itself, as blanks again", input(rama, cut, 1, 2, otherKind), nullptr},
        {"changed into another", input(balka, paint, 1, 2, existing), kOperationExists},
        {"no product picked", input(0, paint, 0), kOperationFieldsMissing},
        {"no type picked", input(balka, 0, 0), kOperationFieldsMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = operations();
        const OperationStore::Saved saved = store.save(c.in);
        if (c.refusal) {
            EXPECT_EQ(saved.outcome.caption, "Ошибка");
            EXPECT_EQ(saved.outcome.text, QString::fromUtf8(c.refusal));
            EXPECT_EQ(operations(), before);
        } else {
            ASSERT_TRUE(saved.outcome.done()) << saved.outcome.text.toStdString();
            EXPECT_EQ(operations(), before + (c.in.mode == 1 ? 1 : 0));
            EXPECT_EQ(
                row(saved.operationId),
                QStringLiteral("%1/%2/%3/0").arg(c.in.productId).arg(c.in.typeId).arg(c.in.kind));
        }
    }
    // A blank box counts as unpicked, whatever id is held.
    OperationInput blank = input(balka, cut, 1);
    blank.productText = "  ";
    EXPECT_EQ(store.save(blank).outcome.text, kOperationFieldsMissing);
}

TEST_F(OperationDialogTest, TheDuplicateCheckHoldsAgainstAnotherWorkstation) {
    QSqlDatabase other = otherWorkstation();
    run("set lock_timeout = '300ms'");
    {
        // The other workstation is adding the operation and has not committed
        // yet: ours waits for it instead of counting without it.
        Transaction theirs(other);
        lockUniqueKey(other, "accounts_dep.oper", {balka, paint, 0});
        tabel::exec(other,
                    "insert into accounts_dep.oper (vid, naimen, i_id, cena_new) "
                    "values (:v, 0, :i, 0)",
                    {{"v", paint}, {"i", balka}});
        EXPECT_THROW(OperationStore(db).save(input(balka, paint, 0)), DbError);
        // Other operations are not held up.
        EXPECT_TRUE(OperationStore(db).save(input(rama, paint, 0)).outcome.done());
        theirs.commit();
    }
    EXPECT_EQ(OperationStore(db).save(input(balka, paint, 0)).outcome.text, kOperationExists);
    EXPECT_EQ(operations(), 2);
}

TEST_F(OperationDialogTest, WritesAgainstRowsDeletedElsewhereAreRefused) {
    const int gone = addOper(balka, paint, 0);
    run("delete from accounts_dep.oper where id = :id", {{"id", gone}});
    const int oldType = addVid("Сварка");
    run("delete from accounts_dep.vid_oper where id = :id", {{"id", oldType}});
    run("delete from cmn_gds_and_srv.gds_and_srv where id = :id", {{"id", rama}});
    OperationStore store(db);
    EXPECT_EQ(store.save(input(balka, paint, 0, 2, gone)).outcome.text, kOperationDeleted);
    EXPECT_EQ(store.save(input(balka, oldType, 0)).outcome.text, kOperationTypeGone);
    EXPECT_EQ(store.save(input(rama, paint, 0)).outcome.text, kPickedProductGone);
    EXPECT_EQ(operations(), 0);
}

TEST_F(OperationDialogTest, DialogWritesWhatThePickersChose) {
    const int kept = addOper(rama, cut, 0);
    addNorm(kept, 2);
    OperationsList list(*ctx);
    OperationDialog dialog(*ctx);
    std::optional<OperationDialog::ProductChoice> product;
    std::optional<OperationDialog::TypeChoice> type;
    dialog.pickProduct = [&] { return product; };
    dialog.pickType = [&] { return type; };
    Dataset& oper = data->oper();
    list.beginDirectory();

    dialog.prepareNew();
    EXPECT_EQ(dialog.windowTitle(), "Заведение новой цены за операцию");
    product = OperationDialog::ProductChoice{balka, "Балка  "};
    type = OperationDialog::TypeChoice{paint, "Покраска "};
    dialog.chooseProduct();
    dialog.chooseType();
    EXPECT_EQ(dialog.productEdit()->text(), "Балка");
    EXPECT_EQ(dialog.typeEdit()->text(), "Покраска");
    dialog.kindBox()->setCurrentIndex(1);
    ASSERT_TRUE(dialog.save());
    const int added = scalar("select max(id) from accounts_dep.oper").toInt();
    EXPECT_EQ(row(added), QStringLiteral("%1/%2/1/0").arg(balka).arg(paint));
    // The list, reread, stands on the new operation, which has no norm yet.
    EXPECT_EQ(oper.current("id").toInt(), added);
    EXPECT_EQ(oper.current("norma").toInt(), 0);
    EXPECT_TRUE(oper.current("cena").isNull());

    ASSERT_TRUE(dialog.prepareChange());
    EXPECT_EQ(dialog.windowTitle(), "Изменение данных о цене за операцию");
    EXPECT_EQ(dialog.productEdit()->text(), "Балка");
    EXPECT_EQ(dialog.typeEdit()->text(), "Покраска");
    EXPECT_EQ(dialog.kindBox()->currentIndex(), 1);
    // A picker closed without a choice changes nothing; a choice from an
    // empty list empties the box.
    product.reset();
    dialog.chooseProduct();
    EXPECT_EQ(dialog.productEdit()->text(), "Балка");
    type = OperationDialog::TypeChoice{cut, "Резка"};
    dialog.chooseType();
    dialog.kindBox()->setCurrentIndex(0);
    ASSERT_TRUE(dialog.save());
    EXPECT_EQ(row(added), QStringLiteral("%1/%2/0/0").arg(balka).arg(cut));
    EXPECT_EQ(operations(), 2);

    ASSERT_TRUE(oper.locate("id", added));
    ASSERT_TRUE(dialog.prepareChange());
    type = OperationDialog::TypeChoice{0, "Резка"};
    dialog.chooseType();
    EXPECT_TRUE(dialog.typeEdit()->text().isEmpty());
    EXPECT_FALSE(dialog.save());
    EXPECT_EQ(messenger.lastText(), "Все поля должны быть заполнены!");

    // "Добавить" right after a change starts empty and needs both pickers.
    dialog.prepareNew();
    EXPECT_TRUE(dialog.productEdit()->text().isEmpty());
    EXPECT_TRUE(dialog.typeEdit()->text().isEmpty());
    EXPECT_EQ(dialog.kindBox()->currentIndex(), 0);
    messenger.messages.clear();
    EXPECT_FALSE(dialog.save());
    EXPECT_EQ(messenger.lastText(), "Все поля должны быть заполнены!");

    // A duplicate is shown and the dialog stays.
    product = OperationDialog::ProductChoice{rama, "Рама"};
    type = OperationDialog::TypeChoice{cut, "Резка"};
    dialog.chooseProduct();
    dialog.chooseType();
    EXPECT_FALSE(dialog.save());
    EXPECT_EQ(messenger.lastText(), "Операция с такими параметрами уже заведена!");
    EXPECT_EQ(operations(), 2);
    list.endDirectory();
}

TEST_F(OperationDialogTest, ListButtonsOpenTheDialogAndTheNormsEditor) {
    const int op = addOper(balka, paint, 0);
    MainWindow main(*ctx);
    Windows windows(*ctx, main);
    OperationsList& list = windows.operations();

    QStringList opened;
    auto closeWhatOpens = [&] {
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            opened << (w ? w->objectName() + " " + w->windowTitle() : QString("none"));
            if (auto* d = qobject_cast<QDialog*>(w))
                d->done(QDialog::Rejected);
        });
    };

    // Nothing to change in an empty list: no dialog with empty fields.
    run("delete from accounts_dep.oper where id = :id", {{"id", op}});
    list.beginDirectory();
    EXPECT_FALSE(windows.operation().prepareChange());
    closeWhatOpens();
    list.changeButton()->click();
    QApplication::processEvents();
    EXPECT_EQ(opened, QStringList({"none"}));
    list.endDirectory();

    const int again = addOper(balka, paint, 0);
    list.beginDirectory();
    opened.clear();
    closeWhatOpens();
    list.addButton()->click();
    closeWhatOpens();
    list.changeButton()->click();
    list.pricesBox()->setChecked(true);
    closeWhatOpens();
    emit list.grid()->doubleClicked(list.gridModel()->index(0, 0));
    EXPECT_EQ(opened,
              QStringList({"TForm10 Заведение новой цены за операцию",
                           "TForm10 Изменение данных о цене за операцию", "TForm22 Норматив"}));
    EXPECT_EQ(windows.norms().operationId(), again);
    list.endDirectory();
}

// A product being deleted on one workstation and an operation of it being
// saved on another: one waits for the other, and no operation outlives its
// product.
TEST_F(OperationDialogTest, AnOperationSavedWhileItsProductIsDeletedDoesNotOutliveIt) {
    QSqlDatabase other = otherWorkstation();
    tabel::exec(other, "set lock_timeout = '300ms'");
    run("set lock_timeout = '300ms'");
    ProductStore products(*data);

    // The deletion goes first: the save waits for it, then finds the product
    // gone.
    {
        Transaction theirs(other);
        tabel::exec(other, "select id from cmn_gds_and_srv.gds_and_srv where id = :i for update",
                    {{"i", balka}});
        tabel::exec(other, "delete from cmn_gds_and_srv.gds_and_srv where id = :i", {{"i", balka}});
        EXPECT_THROW(OperationStore(db).save(input(balka, paint, 0)), DbError);
        theirs.commit();
    }
    EXPECT_EQ(OperationStore(db).save(input(balka, paint, 0)).outcome.text, kPickedProductGone);

    // The save goes first: the deletion waits for it, then counts the new
    // operation, which the user was not asked about, and stops.
    const ProductUse asked = products.use(rama);
    {
        Transaction ours(db);
        ASSERT_TRUE(OperationStore(db).save(input(rama, paint, 0)).outcome.done());
        DataModule theirs(other, messenger);
        EXPECT_THROW(ProductStore(theirs).remove(rama, asked), DbError);
        ours.commit();
    }
    EXPECT_EQ(products.remove(rama, asked).text, kProductUsedMeanwhile);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.oper o where not exists (select 1 from "
                     "cmn_gds_and_srv.gds_and_srv g where g.id = o.i_id)")
                  .toInt(),
              0);
}
