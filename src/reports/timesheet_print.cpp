#include "timesheet_print.h"

#include "db/sql.h"
#include "reports/summary_reports.h"

#include <QSqlQuery>
#include <QStringList>

namespace tabel::reports {

using namespace reportengine;

namespace {

// Landscape: 277 mm of width, the name first, then 31 days and the total.
constexpr double kNameWidth = 60;
constexpr double kDayWidth = 6.5;
constexpr double kTotalX = kNameWidth + 31 * kDayWidth;
constexpr double kTotalWidth = 277 - kTotalX;

// The month's rows summed per worker's name, whatever their shift or kind.
QString printStatement() {
    QStringList days;
    for (int d = 1; d <= 31; ++d)
        days << QStringLiteral("sum(h.d%1) as sd%1").arg(d);
    return QStringLiteral("with h as (select * from accounts_dep.h_tabel where month = :mnth and "
                          "year = :yea), "
                          "p as materialized (select person.s_code, person.s_caption "
                          "from cmn_contractor.person person where person.s_code in (select "
                          "w_id::text from h)) "
                          "select p.s_caption as fio, %1 from h join p on p.s_code = h.w_id::text "
                          "group by p.s_caption order by fio")
        .arg(days.join(QStringLiteral(", ")));
}

} // namespace

QString monthName(int month) {
    static const char* const names[] = {"Январь",   "Февраль", "Март",   "Апрель",
                                        "Май",      "Июнь",    "Июль",   "Август",
                                        "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
    return month >= 1 && month <= 12 ? QString::fromUtf8(names[month - 1]) : QString();
}

Layout timesheetLayout() {
    Band header{.kind = BandKind::PageHeader,
                .height = 6,
                .cells = {{.x = 0, .width = kNameWidth, .memo = "[title]", .frame = true}},
                .bold = true};
    Band row{.kind = BandKind::Detail,
             .height = 5,
             .cells = {{.x = 0, .width = kNameWidth, .memo = "[fio]", .frame = true}},
             .fontSize = 8};
    QStringList total;
    for (int d = 1; d <= 31; ++d) {
        const double x = kNameWidth + (d - 1) * kDayWidth;
        header.cells << Cell{.x = x,
                             .width = kDayWidth,
                             .memo = QString::number(d),
                             .align = Align::Center,
                             .frame = true,
                             .fontSize = 8};
        row.cells << Cell{.x = x,
                          .width = kDayWidth,
                          .memo = QStringLiteral("[sd%1]").arg(d),
                          .align = Align::Center,
                          .frame = true};
        total << QStringLiteral("sd%1").arg(d);
    }
    header.cells << Cell{.x = kTotalX,
                         .width = kTotalWidth,
                         .memo = "Итого",
                         .align = Align::Center,
                         .frame = true,
                         .fontSize = 8};
    row.cells << Cell{.x = kTotalX,
                      .width = kTotalWidth,
                      .memo = "[" + total.join('+') + "]",
                      .align = Align::Center,
                      .bold = true,
                      .frame = true};
    return Layout{
        .name = "TForm15",
        .landscape = true,
        .bands = {
            header,
            row,
            {.kind = BandKind::PageFooter,
             .height = 7,
             .cells = {
                 {.x = 227, .width = 50, .memo = "[PAGENUMBER]", .align = Align::Right, .y = 2}}}}};
}

Document shiftTimesheetDocument(const QSqlDatabase& db, int month, int year,
                                const QString& monthName, const QLocale& locale) {
    QSqlQuery q = exec(db, printStatement(), {{"mnth", month}, {"yea", year}});
    ReportData data = readRows(q, "H_Tabel");
    const QString title = monthName + ' ' + QString::number(year) + QStringLiteral(" г.");
    data.setVariable("title", Value::text(title));
    Document doc = layOut(timesheetLayout(), data, locale);
    doc.title = QStringLiteral("Табель по времени: ") + title;
    return doc;
}

} // namespace tabel::reports
