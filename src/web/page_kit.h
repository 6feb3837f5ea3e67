#pragma once

// What the pages share: the frame of a page, the escaping of texts, the
// locale numbers are shown in, and the one read-only transaction every page
// reads in, with the database's refusals made into error pages.

#include "timesheets/sheet_statements.h"
#include "web/pages.h"

#include <QLocale>
#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

namespace tabel::web {

// Every text that goes into a page goes through here.
inline QString esc(const QString& text) {
    return text.toHtmlEscaped();
}

// The program's own locale: the decimal comma.
QLocale pageLocale();

// The head, the header (with the viewer and the logout form, when there is
// a viewer) and the opening of <main>; htmlPage closes them.
QString pageStart(const QString& title, const Viewer* viewer);
Page htmlPage(QString html, int status = 200);

// A link's target and the viewer's usual places.
QString journalLink(const QDate& date, int shift);
QString sheetLink(int year, int month, const QString& kind);
QString statementLink(int year, int month, int worker);

// What a page could not find: a worker, a record, a month.
class NotFound : public std::runtime_error {
public:
    explicit NotFound(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    QString text() const { return text_; }

private:
    QString text_;
};

// Runs `build` in one read-only repeatable-read transaction on `db` and
// returns its page; a NotFound becomes a 404 page, a refusal of the
// database for lack of rights a 403, any other error a 500 with the
// program's own words, never the server's text or the statement. The
// messages are made after the rollback.
Page readPage(QSqlDatabase db, const Viewer* viewer, const std::function<Page()>& build);

// The sheets' names in links: piecework, housekeeping, average, general.
std::optional<sql::MonthlySheet> sheetKindOf(const QString& kind);
QString sheetKindName(sql::MonthlySheet kind);
// "Табель сделка", as the window is called.
QString sheetTitle(sql::MonthlySheet kind);
inline const sql::MonthlySheet kSheetKinds[] = {
    sql::MonthlySheet::Piecework, sql::MonthlySheet::Housekeeping,
    sql::MonthlySheet::AveragePiecework, sql::MonthlySheet::General};

// Whether year and month name a month the pages can show.
bool validMonth(int year, int month);

} // namespace tabel::web
