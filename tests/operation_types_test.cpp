#include "app/windows.h"
#include "journal/main_window.h"
#include "operations/operation_type_dialog.h"
#include "operations/operation_type_store.h"
#include "operations/operation_types_list.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tabel;
using namespace tabel::test;

namespace {

const QString kExists = QStringLiteral("Такая операция уже заведена!");
const QString kInUse = QStringLiteral("Вид операции используется, удалить нельзя.");

} // namespace

class OperationTypesTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        store = std::make_unique<OperationTypeStore>(db, data->vidOper());
    }
    void TearDown() override {
        store.reset();
        DbTest::TearDown();
    }

    QStringList names() {
        QStringList out;
        Dataset& t = data->vidOper();
        for (int r = 0; r < t.count(); ++r)
            out << t.value(r, "vid").toString();
        return out;
    }
    int typeCount(const QString& where = "true", const QVariantMap& params = {}) {
        return scalar("select count(*) from accounts_dep.vid_oper where " + where, params).toInt();
    }
    static void type(QWidget* w, const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    std::unique_ptr<OperationTypeStore> store;
};

// A name that an existing type has, letter case and surrounding blanks
// aside, is refused on adding and on renaming another type.
TEST_F(OperationTypesTest, DuplicateNamesAreRefusedWhateverTheCaseAndBlanks) {
    run("insert into accounts_dep.vid_oper (vid) values ('  Покраска ёмкостей ')");
    const int welding = addVid("Сварка");
    struct Case {
        const char* typed;
        bool refused;
    };
    const Case cases[] = {
        {"Покраска ёмкостей", true}, {"покраска ЁМКОСТЕЙ", true}, {"  ПОКРАСКА Ёмкостей\t", true},
        {"хоз. работы", true},       {"Покраска ёмкости", false}, {"Покраска  ёмкостей", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const int before = typeCount();
        const Outcome added = store->add(QString::fromUtf8(c.typed));
        EXPECT_EQ(!added.done(), c.refused);
        EXPECT_EQ(typeCount(), before + (c.refused ? 0 : 1));
        if (c.refused) {
            EXPECT_EQ(added.caption, "Ошибка");
            EXPECT_EQ(added.text, kExists);
        }
        const Outcome renamed = store->rename(welding, "Сварка", QString::fromUtf8(c.typed));
        // The name just added is now taken as well.
        EXPECT_FALSE(renamed.done());
        EXPECT_EQ(renamed.text, kExists);
    }
    EXPECT_EQ(scalar("select vid from accounts_dep.vid_oper where id = :i", {{"i", welding}}),
              "Сварка");

    const Outcome blank = store->add(" \t ");
    EXPECT_EQ(blank.caption, "Ошибка");
    EXPECT_EQ(blank.text, "Все поля должны быть заполнены!");
}

TEST_F(OperationTypesTest, RenamingATypeToItsOwnNameInAnotherCaseIsAccepted) {
    const int id = addVid("Сварка");
    ASSERT_TRUE(store->rename(id, "Сварка", "  СВАРКА ").done());
    EXPECT_EQ(scalar("select vid from accounts_dep.vid_oper where id = :i", {{"i", id}}), "СВАРКА");

    // A type deleted by another workstation is not renamed back into life.
    run("delete from accounts_dep.vid_oper where id = :i", {{"i", id}});
    const Outcome gone = store->rename(id, "СВАРКА", "Сварка");
    EXPECT_FALSE(gone.done());
    EXPECT_EQ(typeCount("vid = 'Сварка'"), 0);
}

TEST_F(OperationTypesTest, NamesWithQuotesAreStoredAndSearchedLiterally) {
    const QString odd = "Гибка 'Г' 50%_x";
    int id = 0;
    ASSERT_TRUE(store->add(odd, &id).done());
    addVid("Гибка 'Г' 50xx");
    addVid("Гибка");
    EXPECT_EQ(scalar("select vid from accounts_dep.vid_oper where id = :i", {{"i", id}}), odd);
    EXPECT_FALSE(store->add("гибка 'г' 50%_X").done());

    Dataset& types = data->vidOper();
    types.open();
    const SearchRule rule = OperationTypeStore::searchRule();
    rule.apply(types, "гибка 'г' 50%");
    EXPECT_EQ(names(), QStringList({odd}));
    rule.apply(types, "ГИБ");
    EXPECT_EQ(names().size(), 3);
    rule.apply(types, "ибка");
    EXPECT_TRUE(names().isEmpty());
}

struct Refusal {
    const char* name;
    int fixedId;     // 7777 or 7778; 0 for a type of our own
    const char* use; // makes the type numbered :v used
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class OperationTypeDeleteRefused : public OperationTypesTest,
                                   public ::testing::WithParamInterface<Refusal> {};

TEST_P(OperationTypeDeleteRefused, BeforeTheQuestion) {
    int id = GetParam().fixedId;
    if (id == 0) {
        id = addVid("Аааа");
        run(GetParam().use, {{"v", id}});
    }
    OperationTypesList list(*ctx);
    list.prepareDirectory();
    ASSERT_TRUE(data->vidOper().locate("id", id));

    list.deleteCurrent();
    ASSERT_EQ(messenger.messages.size(), 1); // refused before asking
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[0].caption, "Удаление");
    EXPECT_EQ(messenger.messages[0].text, kInUse);
    EXPECT_EQ(typeCount("id = :i", {{"i", id}}), 1);
    // The rule refuses as well, whoever calls it.
    EXPECT_EQ(store->remove(id).text, kInUse);
    EXPECT_EQ(typeCount("id = :i", {{"i", id}}), 1);
    list.finish();
}

INSTANTIATE_TEST_SUITE_P(
    Types, OperationTypeDeleteRefused,
    ::testing::Values(
        Refusal{"housekeeping", 7777, ""}, Refusal{"average_piecework", 7778, ""},
        Refusal{"operation", 0,
                "insert into accounts_dep.oper (vid, naimen, i_id) values (:v, 0, 1)"},
        Refusal{"entry", 0,
                "insert into accounts_dep.fatigue (id_o, id_p, cnt) values (:v, 1, 8)"}),
    [](const auto& info) { return std::string(info.param.name); });

// An operation made to use the type by another workstation while the
// question is on the screen: the deletion checks again with the row locked.
TEST_F(OperationTypesTest, DeleteChecksAgainWhenItRuns) {
    const int id = addVid("Аааа");
    const int product = addProduct("КР-1");
    OperationTypesList list(*ctx);
    list.prepareDirectory();
    ASSERT_TRUE(data->vidOper().locate("id", id));

    QSqlDatabase other = otherWorkstation();
    messenger.onAsk = [&] {
        tabel::exec(other, "insert into accounts_dep.oper (vid, naimen, i_id) values (:v, 0, :i)",
                    {{"v", id}, {"i", product}});
    };
    list.deleteCurrent();
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Question);
    EXPECT_EQ(messenger.messages[0].text, "Удалить вид операции?");
    EXPECT_EQ(messenger.messages[1].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[1].caption, "Удаление");
    EXPECT_EQ(messenger.messages[1].text, kInUse);
    EXPECT_EQ(typeCount("id = :i", {{"i", id}}), 1);
    list.finish();
}

// A writer that holds the type for its operation keeps the deletion waiting
// until it commits; the deletion then sees the operation.
TEST_F(OperationTypesTest, HoldingATypeForUseKeepsTheDeletionOut) {
    const int id = addVid("Аааа");
    QSqlDatabase other = otherWorkstation();
    ASSERT_TRUE(other.transaction());
    ASSERT_TRUE(OperationTypeStore::holdForUse(other, id));
    tabel::exec(other, "insert into accounts_dep.oper (vid, naimen, i_id) values (:v, 0, 1)",
                {{"v", id}});
    // While the writer's transaction is open, a deletion could not take the
    // row: it would wait (nowait shows it instead of waiting).
    EXPECT_THROW(tabel::exec(db,
                             "select id from accounts_dep.vid_oper where id = :i "
                             "for update nowait",
                             {{"i", id}}),
                 DbError);
    ASSERT_TRUE(other.commit());
    EXPECT_EQ(store->remove(id).text, kInUse);
    EXPECT_FALSE(OperationTypeStore::holdForUse(db, 999999));
}

TEST_F(OperationTypesTest, DeletingAnUnusedTypeAsksAndKeepsTheRowNumber) {
    addVid("Аааа");
    const int b = addVid("Бббб");
    OperationTypesList list(*ctx);
    list.prepareDirectory();
    Dataset& types = data->vidOper();
    types.setCurrentRow(1);

    messenger.answer = false;
    list.deleteCurrent();
    EXPECT_EQ(typeCount("id = :i", {{"i", b}}), 1);

    messenger.answer = true;
    list.deleteCurrent();
    EXPECT_EQ(messenger.messages.last().kind, Messenger::Kind::Question);
    EXPECT_EQ(messenger.messages.last().caption, "Удаление");
    EXPECT_EQ(typeCount("id = :i", {{"i", b}}), 0);
    EXPECT_EQ(names(), QStringList({"Аааа", "Ср. сдельная", "Хоз. работы"}));
    EXPECT_EQ(types.currentRow(), 1);
    list.finish();
    EXPECT_FALSE(types.isOpen());
}

TEST_F(OperationTypesTest, ChangeAndDeleteOnAnEmptyListDoNothing) {
    run("delete from accounts_dep.vid_oper");
    OperationTypesList list(*ctx);
    bool dialogShown = false;
    list.runDialog = [&](OperationTypeDialog&) {
        dialogShown = true;
        return 0;
    };
    list.prepareDirectory();
    list.choose();
    list.deleteCurrent();
    EXPECT_FALSE(dialogShown);
    EXPECT_TRUE(messenger.messages.isEmpty());
    list.finish();
}

TEST_F(OperationTypesTest, DirectoryAddsAndRenamesThroughTheDialog) {
    const int welding = addVid("Сварка");
    OperationTypesList list(*ctx);
    list.prepareDirectory();
    EXPECT_EQ(list.changeButton()->text(), "Изменить");
    EXPECT_TRUE(list.addButton()->isDefault());
    EXPECT_FALSE(list.searchBox()->isVisibleTo(&list));
    Dataset& types = data->vidOper();

    list.runDialog = [](OperationTypeDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Заведение нового вида операций");
        EXPECT_TRUE(d.nameEdit()->text().isEmpty());
        d.nameEdit()->setText("  Рубка ");
        return d.save() ? QDialog::Accepted : QDialog::Rejected;
    };
    list.addType();
    EXPECT_EQ(types.current("vid"), "Рубка"); // the list stands on the new type
    EXPECT_EQ(list.dialog()->mode(), OperationTypeDialog::Add);

    // A duplicate keeps the dialog open and shows why.
    list.runDialog = [](OperationTypeDialog& d) {
        d.nameEdit()->setText("рубка");
        return d.save() ? QDialog::Accepted : QDialog::Rejected;
    };
    list.addType();
    ASSERT_EQ(messenger.messages.size(), 1);
    EXPECT_EQ(messenger.messages[0].caption, "Ошибка");
    EXPECT_EQ(messenger.messages[0].text, kExists);
    EXPECT_EQ(typeCount("upper(vid) = 'РУБКА'"), 1);

    ASSERT_TRUE(types.locate("id", welding));
    list.runDialog = [](OperationTypeDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Изменение данных вида операции");
        EXPECT_EQ(d.nameEdit()->text(), "Сварка");
        d.nameEdit()->setText("Аргонная сварка");
        return d.save() ? QDialog::Accepted : QDialog::Rejected;
    };
    list.choose();
    EXPECT_EQ(types.current("id").toInt(), welding); // moved up the list with it
    EXPECT_EQ(types.current("vid"), "Аргонная сварка");
    list.finish();
}

TEST_F(OperationTypesTest, PickerNarrowsByTheFirstLettersAndHandsBackTheType) {
    addVid("Покраска");
    const int polish = addVid("Полировка  ");
    addVid("Сварка по контуру");
    OperationTypesList list(*ctx);
    list.preparePicker(OperationTypesList::OperationPicker);
    list.show();
    EXPECT_EQ(list.modeNumber(), 1);
    EXPECT_EQ(list.changeButton()->text(), "Выбрать");
    EXPECT_TRUE(list.changeButton()->isDefault());
    EXPECT_TRUE(list.addButton()->isHidden());
    EXPECT_TRUE(list.deleteButton()->isHidden());
    ASSERT_TRUE(list.searchBox()->isVisible());

    type(list.searchBox(), "пО");
    EXPECT_EQ(names(), QStringList({"Покраска", "Полировка  "}));
    QTest::keyClick(list.searchBox(), Qt::Key_Down);
    list.choose();
    ASSERT_TRUE(list.picked().has_value());
    EXPECT_EQ(list.picked()->id, polish);
    EXPECT_EQ(list.picked()->vid, "Полировка");
    list.finish();
    EXPECT_FALSE(data->vidOper().isOpen());
    EXPECT_FALSE(data->vidOper().isFiltered());
    EXPECT_FALSE(list.changeButton()->isDefault());

    // A search that matches nothing hands back nothing; the next picker
    // starts with an empty box and every type.
    auto chooseWhenShown = [](const QString& typed) {
        QTimer::singleShot(0, [typed] {
            if (auto* shown =
                    qobject_cast<OperationTypesList*>(QApplication::activeModalWidget())) {
                shown->searchBox()->setText(typed);
                shown->choose();
            }
        });
    };
    chooseWhenShown("Я");
    EXPECT_FALSE(list.pick().has_value());
    chooseWhenShown(QString());
    const auto first = list.pick();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->vid, "Покраска");
}

TEST_F(OperationTypesTest, MainMenuOpensTheDirectory) {
    MainWindow main(*ctx);
    Windows windows(*ctx, main);
    QAction* item = main.menuAction("ItemOperationTypes");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    QTimer::singleShot(0, [this] {
        auto* shown = qobject_cast<OperationTypesList*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->objectName(), "TForm8");
        EXPECT_EQ(shown->windowTitle(), "Виды операций (8)");
        EXPECT_EQ(shown->modeNumber(), 0);
        EXPECT_EQ(data->vidOper().count(), 2);
        shown->reject();
    });
    item->trigger();
    EXPECT_FALSE(data->vidOper().isOpen());
}
