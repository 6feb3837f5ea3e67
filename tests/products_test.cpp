#include "db/connection.h"
#include "directories/product_dialog.h"
#include "directories/product_store.h"
#include "directories/products_list.h"
#include "journal/journal_commands.h"
#include "kit/error_boxes.h"
#include "operations/operation_store.h"
#include "records/brigade_job.h"
#include "test_support.h"
#include "timesheets/rebuilds.h"
#include "timesheets/shift_cell.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <deque>
#include <functional>
#include <future>
#include <thread>

using namespace tabel;
using namespace tabel::test;

namespace {

const QString kFillAll = QStringLiteral("Все поля должны быть заполнены!");

} // namespace

class ProductsTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        // Errors of the buttons' actions land here rather than in a box.
        previousErrors = setErrorMessenger(&messenger);
        store = std::make_unique<ProductStore>(*data);
        group = addGroup("Двери");
    }
    void TearDown() override {
        store.reset();
        setErrorMessenger(previousErrors);
        DbTest::TearDown();
    }

    int addGroup(const QString& caption, const QVariant& excluded = 0, int level = 2) {
        return scalar("insert into cmn_classifier.item (id_level, s_caption, b_excluded) "
                      "values (:l, :c, :e) returning id",
                      {{"l", level}, {"c", caption}, {"e", excluded}})
            .toInt();
    }
    int product(const QString& marka, const QString& massa, int groupId) {
        return scalar("insert into cmn_gds_and_srv.gds_and_srv (s_caption, s_description, "
                      "id_msm_bs, massa, id_class_item) values (:m, '', 6, cast(:r as numeric), "
                      ":g) returning id",
                      {{"m", marka}, {"r", massa}, {"g", groupId}})
            .toInt();
    }
    int count(const QString& table, const QString& where = "true", const QVariantMap& params = {}) {
        return scalar("select count(*) from " + table + " where " + where, params).toInt();
    }
    int products(const QString& where = "true", const QVariantMap& params = {}) {
        return count("cmn_gds_and_srv.gds_and_srv", where, params);
    }
    // A change begins on the product as the list reads it now.
    ShownProduct shownNow(int id) {
        QSqlQuery q = tabel::exec(
            db, "select marka, massa, id_class_item from accounts_dep.izdel where id = :i",
            {{"i", id}});
        return q.next() ? ShownProduct{q.value(0), q.value(1), q.value(2)} : ShownProduct{};
    }
    QString massa(int id) {
        return scalar("select massa::text from cmn_gds_and_srv.gds_and_srv where id = :i",
                      {{"i", id}})
            .toString();
    }
    QStringList marks() {
        QStringList out;
        Dataset& izdel = data->izdel();
        for (int r = 0; r < izdel.count(); ++r)
            out << izdel.value(r, "marka").toString();
        return out;
    }
    QStringList questions() const {
        QStringList out;
        for (const auto& m : messenger.messages)
            if (m.kind == Messenger::Kind::Question)
                out << m.text;
        return out;
    }
    // The questions are answered in turn; No once the answers run out.
    void answer(const std::vector<bool>& answers) {
        auto queue = std::make_shared<std::deque<bool>>(answers.begin(), answers.end());
        messenger.onAsk = [this, queue] {
            messenger.answer = !queue->empty() && queue->front();
            if (!queue->empty())
                queue->pop_front();
        };
    }
    void standOn(int productId) { ASSERT_TRUE(data->izdel().locate("id", productId)); }
    // A brigade job of 10 pieces on `day`'s first shift, 8 hours each.
    int brigadeJob(int productId, int operId, const std::vector<int>& members, const QDate& day) {
        BrigadeJobInput in;
        in.date = day;
        in.productId = productId;
        in.operationId = operId;
        in.finalPrice = 1;
        in.operationText = "Изделие; сборка; Готовая продукция";
        in.quantity = "10";
        in.rejects = "0";
        for (int w : members)
            in.members.push_back({w, QStringLiteral("Работник %1").arg(w), "8", "1"});
        const BrigadeJobs::Result r = BrigadeJobs(db).save(in, day);
        EXPECT_TRUE(r.saved()) << r.outcome.text.toStdString();
        return r.jobId;
    }
    QString ids(const QString& sql) {
        return scalar("select coalesce(string_agg(id::text, ' ' order by id), '') from (" + sql +
                      ") q")
            .toString();
    }
    static void type(QWidget* w, const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    Messenger* previousErrors = nullptr;
    std::unique_ptr<ProductStore> store;
    int group = 0;
};

TEST_F(ProductsTest, DuplicateMarksAreRefusedIgnoringCaseAndBlanks) {
    const int door = product("Дверь ДМ-1", "1", group);
    const int window = product("  Окно ОК-2 ", "1", group); // written so by another program
    struct Case {
        const char* what;
        int mode;
        int id;
        const char* mark;
        bool refused;
    } cases[] = {
        {"another case", 1, 0, "дверь дм-1", true},
        {"blanks and tab around", 1, 0, "  ДВЕРЬ ДМ-1\t", true},
        {"stored with blanks", 1, 0, "окно ок-2", true},
        {"renamed to another's mark", 2, window, "Дверь дм-1", true},
        {"own mark in another case", 2, door, " дверь ДМ-1 ", false},
        {"a longer mark", 1, 0, "Дверь ДМ-10", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = products();
        const Outcome o = store->save({c.mode, c.id, QString::fromUtf8(c.mark), "2",
                                       static_cast<qint64>(group), shownNow(c.id)});
        if (c.refused) {
            EXPECT_EQ(o.caption, "Ошибка");
            EXPECT_EQ(o.text, kDuplicateMark);
            EXPECT_EQ(products(), before);
        } else {
            EXPECT_TRUE(o.done()) << o.text.toStdString();
        }
    }
    // The changed product keeps its id and gets the trimmed mark.
    EXPECT_EQ(products("id = :i and s_caption = 'дверь ДМ-1'", {{"i", door}}), 1);
    EXPECT_EQ(products("s_caption = '  Окно ОК-2 '"), 1);
    EXPECT_EQ(products(), 3);

    // The dialog shows the refusal and stays open with its contents.
    ProductDialog dialog(*store, messenger);
    dialog.beginAdd();
    dialog.markEdit()->setText("ОКНО ок-2");
    dialog.rateEdit()->setText("3");
    dialog.groupBox()->setCurrentIndex(0);
    dialog.show();
    EXPECT_FALSE(dialog.save());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.markEdit()->text(), "ОКНО ок-2");
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[0].text, kDuplicateMark);
}

TEST_F(ProductsTest, MarksWithQuotesAndPercentAreStoredAndComparedLiterally) {
    const QString odd = "Щит 'А' 100%_x";
    ASSERT_TRUE(store->save({1, 0, odd, "1", group}).done());
    EXPECT_EQ(products("s_caption = :m", {{"m", odd}}), 1);
    EXPECT_EQ(store->save({1, 0, "щит 'а' 100%_X", "1", group}).text, kDuplicateMark);
    // "%" and "_" are no wildcards: these marks are new.
    EXPECT_TRUE(store->save({1, 0, "Щит 'А' 1000x", "1", group}).done());
    EXPECT_TRUE(store->save({1, 0, "Щит 'А' 100%yx", "1", group}).done());
}

TEST_F(ProductsTest, RateTypedWithCommaIsStoredWithPointExactly) {
    ProductDialog dialog(*store, messenger);
    dialog.beginAdd();
    type(dialog.markEdit(), "Щит Щ-1");
    // The box keeps what is typed; the save reads the comma as the point.
    type(dialog.rateEdit(), "123456789012345,6789012345678");
    EXPECT_EQ(dialog.rateEdit()->text(), "123456789012345,6789012345678");
    dialog.groupBox()->setCurrentIndex(0);
    ASSERT_TRUE(dialog.save());
    const int id = scalar("select id from cmn_gds_and_srv.gds_and_srv").toInt();
    EXPECT_EQ(massa(id), "123456789012345.6789012345678"); // no binary rounding
    EXPECT_EQ(products("id = :i and s_description = '' and id_msm_bs = 6 and id_class_item = :g",
                       {{"i", id}, {"g", group}}),
              1);

    // Pasted text is checked when saved.
    dialog.beginAdd();
    dialog.markEdit()->setText("Щит Щ-2");
    dialog.rateEdit()->setText("1,5,7");
    EXPECT_FALSE(dialog.save());
    EXPECT_EQ(messenger.lastText(), "«Расценка»: значение «1,5,7» не подходит. Введите число "
                                    "до 15 знаков до запятой и до 15 после.");
    EXPECT_EQ(products(), 1);
}

// The change dialog shows the rate in the user's number format; saving
// writes it back with a point, and a whole number unchanged.
TEST_F(ProductsTest, RateShownWithDecimalCommaIsWrittenBackWithPoint) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const int fraction = product("Дверь", "2.50", group);
    const int whole = product("Окно", "7", group);
    ProductsList list(*ctx);
    list.prepareDirectory();
    QStringList shown;
    list.runDialog = [&](ProductDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Изменение данных изделия (7)");
        shown << d.rateEdit()->text();
        return d.save() ? 1 : 0;
    };
    standOn(fraction);
    list.choose();
    standOn(whole);
    list.choose();
    QLocale::setDefault(previous);
    list.finish();

    EXPECT_EQ(shown, QStringList({"2,50", "7"}));
    EXPECT_EQ(massa(fraction), "2.50");
    EXPECT_EQ(massa(whole), "7");
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(ProductsTest, SaveRefusesEmptyFieldsAndWhatIsGoneElsewhere) {
    const int door = product("Дверь", "1", group);
    const int gone = addGroup("Удалённая");
    run("delete from cmn_classifier.item where id = :g", {{"g", gone}});
    struct Case {
        const char* what;
        ProductInput in;
        QString text;
    } cases[] = {
        {"blank mark", {1, 0, "   ", "1", group}, kFillAll},
        {"blank rate", {1, 0, "Окно", " ", group}, kFillAll},
        {"no group", {1, 0, "Окно", "1", 0}, kFillAll},
        {"group deleted elsewhere", {1, 0, "Окно", "1", gone}, kGroupGone},
        {"product deleted elsewhere", {2, door + 1000, "Окно", "1", group}, kProductGone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = store->save(c.in);
        EXPECT_EQ(o.caption, "Ошибка");
        EXPECT_EQ(o.text, c.text);
    }
    EXPECT_EQ(products(), 1);
    EXPECT_EQ(products("s_caption = 'Дверь'"), 1);
}

TEST_F(ProductsTest, DropDownOffersOnlyGroupsInUse) {
    addGroup("Арки", QVariant()); // never marked either way
    const int excluded = addGroup("Бывшая", 1);
    addGroup("Вешалки", 0, 3); // not a nomenclature group
    const int windows = addGroup("Окна");
    ProductDialog dialog(*store, messenger);
    dialog.beginAdd();
    QStringList offered;
    for (int i = 0; i < dialog.groupBox()->count(); ++i)
        offered << dialog.groupBox()->itemText(i);
    EXPECT_EQ(offered, QStringList({"Арки", "Двери", "Окна"}));
    EXPECT_EQ(dialog.groupBox()->accessibleName(), "Номенклатурная группа");

    // A product of an excluded group shows an empty drop-down and keeps its
    // group when saved without choosing another.
    const int old = product("Старая дверь ", "1", excluded); // a blank, as another program wrote it
    dialog.beginChange(old, {"Старая дверь ", "1", excluded});
    EXPECT_EQ(dialog.groupBox()->currentIndex(), -1);
    EXPECT_EQ(dialog.markEdit()->text(), "Старая дверь");
    ASSERT_TRUE(dialog.save());
    EXPECT_EQ(products("id = :i and id_class_item = :g", {{"i", old}, {"g", excluded}}), 1);

    // The unseen group is not handed on to a new product...
    dialog.beginAdd();
    dialog.markEdit()->setText("Новая");
    dialog.rateEdit()->setText("1");
    EXPECT_FALSE(dialog.save());
    EXPECT_EQ(messenger.lastText(), kFillAll);
    // ... but a chosen one is.
    dialog.beginChange(old, {"Старая дверь", "1", excluded});
    dialog.groupBox()->setCurrentIndex(dialog.groupBox()->findData(qint64(windows)));
    ASSERT_TRUE(dialog.save());
    dialog.beginAdd();
    EXPECT_EQ(dialog.chosenGroup(), windows);
    EXPECT_TRUE(dialog.markEdit()->text().isEmpty());
    EXPECT_TRUE(dialog.rateEdit()->text().isEmpty());
}

TEST_F(ProductsTest, SearchIgnoresCaseAndTakesTextLiterally) {
    for (const char* m :
         {"Дверь", "дверной блок", "ДВЕРЦА", "Окно", "O'Neil 50%", "O'Neil 500", "O_X", "OxX"})
        product(QString::fromUtf8(m), "1", group);
    ProductsList list(*ctx);
    list.prepareDirectory();
    list.show();
    type(list.searchBox(), "двер");
    EXPECT_EQ(marks(), QStringList({"дверной блок", "ДВЕРЦА", "Дверь"}));
    list.searchBox()->setText("o'neil 50%");
    EXPECT_EQ(marks(), QStringList({"O'Neil 50%"}));
    list.searchBox()->setText("O_");
    EXPECT_EQ(marks(), QStringList({"O_X"}));

    // The search stays on over a rereading, and leaves the shared list when
    // the window closes.
    product("Дверка", "1", group);
    list.searchBox()->setText("ДВЕР");
    list.store().reopen();
    EXPECT_EQ(marks().size(), 4);
    list.finish();
    data->izdel().open();
    EXPECT_EQ(data->izdel().count(), 9);
}

TEST_F(ProductsTest, ChangeAndDeleteOnAnEmptyListDoNothing) {
    ProductsList list(*ctx);
    int dialogs = 0;
    list.runDialog = [&](ProductDialog&) { return ++dialogs, 0; };
    list.prepareDirectory();
    list.changeButton()->click();
    list.deleteButton()->click();

    // The same with products the search leaves none of.
    product("Дверь", "1", group);
    store->reopen();
    list.searchBox()->setText("Окно");
    ASSERT_TRUE(data->izdel().isEmpty());
    list.changeButton()->click();
    list.deleteButton()->click();
    list.finish();

    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_EQ(products(), 1);
}

TEST_F(ProductsTest, DirectoryAddsAndChangesThroughTheDialog) {
    product("Арка", "1", group);
    const int door = product("Дверь", "1", group);
    product("Окно", "1", group);
    ProductsList list(*ctx);
    list.prepareDirectory();
    list.show();
    EXPECT_EQ(list.objectName(), "TForm3");
    EXPECT_EQ(list.windowTitle(), "Изделия (3)");
    EXPECT_EQ(list.changeButton()->text(), "Изменить");
    EXPECT_FALSE(list.changeButton()->isDefault());
    EXPECT_TRUE(list.addButton()->isDefault());
    EXPECT_EQ(list.gridModel()->headerData(2, Qt::Horizontal, Qt::DisplayRole), "Коробки");

    standOn(door);
    list.runDialog = [&](ProductDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Заведение нового изделия (7)");
        EXPECT_TRUE(d.markEdit()->text().isEmpty());
        d.markEdit()->setText(" Багет ");
        d.rateEdit()->setText("0.5");
        d.groupBox()->setCurrentIndex(0);
        return d.save() ? 1 : 0;
    };
    list.addButton()->click();
    EXPECT_EQ(marks(), QStringList({"Арка", "Багет", "Дверь", "Окно"}));
    EXPECT_EQ(data->izdel().currentRow(), 1); // the same row number as before

    standOn(door);
    list.runDialog = [&](ProductDialog& d) {
        EXPECT_EQ(d.markEdit()->text(), "Дверь");
        d.markEdit()->setText("Ящик");
        return d.save() ? 1 : 0;
    };
    list.changeButton()->click();
    EXPECT_EQ(marks(), QStringList({"Арка", "Багет", "Окно", "Ящик"}));
    EXPECT_EQ(data->izdel().currentRow(), 2);
    EXPECT_TRUE(list.isVisible()); // the directory stays open
    list.finish();
    EXPECT_TRUE(messenger.messages.isEmpty());
}

TEST_F(ProductsTest, PickerGivesIdAndTrimmedMarkOrNothingForAnEmptyList) {
    ProductsList list(*ctx);
    auto chooseWhenShown = [] {
        QTimer::singleShot(0, [] {
            if (auto* shown = qobject_cast<ProductsList*>(QApplication::activeModalWidget()))
                shown->choose();
        });
    };
    chooseWhenShown();
    EXPECT_FALSE(list.pick(ProductsList::OperationPicker).has_value());

    const int door = product("Дверь ДМ-1   ", "1", group);
    product("Окно", "1", group);
    list.searchBox()->setText("О");
    chooseWhenShown();
    const auto picked = list.pick(ProductsList::OperationPicker);
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(picked->id, door); // the picker cleared the search box
    EXPECT_EQ(picked->marka, "Дверь ДМ-1");
    EXPECT_EQ(list.modeNumber(), 1);
    EXPECT_EQ(list.changeButton()->text(), "Выбрать");
    EXPECT_FALSE(list.changeButton()->isDefault());
    EXPECT_TRUE(list.addButton()->isHidden());
    EXPECT_TRUE(list.deleteButton()->isHidden());
    EXPECT_TRUE(list.searchBox()->isHidden());
    EXPECT_FALSE(data->izdel().isOpen());

    // A search typed in the picker does not narrow the directory unseen.
    QTimer::singleShot(0, [] {
        if (auto* shown = qobject_cast<ProductsList*>(QApplication::activeModalWidget())) {
            shown->searchBox()->setText("Окно");
            shown->reject();
        }
    });
    EXPECT_FALSE(list.pick(ProductsList::OperationPicker).has_value());
    list.prepareDirectory();
    EXPECT_EQ(marks().size(), 2);
    list.finish();
}

// Every question comes before anything is deleted; a No to any of them
// leaves the product with everything that refers to it.
TEST_F(ProductsTest, DeletionAsksThenDeletesEverythingOrNothing) {
    const QString prices = kProductHasPrices;
    const QString records = kProductHasRecords;
    const QString plain = kDeleteProduct;
    struct Case {
        const char* what;
        bool operation;
        bool record;
        std::vector<bool> answers;
        QStringList asked;
        bool deleted;
    } cases[] = {
        {"unused, Yes", false, false, {true}, {plain}, true},
        {"unused, No", false, false, {false}, {plain}, false},
        {"prices, No", true, false, {false}, {prices}, false},
        {"prices, Yes then No", true, false, {true, false}, {prices, plain}, false},
        {"prices, Yes then Yes", true, false, {true, true}, {prices, plain}, true},
        {"records, No", true, true, {false}, {prices}, false},
        {"records, Yes then No", true, true, {true, false}, {prices, records}, false},
        {"records, Yes then Yes", true, true, {true, true}, {prices, records}, true},
    };
    const int vid = addVid("Сборка");
    const int worker = addWorker("Иванов");
    // Another product's operation and record are never touched.
    const int other = product("Чужое", "1", group);
    const int otherOper = addOper(other, vid);
    addNorm(otherOper, 1.5);
    addRecord({worker, otherOper, QDate(2024, 3, 5)});
    ProductsList list(*ctx);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int id = product(QStringLiteral("Изделие %1").arg(++n), "1", group);
        int oper = 0;
        if (c.operation) {
            oper = addOper(id, vid);
            addNorm(oper, 2.5);
        }
        if (c.record)
            addRecord({worker, oper, QDate(2024, 3, 6)});
        messenger.messages.clear();
        answer(c.answers);
        list.prepareDirectory();
        standOn(id);
        list.deleteCurrent();
        list.finish();

        EXPECT_EQ(questions(), c.asked);
        for (const auto& m : messenger.messages)
            EXPECT_EQ(m.caption, "Удаление");
        EXPECT_EQ(messenger.messages.size(), c.asked.size()); // no errors
        EXPECT_EQ(products("id = :i", {{"i", id}}), c.deleted ? 0 : 1);
        EXPECT_EQ(count("accounts_dep.oper", "i_id = :i", {{"i", id}}),
                  c.operation && !c.deleted ? 1 : 0);
        EXPECT_EQ(count("accounts_dep.norm", "o_id = :o", {{"o", oper}}),
                  c.operation && !c.deleted ? 1 : 0);
        EXPECT_EQ(count("accounts_dep.smena", "i_id = :i", {{"i", id}}),
                  c.record && !c.deleted ? 1 : 0);
    }
    EXPECT_EQ(count("accounts_dep.oper", "i_id = :i", {{"i", other}}), 1);
    EXPECT_EQ(count("accounts_dep.norm", "o_id = :o", {{"o", otherOper}}), 1);
    EXPECT_EQ(count("accounts_dep.smena", "i_id = :i", {{"i", other}}), 1);
}

TEST_F(ProductsTest, DeletedRecordsLeaveTheDayCellsToTheRest) {
    const int vid = addVid("Сборка");
    const int deleted = product("Дверь", "1", group);
    const int kept = product("Окно", "1", group);
    const int door = addOper(deleted, vid);
    const int window = addOper(kept, vid);
    const int both = addWorker("Абрамов");     // both products on one day
    const int onlyDoor = addWorker("Борисов"); // the door only that day
    const int gone = addWorker("Васин");       // the door only, all month
    const QDate day(2024, 3, 5);
    addRecord({both, door, day, 1, 5});
    addRecord({both, window, day, 1, 3});
    addRecord({both, door, day, 2, 4}); // another shift's cell
    addRecord({onlyDoor, door, day, 1, 8});
    addRecord({onlyDoor, window, day.addDays(1), 1, 6});
    addRecord({gone, door, day.addDays(2), 1, 7});
    addRecord({gone, door, QDate(2024, 4, 1), 3, 2}); // another month
    const struct {
        int worker;
        int shift;
        QDate date;
    } cells[] = {{both, 1, day},
                 {both, 2, day},
                 {onlyDoor, 1, day},
                 {onlyDoor, 1, day.addDays(1)},
                 {gone, 1, day.addDays(2)},
                 {gone, 3, QDate(2024, 4, 1)}};
    for (const auto& c : cells)
        updateShiftDayCell(db, c.worker, c.shift, c.date);
    ASSERT_EQ(dayCell(both, 1, day).toInt(), 8);

    const ProductUse use = store->use(deleted);
    EXPECT_EQ(use.records, 5);
    EXPECT_EQ(use.operations, 1);
    ASSERT_TRUE(store->remove(deleted, use).done());

    EXPECT_EQ(dayCell(both, 1, day).toInt(), 3);
    EXPECT_EQ(shiftRows(both, 2, 3, 2024), 0); // nothing left in that row
    const QVariant empty = dayCell(onlyDoor, 1, day);
    EXPECT_TRUE(empty.isValid() && empty.isNull());
    EXPECT_EQ(dayCell(onlyDoor, 1, day.addDays(1)).toInt(), 6);
    EXPECT_EQ(shiftRows(gone, 1, 3, 2024), 0);
    EXPECT_EQ(shiftRows(gone, 3, 4, 2024), 0);
    EXPECT_EQ(count("accounts_dep.smena"), 2);
}

// What another workstation writes while a question is open is not deleted
// unseen: the deletion counts again under its locks and stops.
TEST_F(ProductsTest, DeletionChecksAgainUnderItsLocks) {
    const int vid = addVid("Сборка");
    const int worker = addWorker("Иванов");
    struct Case {
        const char* what;
        bool operation; // what the product has when asked
        bool record;
        const char* meanwhile; // :i the product, :o its operation, :w a worker, :v a type
    } cases[] = {
        {"a record of its operation", true, false,
         "insert into accounts_dep.smena (w_id, i_id, o_id, data, smena, time, ok) "
         "values (:w, :i, :o, date '2024-03-05', 1, 8, 'no')"},
        {"one more record", true, true,
         "insert into accounts_dep.smena (w_id, i_id, o_id, data, smena, time, ok) "
         "values (:w, :i, :o, date '2024-03-07', 2, 4, 'no')"},
        {"an operation", false, false,
         "insert into accounts_dep.oper (vid, naimen, i_id, cena_new) values (:v, 1, :i, 0)"},
    };
    QSqlDatabase other = otherWorkstation();
    ProductsList list(*ctx);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int id = product(QStringLiteral("Изделие %1").arg(++n), "1", group);
        const int oper = c.operation ? addOper(id, vid) : 0;
        if (c.record) {
            addRecord({worker, oper, QDate(2024, 3, 6)});
            updateShiftDayCell(db, worker, 1, QDate(2024, 3, 6));
        }
        const ProductUse before = store->use(id);
        const QString sql = QString::fromUtf8(c.meanwhile);
        QVariantMap params;
        for (const auto& [name, value] :
             {std::pair<QString, int>{"i", id}, {"o", oper}, {"w", worker}, {"v", vid}})
            if (sql.contains(':' + name))
                params[name] = value;
        messenger.messages.clear();
        messenger.answer = true;
        // Written while the last question, the one before the deletion, is
        // on the screen.
        messenger.onAsk = [&] {
            const QString asked = messenger.messages.last().text;
            if (asked == kDeleteProduct || asked == kProductHasRecords)
                tabel::exec(other, sql, params);
        };
        list.prepareDirectory();
        standOn(id);
        list.deleteCurrent();

        ASSERT_FALSE(messenger.messages.isEmpty());
        EXPECT_EQ(messenger.messages.last().kind, Messenger::Kind::Error);
        EXPECT_EQ(messenger.messages.last().caption, "Удаление");
        EXPECT_EQ(messenger.messages.last().text, kProductUsedMeanwhile);
        EXPECT_EQ(products("id = :i", {{"i", id}}), 1);
        const ProductUse after = store->use(id);
        EXPECT_EQ(after.records + after.operations, before.records + before.operations + 1);
        if (c.record) {
            EXPECT_EQ(dayCell(worker, 1, QDate(2024, 3, 6)).toInt(), 8);
        }

        // Asked again, with everything in view, the user can delete it.
        messenger.onAsk = nullptr;
        standOn(id);
        list.deleteCurrent();
        list.finish();
        EXPECT_EQ(products("id = :i", {{"i", id}}), 0);
        EXPECT_EQ(store->use(id).records + store->use(id).operations, 0);
    }
}

// A product's brigade jobs go with its records: the question says so and
// counts them, and no job or member is left over the deleted product.
TEST_F(ProductsTest, DeletionTakesTheProductsBrigadeJobsWithTheirRecords) {
    const int vid = addVid("Сборка");
    const int a = addWorker("Абрамов");
    const int b = addWorker("Борисов");
    const int rama = product("Рама", "1", group);
    const int balka = product("Балка", "1", group);
    const int ramaOper = addOper(rama, vid);
    const int balkaOper = addOper(balka, vid);
    const QDate day(2024, 3, 5);
    brigadeJob(rama, ramaOper, {a, b}, day);
    brigadeJob(rama, ramaOper, {b}, day.addDays(1));
    const int kept = brigadeJob(balka, balkaOper, {a, b}, day);
    addRecord({a, balkaOper, day.addDays(2), 1, 3});
    updateShiftDayCell(db, a, 1, day.addDays(2));

    ProductsList list(*ctx);
    answer({true, true});
    list.prepareDirectory();
    standOn(rama);
    list.deleteCurrent();
    list.finish();
    EXPECT_EQ(questions(),
              (QStringList{kProductHasPrices,
                           "По изделию есть операции в текущем, предыдущем месяцах и ранее, они "
                           "будут удалены. Бригадные наряды по изделию (2) тоже будут удалены. "
                           "Удалить изделие? "}));
    EXPECT_EQ(messenger.messages.size(), 2); // no errors
    EXPECT_EQ(products("id = :i", {{"i", rama}}), 0);
    EXPECT_EQ(ids("select id from accounts_dep.brigade_job"), QString::number(kept));
    EXPECT_EQ(ids("select job_id as id from accounts_dep.brigade_member"),
              QStringLiteral("%1 %1").arg(kept));
    EXPECT_EQ(count("accounts_dep.smena", "i_id = :i", {{"i", rama}}), 0);
    EXPECT_EQ(count("accounts_dep.smena", "id_doc = :j", {{"j", kept}}), 2);
    EXPECT_EQ(dayCell(a, 1, day).toInt(), 8);
    const QVariant empty = dayCell(b, 1, day.addDays(1));
    EXPECT_TRUE(empty.isValid() && empty.isNull());
    EXPECT_TRUE(checkMonth(db, SheetKind::Shifts, day).empty());
}

// A record of the product committed on another workstation while the
// deletion waits for that worker's month is not deleted unseen with the
// rest: the deletion stops, and the record and its day cell stay as saved.
TEST_F(ProductsTest, ARecordSavedWhileTheDeletionWaitsIsNotDeletedUnseen) {
    const int vid = addVid("Сборка");
    const int worker = addWorker("Иванов");
    const int rama = product("Рама", "1", group);
    const int balka = product("Балка", "1", group);
    const int ramaOper = addOper(rama, vid);
    const int balkaOper = addOper(balka, vid);
    const QDate day(2024, 3, 5);
    addRecord({worker, ramaOper, day});
    updateShiftDayCell(db, worker, 1, day);
    const ProductUse asked = store->use(rama);
    const int deleter = scalar("select pg_backend_pid()").toInt();

    // The frame's record, its operation picked while it was still the
    // frame's and moved to the beam since: the deletion's lock on the
    // frame's operations does not hold it back.
    RecordInput in = recordInput(worker, balkaOper, day.addDays(1), "10", "5");
    in.productId = rama;
    const QString database = dbName;
    const QString socket = testSocket();
    const QString name = dbName + "_saver";
    std::promise<QString> saved;
    std::future<QString> savedText = saved.get_future();
    std::thread other([&] {
        bool told = false;
        try {
            const QSqlDatabase conn = openDatabase(connectionString(database, socket), name);
            Transaction tx(conn);
            const RecordSaver::Result r = RecordSaver(conn).save(in, 1, in.date);
            saved.set_value(r.outcome.text);
            told = true;
            // Committed once the deletion waits for this worker's month.
            QDeadlineTimer deadline(30000);
            while (!deadline.hasExpired() &&
                   tabel::scalar(conn,
                                 "select exists (select 1 from pg_locks where pid = :p "
                                 "and not granted)::integer",
                                 {{"p", deleter}})
                           .toInt() != 1)
                QThread::msleep(5);
            tx.commit();
        } catch (const std::exception& e) {
            if (!told)
                saved.set_value(QString::fromUtf8(e.what()));
        }
        QSqlDatabase::removeDatabase(name);
    });
    const QString savedOutcome = savedText.get();
    const Outcome outcome = savedOutcome.isEmpty() ? store->remove(rama, asked) : Outcome::ok();
    other.join();
    ASSERT_TRUE(savedOutcome.isEmpty()) << savedOutcome.toStdString();

    EXPECT_EQ(outcome.text, kProductUsedMeanwhile);
    EXPECT_EQ(products("id = :i", {{"i", rama}}), 1);
    EXPECT_EQ(count("accounts_dep.smena", "i_id = :i", {{"i", rama}}), 2);
    EXPECT_EQ(dayCell(worker, 1, day.addDays(1)).toInt(), 5);
    EXPECT_TRUE(checkMonth(db, SheetKind::Shifts, day).empty());
}

// An operation moved to this product in the operation dialog keeps the
// records written for the product it had. They are no records of this
// product to delete with it, and they must not be left on a deleted
// operation: the deletion is refused, naming them.
TEST_F(ProductsTest, RecordsOfOtherProductsOnItsOperationsKeepTheProduct) {
    const int vid = addVid("Сборка");
    const int ivanov = addWorker("Иванов И.И.");
    const int rama = product("Рама", "1", group);
    const int balka = product("Балка", "1", group);
    const int moved = addOper(balka, vid);
    addNorm(moved, 1250);
    addRecord({ivanov, moved, QDate(2024, 3, 5), 1, 8, 1});
    // Moved to the frame as the operation dialog does it.
    OperationInput in{2, moved, rama, "Рама", vid, "Сборка", 0};
    in.shown = {balka, vid, 0};
    ASSERT_TRUE(OperationStore(db).save(in).outcome.done());
    ASSERT_EQ(store->use(rama).records, 0);

    const QString named = QString::fromUtf8(kProductOperationsHaveOthersRecords) +
                          " (1):\n05.03.2024, смена 1, Иванов И.И., Балка\n" + kMoveOperationsBack;
    ProductsList list(*ctx);
    answer({true, true});
    list.prepareDirectory();
    standOn(rama);
    list.deleteCurrent();
    list.finish();
    EXPECT_TRUE(questions().isEmpty()); // refused before any question
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Удаление");
    EXPECT_EQ(messenger.messages[0].text, named);
    // And again under the deletion's locks.
    EXPECT_EQ(store->remove(rama, store->use(rama)).text, named);
    EXPECT_EQ(products("id = :i", {{"i", rama}}), 1);
    EXPECT_EQ(count("accounts_dep.oper", "id = :o", {{"o", moved}}), 1);
    EXPECT_EQ(count("accounts_dep.norm", "o_id = :o", {{"o", moved}}), 1);
    EXPECT_EQ(count("accounts_dep.smena", "o_id = :o", {{"o", moved}}), 1);

    // Past a few, the rest are counted.
    for (int d = 6; d <= 11; ++d)
        addRecord({ivanov, moved, QDate(2024, 3, d), 2});
    run("update accounts_dep.smena set i_id = :b", {{"b", balka}}); // written before the move
    const QString text = store->otherProductsRecords(rama).text;
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(kProductOperationsHaveOthersRecords) +
                                " (7):\n05.03.2024, смена 1"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("09.03.2024, смена 2, Иванов И.И., Балка\nи ещё 2\n"))
        << text.toStdString();

    // Moved back, the operation goes with its own product only.
    in = OperationInput{2, moved, balka, "Балка", vid, "Сборка", 0};
    in.shown = {rama, vid, 0};
    ASSERT_TRUE(OperationStore(db).save(in).outcome.done());
    ASSERT_TRUE(store->remove(rama, store->use(rama)).done());
    EXPECT_EQ(products("id = :i", {{"i", rama}}), 0);
    EXPECT_EQ(count("accounts_dep.smena", "o_id = :o", {{"o", moved}}), 7);
}

// Row 0 of a worker's month is the housekeeping row; a record without a shift
// (written so by another program) has no cell, and recomputing "its" cell
// must not touch the housekeeping hours of that day.
TEST_F(ProductsTest, RecordsWithoutAShiftLeaveTheHousekeepingHoursAlone) {
    const int vid = addVid("Сборка");
    const int worker = addWorker("Иванов И.И.");
    const QDate day(2024, 3, 5);
    struct Case {
        const char* what;
        QVariant shift;
        std::function<void(int product, int record)> remove;
    } cases[] = {
        {"product deleted, shift 0", 0,
         [&](int p, int) { ASSERT_TRUE(store->remove(p, store->use(p)).done()); }},
        {"product deleted, no shift", nullInt(),
         [&](int p, int) { ASSERT_TRUE(store->remove(p, store->use(p)).done()); }},
        {"record deleted in the journal", 0, [&](int, int r) { ASSERT_TRUE(deleteRecord(db, r)); }},
        {"record moved to shift 1", 0,
         [&](int, int r) {
             RecordInput in = recordInput(
                 worker,
                 scalar("select o_id from accounts_dep.smena where id = :r", {{"r", r}}).toInt(),
                 day, "10", "2");
             in.mode = 2;
             in.recordId = r;
             in.version =
                 scalar("select xmin::text from accounts_dep.smena where id = :r", {{"r", r}})
                     .toString();
             ASSERT_TRUE(RecordSaver(db).save(in, 1, day).saved());
         }},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run("delete from accounts_dep.h_tabel");
        run("insert into accounts_dep.h_tabel (w_id, month, year, smena, i_type, i_night, d5) "
            "values (:w, 3, 2024, 0, 7777, 0, 6)",
            {{"w", worker}});
        const int p = product(QStringLiteral("Изделие %1").arg(++n), "1", group);
        const int record = addRecord({worker, addOper(p, vid), day});
        run("update accounts_dep.smena set smena = :s where id = :r",
            {{"s", c.shift}, {"r", record}});
        c.remove(p, record);
        EXPECT_EQ(scalar("select d5 from accounts_dep.h_tabel where w_id = :w and smena = 0 and "
                         "i_type = 7777",
                         {{"w", worker}})
                      .toInt(),
                  6);
        EXPECT_EQ(count("accounts_dep.h_tabel", "smena = 0"), 1);
    }
}

// A long group name shows in the open drop-down; the dialog keeps its width.
// The list's titles are read whole.
TEST_F(ProductsTest, LongNamesNeitherWidenTheDialogNorCutTheTitles) {
    ProductDialog dialog(*store, messenger);
    dialog.beginAdd();
    dialog.show();
    const int width = dialog.sizeHint().width();
    addGroup(QString(254, QChar(0x0416)));
    dialog.beginAdd();
    dialog.adjustSize();
    EXPECT_EQ(dialog.sizeHint().width(), width);
    EXPECT_LT(width, 700);

    ProductsList list(*ctx);
    list.prepareDirectory();
    list.show();
    QHeaderView* header = list.grid()->horizontalHeader();
    for (int c = 0; c < 3; ++c)
        EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << c;
    list.finish();
}
