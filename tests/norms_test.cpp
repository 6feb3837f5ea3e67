#include "test_support.h"

#include "kit/error_boxes.h"
#include "operations/norm_store.h"
#include "operations/norms_window.h"
#include "operations/operation_store.h"
#include "operations/operations_list.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace tabel;
using namespace tabel::test;

namespace {

class NormsTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        setErrorMessenger(&messenger);
        locale = QLocale();
        paint = addVid("Покраска");
    }
    void TearDown() override {
        setErrorMessenger(nullptr);
        QLocale::setDefault(locale);
        DbTest::TearDown();
    }

    int operation(const QString& marka, QList<double> prices) {
        const int id = addOper(addProduct(marka), paint);
        for (double p : prices)
            addNorm(id, p);
        return id;
    }
    int norms(int op) {
        return scalar("select count(*) from accounts_dep.norm where o_id = :o", {{"o", op}})
            .toInt();
    }
    QStringList listed() {
        QStringList out;
        Dataset& oper = data->oper();
        for (int r = 0; r < oper.count(); ++r)
            out << oper.value(r, "marka").toString();
        return out;
    }
    // Typed where the grid has its focus: into the cell being edited, or into
    // the grid itself, which begins editing.
    static void type(QTableView* grid, const QString& text) {
        for (QChar ch : text) {
            QWidget* w = grid->focusWidget() ? grid->focusWidget() : grid;
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    QString cell(NormsEditor& e, int row, int column, int role = Qt::DisplayRole) {
        return e.model()->index(row, column).data(role).toString();
    }

    int paint = 0;
    QLocale locale;
};

} // namespace

TEST(NormPrices, ShownWithTwoOrThreeDecimals) {
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    struct Case {
        const char* exact;
        const char* shown;
    } cases[] = {
        {"12.5", "12,50"},         {"0.125", "0,125"}, {"3", "3,00"},
        {"1.2345", "1,235"},       {"2.9995", "3,00"}, {"0.1", "0,10"},
        {"1234567", "1234567,00"}, {"-0.5", "-0,50"},  {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormStore::priceText(c.exact, ru), QString::fromUtf8(c.shown)) << c.exact;
    EXPECT_EQ(NormStore::priceText("12.5", QLocale::c()), "12.50");
}

TEST(NormPrices, CellsTakeNumbersTheirColumnsCanStore) {
    using F = NormStore::Field;
    struct Case {
        F field;
        const char* typed;
        QVariant expected; // invalid: refused
    } cases[] = {
        {F::Price, "12,5", "12.5"},
        {F::Price, "12.", "12"},
        {F::Price, " 0.125 ", "0.125"},
        {F::Price, "123456789.123456", "123456789.123456"},
        {F::Price, "1234567890", {}},
        {F::Price, "0.1234567", {}},
        {F::Price, "-1", {}},
        {F::Price, "1e3", {}},
        {F::Price, "1,2,3", {}},
        {F::Norma, "100", 100},
        {F::Norma, "2147483647", 2147483647},
        {F::Norma, "2147483648", {}},
        {F::Prize, "1.5", {}},
        {F::Prize, "abc", {}},
    };
    for (const Case& c : cases) {
        const auto got = NormStore::parse(c.field, c.typed);
        if (!c.expected.isValid()) {
            EXPECT_FALSE(got) << c.typed;
            continue;
        }
        ASSERT_TRUE(got) << c.typed;
        EXPECT_EQ(got->toString(), c.expected.toString()) << c.typed;
    }
    // An emptied cell is null.
    for (F f : {F::Norma, F::Price, F::Prize}) {
        const auto got = NormStore::parse(f, " ");
        ASSERT_TRUE(got);
        EXPECT_TRUE(got->isNull());
    }
}

TEST_F(NormsTest, PricesAreStoredAsTypedAndShownAsNormPrices) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const int op = operation("Балка", {5});
    const int id = scalar("select id from accounts_dep.norm where o_id = :o", {{"o", op}}).toInt();
    NormsEditor editor(*ctx);
    editor.prepare(op);
    NormsModel* m = editor.model();
    for (const char* typed : {"0,1", "12345.678901", "0,125"}) {
        ASSERT_TRUE(m->setData(m->index(0, NormsModel::PriceColumn), typed)) << typed;
        const QString exact = NormStore::parse(NormStore::Field::Price, typed)->toString();
        EXPECT_TRUE(scalar("select price = cast(:p as double precision) from accounts_dep.norm "
                           "where id = :id",
                           {{"p", exact}, {"id", id}})
                        .toBool())
            << typed;
    }
    EXPECT_EQ(cell(editor, 0, NormsModel::PriceColumn), "0,125");
    ASSERT_TRUE(m->setData(m->index(0, NormsModel::PriceColumn), "3"));
    EXPECT_EQ(cell(editor, 0, NormsModel::PriceColumn), "3,00");
    ASSERT_TRUE(m->setData(m->index(0, NormsModel::PriceColumn), "12,5"));
    EXPECT_EQ(cell(editor, 0, NormsModel::PriceColumn), "12,50");
    // The editor gets the exact price.
    EXPECT_EQ(cell(editor, 0, NormsModel::PriceColumn, Qt::EditRole), "12,5");

    // A cell left as it was is not written again.
    const QString version =
        scalar("select xmin::text from accounts_dep.norm where id = :id", {{"id", id}}).toString();
    ASSERT_TRUE(m->setData(m->index(0, NormsModel::PriceColumn), "12,50"));
    EXPECT_EQ(
        scalar("select xmin::text from accounts_dep.norm where id = :id", {{"id", id}}).toString(),
        version);

    // Text a column cannot take is refused with a message; nothing is written.
    EXPECT_FALSE(m->setData(m->index(0, NormsModel::NormaColumn), "сто"));
    EXPECT_EQ(messenger.lastText(),
              "«Норматив»: значение «сто» не подходит. Введите целое число от 0 до 2147483647.");
    EXPECT_EQ(scalar("select norma from accounts_dep.norm where id = :id", {{"id", id}}).toInt(),
              100);
}

TEST_F(NormsTest, ANewOperationGetsItsFirstNormInTheDirectoryAndBecomesPickable) {
    operation("Арка", {1});
    const OperationStore::Saved saved = OperationStore(db).save({.productId = addProduct("Балка"),
                                                                 .productText = "Балка",
                                                                 .typeId = paint,
                                                                 .typeText = "Покраска"});
    ASSERT_TRUE(saved.outcome.done());
    const int op = saved.operationId;
    OperationsList list(*ctx);
    Dataset& oper = data->oper();

    list.beginPick(0);
    EXPECT_EQ(listed(), QStringList({"Арка"}));
    list.reject();
    list.endPick();

    list.beginDirectory();
    EXPECT_EQ(listed(), QStringList({"Арка", "Балка"}));
    ASSERT_TRUE(oper.locate("id", op));
    EXPECT_EQ(list.gridModel()->index(1, 2).data().toString(), "");  // "Цена (min)"
    EXPECT_EQ(list.gridModel()->index(1, 4).data().toString(), "0"); // "Нормы (шт.)"

    // A grid without norms offers a blank row; a price typed into it and
    // "Сохранить" at once store the norm for the operation.
    NormsEditor editor(*ctx);
    editor.prepare(op);
    editor.show();
    ASSERT_EQ(editor.model()->rowCount(), 1);
    EXPECT_TRUE(editor.model()->isBlankRow(0));
    QTableView* grid = editor.grid();
    grid->setCurrentIndex(editor.model()->index(0, NormsModel::PriceColumn));
    type(grid, "4.5");
    editor.saveButton()->click();
    EXPECT_TRUE(editor.isHidden());
    EXPECT_EQ(norms(op), 1);
    EXPECT_EQ(scalar("select price from accounts_dep.norm where o_id = :o", {{"o", op}}).toDouble(),
              4.5);
    EXPECT_EQ(oper.current("id").toInt(), op);
    EXPECT_EQ(oper.current("norma").toInt(), 1);
    EXPECT_EQ(oper.current("cena").toString(), "4.5");
    list.endDirectory();

    list.beginPick(0);
    EXPECT_EQ(listed(), QStringList({"Арка", "Балка"}));
    list.reject();
    list.endPick();
}

TEST_F(NormsTest, ALowerNormLowersTheListPriceAndTheListStaysOnTheOperation) {
    operation("Арка", {5});
    const int op = operation("Балка", {3, 4});
    operation("Рама", {7});
    OperationsList list(*ctx);
    Dataset& oper = data->oper();
    list.beginDirectory();
    ASSERT_TRUE(oper.locate("id", op));
    EXPECT_EQ(oper.current("cena").toString(), "3");

    NormsEditor editor(*ctx);
    editor.prepare(op);
    editor.show();
    QTableView* grid = editor.grid();
    ASSERT_EQ(editor.model()->rowCount(), 2);
    // Down from the last row begins a new norm, cell by cell.
    grid->setCurrentIndex(editor.model()->index(1, NormsModel::NormaColumn));
    QTest::keyClick(grid, Qt::Key_Down);
    ASSERT_EQ(grid->currentIndex().row(), 2);
    EXPECT_TRUE(editor.model()->isBlankRow(2));
    type(grid, "50");
    QTest::keyClick(grid->focusWidget(), Qt::Key_Tab); // leaves the column: stored
    EXPECT_EQ(norms(op), 3);
    type(grid, "2,75");
    QTest::keyClick(grid->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.norm where o_id = :o and norma = 50 and "
                     "price = 2.75",
                     {{"o", op}})
                  .toInt(),
              1);
    EXPECT_EQ(cell(editor, 2, NormsModel::PriceColumn), "2.75");
    ASSERT_TRUE(editor.finish());
    EXPECT_EQ(oper.current("id").toInt(), op);
    EXPECT_EQ(oper.current("cena").toString(), "2.75");
    EXPECT_EQ(oper.current("norma").toInt(), 3);
    EXPECT_EQ(list.grid()->currentIndex().row(), 1);
    list.endDirectory();
}

TEST_F(NormsTest, DeleteNeverRemovesTheLastNorm) {
    const int op = operation("Балка", {1, 2});
    NormsEditor editor(*ctx);
    editor.prepare(op);
    editor.deleteCurrent();
    EXPECT_EQ(norms(op), 1);
    ASSERT_EQ(editor.model()->rowCount(), 1);
    editor.deleteButton()->click();
    EXPECT_EQ(norms(op), 1);
    EXPECT_EQ(editor.model()->rowCount(), 1);

    // Two workstations deleting different norms at once: the second finds
    // the first's deletion and keeps the last norm.
    addNorm(op, 3);
    editor.prepare(op);
    ASSERT_EQ(editor.model()->rowCount(), 2);
    NormStore(otherWorkstation()).remove(op, editor.model()->normId(1));
    editor.deleteCurrent();
    EXPECT_EQ(norms(op), 1);
    EXPECT_EQ(editor.model()->rowCount(), 1);

    // A blank row is let go, not stored.
    editor.grid()->setCurrentIndex(editor.model()->index(0, 0));
    const int blank = editor.model()->appendBlank();
    editor.grid()->setCurrentIndex(editor.model()->index(blank, 0));
    editor.deleteCurrent();
    EXPECT_EQ(editor.model()->rowCount(), 1);
    EXPECT_EQ(norms(op), 1);
}

TEST_F(NormsTest, EditsOfNormsDeletedElsewhereAreRefused) {
    const int op = operation("Балка", {1, 2});
    NormsEditor editor(*ctx);
    editor.prepare(op);
    NormsModel* m = editor.model();
    run("delete from accounts_dep.norm where id = :id", {{"id", m->normId(0)}});
    EXPECT_FALSE(m->setData(m->index(0, NormsModel::PriceColumn), "9"));
    EXPECT_EQ(messenger.lastText(), kNormGone);
    QApplication::processEvents(); // the grid is read again after the edit
    EXPECT_EQ(m->rowCount(), 1);

    // A new norm of an operation deleted elsewhere is not stored.
    OperationStore(otherWorkstation()).remove(op);
    const int blank = m->appendBlank();
    EXPECT_FALSE(m->setData(m->index(blank, NormsModel::PriceColumn), "9"));
    EXPECT_EQ(messenger.lastText(), kOperationDeleted);
    EXPECT_EQ(norms(op), 0);
}

// A price changed to 9.9 on another workstation while the editor showed 2.5:
// typing 4.4 over it must not undo that unseen.
TEST_F(NormsTest, ACellChangedElsewhereIsRefusedAndTheRowIsReadAgain) {
    const int op = operation("Балка", {2.5});
    NormsEditor editor(*ctx);
    editor.prepare(op);
    NormsModel* m = editor.model();
    const int id = m->normId(0);
    const auto stored = [&] {
        return scalar("select coalesce(norma::text, '-') || '/' || price::numeric || '/' || "
                      "coalesce(prize::text, '-') from accounts_dep.norm where id = :id",
                      {{"id", id}})
            .toString();
    };
    QSqlDatabase other = otherWorkstation();
    struct Case {
        const char* what;
        const char* elsewhere;
        int column;
        const char* typed;
        const char* reread; // the cell as the grid shows it after the refusal
        const char* written;
    } cases[] = {
        {"price", "update accounts_dep.norm set price = 9.9 where id = :id",
         NormsModel::PriceColumn, "4.4", "9.9", "100/4.4/0"},
        {"norm quantity", "update accounts_dep.norm set norma = 120 where id = :id",
         NormsModel::NormaColumn, "90", "120", "90/4.4/0"},
        {"bonus, emptied there", "update accounts_dep.norm set prize = null where id = :id",
         NormsModel::PrizeColumn, "5", "", "90/4.4/5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tabel::exec(other, QString::fromUtf8(c.elsewhere), {{"id", id}});
        const QString theirs = stored();
        messenger.messages.clear();
        EXPECT_FALSE(m->setData(m->index(0, c.column), QString::fromUtf8(c.typed)));
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
        EXPECT_EQ(messenger.messages[0].text, kNormChanged);
        EXPECT_EQ(stored(), theirs);
        // Read again once the edit is over: the grid shows what is stored
        // now, and the cell typed over that is stored.
        QApplication::processEvents();
        EXPECT_EQ(cell(editor, 0, c.column, Qt::EditRole), QString::fromUtf8(c.reread));
        EXPECT_TRUE(m->setData(m->index(0, c.column), QString::fromUtf8(c.typed)));
        EXPECT_EQ(stored(), QString::fromUtf8(c.written));
    }
    // A change elsewhere of another cell is no conflict for this one.
    tabel::exec(other, "update accounts_dep.norm set norma = 75 where id = :id", {{"id", id}});
    EXPECT_TRUE(m->setData(m->index(0, NormsModel::PriceColumn), "3.3"));
    EXPECT_EQ(stored(), "75/3.3/5");
    EXPECT_EQ(cell(editor, 0, NormsModel::NormaColumn), "75");
}
