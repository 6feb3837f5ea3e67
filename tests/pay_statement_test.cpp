// "Расчётный листок" of a small plant's month, read back from the PDF that
// tabel-batch writes; its totals against the monthly sheets; `reconcile` on
// a consistent month and on differences planted behind the program's back;
// where the windows open it.
#include "directories/workers_list.h"
#include "housekeeping/housekeeping_rules.h"
#include "pdf_text.h"
#include "records/brigade_job.h"
#include "reports/pay_statement.h"
#include "test_support.h"
#include "timesheets/monthly_timesheet_window.h"
#include "timesheets/rebuilds.h"
#include "timesheets/sheet_statements.h"

#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

using namespace tabel;
using namespace tabel::test;
using reportengine::Decimal;
using reports::PayStatement;

namespace {

const QDate kMonth(2026, 11, 1);
const QDate kSaturday(2026, 11, 7);

Decimal dec(const char* text) {
    return *Decimal::parse(QString::fromLatin1(text));
}

TEST(PriceFactorTest, TellsOnlyTheFactorsTheShiftAllows) {
    const struct {
        const char* stored;
        const char* base; // nullptr: the operation has no norm
        int shift;
        bool found;
        bool dayOff;
        int factorShift;
    } cases[] = {
        {"12.5", "12.5", 1, true, false, 1},
        {"25", "12.5", 2, true, true, 1},
        {"15", "12.5", 3, true, false, 3},
        {"30", "12.5", 3, true, true, 3},
        {"18.75", "12.5", 4, true, false, 4},
        {"37.5", "12.5", 4, true, true, 4},
        {"12.3457", "10.28808", 3, true, false, 3}, // rounded to 4 places on saving
        {"15", "12.5", 1, false},                   // shift 3's factor in shift 1
        {"12.5", "12.5", 3, false},                 // shift 3 without its factor
        {"11", "12.5", 1, false},                   // the norm changed since
        {"0", "0", 1, false},                       // nothing to compare with
        {"12.5", nullptr, 1, false},
    };
    for (const auto& c : cases) {
        const auto f = reports::priceFactor(
            dec(c.stored), c.base ? std::optional(dec(c.base)) : std::nullopt, c.shift);
        ASSERT_EQ(f.has_value(), c.found) << c.stored << " " << (c.base ? c.base : "-");
        if (f) {
            EXPECT_EQ(f->dayOff, c.dayOff) << c.stored;
            EXPECT_EQ(f->shift, c.factorShift) << c.stored;
        }
    }
}

class PayStatementTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(dir.isValid());
        const int group = scalar("insert into cmn_classifier.item (id_level, s_caption, "
                                 "b_excluded) values (2, 'Стеллажи', 0) returning id")
                              .toInt();
        const int rack = addProduct("СТ-1");
        const int weld = addOper(rack, addVid("Сварка"));
        const int cut = addOper(rack, addVid("Резка"));
        addNorm(weld, 12.5);
        addNorm(weld, 14, 200);
        addNorm(cut, 10);
        abramov = addWorker("Абрамов Иван Петрович", "Цех №1");
        namesake = addWorker("Абрамов Иван Петрович", "Цех №2");
        idle = addWorker("Волков Пётр Ильич", "Цех №1");

        // 40 hours, 390.00 in all.
        addRecord(
            {.worker = abramov, .oper = weld, .date = kMonth.addDays(9), .qty = 10, .price = 12.5});
        addRecord({.worker = abramov, .oper = weld, .date = kSaturday, .qty = 4, .price = 25});
        addRecord({.worker = abramov,
                   .oper = weld,
                   .date = kMonth.addDays(10),
                   .shift = 3,
                   .qty = 5,
                   .brak = 1,
                   .price = 15});
        addRecord({.worker = abramov,
                   .oper = weld,
                   .date = kSaturday,
                   .shift = 4,
                   .qty = 2,
                   .price = 37.5});
        addRecord(
            {.worker = abramov, .oper = cut, .date = kMonth.addDays(11), .qty = 3, .price = 10});
        // The cutting norm's rate is raised after the record was saved,
        // back to before the record's date.
        run("update accounts_dep.norm_price set price = 11 where norm_id in "
            "(select id from accounts_dep.norm where o_id = :o)",
            {{"o", cut}});
        addRecord(
            {.worker = namesake, .oper = weld, .date = kMonth.addDays(9), .qty = 2, .price = 12.5});
        addRecord(
            {.worker = idle, .oper = weld, .date = QDate(2026, 10, 20), .qty = 1, .price = 12.5});

        addEntry(7777, group, kMonth.addDays(9), 8, "150", false, false);
        addEntry(7777, group, kMonth.addDays(10), 4, "180", false, true);
        addEntry(7778, group, kMonth.addDays(11), 2, "1", false, false);
        addEntry(7778, group, kSaturday, 3, "1", true, true);
        HousekeepingRules(db).recalculate(kMonth);
        rebuildMonth(db, SheetKind::Shifts, kMonth);
        rebuildMonth(db, SheetKind::Housekeeping, kMonth);
    }

    void addEntry(int type, int group, const QDate& date, int hours, const QString& price,
                  bool dayOff, bool night) {
        run("insert into accounts_dep.fatigue (id_o, id_p, id_nom, d_date, i_mnth, i_year, "
            "i_smena, cnt, price, i_holiday, i_night) values (:o, :p, :g, :d, :m, :y, 1, :c, "
            "cast(:pr as numeric), :h, :n)",
            {{"o", type},
             {"p", abramov},
             {"g", group},
             {"d", date},
             {"m", date.month()},
             {"y", date.year()},
             {"c", hours},
             {"pr", price},
             {"h", dayOff ? 1 : 0},
             {"n", night ? 1 : 0}});
    }

    // The statement's pages as tabel-batch writes them.
    QStringList statementPages(const QStringList& worker = {}) {
        const QString file = dir.filePath("pay.pdf");
        QFile::remove(file);
        const BatchRun r = runBatch(
            dbName, QStringList{"pay-statement", "--month", "11", "--year", "2026", "--pdf", file} +
                        worker);
        EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
        return pdfPages(file);
    }

    // The pay of a monthly sheet's rows of `worker`, added up.
    QString sheetPay(sql::MonthlySheet sheet, int worker) {
        return scalar(QStringLiteral("select sum(x.f_price)::text from (%1) x where x.id = :w")
                          .arg(sql::monthlySheet(sheet)),
                      {{"i_month", 11},
                       {"i_year", 2026},
                       {"d_date2", kMonth},
                       {"d_date1", kMonth.addMonths(1)},
                       {"w", worker}})
            .toString();
    }

    QTemporaryDir dir;
    int abramov = 0;
    int namesake = 0;
    int idle = 0;
};

TEST_F(PayStatementTest, ShowsEveryLineWithHowItsPriceCameAbout) {
    const QString text = statementPages({"--worker", QString::number(abramov)}).join('\n');
    const QStringList lines{
        "Работник: Абрамов Иван Петрович, таб. № " + QString::number(abramov),
        "Подразделение: Цех №1",
        "07.11.2026 1 СТ-1 Сварка 4 0 25,00 12,50 × 2 (вых.) 100,00",
        "07.11.2026 4 СТ-1 Сварка 2 0 37,50 12,50 × 2 × 1,5 (вых., 4 см.) 75,00",
        "10.11.2026 1 СТ-1 Сварка 10 0 12,50 норма 125,00",
        "11.11.2026 3 СТ-1 Сварка 5 1 15,00 12,50 × 1,2 (3 см.) 60,00",
        "12.11.2026 1 СТ-1 Резка 3 0 10,00 цена на дату записи 30,00",
        "10.11.2026 дн. Хоз. работы Стеллажи 8 150,00 1200,00",
        "11.11.2026 ноч. Хоз. работы Стеллажи 4 180,00 720,00",
        // 390.00 × 2.2 / 40 h; 390.00 / 40 h.
        "07.11.2026 ноч. Ср. сдельная Стеллажи + 3 21,45 основа × 2,2 (вых., ноч.) 64,35",
        "12.11.2026 дн. Ср. сдельная Стеллажи 2 9,75 основа × 1 19,50",
        "Основа ставки: сделка за месяц 390,00 р. за 40 ч, 9,75 р./ч;",
        "Сделка: 390,00",
        "Хоз. работы: 1920,00",
        "Ср. сдельная: 83,85",
        "Итого: 2393,85",
    };
    for (const QString& line : lines)
        EXPECT_TRUE(text.contains(line)) << line.toStdString() << "\n" << text.toStdString();
    EXPECT_TRUE(text.indexOf("Месяц: Ноябрь 2026") > 0);
}

// A brigade member's share says how its quantity was split, with every
// number the worker needs to work it out; the namesake's share too.
TEST_F(PayStatementTest, BrigadeShareShowsHowItsQuantityWasSplit) {
    const int cut = addOper(addProduct("ЗЛ-4х750"), addVid("Рубка"));
    addNorm(cut, 33.07);
    BrigadeJobInput job;
    job.date = kMonth.addDays(15);
    job.productId =
        scalar("select i_id from accounts_dep.oper where id = :o", {{"o", cut}}).toInt();
    job.operationId = cut;
    job.finalPrice = 33.07;
    job.operationText = "ЗЛ-4х750; Рубка; Готовая продукция";
    job.quantity = "90";
    job.rejects = "7";
    job.members = {{abramov, "Абрамов", "8", "1,5"}, {namesake, "Абрамов", "8", "1"}};
    const BrigadeJobs::Result saved = BrigadeJobs(db).save(job, kMonth.addDays(15));
    ASSERT_TRUE(saved.saved()) << saved.outcome.text.toStdString();
    // Under the record's line, as a line of its own (which may wrap).
    const QString share = QStringLiteral("норма 1653,50 доля наряда № %1: 90 шт. × (8 ч × КТУ "
                                         "1,50) / Σ 20; брак 7 шт. так же")
                              .arg(saved.jobId);
    const QString theirShare =
        QStringLiteral("норма 1091,31 доля наряда № %1: 90 шт. × (8 ч × КТУ 1,00) / Σ 20; "
                       "брак 7 шт. так же")
            .arg(saved.jobId);

    const QStringList pages = statementPages();
    ASSERT_EQ(pages.size(), 2);
    const QString& mine = pages[abramov < namesake ? 0 : 1];
    const QString& theirs = pages[abramov < namesake ? 1 : 0];
    // 90 × 12 / 20 = 54, 7 × 12 / 20 = 4,2; 90 × 8 / 20 = 36, 7 × 8 / 20 = 2,8.
    EXPECT_TRUE(mine.contains("16.11.2026 1 ЗЛ-4х750 Рубка 54 4 33,07 норма 1653,50"))
        << mine.toStdString();
    EXPECT_TRUE(QString(mine).replace('\n', ' ').contains(share)) << mine.toStdString();
    EXPECT_TRUE(theirs.contains("16.11.2026 1 ЗЛ-4х750 Рубка 36 3 33,07 норма 1091,31"))
        << theirs.toStdString();
    EXPECT_TRUE(QString(theirs).replace('\n', ' ').contains(theirShare)) << theirs.toStdString();
    EXPECT_TRUE(QString(mine).replace('\n', ' ').contains(
        "Доля наряда: количество наряда × (часы × КТУ работника) / Σ часов × КТУ всех участников "
        "наряда"))
        << mine.toStdString();
    // A single record's line says nothing of a job.
    EXPECT_TRUE(mine.contains("10.11.2026 1 СТ-1 Сварка 10 0 12,50 норма 125,00"));
    EXPECT_EQ(mine.count("доля наряда"), 1);
}

// The columns are as wide as what they print: headings and marks stay on
// one line, the page stays portrait while the lines fit it.
TEST_F(PayStatementTest, ColumnsHoldTheirHeadingsAndMarksWhole) {
    const int oper = addOper(addProduct("СТ-1900х300 исп.2"), addVid("Сборка"));
    addNorm(oper, 96);
    addRecord(
        {.worker = abramov, .oper = oper, .date = kMonth.addDays(20), .qty = 14, .price = 96});
    const QString file = dir.filePath("pay.pdf");
    const QString text = statementPages({"--worker", QString::number(abramov)}).join('\n');
    for (const char* line :
         {"Дата См. Марка Операция Цвет Кол-во Брак Цена Как получена цена Сумма",
          "Дата Д/Н Работа Номенклатура Вых. Часы Ставка Сумма",
          "21.11.2026 1 СТ-1900х300 исп.2 Сборка 14 0 96,00 норма 1344,00"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line))) << line << "\n" << text.toStdString();
    QProcess info;
    info.start("pdfinfo", {file});
    info.waitForFinished(60000);
    EXPECT_TRUE(info.readAllStandardOutput().contains("595 x 842 pts (A4)"));
}

TEST_F(PayStatementTest, TotalsEqualTheMonthlySheets) {
    const PayStatement s = reports::readPayStatements(db, kMonth.addDays(20), abramov).value(0);
    using Sheet = sql::MonthlySheet;
    EXPECT_EQ(s.piecework().toString(2, QLocale::c()), sheetPay(Sheet::Piecework, abramov));
    EXPECT_EQ(s.housekeeping().toString(2, QLocale::c()), sheetPay(Sheet::Housekeeping, abramov));
    EXPECT_EQ(s.average().toString(2, QLocale::c()), sheetPay(Sheet::AveragePiecework, abramov));
    EXPECT_EQ(s.total().toString(2, QLocale::c()), "2393.85");
}

TEST_F(PayStatementTest, MonthWithNothingPrintsTheHeadingAlone) {
    const QStringList pages = statementPages({"--worker", QString::number(idle)});
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].startsWith("Расчётный листок\nРаботник: Волков Пётр Ильич"))
        << pages[0].toStdString();
    EXPECT_TRUE(pages[0].contains("\nНет начислений за месяц.\n")) << pages[0].toStdString();
    EXPECT_FALSE(pages[0].contains("Итого"));

    const BatchRun nobody =
        runBatch(dbName, {"pay-statement", "--month", "11", "--year", "2026", "--worker", "987654",
                          "--pdf", dir.filePath("x.pdf")});
    EXPECT_EQ(nobody.exitCode, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf")));
}

TEST_F(PayStatementTest, EveryWorkerOnPagesOfTheirOwnNamesakesApart) {
    const QStringList pages = statementPages();
    // The idle worker has nothing in the month and is left out.
    ASSERT_EQ(pages.size(), 2) << pages.join("\n----\n").toStdString();
    // Namesakes in number order, each with their own department and pay.
    const int first = std::min(abramov, namesake);
    const int second = std::max(abramov, namesake);
    EXPECT_TRUE(pages[0].contains("таб. № " + QString::number(first)));
    EXPECT_TRUE(pages[1].contains("таб. № " + QString::number(second)));
    const QString& mine = pages[abramov == first ? 0 : 1];
    const QString& theirs = pages[abramov == first ? 1 : 0];
    EXPECT_TRUE(mine.contains("Итого: 2393,85"));
    EXPECT_TRUE(theirs.contains("Подразделение: Цех №2"));
    EXPECT_TRUE(theirs.contains("\nИтого: 25,00")) << theirs.toStdString();
    EXPECT_FALSE(theirs.contains("Хоз. работы Стеллажи"));
}

TEST_F(PayStatementTest, ReconcileIsSilentOnAConsistentMonth) {
    const BatchRun r = runBatch(dbName, {"reconcile", "--month", "11", "--year", "2026"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("расхождение")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("(работников: 2) сходятся")) << r.out.toStdString();
}

TEST_F(PayStatementTest, ReconcileFindsDifferencesPlantedBehindTheProgramsBack) {
    const struct {
        const char* what;
        const char* plant;
        const char* undo;
        const char* found;
    } cases[] = {
        {"a record's price changed after the average rates were worked out",
         "update accounts_dep.smena set cena = 14 where w_id = :w and cena = 12.5",
         "update accounts_dep.smena set cena = 12.5 where w_id = :w and cena = 14",
         "ср. сдельная: ставка не по основе в записях: 2 (07.11.2026: 21.45, по основе 22.28)"},
        {"a record whose operation is gone, which the report by workers leaves out",
         "update accounts_dep.smena set o_id = -o_id where w_id = :w and cena = 10",
         "update accounts_dep.smena set o_id = -o_id where w_id = :w and o_id < 0",
         "сделка: в листке 390.00, в отчете по рабочим 360.00"},
        {"the night row of the housekeeping sheet deleted",
         "delete from accounts_dep.h_tabel where w_id = :w and i_type = 7777 and i_night = 1", "",
         "хоз. работы, ноч.: в листке 720.00, в табеле нет строки"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        run(QString::fromUtf8(c.plant), {{"w", abramov}});
        const BatchRun r = runBatch(dbName, {"reconcile", "--month", "11", "--year", "2026"});
        EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(c.found))) << r.out.toStdString();
        // Only the worker planted on.
        EXPECT_FALSE(r.out.contains("№ " + QString::number(namesake))) << r.out.toStdString();

        if (*c.undo)
            run(QString::fromUtf8(c.undo), {{"w", abramov}});
        rebuildMonth(db, SheetKind::Housekeeping, kMonth);
        EXPECT_EQ(runBatch(dbName, {"reconcile", "--month", "11", "--year", "2026"}).exitCode, 0);
    }
}

TEST_F(PayStatementTest, ReportRoundingWithinHalfAKopeckPerGroupIsANote) {
    // Two products at half a kopeck each: the report rounds each up, the
    // sheet rounds the worker's month once.
    const int rack = addProduct("СТ-2");
    const int bolt = addProduct("БЛ-3");
    const int vid = addVid("Сборка");
    for (int product : {rack, bolt})
        addRecord({.worker = idle,
                   .oper = addOper(product, vid),
                   .date = kMonth.addDays(2),
                   .qty = 1,
                   .price = 0.005});
    rebuildMonth(db, SheetKind::Shifts, kMonth);
    const BatchRun r =
        runBatch(dbName, {"reconcile", "--month", "11", "--year", "2026", "--verbose"});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("примечание: Волков Пётр Ильич (№ " + QString::number(idle) +
                               "), сделка: в листке 0.01, в отчете по рабочим 0.02 (групп "
                               "изделий: 2), в пределах округления отчета"))
        << r.out.toStdString();
}

TEST_F(PayStatementTest, MonthlySheetOpensTheCurrentRowsWorker) {
    MonthlyTimesheetWindow w(*ctx);
    w.prepare(MonthlyTimesheetWindow::Sheet::Piecework, kMonth.addDays(3));
    EXPECT_FALSE(w.payStatementButton()->isEnabled());
    QList<std::pair<int, QDate>> opened;
    w.setPayStatement([&](int worker, const QDate& month) { opened << std::pair{worker, month}; });
    ASSERT_TRUE(w.payStatementButton()->isEnabled());
    ASSERT_EQ(w.sheet().count(), 2);
    w.sheet().setCurrentRow(1);
    const int second = w.sheet().current("id").toInt();
    w.payStatementButton()->click();
    emit w.grid()->doubleClicked(w.grid()->model()->index(1, 0));
    ASSERT_EQ(opened.size(), 2);
    for (const auto& [worker, month] : opened) {
        EXPECT_EQ(worker, second);
        EXPECT_EQ(month, kMonth);
    }
}

TEST_F(PayStatementTest, WorkersDirectoryOpensTheStatementForRolesWithTheSheets) {
    ctx->state.pickedDate = kMonth.addDays(14);
    WorkersList list(*ctx);
    QList<std::pair<int, QDate>> opened;
    list.setPayStatement([&](int worker, const QDate& month) {
        opened << std::pair{worker, month};
    });
    const struct {
        const char* code;
        bool shown;
    } roles[] = {{"61730482", true}, {"", true}, {"luskev", false}, {"tavrink", false}};
    for (const auto& role : roles) {
        ctx->state.accessWord = role.code;
        list.prepareDirectory();
        EXPECT_EQ(!list.payStatementButton()->isHidden(), role.shown) << role.code;
        list.finish();
    }
    ctx->state.accessWord = "61730482";
    list.preparePicker(WorkersList::RecordPicker);
    EXPECT_TRUE(list.payStatementButton()->isHidden());
    list.finish();

    list.prepareDirectory();
    ASSERT_FALSE(list.store().workers().isEmpty());
    const int current = list.store().workers().current("id").toInt();
    list.payStatementButton()->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].first, current);
    EXPECT_EQ(opened[0].second, ctx->state.pickedDate);
    list.finish();
}

} // namespace
