// A worker's pay statement of a month: as HTML with the printed
// statement's texts, and as the very PDF `tabel-batch pay-statement` writes.

#include "reportengine/render.h"
#include "reports/pay_statement.h"
#include "web/page_kit.h"

#include <QFile>
#include <QTemporaryDir>

namespace tabel::web {

namespace {

// The worker's statement; NotFound for a worker nobody knows who earned
// nothing, as the batch command refuses one.
reports::PayStatement statementOf(const QSqlDatabase& db, const QDate& first, int worker) {
    const QList<reports::PayStatement> found = reports::readPayStatements(db, first, worker);
    if (found.isEmpty() || (found.first().fio.isEmpty() && found.first().isEmpty()))
        throw NotFound(QStringLiteral("Работник %1 не найден и ничего не заработал за %2.")
                           .arg(worker)
                           .arg(first.toString(QStringLiteral("MM.yyyy"))));
    return found.first();
}

QString cellClass(int column) {
    // Quantity or hours, rejects, price or rate, amount.
    return column >= 5 && column != 8 ? QStringLiteral(" class=\"num\"") : QString();
}

} // namespace

Page statementPage(QSqlDatabase db, const Viewer& viewer, int year, int month, int worker) {
    if (!validMonth(year, month))
        return errorPage(404, QStringLiteral("Такого месяца нет."), &viewer);
    if (worker <= 0)
        return errorPage(404, QStringLiteral("Работник %1 не найден.").arg(worker), &viewer);
    const QDate first(year, month, 1);
    return readPage(db, &viewer, [&] {
        const reports::PayStatement s = statementOf(db, first, worker);
        const QLocale locale = pageLocale();
        QString html = pageStart(QStringLiteral("Расчётный листок"), &viewer);
        html += QStringLiteral("<p>Работник: <b id=\"statement-worker\">%1</b>%2<br>"
                               "Подразделение: %3<br>Месяц: %4</p>")
                    .arg(esc(s.shownName()),
                         s.fio.isEmpty() ? QString() : QStringLiteral(", таб. № %1").arg(s.worker),
                         esc(s.department.isEmpty() ? QStringLiteral("—") : s.department),
                         esc(reports::monthTitle(s.month)));
        const QDate before = first.addMonths(-1);
        const QDate after = first.addMonths(1);
        html += QStringLiteral("<p class=\"nav\"><a href=\"%1.pdf\">PDF для печати</a> "
                               "<a href=\"%2\">← %3</a> <a href=\"%4\">%5 →</a> "
                               "<a href=\"%6\">Табель сделка</a></p>")
                    .arg(statementLink(year, month, worker),
                         statementLink(before.year(), before.month(), worker),
                         before.toString(QStringLiteral("MM.yyyy")),
                         statementLink(after.year(), after.month(), worker),
                         after.toString(QStringLiteral("MM.yyyy")),
                         sheetLink(year, month, QStringLiteral("piecework")));
        if (s.isEmpty())
            html += QStringLiteral("<p class=\"note\">Нет начислений за месяц.</p>");
        for (const reports::StatementSection& section : reports::payStatementSections(s, locale)) {
            html += QStringLiteral("<h2>%1</h2><div class=\"wrap\"><table class=\"statement\">"
                                   "<thead><tr>")
                        .arg(esc(section.title));
            for (int c = 0; c < section.headings.size(); ++c)
                html += QStringLiteral("<th%1>%2</th>").arg(cellClass(c), esc(section.headings[c]));
            html += QStringLiteral("</tr></thead><tbody>");
            for (const reports::StatementLine& line : section.lines) {
                html += QStringLiteral("<tr>");
                for (int c = 0; c < line.cells.size(); ++c)
                    html += QStringLiteral("<td%1>%2</td>").arg(cellClass(c), esc(line.cells[c]));
                html += QStringLiteral("<td class=\"num\">%1</td></tr>")
                            .arg(line.amount ? line.amount->toString(2, locale) : QString());
            }
            html += QStringLiteral("</tbody><tfoot><tr><td colspan=\"%1\">Итого по разделу:</td>"
                                   "<td class=\"sum\">%2</td></tr></tfoot></table></div>")
                        .arg(section.headings.size() - 1)
                        .arg(section.total.toString(2, locale));
            if (!section.note.isEmpty())
                html += QStringLiteral("<p class=\"note\">%1</p>").arg(esc(section.note));
        }
        html += QStringLiteral("<dl class=\"totals\"><dt>Сделка:</dt><dd>%1</dd>"
                               "<dt>Хоз. работы:</dt><dd>%2</dd><dt>Ср. сдельная:</dt><dd>%3</dd>"
                               "<dt>Итого:</dt><dd id=\"statement-total\">%4</dd></dl>")
                    .arg(s.piecework().toString(2, locale), s.housekeeping().toString(2, locale),
                         s.average().toString(2, locale), s.total().toString(2, locale));
        return htmlPage(html);
    });
}

Page statementPdf(QSqlDatabase db, int year, int month, int worker) {
    if (!validMonth(year, month))
        return errorPage(404, QStringLiteral("Такого месяца нет."));
    if (worker <= 0)
        return errorPage(404, QStringLiteral("Работник %1 не найден.").arg(worker));
    const QDate first(year, month, 1);
    return readPage(db, nullptr, [&] {
        const reports::PayStatement s = statementOf(db, first, worker);
        // The batch command's document and writer; the writer wants a file.
        const reportengine::Document doc = reports::payStatementDocument({s});
        QTemporaryDir dir;
        if (!dir.isValid())
            throw std::runtime_error("no temporary folder");
        const QString file = dir.filePath(QStringLiteral("statement.pdf"));
        if (!reportengine::writePdf(doc, file).isEmpty())
            throw std::runtime_error("the PDF was not written");
        QFile pdf(file);
        if (!pdf.open(QIODevice::ReadOnly))
            throw std::runtime_error("the PDF cannot be read");
        Page page;
        page.contentType = "application/pdf";
        page.body = pdf.readAll();
        return page;
    });
}

} // namespace tabel::web
