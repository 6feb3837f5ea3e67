// The months and their state, and a record's change history.

#include "journal/record_history.h"
#include "timesheets/month_closing.h"
#include "web/page_kit.h"

namespace tabel::web {

Page monthsPage(QSqlDatabase db, const Viewer& viewer) {
    return readPage(db, &viewer, [&] {
        const std::vector<ClosingMonth> months = closingMonths(db);
        QString html = pageStart(QStringLiteral("Месяцы"), &viewer);
        html +=
            QStringLiteral("<div class=\"wrap\"><table class=\"months\"><thead><tr>"
                           "<th>Месяц</th><th>Состояние</th><th>Кем закрыт</th>"
                           "<th>Когда</th><th>Примечание</th><th>Табели</th></tr></thead><tbody>");
        for (const ClosingMonth& m : months) {
            const QString key =
                QStringLiteral("%1-%2").arg(m.year).arg(m.month, 2, 10, QLatin1Char('0'));
            QString by = m.closedBy;
            if (m.closed && !m.workstation.isEmpty())
                by += QStringLiteral(", ") + m.workstation;
            html +=
                QStringLiteral("<tr data-month=\"%1\" class=\"%2\"><td>%3</td><td>%4</td>"
                               "<td>%5</td><td>%6</td><td>%7</td><td>")
                    .arg(key, m.closed ? QStringLiteral("closed") : QStringLiteral("open"),
                         QStringLiteral("%1.%2").arg(m.month, 2, 10, QLatin1Char('0')).arg(m.year),
                         m.closed ? QStringLiteral("Закрыт") : QStringLiteral("Открыт"),
                         esc(m.closed ? by : QString()),
                         m.closed && m.closedAt.isValid()
                             ? m.closedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm"))
                             : QString(),
                         esc(m.closed ? m.note : QString()));
            if (viewer.seesPay)
                for (sql::MonthlySheet s : kSheetKinds)
                    html +=
                        QStringLiteral("<a href=\"%1\">%2</a> ")
                            .arg(sheetLink(m.year, m.month, sheetKindName(s)), esc(sheetTitle(s)));
            html += QStringLiteral("</td></tr>");
        }
        html += QStringLiteral("</tbody></table></div>");
        if (months.empty())
            html += QStringLiteral("<p class=\"note\">Данных ещё нет ни за один месяц.</p>");
        return htmlPage(html);
    });
}

Page historyPage(QSqlDatabase db, const Viewer& viewer, const QString& table, qint64 id) {
    if (!historyTables().contains(table) || id <= 0)
        return errorPage(404, QStringLiteral("Такой записи нет."), &viewer);
    return readPage(db, &viewer, [&] {
        const QList<HistoryEntry> entries = recordHistory(db, table, id);
        if (entries.isEmpty())
            throw NotFound(QStringLiteral("У записи %1 нет истории изменений.").arg(id));
        const QLocale locale = pageLocale();
        QString html = pageStart(QStringLiteral("История позиции № %1").arg(id), &viewer);
        html += QStringLiteral("<div class=\"wrap\"><table class=\"history\"><thead><tr>"
                               "<th>Когда</th><th>Кто</th><th>Действие</th><th>Что изменено</th>"
                               "</tr></thead><tbody>");
        for (const HistoryEntry& e : entries)
            html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                        .arg(esc(historyTimeText(e.changedAt)), esc(historyAuthor(e)),
                             esc(historyAction(e.action)), esc(historyChanges(e, locale)));
        html += QStringLiteral("</tbody></table></div>");
        return htmlPage(html);
    });
}

} // namespace tabel::web
