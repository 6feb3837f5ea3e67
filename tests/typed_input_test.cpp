// What the user types reaches the program as typed: numbers are read
// strictly and refused with a message, dates are never moved to another day,
// and the keyboard can leave a read-only grid.

#include "db/numbers.h"
#include "db/typed_date.h"
#include "directories/product_dialog.h"
#include "directories/product_store.h"
#include "housekeeping/housekeeping_dialog.h"
#include "housekeeping/housekeeping_journal.h"
#include "housekeeping/housekeeping_rules.h"
#include "journal/main_window.h"
#include "kit/date_box.h"
#include "kit/error_boxes.h"
#include "operations/norms_window.h"
#include "records/record_dialog.h"
#include "reports/reports_dialog.h"
#include "test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

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

TEST(TypedDates, NameADayOrNone) {
    const std::optional<QDate> none;
    struct Case {
        const char* typed;
        std::optional<QDate> day;
    } cases[] = {
        {"31.12.2026", QDate(2026, 12, 31)},
        {"5.3.2027", QDate(2027, 3, 5)},
        {" 29.02.2024 ", QDate(2024, 2, 29)},
        {"31.11.2026", none},
        {"31.02.2026", none},
        {"29.02.2025", none},
        {"00.01.2026", none},
        {"01.13.2026", none},
        {"01.01.26", none},
        {"1.1.2026.", none},
        {"01,01,2026", none},
        {"", none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(typedDate(QString::fromUtf8(c.typed)), c.day);
    }
}

// A date box in a window with a button, the box holding the focus.
class DateBoxTyping : public ::testing::Test {
protected:
    void SetUp() override {
        previous = setErrorMessenger(&boxes);
        auto* layout = new QVBoxLayout(&window);
        box = new DateBox(&window);
        box->setAccessibleName("Дата");
        button = new QPushButton("Записать", &window);
        layout->addWidget(box);
        layout->addWidget(button);
        QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
        window.show();
        QApplication::setActiveWindow(&window);
    }
    void TearDown() override { setErrorMessenger(previous); }
    // The box on `start`, its day field selected, as when the user clicks
    // into it or Tabs to it.
    void begin(const QDate& start) {
        box->setDate(start);
        box->setFocus(Qt::TabFocusReason);
        box->setSelectedSection(QDateTimeEdit::DaySection);
        boxes.messages.clear();
    }

    QWidget window;
    DateBox* box = nullptr;
    QPushButton* button = nullptr;
    int clicks = 0;
    RecordingMessenger boxes;
    Messenger* previous = nullptr;
};

TEST_F(DateBoxTyping, EndsAsTypedOrIsRefused) {
    const std::optional<QDate> refused;
    struct Case {
        const char* what;
        QDate start;
        QStringList keys; // typed in turn, then Enter
        std::optional<QDate> end;
    } cases[] = {
        {"a day November lacks, then December",
         {2026, 11, 29},
         {"31", "12", "2026"},
         {{2026, 12, 31}}},
        {"a day November lacks, then February", {2026, 11, 29}, {"31", "02"}, refused},
        {"with points between the fields", {2026, 11, 29}, {"31.12.2026"}, {{2026, 12, 31}}},
        {"one-digit fields", {2026, 11, 29}, {"5.3.2027"}, {{2027, 3, 5}}},
        {"commas between the fields", {2026, 11, 29}, {"1,3,2027"}, {{2027, 3, 1}}},
        {"30 over 31 January, then April", {2026, 1, 31}, {"30", "04"}, {{2026, 4, 30}}},
        {"29 February of a common year", {2024, 2, 29}, {"29", "02", "2025"}, refused},
        {"29 February of a leap year", {2023, 3, 15}, {"29", "02", "2024"}, {{2024, 2, 29}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        begin(c.start);
        for (const QString& k : c.keys)
            QTest::keyClicks(box, k);
        SCOPED_TRACE(box->text().toStdString());
        QTest::keyClick(box, Qt::Key_Return);
        const QString typed = box->text();
        EXPECT_EQ(box->date(), c.end.value_or(c.start));
        EXPECT_EQ(box->text(), box->date().toString("dd.MM.yyyy"));
        if (c.end) {
            EXPECT_TRUE(boxes.messages.isEmpty());
            continue;
        }
        ASSERT_EQ(boxes.messages.size(), 1);
        EXPECT_TRUE(boxes.messages[0].text.startsWith("«Дата»: значение «"));
        EXPECT_TRUE(boxes.messages[0].text.endsWith(
            "» не подходит: такого дня в календаре нет. В поле оставлена дата " +
            c.start.toString("dd.MM.yyyy") + "."))
            << boxes.messages[0].text.toStdString();
    }
    EXPECT_EQ(typedDateMessage("Дата", "31.02.2026", {2026, 11, 29}),
              "«Дата»: значение «31.02.2026» не подходит: такого дня в календаре нет. В поле "
              "оставлена дата 29.11.2026.");
}

// The click that takes the focus from a date that names no day acts on
// nothing: the box goes back to its date and says why.
TEST_F(DateBoxTyping, AClickAwayFromADayThatIsNotThereDoesNothing) {
    begin({2026, 11, 29});
    ASSERT_TRUE(box->hasFocus());
    QSignalSpy changes(box, &QDateEdit::dateChanged);
    QTest::keyClicks(box, "3102");
    EXPECT_EQ(box->text(), "31.02.2026");
    EXPECT_EQ(box->date(), QDate(2026, 11, 29)); // nothing half-typed is taken
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(box->text(), "29.11.2026");
    EXPECT_EQ(changes.count(), 0);
    ASSERT_EQ(boxes.messages.size(), 1);
    EXPECT_EQ(boxes.messages[0].text,
              "«Дата»: значение «31.02.2026» не подходит: такого дня в календаре нет. В поле "
              "оставлена дата 29.11.2026.");

    // A day that is there is taken on the way out, and the click goes on.
    begin({2026, 11, 29});
    QTest::keyClicks(box, "3112");
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(box->date(), QDate(2026, 12, 31));
    EXPECT_TRUE(boxes.messages.isEmpty());
}

// However the shown date is replaced (selected and typed over, rubbed out,
// pasted), the box ends on the date typed or refuses it with its message:
// never on the day it had, or on a mix of the two.
TEST_F(DateBoxTyping, ReplacedTextEndsAsTypedOrIsRefused) {
    QLineEdit* edit = box->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    auto keys = [this](std::vector<QKeyCombination> ks) {
        return [this, ks] {
            for (QKeyCombination k : ks)
                QTest::keyClick(box, k.key(), k.keyboardModifiers());
        };
    };
    auto selectAll = keys({Qt::ControlModifier | Qt::Key_A});
    auto paste = [this](const char* clip, QKeyCombination k) {
        return [this, clip, k] {
            QGuiApplication::clipboard()->setText(QString::fromUtf8(clip));
            QTest::keyClick(box, k.key(), k.keyboardModifiers());
        };
    };
    const QKeyCombination ctrlV = Qt::ControlModifier | Qt::Key_V;
    const std::optional<QDate> refused;
    const QDate twelfth(2026, 11, 12);
    struct Case {
        const char* what;
        QDate start;
        std::function<void()> replace;
        const char* typed; // then Enter
        std::optional<QDate> end;
    } cases[] = {
        {"select all, type with points", twelfth, selectAll, "15.11.2026", {{2026, 11, 15}}},
        {"select all, type digits only", twelfth, selectAll, "15112026", {{2026, 11, 15}}},
        {"select all, another month", {2026, 12, 11}, selectAll, "12.11.2026", twelfth},
        {"select all, one-digit fields", twelfth, selectAll, "5.3.2027", {{2027, 3, 5}}},
        {"Home, Shift+End, type",
         twelfth,
         keys({Qt::Key_Home, Qt::ShiftModifier | Qt::Key_End}),
         "15.11.2026",
         {{2026, 11, 15}}},
        {"double-click, type",
         twelfth,
         [&] { QTest::mouseDClick(edit, Qt::LeftButton, {}, QPoint(6, edit->height() / 2)); },
         "15.11.2026",
         {{2026, 11, 15}}},
        {"Backspace from the end over all of it",
         twelfth,
         [&] {
             QTest::keyClick(box, Qt::Key_End);
             for (int i = 0; i < 12; ++i)
                 QTest::keyClick(box, Qt::Key_Backspace);
             EXPECT_EQ(box->text(), "..");
         },
         "15.11.2026",
         {{2026, 11, 15}}},
        {"select all, Backspace",
         twelfth,
         keys({Qt::ControlModifier | Qt::Key_A, Qt::Key_Backspace}),
         "15.11.2026",
         {{2026, 11, 15}}},
        {"select all, Delete",
         twelfth,
         keys({Qt::ControlModifier | Qt::Key_A, Qt::Key_Delete}),
         "1.12.2026",
         {{2026, 12, 1}}},
        {"select all, paste",
         twelfth,
         [&] {
             selectAll();
             paste("15.11.2026", ctrlV)();
         },
         "",
         {{2026, 11, 15}}},
        {"paste over the selected day", twelfth, paste("15.11.2026", ctrlV), "", {{2026, 11, 15}}},
        {"Shift+Insert of a date with slashes and blanks",
         twelfth,
         paste(" 1/2/2027\n", Qt::ShiftModifier | Qt::Key_Insert),
         "",
         {{2027, 2, 1}}},
        {"paste the digits only", twelfth, paste("15112026", ctrlV), "", {{2026, 11, 15}}},
        {"select all, only the day typed", twelfth, selectAll, "15", refused},
        {"select all, a day November lacks", twelfth, selectAll, "31.11.2026", refused},
        {"paste a text that is no date", twelfth, paste("вчера", ctrlV), "", refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        begin(c.start);
        c.replace();
        QTest::keyClicks(box, c.typed);
        SCOPED_TRACE(box->text().toStdString());
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(box->date(), c.end.value_or(c.start));
        EXPECT_EQ(box->text(), box->date().toString("dd.MM.yyyy"));
        if (c.end) {
            EXPECT_TRUE(boxes.messages.isEmpty()) << boxes.lastText().toStdString();
            continue;
        }
        ASSERT_EQ(boxes.messages.size(), 1);
        EXPECT_TRUE(boxes.messages[0].text.startsWith("«Дата»: значение «"));
        EXPECT_TRUE(boxes.messages[0].text.endsWith(
            "» не подходит: такого дня в календаре нет. В поле оставлена дата " +
            c.start.toString("dd.MM.yyyy") + "."))
            << boxes.messages[0].text.toStdString();
    }
}

// A step with the arrows starts from the day typed, in the field of the
// cursor, and Tab out of a typed day takes it.
TEST_F(DateBoxTyping, StepsAndTabStartFromTheDayTyped) {
    begin({2026, 11, 12});
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, "15.10");
    QTest::keyClick(box, Qt::Key_Up); // a date half-typed: refused, nothing stepped
    EXPECT_EQ(box->date(), QDate(2026, 11, 12));
    ASSERT_EQ(boxes.messages.size(), 1);

    begin({2026, 11, 12});
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, "15.10.2026");
    QTest::keyClick(box, Qt::Key_Up); // the year
    EXPECT_EQ(box->date(), QDate(2027, 10, 15));
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Down); // the day
    EXPECT_EQ(box->date(), QDate(2027, 10, 14));

    begin({2026, 11, 12});
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, "1.2.2027");
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_FALSE(box->hasFocus());
    EXPECT_EQ(box->date(), QDate(2027, 2, 1));
    EXPECT_TRUE(boxes.messages.isEmpty());
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
        EXPECT_EQ(
            messenger.lastText(),
            QStringLiteral("«Часы»: значение «%1» не подходит. Введите целое число от 0 до 24.")
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

// One kind of date box in every window that takes a date.
TEST_F(TypedInputTest, EveryDatePickerIsADateBox) {
    MainWindow main(*ctx);
    RecordDialog record(*ctx);
    HousekeepingJournal housekeeping(*ctx);
    ReportsDialog reports(*ctx);
    const std::pair<QWidget*, const char*> pickers[] = {
        {&main, "DateT"},        {&record, "DTimeP"},     {&housekeeping, "DateT"},
        {&reports, "DTPicker1"}, {&reports, "DTPicker2"},
    };
    for (const auto& [window, name] : pickers) {
        SCOPED_TRACE(name);
        const auto edits = window->findChildren<QDateEdit*>();
        EXPECT_EQ(edits.size(), window == &reports ? 2 : 1);
        EXPECT_NE(window->findChild<DateBox*>(name), nullptr);
    }
}

// Enter in the journal's date box opens the lists of the day typed, or of
// none: a day that is not there is refused and the lists stay.
TEST_F(TypedInputTest, TheJournalFollowsOnlyADayTyped) {
    MainWindow main(*ctx);
    main.today = [] { return QDate(2026, 11, 29); };
    main.show();
    QApplication::setActiveWindow(&main);
    QCoreApplication::processEvents();
    auto* date = main.findChild<DateBox*>("DateT");
    ASSERT_NE(date, nullptr);
    ASSERT_EQ(ctx->state.pickedDate, QDate(2026, 11, 29));

    date->setFocus(Qt::TabFocusReason);
    date->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(date, "3112");
    QTest::keyClick(date, Qt::Key_Return);
    EXPECT_EQ(ctx->state.pickedDate, QDate(2026, 12, 31));
    EXPECT_EQ(data->shiftList(1).param("data").toDate(), QDate(2026, 12, 31));

    date->setFocus(Qt::TabFocusReason);
    date->setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(date, "3102");
    QTest::keyClick(date, Qt::Key_Return);
    EXPECT_EQ(ctx->state.pickedDate, QDate(2026, 12, 31));
    EXPECT_EQ(date->date(), QDate(2026, 12, 31));
    EXPECT_EQ(data->shiftList(1).param("data").toDate(), QDate(2026, 12, 31));
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_TRUE(messenger.lastText().startsWith("«Дата»: значение «31.02.2026» не подходит"));

    // The whole date selected and typed over, as a foreman retypes it.
    date->setFocus(Qt::TabFocusReason);
    QTest::keyClick(date, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(date, "15.11.2026");
    QTest::keyClick(date, Qt::Key_Return);
    EXPECT_EQ(ctx->state.pickedDate, QDate(2026, 11, 15));
    EXPECT_EQ(data->shiftList(1).param("data").toDate(), QDate(2026, 11, 15));
    EXPECT_EQ(messenger.messages.size(), 1);
}

TEST_F(TypedInputTest, TabLeavesAReadOnlyGrid) {
    const int worker = addWorker("Петров П.П.");
    const int op = addOper(addProduct("Арка"), addVid("Резка"));
    addNorm(op, 2);
    addRecord({.worker = worker, .oper = op, .date = {2026, 11, 16}});
    MainWindow main(*ctx);
    main.today = [] { return QDate(2026, 11, 16); };
    main.show();
    QApplication::setActiveWindow(&main);
    QCoreApplication::processEvents();
    QTableView* grid = main.grid();
    ASSERT_GT(grid->model()->rowCount(), 0);
    grid->setFocus(Qt::TabFocusReason);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    ASSERT_TRUE(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_FALSE(grid->hasFocus());
    EXPECT_EQ(grid->currentIndex().column(), 0);
}

} // namespace
