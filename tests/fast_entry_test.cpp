// Entering a shift fast: a worker's earlier day in the shift offered again,
// and the journal and the record dialog driven by the keys alone.

#include "app/windows.h"
#include "db/numbers.h"
#include "directories/workers_list.h"
#include "journal/main_window.h"
#include "operations/operations_list.h"
#include "records/price_rules.h"
#include "records/record_dialog.h"
#include "records/repeat_shift.h"
#include "records/repeat_shift_dialog.h"
#include "session/roles.h"
#include "test_support.h"
#include "timesheets/month_closing.h"
#include "timesheets/rebuilds.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kDay(2026, 10, 14); // a Wednesday

// Runs `action` once a modal window of type W is up (the modal loop that
// shows it starts after this call returns).
template <class W> void whenModal(std::function<void(W*)> action) {
    QTimer::singleShot(0, [action] {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget()))
            action(w);
        else
            whenModal<W>(action);
    });
}

// Each key to whatever has the focus by then: the first one typed into a
// table opens the cell's editor, which takes the rest.
void typeText(const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(ch),
                            Qt::NoModifier);
}

} // namespace

class FastEntryTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        petrov = addWorker("Петров Пётр Петрович");
        sidorov = addWorker("Сидоров Сидор");
        const int product = addProduct("СТ-1200х600");
        cutting = addOper(product, addVid("Резка"));
        bending = addOper(product, addVid("Гибка"));
        painting = addOper(product, addVid("Покраска"));
        addNorm(cutting, 10);
        addNorm(bending, 2.5);
        addNorm(painting, 4);
    }
    int records(const QDate& d) {
        return scalar("select count(*) from accounts_dep.smena where data = :d", {{"d", d}})
            .toInt();
    }
    // The journal of `day` and `shift`, as the window opens it.
    void openJournal(const QDate& day, int shift = 1) {
        ctx->state.pickedDate = day;
        ctx->state.shift = shift;
        data->openShiftLists(day);
    }
    QList<RepeatLine> filled(QList<RepeatLine> lines, const QString& qty = "5") {
        for (RepeatLine& l : lines) {
            l.quantity = qty;
            l.hours = "4";
        }
        return lines;
    }
    int petrov = 0, sidorov = 0, cutting = 0, bending = 0, painting = 0;
};

TEST_F(FastEntryTest, TheLastEarlierWorkingDayOfTheSameShiftIsOffered) {
    addRecord({.worker = petrov, .oper = cutting, .date = kDay.addDays(-9), .qty = 1});
    addRecord({.worker = petrov, .oper = bending, .date = kDay.addDays(-5), .time = 6, .qty = 30});
    addRecord({.worker = petrov,
               .oper = painting,
               .date = kDay.addDays(-5),
               .time = 2,
               .qty = 12,
               .color = 7});
    // Not his, not this shift, or not earlier: none of them counts.
    addRecord({.worker = sidorov, .oper = cutting, .date = kDay.addDays(-2)});
    addRecord({.worker = petrov, .oper = cutting, .date = kDay.addDays(-1), .shift = 2});
    addRecord({.worker = petrov, .oper = cutting, .date = kDay});
    addRecord({.worker = petrov, .oper = cutting, .date = kDay.addDays(3)});

    struct Case {
        QDate journal;
        int shift;
        QDate expected;
        QStringList operations;
    } cases[] = {
        {kDay,
         1,
         kDay.addDays(-5),
         {"СТ-1200х600; Гибка; Готовая продукция", "СТ-1200х600; Покраска; Готовая продукция"}},
        {kDay.addDays(-5), 1, kDay.addDays(-9), {"СТ-1200х600; Резка; Готовая продукция"}},
        {kDay.addDays(-9), 1, {}, {}},
        {kDay, 2, kDay.addDays(-1), {"СТ-1200х600; Резка; Готовая продукция"}},
        {kDay, 3, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.journal.toString(Qt::ISODate).toStdString() + " shift " +
                     std::to_string(c.shift));
        const RepeatSource s = lastShiftOf(db, petrov, c.shift, c.journal);
        EXPECT_EQ(s.date, c.expected);
        QStringList ops;
        for (const RepeatLine& l : s.lines)
            ops << l.operationText;
        EXPECT_EQ(ops, c.operations);
    }
    const RepeatSource s = lastShiftOf(db, petrov, 1, kDay);
    ASSERT_EQ(s.lines.size(), 2);
    // The earlier day's numbers are there to read; the new ones are the foreman's.
    EXPECT_EQ(s.lines[0].earlierQuantity, "30");
    EXPECT_EQ(s.lines[0].earlierHours, "6");
    EXPECT_TRUE(s.lines[0].quantity.isEmpty());
    EXPECT_TRUE(s.lines[0].hours.isEmpty());
    EXPECT_EQ(s.lines[0].rejects, "0");
    EXPECT_TRUE(s.lines[0].color.isEmpty());
    EXPECT_EQ(s.lines[1].color, "7");
}

TEST_F(FastEntryTest, EveryLineIsSavedAtTheDaysPricesWithItsDayCell) {
    const QDate saturday(2026, 10, 17);
    addRecord({.worker = petrov, .oper = cutting, .date = kDay, .shift = 3});
    addRecord({.worker = petrov, .oper = bending, .date = kDay, .shift = 3});
    addRecord({.worker = petrov, .oper = painting, .date = kDay, .shift = 3, .color = 3});
    QList<RepeatLine> lines = filled(lastShiftOf(db, petrov, 3, saturday).lines);
    ASSERT_EQ(lines.size(), 3);
    lines.removeAt(1); // the foreman took out the bending
    lines[1].hours = "3";

    const RepeatResult r =
        saveRepeatedShift(db, petrov, "Петров Пётр Петрович", lines, saturday, 3, true, kDay);
    ASSERT_TRUE(r.saved()) << r.outcome.text.toStdString();
    EXPECT_EQ(r.recordIds.size(), 2);
    QSqlQuery q = exec(db,
                       "select o_id, cena::numeric::text, kol_vo::numeric::text, time, color "
                       "from accounts_dep.smena where data = :d order by id",
                       {{"d", saturday}});
    struct Row {
        int oper;
        QString price;
        int time;
        int color;
    };
    // A day off doubles the norm, the third shift adds a fifth.
    const Row expected[] = {{cutting, "24", 4, 0}, {painting, "9.6", 3, 3}};
    for (const Row& e : expected) {
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), e.oper);
        EXPECT_EQ(plainDecimal(q.value(1).toString()), e.price);
        EXPECT_EQ(q.value(2).toString(), "5");
        EXPECT_EQ(q.value(3).toInt(), e.time);
        EXPECT_EQ(q.value(4).toInt(), e.color);
    }
    EXPECT_FALSE(q.next());
    EXPECT_EQ(dayCell(petrov, 3, saturday).toInt(), 7);
}

TEST_F(FastEntryTest, OneRefusedLineLeavesNothingWrittenAndIsNamed) {
    const QDate earlier = kDay.addDays(-1);
    addRecord({.worker = petrov, .oper = cutting, .date = earlier});
    addRecord({.worker = petrov, .oper = bending, .date = earlier});
    const QList<RepeatLine> lines = filled(lastShiftOf(db, petrov, 1, kDay).lines);
    ASSERT_EQ(lines.size(), 2);
    const QDate november(2026, 11, 2);
    ASSERT_TRUE(MonthClosing(db).close(2026, 11, {}).outcome.done());

    struct Case {
        const char* what;
        std::function<void(QList<RepeatLine>&)> change;
        QDate date;
        QString text; // the line's refusal, after its name
    } cases[] = {
        {"duplicate",
         [&](QList<RepeatLine>&) {
             addRecord({.worker = petrov, .oper = bending, .date = kDay, .qty = 1});
         },
         kDay,
         QStringLiteral("Строка 2 (СТ-1200х600; Гибка; Готовая продукция): ") + kDuplicateRecord},
        {"quantity left empty", [](QList<RepeatLine>& l) { l[1].quantity.clear(); }, kDay,
         QStringLiteral("Строка 2 (СТ-1200х600; Гибка; Готовая продукция): ") + kFillAllFields},
        {"closed month", [](QList<RepeatLine>&) {}, november,
         QStringLiteral("Строка 1 (СТ-1200х600; Резка; Готовая продукция): ")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run("delete from accounts_dep.smena where data = :d", {{"d", kDay}});
        QList<RepeatLine> l = lines;
        c.change(l);
        const int before = records(c.date);
        const RepeatResult r =
            saveRepeatedShift(db, petrov, "Петров Пётр Петрович", l, c.date, 1, false, kDay);
        EXPECT_FALSE(r.saved());
        EXPECT_TRUE(r.outcome.text.startsWith(c.text)) << r.outcome.text.toStdString();
        EXPECT_TRUE(r.recordIds.isEmpty());
        EXPECT_EQ(records(c.date), before);
        EXPECT_FALSE(dayCell(petrov, 1, c.date).isValid());
    }
}

// The dialog from the journal: the current record's worker by default, a
// line taken out with Delete, the rest typed and saved with Enter.
TEST_F(FastEntryTest, TheDialogRepeatsTheCurrentWorkersShiftFromTheKeys) {
    const QDate earlier = kDay.addDays(-2);
    addRecord({.worker = petrov, .oper = cutting, .date = earlier});
    addRecord({.worker = petrov, .oper = bending, .date = earlier});
    addRecord({.worker = petrov, .oper = painting, .date = earlier, .color = 3});
    addRecord({.worker = petrov, .oper = cutting, .date = kDay, .shift = 2});
    openJournal(kDay, 2);
    openJournal(kDay, 1);
    // An empty shift: no worker until one is picked.
    RepeatShiftDialog dialog(*ctx);
    dialog.pickWorker = [&] {
        return std::optional<RepeatShiftDialog::WorkerChoice>({petrov, "Петров Пётр Петрович"});
    };
    dialog.prepareNew();
    EXPECT_EQ(dialog.workerId(), 0);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QTest::keyClick(&dialog, Qt::Key_F4);
    EXPECT_EQ(dialog.workerId(), petrov);
    EXPECT_EQ(dialog.sourceDate(), earlier);
    QTableWidget* table = dialog.table();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, RepeatShiftDialog::EarlierQuantity)->text(), "10");
    EXPECT_TRUE(table->item(0, RepeatShiftDialog::Quantity)->text().isEmpty());

    table->setFocus();
    table->setCurrentCell(1, RepeatShiftDialog::Quantity);
    QTest::keyClick(table, Qt::Key_Delete);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(1, RepeatShiftDialog::Operation)->text(),
              "СТ-1200х600; Покраска; Готовая продукция");

    for (int row = 0; row < 2; ++row) {
        table->setCurrentCell(row, RepeatShiftDialog::Quantity);
        typeText("12");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        typeText("4");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.lastText().toStdString();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(scalar("select string_agg(o_id || ':' || kol_vo || ':' || time, ',' order by id) "
                     "from accounts_dep.smena where data = :d and smena = 1",
                     {{"d", kDay}})
                  .toString(),
              QStringLiteral("%1:12:4,%2:12:4").arg(cutting).arg(painting));
    EXPECT_EQ(data->shiftList(1).rowCount(), 2); // the journal shows them

    // The current record's worker is the default from then on.
    RepeatShiftDialog again(*ctx);
    again.prepareNew();
    EXPECT_EQ(again.workerId(), petrov);
}

// From an empty journal to a saved record without the mouse: Insert, F4 on
// each picker, Enter in the lists, the numbers typed, Enter to save.
TEST_F(FastEntryTest, FromAnEmptyJournalToASavedRecordByKeysAlone) {
    MainWindow main(*ctx);
    main.today = [] { return kDay; };
    Windows windows(*ctx, main);
    main.show();
    QApplication::setActiveWindow(&main);
    QCoreApplication::processEvents();
    ASSERT_EQ(main.gridModel()->rowCount(), 0);
    main.grid()->setFocus();

    bool reachedEnd = false;
    whenModal<RecordDialog>([&](RecordDialog* d) {
        QTest::keyClick(d->focusWidget(), Qt::Key_F4); // on the worker's "..."
        EXPECT_EQ(d->workerId(), sidorov);
        // Each pick moves on to the box filled next: the operation's "...",
        // then "Кол-во", where the digits typed at once land.
        EXPECT_EQ(d->focusWidget()->objectName(), "Button4");
        QTest::keyClick(d->findChild<QPushButton*>("Button4"), Qt::Key_F4);
        EXPECT_EQ(d->operationId(), bending);
        EXPECT_EQ(d->focusWidget(), d->quantityEdit());
        QTest::keyClicks(d->focusWidget(), "15");
        QTest::keyClick(d->quantityEdit(), Qt::Key_Tab);
        EXPECT_EQ(d->focusWidget(), d->hoursEdit());
        d->hoursEdit()->selectAll();
        QTest::keyClicks(d->hoursEdit(), "8");
        reachedEnd = true;
        QTest::keyClick(d->hoursEdit(), Qt::Key_Return);
        if (d->isVisible()) // a failed step must not leave the test waiting
            d->reject();
    });
    // The pickers: Sidorov found by his name, the operation list's first row
    // (the bending, by its type's name).
    whenModal<WorkersList>([&](WorkersList* w) {
        w->search(QStringLiteral("Сидоров"));
        QTest::keyClick(w->grid(), Qt::Key_Return);
        if (w->isVisible())
            w->reject();
        whenModal<OperationsList>([&](OperationsList* o) {
            QTest::keyClick(o->grid(), Qt::Key_Return);
            if (o->isVisible())
                o->reject();
        });
    });
    QTest::keyClick(main.grid(), Qt::Key_Insert);

    EXPECT_TRUE(reachedEnd);
    EXPECT_TRUE(messenger.messages.isEmpty()) << messenger.lastText().toStdString();
    ASSERT_EQ(main.gridModel()->rowCount(), 1);
    EXPECT_EQ(scalar("select w_id || ':' || o_id || ':' || kol_vo || ':' || time "
                     "from accounts_dep.smena where data = :d",
                     {{"d", kDay}})
                  .toString(),
              QStringLiteral("%1:%2:15:8").arg(sidorov).arg(bending));
}

// Enter changes, Delete asks first; a role without the commands, or a
// closed month, leaves the keys without effect.
TEST_F(FastEntryTest, TheJournalsKeysFollowTheRoleAndTheMonth) {
    addRecord({.worker = petrov, .oper = cutting, .date = kDay});
    addRecord({.worker = sidorov, .oper = cutting, .date = kDay});
    addRecord({.worker = petrov, .oper = cutting, .date = {2026, 11, 16}});
    MainWindow main(*ctx);
    main.today = [] { return kDay; };
    Windows windows(*ctx, main);
    main.show();
    QApplication::setActiveWindow(&main);
    QCoreApplication::processEvents();
    QTableView* grid = main.grid();
    ASSERT_EQ(main.gridModel()->rowCount(), 2);
    grid->setFocus();
    grid->setCurrentIndex(main.gridModel()->index(1, 0));

    // Enter on a row opens it for a change; Esc leaves it as it was.
    int changes = 0;
    whenModal<RecordDialog>([&](RecordDialog* d) {
        changes += d->mode() == 2 && d->workerId() == sidorov;
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(changes, 1);

    messenger.answer = false;
    QTest::keyClick(grid, Qt::Key_Delete);
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Question);
    EXPECT_EQ(records(kDay), 2);
    messenger.answer = true;
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(records(kDay), 1);
    EXPECT_TRUE(main.repeatShiftButton()->isEnabled());

    // Nothing below may open a window or ask: a modal loop would never end.
    messenger.messages.clear();
    auto keysDoNothing = [&] {
        EXPECT_FALSE(main.addButton()->isEnabled());
        EXPECT_FALSE(main.repeatShiftButton()->isEnabled());
        const int before = records(main.gridModel()->rowCount() ? kDay : QDate(2026, 11, 16));
        grid->setFocus();
        grid->setCurrentIndex(main.gridModel()->index(0, 0));
        for (Qt::Key k : {Qt::Key_Insert, Qt::Key_Return, Qt::Key_Delete})
            QTest::keyClick(grid, k);
        EXPECT_TRUE(messenger.messages.isEmpty());
        EXPECT_EQ(records(main.gridModel()->rowCount() ? kDay : QDate(2026, 11, 16)), before);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    };
    {
        SCOPED_TRACE("office");
        main.applyRestrictions(restrictionsFor(Role::Office));
        keysDoNothing();
    }
    {
        SCOPED_TRACE("closed month");
        main.applyRestrictions(restrictionsFor(Role::Administrator));
        rebuildMonth(db, SheetKind::Shifts, {2026, 11, 16});
        ASSERT_TRUE(MonthClosing(db).close(2026, 11, {}).outcome.done());
        main.setPickedDate({2026, 11, 16});
        ASSERT_TRUE(main.isMonthClosed());
        keysDoNothing();
    }
}
