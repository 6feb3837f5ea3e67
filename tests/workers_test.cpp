#include "directories/worker_dialog.h"
#include "directories/worker_store.h"
#include "directories/workers_list.h"
#include "records/brigade_job.h"
#include "test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

using namespace tabel;
using namespace tabel::test;

namespace {

const QString kBlankName = QStringLiteral("ФИО нужно заполнить!");
const QString kInUse = QStringLiteral("По работнику есть записи, удалить нельзя.");

} // namespace

class WorkersTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        store = std::make_unique<WorkerStore>(db, messenger, data->workers());
    }
    void TearDown() override {
        store.reset();
        DbTest::TearDown();
    }

    QStringList names() {
        QStringList out;
        Dataset& w = data->workers();
        for (int r = 0; r < w.count(); ++r)
            out << w.value(r, "fio").toString();
        return out;
    }
    int workerCount(const QString& where = "true", const QVariantMap& params = {}) {
        return scalar("select count(*) from accounts_dep.person where " + where, params).toInt();
    }
    void addDepartment(int id, const QString& caption) {
        run("insert into cmn_department.department (id, s_caption) values (:i, :c)",
            {{"i", id}, {"c", caption}});
    }
    static void type(QWidget* w, const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    std::unique_ptr<WorkerStore> store;
};

TEST_F(WorkersTest, BlankNameIsRefusedAndNothingIsWritten) {
    const int id = addWorker("Иванов И.И.", "Цех 5");
    EXPECT_FALSE(store->add("   ", "Цех 1"));
    EXPECT_FALSE(store->change(id, {"Иванов И.И.", "Цех 5"}, " \t ", "Цех 1"));

    ASSERT_EQ(messenger.messages.size(), 2);
    for (const auto& m : messenger.messages) {
        EXPECT_EQ(m.kind, Messenger::Kind::Error);
        EXPECT_EQ(m.caption, "Ошибка");
        EXPECT_EQ(m.text, kBlankName);
    }
    EXPECT_EQ(workerCount(), 1);
    EXPECT_EQ(workerCount("fio = 'Иванов И.И.' and s_staffpos_hl = 'Цех 5'"), 1);
}

TEST_F(WorkersTest, AddStoresTrimmedNameAndDepartmentAndRegistersThePerson) {
    ASSERT_TRUE(store->add("  Петров Пётр  ", "Цех №2"));
    ASSERT_TRUE(messenger.messages.isEmpty());

    const int id = scalar("select id from accounts_dep.person").toInt();
    EXPECT_EQ(scalar("select fio from accounts_dep.person").toString(), "Петров Пётр");
    EXPECT_EQ(scalar("select s_staffpos_hl from accounts_dep.person").toString(), "Цех №2");
    EXPECT_EQ(
        scalar("select s_code from cmn_contractor.person where id = :i", {{"i", id}}).toString(),
        QString::number(id));

    ASSERT_TRUE(store->change(id, {"Петров Пётр", "Цех №2"}, " Петров П. ", "Цех №3"));
    EXPECT_EQ(
        workerCount("id = :i and fio = 'Петров П.' and s_staffpos_hl = 'Цех №3'", {{"i", id}}), 1);
}

// The dialog stores the department drop-down's caption only, and an
// untouched drop-down as empty text (not null).
TEST_F(WorkersTest, DialogStoresDepartmentCaptionAndKeepsItsChoice) {
    addDepartment(2, "Цех Б");
    addDepartment(1, "Цех А");
    run("insert into hrms_staffpos.staffpos (id, s_caption) values (1, 'Токарь')");
    WorkerDialog dialog(*store);

    dialog.beginAdd();
    ASSERT_EQ(dialog.departmentBox()->count(), 2);
    EXPECT_EQ(dialog.departmentBox()->itemText(0), "Цех А");
    EXPECT_EQ(dialog.departmentBox()->maxVisibleItems(), 10);
    dialog.nameEdit()->setText("Сидоров");
    dialog.staffPositionBox()->setCurrentIndex(0);
    ASSERT_TRUE(dialog.save());
    EXPECT_EQ(workerCount("fio = 'Сидоров' and s_staffpos_hl = ''"), 1);

    dialog.beginAdd();
    EXPECT_TRUE(dialog.nameEdit()->text().isEmpty());
    dialog.nameEdit()->setText("Кузнецов");
    dialog.departmentBox()->setCurrentIndex(1);
    ASSERT_TRUE(dialog.save());
    EXPECT_EQ(workerCount("fio = 'Кузнецов' and s_staffpos_hl = 'Цех Б'"), 1);

    // A change stands on the worker's own department; untouched, the stored
    // text is kept even when the list does not have it.
    const int id = scalar("select id from accounts_dep.person where fio = 'Сидоров'").toInt();
    addDepartment(3, "Цех 0"); // sorts first, so the choice moves in the list
    // Blanks around the name, as the personnel application may write it.
    run("update accounts_dep.person set fio = 'Сидоров  ', s_staffpos_hl = 'Склад (старое)' "
        "where id = :i",
        {{"i", id}});
    dialog.beginChange(id, "Сидоров  ", "Склад (старое)");
    EXPECT_EQ(dialog.nameEdit()->text(), "Сидоров");
    EXPECT_EQ(dialog.departmentText(), ""); // not in the list: nothing shown, nothing lost
    dialog.nameEdit()->setText("Сидоров С.");
    ASSERT_TRUE(dialog.save());
    EXPECT_EQ(workerCount("id = :i and fio = 'Сидоров С.' and s_staffpos_hl = 'Склад (старое)'",
                          {{"i", id}}),
              1);
    EXPECT_EQ(dialog.mode(), WorkerDialog::Change);

    const int kuznetsov =
        scalar("select id from accounts_dep.person where fio = 'Кузнецов'").toInt();
    dialog.beginChange(kuznetsov, "Кузнецов", "Цех Б");
    EXPECT_EQ(dialog.departmentText(), "Цех Б");
    // Picked by the user: written.
    dialog.departmentBox()->setCurrentIndex(dialog.departmentBox()->findText("Цех 0"));
    emit dialog.departmentBox()->activated(dialog.departmentBox()->currentIndex());
    ASSERT_TRUE(dialog.save());
    EXPECT_EQ(workerCount("id = :i and s_staffpos_hl = 'Цех 0'", {{"i", kuznetsov}}), 1);
}

TEST_F(WorkersTest, WheelOverTheDialogStepsTheFocusedDropDown) {
    addDepartment(1, "Цех А");
    addDepartment(2, "Цех Б");
    WorkerDialog dialog(*store);
    dialog.beginAdd();
    dialog.show();
    dialog.departmentBox()->setFocus();
    auto wheel = [&](int dy) {
        const QPointF at(5, 5);
        QWheelEvent e(at, dialog.nameEdit()->mapToGlobal(at), QPoint(), QPoint(0, dy), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(dialog.nameEdit(), &e);
    };
    wheel(-120);
    EXPECT_EQ(dialog.departmentBox()->currentIndex(), 0);
    wheel(-120);
    wheel(-120);
    EXPECT_EQ(dialog.departmentBox()->currentIndex(), 1);
    wheel(120);
    EXPECT_EQ(dialog.departmentBox()->currentIndex(), 0);
    EXPECT_TRUE(dialog.nameEdit()->text().isEmpty());
}

TEST_F(WorkersTest, QuotesPercentAndUnderscoreAreStoredAndSearchedLiterally) {
    const QString odd = "O'Brien 100% x_y";
    ASSERT_TRUE(store->add(odd, "Цех 'А' 50%"));
    addWorker("O'Brien 1000");
    addWorker("OxBrien");
    addWorker("O_Brien");
    EXPECT_EQ(scalar("select fio from accounts_dep.person where s_staffpos_hl = :d",
                     {{"d", "Цех 'А' 50%"}})
                  .toString(),
              odd);

    store->open();
    store->search("O'Brien 100%");
    EXPECT_EQ(names(), QStringList({odd}));
    store->search("O_");
    EXPECT_EQ(names(), QStringList({"O_Brien"}));
    store->search("o'brien 1"); // case does not count
    EXPECT_EQ(names(), QStringList({odd, "O'Brien 1000"}));
    store->search("ИВ");
    EXPECT_TRUE(names().isEmpty());
}

TEST_F(WorkersTest, SearchShowsNamesBeginningWithTheTextAndSurvivesRereading) {
    addWorker("Иванов Иван");
    addWorker("Иваненко Олег");
    addWorker("Петров Иван");
    store->open();

    store->search("Иван");
    EXPECT_EQ(names(), QStringList({"Иваненко Олег", "Иванов Иван"}));
    store->search("ван");
    EXPECT_TRUE(names().isEmpty());

    store->search("Иван");
    addWorker("Иванцов Игорь");
    store->reopen();
    EXPECT_EQ(names().size(), 3);
    EXPECT_TRUE(names().contains("Иванцов Игорь"));

    store->search("");
    EXPECT_EQ(names().size(), 4);
}

TEST_F(WorkersTest, SearchBoxTakesTypingAndMovesTheListWithArrows) {
    addWorker("Иванов Иван");
    addWorker("Иваненко Олег");
    addWorker("Петров Иван");
    WorkersList list(*ctx);
    list.prepareDirectory();
    list.show();
    QLineEdit* box = list.searchBox();
    EXPECT_EQ(box->objectName(), "Edit1");
    EXPECT_EQ(box->accessibleName(), "Поиск");

    type(box, "Ив");
    EXPECT_EQ(names(), QStringList({"Иваненко Олег", "Иванов Иван"}));
    Dataset& w = data->workers();
    EXPECT_EQ(w.currentRow(), 0);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(w.currentRow(), 1);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(w.currentRow(), 0);

    // Keys acting on key-down do nothing in the box.
    box->setCursorPosition(0);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Right);
    EXPECT_EQ(box->text(), "Ив");
    EXPECT_EQ(box->cursorPosition(), 0);

    box->setCursorPosition(2);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_EQ(names().size(), 3);
    list.finish();
}

struct RecordTable {
    const char* name;
    const char* insert; // :w is the worker
};

void PrintTo(const RecordTable& t, std::ostream* os) {
    *os << t.name;
}

class WorkersDeleteRefused : public WorkersTest,
                             public ::testing::WithParamInterface<RecordTable> {};

TEST_P(WorkersDeleteRefused, WhenRecordsReferToTheWorker) {
    addWorker("Абрамов");
    const int id = addWorker("Борисов");
    run(GetParam().insert, {{"w", id}});
    store->open();
    data->workers().setCurrentRow(1);

    EXPECT_FALSE(store->deleteCurrent());
    ASSERT_EQ(messenger.messages.size(), 1); // refused before asking
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[0].caption, "Удаление");
    EXPECT_EQ(messenger.messages[0].text, kInUse);
    EXPECT_EQ(workerCount("id = :i", {{"i", id}}), 1);
    EXPECT_EQ(data->workers().count(), 2);

    // The same row written by another workstation while the question is on
    // the screen: the deletion checks again under the worker's lock.
    run("delete from accounts_dep.smena; delete from accounts_dep.fatigue; "
        "delete from accounts_dep.h_tabel");
    QSqlDatabase other = otherWorkstation();
    messenger.messages.clear();
    messenger.onAsk = [&] { tabel::exec(other, GetParam().insert, {{"w", id}}); };
    EXPECT_FALSE(store->deleteCurrent());
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Question);
    EXPECT_EQ(messenger.messages[1].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[1].text, kInUse);
    EXPECT_EQ(workerCount("id = :i", {{"i", id}}), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, WorkersDeleteRefused,
    ::testing::Values(RecordTable{"smena", "insert into accounts_dep.smena (w_id, data, smena, ok) "
                                           "values (:w, date '2024-03-05', 1, 'no')"},
                      RecordTable{"fatigue",
                                  "insert into accounts_dep.fatigue (id_o, id_p, d_date, cnt) "
                                  "values (7777, :w, date '2024-03-05', 8)"},
                      RecordTable{"h_tabel",
                                  "insert into accounts_dep.h_tabel (w_id, month, year, smena) "
                                  "values (:w, 3, 2024, 1)"}),
    [](const auto& info) { return std::string(info.param.name); });

// A brigade member's worker stays while the job does: the member would
// point at nobody. That holds when the member's record was removed by
// another application too.
TEST_F(WorkersTest, DeleteIsRefusedWhileTheWorkerIsABrigadeMember) {
    const int abramov = addWorker("Абрамов");
    const int borisov = addWorker("Борисов");
    const int oper = addOper(addProduct("Рама"), addVid("Сборка"));
    const QDate day(2024, 3, 5);
    auto job = [&](const std::vector<int>& members, const QDate& date) {
        BrigadeJobInput in;
        in.date = date;
        in.productId =
            scalar("select i_id from accounts_dep.oper where id = :o", {{"o", oper}}).toInt();
        in.operationId = oper;
        in.finalPrice = 1;
        in.operationText = "Рама; Сборка; Готовая продукция";
        in.quantity = "10";
        in.rejects = "0";
        for (int w : members)
            in.members.push_back({w, QStringLiteral("Работник %1").arg(w), "8", "1"});
        const BrigadeJobs::Result r = BrigadeJobs(db).save(in, date);
        EXPECT_TRUE(r.saved()) << r.outcome.text.toStdString();
        return r.jobId;
    };
    const int first = job({abramov, borisov}, day);
    const int second = job({borisov}, day.addDays(1));
    run("delete from accounts_dep.smena where w_id = :w", {{"w", borisov}});
    run("delete from accounts_dep.h_tabel where w_id = :w", {{"w", borisov}});
    const struct {
        int worker;
        QString says;
    } cases[] = {
        {abramov,
         QStringLiteral("Работник входит в бригадный наряд № %1, удалить нельзя.").arg(first)},
        {borisov, QStringLiteral("Работник входит в бригадные наряды № %1, %2, удалить нельзя.")
                      .arg(first)
                      .arg(second)},
    };
    store->open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.worker);
        messenger.messages.clear();
        ASSERT_TRUE(data->workers().locate("id", c.worker));
        EXPECT_FALSE(store->deleteCurrent());
        ASSERT_EQ(messenger.messages.size(), 1); // refused before asking
        EXPECT_EQ(messenger.messages[0].caption, "Удаление");
        EXPECT_EQ(messenger.messages[0].text, c.says);
        // And again under the worker's lock.
        EXPECT_EQ(store->remove(c.worker).text, c.says);
        EXPECT_EQ(workerCount("id = :i", {{"i", c.worker}}), 1);
    }
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_member").toInt(), 3);
}

TEST_F(WorkersTest, DeleteOfUnusedWorkerKeepsTheRowNumber) {
    addWorker("Абрамов");
    const int borisov = addWorker("Борисов");
    const int vasin = addWorker("Васин");
    // Someone else's records do not hold these two back.
    run("insert into accounts_dep.smena (w_id, data, smena) values (:w, current_date, 1)",
        {{"w", borisov + 1000}});
    store->open();
    Dataset& w = data->workers();

    messenger.answer = false;
    w.setCurrentRow(1);
    EXPECT_FALSE(store->deleteCurrent());
    EXPECT_EQ(workerCount(), 3);

    messenger.answer = true;
    ASSERT_TRUE(store->deleteCurrent());
    EXPECT_EQ(messenger.messages.last().kind, Messenger::Kind::Question);
    EXPECT_EQ(messenger.messages.last().caption, "Удаление");
    EXPECT_EQ(messenger.messages.last().text, "Удалить работника?");
    EXPECT_EQ(workerCount("id = :i", {{"i", borisov}}), 0);
    EXPECT_EQ(names(), QStringList({"Абрамов", "Васин"}));
    EXPECT_EQ(w.currentRow(), 1);

    // The last row deleted: the list stays on its new last row.
    ASSERT_TRUE(store->deleteCurrent());
    EXPECT_EQ(workerCount("id = :i", {{"i", vasin}}), 0);
    EXPECT_EQ(names(), QStringList({"Абрамов"}));
    EXPECT_EQ(w.currentRow(), 0);
}

TEST_F(WorkersTest, PickerGivesTrimmedNameAndIdOrNothingForAnEmptyList) {
    WorkersList list(*ctx);
    auto chooseWhenShown = [] {
        QTimer::singleShot(0, [] {
            if (auto* shown = qobject_cast<WorkersList*>(QApplication::activeModalWidget()))
                shown->choose();
        });
    };
    chooseWhenShown();
    EXPECT_FALSE(list.pick(WorkersList::RecordPicker).has_value());
    EXPECT_FALSE(data->workers().isOpen());

    const int id = addWorker("Сидоров С.С.   ");
    addWorker("Яковлев");
    list.searchBox()->setText("Я");
    chooseWhenShown();
    const auto picked = list.pick(WorkersList::HousekeepingPicker);
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(picked->id, id); // the picker cleared the search box
    EXPECT_EQ(picked->fio, "Сидоров С.С.");
    EXPECT_EQ(list.modeNumber(), 24);
    EXPECT_EQ(list.changeButton()->text(), "Выбрать");
    EXPECT_TRUE(list.changeButton()->isDefault());
    EXPECT_TRUE(list.addButton()->isHidden());
    EXPECT_TRUE(list.deleteButton()->isHidden());
    EXPECT_FALSE(data->workers().isOpen());
}

TEST_F(WorkersTest, ChangingFromTheDirectoryClosesTheList) {
    addWorker("Абрамов");
    const int id = addWorker("Борисов");
    addWorker("Васин");
    WorkersList list(*ctx);
    list.prepareDirectory();
    EXPECT_EQ(list.changeButton()->text(), "Изменить");
    EXPECT_FALSE(list.changeButton()->isDefault());
    list.show();
    data->workers().setCurrentRow(1);
    list.runDialog = [](WorkerDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Изменение данных работника");
        EXPECT_EQ(d.nameEdit()->text(), "Борисов");
        d.nameEdit()->setText(" Бобров ");
        return d.save() ? 1 : 0;
    };

    list.choose();
    EXPECT_EQ(workerCount("id = :i and fio = 'Бобров'", {{"i", id}}), 1);
    EXPECT_FALSE(list.isVisible());
    EXPECT_EQ(data->workers().currentRow(), 1);
    list.finish();
}
