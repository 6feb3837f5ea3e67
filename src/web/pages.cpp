#include "pages.h"

#include "db/closed_months.h"
#include "db/rights.h"
#include "db/sql.h"
#include "timesheets/monthly_sheet.h"
#include "timesheets/months.h"
#include "web/page_kit.h"

namespace tabel::web {

namespace {

const char* const kShiftNames[] = {"Смена №1", "Смена №2", "Смена №3", "Переработка"};

QString head(const QString& title) {
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"ru\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width, "
                          "initial-scale=1\"><title>%1</title>"
                          "<link rel=\"stylesheet\" href=\"/style.css\"></head><body>")
        .arg(esc(title));
}

} // namespace

QLocale pageLocale() {
    QLocale locale(QLocale::Russian, QLocale::Russia);
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

QString journalLink(const QDate& date, int shift) {
    return QStringLiteral("/journal/%1/%2").arg(date.toString(Qt::ISODate)).arg(shift);
}

QString sheetLink(int year, int month, const QString& kind) {
    return QStringLiteral("/sheets/%1/%2/%3")
        .arg(year)
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(kind);
}

QString statementLink(int year, int month, int worker) {
    return QStringLiteral("/statement/%1/%2/%3")
        .arg(year)
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(worker);
}

QString pageStart(const QString& title, const Viewer* viewer) {
    QString html = head(title);
    if (viewer) {
        const QDate today = QDate::currentDate();
        const QString who = viewer->name.isEmpty()
                                ? viewer->login
                                : QStringLiteral("%1 (%2)").arg(viewer->name, viewer->login);
        const QString sheets =
            viewer->seesPay
                ? QStringLiteral(" <a href=\"%1\">Табели</a>")
                      .arg(sheetLink(today.year(), today.month(), QStringLiteral("piecework")))
                : QString();
        html +=
            QStringLiteral("<header><nav><a href=\"/\">Табель</a> <a href=\"%1\">Журнал</a>%2"
                           " <a href=\"/months\">Месяцы</a></nav>"
                           "<div class=\"who\"><span>%3</span>"
                           "<form method=\"post\" action=\"/logout\"><button>Выйти</button></form>"
                           "</div></header>")
                .arg(journalLink(today, 1), sheets, esc(who));
    }
    return html + QStringLiteral("<main><h1>%1</h1>").arg(esc(title));
}

Page htmlPage(QString html, int status) {
    html += QStringLiteral("</main></body></html>\n");
    Page page;
    page.status = status;
    page.body = html.toUtf8();
    return page;
}

std::optional<sql::MonthlySheet> sheetKindOf(const QString& kind) {
    for (sql::MonthlySheet s : kSheetKinds)
        if (kind == sheetKindName(s))
            return s;
    return std::nullopt;
}

QString sheetKindName(sql::MonthlySheet kind) {
    switch (kind) {
    case sql::MonthlySheet::Piecework:
        return QStringLiteral("piecework");
    case sql::MonthlySheet::Housekeeping:
        return QStringLiteral("housekeeping");
    case sql::MonthlySheet::AveragePiecework:
        return QStringLiteral("average");
    case sql::MonthlySheet::General:
        break;
    }
    return QStringLiteral("general");
}

QString sheetTitle(sql::MonthlySheet kind) {
    // The window's caption without the form's number.
    return QString::fromUtf8(monthlySheetInfo(kind).caption).section(QStringLiteral(" ("), 0, 0);
}

bool validMonth(int year, int month) {
    return year >= 1900 && year <= 9999 && month >= 1 && month <= 12;
}

namespace {

// The driver runs every statement of a transaction in a savepoint of its
// own, where the server refuses SET TRANSACTION: the page's transactions
// take their mode from the session, which gets the program's own mode back
// afterwards (read committed, for the rechecks of its writes).
struct ReadOnlySession {
    explicit ReadOnlySession(const QSqlDatabase& db) : db_(db) {
        exec(db_, QStringLiteral("set session characteristics as transaction "
                                 "isolation level repeatable read, read only"));
    }
    ~ReadOnlySession() {
        try {
            exec(db_, QStringLiteral("set session characteristics as transaction "
                                     "isolation level read committed, read write"));
        } catch (const DbError&) {
            // A lost connection is opened again with the program's own mode.
        }
    }
    QSqlDatabase db_;
};

} // namespace

Page readPage(QSqlDatabase db, const Viewer* viewer, const std::function<Page()>& build) {
    QString failure;
    int status = 500;
    try {
        // The statements of one page see one snapshot, and a page that tried
        // to write would be refused by the server itself.
        const ReadOnlySession mode(db);
        Transaction reading(db);
        Page page = build();
        reading.commit();
        return page;
    } catch (const NotFound& e) {
        return errorPage(404, e.text(), viewer);
    } catch (const ConnectionLost&) {
        failure = QStringLiteral("Нет связи с базой данных. Повторите действие позже.");
        status = 503;
    } catch (const DbError& e) {
        if (lacksRights(e)) {
            // Asked after the rollback: the failed transaction answers nothing.
            failure = rightsRefusalText(e);
            status = 403;
        } else {
            failure = QStringLiteral("Ошибка при обращении к базе данных.");
        }
    } catch (const std::exception&) {
        failure = QStringLiteral("Ошибка при построении страницы.");
    }
    return errorPage(status, failure, viewer);
}

Page homePage(QSqlDatabase, const Viewer& viewer) {
    const QDate today = QDate::currentDate();
    QString html = pageStart(QStringLiteral("Табель"), &viewer);
    html += QStringLiteral("<h2>Журнал за %1</h2><ul class=\"links\">")
                .arg(today.toString(QStringLiteral("dd.MM.yyyy")));
    for (int shift = 1; shift <= 4; ++shift)
        html += QStringLiteral("<li><a href=\"%1\">%2</a></li>")
                    .arg(journalLink(today, shift), QString::fromUtf8(kShiftNames[shift - 1]));
    html += QStringLiteral("</ul>");
    if (viewer.seesPay) {
        html += QStringLiteral("<h2>Табели за %1</h2><ul class=\"links\">")
                    .arg(esc(monthNames().at(today.month() - 1) + QLatin1Char(' ') +
                             QString::number(today.year())));
        for (sql::MonthlySheet s : kSheetKinds)
            html += QStringLiteral("<li><a href=\"%1\">%2</a></li>")
                        .arg(sheetLink(today.year(), today.month(), sheetKindName(s)),
                             esc(sheetTitle(s)));
        html += QStringLiteral("</ul>");
    }
    html += QStringLiteral("<p><a href=\"/months\">Месяцы и их закрытие</a></p>");
    return htmlPage(html);
}

Page loginPage(const QString& message, const QString& user, int status) {
    QString html = head(QStringLiteral("Вход в Табель"));
    html += QStringLiteral("<main class=\"login\"><h1>Вход в Табель</h1>");
    if (!message.isEmpty())
        html += QStringLiteral("<p class=\"error\">%1</p>").arg(esc(message));
    html += QStringLiteral(
                "<form id=\"login\" method=\"post\" action=\"/login\">"
                "<label>Пользователь <input name=\"user\" value=\"%1\" autocomplete=\"username\" "
                "autocapitalize=\"none\" required%2></label>"
                "<label>Пароль <input name=\"password\" type=\"password\" "
                "autocomplete=\"current-password\"%3></label>"
                "<button>Войти</button></form>")
                .arg(esc(user), user.isEmpty() ? QStringLiteral(" autofocus") : QString(),
                     user.isEmpty() ? QString() : QStringLiteral(" autofocus"));
    return htmlPage(html, status);
}

Page errorPage(int status, const QString& message, const Viewer* viewer) {
    QString html = pageStart(QStringLiteral("Табель: ошибка"), viewer);
    html += QStringLiteral("<p class=\"error\">%1</p><p><a href=\"/\">На главную</a></p>")
                .arg(esc(message));
    return htmlPage(html, status);
}

QByteArray stylesheet() {
    return R"css(:root{color-scheme:light;--line:#c8ccd4;--head:#eef0f6;--total:#e1e4ff}
*{box-sizing:border-box}
body{margin:0;font:15px/1.4 system-ui,"DejaVu Sans",sans-serif;color:#1b1d22;background:#fff}
header{display:flex;flex-wrap:wrap;gap:.5em 1em;align-items:center;justify-content:space-between;padding:.5em 1em;background:#23395d;color:#fff}
header a{color:#fff;margin-right:1em}
header form{display:inline;margin-left:.75em}
.who span{opacity:.85}
main{padding:.75em 1em 2em;max-width:100%}
h1{font-size:1.3em;margin:.3em 0 .6em}
h2{font-size:1.1em;margin:1.2em 0 .4em}
a{color:#1a4fa0}
.nav a{margin-right:.9em;white-space:nowrap}
.nav .here{font-weight:bold;text-decoration:none;color:inherit}
.wrap{overflow-x:auto;-webkit-overflow-scrolling:touch;border:1px solid var(--line);margin:.5em 0}
table{border-collapse:collapse;font-size:.9em}
th,td{border:1px solid var(--line);padding:.25em .45em;vertical-align:top}
th{background:var(--head);font-weight:600;position:sticky;top:0}
td.num,th.num,.total,.sum{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap}
td.day,th.day{text-align:center;font-variant-numeric:tabular-nums;min-width:1.8em}
th.we,td.we{color:#c00}
td.total,td.sum{background:var(--total);font-weight:600}
td.ok{color:#080;font-weight:bold;text-align:center}
td.no{color:#d00;font-weight:bold;text-align:center}
.sheet td{text-align:center;font-variant-numeric:tabular-nums}
.sheet td:first-child{text-align:left}
.sheet td:first-child,.journal td:first-child{white-space:nowrap}
p.closed{display:inline-block;color:#fff;background:#c00;font-weight:bold;padding:.15em .6em;border-radius:3px}
p.error{color:#a00;font-weight:bold}
p.note{color:#555}
dl.totals{display:grid;grid-template-columns:max-content max-content;gap:.2em 1em;margin:.6em 0}
dl.totals dt{font-weight:600}
dl.totals dd{margin:0;text-align:right;font-variant-numeric:tabular-nums}
ul.links{padding-left:1.2em}
ul.links li{margin:.3em 0}
.login{max-width:22em;margin:3em auto}
.login label{display:block;margin:.6em 0}
.login input{display:block;width:100%;padding:.45em;font-size:1em}
button{font-size:1em;padding:.35em 1em}
@media (max-width:600px){body{font-size:14px}main{padding:.5em}th,td{padding:.2em .3em}}
@media print{header,nav,.nav,form{display:none}.wrap{overflow:visible;border:0}th{position:static}
body{font-size:10pt}a{color:inherit;text-decoration:none}}
)css";
}

} // namespace tabel::web
