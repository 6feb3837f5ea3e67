// Closing a paid month and reopening it: the rules, the administrator's
// window, what the other windows show of a closed month, and the batch
// commands.
#include "app/windows.h"
#include "db/closed_months.h"
#include "housekeeping/housekeeping_journal.h"
#include "journal/main_window.h"
#include "test_support.h"
#include "timesheets/month_closing.h"
#include "timesheets/month_closing_window.h"
#include "timesheets/monthly_timesheet_window.h"
#include "timesheets/rebuilds.h"
#include "timesheets/shift_timesheet_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <deque>

using namespace tabel;
using namespace tabel::test;

namespace {

// November 2026, paid: a production record and a housekeeping entry, both
// written past the program, so the time sheets do not show them yet.
class MonthClosingTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        worker = addWorker("Иванов И. И.");
        oper = addOper(addProduct("КС-1"), addVid("Сборка"));
        addNorm(oper, 10);
        record = addRecord({.worker = worker, .oper = oper, .date = kDay, .time = 8});
        run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, "
            "i_smena, cnt, price, i_holiday, i_night) values (7777, :w, 0, :d, 11, 2026, 1, 6, "
            "100, 0, 0)",
            {{"w", worker}, {"d", kDay}});
    }
    void rebuildBoth() {
        rebuildMonth(db, SheetKind::Shifts, kDay);
        rebuildMonth(db, SheetKind::Housekeeping, kDay);
    }
    // The history of closing and reopening: action and note, oldest first.
    QStringList closingHistory() {
        QStringList out;
        QSqlQuery q = tabel::exec(db, "select action || ': ' || coalesce(note, '') from "
                                      "accounts_dep.change_log where table_name = 'closed_month' "
                                      "and row_id = 202611 order by id");
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    bool novemberClosed() { return monthClosed(db, monthKey(kDay)); }
    QString shiftDifference() const {
        return QStringLiteral("работник %1, смена 1, день 5: в табеле пусто, по записям 8")
            .arg(worker);
    }

    inline static const QDate kDay{2026, 11, 5};
    int worker = 0, oper = 0, record = 0;
};

TEST_F(MonthClosingTest, CloseIsRefusedWhileTheSheetsDifferAndAllowedAfterTheRebuilds) {
    MonthClosing closing(db);
    MonthClosing::CloseResult r = closing.close(2026, 11, "зарплата выдана");
    EXPECT_FALSE(r.outcome.done());
    EXPECT_EQ(r.outcome.text,
              "Табель за 11.2026 расходится с записями (расхождений: 2): месяц не закрыт.");
    EXPECT_EQ(differenceLines(r.differences),
              (QStringList{shiftDifference(),
                           QStringLiteral("работник %1, 7777 дн., день 5: в табеле пусто, по "
                                          "записям 6")
                               .arg(worker)}));
    EXPECT_FALSE(novemberClosed());

    // One kind put right is not enough.
    rebuildMonth(db, SheetKind::Shifts, kDay);
    r = closing.close(2026, 11, "зарплата выдана");
    EXPECT_TRUE(r.differences.shifts.empty());
    EXPECT_EQ(r.differences.housekeeping.size(), 1u);
    EXPECT_FALSE(novemberClosed());
    EXPECT_TRUE(closingHistory().isEmpty());

    rebuildMonth(db, SheetKind::Housekeeping, kDay);
    // Inside a caller's transaction that is rolled back, the close goes with it.
    {
        Transaction outer(db);
        EXPECT_TRUE(closing.close(2026, 11, "зарплата выдана").outcome.done());
        EXPECT_TRUE(novemberClosed());
    }
    EXPECT_FALSE(novemberClosed());

    r = closing.close(2026, 11, "  зарплата выдана ");
    EXPECT_TRUE(r.outcome.done()) << r.outcome.text.toStdString();
    EXPECT_TRUE(novemberClosed());
    EXPECT_EQ(closingHistory(), QStringList{"close: зарплата выдана"});
    EXPECT_THROW(run("update accounts_dep.smena set kol_vo = 11 where id = :id", {{"id", record}}),
                 DbError);

    r = closing.close(2026, 11, {});
    EXPECT_EQ(r.outcome.text, "Месяц 11.2026 уже закрыт.");
    EXPECT_EQ(closingHistory().size(), 1);
}

TEST_F(MonthClosingTest, ReopenNeedsAReasonAndLetsWritesThroughAgain) {
    rebuildBoth();
    MonthClosing closing(db);
    EXPECT_EQ(closing.reopen(2026, 11, "ошибка").text, "Месяц 11.2026 не закрыт.");
    ASSERT_TRUE(closing.close(2026, 11, {}).outcome.done());

    for (const QString& blank : {QString(), QStringLiteral("   \t")}) {
        const Outcome o = closing.reopen(2026, 11, blank);
        EXPECT_EQ(o.text, "Месяц 11.2026 открывают только с указанием причины.");
        EXPECT_TRUE(novemberClosed());
    }
    const Outcome o = closing.reopen(2026, 11, "пересчёт премии");
    EXPECT_TRUE(o.done()) << o.text.toStdString();
    EXPECT_FALSE(novemberClosed());
    run("update accounts_dep.smena set kol_vo = 11 where id = :id", {{"id", record}});
    EXPECT_EQ(
        scalar("select kol_vo from accounts_dep.smena where id = :id", {{"id", record}}).toInt(),
        11);
    EXPECT_EQ(closingHistory(), (QStringList{"close: ", "reopen: пересчёт премии"}));

    const std::vector<ClosingMonth> months = closingMonths(db);
    ASSERT_EQ(months.size(), 1u);
    EXPECT_EQ(months[0].month, 11);
    EXPECT_FALSE(months[0].closed);
}

// The window asks for the note, shows the differences, rebuilds both kinds of
// rows when told to, closes, and reopens only with a reason.
TEST_F(MonthClosingTest, TheWindowClosesAfterTheRebuildsAndReopensWithAReason) {
    addRecord({.worker = worker, .oper = oper, .date = QDate(2026, 10, 2)});
    MonthClosingWindow w(*ctx);
    EXPECT_EQ(w.objectName(), "TFormClosedMonths");
    EXPECT_EQ(w.windowTitle(), "Закрытие месяцев");
    std::deque<std::optional<QString>> answers;
    QStringList asked;
    w.askText = [&](const QString&, const QString& label) -> std::optional<QString> {
        asked << label;
        if (answers.empty())
            return std::nullopt;
        std::optional<QString> a = answers.front();
        answers.pop_front();
        return a;
    };
    w.reload();
    ASSERT_EQ(w.months().count(), 2); // November and October, newest first
    EXPECT_EQ(w.months().value(0, "month_name").toString(), "11.2026");
    ASSERT_TRUE(w.selectMonth(2026, 11));
    EXPECT_EQ(w.months().current("state").toString(), "Открыт");
    EXPECT_TRUE(w.closeButton()->isEnabled());
    EXPECT_FALSE(w.reopenButton()->isEnabled());

    // Declining the rebuilds leaves the month open and its sheets as they were.
    answers = {QString("выплачено")};
    messenger.answer = false;
    w.closeButton()->click();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Question);
    // The window names the worker too.
    const QString named = QStringLiteral("работник %1 (Иванов И. И.), смена 1, день 5: в табеле "
                                         "пусто, по записям 8")
                              .arg(worker);
    EXPECT_TRUE(messenger.messages[0].text.contains(named))
        << messenger.messages[0].text.toStdString();
    EXPECT_FALSE(novemberClosed());
    EXPECT_FALSE(checkWholeMonth(db, kDay).agrees());

    messenger.messages.clear();
    messenger.answer = true;
    answers = {QString("выплачено")};
    w.closeButton()->click();
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(messenger.messages[1].kind, Messenger::Kind::Information);
    EXPECT_EQ(messenger.messages[1].text, "Месяц 11.2026 закрыт.");
    EXPECT_TRUE(novemberClosed());
    EXPECT_TRUE(checkWholeMonth(db, kDay).agrees());
    EXPECT_EQ(w.months().current("month_name").toString(), "11.2026");
    EXPECT_EQ(w.months().current("state").toString(), "Закрыт");
    EXPECT_EQ(w.months().current("note").toString(), "выплачено");
    EXPECT_FALSE(w.months().current("closed_by").toString().isEmpty());
    EXPECT_FALSE(w.months().current("closed_at_text").toString().isEmpty());
    EXPECT_FALSE(w.closeButton()->isEnabled());
    EXPECT_TRUE(w.reopenButton()->isEnabled());

    // A blank reason is refused, a cancelled question does nothing.
    struct Case {
        std::optional<QString> reason;
        int newMessages;
    } cases[] = {{QString("  "), 1}, {std::nullopt, 0}};
    for (const Case& c : cases) {
        messenger.messages.clear();
        answers = {c.reason};
        w.reopenButton()->click();
        EXPECT_EQ(messenger.messages.size(), c.newMessages);
        EXPECT_TRUE(novemberClosed());
    }
    EXPECT_EQ(messenger.lastText(), QString()); // the cancelled one said nothing

    answers = {QString("ошибка в премии")};
    w.reopenButton()->click();
    EXPECT_EQ(messenger.lastText(), "Месяц 11.2026 открыт.");
    EXPECT_FALSE(novemberClosed());
    EXPECT_EQ(w.months().current("state").toString(), "Открыт");
    EXPECT_EQ(closingHistory(), (QStringList{"close: выплачено", "reopen: ошибка в премии"}));
}

// The journal, the housekeeping journal and both time sheets on a closed
// month: the banner, the words in the caption and no command that would
// change it; on an open month, all back as the role allows.
TEST_F(MonthClosingTest, EveryWindowOfAClosedMonthSaysSoAndOffersNoChange) {
    rebuildBoth();
    ASSERT_TRUE(MonthClosing(db).close(2026, 11, {}).outcome.done());
    const QDate open(2026, 12, 1);

    MainWindow main(*ctx);
    main.today = [] { return kDay; };
    Windows windows(*ctx, main);
    main.applyRestrictions(restrictionsFor(Role::Foreman)); // "Изменить", "Удалить" off
    int toggles = 0;
    main.onToggleAcceptance = [&] { ++toggles; };
    main.show();
    QCoreApplication::processEvents();
    HousekeepingJournal& housekeeping = windows.housekeeping();
    ShiftTimesheetWindow& shifts = windows.shiftTimesheet();
    MonthlyTimesheetWindow& monthly = windows.monthlyTimesheet();

    struct Case {
        const char* what;
        QWidget* window;
        QLabel* label;
        std::function<void(const QDate&)> show;
        std::vector<QPushButton*> closedOff; // disabled while the month is closed
        std::vector<QPushButton*> openOn;    // enabled again when it is open
    } cases[] = {
        {"journal",
         &main,
         main.monthClosedLabel(),
         [&](const QDate& d) { main.setPickedDate(d); },
         {main.addButton(), main.changeButton(), main.deleteButton()},
         {main.addButton()}},
        {"housekeeping",
         &housekeeping,
         housekeeping.monthClosedLabel(),
         [&](const QDate& d) {
             housekeeping.setDate(d);
             housekeeping.activate();
         },
         {housekeeping.addButton(), housekeeping.changeButton(), housekeeping.deleteButton(),
          housekeeping.averageButton()},
         {housekeeping.addButton(), housekeeping.changeButton(), housekeeping.deleteButton(),
          housekeeping.averageButton()}},
        {"shift sheet",
         &shifts,
         shifts.monthClosedLabel(),
         [&](const QDate& d) { shifts.selectMonthOf(d); },
         {shifts.rebuildButton()},
         {shifts.rebuildButton()}},
        {"monthly sheet",
         &monthly,
         monthly.monthClosedLabel(),
         [&](const QDate& d) { monthly.prepare(MonthlyTimesheetWindow::Sheet::Piecework, d); },
         {monthly.rebuildButton()},
         {monthly.rebuildButton()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.label->objectName(), "LabelMonthClosed");
        c.show(kDay);
        EXPECT_FALSE(c.label->isHidden());
        EXPECT_EQ(c.label->text(), "Месяц закрыт");
        EXPECT_TRUE(c.window->windowTitle().endsWith("Месяц закрыт"));
        for (QPushButton* b : c.closedOff)
            EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();

        c.show(open);
        EXPECT_TRUE(c.label->isHidden());
        EXPECT_FALSE(c.window->windowTitle().contains("Месяц закрыт"));
        for (QPushButton* b : c.openOn)
            EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
        c.show(kDay); // back on the closed month, and it stays marked once
        EXPECT_EQ(c.window->windowTitle().count("Месяц закрыт"), 1);
    }
    // The foreman's restrictions outlive the month's reopening.
    EXPECT_FALSE(main.changeButton()->isEnabled());

    // The acceptance mark is frozen too.
    main.setPickedDate(kDay);
    ASSERT_EQ(main.gridModel()->rowCount(), 1);
    const auto doubleClickRecord = [&] {
        const QRect row = main.grid()->visualRect(main.gridModel()->index(0, 0));
        QTest::mouseClick(main.grid()->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(main.grid()->viewport(), Qt::LeftButton, {}, row.center());
    };
    doubleClickRecord();
    EXPECT_EQ(toggles, 0);

    // Reopened elsewhere: "Обновить" shows it.
    ASSERT_TRUE(MonthClosing(otherWorkstation()).reopen(2026, 11, "исправление").done());
    main.findChild<QPushButton*>("RefreshButton")->click();
    EXPECT_TRUE(main.monthClosedLabel()->isHidden());
    EXPECT_TRUE(main.addButton()->isEnabled());
    doubleClickRecord();
    EXPECT_EQ(toggles, 1);

    // The administrator's menu item is there, under "Табель".
    QAction* item = main.menuAction("ItemClosedMonths");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), "Закрытие месяцев");
    EXPECT_TRUE(item->isEnabled());
}

TEST_F(MonthClosingTest, BatchCommandsCloseReopenAndRefuse) {
    const QStringList november{"--month", "11", "--year", "2026"};
    BatchRun r = runBatch(dbName, QStringList{"close-month"} + november);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains(shiftDifference())) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Расхождений: 2.")) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("расходится с записями")) << r.err.toStdString();
    EXPECT_FALSE(novemberClosed());

    rebuildBoth();
    const struct {
        QStringList args;
        int exitCode;
        QString says; // in the output, or for a refusal in the errors
        bool closedAfter;
    } steps[] = {
        {QStringList{"close-month"} + november + QStringList{"--note", "выплачено"}, 0,
         "Месяц 11.2026 закрыт.", true},
        {QStringList{"close-month"} + november, 1, "Месяц 11.2026 уже закрыт.", true},
        {QStringList{"reopen-month"} + november, 2, "--reason", true},
        {QStringList{"reopen-month"} + november + QStringList{"--reason", " "}, 2, "--reason",
         true},
        {{"reopen-month", "--month", "13", "--year", "2026", "--reason", "x"}, 2, "--month", true},
        {{"close-month", "--year", "2026"}, 2, "--month", true},
        {QStringList{"close-month"} + november + QStringList{"--bogus", "1"}, 2, "--bogus", true},
        {QStringList{"reopen-month"} + november + QStringList{"--reason", "перерасчёт"}, 0,
         "Месяц 11.2026 открыт.", false},
        {QStringList{"reopen-month"} + november + QStringList{"--reason", "ещё раз"}, 1,
         "Месяц 11.2026 не закрыт.", false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.args.join(' ').toStdString());
        r = runBatch(dbName, s.args);
        EXPECT_EQ(r.exitCode, s.exitCode) << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE((s.exitCode == 0 ? r.out : r.err).contains(s.says))
            << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(novemberClosed(), s.closedAfter);
    }
    EXPECT_EQ(closingHistory(), (QStringList{"close: выплачено", "reopen: перерасчёт"}));
}

} // namespace
