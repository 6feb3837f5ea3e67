// The summary reports and the printed shift time sheet, read from a small
// plant and checked as the PDF reads; the reports dialog; tabel-batch's
// report and print-timesheet.
#include "pdf_text.h"
#include "report_fit.h"
#include "reportengine/render.h"
#include "reports/report_statements.h"
#include "reports/reports_dialog.h"
#include "reports/summary_reports.h"
#include "reports/timesheet_preview.h"
#include "reports/timesheet_print.h"
#include "test_support.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace tabel;
using namespace tabel::test;
using reports::ProductKind;
using reports::SummaryReport;

namespace {

const QDate kFrom(2026, 11, 1);
const QDate kTo(2026, 12, 1);

class ReportsTest : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        if (HasFatalFailure())
            return;
        const int racks = addGroup("Стеллажи");
        const int brackets = addGroup("Кронштейны");
        const int rack = addProduct("СТ-1");
        const int bracket = addProduct("КР-2");
        run("update cmn_gds_and_srv.gds_and_srv set id_class_item = :g, massa = :m where id = :p",
            {{"g", racks}, {"m", 2.5}, {"p", rack}});
        run("update cmn_gds_and_srv.gds_and_srv set id_class_item = :g, massa = :m where id = :p",
            {{"g", brackets}, {"m", 0.2}, {"p", bracket}});
        const int welding = addVid("Сварка");
        const int painting = addVid("Покраска");
        const int rackWeld = addOper(rack, welding, 0);
        const int rackPaint = addOper(rack, painting, 1);
        const int bracketWeld = addOper(bracket, welding, 0);
        abramov = addWorker("Абрамов Иван Петрович");
        borisov = addWorker("Борисов Олег Ильич");
        const int idle = addWorker("Волков Пётр Ильич"); // housekeeping only

        const QDate day(2026, 11, 10);
        // Абрамов: rack welding 10 × 12.50; rack painting, primer, 4 less 1
        // reject × 10; painting in RAL 3005, 2 × 10; brackets 5 × 3.25.
        addRecord({.worker = abramov,
                   .oper = rackWeld,
                   .date = day,
                   .time = 8,
                   .qty = 10,
                   .price = 12.5});
        addRecord({.worker = abramov,
                   .oper = rackPaint,
                   .date = day,
                   .time = 4,
                   .qty = 4,
                   .brak = 1,
                   .price = 10,
                   .color = 1});
        addRecord({.worker = abramov,
                   .oper = rackPaint,
                   .date = day.addDays(1),
                   .time = 0,
                   .qty = 2,
                   .price = 10,
                   .color = 3005});
        addRecord({.worker = abramov,
                   .oper = bracketWeld,
                   .date = day,
                   .time = 2,
                   .qty = 5,
                   .price = 3.25});
        // Борисов: brackets 7 less 2 rejects × 1.10, no hours.
        addRecord({.worker = borisov,
                   .oper = bracketWeld,
                   .date = kFrom,
                   .time = 0,
                   .qty = 7,
                   .brak = 2,
                   .price = 1.1});
        // Outside the half-open period on both sides.
        addRecord({.worker = borisov, .oper = rackWeld, .date = kTo, .qty = 1000, .price = 1});
        addRecord({.worker = borisov,
                   .oper = rackWeld,
                   .date = kFrom.addDays(-1),
                   .qty = 1000,
                   .price = 1});

        // Housekeeping: Абрамов 3 h × 100 on racks by day, 2 h × 150.50
        // average piecework on racks by night; Борисов 1 h × 50 on brackets;
        // Волков 4 h × 25 average piecework, and no production at all.
        addFatigue(abramov, 7777, racks, day, 3, "100", 0);
        addFatigue(abramov, 7778, racks, day, 2, "150.50", 1);
        addFatigue(borisov, 7777, brackets, day, 1, "50", 0);
        addFatigue(idle, 7778, brackets, day, 4, "25", 0);
        addFatigue(idle, 7777, brackets, kTo, 10, "1000", 0); // outside
    }

    QStringList pages(SummaryReport report, ProductKind kind = ProductKind::All,
                      const QDate& from = kFrom, const QDate& to = kTo) {
        // The plant's locale: decimal commas, dates as 01.11.2026.
        const reportengine::Document doc = reports::summaryDocument(
            db, {report, from, to, kind}, QLocale(QLocale::Russian, QLocale::Russia));
        return write(doc);
    }

    QStringList write(const reportengine::Document& doc) {
        const QString file = dir.filePath("report.pdf");
        EXPECT_EQ(reportengine::writePdf(doc, file), QString());
        return pdfPages(file);
    }

    QTemporaryDir dir;
    int abramov = 0;
    int borisov = 0;
};

const char* const kClosingLines = "Хоз.р.: 350,00 291,67\n"
                                  "Ср.сд.: 401,00 334,17\n";

TEST_F(ReportsTest, ByWorkersSumsPerProductPerWorkerAndOverThePeriod) {
    EXPECT_EQ(pages(SummaryReport::Workers),
              QStringList(QString("Отчет по рабочим за период с 01.11.2026 по 01.12.2026\n"
                                  "Абрамов Иван Петрович Сумма без Р/К\n"
                                  "Кронштейны КР-2\n"
                                  "Готовая продукция Сварка 5 16,250\n"
                                  "Хоз.р.: 0 Ср. сд.: 0 5 16,250 13,542\n"
                                  "Итого: 16,250 13,542\n"
                                  "Стеллажи СТ-1\n"
                                  "Готовая продукция Сварка 10 125,000\n"
                                  "Заготовки Покраска (грунт) 3 30,000\n"
                                  "Заготовки Покраска (RAL: 3005) 2 20,000\n"
                                  "Хоз.р.: 300 Ср. сд.: 301 15 175,000 145,833\n"
                                  "Итого: 776,000 646,667\n"
                                  "191,25 159,38\n"
                                  "792,250 660,208\n"
                                  "Борисов Олег Ильич Сумма без Р/К\n"
                                  "Кронштейны КР-2\n"
                                  "Готовая продукция Сварка 5 5,500\n"
                                  "Хоз.р.: 50 Ср. сд.: 0 5 5,500 4,583\n"
                                  "Итого: 55,500 46,250\n"
                                  "5,50 4,58\n"
                                  "55,500 46,250\n"
                                  "196,75 163,96\n") +
                          kClosingLines + "Итого: 947,75 789,79\n1"));
}

TEST_F(ReportsTest, KindNarrowsRowsAndSumsButNotTheHousekeepingTotals) {
    // Blanks only: Борисов made none and drops out; Абрамов's housekeeping
    // pay and the period's totals stay what they were.
    EXPECT_EQ(pages(SummaryReport::Workers, ProductKind::Blanks),
              QStringList(QString("Отчет по рабочим за период с 01.11.2026 по 01.12.2026\n"
                                  "Абрамов Иван Петрович Сумма без Р/К\n"
                                  "Стеллажи СТ-1\n"
                                  "Заготовки Покраска (грунт) 3 30,000\n"
                                  "Заготовки Покраска (RAL: 3005) 2 20,000\n"
                                  "Хоз.р.: 300 Ср. сд.: 301 5 50,000 41,667\n"
                                  "Итого: 651,000 542,500\n"
                                  "50,00 41,67\n"
                                  "651,000 542,500\n"
                                  "50,00 41,67\n") +
                          kClosingLines + "Итого: 801,00 667,50\n1"));

    // An empty period: the title, the closing lines and the page number.
    EXPECT_EQ(pages(SummaryReport::Workers, ProductKind::All, kFrom, kFrom),
              QStringList("Отчет по рабочим за период с 01.11.2026 по 01.11.2026\n"
                          "0,00 0,00\n"
                          "Хоз.р.: 0,00 0,00\n"
                          "Ср.сд.: 0,00 0,00\n"
                          "Итого: 0,00 0,00\n"
                          "1"));
}

TEST_F(ReportsTest, DetailedByWorkersWithItsHousekeepingTable) {
    // Борисов worked no piecework hour: his pay per hour is left empty.
    EXPECT_EQ(pages(SummaryReport::WorkersDetail),
              QStringList(QString("Детальный отчет по рабочим за период с 01.11.2026 по "
                                  "01.12.2026\n"
                                  "Абрамов Иван Петрович Часы Брак Количество Сумма\n"
                                  "КР-2 Сварка 0 Готовая продукция 2 0 5 16,25\n"
                                  "СТ-1 Покраска 1 Заготовки 4 1 4 30,00\n"
                                  "СТ-1 Покраска 3005 Заготовки 0 0 2 20,00\n"
                                  "СТ-1 Сварка 0 Готовая продукция 8 0 10 125,00\n"
                                  "1 21 191,25\n"
                                  "Часы Сумма с р/к (р.) Сумма без р/к (р.)\n"
                                  "Хоз. раб. (дн.) 3 300 250\n"
                                  "Хоз. раб. (нч.) 0 0 0\n"
                                  "Ср. сд. (дн.) 0 0 0\n"
                                  "Ср. сд. (нч.) 2 301 250,83\n"
                                  "Сдел. 14,00 191,25 159,38\n"
                                  "Итого: 19,00 792,25 660,21\n"
                                  "Цена ср. сд. за 1 ч.: 13,66 11,38\n"
                                  "Борисов Олег Ильич Часы Брак Количество Сумма\n"
                                  "КР-2 Сварка 0 Готовая продукция 0 2 7 5,50\n"
                                  "2 7 5,50\n"
                                  "Часы Сумма с р/к (р.) Сумма без р/к (р.)\n"
                                  "Хоз. раб. (дн.) 1 50 41,67\n"
                                  "Хоз. раб. (нч.) 0 0 0\n"
                                  "Ср. сд. (дн.) 0 0 0\n"
                                  "Ср. сд. (нч.) 0 0 0\n"
                                  "Сдел. 0,00 5,50 4,58\n"
                                  "Итого: 1,00 55,50 46,25\n"
                                  "Цена ср. сд. за 1 ч.:\n"
                                  "28 196,75\n") +
                          kClosingLines + "Итого: 947,75 789,79\n1"));
}

TEST_F(ReportsTest, ByProductsBothWays) {
    // Boxes (the per-piece factor times the quantity) of the whole report
    // round to a whole number: 39.5 gives 40.
    EXPECT_EQ(pages(SummaryReport::Products),
              QStringList("Отчет по продукции за период с 01.11.2026 по 01.12.2026\n"
                          "Коробки Количество\n"
                          "Кронштейны КР-2\n"
                          "Готовая продукция Сварка 2 10\n"
                          "2 10\n"
                          "Стеллажи СТ-1\n"
                          "Готовая продукция Сварка 25 10\n"
                          "Заготовки Покраска (грунт) 7,5 3\n"
                          "Заготовки Покраска (RAL: 3005) 5 2\n"
                          "37,5 15\n"
                          "Итого: 40 25\n"
                          "1"));
    // In the detailed one the quantity and boxes count the rejects too.
    EXPECT_EQ(pages(SummaryReport::ProductsDetail),
              QStringList("Детальный отчет по продукции за период с 01.11.2026 по 01.12.2026\n"
                          "Брак Коробки Кол-во Сумма\n"
                          "Кронштейны КР-2\n"
                          "КР-2 Сварка 0 Готовая продукция 2 2,4 12 21,750\n"
                          "2 2,40 12 21,75\n"
                          "Стеллажи СТ-1\n"
                          "СТ-1 Покраска 1 Заготовки 1 10 4 30,000\n"
                          "СТ-1 Покраска 3005 Заготовки 0 5 2 20,000\n"
                          "СТ-1 Сварка 0 Готовая продукция 0 25 10 125,000\n"
                          "1 40,00 16 175,00\n"
                          "Итого: 3 42,4 28 196,75\n"
                          "1"));
}

TEST_F(ReportsTest, ShiftTimesheetPrintAddsUpAllRowsOfAWorker) {
    // Абрамов: shift 1 on days 1, 2 and 4 (0 hours), shift 2 on day 1, a
    // housekeeping row on day 5; Борисов: a row without hours.
    run("insert into accounts_dep.h_tabel (w_id, month, year, smena, d1, d2, d4) "
        "values (:w, 11, 2026, 1, 8, 8, 0), (:w, 11, 2026, 2, 2, null, null)",
        {{"w", abramov}});
    run("insert into accounts_dep.h_tabel (w_id, month, year, i_type, d5) "
        "values (:w, 11, 2026, 7777, 4)",
        {{"w", abramov}});
    run("insert into accounts_dep.h_tabel (w_id, month, year, smena) values (:w, 11, 2026, 1)",
        {{"w", borisov}});
    QStringList days;
    for (int d = 1; d <= 31; ++d)
        days << QString::number(d);
    const QString header = days.join(' ') + " Итого";
    EXPECT_EQ(write(reports::shiftTimesheetDocument(db, 11, 2026, "Ноябрь")),
              QStringList("Ноябрь 2026 г. " + header +
                          "\nАбрамов Иван Петрович 10 8 0 4 22\nБорисов Олег Ильич\n1"));
    EXPECT_EQ(write(reports::shiftTimesheetDocument(db, 12, 2026, "Декабрь")),
              QStringList("Декабрь 2026 г. " + header + "\n1"));
}

TEST_F(ReportsTest, DialogPeriodKindAndRoles) {
    ReportsDialog dialog(*ctx);
    EXPECT_EQ(dialog.objectName(), "TForm18");
    EXPECT_EQ(dialog.windowTitle(), "Отчеты (8)");
    // The previous month, whatever day it is; January reaches back a year.
    const struct {
        QDate today, from, to;
    } periods[] = {
        {{2027, 1, 15}, {2026, 12, 1}, {2027, 1, 1}},
        {{2026, 3, 31}, {2026, 2, 1}, {2026, 3, 1}},
        {{2026, 12, 1}, {2026, 11, 1}, {2026, 12, 1}},
    };
    dialog.kindButton(ProductKind::Blanks)->setChecked(true);
    for (const auto& p : periods) {
        dialog.today = [&] { return p.today; };
        dialog.resetPeriod();
        EXPECT_EQ(dialog.fromPicker()->date(), p.from) << p.today.toString().toStdString();
        EXPECT_EQ(dialog.toPicker()->date(), p.to);
    }
    // The kind stays as the user left it.
    const reports::SummaryRequest r = dialog.request(SummaryReport::ProductsDetail);
    EXPECT_EQ(r.kind, ProductKind::Blanks);
    EXPECT_EQ(r.report, SummaryReport::ProductsDetail);
    EXPECT_EQ(dialog.excelButton()->text(), "Excel (0 из 0)");

    // What each role keeps: the foreman and the warehouse only the detailed
    // report by products, the warehouse for finished goods only.
    const struct {
        Role role;
        bool others; // the other three reports
        bool kindFree;
    } roles[] = {{Role::Administrator, true, true},
                 {Role::Office, true, true},
                 {Role::Foreman, false, true},
                 {Role::Warehouse, false, false}};
    for (const auto& c : roles) {
        ReportsDialog d(*ctx);
        d.applyRole(c.role);
        for (SummaryReport report :
             {SummaryReport::Workers, SummaryReport::Products, SummaryReport::WorkersDetail})
            EXPECT_EQ(d.reportButton(report)->isEnabled(), c.others) << int(c.role);
        EXPECT_TRUE(d.reportButton(SummaryReport::ProductsDetail)->isEnabled());
        EXPECT_TRUE(d.exitButton()->isEnabled());
        EXPECT_FALSE(d.excelButton()->isEnabled()); // the export is not wired here
        EXPECT_EQ(d.kindGroup()->isEnabled(), c.kindFree);
        if (!c.kindFree) {
            EXPECT_EQ(d.request(SummaryReport::ProductsDetail).kind, ProductKind::Finished);
        }
    }
}

// The preview opens maximised, zoomed, on the report's pages.
struct PreviewSeen {
    bool maximised = false;
    QPrintPreviewWidget::ZoomMode zoom = QPrintPreviewWidget::CustomZoom;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int pages = 0;

    std::function<void(QPrintPreviewDialog&)> recorder() {
        return [this](QPrintPreviewDialog& d) {
            maximised = d.windowState() & Qt::WindowMaximized;
            orientation = d.printer()->pageLayout().orientation();
            auto* view = d.findChild<QPrintPreviewWidget*>();
            zoom = view->zoomMode();
            view->updatePreview();
            pages = view->pageCount();
        };
    }
};

TEST_F(ReportsTest, PreviewsOpenMaximisedOnThePages) {
    ReportsDialog dialog(*ctx);
    dialog.fromPicker()->setDate(kFrom);
    dialog.toPicker()->setDate(kTo);
    PreviewSeen report;
    dialog.runPreview = report.recorder();
    dialog.printReport(SummaryReport::WorkersDetail);
    EXPECT_TRUE(report.maximised);
    EXPECT_EQ(report.zoom, QPrintPreviewWidget::FitToWidth);
    EXPECT_EQ(report.orientation, QPageLayout::Portrait);
    EXPECT_EQ(report.pages, 1);

    PreviewSeen sheet;
    reports::printShiftTimesheet(nullptr, db, 11, 2026, "Ноябрь", sheet.recorder());
    EXPECT_TRUE(sheet.maximised);
    EXPECT_EQ(sheet.zoom, QPrintPreviewWidget::FitInView);
    EXPECT_EQ(sheet.orientation, QPageLayout::Landscape);
    EXPECT_EQ(sheet.pages, 1);
}

TEST_F(ReportsTest, BatchWritesTheSamePagesAsPdf) {
    const QString file = dir.filePath("batch.pdf");
    const BatchRun detail = runBatch(dbName, {"report", "workers-detail", "--from", "2026-11-01",
                                              "--to", "01.12.2026", "--pdf", file});
    ASSERT_EQ(detail.exitCode, 0) << detail.err.toStdString();
    EXPECT_TRUE(detail.out.contains("страниц: 1")) << detail.out.toStdString();
    const QString page = pdfPages(file).value(0);
    EXPECT_TRUE(page.startsWith("Детальный отчет по рабочим за период с ")) << page.toStdString();
    EXPECT_TRUE(page.contains("Цена ср. сд. за 1 ч.: 13,66 11,38\n")) << page.toStdString();

    const BatchRun blanks = runBatch(dbName, {"report", "products", "--from", "2026-11-01", "--to",
                                              "2026-12-01", "--kind", "blanks", "--pdf", file});
    ASSERT_EQ(blanks.exitCode, 0) << blanks.err.toStdString();
    const QString blanksPage = pdfPages(file).value(0);
    EXPECT_TRUE(blanksPage.contains("Заготовки Покраска (грунт) 7,5 3\n"));
    EXPECT_FALSE(blanksPage.contains("Готовая продукция"));

    run("insert into accounts_dep.h_tabel (w_id, month, year, smena, d3) values (:w, 2, 2027, 1, "
        "8)",
        {{"w", borisov}});
    const BatchRun sheet =
        runBatch(dbName, {"print-timesheet", "--month", "2", "--year", "2027", "--pdf", file});
    ASSERT_EQ(sheet.exitCode, 0) << sheet.err.toStdString();
    EXPECT_TRUE(pdfPages(file).value(0).startsWith("Февраль 2027 г. 1 2 3"));
    EXPECT_TRUE(pdfPages(file).value(0).contains("\nБорисов Олег Ильич 8 8\n"));
}

TEST_F(ReportsTest, BatchRefusesBadArgumentsAndUnwritableFiles) {
    const QString file = dir.filePath("never.pdf");
    const QStringList period{"--from", "2026-11-01", "--to", "2026-12-01"};
    const struct {
        QStringList args;
        QString says;
    } cases[] = {
        {{"report"}, "Не задан отчет"},
        {QStringList{"report", "everything"} + period + QStringList{"--pdf", file},
         "Неизвестный отчет «everything»"},
        {{"report", "workers", "--from", "2026-13-01", "--to", "2026-12-01", "--pdf", file},
         "нужна дата"},
        {QStringList{"report", "workers"} + period + QStringList{"--kind", "red", "--pdf", file},
         "допустимо: all, finished, blanks"},
        {QStringList{"report", "workers"} + period, "Не задан параметр --pdf"},
        {{"print-timesheet", "--month", "13", "--year", "2026", "--pdf", file}, "от 1 до 12"},
    };
    for (const auto& c : cases) {
        const BatchRun r = runBatch(dbName, c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(file));

    // A file where the folder should be: the job fails and leaves nothing.
    QFile blocker(dir.filePath("folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QStringList& job :
         {QStringList{"report", "workers"} + period,
          QStringList{"print-timesheet", "--month", "11", "--year", "2026"}}) {
        const BatchRun r =
            runBatch(dbName, job + QStringList{"--pdf", dir.filePath("folder/r.pdf")});
        EXPECT_EQ(r.exitCode, 1) << job.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("не удалось записать")) << r.err.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"folder"});
}

// The statements hand their rows over as one JSON text. One that does not
// read as rows is an error, never an empty report.
TEST(ReportRowsTest, ATextThatIsNotRowsIsAnError) {
    EXPECT_EQ(reports::jsonRows(R"([[1, "a"], [null, "b"]])", 2, "q").size(), 2);
    EXPECT_EQ(reports::jsonRows("[]", 2, "q").size(), 0);
    for (const char* text : {"", R"([[1, "a"], [2, )", R"({"rows": []})", "[1]", R"([[1]])"}) {
        try {
            reports::jsonRows(text, 2, "select rows");
            ADD_FAILURE() << "read as rows: " << text;
        } catch (const DbError& e) {
            EXPECT_TRUE(e.text().startsWith("Строки отчета не прочитаны: ")) << text;
            EXPECT_EQ(e.statement(), "select rows");
        }
    }
}

} // namespace

namespace {

// A report's rows as the statement sends them, one column of each: `expr`
// over `r`, a row's JSON array, and `at(name)` for a column's place.
QStringList reportColumn(const QSqlDatabase& db, const sql::ReportStatement& s, const QString& expr,
                         const QDate& from, const QDate& to) {
    QString e = expr;
    for (int i = 0; i < s.columns.size(); ++i)
        e.replace("at(" + s.columns[i] + ")", QStringLiteral("(r ->> %1)").arg(i));
    QStringList out;
    QSqlQuery q =
        exec(db, QStringLiteral("select %1 from json_array_elements((%2)::json) r").arg(e, s.sql),
             {{"d1", from}, {"d2", to}, {"kind", -1}});
    while (q.next())
        out << (q.isNull(0) ? QStringLiteral("∅") : q.value(0).toString());
    return out;
}

TEST_F(ReportsTest, WorkersFoundByCodesWrittenAnyWayCountInTheTotals) {
    // Registry keys start far above these numbers: only the codes find them.
    addPerson("Пробелов", " 12");
    addPerson("Нулёв", "0000443");
    addPerson("Второй", "077"); // the lower key, but not written exactly
    addPerson("Точный", "77");
    addPerson("Клиент", "ДОГ-17/а");
    addPerson("Без кода", "");
    addPerson("Код не задан", QVariant(QMetaType(QMetaType::QString)));
    const int oper = scalar("select min(id) from accounts_dep.oper").toInt();
    for (const int worker : {12, 443, 77})
        addRecord(
            {.worker = worker, .oper = oper, .date = kFrom.addDays(2), .qty = 3, .price = 2.5});
    const QString total = scalar("select round(sum((kol_vo - brak) * cena)::numeric, 2)::text "
                                 "from accounts_dep.smena where data >= :f and data < :t",
                                 {{"f", kFrom}, {"t", kTo}})
                              .toString();
    ASSERT_EQ(total, "219.25"); // 196.75 of the fixture, 3 × 3 × 2.50

    QStringList expected{"12 Пробелов", "443 Нулёв", "77 Точный",
                         QString("%1 Абрамов Иван Петрович").arg(abramov),
                         QString("%1 Борисов Олег Ильич").arg(borisov)};
    expected.sort();
    for (const auto& s : {sql::reportByWorkers(), sql::reportByWorkersDetailed()}) {
        EXPECT_EQ(reportColumn(db, s, "sum(at(summa)::numeric)::text", kFrom, kTo),
                  QStringList{total});
        // Each worker once, under one name.
        QStringList named = reportColumn(db, s, "distinct at(w_id) || ' ' || at(fio)", kFrom, kTo);
        named.sort();
        EXPECT_EQ(named, expected);
    }
}

TEST_F(ReportsTest, HugeStoredHoursAndSumsStillReport) {
    // Stored by plain SQL, beyond what any box lets through.
    addFatigue(abramov, 7777, 0, kFrom.addDays(3), 999999999, "150", 0);
    const int oper = scalar("select min(id) from accounts_dep.oper").toInt();
    addRecord({.worker = borisov,
               .oper = oper,
               .date = kFrom.addDays(3),
               .qty = 1000000000,
               .price = 150});
    const auto text = [](const reportengine::Value& v) {
        return v.isNumber() ? v.asNumber().toString(2, QLocale::c()) : v.asText();
    };
    const auto valueOf = [&](const reportengine::ReportData& d, const QString& fio,
                             const QString& field, const QString& where = {},
                             const QString& is = {}) {
        QStringList found;
        for (int r = 0; r < d.rowCount(); ++r)
            if (text(d.value(r, d.fieldIndex("fio"))) == fio &&
                (where.isEmpty() || text(d.value(r, d.fieldIndex(where))) == is))
                found << text(d.value(r, d.fieldIndex(field)));
        found.removeDuplicates();
        return found;
    };

    const reportengine::ReportData workers =
        reports::readSummaryReport(db, {SummaryReport::Workers, kFrom, kTo, ProductKind::All});
    // 3 × 100 + 2 × 150.50 + 999,999,999 × 150
    EXPECT_EQ(valueOf(workers, "Абрамов Иван Петрович", "f_sum78"), QStringList{"150000000451.00"});
    EXPECT_EQ(text(*workers.variable("f_sum7_all")), "150000000200.00");
    EXPECT_TRUE(valueOf(workers, "Борисов Олег Ильич", "summa").contains("150000000000.00"));

    const reportengine::ReportData detail = reports::readSummaryReport(
        db, {SummaryReport::WorkersDetail, kFrom, kTo, ProductKind::All});
    EXPECT_EQ(valueOf(detail, "Абрамов Иван Петрович", "f_sum7h"), QStringList{"1000000002.00"});
    EXPECT_EQ(valueOf(detail, "Абрамов Иван Петрович", "f_sum7"), QStringList{"150000000150.00"});
    EXPECT_TRUE(valueOf(detail, "Борисов Олег Ильич", "kolvo").contains("1000000000.00"));
}

// A plant's month: totals of six digits and more in the closing line's
// larger type, a long product mark and operation type, a long name.
TEST_F(ReportsTest, ClosingNumbersAndLongNamesPrintWhole) {
    const int cabinets = addGroup("Шкафы");
    const int cabinet = addProduct("ШР-4/500 (шкаф распределительный)");
    run("update cmn_gds_and_srv.gds_and_srv set id_class_item = :g, massa = 1.62 where id = :p",
        {{"g", cabinets}, {"p", cabinet}});
    const int powder = addOper(cabinet, addVid("Покраска (порошковая краска)"), 1);
    addRecord({.worker = abramov,
               .oper = powder,
               .date = QDate(2026, 11, 20),
               .qty = 163050,
               .brak = 1234,
               .price = 5.4});
    const reportengine::Document doc =
        reports::summaryDocument(db, {SummaryReport::ProductsDetail, kFrom, kTo, ProductKind::All},
                                 QLocale(QLocale::Russian, QLocale::Russia));
    expectEveryCellFits(doc);
    const QStringList detailed = write(doc);
    ASSERT_EQ(detailed.size(), 1);
    // Every closing number stands apart: rejects, boxes, quantity, amount.
    const QString closing = detailed[0].section("\nИтого: ", 1).section('\n', 0, 0);
    EXPECT_EQ(closing.split(' '), QStringList({"1237", "264183,4", "163078", "874003,15"}))
        << detailed[0].toStdString();
    for (const QString& name :
         QStringList{"ШР-4/500 (шкаф распределительный)", "Покраска (порошковая краска)"})
        EXPECT_TRUE(printsWhole(detailed[0].section("\nСтеллажи", 1), name))
            << name.toStdString() << "\n"
            << detailed[0].toStdString();
    const QStringList byWorkers = pages(SummaryReport::WorkersDetail);
    EXPECT_TRUE(printsWhole(byWorkers.join('\n'), "ШР-4/500 (шкаф распределительный)"))
        << byWorkers.join('\n').toStdString();

    // The printed time sheet: a name of 54 letters keeps its initials.
    const QString longName = "Римский-Корсаков-Задунайский Константин Александрович";
    const int worker = addWorker(longName);
    run("insert into accounts_dep.h_tabel (w_id, month, year, smena, d1, d31) "
        "values (:w, 12, 2026, 1, 8, 12)",
        {{"w", worker}});
    const reportengine::Document sheet = reports::shiftTimesheetDocument(db, 12, 2026, "Декабрь");
    expectEveryCellFits(sheet);
    const QString sheetPage = write(sheet).value(0);
    EXPECT_TRUE(printsWhole(sheetPage, longName)) << sheetPage.toStdString();
    EXPECT_TRUE(sheetPage.contains("8 12 20")) << sheetPage.toStdString();
}

} // namespace

// A brigade member's share keeps three decimals; the worker reports show it
// as stored rather than cut to hundredths.
TEST_F(ReportsTest, WorkerReportsShowDecimalQuantitiesAsStored) {
    const int oper = scalar("select min(id) from accounts_dep.oper").toInt();
    addRecord({.worker = borisov, .oper = oper, .date = kFrom.addDays(4), .qty = 1, .price = 3});
    exec(db, "update accounts_dep.smena set kol_vo = 3.333 where w_id = :w and data = :d",
         {{"w", borisov}, {"d", kFrom.addDays(4)}});
    for (SummaryReport kind : {SummaryReport::Workers, SummaryReport::WorkersDetail}) {
        const reportengine::ReportData d =
            reports::readSummaryReport(db, {kind, kFrom, kTo, ProductKind::All});
        QStringList quantities;
        for (int r = 0; r < d.rowCount(); ++r) {
            const reportengine::Value v = d.value(r, d.fieldIndex("kolvo"));
            if (v.isNumber())
                quantities << v.asNumber().toString(3, QLocale::c());
        }
        EXPECT_TRUE(quantities.contains("3.333")) << quantities.join(' ').toStdString();
    }
}
