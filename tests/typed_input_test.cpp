// What the user types reaches the program as typed: numbers are read
// strictly and refused with a message.

#include "db/numbers.h"
#include "directories/product_dialog.h"
#include "directories/product_store.h"
#include "housekeeping/housekeeping_dialog.h"
#include "housekeeping/housekeeping_journal.h"
#include "housekeeping/housekeeping_rules.h"
#include "kit/error_boxes.h"
#include "operations/norms_window.h"
#include "test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

using namespace tabel;
using namespace tabel::test;

namespace {

// Key by key, as the keyboard sends them (Cyrillic included).
void type(QWidget* w, const QString& text) {
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

TEST(TypedNumbers, AreReadStrictly) {
    const std::optional<qint64> noWhole;
    const std::optional<QString> noDecimal;
    struct Case {
        const char* typed;
        std::optional<qint64> whole;    // up to 999
        std::optional<QString> decimal; // up to 3 digits before the separator and 2 after
    } cases[] = {
        {"12", 12, "12"},
        {" 7 ", 7, "7"},
        {"007", 7, "7"},
        {"0", 0, "0"},
        {"1,5", noWhole, "1.5"},
        {"7.5", noWhole, "7.5"},
        {"12,50", noWhole, "12.50"},
        {",5", noWhole, "0.5"},
        {"5,", noWhole, "5"},
        {"-3", noWhole, noDecimal},
        {"+3", noWhole, noDecimal},
        {"1 000", noWhole, noDecimal},
        {"1,5,7", noWhole, noDecimal},
        {"1.5,7", noWhole, noDecimal},
        {"abc-1.5 12", noWhole, noDecimal},
        {"1e3", noWhole, noDecimal},
        {"١٢", noWhole, noDecimal}, // digits of another script
        {"", noWhole, noDecimal},
        {",", noWhole, noDecimal},
        {"1000", noWhole, noDecimal},
        {"999,99", noWhole, "999.99"},
        {"0001,25", noWhole, "1.25"},
        {"1,255", noWhole, noDecimal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(wholeNumber(QString::fromUtf8(c.typed), 999), c.whole);
        EXPECT_EQ(decimalNumber(QString::fromUtf8(c.typed), 3, 2), c.decimal);
    }
    EXPECT_EQ(decimalNumberMessage("Цена", " 1.2.3 ", 9, 6),
              "«Цена»: значение «1.2.3» не подходит. Введите число до 9 знаков до запятой и до 6 "
              "после.");
}

class TypedInputTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        previous = setErrorMessenger(&messenger);
    }
    void TearDown() override {
        setErrorMessenger(previous);
        DbTest::TearDown();
    }
    int count(const char* table) {
        return scalar(QStringLiteral("select count(*) from %1").arg(table)).toInt();
    }
    int addGroup(const QString& caption) {
        return scalar("insert into cmn_classifier.item (id_classifier, id_level, id_parent, "
                      "s_caption, b_excluded) values (1, 2, 1, :s, 0) returning id",
                      {{"s", caption}})
            .toInt();
    }
    Messenger* previous = nullptr;
};

TEST_F(TypedInputTest, HousekeepingHoursKeepWhatIsTypedAndTheSaveRefusesThem) {
    const int worker = addWorker("Иванов И.И.");
    const int group = addGroup("Стеллажи");
    addNorm(addOper(addProduct("Хоз. работы"), kHousekeepingWork), 150);
    HousekeepingJournal journal(*ctx);
    HousekeepingDialog* dialog = journal.entryDialog();
    dialog->pickWorker = [&]() -> std::optional<HousekeepingDialog::WorkerChoice> {
        return HousekeepingDialog::WorkerChoice{worker, "Иванов И.И."};
    };
    dialog->pickGroup = [&]() -> std::optional<HousekeepingDialog::GroupChoice> {
        return HousekeepingDialog::GroupChoice{group, "Стеллажи"};
    };
    journal.setDate({2026, 11, 16});
    journal.activate();
    for (const char* typed : {"1,5", "7.5", "-3", "8ч"}) {
        SCOPED_TRACE(typed);
        messenger.messages.clear();
        journal.runDialog = [&](HousekeepingDialog&) {
            dialog->chooseWorker();
            dialog->chooseGroup();
            dialog->hoursEdit()->clear();
            type(dialog->hoursEdit(), QString::fromUtf8(typed));
            EXPECT_EQ(dialog->hoursEdit()->text(), QString::fromUtf8(typed));
            EXPECT_EQ(dialog->sumEdit()->text(), ""); // no sum for hours that are refused
            EXPECT_FALSE(dialog->save());
            return 0;
        };
        journal.addEntry();
        ASSERT_EQ(messenger.messages.size(), 1);
        EXPECT_EQ(messenger.lastText(),
                  QStringLiteral("«Часы»: значение «%1» не подходит. Введите целое число от 0 до "
                                 "999999999.")
                      .arg(QString::fromUtf8(typed)));
    }
    EXPECT_EQ(count("accounts_dep.fatigue"), 0);
    EXPECT_EQ(count("accounts_dep.h_tabel"), 0);
}

TEST_F(TypedInputTest, NormCellsKeepWhatIsTypedAndTheStoreRefusesThem) {
    const int op = addOper(addProduct("Арка"), addVid("Покраска"));
    addNorm(op, 9.9, 100, 5);
    const QString before =
        scalar("select concat_ws('/', norma, price, prize) from accounts_dep.norm").toString();
    NormsEditor editor(*ctx);
    editor.prepare(op);
    editor.show();
    struct Case {
        int column;
        const char* typed;
        const char* message;
    } cases[] = {
        {NormsModel::PriceColumn, "abc-1.5 12",
         "«Цена»: значение «abc-1.5 12» не подходит. Введите число до 9 знаков до запятой и до 6 "
         "после."},
        {NormsModel::PriceColumn, "-4,4",
         "«Цена»: значение «-4,4» не подходит. Введите число до 9 знаков до запятой и до 6 "
         "после."},
        {NormsModel::NormaColumn, "1,5",
         "«Норматив»: значение «1,5» не подходит. Введите целое число от 0 до 2147483647."},
        {NormsModel::PrizeColumn, "-3",
         "«Премия, %»: значение «-3» не подходит. Введите целое число от 0 до 2147483647."},
    };
    QTableView* grid = editor.grid();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        messenger.messages.clear();
        grid->setCurrentIndex(editor.model()->index(0, c.column));
        grid->setFocus();
        for (QChar ch : QString::fromUtf8(c.typed)) {
            QWidget* w = grid->focusWidget() ? grid->focusWidget() : grid;
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
        auto* cell = qobject_cast<QLineEdit*>(grid->focusWidget());
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->text(), QString::fromUtf8(c.typed));
        EXPECT_FALSE(editor.finish()); // "Сохранить" keeps the window open on a refused cell
        EXPECT_EQ(messenger.lastText(), QString::fromUtf8(c.message));
    }
    EXPECT_EQ(
        scalar("select concat_ws('/', norma, price, prize) from accounts_dep.norm").toString(),
        before);
    EXPECT_EQ(count("accounts_dep.norm"), 1);
}

TEST_F(TypedInputTest, ProductRateKeepsWhatIsTypedAndTheSaveRefusesIt) {
    addGroup("Двери");
    ProductStore store(*data);
    ProductDialog dialog(store, messenger);
    for (const char* typed : {"-3", "12,5р", "1 000"}) {
        SCOPED_TRACE(typed);
        dialog.beginAdd();
        type(dialog.markEdit(), "Дверь ДМ-1");
        type(dialog.rateEdit(), QString::fromUtf8(typed));
        EXPECT_EQ(dialog.rateEdit()->text(), QString::fromUtf8(typed));
        dialog.groupBox()->setCurrentIndex(0);
        EXPECT_FALSE(dialog.save());
        EXPECT_EQ(messenger.lastText(),
                  QStringLiteral("«Расценка»: значение «%1» не подходит. Введите число до 15 "
                                 "знаков до запятой и до 15 после.")
                      .arg(QString::fromUtf8(typed)));
    }
    EXPECT_EQ(count("cmn_gds_and_srv.gds_and_srv"), 0);
}

} // namespace
