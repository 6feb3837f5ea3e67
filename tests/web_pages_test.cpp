// The web view's pages against the program's own rules: a shift's journal,
// the four monthly sheets, a worker's statement (as HTML, and the PDF the
// batch command writes), the months and a record's history; escaping;
// the database's refusals and the links that lead nowhere.
#include "housekeeping/housekeeping_rules.h"
#include "journal/record_history.h"
#include "pdf_text.h"
#include "person_logins.h"
#include "reports/pay_statement.h"
#include "test_support.h"
#include "timesheets/month_closing.h"
#include "timesheets/monthly_sheet.h"
#include "timesheets/monthly_timesheet_window.h"
#include "timesheets/rebuilds.h"
#include "timesheets/sheet_look.h"
#include "web/pages.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>

using namespace tabel;
using namespace tabel::test;
using web::Page;

namespace {

const QDate kMonth(2026, 11, 1);
const QDate kDay(2026, 11, 10);
const web::Viewer kViewer{"office1", "Бухгалтер"};

QString html(const Page& p) {
    return QString::fromUtf8(p.body);
}

// The text of the element with `id`, tags left out.
QString byId(const QString& page, const QString& id) {
    const QRegularExpression re(QStringLiteral("id=\"%1\"[^>]*>(.*?)</").arg(id));
    return re.match(page).captured(1);
}

// What each row of a table with `attribute` holds in the cell of `cellClass`,
// by the attribute's value.
std::map<QString, QString> rowCells(const QString& page, const QString& attribute,
                                    const QString& cellClass) {
    std::map<QString, QString> out;
    const QRegularExpression row(
        QStringLiteral("<tr %1=\"([^\"]*)\"[^>]*>(.*?)</tr>").arg(attribute));
    const QRegularExpression cell(QStringLiteral("<td class=\"%1\">([^<]*)</td>").arg(cellClass));
    for (auto it = row.globalMatch(page); it.hasNext();) {
        const auto m = it.next();
        out[m.captured(1)] = cell.match(m.captured(2)).captured(1);
    }
    return out;
}

class WebPagesTest : public RolesTest {
protected:
    void SetUp() override {
        RolesTest::SetUp();
        if (HasFatalFailure())
            return;
        // The program shows numbers in Russian; the suite runs in the C locale.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        group = scalar("insert into cmn_classifier.item (id_level, s_caption, b_excluded) "
                       "values (2, 'Стеллажи', 0) returning id")
                    .toInt();
        const int rack = addProduct("СТ-1 <А&Б>");
        weld = addOper(rack, addVid("Сварка"));
        addNorm(weld, 12.5);
        abramov = addWorker("Абрамов <Иван> & Сын", "Цех №1");
        volkov = addWorker("Волков Пётр Ильич", "Цех №2");
        records << addRecord(
                       {.worker = abramov, .oper = weld, .date = kDay, .qty = 10, .price = 12.5})
                << addRecord({.worker = volkov,
                              .oper = weld,
                              .date = kDay,
                              .qty = 7,
                              .brak = 1,
                              .price = 12.3457,
                              .ok = "ok"})
                << addRecord({.worker = abramov,
                              .oper = weld,
                              .date = kDay.addDays(1),
                              .shift = 3,
                              .qty = 5,
                              .price = 15});
        addFatigue(abramov, 7777, group, kDay, 8, "150", 0);
        addFatigue(abramov, 7777, group, kDay.addDays(1), 4, "180", 1);
        addFatigue(volkov, 7778, group, kDay.addDays(2), 2, "1", 0);
        HousekeepingRules(db).recalculate(kMonth);
        rebuildMonth(db, SheetKind::Shifts, kMonth);
        rebuildMonth(db, SheetKind::Housekeeping, kMonth);
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        RolesTest::TearDown();
    }

    int group = 0;
    int weld = 0;
    int abramov = 0;
    int volkov = 0;
    QList<int> records;
};

TEST_F(WebPagesTest, JournalListsTheShiftWithTheProgramsNumbersAndEscapedTexts) {
    const Page p = web::journalPage(db, kViewer, kDay, 1);
    ASSERT_EQ(p.status, 200) << html(p).toStdString();
    const QString page = html(p);
    EXPECT_TRUE(page.startsWith("<!DOCTYPE html>"));
    EXPECT_TRUE(page.contains("<html lang=\"ru\">"));
    EXPECT_TRUE(page.contains("<table class=\"journal\">"));
    EXPECT_TRUE(
        page.contains("<form method=\"post\" action=\"/logout\"><button>Выйти</button></form>"));
    // Shift 1 of the day: the first two records, not the third (shift 3).
    EXPECT_TRUE(page.contains(QStringLiteral("<tr data-id=\"%1\">").arg(records[0])));
    EXPECT_TRUE(page.contains(QStringLiteral("<tr data-id=\"%1\">").arg(records[1])));
    EXPECT_FALSE(page.contains(QStringLiteral("data-id=\"%1\"").arg(records[2])));
    // 10 × 12.5 = 125.00 and 6 × 12.3457 = 74.07 (rounded as the list rounds).
    const QString expected =
        scalar("select sum(round((kol_vo - brak) * cena::numeric, 2))::text from "
               "accounts_dep.smena where data = :d and smena = 1",
               {{"d", kDay}})
            .toString()
            .replace('.', ',');
    EXPECT_EQ(expected, "199,07");
    EXPECT_EQ(byId(page, "journal-total"), expected);
    EXPECT_TRUE(page.contains(">125,00<"));
    EXPECT_TRUE(page.contains(">74,07<"));
    // Texts are escaped, never taken as markup.
    EXPECT_TRUE(page.contains("Абрамов &lt;Иван&gt; &amp; Сын"));
    EXPECT_TRUE(page.contains("СТ-1 &lt;А&amp;Б&gt;"));
    EXPECT_FALSE(page.contains("<Иван>"));
    EXPECT_FALSE(page.contains("<p class=\"closed\">"));
}

TEST_F(WebPagesTest, SheetsShowTheWindowsRowsAndTotals) {
    using Sheet = sql::MonthlySheet;
    MonthlyTimesheetWindow window(*ctx);
    for (const auto& [kind, name] : {std::pair{Sheet::Piecework, "piecework"},
                                     {Sheet::Housekeeping, "housekeeping"},
                                     {Sheet::AveragePiecework, "average"},
                                     {Sheet::General, "general"}}) {
        SCOPED_TRACE(name);
        const Page p = web::sheetPage(db, kViewer, 2026, 11, name);
        ASSERT_EQ(p.status, 200) << html(p).toStdString();
        const QString page = html(p);
        EXPECT_TRUE(page.contains("<table class=\"sheet\">"));

        window.prepare(kind, kMonth);
        int payColumn = -1;
        for (int c = 0; c < window.model().columnCount(); ++c)
            if (window.model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() ==
                "Итого (р.)")
                payColumn = c;
        ASSERT_GE(payColumn, 0);
        std::map<QString, QString> shown;
        for (int r = 0; r < window.model().rowCount(); ++r) {
            const QString worker = window.sheet().value(r, "id").toString();
            // A worker with day and night rows has one row of each: the
            // page's row for the number keeps the last.
            shown[worker] = window.model().data(window.model().index(r, payColumn)).toString();
        }
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(rowCells(page, "data-worker", "total"), shown);
        const QString label = QString::fromUtf8(kMonthlyTotalLabels[monthlyTotalOf(kind)]);
        EXPECT_FALSE(window.total(label).isEmpty());
        EXPECT_EQ(byId(page, "sheet-total"), window.total(label));
        EXPECT_TRUE(window.total(label).contains(',')) << window.total(label).toStdString();
    }
}

TEST_F(WebPagesTest, ClosedMonthIsMarkedOnItsJournalAndSheets) {
    ASSERT_TRUE(MonthClosing(db).close(2026, 11, "выдано").outcome.done());
    for (const Page& p : {web::journalPage(db, kViewer, kDay, 1),
                          web::sheetPage(db, kViewer, 2026, 11, "general")}) {
        ASSERT_EQ(p.status, 200);
        EXPECT_TRUE(html(p).contains("<p class=\"closed\">Месяц закрыт</p>"));
    }
    const Page open = web::journalPage(db, kViewer, QDate(2026, 10, 5), 1);
    EXPECT_FALSE(html(open).contains("class=\"closed\""));

    const QString months = html(web::monthsPage(db, kViewer));
    EXPECT_TRUE(months.contains("<table class=\"months\">"));
    const QRegularExpression november("<tr data-month=\"2026-11\"[^>]*>(.*?)</tr>");
    const QString row = november.match(months).captured(1);
    EXPECT_TRUE(row.contains("Закрыт")) << row.toStdString();
    EXPECT_TRUE(row.contains("выдано")) << row.toStdString();
    const ClosingMonth closed = closingMonths(db).front();
    EXPECT_TRUE(row.contains(closed.closedAt.toString("dd.MM.yyyy HH:mm"))) << row.toStdString();
    EXPECT_TRUE(row.contains(closed.closedBy.toHtmlEscaped())) << row.toStdString();
}

TEST_F(WebPagesTest, StatementShowsTheProgramsTotalAndItsPdfIsTheBatchCommands) {
    const Page p = web::statementPage(db, kViewer, 2026, 11, abramov);
    ASSERT_EQ(p.status, 200) << html(p).toStdString();
    const QString page = html(p);
    const reports::PayStatement s = reports::readPayStatements(db, kMonth, abramov).first();
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    // 125 + 75 pieces; 8 × 150 + 4 × 180 housekeeping.
    EXPECT_EQ(s.total().toString(2, ru), "2120,00");
    EXPECT_EQ(byId(page, "statement-total"), s.total().toString(2, ru));
    EXPECT_EQ(byId(page, "statement-worker"), "Абрамов &lt;Иван&gt; &amp; Сын");
    EXPECT_TRUE(page.contains(QStringLiteral("href=\"/statement/2026/11/%1.pdf\"").arg(abramov)));
    EXPECT_TRUE(page.contains(">125,00<"));

    const Page pdf = web::statementPdf(db, 2026, 11, abramov);
    ASSERT_EQ(pdf.status, 200) << pdf.body.left(300).toStdString();
    EXPECT_EQ(pdf.contentType, "application/pdf");
    QTemporaryDir dir;
    const QString served = dir.filePath("served.pdf");
    const QString written = dir.filePath("batch.pdf");
    QFile f(served);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pdf.body);
    f.close();
    const BatchRun r = runBatch(dbName, {"pay-statement", "--month", "11", "--year", "2026",
                                         "--worker", QString::number(abramov), "--pdf", written});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList batchPages = pdfPages(written);
    ASSERT_FALSE(batchPages.isEmpty());
    EXPECT_EQ(pdfPages(served), batchPages);
}

TEST_F(WebPagesTest, HistoryListsEveryChangeOfTheRecord) {
    run("update accounts_dep.smena set kol_vo = 11 where id = :id", {{"id", records[0]}});
    run("update accounts_dep.smena set ok = 'ok' where id = :id", {{"id", records[0]}});
    const QList<HistoryEntry> entries = recordHistory(db, "smena", records[0]);
    ASSERT_EQ(entries.size(), 3);
    const Page p = web::historyPage(db, kViewer, "smena", records[0]);
    ASSERT_EQ(p.status, 200) << html(p).toStdString();
    const QString page = html(p);
    const QString body = QRegularExpression("<table class=\"history\">.*?<tbody>(.*?)</tbody>")
                             .match(page)
                             .captured(1);
    EXPECT_EQ(body.count("<tr>"), entries.size());
    for (const HistoryEntry& e : entries)
        EXPECT_TRUE(body.contains(historyChanges(e).toHtmlEscaped()))
            << historyChanges(e).toStdString();
}

// What the program never built is not built by looking at it: the page
// reads, and shows the sheet as stored.
TEST_F(WebPagesTest, PagesOnlyRead) {
    addRecord(
        {.worker = volkov, .oper = weld, .date = QDate(2026, 12, 3), .qty = 3, .price = 12.5});
    run("delete from accounts_dep.h_tabel where year = 2026 and month = 12");
    const QString before = fingerprint();
    const Page sheet = web::sheetPage(db, kViewer, 2026, 12, "piecework");
    EXPECT_EQ(sheet.status, 200);
    EXPECT_TRUE(html(sheet).contains("<p class=\"note\">"));
    EXPECT_EQ(web::journalPage(db, kViewer, QDate(2026, 12, 3), 1).status, 200);
    EXPECT_EQ(web::statementPage(db, kViewer, 2026, 12, volkov).status, 200);
    EXPECT_EQ(web::monthsPage(db, kViewer).status, 200);
    EXPECT_EQ(fingerprint(), before);
}

TEST_F(WebPagesTest, ThePersonsOwnRightsDecide) {
    QSqlDatabase foreman = personOf("tabel_foreman", "foreman");
    EXPECT_EQ(web::journalPage(foreman, kViewer, kDay, 1).status, 200);
    EXPECT_EQ(web::sheetPage(foreman, kViewer, 2026, 11, "piecework").status, 200);

    // A login of no group may read nothing of ours.
    const QString login = "p_nobody_" + QString::number(abramov);
    run(QStringLiteral("create role %1 login").arg(login));
    QString string = connectionString(dbName, testSocket());
    string.replace("UID=sys;PWD=wuxamez", "UID=" + login + ";PWD=");
    {
        QSqlDatabase nobody = openDatabase(string, dbName + "_nobody");
        for (const Page& p :
             {web::journalPage(nobody, kViewer, kDay, 1),
              web::sheetPage(nobody, kViewer, 2026, 11, "general"),
              web::statementPage(nobody, kViewer, 2026, 11, abramov),
              web::statementPdf(nobody, 2026, 11, abramov), web::monthsPage(nobody, kViewer),
              web::historyPage(nobody, kViewer, "smena", records[0])}) {
            EXPECT_EQ(p.status, 403);
            const QString page = html(p);
            EXPECT_TRUE(page.contains("<p class=\"error\">Недостаточно прав: просмотр данных"))
                << page.toStdString();
            EXPECT_FALSE(page.contains("accounts_dep")) << page.toStdString();
            EXPECT_FALSE(page.contains("permission")) << page.toStdString();
        }
        nobody.close();
    }
    QSqlDatabase::removeDatabase(dbName + "_nobody");
    run(QStringLiteral("drop role %1").arg(login));
}

TEST_F(WebPagesTest, LinksThatLeadNowhere) {
    const struct {
        const char* what;
        Page page;
        int status;
    } cases[] = {
        {"unknown worker", web::statementPage(db, kViewer, 2026, 11, 987654), 404},
        {"unknown worker's pdf", web::statementPdf(db, 2026, 11, 987654), 404},
        {"worker 0", web::statementPage(db, kViewer, 2026, 11, 0), 404},
        {"month 13", web::sheetPage(db, kViewer, 2026, 13, "piecework"), 404},
        {"month 0 of a statement", web::statementPage(db, kViewer, 2026, 0, abramov), 404},
        {"unknown sheet", web::sheetPage(db, kViewer, 2026, 11, "shift"), 404},
        {"shift 5", web::journalPage(db, kViewer, kDay, 5), 404},
        {"no date", web::journalPage(db, kViewer, QDate(), 1), 400},
        {"unknown table", web::historyPage(db, kViewer, "pg_authid", records[0]), 404},
        {"unknown record", web::historyPage(db, kViewer, "smena", 99999999), 404},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.page.status, c.status) << c.what;
        EXPECT_TRUE(html(c.page).contains("<p class=\"error\">")) << c.what;
    }
}

TEST(WebFormsTest, LoginAndErrorPagesKeepTheContract) {
    const QString login =
        QString::fromUtf8(web::loginPage("Неверный пароль <b>", "ivan\"<x>", 401).body);
    EXPECT_EQ(web::loginPage({}, {}).status, 200);
    EXPECT_TRUE(login.contains("<form id=\"login\" method=\"post\" action=\"/login\">"));
    EXPECT_TRUE(login.contains("name=\"user\" value=\"ivan&quot;&lt;x&gt;\""));
    EXPECT_TRUE(login.contains("name=\"password\" type=\"password\""));
    EXPECT_TRUE(login.contains("<p class=\"error\">Неверный пароль &lt;b&gt;</p>"));
    for (const char* text :
         {"Вход в Табель", "Пользователь", "Пароль", "Войти",
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">",
          "<link rel=\"stylesheet\" href=\"/style.css\">"})
        EXPECT_TRUE(login.contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(login.contains("Выйти"));

    const Page error = web::errorPage(404, "Нет <такого>", &kViewer);
    EXPECT_EQ(error.status, 404);
    EXPECT_TRUE(
        QString::fromUtf8(error.body).contains("<p class=\"error\">Нет &lt;такого&gt;</p>"));
    EXPECT_TRUE(QString::fromUtf8(error.body).contains("Бухгалтер"));
    EXPECT_FALSE(web::stylesheet().isEmpty());
}

TEST_F(WebPagesTest, HomeLeadsToTodaysJournalThisMonthsSheetsAndTheMonths) {
    const QString page = html(web::homePage(db, kViewer));
    const QDate today = QDate::currentDate();
    for (int shift = 1; shift <= 4; ++shift)
        EXPECT_TRUE(page.contains(
            QStringLiteral("href=\"/journal/%1/%2\"").arg(today.toString(Qt::ISODate)).arg(shift)));
    for (const char* kind : {"piecework", "housekeeping", "average", "general"})
        EXPECT_TRUE(page.contains(QStringLiteral("href=\"/sheets/%1/%2/%3\"")
                                      .arg(today.year())
                                      .arg(today.month(), 2, 10, QLatin1Char('0'))
                                      .arg(kind)))
            << kind;
    EXPECT_TRUE(page.contains("href=\"/months\""));

    // Whoever is not shown pay is not led to it either.
    web::Viewer foreman = kViewer;
    foreman.seesPay = false;
    for (const QString& other :
         {html(web::homePage(db, foreman)), html(web::monthsPage(db, foreman))}) {
        EXPECT_FALSE(other.contains("href=\"/sheets/")) << other.toStdString();
        EXPECT_TRUE(other.contains("href=\"/months\""));
    }
}

} // namespace
