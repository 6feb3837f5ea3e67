// The journal of a date and shift, as the main window lists it.

#include "db/closed_months.h"
#include "db/dataset.h"
#include "db/sql.h"
#include "db/statements.h"
#include "journal/journal_columns.h"
#include "journal/journal_commands.h"
#include "reportengine/decimal.h"
#include "timesheets/closed_month_banner.h"
#include "web/page_kit.h"

#include <QSqlQuery>

namespace tabel::web {

namespace {

const char* const kShiftNames[] = {"Смена №1", "Смена №2", "Смена №3", "Переработка"};

QString cellClass(const GridColumn& col, const QVariant& raw) {
    if (col.field == QLatin1String("ok"))
        return isAccepted(raw.toString()) ? QStringLiteral("ok") : QStringLiteral("no");
    return col.align & Qt::AlignRight ? QStringLiteral("num") : QString();
}

} // namespace

Page journalPage(QSqlDatabase db, const Viewer& viewer, QDate date, int shift) {
    if (!date.isValid())
        return errorPage(400, QStringLiteral("Неверная дата в ссылке."), &viewer);
    if (shift < 1 || shift > 4)
        return errorPage(404, QStringLiteral("Смены %1 нет: смены 1–4.").arg(shift), &viewer);
    return readPage(db, &viewer, [&] {
        const QString statement = sql::shiftListJson(shift);
        // After the login the journal leaves out the marks "ta", which no
        // record carries: every record is listed.
        QSqlQuery q = exec(db, statement, {{"data", date}, {"ok", QStringLiteral("ta")}});
        const ResultRows rows = readJsonRows(q, sql::shiftListColumns(), statement);
        const bool closed = monthClosed(db, monthKey(date));

        const QLocale locale = pageLocale();
        QList<GridColumn> columns = journalColumns();
        columns.removeIf([](const GridColumn& c) { return c.hidden; });
        QList<int> at;
        for (const GridColumn& c : columns)
            at << static_cast<int>(rows.fields.indexOf(c.field));
        const int idAt = static_cast<int>(rows.fields.indexOf(QStringLiteral("id")));
        const int sumAt = static_cast<int>(rows.fields.indexOf(QStringLiteral("summa")));

        const QString shiftName = QString::fromUtf8(kShiftNames[shift - 1]);
        QString html = pageStart(QStringLiteral("Журнал за %1, %2")
                                     .arg(date.toString(QStringLiteral("dd.MM.yyyy")), shiftName),
                                 &viewer);
        html += QStringLiteral("<p class=\"nav\"><a href=\"%1\">← %2</a>")
                    .arg(journalLink(date.addDays(-1), shift),
                         date.addDays(-1).toString(QStringLiteral("dd.MM")));
        for (int s = 1; s <= 4; ++s)
            html += s == shift
                        ? QStringLiteral("<b class=\"here\">%1</b> ")
                              .arg(QString::fromUtf8(kShiftNames[s - 1]))
                        : QStringLiteral("<a href=\"%1\">%2</a> ")
                              .arg(journalLink(date, s), QString::fromUtf8(kShiftNames[s - 1]));
        html += QStringLiteral("<a href=\"%1\">%2 →</a></p>")
                    .arg(journalLink(date.addDays(1), shift),
                         date.addDays(1).toString(QStringLiteral("dd.MM")));
        if (closed)
            html += QStringLiteral("<p class=\"closed\">%1</p>")
                        .arg(QString::fromUtf8(kMonthClosedText));

        html += QStringLiteral("<div class=\"wrap\"><table class=\"journal\"><thead><tr>");
        for (const GridColumn& c : columns)
            html +=
                QStringLiteral("<th%1>%2</th>")
                    .arg(c.align & Qt::AlignRight ? QStringLiteral(" class=\"num\"") : QString(),
                         esc(c.title));
        html += QStringLiteral("<th>История</th></tr></thead><tbody>");
        reportengine::Decimal total;
        for (const std::vector<QVariant>& row : rows.rows) {
            const QString id = row.at(idAt).toString();
            html += QStringLiteral("<tr data-id=\"%1\">").arg(esc(id));
            for (qsizetype i = 0; i < columns.size(); ++i) {
                const QVariant& raw = at[i] >= 0 ? row.at(at[i]) : QVariant();
                const QString cls = cellClass(columns[i], raw);
                html +=
                    QStringLiteral("<td%1>%2</td>")
                        .arg(cls.isEmpty() ? QString() : QStringLiteral(" class=\"%1\"").arg(cls),
                             esc(cellText(columns[i], raw, locale)));
            }
            html += QStringLiteral("<td><a href=\"/history/smena/%1\">история</a></td></tr>")
                        .arg(esc(id));
            // The amounts come as the server's exact text, so they add up
            // to the kopeck.
            if (const auto sum = reportengine::Decimal::parse(row.at(sumAt).toString()))
                total = total.plus(*sum).value_or(total);
        }
        html += QStringLiteral("</tbody></table></div>");
        if (rows.rows.empty())
            html += QStringLiteral("<p class=\"note\">Записей нет.</p>");
        html += QStringLiteral("<p>Записей: %1. Итого за смену: <b id=\"journal-total\" "
                               "class=\"sum\">%2</b> р.</p>")
                    .arg(rows.rows.size())
                    .arg(total.toString(2, locale));
        return htmlPage(html);
    });
}

} // namespace tabel::web
