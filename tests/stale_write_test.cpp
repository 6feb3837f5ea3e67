// Every window that changes data writes only over what it showed: when a
// second workstation has written the row since, the change is refused and
// nothing of it is written.
#include "test_support.h"

#include "directories/group_store.h"
#include "directories/product_store.h"
#include "directories/worker_store.h"
#include "housekeeping/housekeeping_rules.h"
#include "operations/norm_store.h"
#include "operations/operation_store.h"
#include "operations/operation_type_store.h"
#include "records/record_saver.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <functional>

using namespace tabel;
using namespace tabel::test;

namespace {

class StaleWriteTest;

// One window's change. `open` reads the row as the window shows it and
// hands back the window's "Записать" over what it read; `elsewhere` is
// another workstation's write of the same row (:id the row); `stored` reads
// what the row holds.
struct StaleCase {
    const char* window;
    std::function<int(StaleWriteTest&)> make;
    std::function<std::function<Outcome()>(StaleWriteTest&, int id)> open;
    const char* elsewhere;
    std::function<QString(StaleWriteTest&, int id)> stored;
    const char* refusal;
};

void PrintTo(const StaleCase& c, std::ostream* os) {
    *os << c.window;
}

class StaleWriteTest : public DbTest, public ::testing::WithParamInterface<StaleCase> {
public:
    // For the cases' steps.
    using DbTest::addOper;
    using DbTest::addProduct;
    using DbTest::addRecord;
    using DbTest::addVid;
    using DbTest::addWorker;
    using DbTest::data;
    using DbTest::db;
    using DbTest::messenger;
    using DbTest::recordInput;
    using DbTest::scalar;

    QString row(const QString& sql, int id) {
        QSqlQuery q = tabel::exec(db, sql, {{"id", id}});
        QStringList out;
        if (q.next())
            for (int c = 0; c < q.record().count(); ++c)
                out << q.value(c).toString();
        return out.join('|');
    }
    // The current row of a list, found by its id, as the window reads it.
    static void standOn(Dataset& list, int id) {
        list.reopen();
        ASSERT_TRUE(list.locate("id", id));
    }
    int group() {
        return scalar("insert into cmn_classifier.item (id_level, s_caption, b_excluded) "
                      "values (2, 'Двери', 0) returning id")
            .toInt();
    }
    int operation() {
        const int op = addOper(addProduct("Балка"), addVid("Покраска"));
        addNorm(op, 2.5);
        return op;
    }
    // A refusal the worker store showed, as an outcome.
    Outcome shown(bool written) { return shownOutcome(messenger, written); }
};

const StaleCase kCases[] = {
    {"workers", [](StaleWriteTest& t) { return t.addWorker("Иванов И.И.", "Цех 1"); },
     [](StaleWriteTest& t, int id) -> std::function<Outcome()> {
         Dataset& list = t.data->workers();
         t.standOn(list, id);
         const ShownWorker shown{list.current("fio").toString(),
                                 list.current("s_staffpos_hl").toString()};
         return [&t, id, shown] {
             WorkerStore store(t.db, t.messenger, t.data->workers());
             return t.shown(store.change(id, shown, "Петров П.П.", QString("Цех 2")));
         };
     },
     "update accounts_dep.person set fio = 'Сидоров С.С.' where id = :id",
     [](StaleWriteTest& t, int id) {
         return t.row("select fio, s_staffpos_hl from accounts_dep.person where id = :id", id);
     },
     kWorkerChanged},
    {"products",
     [](StaleWriteTest& t) {
         const qint64 g = t.group();
         return t
             .scalar("insert into cmn_gds_and_srv.gds_and_srv (s_caption, s_description, "
                     "id_msm_bs, massa, id_class_item) values ('Дверь', '', 6, 1.5, :g) "
                     "returning id",
                     {{"g", g}})
             .toInt();
     },
     [](StaleWriteTest& t, int id) -> std::function<Outcome()> {
         Dataset& list = t.data->izdel();
         t.standOn(list, id);
         ProductInput in{2, id, "Окно", "2", list.current("id_class_item").toLongLong()};
         in.shown = {list.current("marka"), list.current("massa"), list.current("id_class_item")};
         return [&t, in] { return ProductStore(*t.data).save(in); };
     },
     "update cmn_gds_and_srv.gds_and_srv set massa = 7.25 where id = :id",
     [](StaleWriteTest& t, int id) {
         return t.row("select s_caption, massa::text from cmn_gds_and_srv.gds_and_srv "
                      "where id = :id",
                      id);
     },
     kProductChanged},
    {"groups", [](StaleWriteTest& t) { return t.group(); },
     [](StaleWriteTest& t, int id) -> std::function<Outcome()> {
         auto list = std::shared_ptr<Dataset>(GroupStore::makeList(t.db));
         t.standOn(*list, id);
         const ShownGroup shown{list->current("s_caption"), list->current("b_excluded")};
         return [&t, id, shown, list] {
             return GroupStore(t.db, *list).change(id, shown, "Окна", false);
         };
     },
     "update cmn_classifier.item set b_excluded = 1 where id = :id",
     [](StaleWriteTest& t, int id) {
         return t.row("select s_caption, b_excluded from cmn_classifier.item where id = :id", id);
     },
     kGroupChanged},
    {"operations",
     [](StaleWriteTest& t) {
         t.addVid("Резка");
         return t.operation();
     },
     [](StaleWriteTest& t, int id) -> std::function<Outcome()> {
         Dataset& list = t.data->oper();
         t.standOn(list, id);
         OperationInput in;
         in.mode = 2;
         in.operationId = id;
         in.productId = list.current("i_id").toInt();
         in.productText = list.current("marka").toString();
         in.typeId = list.current("oper_vid").toInt();
         in.typeText = list.current("vid").toString();
         in.kind = 1;
         in.shown = {list.current("i_id"), list.current("oper_vid"), list.current("naimen")};
         return [&t, in] { return OperationStore(t.db).save(in).outcome; };
     },
     "update accounts_dep.oper set vid = (select id from accounts_dep.vid_oper where vid = "
     "'Резка') "
     "where id = :id",
     [](StaleWriteTest& t, int id) {
         return t.row("select i_id, vid, naimen from accounts_dep.oper where id = :id", id);
     },
     kOperationChanged},
    {"operation_types", [](StaleWriteTest& t) { return t.addVid("Сварка"); },
     [](StaleWriteTest& t, int id) -> std::function<Outcome()> {
         Dataset& list = t.data->vidOper();
         t.standOn(list, id);
         const QString shown = list.current("vid").toString();
         return [&t, id, shown] {
             return OperationTypeStore(t.db, t.data->vidOper()).rename(id, shown, "Резка");
         };
     },
     "update accounts_dep.vid_oper set vid = 'Сварка ручная' where id = :id",
     [](StaleWriteTest& t, int id) {
         return t.row("select vid from accounts_dep.vid_oper where id = :id", id);
     },
     kOperationTypeChanged},
    {"norms", [](StaleWriteTest& t) { return t.operation(); },
     [](StaleWriteTest& t, int op) -> std::function<Outcome()> {
         const Norm shown = NormStore(t.db).read(op).at(0);
         return [&t, op, shown] {
             return NormStore(t.db).store(op, shown, NormStore::Field::Price, "4,4").outcome;
         };
     },
     "update accounts_dep.norm set price = 9.9 where o_id = :id",
     [](StaleWriteTest& t, int op) {
         return t.row("select norma, price::numeric, prize from accounts_dep.norm "
                      "where o_id = :id",
                      op);
     },
     kNormChanged},
    {"production_records",
     [](StaleWriteTest& t) {
         return t.addRecord({t.addWorker("Иванов И.И."), t.operation(), QDate(2024, 3, 5)});
     },
     [](StaleWriteTest& t, int id) -> std::function<Outcome()> {
         Dataset& list = t.data->shiftList(1);
         list.setParam("data", QDate(2024, 3, 5));
         t.standOn(list, id);
         RecordInput in = t.recordInput(list.current("w_id").toInt(), list.current("o_id").toInt(),
                                        QDate(2024, 3, 5), "30");
         in.mode = 2;
         in.recordId = id;
         in.version = list.current("row_version").toString();
         return [&t, in] { return RecordSaver(t.db).save(in, 1, in.date).outcome; };
     },
     "update accounts_dep.smena set kol_vo = 77 where id = :id",
     [](StaleWriteTest& t, int id) {
         return t.row("select w_id, o_id, kol_vo, time from accounts_dep.smena where id = :id", id);
     },
     kRecordChanged},
    // Housekeeping entries: the change dialog over the entry as the
    // housekeeping journal lists it.
    {"housekeeping",
     [](StaleWriteTest& t) {
         EntryInput in;
         in.workerId = t.addWorker("Сидоров С.С.");
         in.groupId = t.scalar("insert into cmn_classifier.item (id_classifier, id_level, "
                               "id_parent, s_caption, b_excluded) values (1, 2, 1, 'Стенды', 0) "
                               "returning id")
                          .toLongLong();
         in.normPrice = "150";
         in.hours = "8";
         in.date = QDate(2024, 5, 14);
         int id = 0;
         EXPECT_TRUE(HousekeepingRules(t.db).save(in, &id).done());
         return id;
     },
     [](StaleWriteTest& t, int id) -> std::function<Outcome()> {
         std::unique_ptr<Dataset> list = HousekeepingRules::makeList(t.db);
         list->setParam("d_date", QDate(2024, 5, 14));
         list->open();
         EntryInput in;
         in.mode = 1;
         in.entryId = id;
         for (int r = 0; r < list->count(); ++r)
             if (list->value(r, "id").toInt() == id)
                 in.version = list->value(r, "row_version").toString();
         in.workerId =
             t.scalar("select id_p from accounts_dep.fatigue where id = :id", {{"id", id}}).toInt();
         in.groupId =
             t.scalar("select id_nom from accounts_dep.fatigue where id = :id", {{"id", id}})
                 .toLongLong();
         in.normPrice = "150";
         in.hours = "5";
         in.date = QDate(2024, 5, 14);
         return [&t, in] { return HousekeepingRules(t.db).save(in); };
     },
     "update accounts_dep.fatigue set cnt = 3 where id = :id",
     [](StaleWriteTest& t, int id) {
         return t.row("select id_p, cnt, price from accounts_dep.fatigue where id = :id", id);
     },
     kEntryChanged},
};

} // namespace

TEST_P(StaleWriteTest, AWriteOverARowChangedElsewhereIsRefusedAndWritesNothing) {
    const StaleCase& c = GetParam();
    const int id = c.make(*this);
    const auto write = c.open(*this, id);
    tabel::exec(otherWorkstation(), QString::fromUtf8(c.elsewhere), {{"id", id}});
    const QString theirs = c.stored(*this, id);

    const Outcome refused = write();
    EXPECT_EQ(refused.caption, "Ошибка");
    EXPECT_EQ(refused.text, QString::fromUtf8(c.refusal));
    EXPECT_EQ(c.stored(*this, id), theirs);

    // Opened again, the window shows what is there now and writes over it.
    messenger.messages.clear();
    const Outcome done = c.open(*this, id)();
    EXPECT_TRUE(done.done()) << done.text.toStdString();
    EXPECT_NE(c.stored(*this, id), theirs);
}

INSTANTIATE_TEST_SUITE_P(Windows, StaleWriteTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.window); });
