#include "test_support.h"

#include "kit/error_boxes.h"
#include "kit/grid_view.h"
#include "operations/operation_store.h"
#include "operations/operations_list.h"
#include "records/record_saver.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace tabel;
using namespace tabel::test;

namespace {

// Operations over a few products, each with the norms given.
class OperationsTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        setErrorMessenger(&messenger);
        paint = addVid("Покраска");
        cut = addVid("Резка");
    }
    void TearDown() override {
        setErrorMessenger(nullptr);
        DbTest::TearDown();
    }

    int operation(const QString& marka, int vid, QList<double> prices, int naimen = 0) {
        const int id = addOper(addProduct(marka), vid, naimen);
        for (double p : prices)
            addNorm(id, p);
        return id;
    }

    QStringList marks() {
        QStringList out;
        Dataset& oper = data->oper();
        for (int r = 0; r < oper.count(); ++r)
            out << oper.value(r, "marka").toString();
        return out;
    }

    int count(const QString& sql, int id) { return scalar(sql, {{"id", id}}).toInt(); }

    int paint = 0;
    int cut = 0;
};

void type(QWidget* w, const QString& text) {
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

} // namespace

TEST_F(OperationsTest, OperListsOperationsWithNormsCountAndLowestPrice) {
    const int withNorms = operation("Балка", paint, {3.5, 1.25, 2}, 1);
    operation("Арка", cut, {}); // no norms: not listed
    const int emptied = operation("Рама", cut, {4});

    Dataset& oper = data->oper();
    oper.open();
    ASSERT_EQ(marks(), QStringList({"Балка", "Рама"}));
    EXPECT_EQ(oper.value(0, "id").toInt(), withNorms);
    EXPECT_EQ(oper.value(0, "norma").toInt(), 3);
    EXPECT_DOUBLE_EQ(oper.value(0, "cena").toDouble(), 1.25);
    EXPECT_EQ(oper.value(0, "nmn").toString(), "Заготовки");
    EXPECT_EQ(oper.value(0, "vid").toString(), "Покраска");
    EXPECT_EQ(oper.value(1, "nmn").toString(), "Готовая продукция");

    run("delete from accounts_dep.norm where o_id = :id", {{"id", emptied}});
    oper.reopen();
    EXPECT_EQ(marks(), QStringList({"Балка"}));
}

TEST_F(OperationsTest, SearchFindsTheTextAnywhereInTheMarkLiterally) {
    for (const char* m : {"Балка 50%", "Бал_ка", "Рама \"Н\"", "Стойка50", "Xбалка"})
        operation(QString::fromUtf8(m), paint, {1});
    const QStringList all{"Бал_ка", "Балка 50%", "Рама \"Н\"", "Стойка50", "Xбалка"};
    struct Case {
        const char* text;
        QStringList expected;
    } cases[] = {
        {"алк", {"Балка 50%", "Xбалка"}},
        {"балка", {"Балка 50%", "Xбалка"}}, // case does not count
        {"РАМА", {"Рама \"Н\""}},
        {"\"", {"Рама \"Н\""}},
        {"%", {"Балка 50%"}},
        {"5%", {}}, // not a pattern: no wildcard between 5 and %
        {"_", {"Бал_ка"}},
        {"Ба_ка", {}},
        {"50", {"Балка 50%", "Стойка50"}},
        {" 50", {"Балка 50%"}}, // searched as typed, spaces included
        {"   ", all},
        {"", all},
    };
    Dataset& oper = data->oper();
    oper.open();
    const SearchRule rule = OperationStore::searchRule();
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        oper.setCurrentRow(oper.count() - 1);
        rule.apply(oper, text);
        EXPECT_EQ(marks(), c.expected) << c.text;
        if (!text.trimmed().isEmpty()) { // narrowing starts at the first match
            EXPECT_EQ(oper.currentRow(), c.expected.isEmpty() ? -1 : 0) << c.text;
        }
    }
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(OperationsTest, SearchLastsOverClosingAndRereading) {
    operation("Балка", paint, {1});
    operation("Рама", paint, {1});
    const SearchRule rule = OperationStore::searchRule();
    Dataset& oper = data->oper();
    rule.apply(oper, "Рам");
    oper.open();
    EXPECT_EQ(marks(), QStringList({"Рама"}));
    operation("Рамка", cut, {2});
    oper.reopen();
    EXPECT_EQ(marks(), QStringList({"Рама", "Рамка"}));
    rule.apply(oper, " ");
    EXPECT_TRUE(oper.isOpen());
    EXPECT_EQ(marks(), QStringList({"Балка", "Рама", "Рамка"}));
}

TEST_F(OperationsTest, DeleteIsRefusedWhileRecordsUseTheOperation) {
    const int used = operation("Балка", paint, {1, 2});
    const int fresh = operation("Рама", paint, {1});
    const int worker = addWorker("Иванов И.И.");
    addRecord({.worker = worker, .oper = used, .date = QDate(2024, 3, 4)});
    OperationsList list(*ctx);
    list.beginDirectory();
    Dataset& oper = data->oper();

    // Refused at once: no question whose Yes would be turned down.
    ASSERT_TRUE(oper.locate("id", used));
    list.deleteCurrent();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[0].caption, "Удаление");
    EXPECT_EQ(messenger.messages[0].text, "По операции есть записи, удалить нельзя.");

    // A record saved on another workstation while the question is on the
    // screen is still caught by the deletion itself, under the row lock.
    QSqlDatabase other = otherWorkstation();
    const RecordInput in = recordInput(worker, fresh, QDate(2024, 3, 4));
    messenger.messages.clear();
    messenger.onAsk = [&] { ASSERT_TRUE(RecordSaver(other).save(in, 1, in.date).saved()); };
    ASSERT_TRUE(oper.locate("id", fresh));
    list.deleteCurrent();
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Question);
    EXPECT_EQ(messenger.messages[1].text, "По операции есть записи, удалить нельзя.");
    for (int id : {used, fresh})
        EXPECT_EQ(count("select count(*) from accounts_dep.oper where id = :id", id), 1);
    EXPECT_EQ(count("select count(*) from accounts_dep.norm where o_id = :id", used), 2);
    list.endDirectory();
}

// A brigade job names its operation even when its members' records were
// removed by another application: the operation stays while the job does.
TEST_F(OperationsTest, DeleteIsRefusedWhileABrigadeJobUsesTheOperation) {
    const int used = operation("Балка", paint, {1});
    const int job = scalar("insert into accounts_dep.brigade_job (data, smena, i_id, o_id, kol_vo, "
                           "cena) select date '2024-03-04', 1, i_id, id, 10, 1 "
                           "from accounts_dep.oper where id = :o returning id",
                           {{"o", used}})
                        .toInt();
    run("insert into accounts_dep.brigade_member (job_id, w_id, hours, position) "
        "values (:j, :w, 8, 1)",
        {{"j", job}, {"w", addWorker("Иванов И.И.")}});
    OperationStore store(db);
    EXPECT_EQ(store.deletionRefusal(used).text, "По операции есть записи, удалить нельзя.");
    EXPECT_EQ(store.remove(used).text, "По операции есть записи, удалить нельзя.");
    EXPECT_EQ(count("select count(*) from accounts_dep.oper where id = :id", used), 1);
    EXPECT_EQ(count("select count(*) from accounts_dep.brigade_job where o_id = :id", used), 1);
}

TEST_F(OperationsTest, DeleteRemovesAnUnusedOperationWithItsNorms) {
    const int kept = operation("Балка", paint, {1});
    const int gone = operation("Рама", paint, {1, 2, 3});
    OperationsList list(*ctx);
    list.beginDirectory();
    Dataset& oper = data->oper();
    ASSERT_TRUE(oper.locate("id", gone));

    messenger.answer = false;
    list.deleteCurrent();
    EXPECT_EQ(count("select count(*) from accounts_dep.oper where id = :id", gone), 1);

    messenger.answer = true;
    list.deleteCurrent();
    EXPECT_EQ(count("select count(*) from accounts_dep.oper where id = :id", gone), 0);
    EXPECT_EQ(count("select count(*) from accounts_dep.norm where o_id = :id", gone), 0);
    EXPECT_EQ(count("select count(*) from accounts_dep.norm where o_id = :id", kept), 1);
    EXPECT_EQ(marks(), QStringList({"Балка"}));
    EXPECT_EQ(oper.currentRow(), 0);
    // One deleted elsewhere meanwhile counts as deleted.
    EXPECT_TRUE(OperationStore(db).remove(gone).done());
    list.endDirectory();
}

TEST_F(OperationsTest, PickerStandsOnTheOperationAndHandsBackItsValues) {
    operation("Арка", cut, {5});
    const int product = addProduct("Балка");
    const int wanted = addOper(product, paint, 1);
    addNorm(wanted, 0.5);
    addNorm(wanted, 0.125);
    operation("Рама", cut, {7});
    OperationsList list(*ctx);
    list.searchBox()->setText("Рам"); // left from an earlier directory opening

    bool checked = false;
    QTimer::singleShot(0, &list, [&] {
        ASSERT_EQ(QApplication::activeModalWidget(), &list);
        EXPECT_EQ(list.mode(), OperationsList::Picker);
        EXPECT_EQ(list.changeButton()->text(), "Выбрать");
        EXPECT_TRUE(list.changeButton()->isDefault());
        EXPECT_FALSE(list.addButton()->isVisible());
        EXPECT_FALSE(list.deleteButton()->isVisible());
        EXPECT_TRUE(list.searchBox()->isVisible());
        EXPECT_TRUE(list.searchBox()->text().isEmpty());
        EXPECT_EQ(list.focusWidget(), list.searchBox());
        EXPECT_EQ(data->oper().count(), 3);
        EXPECT_EQ(data->oper().current("id").toInt(), wanted);
        EXPECT_EQ(list.grid()->currentIndex().row(), data->oper().currentRow());
        checked = true;
        list.changeButton()->click();
    });
    const std::optional<PickedOperation> picked = list.pick(wanted);
    EXPECT_TRUE(checked);
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->productId, product);
    EXPECT_EQ(picked->operationId, wanted);
    EXPECT_EQ(picked->naimen, 1);
    EXPECT_EQ(picked->vid, "Покраска");
    EXPECT_DOUBLE_EQ(picked->basePrice, 0.125);
    EXPECT_TRUE(data->oper().isOpen());

    // A new record's pick starts at the first row.
    list.beginPick(0);
    EXPECT_EQ(data->oper().currentRow(), 0);
    list.choose();
    ASSERT_TRUE(list.endPick());
}

TEST_F(OperationsTest, PickerWithASearchMatchingNothingHandsBackNothing) {
    operation("Балка", paint, {1});
    operation("Рама", paint, {1});
    OperationsList list(*ctx);
    QTimer::singleShot(0, &list, [&] {
        type(list.searchBox(), "zz");
        EXPECT_TRUE(data->oper().isEmpty());
        // Enter goes to the default button "Выбрать".
        QTest::keyClick(list.searchBox(), Qt::Key_Return);
    });
    EXPECT_FALSE(list.pick(0));
    EXPECT_TRUE(list.isHidden());
    EXPECT_TRUE(list.searchBox()->isHidden());
    EXPECT_TRUE(data->oper().isOpen());
    EXPECT_EQ(data->oper().count(), 2); // the search is off again
    EXPECT_FALSE(list.changeButton()->isDefault());
}

TEST_F(OperationsTest, SearchBoxVisibilityOverOpenings) {
    operation("Балка", paint, {1});
    operation("Рама", paint, {1});
    OperationsList list(*ctx);
    Dataset& oper = data->oper();
    EXPECT_FALSE(list.searchBox()->isHidden());

    // The directory keeps its search between openings.
    list.beginDirectory();
    EXPECT_EQ(list.changeButton()->text(), "Изменить");
    EXPECT_TRUE(list.addButton()->isDefault());
    type(list.searchBox(), "Рам");
    EXPECT_EQ(marks(), QStringList({"Рама"}));
    list.endDirectory();
    EXPECT_FALSE(oper.isOpen());
    list.beginDirectory();
    EXPECT_FALSE(list.searchBox()->isHidden());
    EXPECT_EQ(list.searchBox()->text(), "Рам");
    EXPECT_EQ(marks(), QStringList({"Рама"}));
    list.endDirectory();

    list.beginPick(0);
    EXPECT_FALSE(list.searchBox()->isHidden());
    EXPECT_EQ(list.searchBox()->text(), "");
    EXPECT_EQ(oper.count(), 2);
    type(list.searchBox(), "Бал");
    EXPECT_EQ(marks(), QStringList({"Балка"}));
    list.reject();
    EXPECT_FALSE(list.endPick());
    EXPECT_TRUE(list.searchBox()->isHidden());
    EXPECT_EQ(oper.count(), 2);

    // Served once as a picker, the box stays hidden in the directory too.
    QTimer::singleShot(0, &list, [&] {
        EXPECT_EQ(list.mode(), OperationsList::Directory);
        EXPECT_TRUE(list.searchBox()->isHidden());
        EXPECT_TRUE(list.addButton()->isVisible());
        EXPECT_TRUE(list.deleteButton()->isVisible());
        EXPECT_EQ(oper.count(), 2);
        list.exitButton()->click();
    });
    list.openDirectory();
    EXPECT_FALSE(oper.isOpen());
}

TEST_F(OperationsTest, SearchBoxKeysMoveTheListAndOnlyTypingEdits) {
    for (const char* m : {"Балка", "Рама", "Стойка"})
        operation(QString::fromUtf8(m), paint, {1});
    OperationsList list(*ctx);
    list.beginDirectory();
    list.show();
    QLineEdit* box = list.searchBox();
    Dataset& oper = data->oper();

    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(oper.currentRow(), 2);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(oper.currentRow(), 2);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(oper.currentRow(), 1);
    EXPECT_EQ(list.grid()->currentIndex().row(), 1);

    type(box, "ама");
    EXPECT_EQ(box->text(), "ама");
    EXPECT_EQ(marks(), QStringList({"Рама"}));
    for (Qt::Key k : {Qt::Key_Home, Qt::Key_Left, Qt::Key_Delete, Qt::Key_End})
        QTest::keyClick(box, k);
    EXPECT_EQ(box->text(), "ама");
    EXPECT_EQ(box->cursorPosition(), 3);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->text(), "ам");
    list.hide();
    list.endDirectory();
}

TEST_F(OperationsTest, DoubleClickFollowsModeAndPricesBox) {
    operation("Балка", paint, {1});
    OperationsList list(*ctx);
    QStringList calls;
    list.onChangeOperation = [&] { calls << "change"; };
    list.onOpenNorms = [&] { calls << "norms"; };
    list.onAddOperation = [&] { calls << "add"; };
    auto doubleClick = [&] { emit list.grid()->doubleClicked(list.gridModel()->index(0, 0)); };

    list.beginDirectory();
    doubleClick();
    list.pricesBox()->setChecked(true);
    doubleClick();
    list.changeButton()->click();
    list.addButton()->click();
    EXPECT_EQ(calls, QStringList({"change", "norms", "change", "add"}));
    list.endDirectory();

    list.beginPick(0);
    doubleClick(); // chooses whatever the prices box shows
    EXPECT_EQ(list.result(), QDialog::Accepted);
    EXPECT_TRUE(list.endPick());
    EXPECT_EQ(calls.size(), 4);

    // Unset hooks do nothing.
    OperationsList bare(*ctx);
    bare.beginDirectory();
    bare.changeButton()->click();
    bare.addButton()->click();
    EXPECT_TRUE(messenger.messages.isEmpty());
    bare.endDirectory();
}

TEST_F(OperationsTest, DeleteButtonAsksAndRereadsTheList) {
    operation("Балка", paint, {1});
    const int gone = operation("Рама", paint, {1});
    OperationsList list(*ctx);
    list.beginDirectory();
    ASSERT_TRUE(data->oper().locate("id", gone));
    list.deleteButton()->click();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Удаление");
    EXPECT_EQ(marks(), QStringList({"Балка"}));
    EXPECT_EQ(list.grid()->currentIndex().row(), 0);
    list.endDirectory();
}
