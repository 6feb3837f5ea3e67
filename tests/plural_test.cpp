#include "db/format.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace tabel;

TEST(CountNoun, TheNounAgreesWithTheNumberBeforeIt) {
    const struct {
        qint64 n;
        const char* step;
        const char* record;
    } cases[] = {
        {0, "0 шагов", "0 записей"},       {1, "1 шаг", "1 запись"},
        {2, "2 шага", "2 записи"},         {4, "4 шага", "4 записи"},
        {5, "5 шагов", "5 записей"},       {11, "11 шагов", "11 записей"},
        {12, "12 шагов", "12 записей"},    {14, "14 шагов", "14 записей"},
        {21, "21 шаг", "21 запись"},       {22, "22 шага", "22 записи"},
        {25, "25 шагов", "25 записей"},    {100, "100 шагов", "100 записей"},
        {101, "101 шаг", "101 запись"},    {111, "111 шагов", "111 записей"},
        {112, "112 шагов", "112 записей"}, {1001, "1001 шаг", "1001 запись"},
        {-3, "-3 шага", "-3 записи"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(countNoun(c.n, "шаг", "шага", "шагов"), QString::fromUtf8(c.step)) << c.n;
        EXPECT_EQ(countNoun(c.n, "запись", "записи", "записей"), QString::fromUtf8(c.record))
            << c.n;
    }
}
