// "Расчётный листок" as a layout of the report engine: A4 with 10 mm
// margins. Every section prints the same ten columns under headings of its
// own, so one detail band serves them all. The columns are as wide as what
// the statements print in them: portrait when that fits, landscape when it
// takes that.

#include "pay_statement.h"

#include "reportengine/fit.h"
#include "reportengine/layout.h"
#include "reportengine/report_data.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace tabel::reports {

using namespace reportengine;

namespace {

enum Section { Pieces = 1, Housekeeping = 2, Average = 3 };

struct Column {
    double x = 0;
    double width = 0;
    Align align = Align::Left;
};
// Date, shift or day/night, mark or work, operation or group, colour or day
// off, quantity or hours, rejects, price or rate, how the price came
// about, amount.
constexpr int kColumnCount = 10;
constexpr int kTextColumns = 9; // the tenth is the amount
struct Columns {
    std::array<Column, kColumnCount> at;
    double width = 190; // of the page, inside its margins
    bool landscape = false;
};
const Align kAligns[kColumnCount] = {Align::Left,   Align::Center, Align::Left,  Align::Left,
                                     Align::Center, Align::Right,  Align::Right, Align::Right,
                                     Align::Left,   Align::Right};
// The columns whose texts may take a second line when the page is short of
// room; a mark only when it is very long.
constexpr int kMark = 2;
const int kFlexible[] = {kMark, 3, 8};
constexpr double kLongMark = 45;
constexpr double kPortrait = 190;
constexpr double kLandscape = 277;
constexpr double kDetailSize = 7.5;
constexpr double kTotalSize = 8;
// Air beside a text's own padding, so that a printer's rounding never
// breaks a line that just fits.
constexpr double kAir = 0.5;

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

// A brigade member's quantity as a worker can work it out: the job's
// quantity times the member's hours × КТУ over the job's Σ of them.
QString shareNote(const BrigadeShareBasis& b, const QLocale& locale) {
    QString text =
        QStringLiteral("доля наряда № %1: %2 шт. × (%3 ч × КТУ %4) / Σ %5")
            .arg(QString::number(b.job), number(b.quantity, 3, locale), QString::number(b.hours),
                 b.ktu.toString(2, locale), b.weights.toString(2, locale, true));
    if (b.rejects.compare(Decimal()) > 0)
        text += QStringLiteral("; брак %1 шт. так же").arg(number(b.rejects, 3, locale));
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

struct SectionInfo {
    Section section;
    QString title;
    QString note;
    Decimal total;
    const QStringList* headings;
};

// A line of the statement as it prints: its section, its texts and its
// amount; a brigade share's explanation is a line of its own under the
// record's, without an amount.
struct Line {
    Section section;
    QStringList cells;
    std::optional<Decimal> amount;
};

// The statement's sections and lines, before they become the report's rows.
struct StatementLines {
    SectionInfo pieces;
    SectionInfo housekeeping;
    SectionInfo average;
    QList<Line> lines;

    const SectionInfo& info(Section s) const {
        return s == Pieces ? pieces : s == Housekeeping ? housekeeping : average;
    }
};

StatementLines statementLines(const PayStatement& s, const QLocale& locale) {
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");
    QString pieceNote = QStringLiteral("Цена: наименьшая цена норм операции на дату записи "
                                       "(норма), в выходной × 2, в 3 смене × 1,2, в 4 смене × 1,5; "
                                       "если цену нормы на эту дату изменили после записи, а "
                                       "запись не пересчитали, — цена на дату записи.");
    const bool brigade = std::any_of(s.pieces.begin(), s.pieces.end(),
                                     [](const PieceLine& l) { return l.brigade.has_value(); });
    if (brigade)
        pieceNote += QStringLiteral(" Доля наряда: количество наряда × (часы × КТУ работника) / "
                                    "Σ часов × КТУ всех участников наряда, доли округлены так, "
                                    "чтобы в сумме дать количество наряда.");
    StatementLines out{
        {Pieces, QStringLiteral("Сдельная работа"), pieceNote, s.piecework(), &kPieceHeadings},
        {Housekeeping, QStringLiteral("Хозяйственные работы"), QString(), s.housekeeping(),
         &kHourHeadings},
        {Average, QStringLiteral("Средняя сдельная"), basisNote(s, locale), s.average(),
         &kHourHeadings},
        {}};
    for (const PieceLine& l : s.pieces) {
        out.lines << Line{Pieces,
                          {l.date.toString(dateFormat), QString::number(l.shift), l.marka, l.vid,
                           colourText(l.color), number(l.quantity, 3, locale),
                           number(l.rejects, 3, locale), price(l.price, locale),
                           priceBasis(l, locale)},
                          l.amount()};
        if (l.brigade) {
            QStringList note(kTextColumns);
            note[8] = shareNote(*l.brigade, locale);
            out.lines << Line{Pieces, note, std::nullopt};
        }
    }
    for (const HourLine& l : s.hours) {
        const bool avg = l.type == 7778;
        out.lines << Line{
            avg ? Average : Housekeeping,
            {l.date.toString(dateFormat), l.night ? QStringLiteral("ноч.") : QStringLiteral("дн."),
             avg ? QStringLiteral("Ср. сдельная") : QStringLiteral("Хоз. работы"), l.group,
             l.dayOff ? QStringLiteral("+") : QString(), QString::number(l.hours), QString(),
             price(l.rate, locale), avg ? rateBasis(l, s.basis, locale) : QString()},
            l.amount()};
    }
    return out;
}

bool flexible(int column) {
    return std::find(std::begin(kFlexible), std::end(kFlexible), column) != std::end(kFlexible);
}

// What a column needs: `want` to print every text on one line, `least` to
// break texts only between their words.
struct Need {
    double want = 0;
    double least = 0;
};

void measureInto(reportengine::TextMeasure& m, Need& need, const QString& text, double size,
                 bool bold) {
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        need.want = std::max(need.want, m.width(line, size, bold));
        for (const QString& word : line.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            need.least = std::max(need.least, m.width(word, size, bold));
    }
}

// Water-filling: every flexible column gets what it wants when there is
// room for it, the narrow ones first, and the rest is shared equally.
void share(std::array<double, kColumnCount>& widths, const std::array<Need, kColumnCount>& needs,
           double room) {
    std::vector<int> order(std::begin(kFlexible), std::end(kFlexible));
    for (int c : order) {
        widths[c] = needs[c].least;
        room -= needs[c].least;
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return needs[a].want - needs[a].least < needs[b].want - needs[b].least;
    });
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int c = order[i];
        const double give = std::min(needs[c].want - needs[c].least,
                                     std::max(0.0, room) / double(order.size() - i));
        widths[c] += give;
        room -= give;
    }
}

// The columns as wide as the statements' texts need: portrait when their
// lines fit it whole or broken between words, landscape otherwise; what is
// left over goes to the explanations.
Columns fitColumns(const QList<StatementLines>& statements, const QList<PayStatement>& pays,
                   const QLocale& locale) {
    reportengine::TextMeasure m;
    std::array<Need, kColumnCount> needs{};
    bool pieces = false;
    bool hours = false;
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const StatementLines& s = statements[i];
        for (const Line& l : s.lines) {
            for (int c = 0; c < kTextColumns; ++c)
                measureInto(m, needs[c], l.cells[c], kDetailSize, false);
            if (l.amount)
                measureInto(m, needs[9], l.amount->toString(2, locale), kDetailSize, false);
            (l.section == Pieces ? pieces : hours) = true;
        }
        for (const Decimal& total :
             {pays[i].piecework(), pays[i].housekeeping(), pays[i].average()})
            measureInto(m, needs[9], total.toString(2, locale), kTotalSize, true);
    }
    // The headings of the sections that print.
    for (const QStringList* headings :
         {pieces ? &kPieceHeadings : nullptr, hours ? &kHourHeadings : nullptr})
        for (int c = 0; headings && c < kColumnCount; ++c)
            measureInto(m, needs[c], headings->at(c), kDetailSize, true);
    const double padding = 2 * reportengine::kCellPadding + kAir;
    for (Need& n : needs) {
        n.want += padding;
        n.least += padding;
    }
    for (int c = 0; c < kColumnCount; ++c)
        if (!flexible(c))
            needs[c].least = needs[c].want;
    // A mark is kept whole unless it would take a page of its own.
    if (needs[kMark].want <= kLongMark)
        needs[kMark].least = needs[kMark].want;

    auto total = [&](double Need::*part) {
        return std::accumulate(needs.begin(), needs.end(), 0.0,
                               [&](double sum, const Need& n) { return sum + n.*part; });
    };
    Columns out;
    std::array<double, kColumnCount> widths{};
    for (int c = 0; c < kColumnCount; ++c)
        widths[c] = needs[c].want;
    const double least = total(&Need::least);
    out.width = least <= kPortrait ? kPortrait : kLandscape;
    out.landscape = out.width > kPortrait;
    if (total(&Need::want) <= out.width) {
        widths[8] += out.width - total(&Need::want);
    } else if (least <= out.width) {
        double fixed = 0;
        for (int c = 0; c < kColumnCount; ++c)
            if (!flexible(c))
                fixed += widths[c];
        share(widths, needs, out.width - fixed);
    } else {
        // Not even landscape holds the longest words: the flexible columns
        // share what is left, and the engine breaks or shrinks what then
        // does not fit.
        double fixed = 0;
        double breakable = 0;
        for (int c = 0; c < kColumnCount; ++c) {
            if (!flexible(c))
                fixed += widths[c];
            else
                breakable += needs[c].least;
        }
        for (int c : kFlexible)
            widths[c] = needs[c].least * std::max(0.0, out.width - fixed) / breakable;
    }
    double x = 0;
    for (int c = 0; c < kColumnCount; ++c) {
        out.at[c] = Column{x, widths[c], kAligns[c]};
        x += widths[c];
    }
    return out;
}

QStringList fieldNames() {
    QStringList names{"section", "sectitle", "secnote", "sectotal", "amount"};
    for (int c = 1; c <= kTextColumns; ++c)
        names << QStringLiteral("c%1").arg(c);
    for (int c = 1; c <= kColumnCount; ++c)
        names << QStringLiteral("h%1").arg(c);
    return names;
}

ReportData statementData(const PayStatement& s, const StatementLines& lines, const QDate& printed) {
    ReportData data(QStringLiteral("t_Pay"));
    QList<bool> numeric(fieldNames().size(), false);
    numeric[0] = numeric[3] = numeric[4] = true;
    data.setFields(fieldNames(), numeric);
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");

    for (const Line& l : lines.lines) {
        const SectionInfo& info = lines.info(l.section);
        QList<Value> row{Value::number(Decimal::fromInteger(info.section)), Value::text(info.title),
                         Value::text(info.note), Value::number(info.total),
                         l.amount ? Value::number(*l.amount) : Value()};
        for (const QString& c : l.cells)
            row << Value::text(c);
        for (const QString& h : *info.headings)
            row << Value::text(h);
        data.addRow(std::move(row));
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

Layout statementLayout(bool empty, const Columns& cols) {
    const double w = cols.width;
    Band header{.kind = BandKind::ReportHeader, .height = 30, .fontSize = 10};
    header.cells
        << Cell{.x = 0,
                .width = w,
                .memo = "Расчётный листок",
                .height = 7,
                .bold = true,
                .fontSize = 13}
        << textCell(0, 30, "Работник:", 8, 5.5)
        << Cell{.x = 30, .width = w - 30, .memo = "[worker]", .y = 8, .height = 5.5, .bold = true}
        << textCell(0, 30, "Подразделение:", 13.5, 5.5)
        << textCell(30, w - 30, "[department]", 13.5, 5.5) << textCell(0, 30, "Месяц:", 19, 5.5)
        << textCell(30, w - 95, "[month]", 19, 5.5)
        << textCell(w - 65, 65, "Дата печати: [printed]", 19, 5.5);
    header.rules << Rule{.y = 26};

    const Band pageFooter{.kind = BandKind::PageFooter,
                          .height = 7,
                          .cells = {textCell(0, w - 40, "Расчётный листок: [name], [month]", 2),
                                    Cell{.x = w - 40,
                                         .width = 40,
                                         .memo = "Стр. [PAGENUMBER]",
                                         .align = Align::Right,
                                         .y = 2}},
                          .fontSize = 8};

    Band footer{.kind = BandKind::ReportFooter, .height = 26, .fontSize = 10};
    if (empty) {
        footer.height = 10;
        footer.cells << textCell(0, w, "Нет начислений за месяц.", 2, 6);
        return Layout{.name = "PayStatement",
                      .landscape = cols.landscape,
                      .bands = {header, footer, pageFooter}};
    }
    const char* const labels[][2] = {{"Сделка:", "t_piece"},
                                     {"Хоз. работы:", "t_house"},
                                     {"Ср. сдельная:", "t_avg"},
                                     {"Итого:", "t_all"}};
    for (int i = 0; i < 4; ++i) {
        const double y = 2 + 5.5 * i;
        footer.cells << Cell{
            .x = w - 90, .width = 50, .memo = labels[i][0], .y = y, .height = 5.5, .bold = i == 3};
        Cell sum = money(w - 40, 40, QStringLiteral("[%1]").arg(labels[i][1]), y, 5.5);
        sum.bold = i == 3;
        footer.cells << sum;
    }
    footer.rules << Rule{.y = 1, .x1 = w - 90} << Rule{.y = 18.25, .x1 = w - 90};

    Band sectionHeader{.kind = BandKind::GroupHeader, .level = 0, .height = 12, .fontSize = 7.5};
    sectionHeader.cells << Cell{.x = 0,
                                .width = w,
                                .memo = "[sectitle]",
                                .y = 1,
                                .height = 5.5,
                                .bold = true,
                                .fontSize = 10};
    for (int c = 0; c < kColumnCount; ++c)
        sectionHeader.cells << Cell{.x = cols.at[c].x,
                                    .width = cols.at[c].width,
                                    .memo = QStringLiteral("[h%1]").arg(c + 1),
                                    .align = cols.at[c].align,
                                    .y = 7,
                                    .height = 4.5,
                                    .bold = true};
    sectionHeader.rules << Rule{.y = 11.75};

    Band detail{.kind = BandKind::Detail, .height = 4.5, .fontSize = kDetailSize};
    for (int c = 0; c < kTextColumns; ++c)
        detail.cells << Cell{.x = cols.at[c].x,
                             .width = cols.at[c].width,
                             .memo = QStringLiteral("[c%1]").arg(c + 1),
                             .align = cols.at[c].align};
    const Column& amount = cols.at[9];
    detail.cells << money(amount.x, amount.width, "[amount]");

    Band sectionFooter{.kind = BandKind::GroupFooter, .level = 0, .height = 12, .fontSize = 8};
    sectionFooter.cells << Cell{.x = amount.x - 70,
                                .width = 70,
                                .memo = "Итого по разделу:",
                                .align = Align::Right,
                                .y = 0.5,
                                .height = 5,
                                .bold = true}
                        << money(amount.x, amount.width, "[sectotal]", 0.5, 5)
                        << textCell(0, w, "[secnote]", 6, 5);
    sectionFooter.rules << Rule{.y = 0.25, .x1 = amount.x - 70};
    sectionFooter.cells.last().fontSize = 7.5;
    sectionFooter.cells[1].bold = true;
    sectionFooter.cells[1].fontSize = kTotalSize;

    return Layout{.name = "PayStatement",
                  .landscape = cols.landscape,
                  .groups = {{"t_Pay.section"}},
                  .bands = {header, sectionHeader, detail, sectionFooter, footer, pageFooter}};
}

} // namespace

reportengine::Document payStatementDocument(const QList<PayStatement>& statements,
                                            const QDate& printed, const QLocale& locale) {
    QList<StatementLines> lines;
    for (const PayStatement& s : statements)
        lines << statementLines(s, locale);
    // One set of columns for every statement of the document, so that all
    // its pages are set up alike.
    const Columns cols = fitColumns(lines, statements, locale);
    Document doc;
    doc.title = QStringLiteral("Расчётный листок");
    doc.landscape = cols.landscape;
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const PayStatement& s = statements[i];
        const Document one =
            layOut(statementLayout(s.isEmpty(), cols), statementData(s, lines[i], printed), locale);
        doc.landscape = one.landscape;
        doc.margin = one.margin;
        doc.pages << one.pages;
    }
    if (statements.size() == 1)
        doc.title += QStringLiteral(": ") + statements.first().shownName() + QStringLiteral(", ") +
                     monthTitle(statements.first().month);
    return doc;
}

QList<StatementSection> payStatementSections(const PayStatement& statement, const QLocale& locale) {
    const StatementLines all = statementLines(statement, locale);
    QList<StatementSection> sections;
    for (const SectionInfo* info : {&all.pieces, &all.housekeeping, &all.average}) {
        StatementSection section{info->title, *info->headings, {}, info->total, info->note};
        for (const Line& l : all.lines)
            if (l.section == info->section)
                section.lines << StatementLine{l.cells, l.amount};
        if (!section.lines.isEmpty())
            sections << section;
    }
    return sections;
}

} // namespace tabel::reports
