// A month's sheet (piecework, housekeeping, average piecework or general)
// with the totals the monthly time-sheet window shows. Only what is stored
// is shown: the page never rebuilds a sheet.

#include "db/closed_months.h"
#include "db/dataset.h"
#include "timesheets/closed_month_banner.h"
#include "timesheets/monthly_sheet.h"
#include "timesheets/months.h"
#include "timesheets/sheet_look.h"
#include "timesheets/sheet_reader.h"
#include "web/page_kit.h"

#include <array>

namespace tabel::web {

namespace {

// A reader learns its statement's columns on its first reading; kept per
// thread, so that a server answering on several threads shares none.
SheetReader& readerOf(sql::MonthlySheet kind) {
    thread_local std::array<SheetReader, 4> readers{
        SheetReader(sql::monthlySheet(sql::MonthlySheet::Piecework)),
        SheetReader(sql::monthlySheet(sql::MonthlySheet::Housekeeping)),
        SheetReader(sql::monthlySheet(sql::MonthlySheet::AveragePiecework)),
        SheetReader(sql::monthlySheet(sql::MonthlySheet::General))};
    return readers.at(static_cast<std::size_t>(kind));
}

} // namespace

Page sheetPage(QSqlDatabase db, const Viewer& viewer, int year, int month,
               const QString& kindName) {
    const std::optional<sql::MonthlySheet> kind = sheetKindOf(kindName);
    if (!kind)
        return errorPage(404, QStringLiteral("Такого табеля нет."), &viewer);
    if (!validMonth(year, month))
        return errorPage(404, QStringLiteral("Такого месяца нет."), &viewer);
    const QDate first(year, month, 1);
    return readPage(db, &viewer, [&] {
        const QLocale locale = pageLocale();
        const ResultRows rows = readerOf(*kind).read(db, monthlySheetParams(first));
        const std::array<QString, 4> totals = readMonthlyTotals(db, first, locale);
        const bool closed = monthClosed(db, monthKey(first));

        const MonthlySheetInfo info = monthlySheetInfo(*kind);
        QList<GridColumn> columns = monthlySheetColumns();
        columns.removeIf([&](const GridColumn& c) {
            if (c.field == QLatin1String("s_night"))
                return !info.night;
            if (c.field == QLatin1String("average_price"))
                return !info.hourlyRate;
            if (c.field.startsWith(QLatin1Char('d')))
                return c.field.mid(1).toInt() > first.daysInMonth();
            return false;
        });
        QList<int> at;
        for (const GridColumn& c : columns)
            at << static_cast<int>(rows.fields.indexOf(c.field));
        const int idAt = static_cast<int>(rows.fields.indexOf(QStringLiteral("id")));
        const qsizetype nameColumn = 0; // "fio", the first

        const QString monthText =
            monthNames().at(month - 1) + QLatin1Char(' ') + QString::number(year);
        QString html = pageStart(sheetTitle(*kind) + QStringLiteral(", ") + monthText, &viewer);
        html += QStringLiteral("<p class=\"nav\">");
        for (sql::MonthlySheet s : kSheetKinds)
            html += s == *kind
                        ? QStringLiteral("<b class=\"here\">%1</b> ").arg(esc(sheetTitle(s)))
                        : QStringLiteral("<a href=\"%1\">%2</a> ")
                              .arg(sheetLink(year, month, sheetKindName(s)), esc(sheetTitle(s)));
        const QDate before = first.addMonths(-1);
        const QDate after = first.addMonths(1);
        html += QStringLiteral("<br><a href=\"%1\">← %2</a> <a href=\"%3\">%4 →</a></p>")
                    .arg(sheetLink(before.year(), before.month(), kindName),
                         before.toString(QStringLiteral("MM.yyyy")),
                         sheetLink(after.year(), after.month(), kindName),
                         after.toString(QStringLiteral("MM.yyyy")));
        if (closed)
            html += QStringLiteral("<p class=\"closed\">%1</p>")
                        .arg(QString::fromUtf8(kMonthClosedText));

        html += QStringLiteral("<dl class=\"totals\">");
        const int own = monthlyTotalOf(*kind);
        for (int i = 0; i < 4; ++i)
            html += QStringLiteral("<dt>%1</dt><dd%2>%3</dd>")
                        .arg(QString::fromUtf8(kMonthlyTotalLabels[i]),
                             i == own ? QStringLiteral(" id=\"sheet-total\"") : QString(),
                             esc(totals[i]));
        html += QStringLiteral("</dl>");

        html += QStringLiteral("<div class=\"wrap\"><table class=\"sheet\"><thead><tr>");
        for (const GridColumn& c : columns) {
            QString cls;
            if (c.field.startsWith(QLatin1Char('d')))
                cls = isWeekend(first, c.field.mid(1).toInt()) ? QStringLiteral("day we")
                                                               : QStringLiteral("day");
            else if (c.numeric)
                cls = QStringLiteral("num");
            html += QStringLiteral("<th%1>%2</th>")
                        .arg(cls.isEmpty() ? QString() : QStringLiteral(" class=\"%1\"").arg(cls),
                             esc(c.title));
        }
        html += QStringLiteral("</tr></thead><tbody>");
        // Some 70,000 cells at 2,000 workers: each column's opening tag is
        // made once, and numbers, which need no escaping, go in as they are.
        QStringList opening;
        for (const GridColumn& c : columns) {
            if (c.field == QLatin1String("f_price"))
                opening << QStringLiteral("<td class=\"total\">");
            else if (c.field.startsWith(QLatin1Char('d')) && c.field != QLatin1String("d"))
                opening << (isWeekend(first, c.field.mid(1).toInt())
                                ? QStringLiteral("<td class=\"we\">")
                                : QStringLiteral("<td>"));
            else if (c.numeric)
                opening << QStringLiteral("<td class=\"num\">");
            else
                opening << QStringLiteral("<td>");
        }
        const QString statements = statementLink(year, month, 0).chopped(1);
        html.reserve(html.size() + qsizetype(rows.rows.size()) * (columns.size() * 12 + 120));
        for (const std::vector<QVariant>& row : rows.rows) {
            const QString worker = QString::number(row.at(idAt).toInt());
            html += QStringLiteral("<tr data-worker=\"") + worker + QStringLiteral("\">");
            for (qsizetype i = 0; i < columns.size(); ++i) {
                const GridColumn& c = columns[i];
                const QVariant& raw = at[i] >= 0 ? row.at(at[i]) : QVariant();
                html += opening[i];
                if (i == nameColumn) {
                    html += QStringLiteral("<a href=\"") + statements + worker +
                            QStringLiteral("\">") + esc(cellText(c, raw, locale)) +
                            QStringLiteral("</a>");
                } else if (!raw.isNull() && raw.isValid()) {
                    const int type = raw.typeId();
                    if (type == QMetaType::Int || type == QMetaType::LongLong)
                        html += cellText(c, raw, locale);
                    else
                        html += esc(cellText(c, raw, locale));
                }
                html += QStringLiteral("</td>");
            }
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</tbody></table></div>");
        if (rows.rows.empty())
            html += QStringLiteral("<p class=\"note\">В табеле за этот месяц нет строк: он пуст "
                                   "или ещё не построен.</p>");
        return htmlPage(html);
    });
}

} // namespace tabel::web
