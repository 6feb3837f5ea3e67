#include "db/statements.h"
#include "test_support.h"

#include <QSqlQuery>

using namespace tabel;
using namespace tabel::test;

namespace {

// Whether two values are the same to a list: of one type, equally null, and
// equal.
bool sameValue(const QVariant& a, const QVariant& b) {
    return a.metaType() == b.metaType() && a.isNull() == b.isNull() && a == b;
}

class OperationRowsTest : public DbTest {};

TEST_F(OperationRowsTest, ListsHoldTheValuesTheDriverGivesRowByRow) {
    // Names with the characters JSON escapes; null names and kinds; prices
    // of awkward digits, none, and a norm without a price on the day.
    const int quoted = addProduct("СТ-100 \"А\" \\ 1/2");
    const int lines = addProduct("Строкин\nВторая\tстрока\u0001𝄞");
    const int cut = addVid("Резка «тонкая»");
    const int bend = addVid("Гибка");
    const int a = addOper(quoted, cut, 0);
    const int b = addOper(lines, bend, 1);
    const int c = addOper(quoted, bend, 1);
    const int bare = addOper(lines, cut, 0); // no norms
    addNorm(a, 0.1);
    addNorm(a, 123456789.123);
    addNorm(b, 1.0 / 3.0);
    addNorm(c, 7);
    run("insert into accounts_dep.norm_price (norm_id, valid_from, price) "
        "select id, date '2025-11-10', 1e-7 from accounts_dep.norm where o_id = :o",
        {{"o", c}});
    run("update accounts_dep.vid_oper set vid = null where id = :v", {{"v", bend}});
    run("update accounts_dep.oper set naimen = null where id = :o", {{"o", b}});
    (void)bare;

    struct Case {
        bool directory;
        QDate day;
        int rows;
    } cases[] = {
        {false, QDate(2025, 11, 3), 3},
        {false, QDate(2025, 11, 10), 3},
        {true, QDate(2025, 11, 10), 4},
    };
    for (const Case& k : cases) {
        QSqlQuery q = exec(db, sql::operationsByRow(k.directory), {{"day", k.day}});
        const ResultRows expected = readAll(q);
        Dataset list(db, "Oper", k.directory ? sql::operationsDirectory() : sql::operations());
        list.setJsonColumns(sql::operationColumns());
        list.setParam("day", k.day);
        list.open();
        const std::string how = (k.directory ? "directory on " : "picker on ") +
                                k.day.toString(Qt::ISODate).toStdString();
        ASSERT_EQ(list.fieldNames(), expected.fields) << how;
        ASSERT_EQ(list.count(), static_cast<int>(expected.rows.size())) << how;
        EXPECT_EQ(list.count(), k.rows) << how;
        for (int r = 0; r < list.count(); ++r)
            for (int col = 0; col < expected.fields.size(); ++col)
                EXPECT_TRUE(sameValue(list.value(r, col), expected.rows[r][col]))
                    << how << ", row " << r << ", " << expected.fields[col].toStdString() << ": "
                    << list.value(r, col).toString().toStdString() << " ("
                    << list.value(r, col).typeName() << ", null " << list.value(r, col).isNull()
                    << ") against " << expected.rows[r][col].toString().toStdString() << " ("
                    << expected.rows[r][col].typeName() << ", null "
                    << expected.rows[r][col].isNull() << ")";
    }
}

} // namespace
