#include "pages.h"

namespace tabel::web {

namespace {
Page notYet(const Viewer* viewer) {
    return errorPage(501, QStringLiteral("Страница ещё не готова."), viewer);
}
} // namespace

Page journalPage(QSqlDatabase, const Viewer& viewer, QDate, int) {
    return notYet(&viewer);
}
Page sheetPage(QSqlDatabase, const Viewer& viewer, int, int, const QString&) {
    return notYet(&viewer);
}
Page statementPage(QSqlDatabase, const Viewer& viewer, int, int, int) {
    return notYet(&viewer);
}
Page statementPdf(QSqlDatabase, int, int, int) {
    return notYet(nullptr);
}
Page monthsPage(QSqlDatabase, const Viewer& viewer) {
    return notYet(&viewer);
}
Page historyPage(QSqlDatabase, const Viewer& viewer, const QString&, qint64) {
    return notYet(&viewer);
}
Page homePage(QSqlDatabase, const Viewer& viewer) {
    return notYet(&viewer);
}

Page loginPage(const QString& message, const QString& user, int status) {
    Page page;
    page.status = status;
    page.body = QStringLiteral("<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\">"
                               "<title>Табель: вход</title></head><body>"
                               "<form method=\"post\" action=\"/login\">"
                               "<p>%1</p>"
                               "<input name=\"user\" value=\"%2\"><input name=\"password\" "
                               "type=\"password\"><button>Войти</button></form></body></html>")
                    .arg(message.toHtmlEscaped(), user.toHtmlEscaped())
                    .toUtf8();
    return page;
}

Page errorPage(int status, const QString& message, const Viewer*) {
    Page page;
    page.status = status;
    page.body = QStringLiteral("<!DOCTYPE html><html lang=\"ru\"><head><meta charset=\"utf-8\">"
                               "<title>Табель</title></head><body><p>%1</p></body></html>")
                    .arg(message.toHtmlEscaped())
                    .toUtf8();
    return page;
}

QByteArray stylesheet() {
    return "body{font-family:sans-serif}";
}

} // namespace tabel::web
