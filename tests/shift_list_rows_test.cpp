#include "db/statements.h"
#include "test_support.h"

#include <QSqlQuery>
#include <cmath>

using namespace tabel;
using namespace tabel::test;

namespace {

const QDate kDay(2025, 11, 3);

// Whether two values are the same to a list: of one type, equally null, and
// equal (a NaN equal to a NaN).
bool sameValue(const QVariant& a, const QVariant& b) {
    if (a.metaType() != b.metaType() || a.isNull() != b.isNull())
        return false;
    if (a.typeId() == QMetaType::Double && !a.isNull() && std::isnan(a.toDouble()))
        return std::isnan(b.toDouble());
    return a == b;
}

class ShiftListRowsTest : public DbTest {
protected:
    // What the list's statement gives row by row through the driver, with
    // its double columns read as doubles.
    ResultRows readByRow(int shift) {
        QSqlQuery q = exec(db, sql::shiftList(shift), {{"data", kDay}, {"ok", "ta"}},
                           QSql::LowPrecisionDouble);
        return readAll(q);
    }
    void expectSameRows(const Dataset& list, const ResultRows& expected, const char* how) {
        ASSERT_EQ(list.fieldNames(), expected.fields) << how;
        ASSERT_EQ(list.count(), static_cast<int>(expected.rows.size())) << how;
        for (int r = 0; r < list.count(); ++r)
            for (int c = 0; c < expected.fields.size(); ++c)
                EXPECT_TRUE(sameValue(list.value(r, c), expected.rows[r][c]))
                    << how << ", row " << r << ", " << expected.fields[c].toStdString() << ": "
                    << list.value(r, c).toString().toStdString() << " ("
                    << list.value(r, c).typeName() << ") against "
                    << expected.rows[r][c].toString().toStdString() << " ("
                    << expected.rows[r][c].typeName() << ")";
    }
};

TEST_F(ShiftListRowsTest, ListsHoldTheValuesTheDriverGivesRowByRow) {
    // Names with the characters JSON escapes, Cyrillic and more; persons
    // found by code, with zeros and blanks around it.
    const int quoted = addWorker("Кавычкин \"Лев\" \\ обратный");
    const int lines = addWorker("Строкин\nВторая\tстрока\r\u0001𝄞");
    const int plain = addWorker("Иванов Иван Иванович");
    addPerson("Нулёв по коду", "00" + QString::number(plain));
    run("insert into cmn_contractor.person (s_code, s_caption) values (:c, null)",
        {{"c", QString::number(plain) + " "}});
    addPerson("Пробелов по коду", QString(" \t%1 \u00a0").arg(lines));
    const int vid = addVid("Резка «тонкая» \\ 1/2");
    const int product = addProduct("СТ-100 \"А\"");
    const int oper = addOper(product, vid, 1);

    struct Row {
        int worker;
        int shift;
        double price;
        const char* quantity;
    } rows[] = {
        {quoted, 1, 0.1, "10"},
        {lines, 1, 123456789.123, "123456789012345678901234567890.125"},
        {plain, 2, 1e-7, "0.0000001"},
        {plain, 3, -2.5, "-7"},
        {quoted, 4, 1.0 / 3.0, "3"},
    };
    QList<int> ids;
    for (const Row& r : rows) {
        const int id = addRecord(
            {.worker = r.worker, .oper = oper, .date = kDay, .shift = r.shift, .price = r.price});
        run("update accounts_dep.smena set kol_vo = cast(:q as numeric) where id = :id",
            {{"q", r.quantity}, {"id", id}});
        ids << id;
    }
    // Nulls wherever a column may hold one, the largest links, and doubles
    // JSON has no number for.
    run("update accounts_dep.smena set cena = null, brak = null, color = null, time = null, "
        "ok = null, vvod = null, prize = null, id_doc = null, id_doc_item = null, "
        "f_gds_qty_use = null, id_gds_use = null, id_cons_use = null where id = :id",
        {{"id", ids[0]}});
    run("update accounts_dep.smena set ok = '', id_doc = 999999999999999, "
        "id_doc_item = -999999999999999, prize = 'NaN', f_gds_qty_use = '-Infinity', "
        "cena = 'Infinity', color = 2147483647, brak = -32768 where id = :id",
        {{"id", ids[1]}});
    run("update accounts_dep.smena set ok = 'да \"ок\"', kol_vo = null where id = :id",
        {{"id", ids[2]}});

    data->openShiftLists(kDay);
    int listed = 0;
    for (int shift = 1; shift <= 4; ++shift) {
        const ResultRows expected = readByRow(shift);
        listed += static_cast<int>(expected.rows.size());
        Dataset& list = data->shiftList(shift);
        expectSameRows(list, expected, "four lists at once");
        list.reopen();
        expectSameRows(list, expected, "one list");
    }
    // The record without a mark is left out; persons found by code list
    // records again.
    EXPECT_EQ(listed, 9);
}

TEST_F(ShiftListRowsTest, EveryCodeThatReadsAsTheWorkerListsTheRecordAgain) {
    // Low and high worker numbers, so that codes fall on both sides of them.
    run("insert into accounts_dep.person (id, fio) values "
        "(7, 'Седьмой'), (950, 'Девятьсот пятидесятый')");
    const int vid = addVid("Резка");
    const int oper = addOper(addProduct("СТ-100"), vid);
    for (int worker : {7, 950})
        addRecord({.worker = worker, .oper = oper, .date = kDay, .shift = 3});
    struct Code {
        QString code;
        bool reads; // as worker 950
    } codes[] = {
        {"0950", true},      {" 950", true},       {"\t950", true},     {"\u00a0950", true},
        {"950 ", true},      {"950\r\n", true},    {"950\u00a0", true}, {" 00950 \t", true},
        {"0 950", false},    {"9500", false},      {"95", false},       {"950-", false},
        {"+950", false},     {"950,0", false},     {"0", false},        {"", false},
        {"ПРОП-950", false}, {"\u00a1950", false},
    };
    QStringList expected{"Девятьсот пятидесятый", "Седьмой"};
    for (int i = 0; i < static_cast<int>(std::size(codes)); ++i) {
        const QString name = QStringLiteral("Код %1").arg(i, 2, 10, QLatin1Char('0'));
        addPerson(name, codes[i].code);
        if (codes[i].reads)
            expected << name;
    }
    expected.sort();
    data->openShiftLists(kDay);
    QStringList listed;
    for (int r = 0; r < data->shiftList(3).count(); ++r)
        listed << data->shiftList(3).value(r, "fio").toString();
    listed.sort();
    EXPECT_EQ(listed, expected);
}

TEST_F(ShiftListRowsTest, AnEmptyListAndAMalformedTextAreToldApart) {
    data->openShiftLists(kDay);
    for (int shift = 1; shift <= 4; ++shift)
        EXPECT_TRUE(data->shiftList(shift).isOpen() && data->shiftList(shift).isEmpty());

    const QList<JsonColumn> columns{{"n", QMetaType::Int}, {"t", QMetaType::QString}};
    struct Case {
        const char* json;
        bool readable;
    } cases[] = {
        {"[]", true},
        {"[[1, \"a\"], [null, null]]", true},
        {"[[1, \"a\"]", false},
        {"[[1]]", false},
        {"[[1, \"a\", 2]]", false},
        {"[[\"x\", \"a\"]]", false},
        {"[[1, \"a\\q\"]]", false},
        {"{}", false},
    };
    for (const Case& c : cases) {
        QSqlQuery q = exec(db, "select cast(:j as text)", {{"j", QString::fromUtf8(c.json)}});
        bool read = true;
        try {
            readJsonRows(q, columns, "statement");
        } catch (const DbError&) {
            read = false;
        }
        EXPECT_EQ(read, c.readable) << c.json;
    }
}

} // namespace
