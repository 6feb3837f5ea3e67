#include "app/windows.h"
#include "directories/group_dialog.h"
#include "directories/group_store.h"
#include "directories/groups_list.h"
#include "journal/main_window.h"
#include "test_support.h"

#include <QAction>
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

const QString kProducts = QStringLiteral("В номенклатурной группе есть изделия.");
const QString kEntries = QStringLiteral("В номенклатурной группе есть операции.");

} // namespace

class GroupsTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        list = std::make_unique<GroupsList>(*ctx);
        list->runDialog = [this](GroupDialog& d) {
            if (onDialog)
                onDialog(d);
            d.save();
            return int(QDialog::Accepted);
        };
    }
    void TearDown() override {
        list.reset();
        DbTest::TearDown();
    }

    int addGroup(const QString& caption, int excluded = 0, const QVariant& classifier = 1,
                 const QVariant& parent = 1, int level = 2) {
        return scalar("insert into cmn_classifier.item (id_classifier, id_level, id_parent, "
                      "s_caption, b_excluded) values (:c, :l, :p, :s, :e) returning id",
                      {{"c", orNull(classifier)},
                       {"l", level},
                       {"p", orNull(parent)},
                       {"s", caption},
                       {"e", excluded}})
            .toInt();
    }
    static QVariant orNull(const QVariant& v) { return v.isValid() ? v : nullInt(); }
    QStringList captions() {
        QStringList out;
        Dataset& items = list->list();
        for (int r = 0; r < items.count(); ++r)
            out << items.value(r, "s_caption").toString();
        return out;
    }
    int groupCount(const QString& where, const QVariantMap& params = {}) {
        return scalar("select count(*) from cmn_classifier.item where " + where, params).toInt();
    }
    static void type(QWidget* w, const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    std::unique_ptr<GroupsList> list;
    std::function<void(GroupDialog&)> onDialog;
};

TEST_F(GroupsTest, DirectoryListsTheLevelTwoRowsWithEveryColumn) {
    addGroup("Стеллажи", 0);
    addGroup("Ограждения", 1);
    addGroup("Продукция", 0, 1, QVariant(), 1); // a level above the groups
    list->prepareDirectory();
    EXPECT_EQ(list->objectName(), "TForm26");
    EXPECT_EQ(list->windowTitle(), "Номенклатура (26)");
    EXPECT_EQ(list->width(), GroupsList::kNormalWidth);
    EXPECT_EQ(captions(), QStringList({"Ограждения", "Стеллажи"}));

    GridModel* grid = list->gridModel();
    QStringList titles;
    for (int c = 0; c < grid->columnCount(); ++c)
        titles << grid->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_EQ(titles,
              QStringList({"id_classifier", "id_level", "s_code", "s_caption", "s_description",
                           "d_excluded_date", "id_parent", "id", "s_excl", "b_excluded"}));
    EXPECT_EQ(list->list().value(0, "s_excl"), "V");
    EXPECT_EQ(list->list().value(1, "s_excl"), "");
    list->finish();
    EXPECT_FALSE(list->list().isOpen());
}

// A new group is a level-2 row of the classifier and tree the groups share,
// so the list it was added from shows it.
TEST_F(GroupsTest, NewGroupTakesLevelTwoAndTheSharedClassifierAndParent) {
    struct Case {
        const char* name;
        QVariantList existing; // pairs of classifier, parent
        QVariant classifier;   // expected
        QVariant parent;
    };
    const QVariant none;
    const Case cases[] = {
        {"all share both", {1, 10, 1, 10}, 1, 10},
        {"parents differ", {1, 10, 1, 11}, 1, none},
        {"one parent missing", {1, 10, 1, none}, 1, none},
        {"classifiers differ", {1, 10, 2, 10}, none, 10},
        {"no group yet", {}, none, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        run("delete from cmn_classifier.item");
        addGroup("Уровень 1", 0, 7, QVariant(), 1); // other levels do not count
        for (int i = 0; i < c.existing.size(); i += 2)
            addGroup(QStringLiteral("Группа %1").arg(i), 0, c.existing[i], c.existing[i + 1]);

        qint64 id = 0;
        ASSERT_TRUE(list->store().add("  Новая группа ", false, &id).done());
        QSqlQuery q = tabel::exec(db,
                                  "select id_level::integer, id_classifier::integer, "
                                  "id_parent::integer, s_caption, b_excluded, s_code, "
                                  "d_excluded_date from cmn_classifier.item where id = :i",
                                  {{"i", id}});
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 2);
        // A null reads as an empty text, so it differs from every id.
        auto text = [](const QVariant& v) { return v.isNull() ? QString() : v.toString(); };
        EXPECT_EQ(text(q.value(1)), text(c.classifier));
        EXPECT_EQ(text(q.value(2)), text(c.parent));
        EXPECT_EQ(q.value(3).toString(), "Новая группа");
        EXPECT_EQ(q.value(4).toInt(), 0);
        EXPECT_TRUE(q.value(5).isNull());
        EXPECT_TRUE(q.value(6).isNull());
    }
}

TEST_F(GroupsTest, DialogAddsAndChangesAndTheListStandsOnTheGroup) {
    addGroup("Бруски");
    const int shelves = addGroup("Стеллажи");
    list->prepareDirectory();

    onDialog = [](GroupDialog& d) {
        EXPECT_EQ(d.objectName(), "TForm29");
        EXPECT_EQ(d.windowTitle(), "Ведение групп (29)");
        EXPECT_TRUE(d.nameEdit()->text().isEmpty());
        d.nameEdit()->setText(" Ведра 'оцинк.' ");
    };
    list->addGroup();
    EXPECT_EQ(list->dialog()->mode(), GroupDialog::Add);
    EXPECT_EQ(captions(), QStringList({"Бруски", "Ведра 'оцинк.'", "Стеллажи"}));
    EXPECT_EQ(list->list().currentRow(), 1);

    ASSERT_TRUE(list->list().locate("id", shelves));
    onDialog = [](GroupDialog& d) {
        EXPECT_EQ(d.nameEdit()->text(), "Стеллажи");
        EXPECT_FALSE(d.excludedBox()->isChecked());
        d.nameEdit()->setText("Стеллажи сборные");
        d.excludedBox()->setChecked(true);
    };
    list->choose();
    EXPECT_EQ(list->dialog()->mode(), GroupDialog::Change);
    EXPECT_EQ(groupCount("id = :i and s_caption = 'Стеллажи сборные' and b_excluded = 1",
                         {{"i", shelves}}),
              1);
    EXPECT_EQ(list->list().currentRow(), 2);
    EXPECT_EQ(list->list().current("s_excl"), "V");

    // The mark stays for the next new group, as the box was left; an empty
    // name is stored as an empty caption.
    onDialog = [](GroupDialog& d) { EXPECT_TRUE(d.excludedBox()->isChecked()); };
    list->addGroup();
    EXPECT_EQ(groupCount("s_caption = '' and b_excluded = 1 and id_level = 2"), 1);
    list->finish();
}

TEST_F(GroupsTest, ExcludedGroupIsMissingFromThePickerButKeptInTheDirectory) {
    addGroup("Крепеж", 0);
    const int fences = addGroup("Ограждения", 0);
    const int shelves = addGroup("Стеллажи", 1);
    ASSERT_TRUE(list->store().change(fences, {"Ограждения", 0}, "Ограждения", true).done());
    run("update cmn_classifier.item set b_excluded = null where id = :i", {{"i", shelves}});

    list->preparePicker(GroupsList::HousekeepingPicker);
    EXPECT_EQ(list->modeNumber(), 24);
    EXPECT_EQ(captions(), QStringList({"Крепеж", "Стеллажи"})); // unmarked counts as in use
    EXPECT_EQ(list->changeButton()->text(), "Выбрать");
    EXPECT_TRUE(list->changeButton()->isDefault());
    EXPECT_TRUE(list->addButton()->isHidden());
    EXPECT_TRUE(list->deleteButton()->isHidden());
    EXPECT_TRUE(list->grid()->isColumnHidden(1));
    EXPECT_EQ(list->width(), GroupsList::kPickerWidth);
    // The search narrows the picker within the groups in use.
    list->search("о");
    EXPECT_TRUE(captions().isEmpty());
    list->search("");
    list->finish();

    EXPECT_FALSE(list->grid()->isColumnHidden(1));
    EXPECT_EQ(list->width(), GroupsList::kNormalWidth);
    EXPECT_FALSE(list->addButton()->isHidden());
    list->prepareDirectory();
    EXPECT_EQ(captions(), QStringList({"Крепеж", "Ограждения", "Стеллажи"}));
    EXPECT_EQ(list->list().value(1, "s_excl"), "V");
    list->finish();
}

TEST_F(GroupsTest, PickerHandsBackTheGroupAsStoredOrNothing) {
    const int id = addGroup("Шкафы  ");
    auto chooseWhenShown = [](const QString& typed) {
        QTimer::singleShot(0, [typed] {
            if (auto* shown = qobject_cast<GroupsList*>(QApplication::activeModalWidget())) {
                shown->searchBox()->setText(typed);
                shown->choose();
            }
        });
    };
    chooseWhenShown("шк");
    const auto picked = list->pick();
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(picked->id, id);
    EXPECT_EQ(picked->caption, "Шкафы  ");
    EXPECT_FALSE(list->list().isOpen());

    chooseWhenShown("Я");
    EXPECT_FALSE(list->pick().has_value());
}

TEST_F(GroupsTest, SearchIgnoresCaseAndTakesQuotesLiterally) {
    addGroup("Ведра 'оцинк.' 10%");
    addGroup("ВЕДРА пластиковые");
    addGroup("Ведро_х");
    addGroup("Скобы");
    list->prepareDirectory();
    list->show();
    type(list->searchBox(), "вЕдР");
    EXPECT_EQ(captions(), QStringList({"Ведра 'оцинк.' 10%", "ВЕДРА пластиковые", "Ведро_х"}));
    list->searchBox()->setText("ведра 'ОЦИНК.' 10%");
    EXPECT_EQ(captions(), QStringList({"Ведра 'оцинк.' 10%"}));
    list->searchBox()->setText("Вед_");
    EXPECT_TRUE(captions().isEmpty());
    list->searchBox()->setText("едра");
    EXPECT_TRUE(captions().isEmpty());

    // The text stays over the rereading after a write.
    list->searchBox()->setText("ск");
    addGroup("Скобы малые");
    list->store().reopenKeepingPosition();
    EXPECT_EQ(captions(), QStringList({"Скобы", "Скобы малые"}));
    list->finish();
}

struct GroupUse {
    const char* name;
    const char* insert; // :g is the group
    const char* message;
};

void PrintTo(const GroupUse& u, std::ostream* os) {
    *os << u.name;
}

class GroupDeleteRefused : public GroupsTest, public ::testing::WithParamInterface<GroupUse> {};

TEST_P(GroupDeleteRefused, BeforeTheQuestionAndWhenItRuns) {
    addGroup("Бруски");
    const int id = addGroup("Стеллажи");
    run(GetParam().insert, {{"g", id}});
    list->prepareDirectory();
    list->list().setCurrentRow(1);

    list->deleteCurrent();
    ASSERT_EQ(messenger.messages.size(), 1); // refused before asking
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[0].caption, "Удаление");
    EXPECT_EQ(messenger.messages[0].text, QString::fromUtf8(GetParam().message));
    EXPECT_EQ(groupCount("id = :i", {{"i", id}}), 1);

    // The same reference made by another workstation while the question is
    // on the screen: the deletion checks again with the group's row locked.
    run("delete from cmn_gds_and_srv.gds_and_srv; delete from accounts_dep.fatigue");
    QSqlDatabase other = otherWorkstation();
    messenger.messages.clear();
    messenger.onAsk = [&] { tabel::exec(other, GetParam().insert, {{"g", id}}); };
    list->deleteCurrent();
    ASSERT_EQ(messenger.messages.size(), 2);
    EXPECT_EQ(messenger.messages[0].kind, Messenger::Kind::Question);
    EXPECT_EQ(messenger.messages[0].caption, "Удаление");
    EXPECT_EQ(messenger.messages[1].kind, Messenger::Kind::Error);
    EXPECT_EQ(messenger.messages[1].caption, "Удаление");
    EXPECT_EQ(messenger.messages[1].text, QString::fromUtf8(GetParam().message));
    EXPECT_EQ(groupCount("id = :i", {{"i", id}}), 1);
    list->finish();
}

INSTANTIATE_TEST_SUITE_P(
    Uses, GroupDeleteRefused,
    ::testing::Values(
        GroupUse{"products",
                 "insert into cmn_gds_and_srv.gds_and_srv (s_caption, id_class_item) "
                 "values ('СТ-1', :g)",
                 "В номенклатурной группе есть изделия."},
        GroupUse{
            "entries",
            "insert into accounts_dep.fatigue (id_o, id_p, id_nom, cnt) values (7777, 1, :g, 8)",
            "В номенклатурной группе есть операции."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GroupsTest, ProductionRecordsOfTheGroupsGoodsCountAsEntries) {
    const int id = addGroup("Стеллажи");
    const int product = addProduct("СТ-1");
    run("update cmn_gds_and_srv.gds_and_srv set id_class_item = :g", {{"g", id}});
    run("insert into accounts_dep.smena (w_id, i_id, data, smena) values (1, :p, current_date, 1)",
        {{"p", product}});
    const GroupUsage u = list->store().usage(id);
    EXPECT_EQ(u.products, 1);
    EXPECT_EQ(u.records, 1);
    EXPECT_EQ(u.entries, 0);
    EXPECT_EQ(GroupStore::deletionRefusal({0, 0, 1}).text, kEntries);
    EXPECT_EQ(GroupStore::deletionRefusal({1, 1, 1}).text, kProducts);
    EXPECT_TRUE(GroupStore::deletionRefusal({}).done());
}

TEST_F(GroupsTest, DeletingAnUnusedGroupAsksAndKeepsTheRowNumber) {
    addGroup("Бруски");
    const int b = addGroup("Ведра");
    const int c = addGroup("Скобы");
    // A product of another group does not hold these back.
    run("insert into cmn_gds_and_srv.gds_and_srv (s_caption, id_class_item) values ('X', :g)",
        {{"g", c + 100}});
    list->prepareDirectory();
    list->list().setCurrentRow(1);

    messenger.answer = false;
    list->deleteCurrent();
    EXPECT_EQ(groupCount("id = :i", {{"i", b}}), 1);

    messenger.answer = true;
    list->deleteCurrent();
    EXPECT_EQ(messenger.messages.last().kind, Messenger::Kind::Question);
    EXPECT_EQ(messenger.messages.last().text, "Удалить номенклатурную группу?");
    EXPECT_EQ(groupCount("id = :i", {{"i", b}}), 0);
    EXPECT_EQ(captions(), QStringList({"Бруски", "Скобы"}));
    EXPECT_EQ(list->list().currentRow(), 1);
    list->finish();
}

TEST_F(GroupsTest, ChangeAndDeleteOnAnEmptyListDoNothing) {
    addGroup("Стеллажи");
    bool dialogShown = false;
    onDialog = [&](GroupDialog&) { dialogShown = true; };
    list->prepareDirectory();
    list->search("Я"); // nothing matches
    ASSERT_TRUE(list->list().isEmpty());
    list->choose();
    list->deleteCurrent();
    EXPECT_FALSE(dialogShown);
    EXPECT_TRUE(messenger.messages.isEmpty());
    EXPECT_EQ(groupCount("true"), 1);
    list->search("");
    list->finish();
}

TEST_F(GroupsTest, MainMenuOpensTheDirectory) {
    addGroup("Стеллажи", 1);
    MainWindow main(*ctx);
    Windows windows(*ctx, main);
    QAction* item = main.menuAction("ItemNomenclatureGroups");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    QTimer::singleShot(0, [] {
        auto* shown = qobject_cast<GroupsList*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->modeNumber(), 0);
        EXPECT_EQ(shown->list().count(), 1);
        shown->reject();
    });
    item->trigger();
}

// The dialog shows what the store refuses and stays open; a change refused
// because another workstation wrote the group meanwhile rereads the list
// behind the dialog, so the user sees what is there now.
TEST_F(GroupsTest, TheDialogShowsRefusalsAndAStaleChangeRereadsTheList) {
    const int shelves = addGroup("Стеллажи");
    list->prepareDirectory();
    ASSERT_TRUE(list->list().locate("id", shelves));
    QSqlDatabase other = otherWorkstation();
    list->runDialog = [&](GroupDialog& d) {
        d.show();
        d.nameEdit()->setText("Стеллажи" + QString(QChar(0)));
        EXPECT_FALSE(d.save());
        EXPECT_EQ(messenger.lastText(),
                  "«Наименование»: значение не подходит. Уберите из него недопустимый символ "
                  "(код 0).");
        EXPECT_TRUE(d.isVisible());

        tabel::exec(other,
                    "update cmn_classifier.item set s_caption = 'Стеллажи сборные' "
                    "where id = :i",
                    {{"i", shelves}});
        d.nameEdit()->setText("Полки");
        EXPECT_FALSE(d.save());
        EXPECT_EQ(messenger.lastText(), kGroupChanged);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(list->list().current("id").toInt(), shelves);
        EXPECT_EQ(list->list().current("s_caption").toString(), "Стеллажи сборные");
        d.reject();
        return int(QDialog::Rejected);
    };
    list->choose();
    EXPECT_EQ(groupCount("s_caption = 'Стеллажи сборные'"), 1);
    EXPECT_EQ(groupCount("true"), 1);
    list->finish();
}
