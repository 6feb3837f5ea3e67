#pragma once

// What the server reads from a request before it touches the database: the
// link's page and its parts, the form's fields, the cookie, the way back
// after the login. No HTTP server and no connection in here.

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QPair>
#include <QString>

namespace tabel::web {

struct Route {
    enum class Kind {
        Unknown,   // no such page: 404
        Malformed, // a page's link with parts that cannot be: 400
        Home,
        Style,
        Login,
        Logout,
        Journal,
        Sheet,
        Statement,
        StatementPdf,
        Months,
        History,
    };
    Kind kind = Kind::Unknown;
    QDate date;
    int shift = 0;
    int year = 0;
    int month = 0;
    int worker = 0;
    QString name; // the sheet's kind, the history's table
    qint64 id = 0;

    // The methods the link answers, as the Allow header lists them.
    QByteArray allowed() const;
    bool needsSession() const;
};

Route parseRoute(const QString& path);

// A field of an application/x-www-form-urlencoded body, UTF-8.
QString formField(const QByteArray& body, const QString& name);

// The cookie `name` among the request's Cookie headers.
QByteArray cookieValue(const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& name);

// A header's value, the name compared without regard to case; the first one.
QByteArray headerValue(const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& name);

// `wanted` when it is a path of this site to go to after the login, else "/":
// never another site ("//host", "/\host", a scheme), never the login itself.
QString safeNext(const QString& wanted);

} // namespace tabel::web
