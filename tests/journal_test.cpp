#include "journal/journal_commands.h"
#include "journal/main_window.h"
#include "kit/grid_view.h"
#include "session/roles.h"
#include "test_support.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

using namespace tabel;
using namespace tabel::test;

namespace {
const QDate kDay(2024, 3, 5); // a Tuesday
}

class JournalTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        ivanov = addWorker("Иванов Иван Иванович");
        abramov = addWorker("Абрамов Петр Сергеевич");
        yolkin = addWorker("Ёлкин Олег Павлович");
        const int rez = addVid("Резка");
        const int gib = addVid("Гибка");
        const int st = addProduct("СТ-100");
        const int kr = addProduct("КР-45");
        stRez = addOper(st, rez, 0);
        stGib = addOper(st, gib, 1);
        krRez = addOper(kr, rez, 0);
        for (int op : {stRez, stGib, krRez})
            addNorm(op, 1.5);
    }
    QStringList column(Dataset& ds, const QString& field) {
        QStringList out;
        for (int r = 0; r < ds.count(); ++r)
            out << ds.value(r, field).toString();
        return out;
    }
    Dataset& openShift(int shift, const QDate& date = kDay) {
        Dataset& ds = data->shiftList(shift);
        ds.close();
        ds.setParam("data", date);
        ds.open();
        return ds;
    }
    int ivanov = 0, abramov = 0, yolkin = 0, stRez = 0, stGib = 0, krRez = 0;
};

TEST_F(JournalTest, ShiftListsShowTheirDateShiftAndMarkInOrder) {
    addRecord({.worker = ivanov, .oper = stRez, .date = kDay, .shift = 1, .color = 9016});
    addRecord({.worker = ivanov, .oper = stRez, .date = kDay, .shift = 1, .color = 3020});
    addRecord({.worker = ivanov, .oper = krRez, .date = kDay, .shift = 1});
    addRecord({.worker = ivanov, .oper = stGib, .date = kDay, .shift = 1});
    addRecord({.worker = yolkin, .oper = stRez, .date = kDay, .shift = 1, .ok = "ok"});
    addRecord({.worker = abramov, .oper = stRez, .date = kDay, .shift = 1, .ok = ""});
    // Left out: another date, another shift, a null mark.
    addRecord({.worker = abramov, .oper = krRez, .date = kDay.addDays(1), .shift = 1});
    addRecord({.worker = abramov, .oper = krRez, .date = kDay, .shift = 2});
    addRecord({.worker = abramov,
               .oper = stGib,
               .date = kDay,
               .shift = 1,
               .ok = QVariant(QMetaType::fromType<QString>())});

    Dataset& s1 = openShift(1);
    EXPECT_EQ(column(s1, "fio"), QStringList({"Абрамов Петр Сергеевич", "Ёлкин Олег Павлович",
                                              "Иванов Иван Иванович", "Иванов Иван Иванович",
                                              "Иванов Иван Иванович", "Иванов Иван Иванович"}));
    EXPECT_EQ(column(s1, "marka").mid(2), QStringList({"КР-45", "СТ-100", "СТ-100", "СТ-100"}));
    EXPECT_EQ(column(s1, "vid").mid(2), QStringList({"Резка", "Гибка", "Резка", "Резка"}));
    EXPECT_EQ(column(s1, "nmn").mid(2, 2), QStringList({"Готовая продукция", "Заготовки"}));
    EXPECT_EQ(column(s1, "color").mid(4), QStringList({"3020", "9016"}));
    EXPECT_EQ(
        s1.fieldNames(),
        QStringList({"id",         "data",        "smena",         "i_id",       "o_id",
                     "w_id",       "cena",        "fio",           "marka",      "vid",
                     "nmn",        "naimen",      "brak",          "kol_vo",     "summa",
                     "prize",      "color",       "time",          "ok",         "vvod",
                     "id_doc",     "id_doc_item", "f_gds_qty_use", "id_gds_use", "id_cons_use",
                     "row_version"}));

    Dataset& s2 = openShift(2);
    EXPECT_EQ(column(s2, "fio"), QStringList({"Абрамов Петр Сергеевич"}));
    EXPECT_EQ(openShift(3).count(), 0);
}

TEST_F(JournalTest, LaterShiftsSortByWorkerOnly) {
    for (int w : {yolkin, ivanov, abramov})
        addRecord({.worker = w, .oper = stRez, .date = kDay, .shift = 4});
    EXPECT_EQ(
        column(openShift(4), "fio"),
        QStringList({"Абрамов Петр Сергеевич", "Ёлкин Олег Павлович", "Иванов Иван Иванович"}));
}

TEST_F(JournalTest, ARecordIsListedOnceForEveryPersonItMatches) {
    // A person whose code names Ivanov's id, besides Ivanov himself; persons
    // with codes that are not numbers must not upset the list.
    addPerson("Иванов И.И. (дубль)", QString::number(ivanov));
    addPerson("Посетитель", "ПРОП-17");
    addPerson("Без кода", QVariant(QMetaType::fromType<QString>()));
    addRecord({.worker = ivanov, .oper = stRez, .date = kDay});
    addRecord({.worker = abramov, .oper = stRez, .date = kDay});
    EXPECT_EQ(
        column(openShift(1), "fio"),
        QStringList({"Абрамов Петр Сергеевич", "Иванов И.И. (дубль)", "Иванов Иван Иванович"}));
}

TEST_F(JournalTest, DatesAreTheIntendedDaysUnderMonthFirstDateStyle) {
    const QDate late(2026, 12, 13); // read as month 13 if sent as day-first text
    addRecord({.worker = ivanov, .oper = stRez, .date = late});
    EXPECT_EQ(openShift(1, late).count(), 1);
    EXPECT_EQ(openShift(1, late).value(0, "data").toDate(), late);
    EXPECT_EQ(scalar("select to_char(data, 'DD.MM.YYYY') from accounts_dep.smena").toString(),
              "13.12.2026");
}

TEST_F(JournalTest, GridShowsAmountsAsTheDatabaseRoundsThem) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    addRecord({.worker = ivanov,
               .oper = stRez,
               .date = kDay,
               .qty = 10,
               .brak = 2,
               .price = 1.255,
               .ok = "ok"});
    addRecord({.worker = abramov, .oper = stRez, .date = kDay, .ok = "no"});
    addRecord({.worker = yolkin, .oper = stRez, .date = kDay, .ok = ""});
    MainWindow w(*ctx);
    w.today = [] { return kDay; };
    w.openJournal();
    GridModel* m = w.gridModel();
    const auto col = [m](const QString& title) {
        for (int c = 0; c < m->columnCount(); ++c)
            if (m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() == title)
                return c;
        return -1;
    };
    ASSERT_EQ(m->rowCount(), 3);
    // Rows: Абрамов (no), Ёлкин (empty), Иванов (ok).
    EXPECT_EQ(m->data(m->index(2, col("Итого (р.)"))).toString(), "10,04");
    EXPECT_EQ(m->data(m->index(2, col("Заведен"))).toString(), "05.03.2024");
    const QColor green(0, 128, 0), red(255, 0, 0);
    EXPECT_EQ(m->data(m->index(2, col("OK")), Qt::ForegroundRole).value<QColor>(), green);
    EXPECT_EQ(m->data(m->index(0, col("OK")), Qt::ForegroundRole).value<QColor>(), red);
    EXPECT_EQ(m->data(m->index(1, col("OK")), Qt::ForegroundRole).value<QColor>(), red);
    EXPECT_TRUE(m->data(m->index(1, col("OK")), Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(w.grid()->isColumnHidden(col("Премия (%)")));
    EXPECT_EQ(w.grid()->columnWidth(col("Фамилия И.О.")), 250);
    QLocale::setDefault(QLocale::c());
}

TEST_F(JournalTest, DayOffFollowsTheWeekdayAndShowsRedAndBold) {
    MainWindow w(*ctx);
    w.today = [] { return QDate(2024, 3, 10); }; // a Sunday
    w.openJournal();
    EXPECT_TRUE(w.dayOffBox()->isChecked());
    EXPECT_TRUE(ctx->state.dayOff);
    EXPECT_EQ(w.dayOffBox()->palette().color(w.dayOffBox()->backgroundRole()), QColor(255, 0, 0));
    EXPECT_TRUE(w.dayOffBox()->font().bold());

    w.setPickedDate(QDate(2024, 3, 9)); // Saturday
    EXPECT_TRUE(w.dayOffBox()->isChecked());
    w.setPickedDate(QDate(2024, 3, 11)); // Monday
    EXPECT_FALSE(w.dayOffBox()->isChecked());
    EXPECT_FALSE(ctx->state.dayOff);
    EXPECT_FALSE(w.dayOffBox()->font().bold());
    EXPECT_EQ(ctx->state.pickedDate, QDate(2024, 3, 11));

    MainWindow wednesday(*ctx);
    wednesday.today = [] { return QDate(2024, 3, 6); };
    wednesday.openJournal();
    EXPECT_FALSE(wednesday.dayOffBox()->isChecked());
}

TEST_F(JournalTest, ShiftButtonsSwitchTheListAndTheCurrentShift) {
    addRecord({.worker = ivanov, .oper = stRez, .date = kDay, .shift = 1});
    addRecord({.worker = abramov, .oper = stRez, .date = kDay, .shift = 4});
    addRecord({.worker = yolkin, .oper = stRez, .date = kDay, .shift = 4});
    MainWindow w(*ctx);
    w.today = [] { return kDay; };
    w.openJournal();
    EXPECT_TRUE(w.shiftButton(1)->font().bold());
    EXPECT_EQ(w.gridModel()->rowCount(), 1);

    w.shiftButton(4)->click();
    EXPECT_EQ(ctx->state.shift, 4);
    EXPECT_EQ(w.gridModel()->dataset(), &data->shiftList(4));
    EXPECT_EQ(w.gridModel()->rowCount(), 2);
    EXPECT_EQ(&ctx->currentShiftList(), &data->shiftList(4));
    EXPECT_TRUE(w.shiftButton(4)->font().bold());
    EXPECT_FALSE(w.shiftButton(1)->font().bold());
}

// The office looks through a whole shift, however long, but changes nothing:
// not even the acceptance mark a double-click toggles.
TEST_F(JournalTest, OfficeReadsABusyShiftButCannotAcceptRecords) {
    const int workers[] = {ivanov, abramov, yolkin};
    for (int i = 0; i < 84; ++i)
        addRecord({.worker = workers[i % 3], .oper = stRez, .date = kDay, .qty = i + 1});
    struct Case {
        Role role;
        int toggles; // acceptance hook calls after one double-click
    } cases[] = {{Role::Administrator, 1}, {Role::Office, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.role));
        MainWindow w(*ctx);
        w.today = [] { return kDay; };
        int toggles = 0;
        w.onToggleAcceptance = [&] { ++toggles; };
        w.applyRestrictions(restrictionsFor(c.role));
        w.show();
        QCoreApplication::processEvents();
        QTableView* grid = w.grid();
        ASSERT_EQ(w.gridModel()->rowCount(), 84);

        EXPECT_TRUE(grid->isEnabled());
        EXPECT_NE(grid->palette().currentColorGroup(), QPalette::Disabled);
        EXPECT_NE(grid->viewport()->palette().currentColorGroup(), QPalette::Disabled);

        // The wheel scrolls down the list.
        QScrollBar* bar = grid->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0) << "84 rows should not fit the window";
        const QPoint inside = grid->viewport()->rect().center();
        QWheelEvent wheel(inside, grid->viewport()->mapToGlobal(inside), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(grid->viewport(), &wheel);
        EXPECT_GT(bar->value(), 0);

        // The last row can be brought into view and selected with the mouse.
        const QModelIndex last = w.gridModel()->index(83, 0);
        grid->scrollTo(last);
        const QRect lastRect = grid->visualRect(last);
        EXPECT_TRUE(grid->viewport()->rect().contains(lastRect.center()));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, lastRect.center());
        EXPECT_EQ(grid->currentIndex().row(), 83);
        EXPECT_EQ(data->shiftList(1).currentRow(), 83);

        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, lastRect.center());
        EXPECT_EQ(toggles, c.toggles);
    }
}
