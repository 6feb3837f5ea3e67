// Pages laid out as the rows arrive are the pages laid out over every row
// at once: on the engine's own layouts and on the summary reports of a
// small plant; and they are handed over before the last row has come.
#include "pdf_text.h"
#include "reportengine/document.h"
#include "reportengine/preview.h"
#include "reportengine/render.h"
#include "reports/summary_pages.h"
#include "reports/summary_reports.h"
#include "reports/summary_stream.h"
#include "reports/timesheet_print.h"
#include "test_support.h"

#include <QAction>
#include <QCoreApplication>
#include <QGraphicsView>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace reportengine;
using namespace tabel;
using tabel::test::pdfPages;

namespace {

// Everything a page prints, as text, so that two pages compare whole.
QString describe(const Page& page) {
    QString out;
    for (const PlacedText& t : page.texts)
        out += QStringLiteral("%1,%2,%3,%4 %5|%6 a%7 b%8 s%9 f%10 n%11\n")
                   .arg(t.rect.x())
                   .arg(t.rect.y())
                   .arg(t.rect.width())
                   .arg(t.rect.height())
                   .arg(t.text, t.lines.join(QChar('/')))
                   .arg(int(t.align))
                   .arg(t.bold)
                   .arg(t.fontSize)
                   .arg(t.frame)
                   .arg(t.number);
    for (const QLineF& l : page.lines)
        out += QStringLiteral("line %1,%2 %3,%4\n").arg(l.x1()).arg(l.y1()).arg(l.x2()).arg(l.y2());
    return out;
}

struct Laid {
    QStringList pages;
    QList<int> handedAfterRow; // per page: how many rows had been added when it came
    bool streams = false;
};

Laid layOutRows(const Layout& layout, const ReportData& data, bool keepEveryRow) {
    Laid laid;
    int added = 0;
    PageStream stream(
        layout, data, QLocale::c(),
        [&](Page&& page) {
            laid.pages << describe(page);
            laid.handedAfterRow << added;
        },
        keepEveryRow);
    laid.streams = stream.streams();
    for (int i = 0; i < data.rowCount(); ++i, ++added)
        stream.add(data.row(i));
    stream.finish();
    EXPECT_EQ(stream.pagesDone(), laid.pages.size());
    return laid;
}

// The streamed pages against the pages over every row at once, and against
// layOut's; returns the streamed ones.
Laid expectSamePages(const Layout& layout, const ReportData& data, const std::string& what) {
    const Laid whole = layOutRows(layout, data, true);
    const Laid streamed = layOutRows(layout, data, false);
    EXPECT_EQ(streamed.pages.size(), whole.pages.size()) << what;
    for (qsizetype i = 0; i < std::min(streamed.pages.size(), whole.pages.size()); ++i)
        EXPECT_EQ(streamed.pages[i], whole.pages[i]) << what << ", page " << i + 1;
    const Document doc = layOut(layout, data, QLocale::c());
    QStringList viaLayOut;
    for (const Page& p : doc.pages)
        viaLayOut << describe(p);
    EXPECT_EQ(viaLayOut, whole.pages) << what;
    return streamed;
}

// Two levels of groups: a header that prints its group's sum (it must see
// the group's last row before it prints), names that break into lines, a
// page header, sums per group and over the report, the page number.
Layout twoLevels(bool sumInReportHeader = false, bool fieldInPageFooter = false) {
    return Layout{
        .name = "levels",
        .groups = {{"g"}, {"h"}},
        .bands = {
            {.kind = BandKind::ReportHeader,
             .height = 8,
             .cells = {{.x = 0,
                        .width = 190,
                        .memo = sumInReportHeader ? "Всего [sum(v)]" : "Отчет [name]"}}},
            {.kind = BandKind::PageHeader,
             .height = 5,
             .cells = {{.x = 0, .width = 190, .memo = "Лист [PAGENUMBER], [g]"}}},
            {.kind = BandKind::GroupHeader,
             .level = 0,
             .height = 6,
             .cells = {{.x = 0, .width = 100, .memo = "[g]"},
                       {.x = 100, .width = 40, .memo = "[sum(v)]", .mask = "#0.00"}}},
            {.kind = BandKind::GroupHeader,
             .level = 1,
             .height = 5,
             .cells = {{.x = 5, .width = 100, .memo = "[h] ([sum(v)])"}}},
            {.kind = BandKind::Detail,
             .height = 5,
             .cells = {{.x = 10, .width = 30, .memo = "[name]", .frame = true},
                       {.x = 100, .width = 40, .memo = "[v]", .align = Align::Right}}},
            {.kind = BandKind::GroupFooter,
             .level = 1,
             .height = 5,
             .cells = {{.x = 5, .width = 140, .memo = "итого [h]: [sum(v)]"}}},
            {.kind = BandKind::GroupFooter,
             .level = 0,
             .height = 6,
             .cells = {{.x = 0, .width = 140, .memo = "Итого [g]: [sum(v*2)/2]"}},
             .ruleAbove = true},
            {.kind = BandKind::ReportFooter,
             .height = 12,
             .cells = {{.x = 0, .width = 120, .memo = "Всего: [sum(v)] по [name]"},
                       {.x = 120,
                        .width = 70,
                        .memo = "[IF(sum(v)>100,sum(v)/1.2,sum(-v))]",
                        .mask = "#0.000"}},
             .frame = true},
            {.kind = BandKind::PageFooter,
             .height = 6,
             .cells = {{.x = 100,
                        .width = 90,
                        .memo = fieldInPageFooter ? "[name] [PAGENUMBER]" : "Стр. [PAGENUMBER]",
                        .align = Align::Right}}}}};
}

// Groups `g` of `sizes[i]` rows, each of subgroups `h` of three rows; every
// seventh name long enough to take several lines.
ReportData rows(const QList<int>& sizes) {
    ReportData d("rows");
    d.setFields({"g", "h", "name", "v"}, {false, false, false, true});
    int n = 0;
    for (int g = 0; g < sizes.size(); ++g)
        for (int i = 0; i < sizes[g]; ++i, ++n) {
            const QString name = n % 7 == 3 ? QStringLiteral("Очень длинное название строки %1 "
                                                             "из нескольких слов")
                                                  .arg(n)
                                            : QStringLiteral("строка %1").arg(n);
            d.addRow(
                QVariantList{QStringLiteral("Группа %1").arg(g), i / 3, name,
                             QStringLiteral("%1.%2").arg(n % 13).arg(n % 100, 2, 10, QChar('0'))});
        }
    return d;
}

TEST(ReportStream, PagesAsTheRowsComeAreThePagesOverEveryRow) {
    const struct {
        const char* what;
        QList<int> sizes;
    } cases[] = {
        {"no rows", {}},
        {"one row", {1}},
        {"small groups on one page", {2, 3, 1}},
        {"a group over several pages", {4, 170, 2}},
        {"many groups over many pages", QList<int>(40, 11)},
    };
    for (const auto& c : cases) {
        const ReportData data = rows(c.sizes);
        const Laid laid = expectSamePages(twoLevels(), data, c.what);
        EXPECT_TRUE(laid.streams) << c.what;
    }
    // Layouts that cannot stream keep every row and still lay out the same.
    for (const auto& [layout, what] :
         {std::pair{twoLevels(true, false), "a sum in the report header"},
          std::pair{twoLevels(false, true), "a field in the page footer"}}) {
        const Laid laid = expectSamePages(layout, rows({4, 170, 2}), what);
        EXPECT_FALSE(laid.streams) << what;
        EXPECT_EQ(laid.handedAfterRow.value(0), 176) << what;
    }
}

// The printed time sheet: no groups, every row its own, the day titles at
// the top of every page.
TEST(ReportStream, TimesheetPagesAsTheRowsCome) {
    ReportData data("t");
    QStringList fields{"fio"};
    QList<bool> numeric{false};
    for (int d = 1; d <= 31; ++d) {
        fields << QStringLiteral("sd%1").arg(d);
        numeric << true;
    }
    data.setFields(fields, numeric);
    data.setVariable("title", Value::text("Ноябрь 2026 г."));
    for (int w = 0; w < 75; ++w) {
        QVariantList row{QStringLiteral("Работник %1 с длинной фамилией").arg(w)};
        for (int d = 1; d <= 31; ++d)
            row << ((w + d) % 4 == 0 ? QVariant() : QVariant(QStringLiteral("%1").arg(d % 9)));
        data.addRow(row);
    }
    const Laid laid = expectSamePages(tabel::reports::timesheetLayout(), data, "time sheet");
    EXPECT_TRUE(laid.streams);
    EXPECT_GT(laid.pages.size(), 1);
}

TEST(ReportStream, PagesAreHandedOverBeforeTheLastRow) {
    // Forty groups of eleven rows: a page is handed over once the group
    // that does not fit it is complete; no more than one group's rows wait.
    const Laid laid = layOutRows(twoLevels(), rows(QList<int>(40, 11)), false);
    ASSERT_GT(laid.pages.size(), 5);
    for (qsizetype i = 0; i + 1 < laid.pages.size(); ++i)
        EXPECT_LT(laid.handedAfterRow[i], 440) << "page " << i + 1;
    EXPECT_LE(laid.handedAfterRow[0], 11 * 6);
}

// The summary reports of a small plant: four months of a generated plant.
class SummaryPagesTest : public test::DbTest {
protected:
    const char* templateName() const override { return demoTemplate; }
};

TEST_F(SummaryPagesTest, SummaryReportsStreamTheirPages) {
    using reports::SummaryReport;
    for (const SummaryReport report :
         {SummaryReport::Workers, SummaryReport::Products, SummaryReport::WorkersDetail,
          SummaryReport::ProductsDetail}) {
        const reports::SummaryRequest request{report, QDate(2023, 11, 1), QDate(2024, 4, 1),
                                              reports::ProductKind::All};
        const ReportData data = reports::readSummaryReport(db, request, QLocale::c());
        const std::string what = "report " + std::to_string(int(report));
        ASSERT_GT(data.rowCount(), 50) << what;
        const Laid laid = expectSamePages(reports::summaryLayout(report), data, what);
        EXPECT_TRUE(laid.streams) << what;
        EXPECT_GT(laid.pages.size(), 2) << what;
        EXPECT_LT(laid.handedAfterRow.value(0), data.rowCount()) << what;

        // Read as a stream and laid out as it comes: summaryDocument's pages.
        const Document whole = reports::summaryDocument(db, request, QLocale::c());
        QStringList expected;
        for (const Page& p : whole.pages)
            expected << describe(p);
        QStringList streamed;
        reports::SummaryPages pages(db, request, QLocale::c(),
                                    [&](Page&& p) { streamed << describe(p); });
        EXPECT_EQ(pages.setup().title, whole.title);
        pages.finish();
        EXPECT_EQ(streamed, expected) << what;
    }
}

TEST(ReportStream, PdfWrittenPageByPageIsTheWholeDocument) {
    QTemporaryDir dir;
    const Document doc = layOut(twoLevels(), rows({4, 170, 2}), QLocale::c());
    const QString whole = dir.filePath("whole.pdf");
    ASSERT_EQ(writePdf(doc, whole), QString());
    const QString streamed = dir.filePath("streamed.pdf");
    PdfStream pdf(doc, streamed);
    ASSERT_EQ(pdf.error(), QString());
    for (const Page& p : doc.pages)
        pdf.add(p);
    EXPECT_FALSE(QFile::exists(streamed)); // not before it is complete
    ASSERT_EQ(pdf.finish(), QString());
    EXPECT_EQ(pdfPages(streamed), pdfPages(whole));
    EXPECT_EQ(pdfPages(streamed).size(), doc.pages.size());

    // A folder where the file should be: refused on opening, nothing left.
    PdfStream bad(doc, dir.filePath("no/such/folder.pdf"));
    EXPECT_FALSE(bad.error().isEmpty());
    bad.add(doc.pages[0]);
    EXPECT_FALSE(bad.finish().isEmpty());
}

// The preview opens on the first pages and shows the rest as they are laid
// out between its events; printing waits for the last page.
TEST(ReportStream, PreviewOpensOnTheFirstPagesAndGrows) {
    const ReportData data = rows(QList<int>(40, 11));
    const int total = int(layOut(twoLevels(), data, QLocale::c()).pages.size());
    ASSERT_GT(total, 5);
    for (const bool fails : {false, true}) {
        GrowingDocument growing;
        PageStream stream(twoLevels(), data, QLocale::c(),
                          [&](Page&& p) { growing.doc.pages.append(std::move(p)); });
        growing.doc.title = "Растущий";
        int next = 0;
        growing.more = [&] {
            if (fails && growing.doc.pages.size() > 2)
                throw std::runtime_error("чтение прервано");
            for (int i = 0; i < 5 && next < data.rowCount(); ++i)
                stream.add(data.row(next++));
            if (next < data.rowCount())
                return true;
            stream.finish();
            return false;
        };
        int opened = 0, complete = 0, top = -1, value = -2;
        bool printable = true, printableAtEnd = false;
        auto look = [&](QPrintPreviewDialog& dialog) {
            auto* preview = dialog.findChild<QPrintPreviewWidget*>();
            QAction* print = nullptr;
            for (QAction* a : dialog.findChildren<QAction*>())
                if (a->text() == QCoreApplication::translate("QPrintPreviewDialog", "Print"))
                    print = a;
            ASSERT_NE(print, nullptr);
            dialog.show();
            preview->updatePreview();
            opened = preview->pageCount();
            printable = print->isEnabled();
            if (fails) {
                EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 5000));
                return;
            }
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return preview->pageCount() == total && print->isEnabled(); }, 10000));
            complete = preview->pageCount();
            printableAtEnd = print->isEnabled();
            QScrollBar* bar = dialog.findChild<QGraphicsView*>()->verticalScrollBar();
            top = bar->minimum();
            value = bar->value();
            dialog.close();
        };
        if (fails) {
            EXPECT_THROW(showPreview(growing, nullptr, Zoom::PageWidth, look), std::runtime_error);
            continue;
        }
        showPreview(growing, nullptr, Zoom::PageWidth, look);
        EXPECT_GE(opened, 1);
        EXPECT_LT(opened, total);
        EXPECT_FALSE(printable);
        EXPECT_EQ(complete, total);
        EXPECT_TRUE(printableAtEnd);
        EXPECT_EQ(value, top);
    }
}

} // namespace
