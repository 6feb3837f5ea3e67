// The reports by workers read through their stream, a few workers at a
// time: the same rows, values and order as the one statement over the
// period, on a plant with awkward names, codes and numbers; and the
// connection as the caller left it, however the stream ends.
#include "reports/summary_reports.h"
#include "reports/summary_stream.h"
#include "test_support.h"

using namespace tabel;
using namespace tabel::test;
using reportengine::ReportData;
using reportengine::Value;
using reports::ProductKind;
using reports::SummaryReport;

namespace {

const QDate kFrom(2026, 11, 1);
const QDate kTo(2026, 12, 1);

// A value as the comparison sees it: its kind, and its number or text
// exactly.
QString shown(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Empty:
        return QStringLiteral("∅");
    case Value::Kind::Number:
        return QStringLiteral("#") + v.asNumber().toString(10, QLocale::c());
    case Value::Kind::Text:
        return QStringLiteral("'") + v.asText() + QLatin1Char('\'');
    }
    return {};
}

QStringList rowsOf(const ReportData& data) {
    QStringList rows;
    for (int r = 0; r < data.rowCount(); ++r) {
        QStringList cells;
        for (const Value& v : data.row(r))
            cells << shown(v);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

QStringList variablesOf(const ReportData& data) {
    QStringList out;
    for (const char* name : {"title", "f_sum7_all", "f_sum8_all"})
        out << QStringLiteral("%1=%2").arg(QLatin1String(name), data.variable(name)
                                                                    ? shown(*data.variable(name))
                                                                    : QStringLiteral("none"));
    return out;
}

class SummaryStreamTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        if (HasFatalFailure())
            return;
        // Two groups of one name: their products of one name have one name
        // in the reports, and their rows share every ordering column but
        // the group.
        const int racks = addGroup("Стеллажи");
        const int racks2 = addGroup("Стеллажи");
        const int brackets = addGroup("Кронштейны");
        const int rackA = addProduct("СТ-1");
        const int rackB = addProduct("СТ-1");
        const int loose = addProduct("Без группы \"Б\"\\1"); // and no group
        const int bracket = addProduct("КР-2");
        setGroup(rackA, racks);
        setGroup(rackB, racks2);
        setGroup(bracket, brackets);
        const int welding = addVid("Сварка");
        const int painting = addVid("Покраска");
        const int weldA = addOper(rackA, welding, 0);
        const int weldB = addOper(rackB, welding, 0);
        const int paint = addOper(rackA, painting, 1);
        const int looseWeld = addOper(loose, welding, 1);
        const int bracketWeld = addOper(bracket, welding, 0);

        const int abramov = addWorker("Абрамов Иван Петрович");
        // Namesakes: ordered by their numbers.
        const int borisov1 = addWorker("Борисов Олег Ильич");
        const int borisov2 = addWorker("Борисов Олег Ильич");
        const int yolkin = addWorker("Ёлкин \"Пётр\"\tмл.\\2"); // escaped in JSON
        // Known to the registry by code only, written with a zero and a
        // blank, beside a code written exactly that names it; and codes
        // that are no numbers at all.
        const int byCode = 900000017;
        addPerson("Не тот Код", " 0900000017 ");
        addPerson("Власов Код Только", "900000017");
        addPerson("Договор", "ДОГ-17/а");
        addPerson("Пусто", "");
        // A worker whose registry entry has no name: printed last.
        const int nameless =
            scalar("insert into cmn_contractor.person (s_code, s_caption) values ('x', null) "
                   "returning id")
                .toInt();
        // A worker the registry does not know: no rows.
        const int unknown = 900000099;

        const QDate day(2026, 11, 10);
        for (int w : {abramov, borisov1, borisov2, yolkin, byCode, nameless, unknown}) {
            addRecord({.worker = w, .oper = weldA, .date = day, .qty = 3, .price = 12.5});
            addRecord({.worker = w, .oper = weldB, .date = day, .qty = 2, .price = 0.1});
        }
        addRecord({.worker = abramov,
                   .oper = paint,
                   .date = day.addDays(1),
                   .time = 0,
                   .qty = 4,
                   .brak = 1,
                   .price = 1.005,
                   .color = 3005});
        addRecord({.worker = abramov, .oper = looseWeld, .date = kFrom, .qty = 7, .price = 0.3});
        addRecord({.worker = borisov2, .oper = bracketWeld, .date = day, .qty = 1, .price = 3.25});
        // Big numbers, in and around the period.
        run("insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, data, smena, "
            "color, time, prize) values (:w, :i, :o, 987654.321, 123456789.125, 0, :d, 2, 7, "
            "12, 15)",
            {{"w", yolkin}, {"i", bracket}, {"o", bracketWeld}, {"d", day}});
        addRecord({.worker = yolkin, .oper = weldA, .date = kTo, .qty = 1000, .price = 1});
        addRecord({.worker = yolkin, .oper = weldA, .date = kFrom.addDays(-1), .qty = 1000});

        // Enough workers for several batches of the cursor, in the order of
        // their names, not of their numbers.
        run("with p as (insert into cmn_contractor.person (s_code, s_caption) "
            "select 'g' || n, 'Рабочий ' || lpad((100 - n)::text, 3, '0') "
            "from generate_series(1, 75) n returning id) "
            "insert into accounts_dep.smena (w_id, i_id, o_id, cena, kol_vo, brak, data, smena, "
            "color, time, prize) select p.id::integer, :i, :o, 2.5, 1 + p.id % 5, 0, :d, 1, 0, 1, "
            "0 from p",
            {{"i", rackA}, {"o", weldA}, {"d", day}});

        addFatigue(abramov, 7777, racks, day, 3, "100", 0);
        addFatigue(abramov, 7778, racks, day, 2, "150.50", 1);
        addFatigue(borisov2, 7777, brackets, day, 1, "50.125", 0);
        addFatigue(byCode, 7778, racks, day, 4, "25", 1);
        addFatigue(byCode, 7777, racks2, day, 1, "7", 0);
        addFatigue(yolkin, 7777, brackets, kTo, 10, "1000", 0); // outside
    }

    void setGroup(int product, int group) {
        run("update cmn_gds_and_srv.gds_and_srv set id_class_item = :g where id = :p",
            {{"g", group}, {"p", product}});
    }
};

TEST_F(SummaryStreamTest, GivesTheRowsOfTheStatementOverThePeriod) {
    const struct Case {
        const char* what;
        SummaryReport report;
        ProductKind kind;
        QDate from;
        QDate to;
        int fewestRows;
    } cases[] = {
        {"by workers, month", SummaryReport::Workers, ProductKind::All, kFrom, kTo, 80},
        {"by workers, finished", SummaryReport::Workers, ProductKind::Finished, kFrom, kTo, 80},
        {"by workers, blanks", SummaryReport::Workers, ProductKind::Blanks, kFrom, kTo, 2},
        {"by workers, year", SummaryReport::Workers, ProductKind::All, kTo.addYears(-1),
         kTo.addDays(1), 80},
        {"by workers, empty period", SummaryReport::Workers, ProductKind::All, kFrom, kFrom, 0},
        {"by workers, no work", SummaryReport::Workers, ProductKind::All, QDate(2020, 1, 1),
         QDate(2020, 2, 1), 0},
        {"detailed, month", SummaryReport::WorkersDetail, ProductKind::All, kFrom, kTo, 80},
        {"detailed, finished", SummaryReport::WorkersDetail, ProductKind::Finished, kFrom, kTo, 80},
        {"detailed, blanks", SummaryReport::WorkersDetail, ProductKind::Blanks, kFrom, kTo, 2},
        {"detailed, year", SummaryReport::WorkersDetail, ProductKind::All, kTo.addYears(-1),
         kTo.addDays(1), 80},
        {"detailed, empty period", SummaryReport::WorkersDetail, ProductKind::All, kFrom, kFrom, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const reports::SummaryRequest request{c.report, c.from, c.to, c.kind};
        const ReportData whole = reports::readSummaryReportAtOnce(db, request);
        ASSERT_GE(whole.rowCount(), c.fewestRows);

        reports::SummaryRowStream stream(db, request);
        EXPECT_EQ(stream.schema().rowCount(), 0);
        EXPECT_EQ(stream.schema().fields(), whole.fields());
        EXPECT_EQ(stream.schema().name(), whole.name());
        for (int f = 0; f < whole.fields().size(); ++f)
            EXPECT_EQ(stream.schema().isNumeric(f), whole.isNumeric(f)) << f;
        EXPECT_EQ(variablesOf(stream.schema()), variablesOf(whole));
        ReportData streamed = stream.schema();
        QList<Value> row;
        while (stream.next(row))
            streamed.addRow(row);
        EXPECT_FALSE(stream.next(row)) << "and no more after the last";
        EXPECT_EQ(rowsOf(streamed), rowsOf(whole));

        const ReportData read = reports::readSummaryReport(db, request);
        EXPECT_EQ(rowsOf(read), rowsOf(whole));
        EXPECT_EQ(variablesOf(read), variablesOf(whole));
    }
}

TEST_F(SummaryStreamTest, LeavesTheConnectionAsTheCallerHadIt) {
    const reports::SummaryRequest request{SummaryReport::WorkersDetail, kFrom, kTo,
                                          ProductKind::All};
    auto written = [&] {
        return scalar("select count(*) from accounts_dep.vid_oper where vid = 'Запись'").toInt();
    };
    const struct Case {
        const char* what;
        bool callerGuard;  // a transaction of the caller's around the stream
        int rowsTaken;     // -1: every row
        bool cursorClosed; // the cursor is closed under the stream: the next fetch fails
    } cases[] = {
        {"every row", false, -1, false},
        {"left after one row", false, 1, false},
        {"inside the caller's transaction, left after one row", true, 1, false},
        {"inside the caller's transaction, every row", true, -1, false},
        {"a fetch failed", false, -1, true},
        {"a fetch failed inside the caller's transaction", true, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = written();
        {
            std::optional<Transaction> caller;
            if (c.callerGuard) {
                caller.emplace(db);
                run("insert into accounts_dep.vid_oper (vid) values ('Запись')");
            }
            bool failed = false;
            {
                reports::SummaryRowStream stream(db, request);
                QList<Value> row;
                ASSERT_TRUE(stream.next(row));
                if (c.cursorClosed)
                    run("close all");
                try {
                    for (int taken = 1; c.rowsTaken < 0 || taken < c.rowsTaken; ++taken)
                        if (!stream.next(row))
                            break;
                } catch (const DbError&) {
                    failed = true;
                }
            }
            EXPECT_EQ(failed, c.cursorClosed);
            EXPECT_EQ(Transaction::active(db), c.callerGuard);
            if (caller)
                caller->commit();
        }
        EXPECT_FALSE(Transaction::active(db));
        EXPECT_EQ(written(), before + (c.callerGuard ? 1 : 0))
            << "the caller's write is kept, and only it";
        // Usable: a write of its own commits, and the report reads again.
        {
            Transaction tx(db);
            run("insert into accounts_dep.vid_oper (vid) values ('Потом')");
            tx.commit();
        }
        EXPECT_EQ(reports::readSummaryReport(db, request).rowCount(),
                  reports::readSummaryReportAtOnce(db, request).rowCount());
    }
}

} // namespace
