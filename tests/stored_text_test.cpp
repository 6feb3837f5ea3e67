// Names the server cannot store as typed are refused in the program's words
// before anything is written: a character U+0000 (the driver would cut the
// text there without a word) and a text longer than its column.
#include "test_support.h"

#include "db/stored_text.h"
#include "directories/group_store.h"
#include "directories/product_store.h"
#include "directories/worker_store.h"
#include "operations/operation_type_store.h"

#include <functional>

using namespace tabel;
using namespace tabel::test;

namespace {

class StoredTextTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        group = scalar("insert into cmn_classifier.item (id_level, s_caption, b_excluded) "
                       "values (2, 'Двери', 0) returning id")
                    .toLongLong();
        // The plant's type names are a varchar(254); ours are text.
        run("alter table accounts_dep.vid_oper alter column vid type varchar(254)");
        groupList = GroupStore::makeList(db);
    }
    void TearDown() override {
        groupList.reset();
        DbTest::TearDown();
    }

    // A refusal the worker store showed, as an outcome.
    Outcome shown(bool written) { return shownOutcome(messenger, written); }

    // A window's write of a name, and what there is of the kind to count.
    struct Writer {
        const char* what;
        const char* caption;
        std::function<Outcome(const QString&)> write;
        const char* count;
    };
    std::vector<Writer> writers() {
        const int worker = addWorker("Иванов И.И.", "Цех 1");
        const int otherWorker = addWorker("Петров П.П.", "Цех 1");
        const int type = addVid("Сварка");
        const qint64 changedGroup =
            scalar("insert into cmn_classifier.item (id_level, s_caption, b_excluded) "
                   "values (2, 'Окна', 0) returning id")
                .toLongLong();
        const int product = scalar("insert into cmn_gds_and_srv.gds_and_srv (s_caption, "
                                   "s_description, id_msm_bs, massa, id_class_item) values "
                                   "('Дверь', '', 6, 1, :g) returning id",
                                   {{"g", group}})
                                .toInt();
        auto workers = [this] { return WorkerStore(db, messenger, data->workers()); };
        auto types = [this] { return OperationTypeStore(db, data->vidOper()); };
        auto groups = [this] { return GroupStore(db, *groupList); };
        const char* people = "select count(*) || '/' || string_agg(fio, ',') from "
                             "accounts_dep.person";
        const char* marks = "select count(*) || '/' || string_agg(s_caption, ',') from "
                            "cmn_gds_and_srv.gds_and_srv";
        const char* typeNames = "select count(*) || '/' || string_agg(vid, ',') from "
                                "accounts_dep.vid_oper";
        const char* groupNames = "select count(*) || '/' || string_agg(s_caption, ',') from "
                                 "cmn_classifier.item";
        return {
            {"new worker", "ФИО",
             [=, this](const QString& n) { return shown(workers().add(n, "Цех 1")); }, people},
            {"worker renamed", "ФИО",
             [=, this](const QString& n) {
                 return shown(workers().change(worker, {"Иванов И.И.", "Цех 1"}, n, {}));
             },
             people},
            {"worker's department", "Подразделение",
             [=, this](const QString& n) {
                 return shown(workers().change(otherWorker, {"Петров П.П.", "Цех 1"}, "Петров", n));
             },
             "select string_agg(s_staffpos_hl, ',') from accounts_dep.person"},
            {"new product", "Марка",
             [=, this](const QString& n) {
                 return ProductStore(*data).save({1, 0, n, "1", group});
             },
             marks},
            {"product renamed", "Марка",
             [=, this](const QString& n) {
                 return ProductStore(*data).save(
                     {2, product, n, "1", group, {"Дверь", "1", group}});
             },
             marks},
            {"new operation type", "Операция", [=](const QString& n) { return types().add(n); },
             typeNames},
            {"operation type renamed", "Операция",
             [=](const QString& n) { return types().rename(type, "Сварка", n); }, typeNames},
            {"new group", "Наименование", [=](const QString& n) { return groups().add(n, false); },
             groupNames},
            {"group renamed", "Наименование",
             [=](const QString& n) {
                 return groups().change(changedGroup, {"Окна", 0}, n, false);
             },
             groupNames},
        };
    }

    qint64 group = 0;
    std::unique_ptr<Dataset> groupList;
};

} // namespace

TEST_F(StoredTextTest, NamesTheServerCannotStoreAreRefusedBeforeAnythingIsWritten) {
    const QString nul(QChar(0));
    const QString letters254 = QString(254, QChar(0x0416)); // "Ж"
    struct Case {
        const char* what;
        QString name;
        bool cut; // refused as too long, otherwise for the character
    } cases[] = {
        {"the character inside", "Марка" + nul + "Нуль", false},
        {"the character at the end", "Марка" + nul, false},
        {"one character too long", letters254 + "Ж", true},
        {"far too long", QString(1000, QChar('x')), true},
    };
    for (const Writer& w : writers()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(w.what) + ", " + c.what);
            messenger.messages.clear();
            const QString before = scalar(QString::fromUtf8(w.count)).toString();
            const Outcome o = w.write(c.name);
            EXPECT_EQ(o.caption, "Ошибка");
            EXPECT_EQ(o.text, c.cut ? tooLongMessage(w.caption, 254)
                                    : unstorableCharacterMessage(w.caption));
            EXPECT_EQ(scalar(QString::fromUtf8(w.count)).toString(), before);
        }
    }
    EXPECT_EQ(tooLongMessage("ФИО", 254),
              "«ФИО»: значение не подходит. Введите не более 254 знаков.");
    EXPECT_EQ(tooLongMessage("ФИО", 21), "«ФИО»: значение не подходит. Введите не более 21 знака.");
    EXPECT_EQ(unstorableCharacterMessage("Марка"),
              "«Марка»: значение не подходит. Уберите из него недопустимый символ (код 0).");
}

TEST_F(StoredTextTest, ANameAsLongAsItsColumnIsStoredWhole) {
    // 254 characters as the server counts them: the last one lies outside
    // the basic plane and takes two places in the program's own text.
    // Each name differs from the others in its first letter, so none is taken.
    QChar first(0x0410); // "А"
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.what);
        const QString longest =
            QString(first) + QString(252, QChar(0x0416)) + QString::fromUtf8("😀");
        ASSERT_EQ(longest.size(), 255);
        first = QChar(first.unicode() + 1);
        const Outcome o = w.write(longest);
        ASSERT_TRUE(o.done()) << o.text.toStdString();
        EXPECT_TRUE(scalar(QString::fromUtf8(w.count)).toString().contains(longest));
    }
}

TEST_F(StoredTextTest, ColumnsWithoutAWidthTakeAnyLength) {
    run("alter table accounts_dep.vid_oper alter column vid type text");
    const QString name = QString(1000, QChar(0x0416));
    int id = 0;
    ASSERT_TRUE(OperationTypeStore(db, data->vidOper()).add(name, &id).done());
    EXPECT_EQ(scalar("select vid from accounts_dep.vid_oper where id = :i", {{"i", id}}), name);
    // The character stays refused whatever the width.
    EXPECT_EQ(OperationTypeStore(db, data->vidOper()).add("Резка" + QString(QChar(0))).text,
              unstorableCharacterMessage("Операция"));
}
