#include "test_support.h"

#include "db/closed_month_checks.h"
#include "db/numbers.h"
#include "journal/journal_actions.h"
#include "journal/journal_commands.h"
#include "records/brigade_job.h"
#include "records/brigade_split.h"
#include "timesheets/rebuilds.h"

#include <QSqlQuery>
#include <numeric>

using namespace tabel;
using namespace tabel::test;

namespace {

// ---- The split alone --------------------------------------------------------

struct SplitCase {
    const char* name;
    qint64 total; // thousandths
    qint64 rejects;
    std::vector<BrigadeWeight> weights;
    std::vector<qint64> quantities;
    std::vector<qint64> rejected;
};

TEST(BrigadeSplitTest, SharesAddUpToTheJobExactly) {
    const SplitCase cases[] = {
        {"equal КТУ", 9000, 0, {{8, 100}, {8, 100}, {8, 100}}, {3000, 3000, 3000}, {0, 0, 0}},
        {"unequal hours", 12000, 0, {{8, 100}, {4, 100}}, {8000, 4000}, {0, 0}},
        {"unequal КТУ", 10000, 0, {{8, 150}, {8, 100}}, {6000, 4000}, {0, 0}},
        // 3333.33 each: the one unit left goes to the earliest on the tie.
        {"total that does not divide",
         10000,
         0,
         {{8, 100}, {8, 100}, {8, 100}},
         {3334, 3333, 3333},
         {0, 0, 0}},
        // 333.33 and 666.67: the larger remainder wins over the earlier member.
        {"largest remainder", 1000, 0, {{8, 50}, {8, 100}}, {333, 667}, {0, 0}},
        {"a zero weight",
         10000,
         3,
         {{8, 100}, {0, 100}, {8, 0}, {8, 100}},
         {5000, 0, 0, 5000},
         {2, 0, 0, 1}},
        {"rejects", 7000, 5, {{8, 100}, {8, 100}, {8, 100}}, {2334, 2333, 2333}, {2, 2, 1}},
        {"one member", 3333, 1, {{6, 125}}, {3333}, {1}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const BrigadeSplit split = splitBrigadeJob(c.total, c.rejects, c.weights);
        ASSERT_TRUE(split.ok()) << split.refusal.toStdString();
        std::vector<qint64> q, r;
        for (const BrigadeShare& s : split.shares) {
            q.push_back(s.quantity);
            r.push_back(s.rejects);
        }
        EXPECT_EQ(q, c.quantities);
        EXPECT_EQ(r, c.rejected);
        EXPECT_EQ(std::accumulate(q.begin(), q.end(), qint64(0)), c.total);
        EXPECT_EQ(std::accumulate(r.begin(), r.end(), qint64(0)), c.rejects);
    }
}

TEST(BrigadeSplitTest, AllWeightsZeroIsRefused) {
    const BrigadeSplit split = splitBrigadeJob(5000, 0, {{0, 100}, {8, 0}});
    EXPECT_FALSE(split.ok());
    EXPECT_EQ(split.refusal, QString::fromUtf8(kBrigadeNoWeight));
    EXPECT_TRUE(split.shares.empty());
}

TEST(BrigadeSplitTest, RejectsAboveAMembersShareAreRefused) {
    // 1 piece, 1 rejected, among three equal members: the first would get
    // 0.334 pieces and the whole reject, a pay below zero.
    const BrigadeSplit split = splitBrigadeJob(1000, 1, {{8, 100}, {8, 100}, {8, 100}});
    EXPECT_FALSE(split.ok());
    EXPECT_EQ(split.refusal,
              QString::fromUtf8(kBrigadeRejectsAboveShare).arg(1).arg(1).arg("0,334"));
    EXPECT_TRUE(split.shares.empty());
    // Rejects equal to a share are a member's whole output rejected: allowed.
    EXPECT_TRUE(splitBrigadeJob(3000, 3, {{8, 100}, {8, 100}, {8, 100}}).ok());
}

TEST(BrigadeSplitTest, PaysAddUpToTheJobsPay) {
    // 10 pieces, 1 rejected, at 1.2345 among three: each pay is rounded as the
    // journal rounds a record's sum, and the job's total is the sum of them.
    BrigadePlan plan;
    BrigadeJobInput in;
    in.operationText = "М; сварка; Готовая продукция";
    in.quantity = "10";
    in.rejects = "1";
    in.finalPrice = 1.2345;
    in.members = {{1, "А", "8", "1"}, {2, "Б", "8", "1"}, {3, "В", "8", "1"}};
    ASSERT_TRUE(planBrigadeJob(in, plan).done());
    // (3.334 − 1) × 1.2345 = 2.881323; 3.333 × 1.2345 = 4.1145885.
    EXPECT_EQ(plan.pay, (std::vector<qint64>{288, 411, 411}));
    EXPECT_EQ(plan.totalPay, 288 + 411 + 411);
    EXPECT_EQ(kopecksText(plan.totalPay), "11.10");
    EXPECT_EQ(kopecksText(-5), "-0.05");
}

TEST(BrigadeSplitTest, TypedNumbersAreRefusedNotTrimmed) {
    EXPECT_EQ(quantityThousandths("3,333"), 3333);
    EXPECT_EQ(quantityThousandths("12"), 12000);
    EXPECT_EQ(quantityThousandths("1,2345"), std::nullopt);
    EXPECT_EQ(quantityThousandths("-1"), std::nullopt);
    EXPECT_EQ(ktuHundredths("9,99"), 999);
    EXPECT_EQ(ktuHundredths("1"), 100);
    EXPECT_EQ(ktuHundredths("10"), std::nullopt);
    EXPECT_EQ(ktuHundredths("1,005"), std::nullopt);
    BrigadePlan plan;
    BrigadeJobInput in;
    in.operationText = "М; сварка; Готовая продукция";
    in.quantity = "10";
    in.rejects = "0";
    in.members = {{1, "Иванов", "8", "1,5.0"}};
    const Outcome o = planBrigadeJob(in, plan);
    EXPECT_FALSE(o.done());
    EXPECT_TRUE(o.text.contains("Иванов")) << o.text.toStdString();
}

// ---- The job in the database --------------------------------------------------

const QDate kDay(2026, 11, 16);

class BrigadeJobTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        for (const char* fio : {"Антонов А.А.", "Борисов Б.Б.", "Васильев В.В.", "Григорьев Г.Г."})
            workers.push_back(addWorker(QString::fromUtf8(fio)));
        product = addProduct("Изделие-1");
        oper = addOper(product, addVid("сборка"));
        addNorm(oper, 1.25);
        otherOper = addOper(product, addVid("упаковка"));
        addNorm(otherOper, 2);
    }

    BrigadeJobInput job(std::vector<std::pair<int, QString>> hoursAndKtu,
                        const QString& quantity = "10", const QString& rejects = "1") {
        BrigadeJobInput in;
        in.date = kDay;
        in.shift = 1;
        in.productId = product;
        in.operationId = oper;
        in.finalPrice = 1.25;
        in.operationText = "Изделие-1; сборка; Готовая продукция";
        in.quantity = quantity;
        in.rejects = rejects;
        for (std::size_t i = 0; i < hoursAndKtu.size(); ++i)
            if (hoursAndKtu[i].first >= 0)
                in.members.push_back({workers[i], QStringLiteral("Работник %1").arg(i + 1),
                                      QString::number(hoursAndKtu[i].first),
                                      hoursAndKtu[i].second});
        return in;
    }

    QString version(int jobId) {
        return scalar("select xmin::text from accounts_dep.brigade_job where id = :id",
                      {{"id", jobId}})
            .toString();
    }

    // "worker:kol_vo:brak:time" of the job's records, by worker.
    QStringList records(int jobId) {
        QSqlQuery q = tabel::exec(db,
                                  "select w_id, kol_vo::text, brak, time from accounts_dep.smena "
                                  "where id_doc = :j order by w_id",
                                  {{"j", jobId}});
        QStringList out;
        while (q.next())
            out << QStringLiteral("%1:%2:%3:%4")
                       .arg(workers.indexOf(q.value(0).toInt()) + 1)
                       .arg(plainDecimal(q.value(1).toString()))
                       .arg(q.value(2).toInt())
                       .arg(q.value(3).toInt());
        return out;
    }

    void expectCellsAsRebuilt() {
        const auto differences = checkMonth(db, SheetKind::Shifts, kDay);
        EXPECT_TRUE(differences.empty()) << differences.size() << " days differ";
    }

    QList<int> workers;
    int product = 0;
    int oper = 0;
    int otherOper = 0;
};

TEST_F(BrigadeJobTest, SaveChangeAndDeleteKeepTheDayCellsAsARebuild) {
    // A single record of the first worker on the same day stays as it is.
    const int single = addRecord({workers[0], otherOper, kDay, 1, 2, 5});
    const QString singleVersion =
        scalar("select xmin::text from accounts_dep.smena where id = :id", {{"id", single}})
            .toString();
    BrigadeJobs jobs(db);

    auto saved = jobs.save(job({{8, "1"}, {6, "1,5"}, {4, "1"}}), kDay);
    ASSERT_TRUE(saved.saved()) << saved.outcome.text.toStdString();
    // Weights 800, 900, 400 of 2100: 3.80952, 4.28571, 1.90476; the two
    // thousandths left go to the largest remainders. Rejects 0, 1, 0.
    EXPECT_EQ(records(saved.jobId), (QStringList{"1:3.809:0:8", "2:4.286:1:6", "3:1.905:0:4"}));
    EXPECT_EQ(dayCell(workers[0], 1, kDay).toInt(), 10);
    EXPECT_EQ(dayCell(workers[1], 1, kDay).toInt(), 6);
    expectCellsAsRebuilt();

    // Worker 2 leaves, worker 4 joins, worker 1 works longer.
    auto changed = jobs.save(
        [&] {
            BrigadeJobInput in = job({{10, "1"}, {-1, ""}, {4, "1"}, {6, "2"}}, "12", "0");
            in.jobId = saved.jobId;
            in.version = version(saved.jobId);
            return in;
        }(),
        kDay);
    ASSERT_TRUE(changed.saved()) << changed.outcome.text.toStdString();
    EXPECT_EQ(records(saved.jobId), (QStringList{"1:4.615:0:10", "3:1.846:0:4", "4:5.539:0:6"}));
    EXPECT_FALSE(dayCell(workers[1], 1, kDay).isValid()); // nothing left of worker 2's row
    EXPECT_EQ(dayCell(workers[0], 1, kDay).toInt(), 12);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_member where job_id = :j",
                     {{"j", saved.jobId}})
                  .toInt(),
              3);
    expectCellsAsRebuilt();

    const auto removed = jobs.remove(saved.jobId, version(saved.jobId));
    ASSERT_TRUE(removed.saved()) << removed.outcome.text.toStdString();
    EXPECT_TRUE(records(saved.jobId).isEmpty());
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_member").toInt(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_job").toInt(), 0);
    EXPECT_EQ(dayCell(workers[0], 1, kDay).toInt(), 2);
    EXPECT_FALSE(dayCell(workers[2], 1, kDay).isValid());
    expectCellsAsRebuilt();
    EXPECT_EQ(scalar("select xmin::text from accounts_dep.smena where id = :id", {{"id", single}})
                  .toString(),
              singleVersion);
}

TEST_F(BrigadeJobTest, OneMemberRefusedAsADuplicateLeavesNothingWritten) {
    addRecord({workers[2], oper, kDay, 1, 3, 7});
    const int recordsBefore = scalar("select count(*) from accounts_dep.smena").toInt();
    const QVariant cellBefore = dayCell(workers[2], 1, kDay);

    const auto result = BrigadeJobs(db).save(job({{8, "1"}, {8, "1"}, {8, "1"}}), kDay);
    EXPECT_EQ(result.status, BrigadeJobs::Status::Duplicate);
    EXPECT_TRUE(result.outcome.text.contains("Работник 3")) << result.outcome.text.toStdString();
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena").toInt(), recordsBefore);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_job").toInt(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_member").toInt(), 0);
    EXPECT_FALSE(dayCell(workers[0], 1, kDay).isValid());
    EXPECT_EQ(dayCell(workers[2], 1, kDay), cellBefore);
}

TEST_F(BrigadeJobTest, AMembersRecordAloneIsRefused) {
    const auto saved = BrigadeJobs(db).save(job({{8, "1"}, {8, "1"}}), kDay);
    ASSERT_TRUE(saved.saved());
    const int record =
        scalar("select min(id) from accounts_dep.smena where id_doc = :j", {{"j", saved.jobId}})
            .toInt();
    RecordInput in = recordInput(workers[0], oper, kDay, "100", "8");
    in.mode = 2;
    in.recordId = record;
    in.version =
        scalar("select xmin::text from accounts_dep.smena where id = :id", {{"id", record}})
            .toString();
    const auto changed = RecordSaver(db).save(in, 1, kDay);
    EXPECT_FALSE(changed.saved());
    EXPECT_EQ(changed.outcome.text, brigadeRecordText(saved.jobId));
    EXPECT_THROW(deleteRecord(db, record), Refused);
    EXPECT_EQ(records(saved.jobId), (QStringList{"1:5:1:8", "2:5:0:8"}));
}

TEST_F(BrigadeJobTest, TheJournalDeletesTheWholeJobAfterAQuestionNamingIt) {
    const auto saved = BrigadeJobs(db).save(job({{8, "1"}, {8, "1"}, {8, "1"}}, "10", "0"), kDay);
    ASSERT_TRUE(saved.saved());
    ctx->state.pickedDate = kDay;
    data->openShiftLists(kDay);
    Dataset& list = ctx->currentShiftList();
    ASSERT_FALSE(list.isEmpty());
    // The journal shows the share as stored, decimals included.
    EXPECT_EQ(plainDecimal(list.current("kol_vo").toString()), "3.334");
    messenger.answer = true;
    EXPECT_TRUE(JournalActions(*ctx).deleteCurrent());
    ASSERT_FALSE(messenger.messages.isEmpty());
    EXPECT_TRUE(messenger.messages.first().text.contains(
        QStringLiteral("бригадный наряд № %1").arg(saved.jobId)));
    EXPECT_EQ(scalar("select count(*) from accounts_dep.smena").toInt(), 0);
    EXPECT_EQ(scalar("select count(*) from accounts_dep.brigade_job").toInt(), 0);
}

TEST_F(BrigadeJobTest, AChangeOfAJobWrittenElsewhereIsRefused) {
    BrigadeJobs jobs(db);
    const auto saved = jobs.save(job({{8, "1"}, {8, "1"}}), kDay);
    ASSERT_TRUE(saved.saved());
    const QString read = version(saved.jobId);
    BrigadeJobInput first = job({{8, "2"}, {8, "1"}});
    first.jobId = saved.jobId;
    first.version = read;
    ASSERT_TRUE(jobs.save(first, kDay).saved());
    BrigadeJobInput second = job({{4, "1"}, {8, "1"}});
    second.jobId = saved.jobId;
    second.version = read;
    EXPECT_EQ(jobs.save(second, kDay).status, BrigadeJobs::Status::Stale);
    EXPECT_EQ(jobs.remove(saved.jobId, read).status, BrigadeJobs::Status::Stale);
    EXPECT_EQ(records(saved.jobId), (QStringList{"1:6.667:1:8", "2:3.333:0:8"}));
}

TEST_F(BrigadeJobTest, AClosedMonthRefusesTheJobsSaveChangeAndDeletion) {
    BrigadeJobs jobs(db);
    const auto saved = jobs.save(job({{8, "1"}, {8, "1"}}), kDay);
    ASSERT_TRUE(saved.saved());
    run("select accounts_dep.close_month(2026, 11, null)");
    const QString closedText = closedMonthText(202611);

    const auto fresh = jobs.save(job({{8, "1"}, {-1, ""}, {8, "1"}}, "4", "0"), kDay);
    EXPECT_EQ(fresh.status, BrigadeJobs::Status::Closed);
    EXPECT_EQ(fresh.outcome.text, closedText);
    BrigadeJobInput change = job({{8, "3"}, {8, "1"}});
    change.jobId = saved.jobId;
    change.version = version(saved.jobId);
    const auto changed = jobs.save(change, kDay);
    EXPECT_EQ(changed.status, BrigadeJobs::Status::Closed);
    EXPECT_EQ(changed.outcome.text, closedText);
    const auto removed = jobs.remove(saved.jobId);
    EXPECT_EQ(removed.status, BrigadeJobs::Status::Closed);
    EXPECT_EQ(records(saved.jobId), (QStringList{"1:5:1:8", "2:5:0:8"}));
    // The database refuses the job's own tables to every client too.
    EXPECT_THROW(run("update accounts_dep.brigade_member set hours = 1"), DbError);
    EXPECT_THROW(run("delete from accounts_dep.brigade_job"), DbError);
}

TEST_F(BrigadeJobTest, TheHistoryRecordsTheJobsTables) {
    BrigadeJobs jobs(db);
    const auto saved = jobs.save(job({{8, "1"}, {8, "1"}}), kDay);
    ASSERT_TRUE(saved.saved());
    BrigadeJobInput change = job({{8, "1,25"}, {8, "1"}}, "11");
    change.jobId = saved.jobId;
    change.version = version(saved.jobId);
    ASSERT_TRUE(jobs.save(change, kDay).saved());
    ASSERT_TRUE(jobs.remove(saved.jobId).saved());
    QSqlQuery q = tabel::exec(db, "select table_name || ':' || action || ':' || "
                                  "coalesce(worker_id::text, '-') || ':' || "
                                  "coalesce(new_values ->> 'ktu', new_values ->> 'kol_vo', '') "
                                  "from accounts_dep.change_log "
                                  "where table_name like 'brigade%' order by id");
    QStringList rows;
    while (q.next())
        rows << q.value(0).toString();
    const QString w1 = QString::number(workers[0]);
    const QString w2 = QString::number(workers[1]);
    EXPECT_EQ(
        rows,
        (QStringList{"brigade_job:insert:-:10.000", "brigade_member:insert:" + w1 + ":1.00",
                     "brigade_member:insert:" + w2 + ":1.00", "brigade_job:update:-:11.000",
                     "brigade_member:update:" + w1 + ":1.25", "brigade_member:delete:" + w1 + ":",
                     "brigade_member:delete:" + w2 + ":", "brigade_job:delete:-:"}));
}

} // namespace
