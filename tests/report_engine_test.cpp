// The report engine on its own: expressions and masks, grouping and paging,
// and the PDF file, without a database.
#include "pdf_text.h"
#include "report_fit.h"
#include "reportengine/document.h"
#include "reportengine/expression.h"
#include "reportengine/preview.h"
#include "reportengine/render.h"

#include <QDir>
#include <QFile>
#include <QGraphicsView>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace reportengine;
using tabel::test::expectEveryCellFits;
using tabel::test::pdfPages;
using tabel::test::printsWhole;

namespace {

// One row: a = 12.345, b = 0, e empty, color = 3005, name 'Лист'; and the
// variable total = 100.
ReportData oneRow() {
    ReportData d("q");
    d.setFields({"a", "b", "e", "color", "name"}, {true, true, true, true, false});
    d.addRow(QVariantList{"12.345", "0", QVariant(), 3005, "Лист"});
    d.setVariable("total", Value::number(Decimal::fromInteger(100)));
    return d;
}

QString print(const QString& expression, const QString& mask, const QLocale& locale = QLocale::c(),
              const ReportData& data = oneRow()) {
    Scope s;
    s.data = &data;
    s.row = 0;
    s.first = 0;
    s.last = 0;
    s.page = 7;
    s.locale = locale;
    return formatValue(Expression::compile(expression, data).evaluate(s), Mask::parse(mask), 2,
                       locale);
}

TEST(ReportEngine, ExpressionsAndMasksPrintExactly) {
    const QString suffix = "if(color>0,if(color=1,' (грунт)',' (RAL: '+STR(color)+')'),' ')";
    struct Case {
        QString expression, mask, printed;
    } cases[] = {
        // masks round half away from zero, with exactly their decimals
        {"a", "#0.00", "12.35"},
        {"a", "#0.000", "12.345"},
        {"a", "#0", "12"},
        {"-a", "#0.00", "-12.35"},
        {"0.005", "#0.00", "0.01"},
        {"a", "", "12.35"}, // the default form: two decimals at most, no zeros at the end
        {"total", "", "100"},
        {"q.a*2", "#0.000", "24.690"}, // qualified by the query's name
        {"a/1.2", "#0.000", "10.288"},
        {"0.1+0.2", "#0.0000000000", "0.3000000000"}, // no binary rounding
        // empty values and division by zero
        {"a/b", "#0.00", ""},
        {"e", "#0.00", ""},
        {"e+e", "#0.00", ""},
        {"e+a+e", "#0.00", "12.35"}, // an empty field counts 0 in a sum
        {"e*2", "#0.00", ""},
        {"sum(e)", "#0.00", "0.00"},
        {"sum(a)/sum(b)/1.2", "#0.00", ""},
        // conditions, texts, the page
        {"IF(b=0,'Готовая продукция','Заготовки')", "", "Готовая продукция"},
        {"if(e=0,'да','нет')", "", "нет"},
        {suffix, "", " (RAL: 3005)"},
        {"name+STR(a)", "", "Лист12.345"},
        {"PAGENUMBER", "", "7"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(print(c.expression, c.mask), c.printed) << c.expression.toStdString();

    // The user's locale gives the decimal sign.
    EXPECT_EQ(print("a", "#0.00", QLocale(QLocale::Russian, QLocale::Russia)), "12,35");

    for (const QString bad : {"nosuch+1", "other.a", "sum(sum(a))", "IF(a,1)", "(a", "a $ 2"})
        EXPECT_THROW(Expression::compile(bad, oneRow()), ExpressionError) << bad.toStdString();
}

TEST(ReportEngine, TextsThatReadAsNumbersCountAsNumbersBesideNumbers) {
    // Text fields (as a query that casts to text delivers them): t = '10',
    // w = 'abc', p = ' 2.5 '; a number field n = 9.
    ReportData d("q");
    d.setFields({"t", "w", "p", "n"}, {false, false, false, true});
    d.addRow(QVariantList{"10", "abc", " 2.5 ", "9"});
    const struct {
        QString expression, printed;
    } cases[] = {
        {"t>9", "1"},
        {"t>n", "1"},
        {"9<t", "1"},
        {"t>=10", "1"},
        {"t=10", "1"},
        {"t<>10", "0"},
        {"t<9.5", "0"},
        {"IF(t>n,'больше','не больше')", "больше"},
        {"p<3", "1"},
        {"t+5", "15"},
        {"5+t", "15"},
        {"t-n", "1"},
        {"-t", "-10"},
        {"t*p", "25"},
        {"n/p", "3.6"},
        {"sum(t)+sum(p)", "12.5"},
        // a text that is not a number: joined by +, otherwise nothing
        {"w+n", "abc9"},
        {"w-n", ""},
        {"w*2", ""},
        {"w>9", "0"},
        {"w<9", "0"},
        {"sum(w)", "0"},
        // two texts stay texts
        {"t+p", "10 2.5 "},
        {"t>'9'", "0"},
        {"w='abc'", "1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(print(c.expression, {}, QLocale::c(), d), c.printed)
            << c.expression.toStdString();
}

TEST(ReportEngine, ProductsAreExactUpToTheRange) {
    const struct {
        QString expression, mask, printed;
    } cases[] = {
        {"2000000000*1000000000", "#0", "2000000000000000000"},
        {"-2000000000*1000000000", "#0", "-2000000000000000000"},
        {"3037000500*3037000500", "#0", "9223372037000250000"},
        {"10000000000000*10000000000000", "#0", "100000000000000000000000000"},
        {"999999999999999999999999999*1", "#0", "999999999999999999999999999"},
        {"1234567890.123*9876543210.987", "#0.000000", "12193263113696860222.381401"},
        {"-1234567890.123*-9876543210.987", "#0.000000", "12193263113696860222.381401"},
        {"0.00001*0.000005", "#0.0000000000", "0.0000000001"}, // half away from zero
        {"-0.00001*0.000005", "#0.0000000000", "-0.0000000001"},
        {"0.00001*0.000004", "#0.0000000000", "0.0000000000"},
        {"2000000000*1000000000/1000000000", "#0", "2000000000"},
        {"sum(a)*1000000000000000000", "#0.00", "12345000000000000000.00"},
        // beyond the range: nothing
        {"100000000000000*100000000000000", "#0", ""},
        {"999999999999999999999999999*10", "#0", ""},
        {"0*99999999999999999999999999", "#0", "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(print(c.expression, c.mask), c.printed) << c.expression.toStdString();
    // An unsigned 64-bit column beyond the signed range keeps its value.
    EXPECT_EQ(formatValue(Value::fromVariant(QVariant(quint64(18446744073709551615ULL)), true), {},
                          2, QLocale::c()),
              "18446744073709551615");
}

// Groups of `g`, values `v`, a title, sums per group and over the report and
// the page number at the foot of every page.
Layout groupedLayout() {
    return Layout{
        .name = "test",
        .groups = {{"g"}},
        .bands = {
            {.kind = BandKind::ReportHeader,
             .height = 10,
             .cells = {{.x = 0, .width = 190, .memo = "Заголовок отчета"}}},
            {.kind = BandKind::GroupHeader,
             .height = 6,
             .cells = {{.x = 0, .width = 100, .memo = "Группа [g]"}}},
            {.kind = BandKind::Detail,
             .height = 5,
             .cells = {{.x = 10, .width = 80, .memo = "строка [n]"},
                       {.x = 100, .width = 40, .memo = "[v]", .mask = "#0.00"}}},
            {.kind = BandKind::GroupFooter,
             .height = 6,
             .cells = {{.x = 0, .width = 140, .memo = "Итого [g]: [sum(v)]", .mask = "#0.00"}}},
            {.kind = BandKind::ReportFooter,
             .height = 6,
             .cells = {{.x = 0, .width = 140, .memo = "Всего: [sum(v)]", .mask = "#0.00"}}},
            {.kind = BandKind::PageFooter,
             .height = 6,
             .cells = {
                 {.x = 100, .width = 90, .memo = "Стр. [PAGENUMBER]", .align = Align::Right}}}}};
}

ReportData groupedRows(int perGroup, const QStringList& groups) {
    ReportData d("rows");
    d.setFields({"g", "n", "v"}, {false, true, true});
    int n = 0;
    for (const QString& g : groups)
        for (int i = 0; i < perGroup; ++i)
            d.addRow({g, ++n, "1.25"});
    return d;
}

QStringList render(const Document& doc) {
    QTemporaryDir dir;
    const QString file = dir.filePath("r.pdf");
    EXPECT_EQ(writePdf(doc, file), QString());
    return pdfPages(file);
}

TEST(ReportEngine, GroupSumsRestartAndEveryPageHasItsNumber) {
    // Three short groups on one page.
    const QStringList one =
        render(layOut(groupedLayout(), groupedRows(2, {"А", "Б", "В"}), QLocale::c()));
    ASSERT_EQ(one.size(), 1);
    const QString page = one[0];
    EXPECT_TRUE(page.startsWith("Заголовок отчета\nГруппа А\nстрока 1 1.25\nстрока 2 1.25\n"
                                "Итого А: 2.50\nГруппа Б\n"))
        << page.toStdString();
    EXPECT_TRUE(page.contains("строка 6 1.25\nИтого В: 2.50\nВсего: 7.50\nСтр. 1"))
        << page.toStdString();

    // A long report: every page carries its number, the last one after the
    // closing sum; no group header is left alone at the foot of a page.
    const QStringList pages =
        render(layOut(groupedLayout(), groupedRows(45, {"А", "Б", "В", "Г"}), QLocale::c()));
    ASSERT_GE(pages.size(), 4);
    for (int i = 0; i < pages.size(); ++i) {
        EXPECT_TRUE(pages[i].endsWith(QStringLiteral("Стр. %1").arg(i + 1)))
            << pages[i].toStdString();
        EXPECT_FALSE(pages[i].section('\n', -2, -2).startsWith("Группа"));
    }
    EXPECT_TRUE(pages.last().contains("Итого Г: 56.25\nВсего: 225.00\nСтр. "));

    // No rows: the title, the closing sum of nothing and the page number.
    const QStringList empty = render(layOut(groupedLayout(), groupedRows(0, {}), QLocale::c()));
    ASSERT_EQ(empty.size(), 1);
    EXPECT_EQ(empty[0], "Заголовок отчета\nВсего: 0.00\nСтр. 1");
}

TEST(ReportEngine, PdfIsWrittenWholeOrNotAtAll) {
    QTemporaryDir dir;
    const Document doc = layOut(groupedLayout(), groupedRows(1, {"А"}), QLocale::c());

    // A folder where the file should be, and a file where its folder should be.
    QDir(dir.path()).mkdir("folder.pdf");
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("x");
    blocker.close();
    for (const QString& bad : {dir.filePath("folder.pdf"), dir.filePath("file/r.pdf")})
        EXPECT_FALSE(writePdf(doc, bad).isEmpty()) << bad.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"file", "folder.pdf"}));

    // An existing file is replaced by the complete new one.
    const QString good = dir.filePath("r.pdf");
    QFile old(good);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    EXPECT_EQ(writePdf(doc, good), QString());
    EXPECT_TRUE(pdfPages(good).value(0).contains("Итого А: 1.25"));
}

TEST(ReportEngine, PreviewOpensOnTheScreenOnTheTopOfPageOne) {
    // Three pages, so that the view has somewhere to scroll to.
    const Document doc = layOut(groupedLayout(), groupedRows(45, {"А", "Б", "В"}), QLocale::c());
    for (const Zoom zoom : {Zoom::PageWidth, Zoom::WholePage}) {
        QRect available;
        QSize size;
        int top = 0, opened = 0, scrolled = 0, afterResize = 0;
        showPreview(doc, nullptr, zoom, [&](QPrintPreviewDialog& dialog) {
            available = QGuiApplication::primaryScreen()->availableGeometry();
            dialog.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
            QCoreApplication::processEvents();
            size = dialog.frameGeometry().size();
            auto* view = dialog.findChild<QGraphicsView*>();
            QScrollBar* bar = view->verticalScrollBar();
            top = bar->minimum();
            opened = bar->value();
            // Once the user has moved, a new size keeps their place.
            QTest::keyClick(view, Qt::Key_PageDown);
            scrolled = bar->value();
            dialog.showNormal();
            dialog.resize(available.width() / 2, available.height() / 2);
            QCoreApplication::processEvents();
            afterResize = bar->value();
            dialog.close();
        });
        EXPECT_EQ(size, available.size()) << int(zoom);
        EXPECT_EQ(opened, top) << int(zoom);
        EXPECT_GT(scrolled, top) << int(zoom);
        EXPECT_NE(afterResize, top) << int(zoom);
    }
}

// A two-line detail band: a name and a framed amount, a rule between the
// lines, a note under them; then a closing band.
Layout fittingLayout() {
    return Layout{
        .name = "fit",
        .bands = {{.kind = BandKind::Detail,
                   .height = 10,
                   .cells = {{.x = 0, .width = 40, .memo = "[name]", .height = 5},
                             {.x = 40,
                              .width = 20,
                              .memo = "[v]",
                              .align = Align::Right,
                              .mask = "#0.00",
                              .height = 5,
                              .frame = true},
                             {.x = 0, .width = 60, .memo = "примечание", .y = 5}},
                   .rules = {{.y = 5, .x1 = 0, .x2 = 60}}},
                  {.kind = BandKind::ReportFooter,
                   .height = 6,
                   .cells = {{.x = 0, .width = 20, .memo = "[sum(v)]", .mask = "#0.00"},
                             {.x = 20, .width = 20, .memo = "[sum(v)/1.2]", .mask = "#0.00"},
                             {.x = 40, .width = 20, .memo = "[sum(v)*2]", .mask = "#0.00"}},
                   .bold = true,
                   .fontSize = 11}}};
}

TEST(ReportEngine, ContentIsFittedToItsCellNeverCut) {
    ReportData d("rows");
    d.setFields({"name", "v"}, {false, true});
    d.addRow(QVariantList{"Покраска (порошковая краска) по грунту", "123456789.12"});
    d.addRow(QVariantList{"Сварка", "1.5"});
    d.addRow(QVariantList{"Электрополировальщик-гальваностегист", "2"});
    d.addRow(QVariantList{"Электрополировальщикгальваностегистов", "3"});
    const Document doc = layOut(fittingLayout(), d, QLocale::c());
    ASSERT_EQ(doc.pages.size(), 1);
    expectEveryCellFits(doc);
    const QList<PlacedText>& t = doc.pages[0].texts;
    ASSERT_EQ(t.size(), 4 * 3 + 3);

    // The long name is broken into lines at its blanks; the row grows, the
    // framed amount beside it with it, and the note and the rule move down.
    EXPECT_GT(t[0].lines.size(), 1);
    EXPECT_EQ(t[0].fontSize, 9);
    EXPECT_GT(t[0].rect.height(), 5);
    EXPECT_EQ(t[1].rect.top(), t[0].rect.top());
    EXPECT_EQ(t[1].rect.height(), t[0].rect.height());
    EXPECT_EQ(t[2].rect.top(), t[0].rect.bottom());
    EXPECT_TRUE(doc.pages[0].lines.contains(QLineF(0, t[0].rect.bottom(), 60, t[0].rect.bottom())));
    // The amount is too wide for its cell at 9 points: set smaller, on one line.
    EXPECT_EQ(t[1].lines, QStringList{"123456789.12"});
    EXPECT_LT(t[1].fontSize, 9);
    // A short row is left as the layout has it, right under the grown band.
    EXPECT_EQ(t[3].lines, QStringList{"Сварка"});
    EXPECT_EQ(t[3].rect, QRectF(0, t[2].rect.bottom(), 40, 5));
    EXPECT_EQ(t[4].fontSize, 9);
    // A word wider than its cell: broken at its hyphen, or, where no break
    // would do, set smaller and broken between letters.
    EXPECT_EQ(t[6].lines.first(), "Электрополировальщик-");
    EXPECT_GT(t[9].lines.size(), 1);

    // Read back from the file: the closing numbers apart, the names whole.
    const QStringList pages = render(doc);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].endsWith("\n123456795.62 102880663.02 246913591.24"))
        << pages[0].toStdString();
    EXPECT_TRUE(printsWhole(pages[0], "Покраска (порошковая краска) по грунту"))
        << pages[0].toStdString();
    EXPECT_TRUE(printsWhole(pages[0], "123456789.12"));
    EXPECT_TRUE(printsWhole(pages[0], "Электрополировальщик- гальваностегист"));
}

TEST(ReportEngine, CellsThatOverlapOrLeaveThePageAreRefused) {
    const ReportData data = oneRow();
    const struct {
        QList<Cell> cells;
        bool landscape;
        bool refused;
    } cases[] = {
        {{{.x = 0, .width = 50, .memo = "[a]"}, {.x = 49, .width = 20, .memo = "[b]"}},
         false,
         true},
        {{{.x = 0, .width = 50, .memo = "[a]", .height = 3},
          {.x = 20, .width = 20, .memo = "[b]", .y = 3}},
         false,
         false}, // one under the other
        {{{.x = 0, .width = 50, .memo = "[a]"}, {.x = 50, .width = 20, .memo = "[b]"}},
         false,
         false},
        {{{.x = 0, .width = 50, .frame = true}, {.x = 10, .width = 20, .memo = "[b]"}},
         false,
         false},
        {{{.x = 150, .width = 41, .memo = "[a]"}}, false, true},
        {{{.x = 150, .width = 41, .memo = "[a]"}}, true, false},
        {{{.x = -1, .width = 20, .memo = "[a]"}}, false, true},
    };
    for (const auto& c : cases) {
        const Layout layout{.name = "t",
                            .landscape = c.landscape,
                            .bands = {{.kind = BandKind::Detail, .height = 6, .cells = c.cells}}};
        if (c.refused)
            EXPECT_THROW(layOut(layout, data), LayoutError) << c.cells[0].x;
        else
            EXPECT_NO_THROW(layOut(layout, data)) << c.cells[0].x;
    }
}

} // namespace
