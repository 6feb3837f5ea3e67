#include "db/sql.h"
#include "test_support.h"

#include <QSqlDatabase>
#include <barrier>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace tabel;

namespace {

class TransactionTest : public tabel::test::DbTest {
protected:
    void add(const QString& name) {
        run("insert into accounts_dep.vid_oper (vid) values (:v)", {{"v", name}});
    }
    void fail() { run("insert into accounts_dep.no_such_table values (1)"); }
    // What our inserts left in the table, in the order written, as `db`
    // or another workstation sees it.
    static std::string stored(const QSqlDatabase& on) {
        return tabel::scalar(on, "select coalesce(string_agg(vid, ',' order by id), '') "
                                 "from accounts_dep.vid_oper where id < 7777")
            .toString()
            .toStdString();
    }
    std::string stored() { return stored(db); }
};

TEST_F(TransactionTest, AnInnerCommitLeavesTheRealCommitToTheOutermostGuard) {
    const QSqlDatabase other = otherWorkstation();
    // How the outer guard ends: asked to roll back, or by an exception.
    const std::function<void(Transaction&)> ends[] = {
        [](Transaction& tx) { tx.rollback(); },
        [](Transaction&) { throw DbError("прервано"); },
    };
    for (const auto& end : ends) {
        try {
            Transaction outer(db);
            add("до");
            {
                Transaction inner(db);
                add("внутри");
                inner.commit();
            }
            EXPECT_EQ(stored(other), "") << "the inner commit committed the transaction";
            add("после");
            end(outer);
        } catch (const DbError&) {
        }
        EXPECT_EQ(stored(), "");
        EXPECT_FALSE(Transaction::active(db));
    }
    // The outermost commit takes what the inner guard handed over.
    {
        Transaction outer(db);
        {
            Transaction inner(db);
            add("внутри");
            inner.commit();
        }
        outer.commit();
    }
    EXPECT_EQ(stored(other), "внутри");
}

TEST_F(TransactionTest, AnInnerRollbackUndoesOnlyItsOwnPart) {
    // How the inner guard ends without committing: asked to, by leaving its
    // scope unasked, or by a failing statement whose exception the outer
    // code catches.
    const std::function<void(Transaction&)> ends[] = {
        [](Transaction& tx) { tx.rollback(); },
        [](Transaction&) {},
        [this](Transaction&) { fail(); },
    };
    int round = 0;
    for (const auto& end : ends) {
        const QString tag = QString::number(++round);
        {
            Transaction outer(db);
            add("до" + tag);
            try {
                Transaction inner(db);
                add("внутри" + tag);
                end(inner);
            } catch (const DbError&) {
            }
            EXPECT_TRUE(Transaction::active(db));
            add("после" + tag);
            outer.commit();
        }
        EXPECT_FALSE(Transaction::active(db));
    }
    EXPECT_EQ(stored(), "до1,после1,до2,после2,до3,после3");
}

TEST_F(TransactionTest, GuardsNestSeveralLevelsDeep) {
    {
        Transaction first(db);
        add("1");
        {
            Transaction second(db);
            add("2");
            {
                Transaction third(db);
                add("3");
                third.commit();
            }
            add("2б");
            second.rollback(); // takes the third level's work with it
        }
        {
            Transaction again(db);
            add("4");
            again.commit();
        }
        first.commit();
    }
    EXPECT_EQ(stored(), "1,4");
}

TEST_F(TransactionTest, AFailureThatNoInnerRollbackUndidStopsTheCommit) {
    // The driver undoes only the failing statement, so without the guard the
    // work around it would be committed half done.
    struct Case {
        const char* where;
        std::function<void()> body;
    } cases[] = {
        {"outer part",
         [this] {
             add("до");
             try {
                 fail();
             } catch (const DbError&) {
             }
             add("после");
         }},
        {"inner part, inner committed anyway",
         [this] {
             add("до");
             try {
                 Transaction inner(db);
                 add("внутри");
                 try {
                     fail();
                 } catch (const DbError&) {
                 }
                 inner.commit(); // refuses: rolls its part back and throws
             } catch (const DbError&) {
             }
             add("после");
             // The inner part is undone, so the rest may still be committed.
             Transaction check(db);
             check.commit();
         }},
        {"outer part, then a clean inner guard",
         [this] {
             try {
                 fail();
             } catch (const DbError&) {
             }
             Transaction inner(db);
             add("внутри");
             inner.commit();
         }},
    };
    for (const Case& c : cases) {
        run("delete from accounts_dep.vid_oper where id < 7777");
        bool threw = false;
        try {
            Transaction outer(db);
            c.body();
            outer.commit();
        } catch (const DbError& e) {
            threw = true;
            EXPECT_TRUE(e.text().contains("no_such_table")) << c.where << e.what();
        }
        const bool innerFailureUndone = QString(c.where).startsWith("inner");
        EXPECT_EQ(threw, !innerFailureUndone) << c.where;
        EXPECT_EQ(stored(), innerFailureUndone ? "до,после" : "") << c.where;
        EXPECT_FALSE(Transaction::active(db)) << c.where;
    }
}

// Each workstation of the race tests is a thread with its own connection; the
// guards' bookkeeping of all connections is shared, and must stay whole when
// connections of several threads meet it at once, here by failing to open
// in step.
TEST(TransactionSessions, ConnectionsOfSeveralThreadsKeepTheirOwnState) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 1000;
    std::vector<int> refused(kThreads, 0), leftActive(kThreads, 0);
    std::barrier step(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &refused, &leftActive, &step] {
            for (int i = 0; i < kRounds; ++i) {
                const QString name = QStringLiteral("sessions-%1-%2").arg(t).arg(i);
                {
                    QSqlDatabase c = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
                    c.setDatabaseName(QStringLiteral("DRIVER={No Such Driver}"));
                    step.arrive_and_wait();
                    try {
                        tabel::exec(c, QStringLiteral("select 1"));
                    } catch (const DbError&) {
                        ++refused[t];
                    }
                    leftActive[t] += Transaction::active(c) ? 1 : 0;
                }
                QSqlDatabase::removeDatabase(name);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(refused, std::vector<int>(kThreads, kRounds));
    EXPECT_EQ(leftActive, std::vector<int>(kThreads, 0));
}

} // namespace
