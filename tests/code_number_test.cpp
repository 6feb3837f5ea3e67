#include "db/statements.h"
#include "db/worker_names.h"
#include "test_support.h"

#include <QSqlQuery>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kDay(2025, 11, 3);

// The rule as the statements wrote it out in full, of the code `c`, before
// the database had a function for it.
const char* kWrittenOutRule =
    "(case when ascii(c) in (9, 10, 11, 12, 13, 32, 160, 48) or ascii(right(c, 1)) in (9, 10, "
    "11, 12, 13, 32, 160) then ltrim(btrim(c, chr(9) || chr(10) || chr(11) || chr(12) || "
    "chr(13) || ' ' || chr(160)), '0') else c end)";

class CodeNumberTest : public DbTest {
protected:
    // Every row of the four shift lists and of the worker names of the day's
    // records, as text, in the statements' own order.
    QStringList everythingListed() {
        QStringList out;
        data->openShiftLists(kDay);
        for (int s = 1; s <= 4; ++s)
            for (int r = 0; r < data->shiftList(s).count(); ++r)
                out << QStringLiteral("%1|%2|%3")
                           .arg(s)
                           .arg(data->shiftList(s).value(r, "id").toInt())
                           .arg(data->shiftList(s).value(r, "fio").toString());
        QSqlQuery q = exec(db, namesOfTheDay());
        while (q.next())
            out << q.value(0).toString() + "|" + q.value(1).toString();
        return out;
    }
    static QString namesOfTheDay() {
        return "with " +
               sql::workerNames("names", "select w_id from accounts_dep.smena where data = "
                                         "'2025-11-03'") +
               " select w_id, fio from names order by w_id";
    }
    QString plan(const QString& statement, const QVariantMap& params = {}) {
        QSqlQuery q = exec(db, "explain " + statement, params);
        QStringList lines;
        while (q.next())
            lines << q.value(0).toString();
        return lines.join('\n');
    }
};

TEST_F(CodeNumberTest, ReadsEveryCodeAsTheWrittenOutRuleDid) {
    const QVariant same; // reads as itself
    struct Case {
        QVariant code;
        QVariant reads;
    } cases[] = {
        {"100443", same},
        {"0100443", "100443"},
        {" 12 ", "12"},
        {"\t950\r\n", "950"},
        {"\v\f950", "950"},
        {"\u00a0950\u00a0", "950"},
        {" 00950 \t", "950"},
        {"0 950", " 950"},
        {"950 0", same},
        {"0", ""},
        {"000", ""},
        {" 0 ", ""},
        {"", same},
        {" ", ""},
        {"\u00a0", ""},
        {QVariant(QMetaType(QMetaType::QString)), same},
        {"ДОГ-17/а", same},
        {"0ДОГ-17", "ДОГ-17"},
        {"Ё 12 ", "Ё 12"},
        {"99999999999999999999999999999999", same},
        {"0099999999999999999999999999999999 ", "99999999999999999999999999999999"},
        {"+950", same},
        {"-0", same},
        {"00-5", "-5"},
        {"950,0", same},
        {"1e3", same},
        {"0x1F", "x1F"},
        {"\u00a1950", same},
        {"\u2003950", same},    // an em space is not a blank of the rule
        {"\uff19\uff15", same}, // full-width digits
        {"950\u0000", same},
    };
    run("create temp table codes (n integer, c text)");
    int n = 0;
    for (const Case& c : cases) {
        // The server keeps no NUL in a text: that case is the code cut short.
        if (c.code.toString().contains(QChar(0)))
            continue;
        run("insert into codes values (:n, :c)", {{"n", n++}, {"c", c.code}});
    }
    QSqlQuery q = exec(db, QStringLiteral("select n, c, accounts_dep.code_number(c), %1, "
                                          "accounts_dep.code_number(c) is not distinct from %1 "
                                          "from codes order by n")
                               .arg(kWrittenOutRule));
    int read = 0;
    while (q.next()) {
        const Case& c = cases[q.value(0).toInt()];
        const QVariant expected = c.reads.isValid() ? c.reads : c.code;
        const std::string what = "code «" + c.code.toString().toStdString() + "»";
        EXPECT_EQ(q.value(4).toString(), "1")
            << what << ": the rule gives «" << q.value(3).toString().toStdString() << "»";
        EXPECT_EQ(q.value(2).isNull(), expected.isNull()) << what;
        EXPECT_EQ(q.value(2).toString(), expected.toString()) << what;
        ++read;
    }
    EXPECT_EQ(read, n);

    // An index needs a function that gives the same for the same code
    // always, and a plant's parallel scans need it safe for their helpers.
    EXPECT_EQ(scalar("select provolatile::text || proparallel::text || proisstrict::text "
                     "from pg_proc where oid = 'accounts_dep.code_number(text)'::regprocedure")
                  .toString(),
              "isfalse");
}

// A plant's registry, with and without the administrator's index: the same
// rows, and the index used when it is there.
TEST_F(CodeNumberTest, TheIndexIsUsedWhenThereAndChangesNoRow) {
    // Codes as a registry holds them: other people's numbers, none, words.
    run("insert into cmn_contractor.person (id, s_code, s_caption) "
        "select 500000 + g, case when g % 31 = 0 then null when g % 17 = 0 then 'Д-' || g "
        "else ((g * 7919) % 99999 + 1)::text end, 'Человек ' || g "
        "from generate_series(1, 60000) g");
    const int vid = addVid("Резка");
    const int oper = addOper(addProduct("СТ-100"), vid);
    QList<int> workers;
    for (int i = 0; i < 6; ++i)
        workers << addWorker(QStringLiteral("Работник %1").arg(i));
    // Found by key and by code again; a worker the registry has by code only.
    addPerson("Нулёв", "00" + QString::number(workers[0]));
    addPerson("Пробелов", QString::number(workers[1]) + "\u00a0");
    addPerson("Только по коду", " 04242424");
    for (int w : workers + QList<int>{4242424})
        for (int shift = 1; shift <= 4; ++shift)
            addRecord({.worker = w, .oper = oper, .date = kDay, .shift = shift});
    run("analyze cmn_contractor.person");

    EXPECT_FALSE(sql::findCodeIndex(db).has_value());
    const QStringList without = everythingListed();
    EXPECT_EQ(without.size(), 4 * 9 + 7) << without.join('\n').toStdString();
    EXPECT_TRUE(without.contains("4242424|Только по коду")) << without.join('\n').toStdString();

    run(sql::kCodeIndexDdl);
    run("analyze cmn_contractor.person");
    EXPECT_EQ(sql::findCodeIndex(db), "person_code_number_idx");
    EXPECT_EQ(everythingListed(), without);

    for (int shift : {0, 1, 4})
        EXPECT_TRUE(plan(sql::shiftList(shift), {{"data", kDay}, {"ok", "ta"}})
                        .contains("person_code_number_idx"))
            << "shift " << shift << ":\n"
            << plan(sql::shiftList(shift), {{"data", kDay}, {"ok", "ta"}}).toStdString();
    EXPECT_TRUE(plan(namesOfTheDay()).contains("person_code_number_idx"))
        << plan(namesOfTheDay()).toStdString();
}

// `check` finds the index by what it indexes, not by its name.
TEST_F(CodeNumberTest, CheckSaysWhetherTheIndexIsThere) {
    const QString none = "Индекса кодов реестра людей нет";
    struct Case {
        const char* index;
        QString says;
    } cases[] = {
        {nullptr, none},
        {"create index any_name on cmn_contractor.person (accounts_dep.code_number(s_code))",
         "Индекс кодов реестра людей: any_name.\n"},
        {"create index by_code on cmn_contractor.person (s_code)", none},
        {"create index by_trim on cmn_contractor.person (btrim(s_code))", none},
        {"create index partial on cmn_contractor.person (accounts_dep.code_number(s_code)) "
         "where s_code <> ''",
         none},
        {"create index by_name on cmn_contractor.person (accounts_dep.code_number(s_caption))",
         none},
        {"create index pair on cmn_contractor.person (accounts_dep.code_number(s_code), id)",
         "Индекс кодов реестра людей: pair.\n"},
    };
    for (const Case& c : cases) {
        run("do $$ declare i text; begin for i in select indexrelid::regclass::text from "
            "pg_index where indrelid = 'cmn_contractor.person'::regclass and not indisprimary "
            "loop execute 'drop index ' || i; end loop; end $$");
        if (c.index)
            run(c.index);
        const BatchRun r = runBatch(dbName, {"check"});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains(c.says)) << (c.index ? c.index : "none") << ":\n"
                                            << r.out.toStdString();
    }
    // Without it, the statement that creates it.
    run("drop index cmn_contractor.pair");
    EXPECT_TRUE(runBatch(dbName, {"check"}).out.contains(sql::kCodeIndexDdl));
}

} // namespace
