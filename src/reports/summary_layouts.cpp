// The four summary reports as layouts: A4 portrait, 10 mm margins, 190 mm of
// width to share out. Positions are millimetres.

#include "summary_reports.h"

namespace tabel::reports {

using namespace reportengine;

namespace {

const QString kKind = "[IF(naimen=0,'Готовая продукция','Заготовки')]";
const QString kColourSuffix = "[if(color>0,if(color=1,' (грунт)',' (RAL: '+STR(color)+')'),' ')]";

const Band kTitle{.kind = BandKind::ReportHeader,
                  .height = 9,
                  .cells = {{.x = 0, .width = 190, .memo = "[title]", .height = 7}},
                  .bold = true,
                  .fontSize = 11};

const Band kPageNumber{
    .kind = BandKind::PageFooter,
    .height = 7,
    .cells = {{.x = 150, .width = 40, .memo = "[PAGENUMBER]", .align = Align::Right, .y = 2}}};

// A label and two amounts, with and without the 1.2 factor, on one line of
// the closing footers.
QList<Cell> closingLine(double y, const QString& label, const QString& amount) {
    const auto money = [y](double x, const QString& memo) {
        return Cell{.x = x,
                    .width = 44,
                    .memo = memo,
                    .align = Align::Right,
                    .mask = "#0.00",
                    .y = y,
                    .height = 5.5};
    };
    return {Cell{.x = 3, .width = 60, .memo = label, .y = y, .height = 5.5},
            money(100, "[" + amount + "]"), money(144, "[(" + amount + ")/1.2]")};
}

Layout byWorkers() {
    // Columns: kind 6-40, type 40-90, colour 90-120, quantity 120-142,
    // amount 142-166, amount without the factor 166-190.
    Band workerFooter{.kind = BandKind::GroupFooter,
                      .level = 0,
                      .height = 12,
                      .cells = {{.x = 142,
                                 .width = 24,
                                 .memo = "[sum(summa)]",
                                 .align = Align::Right,
                                 .mask = "#0.00",
                                 .y = 0.5,
                                 .height = 5},
                                {.x = 166,
                                 .width = 24,
                                 .memo = "[sum(summa/1.2)]",
                                 .align = Align::Right,
                                 .mask = "#0.00",
                                 .y = 0.5,
                                 .height = 5},
                                {.x = 142,
                                 .width = 24,
                                 .memo = "[sum(summa)+ t_Report.f_sum78]",
                                 .align = Align::Right,
                                 .mask = "#0.000",
                                 .y = 6,
                                 .height = 5},
                                {.x = 166,
                                 .width = 24,
                                 .memo = "[(sum(summa)+f_sum78)/1.2]",
                                 .align = Align::Right,
                                 .mask = "#0.000",
                                 .y = 6,
                                 .height = 5}},
                      .rules = {{.y = 5.75, .x1 = 120}}};
    Band reportFooter{
        .kind = BandKind::ReportFooter, .height = 25, .bold = true, .fontSize = 11, .frame = true};
    reportFooter.cells << Cell{.x = 100,
                               .width = 44,
                               .memo = "[sum(summa)]",
                               .align = Align::Right,
                               .mask = "#0.00",
                               .y = 1,
                               .height = 5.5}
                       << Cell{.x = 144,
                               .width = 44,
                               .memo = "[sum(summa/1.2)]",
                               .align = Align::Right,
                               .mask = "#0.00",
                               .y = 1,
                               .height = 5.5}
                       << closingLine(6.75, "Хоз.р.:", "f_sum7_all")
                       << closingLine(12.5, "Ср.сд.:", "f_sum8_all")
                       << closingLine(18.25, "Итого:", "sum(summa)+f_sum7_all+f_sum8_all");
    return Layout{
        .name = "TForm16",
        .groups = {{"t_Report.fio", "t_Report.w_id"}, {"t_Report.nom"}},
        .bands = {
            kTitle,
            {.kind = BandKind::GroupHeader,
             .level = 0,
             .height = 7,
             .cells = {{.x = 0, .width = 140, .memo = "[fio]", .y = 1.5},
                       {.x = 142,
                        .width = 48,
                        .memo = "Сумма без Р/К",
                        .align = Align::Right,
                        .y = 1.5}},
             .bold = true},
            {.kind = BandKind::GroupHeader,
             .level = 1,
             .height = 5.5,
             .cells = {{.x = 3, .width = 187, .memo = "[nom]"}},
             .bold = true},
            {.kind = BandKind::Detail,
             .height = 4.5,
             .cells = {{.x = 6, .width = 34, .memo = kKind},
                       {.x = 40, .width = 50, .memo = "[vid]", .align = Align::Center},
                       {.x = 90, .width = 30, .memo = kColourSuffix},
                       {.x = 120, .width = 22, .memo = "[kolvo]", .align = Align::Center},
                       {.x = 142,
                        .width = 24,
                        .memo = "[summa]",
                        .align = Align::Right,
                        .mask = "#0.000"}}},
            {.kind = BandKind::GroupFooter,
             .level = 1,
             .height = 10,
             .cells =
                 {{.x = 6, .width = 40, .memo = "Хоз.р.: [f_sum7]", .height = 5, .bold = true},
                  {.x = 46, .width = 44, .memo = "Ср. сд.: [f_sum8]", .height = 5, .bold = true},
                  {.x = 120,
                   .width = 22,
                   .memo = "[sum(kolvo)]",
                   .align = Align::Center,
                   .height = 5,
                   .bold = true},
                  {.x = 142,
                   .width = 24,
                   .memo = "[sum(summa)]",
                   .align = Align::Right,
                   .mask = "#0.000",
                   .height = 5,
                   .bold = true},
                  {.x = 166,
                   .width = 24,
                   .memo = "[sum(summa/1.2)]",
                   .align = Align::Right,
                   .mask = "#0.000",
                   .height = 5,
                   .bold = true},
                  {.x = 90,
                   .width = 50,
                   .memo = "Итого:",
                   .align = Align::Right,
                   .y = 5,
                   .height = 5},
                  {.x = 142,
                   .width = 24,
                   .memo = "[sum(summa) + t_Report.f_sum7 + t_Report.f_sum8]",
                   .align = Align::Right,
                   .mask = "#0.000",
                   .y = 5,
                   .height = 5},
                  {.x = 166,
                   .width = 24,
                   .memo = "[(sum(summa) + t_Report.f_sum7+ t_Report.f_sum8)/1.2]",
                   .align = Align::Right,
                   .mask = "#0.000",
                   .y = 5,
                   .height = 5}}},
            workerFooter,
            reportFooter,
            kPageNumber}};
}

Layout byProducts() {
    // Columns: kind 6-40, type 40-90, colour 90-125, boxes 125-155,
    // quantity 155-190.
    return Layout{
        .name = "TForm17",
        .groups = {{"nom"}},
        .bands = {
            {.kind = BandKind::ReportHeader,
             .height = 15,
             .cells = {{.x = 0, .width = 190, .memo = "[title]", .height = 7, .fontSize = 11},
                       {.x = 125,
                        .width = 30,
                        .memo = "Коробки",
                        .align = Align::Center,
                        .y = 9,
                        .height = 5},
                       {.x = 155,
                        .width = 35,
                        .memo = "Количество",
                        .align = Align::Center,
                        .y = 9,
                        .height = 5}},
             .bold = true},
            {.kind = BandKind::GroupHeader,
             .height = 6,
             .cells = {{.x = 0, .width = 190, .memo = "[nom]", .y = 1}},
             .bold = true},
            {.kind = BandKind::Detail,
             .height = 4.5,
             .cells = {{.x = 6, .width = 34, .memo = kKind},
                       {.x = 40, .width = 50, .memo = "[vid]", .align = Align::Center},
                       {.x = 90, .width = 35, .memo = kColourSuffix},
                       {.x = 125, .width = 30, .memo = "[mass]", .align = Align::Center},
                       {.x = 155, .width = 35, .memo = "[kolvo]", .align = Align::Center}}},
            {.kind = BandKind::GroupFooter,
             .height = 5.5,
             .cells = {{.x = 125, .width = 30, .memo = "[sum(mass)]", .align = Align::Center},
                       {.x = 155, .width = 35, .memo = "[sum(kolvo)]", .align = Align::Center}},
             .bold = true},
            {.kind = BandKind::ReportFooter,
             .height = 8,
             .cells = {{.x = 3, .width = 60, .memo = "Итого:"},
                       {.x = 125,
                        .width = 30,
                        .memo = "[sum(mass)]",
                        .align = Align::Center,
                        .mask = "#0"},
                       {.x = 155, .width = 35, .memo = "[sum(kolvo)]", .align = Align::Center}},
             .bold = true,
             .fontSize = 11,
             .ruleAbove = true,
             .ruleBelow = true},
            kPageNumber}};
}

Layout byWorkersDetailed() {
    // Columns: mark 3-40, type 40-72, colour 72-82, kind 82-118, hours
    // 118-131, rejects 131-142, quantity 142-166, amount 166-190.
    // The worker's footer: the group sums under their columns, then a small
    // table of hours and amounts with and without the 1.2 factor.
    Band footer{
        .kind = BandKind::GroupFooter,
        .height = 45,
        .cells =
            {{.x = 131, .width = 11, .memo = "[sum(brk)]", .align = Align::Center, .height = 5},
             {.x = 142, .width = 24, .memo = "[sum(kolvo)]", .align = Align::Center, .height = 5},
             {.x = 166,
              .width = 24,
              .memo = "[sum(summa)]",
              .align = Align::Center,
              .mask = "#0.00",
              .height = 5},
             {.x = 96, .width = 22, .memo = "Часы", .align = Align::Center, .y = 6, .height = 5},
             {.x = 118,
              .width = 36,
              .memo = "Сумма с р/к (р.)",
              .align = Align::Center,
              .y = 6,
              .height = 5},
             {.x = 154,
              .width = 36,
              .memo = "Сумма без р/к (р.)",
              .align = Align::Center,
              .y = 6,
              .height = 5}},
        .bold = true,
        .rules = {{.y = 11, .x1 = 40}}};
    struct Row {
        QString label, hours, amount, withoutFactor, mask;
    };
    const QString total = "sum(summa)+w_Report.f_sum7+w_Report.f_sum7_n + w_Report.f_sum8 + "
                          "w_Report.f_sum8_n";
    const Row rows[] = {
        {"Хоз. раб. (дн.)", "f_sum7h", "f_sum7", "f_sum7/1.2", {}},
        {"Хоз. раб. (нч.)", "f_sum7h_n", "f_sum7_n", "f_sum7_n/1.2", {}},
        {"Ср. сд. (дн.)", "f_sum8h", "f_sum8", "f_sum8/1.2", {}},
        {"Ср. сд. (нч.)", "f_sum8h_n", "f_sum8_n", "f_sum8_n/1.2", {}},
        {"Сдел.", "sum(sum_time)", "sum(summa)", "sum(summa)/1.2", "#0.00"},
        {"Итого:", "sum(sum_time)+f_sum7h+f_sum7h_n+f_sum8h+f_sum8h_n", total,
         "(" + total + ")/1.2", "#0.00"},
        {"Цена ср. сд. за 1 ч.:",
         {},
         "sum(summa)/sum(sum_time)",
         "sum(summa)/sum(sum_time)/1.2",
         "#0.00"},
    };
    double y = 11.5;
    for (const Row& r : rows) {
        footer.cells << Cell{.x = 40, .width = 56, .memo = r.label, .y = y, .height = 4.5};
        const std::pair<double, QString> columns[] = {
            {96, r.hours}, {118, r.amount}, {154, r.withoutFactor}};
        for (const auto& [x, expression] : columns)
            if (!expression.isEmpty())
                footer.cells << Cell{.x = x,
                                     .width = x == 96 ? 22.0 : 36.0,
                                     .memo = "[" + expression + "]",
                                     .align = Align::Center,
                                     .mask = r.mask,
                                     .y = y,
                                     .height = 4.5};
        y += 4.5;
    }
    Band reportFooter{.kind = BandKind::ReportFooter,
                      .height = 25,
                      .cells = {{.x = 100,
                                 .width = 44,
                                 .memo = "[sum(kolvo)]",
                                 .align = Align::Right,
                                 .y = 1,
                                 .height = 5.5},
                                {.x = 144,
                                 .width = 44,
                                 .memo = "[sum(summa)]",
                                 .align = Align::Right,
                                 .mask = "#0.00",
                                 .y = 1,
                                 .height = 5.5}},
                      .bold = true,
                      .fontSize = 11,
                      .ruleAbove = true,
                      .ruleBelow = true};
    reportFooter.cells << closingLine(6.75, "Хоз.р.:", "f_sum7_all")
                       << closingLine(12.5, "Ср.сд.:", "f_sum8_all")
                       << closingLine(18.25, "Итого:", "sum(summa)+f_sum7_all+f_sum8_all");
    return Layout{
        .name = "TForm20",
        .groups = {{"fio", "w_id"}},
        .bands = {
            kTitle,
            {.kind = BandKind::GroupHeader,
             .height = 7,
             .cells =
                 {{.x = 0, .width = 118, .memo = "[fio]", .y = 1.5},
                  {.x = 118, .width = 13, .memo = "Часы", .align = Align::Center, .y = 1.5},
                  {.x = 131, .width = 11, .memo = "Брак", .align = Align::Center, .y = 1.5},
                  {.x = 142, .width = 24, .memo = "Количество", .align = Align::Center, .y = 1.5},
                  {.x = 166, .width = 24, .memo = "Сумма", .align = Align::Center, .y = 1.5}},
             .bold = true},
            {.kind = BandKind::Detail,
             .height = 4.5,
             .cells = {{.x = 3, .width = 37, .memo = "[marka]"},
                       {.x = 40, .width = 32, .memo = "[vid]", .align = Align::Center},
                       {.x = 72, .width = 10, .memo = "[color]", .align = Align::Center},
                       {.x = 82, .width = 36, .memo = kKind},
                       {.x = 118, .width = 13, .memo = "[sum_time]", .align = Align::Center},
                       {.x = 131, .width = 11, .memo = "[brk]", .align = Align::Center},
                       {.x = 142, .width = 24, .memo = "[kolvo]", .align = Align::Center},
                       {.x = 166,
                        .width = 24,
                        .memo = "[summa]",
                        .align = Align::Center,
                        .mask = "#0.00"}}},
            footer,
            reportFooter,
            kPageNumber}};
}

Layout byProductsDetailed() {
    // Columns: mark 3-37, type 37-65, colour 65-75, kind 75-109, rejects
    // 109-124, boxes 124-146, quantity 146-168, amount 168-190. The number
    // columns are as wide as the month's totals of a plant need in the
    // closing line's larger type; the mark and the type break into lines
    // where they are longer.
    const auto number = [](double x, double w, const QString& memo, const QString& mask = {}) {
        return Cell{.x = x, .width = w, .memo = memo, .align = Align::Center, .mask = mask};
    };
    const auto heading = [](double x, double w, const QString& memo) {
        return Cell{.x = x, .width = w, .memo = memo, .align = Align::Center, .y = 9, .height = 5};
    };
    return Layout{
        .name = "TForm21",
        .groups = {{"nom"}},
        .bands = {
            {.kind = BandKind::ReportHeader,
             .height = 15,
             .cells = {{.x = 0, .width = 190, .memo = "[title]", .height = 7, .fontSize = 11},
                       heading(109, 15, "Брак"),
                       heading(124, 22, "Коробки"),
                       heading(146, 22, "Кол-во"),
                       heading(168, 22, "Сумма")},
             .bold = true},
            {.kind = BandKind::GroupHeader,
             .height = 6,
             .cells = {{.x = 0, .width = 190, .memo = "[nom]", .y = 1}},
             .bold = true},
            {.kind = BandKind::Detail,
             .height = 4.5,
             .cells = {{.x = 3, .width = 34, .memo = "[marka]"},
                       {.x = 37, .width = 28, .memo = "[vid]"},
                       number(65, 10, "[color]"),
                       {.x = 75, .width = 34, .memo = kKind},
                       number(109, 15, "[brk]"),
                       number(124, 22, "[mass]"),
                       number(146, 22, "[kolvo]"),
                       number(168, 22, "[summa]", "#0.000")}},
            {.kind = BandKind::GroupFooter,
             .height = 5.5,
             .cells = {number(109, 15, "[sum(brk)]"), number(124, 22, "[sum(mass)]", "#0.00"),
                       number(146, 22, "[sum(kolvo)]"), number(168, 22, "[sum(summa)]", "#0.00")},
             .bold = true},
            {.kind = BandKind::ReportFooter,
             .height = 8,
             .cells = {{.x = 3, .width = 60, .memo = "Итого:"},
                       number(109, 15, "[sum(brk)]"),
                       number(124, 22, "[sum(mass)]"),
                       number(146, 22, "[sum(kolvo)]"),
                       number(168, 22, "[sum(summa)]", "#0.00")},
             .bold = true,
             .fontSize = 11,
             .ruleAbove = true,
             .ruleBelow = true},
            kPageNumber}};
}

} // namespace

Layout summaryLayout(SummaryReport report) {
    switch (report) {
    case SummaryReport::Workers:
        return byWorkers();
    case SummaryReport::Products:
        return byProducts();
    case SummaryReport::WorkersDetail:
        return byWorkersDetailed();
    case SummaryReport::ProductsDetail:
        return byProductsDetailed();
    }
    return {};
}

} // namespace tabel::reports
