#pragma once

// The web view's pages: HTML (and one PDF) rendered from the same rules as
// the windows and reports. A page only reads, through the connection it is
// given, which is the logged-in person's own; what the database refuses that
// person the page refuses too.

#include <QByteArray>
#include <QDate>
#include <QSqlDatabase>
#include <QString>

namespace tabel::web {

// One answer to a request.
struct Page {
    int status = 200;
    QByteArray contentType = "text/html; charset=utf-8";
    QByteArray body;
};

// Who reads the page: shown in its header beside the logout form.
struct Viewer {
    QString login;       // the database user
    QString name;        // how the person is called, when known
    bool seesPay = true; // the sheets and pay statements are for them
};

// `kind` is piecework, housekeeping, average or general.
Page journalPage(QSqlDatabase db, const Viewer& viewer, QDate date, int shift);
Page sheetPage(QSqlDatabase db, const Viewer& viewer, int year, int month, const QString& kind);
Page statementPage(QSqlDatabase db, const Viewer& viewer, int year, int month, int worker);
Page statementPdf(QSqlDatabase db, int year, int month, int worker);
Page monthsPage(QSqlDatabase db, const Viewer& viewer);
Page historyPage(QSqlDatabase db, const Viewer& viewer, const QString& table, qint64 id);
Page homePage(QSqlDatabase db, const Viewer& viewer);

// The login form; `message` (may be empty) says why the last try failed.
Page loginPage(const QString& message, const QString& user, int status = 200);
Page errorPage(int status, const QString& message, const Viewer* viewer = nullptr);
QByteArray stylesheet();

} // namespace tabel::web
