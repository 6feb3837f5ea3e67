// Entry by the keys alone: a pick moves the focus on to the box filled next,
// so what is typed after it lands there; the brigade job opens ready for its
// first pick, says what it still needs without an error, and shows its
// numbers as the journal does.

#include "housekeeping/housekeeping_dialog.h"
#include "housekeeping/housekeeping_journal.h"
#include "housekeeping/housekeeping_rules.h"
#include "records/brigade_dialog.h"
#include "records/record_dialog.h"
#include "test_support.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kDay(2026, 11, 18); // a Wednesday

// Each key to whatever has the focus by then, as the keyboard sends it; the
// first one typed into a table opens the cell's editor, which takes the rest.
void typeText(const QString& text) {
    for (const QChar ch : text) {
        QWidget* w = QApplication::focusWidget();
        if (!w) {
            ADD_FAILURE() << "no focus for " << text.toStdString();
            return;
        }
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

void press(Qt::Key key) {
    if (QWidget* w = QApplication::focusWidget())
        QTest::keyClick(w, key);
    else
        ADD_FAILURE() << "no focus for a key";
}

QString focusName() {
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

class KeyboardEntryTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Сидоров Сидор");
        other = addWorker("Петров Пётр");
        product = addProduct("СТ-1200х600");
        oper = addOper(product, addVid("Резка"));
        addNorm(oper, 1.25);
        ctx->state.pickedDate = kDay;
        ctx->state.shift = 1;
        ctx->state.dayOff = false;
        data->openShiftLists(kDay);
    }
    // The picker's answer: the row the list would hand back, or none when
    // the list is closed without a choice.
    bool choose = true;
    int worker = 0;
    int other = 0;
    int product = 0;
    int oper = 0;
};

// The Russian number format for one test, whatever happens in it.
struct RussianNumbers {
    RussianNumbers() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    ~RussianNumbers() { QLocale::setDefault(previous); }
    QLocale previous;
};

} // namespace

// F4 on each "..." in turn, then the numbers: nothing typed is lost on the
// way. A picker closed without a choice leaves the focus where it was.
TEST_F(KeyboardEntryTest, ARecordDialogPickMovesOnToTheNextBox) {
    RecordDialog dialog(*ctx);
    dialog.pickWorker = [&]() -> std::optional<RecordDialog::WorkerChoice> {
        if (!choose)
            return std::nullopt;
        return RecordDialog::WorkerChoice{worker, "Сидоров Сидор"};
    };
    dialog.pickOperation = [&](int) -> std::optional<RecordDialog::OperationChoice> {
        if (!choose)
            return std::nullopt;
        return RecordDialog::OperationChoice{product, oper, 0, "Резка", 1.25};
    };
    dialog.prepareNew();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_EQ(focusName(), "Button3");

    struct Step {
        const char* what;
        bool choose;
        const char* focusAfter;
    } steps[] = {
        {"the worker's list closed", false, "Button3"},
        {"a worker picked", true, "Button4"},
        {"the operation's list closed", false, "Button4"},
        {"an operation picked", true, "Edit3"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        choose = s.choose;
        press(Qt::Key_F4);
        EXPECT_EQ(focusName(), s.focusAfter);
    }
    EXPECT_EQ(dialog.workerId(), worker);
    EXPECT_EQ(dialog.operationId(), oper);
    // The quantity's "0" is typed over, not added to.
    typeText("15");
    press(Qt::Key_Tab);
    EXPECT_EQ(focusName(), "Edit6");
    dialog.hoursEdit()->selectAll();
    typeText("8");
    press(Qt::Key_Return);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.lastText().toStdString();
    EXPECT_EQ(scalar("select w_id || ':' || o_id || ':' || kol_vo || ':' || time "
                     "from accounts_dep.smena where data = :d",
                     {{"d", kDay}})
                  .toString(),
              QStringLiteral("%1:%2:15:8").arg(worker).arg(oper));
}

TEST_F(KeyboardEntryTest, AHousekeepingPickMovesOnToTheNextBox) {
    const int group = addGroup("Стеллажи");
    addNorm(addOper(addProduct("Хоз. работы"), kHousekeepingWork), 150);
    HousekeepingJournal journal(*ctx);
    journal.setDate(kDay);
    journal.activate();
    HousekeepingDialog* dialog = journal.entryDialog();
    dialog->pickWorker = [&]() -> std::optional<HousekeepingDialog::WorkerChoice> {
        if (!choose)
            return std::nullopt;
        return HousekeepingDialog::WorkerChoice{worker, "Сидоров Сидор"};
    };
    dialog->pickGroup = [&]() -> std::optional<HousekeepingDialog::GroupChoice> {
        if (!choose)
            return std::nullopt;
        return HousekeepingDialog::GroupChoice{group, "Стеллажи"};
    };
    bool ran = false;
    journal.runDialog = [&](HousekeepingDialog& d) {
        d.show();
        QApplication::setActiveWindow(&d);
        d.findChild<QPushButton*>("Button3")->setFocus();
        struct Step {
            const char* what;
            bool choose;
            const char* focusAfter;
        } steps[] = {
            {"the workers' list closed", false, "Button3"},
            {"a worker picked", true, "Button4"},
            {"the groups' list closed", false, "Button4"},
            {"a group picked", true, "Edit3"},
        };
        for (const Step& s : steps) {
            SCOPED_TRACE(s.what);
            choose = s.choose;
            press(Qt::Key_Space); // the focused "..."
            EXPECT_EQ(focusName(), s.focusAfter);
        }
        typeText("6");
        EXPECT_EQ(d.hoursEdit()->text(), "6");
        EXPECT_EQ(d.sumEdit()->text(), "900");
        ran = true;
        d.hide();
        return 0;
    };
    journal.addEntry();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.lastText().toStdString();
}

// The job opens on its operation's "...", with no error before anything is
// typed; the picks move on to the quantity and to the new member's hours;
// every number shows with the decimal comma; "Записать" says what is missing.
TEST_F(KeyboardEntryTest, TheBrigadeJobOpensReadyAndShowsItsNumbersAsTheJournal) {
    const RussianNumbers russian;
    BrigadeDialog dialog(*ctx);
    QList<std::pair<int, QString>> people = {{worker, "Сидоров Сидор"}, {other, "Петров Пётр"}};
    dialog.pickWorker = [&]() -> std::optional<RecordDialog::WorkerChoice> {
        if (people.isEmpty())
            return std::nullopt;
        const auto [id, fio] = people.takeFirst();
        return RecordDialog::WorkerChoice{id, fio};
    };
    dialog.pickOperation = [&](int) -> std::optional<RecordDialog::OperationChoice> {
        return RecordDialog::OperationChoice{product, oper, 0, "Резка", 1.25};
    };
    dialog.prepareNew();
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    EXPECT_EQ(focusName(), "ButtonOperation");
    EXPECT_EQ(dialog.totalsLabel()->text(),
              "Для расчёта укажите: операцию, количество, работников.");

    // Refused only on "Записать", with the message of every window.
    EXPECT_FALSE(dialog.save());
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.lastText(), kFillAllFields);
    messenger.messages.clear();

    dialog.findChild<QPushButton*>("ButtonOperation")->setFocus();
    press(Qt::Key_Space);
    EXPECT_EQ(focusName(), "EditQuantity");
    EXPECT_EQ(dialog.priceEdit()->text(), "1,25");
    typeText("10");
    EXPECT_EQ(dialog.totalsLabel()->text(), "Для расчёта укажите: работников.");

    QTableWidget* grid = dialog.membersGrid();
    auto* add = dialog.findChild<QPushButton*>("ButtonAddMember");
    for (int member = 0; member < 2; ++member) {
        add->setFocus();
        press(Qt::Key_Space);
        ASSERT_EQ(grid->rowCount(), member + 1);
        EXPECT_EQ(focusName(), "GridMembers");
        EXPECT_EQ(grid->currentRow(), member);
        EXPECT_EQ(grid->currentColumn(), BrigadeDialog::Hours);
        typeText("8");
        press(Qt::Key_Tab); // on to the КТУ
        EXPECT_EQ(grid->item(member, BrigadeDialog::Ktu)->text(), "1,00");
    }
    // The second member's КТУ with the keypad's point: shown with the comma.
    // Enter ends the cell's typing; it does not save the job with the
    // cell's old value.
    typeText("2.5");
    press(Qt::Key_Return);
    QCoreApplication::processEvents(); // the cell is committed after the key
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.jobId(), 0);
    EXPECT_EQ(grid->item(1, BrigadeDialog::Ktu)->text(), "2,50");

    QStringList shown;
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c : {BrigadeDialog::Hours, BrigadeDialog::Ktu, BrigadeDialog::Quantity,
                      BrigadeDialog::Rejects, BrigadeDialog::Pay})
            shown << grid->item(r, c)->text();
    // 10 split 1 : 2.5; pay (share × 1.25) rounded to the kopeck.
    EXPECT_EQ(shown.join(" "), "8 1,00 2,857 0 3,57 8 2,50 7,143 0 8,93");
    EXPECT_EQ(dialog.totalsLabel()->text(), "Итого: кол-во 10, брак 0, сумма 12,50 р.");
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.lastText().toStdString();

    EXPECT_TRUE(dialog.save());
    EXPECT_EQ(scalar("select string_agg(kol_vo::numeric::text, ' ' order by kol_vo) "
                     "from accounts_dep.smena where data = :d",
                     {{"d", kDay}})
                  .toString(),
              "2.857 7.143");
}
