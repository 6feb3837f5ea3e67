#include "timesheet_print.h"

#include "db/sql.h"
#include "reports/summary_reports.h"
#include "timesheets/sheet_statements.h"

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

} // namespace

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
    QSqlQuery q = exec(db, sql::timesheetPrint(), {{"mnth", month}, {"yea", year}});
    ReportData data = readRows(q, "H_Tabel");
    const QString title = monthName + ' ' + QString::number(year) + QStringLiteral(" г.");
    data.setVariable("title", Value::text(title));
    Document doc = layOut(timesheetLayout(), data, locale);
    doc.title = QStringLiteral("Табель по времени: ") + title;
    return doc;
}

} // namespace tabel::reports
