// "Расчётный листок" as a layout of the report engine: A4 portrait, 10 mm
// margins, 190 mm of width. Every section prints the same ten columns under
// headings of its own, so one detail band serves them all.

#include "pay_statement.h"

#include "reportengine/layout.h"
#include "reportengine/report_data.h"

namespace tabel::reports {

using namespace reportengine;

namespace {

enum Section { Pieces = 1, Housekeeping = 2, Average = 3 };

struct Column {
    double x;
    double width;
    Align align;
};
// Date, shift or day/night, mark or work, operation or group, colour or day
// off, quantity or hours, rejects, price or rate, how the price came
// about, amount.
const Column kColumns[] = {{0, 16, Align::Left},       {16, 6, Align::Center},
                           {22, 22, Align::Left},      {44, 34, Align::Left},
                           {78, 14, Align::Center},    {92, 12, Align::Right},
                           {104, 7, Align::Right},     {111, 15, Align::Right},
                           {127.5, 42.5, Align::Left}, {170, 20, Align::Right}};
constexpr int kTextColumns = 9; // the tenth is the amount

const QStringList kPieceHeadings{"Дата",   "См.",  "Марка", "Операция",          "Цвет",
                                 "Кол-во", "Брак", "Цена",  "Как получена цена", "Сумма"};
const QStringList kHourHeadings{"Дата", "Д/Н",    "Работа", "Номенклатура", "Вых.", "Часы",
                                "",     "Ставка", "",       "Сумма"};

QString number(const Decimal& d, int places, const QLocale& locale) {
    return d.toString(places, locale, true);
}

// A price or a rate: to the kopeck at least, to the stored decimals at most.
QString price(const Decimal& d, const QLocale& locale) {
    const QString kopecks = d.toString(2, locale);
    const QString all = d.toString(4, locale, true);
    return all.size() > kopecks.size() ? all : kopecks;
}

QString colourText(int colour) {
    if (colour == 1)
        return QStringLiteral("грунт");
    return colour > 0 ? QStringLiteral("RAL %1").arg(colour) : QString();
}

QString priceBasis(const PieceLine& l, const QLocale& locale) {
    if (!l.factor)
        return QStringLiteral("цена на дату записи");
    QString text = price(*l.base, locale);
    QStringList why;
    if (l.factor->dayOff) {
        text += QStringLiteral(" × 2");
        why << QStringLiteral("вых.");
    }
    if (l.factor->shift == 3 || l.factor->shift == 4) {
        text += l.factor->shift == 3 ? QStringLiteral(" × 1,2") : QStringLiteral(" × 1,5");
        why << QStringLiteral("%1 см.").arg(l.factor->shift);
    }
    if (why.isEmpty())
        return QStringLiteral("норма");
    return text + QStringLiteral(" (") + why.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString rateBasis(const HourLine& l, const RateBasis& basis, const QLocale& locale) {
    const QString factors[] = {QStringLiteral("× 1"), QStringLiteral("× 1,2 (ноч.)"),
                               QStringLiteral("× 2 (вых.)"), QStringLiteral("× 2,2 (вых., ноч.)")};
    QString text = QStringLiteral("основа ") + factors[(l.dayOff ? 2 : 0) + (l.night ? 1 : 0)];
    const Decimal expected = basis.rate(l.dayOff, l.night);
    if (!(expected == l.rate))
        text += QStringLiteral("; по основе ") + price(expected, locale);
    return text;
}

QString basisNote(const PayStatement& s, const QLocale& locale) {
    if (!s.basis.counted)
        return QStringLiteral("Основа ставки: работник не числится среди рабочих, ставка 0.");
    return QStringLiteral("Основа ставки: сделка за месяц %1 р. за %2 ч, %3 р./ч; "
                          "вых. × 2, ноч. × 1,2, вых. и ноч. × 2,2.")
        .arg(s.basis.pay.toString(2, locale), QString::number(s.basis.hours),
             s.basis.hourly().toString(2, locale));
}

QStringList fieldNames() {
    QStringList names{"section", "sectitle", "secnote", "sectotal", "amount"};
    for (int c = 1; c <= kTextColumns; ++c)
        names << QStringLiteral("c%1").arg(c);
    for (int c = 1; c <= 10; ++c)
        names << QStringLiteral("h%1").arg(c);
    return names;
}

struct SectionInfo {
    Section section;
    QString title;
    QString note;
    Decimal total;
    const QStringList& headings;
};

void addRow(ReportData& data, const SectionInfo& info, const Decimal& amount,
            const QStringList& cells) {
    QList<Value> row{Value::number(Decimal::fromInteger(info.section)), Value::text(info.title),
                     Value::text(info.note), Value::number(info.total), Value::number(amount)};
    for (const QString& c : cells)
        row << Value::text(c);
    for (const QString& h : info.headings)
        row << Value::text(h);
    data.addRow(std::move(row));
}

ReportData statementData(const PayStatement& s, const QDate& printed, const QLocale& locale) {
    ReportData data(QStringLiteral("t_Pay"));
    QList<bool> numeric(fieldNames().size(), false);
    numeric[0] = numeric[3] = numeric[4] = true;
    data.setFields(fieldNames(), numeric);
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");

    const SectionInfo pieces{Pieces, QStringLiteral("Сдельная работа"),
                             QStringLiteral("Цена: наименьшая цена норм операции (норма), в "
                                            "выходной × 2, в 3 смене × 1,2, в 4 смене × 1,5; "
                                            "если норма с тех пор изменилась, цена на дату "
                                            "записи."),
                             s.piecework(), kPieceHeadings};
    for (const PieceLine& l : s.pieces)
        addRow(data, pieces, l.amount(),
               {l.date.toString(dateFormat), QString::number(l.shift), l.marka, l.vid,
                colourText(l.color), number(l.quantity, 3, locale), number(l.rejects, 3, locale),
                price(l.price, locale), priceBasis(l, locale)});
    const SectionInfo housekeeping{Housekeeping, QStringLiteral("Хозяйственные работы"), QString(),
                                   s.housekeeping(), kHourHeadings};
    const SectionInfo average{Average, QStringLiteral("Средняя сдельная"), basisNote(s, locale),
                              s.average(), kHourHeadings};
    for (const HourLine& l : s.hours) {
        const bool avg = l.type == 7778;
        addRow(data, avg ? average : housekeeping, l.amount(),
               {l.date.toString(dateFormat),
                l.night ? QStringLiteral("ноч.") : QStringLiteral("дн."),
                avg ? QStringLiteral("Ср. сдельная") : QStringLiteral("Хоз. работы"), l.group,
                l.dayOff ? QStringLiteral("+") : QString(), QString::number(l.hours), QString(),
                price(l.rate, locale), avg ? rateBasis(l, s.basis, locale) : QString()});
    }

    QString who = s.shownName();
    if (!s.fio.isEmpty())
        who += QStringLiteral(", таб. № %1").arg(s.worker);
    data.setVariable("worker", Value::text(who));
    data.setVariable("department",
                     Value::text(s.department.isEmpty() ? QStringLiteral("—") : s.department));
    data.setVariable("month", Value::text(monthTitle(s.month)));
    data.setVariable("printed", Value::text(printed.toString(dateFormat)));
    data.setVariable("name", Value::text(s.shownName()));
    data.setVariable("t_piece", Value::number(s.piecework()));
    data.setVariable("t_house", Value::number(s.housekeeping()));
    data.setVariable("t_avg", Value::number(s.average()));
    data.setVariable("t_all", Value::number(s.total()));
    return data;
}

Cell textCell(double x, double width, const QString& memo, double y = 0, double height = 0) {
    return Cell{.x = x, .width = width, .memo = memo, .y = y, .height = height};
}

Cell money(double x, double width, const QString& memo, double y = 0, double height = 0) {
    return Cell{.x = x,
                .width = width,
                .memo = memo,
                .align = Align::Right,
                .mask = "#0.00",
                .y = y,
                .height = height};
}

Layout statementLayout(bool empty) {
    Band header{.kind = BandKind::ReportHeader, .height = 30, .fontSize = 10};
    header.cells
        << Cell{.x = 0,
                .width = 190,
                .memo = "Расчётный листок",
                .height = 7,
                .bold = true,
                .fontSize = 13}
        << textCell(0, 30, "Работник:", 8, 5.5)
        << Cell{.x = 30, .width = 160, .memo = "[worker]", .y = 8, .height = 5.5, .bold = true}
        << textCell(0, 30, "Подразделение:", 13.5, 5.5)
        << textCell(30, 160, "[department]", 13.5, 5.5) << textCell(0, 30, "Месяц:", 19, 5.5)
        << textCell(30, 95, "[month]", 19, 5.5)
        << textCell(125, 65, "Дата печати: [printed]", 19, 5.5);
    header.rules << Rule{.y = 26};

    const Band pageFooter{.kind = BandKind::PageFooter,
                          .height = 7,
                          .cells = {textCell(0, 150, "Расчётный листок: [name], [month]", 2),
                                    Cell{.x = 150,
                                         .width = 40,
                                         .memo = "Стр. [PAGENUMBER]",
                                         .align = Align::Right,
                                         .y = 2}},
                          .fontSize = 8};

    Band footer{.kind = BandKind::ReportFooter, .height = 26, .fontSize = 10};
    if (empty) {
        footer.height = 10;
        footer.cells << textCell(0, 190, "Нет начислений за месяц.", 2, 6);
        return Layout{.name = "PayStatement", .bands = {header, footer, pageFooter}};
    }
    const char* const labels[][2] = {{"Сделка:", "t_piece"},
                                     {"Хоз. работы:", "t_house"},
                                     {"Ср. сдельная:", "t_avg"},
                                     {"Итого:", "t_all"}};
    for (int i = 0; i < 4; ++i) {
        const double y = 2 + 5.5 * i;
        footer.cells << Cell{
            .x = 100, .width = 50, .memo = labels[i][0], .y = y, .height = 5.5, .bold = i == 3};
        Cell sum = money(150, 40, QStringLiteral("[%1]").arg(labels[i][1]), y, 5.5);
        sum.bold = i == 3;
        footer.cells << sum;
    }
    footer.rules << Rule{.y = 1, .x1 = 100} << Rule{.y = 18.25, .x1 = 100};

    Band sectionHeader{.kind = BandKind::GroupHeader, .level = 0, .height = 12, .fontSize = 7.5};
    sectionHeader.cells << Cell{.x = 0,
                                .width = 190,
                                .memo = "[sectitle]",
                                .y = 1,
                                .height = 5.5,
                                .bold = true,
                                .fontSize = 10};
    for (int c = 0; c < 10; ++c)
        sectionHeader.cells << Cell{.x = kColumns[c].x,
                                    .width = kColumns[c].width,
                                    .memo = QStringLiteral("[h%1]").arg(c + 1),
                                    .align = kColumns[c].align,
                                    .y = 7,
                                    .height = 4.5,
                                    .bold = true};
    sectionHeader.rules << Rule{.y = 11.75};

    Band detail{.kind = BandKind::Detail, .height = 4.5, .fontSize = 7.5};
    for (int c = 0; c < kTextColumns; ++c)
        detail.cells << Cell{.x = kColumns[c].x,
                             .width = kColumns[c].width,
                             .memo = QStringLiteral("[c%1]").arg(c + 1),
                             .align = kColumns[c].align};
    detail.cells << money(kColumns[9].x, kColumns[9].width, "[amount]");

    Band sectionFooter{.kind = BandKind::GroupFooter, .level = 0, .height = 12, .fontSize = 8};
    sectionFooter.cells << Cell{.x = 100,
                                .width = 70,
                                .memo = "Итого по разделу:",
                                .y = 0.5,
                                .height = 5,
                                .bold = true}
                        << money(170, 20, "[sectotal]", 0.5, 5)
                        << textCell(0, 190, "[secnote]", 6, 5);
    sectionFooter.rules << Rule{.y = 0.25, .x1 = 100};
    sectionFooter.cells.last().fontSize = 7.5;
    sectionFooter.cells[1].bold = true;

    return Layout{.name = "PayStatement",
                  .groups = {{"t_Pay.section"}},
                  .bands = {header, sectionHeader, detail, sectionFooter, footer, pageFooter}};
}

} // namespace

reportengine::Document payStatementDocument(const QList<PayStatement>& statements,
                                            const QDate& printed, const QLocale& locale) {
    Document doc;
    doc.title = QStringLiteral("Расчётный листок");
    for (const PayStatement& s : statements) {
        const Document one =
            layOut(statementLayout(s.isEmpty()), statementData(s, printed, locale), locale);
        doc.landscape = one.landscape;
        doc.margin = one.margin;
        doc.pages << one.pages;
    }
    if (statements.size() == 1)
        doc.title += QStringLiteral(": ") + statements.first().shownName() + QStringLiteral(", ") +
                     monthTitle(statements.first().month);
    return doc;
}

} // namespace tabel::reports
