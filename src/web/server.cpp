#include "server.h"

#include "db/closed_months.h"
#include "db/connection.h"
#include "db/rights.h"
#include "db/schema_steps.h"
#include "db/session_identity.h"
#include "db/sql.h"
#include "pages.h"
#include "requests.h"
#include "session/person_login.h"

#include <QDebug>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <malloc.h>

namespace tabel::web {

struct Reply {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray contentType = "text/html; charset=utf-8";
    QByteArray body;

    static Reply of(const Page& page) {
        Reply r;
        r.status = page.status;
        r.contentType = page.contentType;
        r.body = page.body;
        return r;
    }
    static Reply redirect(const QString& location) {
        Reply r;
        r.status = 303;
        r.contentType.clear();
        r.headers.append({"Location", QUrl(location).toEncoded()});
        return r;
    }
};

namespace {

constexpr QLatin1String kCookie("tabel_session");

QString lostText() {
    return QStringLiteral("Связь с базой данных потеряна. Войдите снова.");
}
QString expiredText() {
    return QStringLiteral("Сеанс завершен после долгого бездействия. Войдите снова.");
}

// Where the login page sends the browser afterwards: put into its form, so
// that the post brings it back.
QByteArray withNext(QByteArray body, const QString& next) {
    if (next == QLatin1String("/"))
        return body;
    static const QRegularExpression form(QStringLiteral("<form[^>]*action=\"/login\"[^>]*>"));
    const QString html = QString::fromUtf8(body);
    const QRegularExpressionMatch m = form.match(html);
    if (!m.hasMatch())
        return body;
    const QString hidden = QStringLiteral("<input type=\"hidden\" name=\"next\" value=\"%1\">")
                               .arg(next.toHtmlEscaped());
    return (html.left(m.capturedEnd()) + hidden + html.mid(m.capturedEnd())).toUtf8();
}

// The wanted page as the link to the login page carries it.
QString loginLink(const QString& next, const char* reason = nullptr) {
    QStringList items;
    if (next != QLatin1String("/"))
        items << QStringLiteral("next=") + QString::fromLatin1(QUrl::toPercentEncoding(next, "/"));
    if (reason)
        items << QLatin1String(reason) + QStringLiteral("=1");
    return items.isEmpty() ? QStringLiteral("/login")
                           : QStringLiteral("/login?") + items.join(QLatin1Char('&'));
}

// Pay is the office's business, as in the program, where only the office and
// the administrator reach the sheets and the statements: the foreman and the
// warehouse see the journal, the months and a record's history. The
// database lets every group read every table, so the web view keeps this
// line itself.
bool showsPay(Route::Kind kind) {
    using K = Route::Kind;
    return kind == K::Sheet || kind == K::Statement || kind == K::StatementPdf;
}

bool seesPay(Role role) {
    return role == Role::Administrator || role == Role::Office;
}

Page callPage(const Route& route, QSqlDatabase db, const Viewer& viewer) {
    using K = Route::Kind;
    switch (route.kind) {
    case K::Home:
        return homePage(db, viewer);
    case K::Journal:
        return journalPage(db, viewer, route.date, route.shift);
    case K::Sheet:
        return sheetPage(db, viewer, route.year, route.month, route.name);
    case K::Statement:
        return statementPage(db, viewer, route.year, route.month, route.worker);
    case K::StatementPdf:
        return statementPdf(db, route.year, route.month, route.worker);
    case K::Months:
        return monthsPage(db, viewer);
    case K::History:
        return historyPage(db, viewer, route.name, route.id);
    case K::Malformed:
        return errorPage(400, QStringLiteral("Неверная ссылка."), &viewer);
    default:
        return errorPage(404, QStringLiteral("Такой страницы нет."), &viewer);
    }
}

} // namespace

Server::Server(const ConnectionTarget& target, const WebSettings& settings, QObject* parent)
    : QAbstractHttpServer(parent), target_(target), settings_(settings),
      sessions_(std::chrono::milliseconds(settings.sessionIdle).count()) {
    clock_.start();
    // A session found idle is ended when it comes back anyway; the sweep
    // frees the connections of those that never come back.
    const qint64 idleMs = sessions_.idleMs();
    sweeper_.setInterval(static_cast<int>(std::clamp<qint64>(idleMs / 4, 1000, 60'000)));
    connect(&sweeper_, &QTimer::timeout, this, [this] {
        const qint64 now = clock_.elapsed();
        sessions_.sweep(now);
        throttle_.prune(now);
        if (sessions_.ended() != endedAtLastTrim_)
            trimMemory();
    });
    sweeper_.start();
}

Server::~Server() {
    sessions_.endAll();
}

void Server::trimMemory() {
    // A connection's buffers are freed into the allocator, which keeps them:
    // after a busy hour the server would stay at its peak size for good.
    endedAtLastTrim_ = sessions_.ended();
    malloc_trim(0);
}

void Server::missingHandler(const QHttpServerRequest&, QTcpSocket*) {}

bool Server::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    send(request, socket, answer(request));
    return true;
}

Reply Server::answer(const QHttpServerRequest& request) {
    using M = QHttpServerRequest::Method;
    const Route route = parseRoute(request.url().path());
    const M method = request.method();
    const bool read = method == M::Get || method == M::Head;
    const bool post = method == M::Post;
    const bool allowed = route.kind == Route::Kind::Login    ? read || post
                         : route.kind == Route::Kind::Logout ? post
                                                             : read;
    if (!allowed) {
        Reply r = Reply::of(errorPage(405, QStringLiteral("Этот адрес только для чтения.")));
        r.headers.append({"Allow", route.allowed()});
        return r;
    }
    // SameSite keeps the cookie off other sites' forms; a browser that does
    // not know it still names the form's site.
    if (post && !sameOrigin(request))
        return Reply::of(errorPage(403, QStringLiteral("Форма отправлена с другого сайта.")));
    switch (route.kind) {
    case Route::Kind::Style: {
        Reply r;
        r.contentType = "text/css; charset=utf-8";
        r.body = stylesheet();
        return r;
    }
    case Route::Kind::Login: {
        if (post)
            return logIn(request);
        const QUrlQuery q(request.url());
        const QString message = q.hasQueryItem(QStringLiteral("lost"))      ? lostText()
                                : q.hasQueryItem(QStringLiteral("expired")) ? expiredText()
                                                                            : QString();
        return loginForm(message, {}, 200,
                         safeNext(q.queryItemValue(QStringLiteral("next"), QUrl::FullyDecoded)));
    }
    case Route::Kind::Logout:
        return logOut(request);
    default:
        return page(request, route);
    }
}

Reply Server::loginForm(const QString& message, const QString& user, int status,
                        const QString& next) {
    Reply r = Reply::of(loginPage(message, user, status));
    r.body = withNext(r.body, next);
    return r;
}

Reply Server::page(const QHttpServerRequest& request, const Route& route) {
    const QByteArray token = cookieValue(request.headers(), kCookie.latin1());
    Session* session = sessions_.find(token, clock_.elapsed());
    if (!session) {
        const QUrl url = request.url();
        const QString wanted = safeNext(
            url.path(QUrl::FullyEncoded) +
            (url.hasQuery() ? QStringLiteral("?") + url.query(QUrl::FullyEncoded) : QString()));
        Reply r = Reply::redirect(loginLink(wanted, token.isEmpty() ? nullptr : "expired"));
        if (!token.isEmpty())
            r.headers.append({"Set-Cookie", clearedCookie()});
        return r;
    }
    Reply reply;
    bool lost = false;
    {
        const Viewer viewer = session->viewer;
        QSqlDatabase db = session->db();
        try {
            lost = !db.isOpen();
            if (!lost && showsPay(route.kind) && !seesPay(session->role))
                reply = Reply::of(
                    errorPage(403,
                              QStringLiteral("Недостаточно прав: табели и расчётные листки видят "
                                             "контора и администратор (роль «%1»).")
                                  .arg(roleName(session->role)),
                              &viewer));
            else if (!lost)
                reply = Reply::of(callPage(route, db, viewer));
            if (route.kind == Route::Kind::StatementPdf && reply.status == 200)
                reply.headers.append({"Content-Disposition",
                                      QStringLiteral("inline; filename=\"statement-%1-%2-%3.pdf\"")
                                          .arg(route.year)
                                          .arg(route.month, 2, 10, QLatin1Char('0'))
                                          .arg(route.worker)
                                          .toLatin1()});
        } catch (const ConnectionLost& e) {
            lost = !e.restored();
            if (!lost)
                reply = Reply::of(errorPage(
                    503, QStringLiteral("Связь с базой данных была потеряна. Обновите страницу."),
                    &viewer));
        } catch (const DbError& e) {
            // The database's refusal of what this person may not read is
            // theirs to see; anything else is logged with the server's words.
            if (lacksRights(e)) {
                reply = Reply::of(errorPage(403, rightsRefusalText(e), &viewer));
            } else {
                qWarning().noquote()
                    << "tabel-web:" << request.url().path() << e.text() << e.statement();
                reply = Reply::of(
                    errorPage(500, QStringLiteral("Ошибка при обращении к базе данных."), &viewer));
            }
        } catch (const std::exception& e) {
            qWarning().noquote() << "tabel-web:" << request.url().path() << e.what();
            reply = Reply::of(errorPage(
                500, QStringLiteral("Ошибка: %1").arg(QString::fromUtf8(e.what())), &viewer));
        }
        lost = lost || !db.isOpen();
    }
    // Opened again without the password it would need, the connection is
    // gone for good: the person logs in anew.
    if (lost) {
        sessions_.end(token);
        Reply r = Reply::redirect(loginLink(QStringLiteral("/"), "lost"));
        r.headers.append({"Set-Cookie", clearedCookie()});
        return r;
    }
    return reply;
}

Reply Server::logIn(const QHttpServerRequest& request) {
    const QString address = clientAddress(request);
    const QByteArray body = request.body();
    const QString user = formField(body, QStringLiteral("user"));
    const QString next = safeNext(formField(body, QStringLiteral("next")));
    const qint64 wait = throttle_.wait(address, clock_.elapsed());
    if (wait > 0) {
        const qint64 seconds = (wait + 999) / 1000;
        Reply r = loginForm(QStringLiteral("Слишком много неудачных попыток входа. Повторите "
                                           "через %1 с.")
                                .arg(seconds),
                            user, 429, next);
        r.headers.append({"Retry-After", QByteArray::number(seconds)});
        return r;
    }
    const QString name = sessions_.newConnectionName();
    Role role = Role::None;
    QString refusal;
    int status = 401;
    {
        QSqlDatabase db = prepareDatabase(QString(), name);
        setSessionIdentity(db, {QStringLiteral("tabel-web"), {}, QSysInfo::machineHostName()});
        try {
            QString password = formField(body, QStringLiteral("password"));
            try {
                role = openAsPerson(db, target_, user, password);
            } catch (...) {
                password.fill(QLatin1Char(' '));
                throw;
            }
            password.fill(QLatin1Char(' '));
            // Pages of another schema than this build knows would show
            // numbers by rules that no longer hold.
            refusal = schemaRefusal(readSchemaState(db));
            if (refusal.isEmpty())
                setSessionRole(db, roleName(role));
            else
                status = 503;
        } catch (const LoginRefused& e) {
            refusal = e.text();
            // The server out of reach is nobody's guess.
            if (!e.detail().isEmpty() && !credentialsRejected(e.detail())) {
                qWarning().noquote() << "tabel-web: login of" << user << e.detail();
                status = 503;
            } else {
                throttle_.failed(address, clock_.elapsed());
            }
        } catch (const DbError& e) {
            qWarning().noquote() << "tabel-web: login of" << user << e.text();
            refusal = QStringLiteral("Ошибка при обращении к базе данных.");
            status = 503;
        }
        if (!refusal.isEmpty())
            db.close();
    }
    if (!refusal.isEmpty()) {
        QSqlDatabase::removeDatabase(name);
        return loginForm(refusal, user, status, next);
    }
    Session session;
    session.connection = name;
    session.viewer.login = user;
    session.viewer.seesPay = seesPay(role);
    session.role = role;
    const QByteArray token = sessions_.open(session, clock_.elapsed());
    Reply r = Reply::redirect(next);
    r.headers.append({"Set-Cookie", sessionCookie(token)});
    return r;
}

Reply Server::logOut(const QHttpServerRequest& request) {
    const QByteArray token = cookieValue(request.headers(), kCookie.latin1());
    if (!token.isEmpty())
        sessions_.end(token);
    // The last one out hands the memory back at once; otherwise the sweep
    // does within a minute.
    if (sessions_.count() == 0)
        trimMemory();
    Reply r = Reply::redirect(QStringLiteral("/login"));
    r.headers.append({"Set-Cookie", clearedCookie()});
    return r;
}

bool Server::fromTrustedProxy(const QHttpServerRequest& request) const {
    return !settings_.trustedProxy.isNull() &&
           request.remoteAddress().isEqual(settings_.trustedProxy,
                                           QHostAddress::TolerantConversion);
}

QString Server::clientAddress(const QHttpServerRequest& request) const {
    // Behind the proxy every browser comes from the proxy's address; the
    // last address it appended is the one it saw. Anyone else could write
    // the header, so it counts from the proxy only.
    if (fromTrustedProxy(request)) {
        const QByteArray forwarded = headerValue(request.headers(), "X-Forwarded-For");
        QHostAddress client;
        if (client.setAddress(QString::fromLatin1(forwarded.split(',').last().trimmed())))
            return client.toString();
    }
    QHostAddress peer = request.remoteAddress();
    bool v4 = false;
    const quint32 ipv4 = peer.toIPv4Address(&v4);
    return v4 ? QHostAddress(ipv4).toString() : peer.toString();
}

bool Server::sameOrigin(const QHttpServerRequest& request) const {
    const QByteArray origin = headerValue(request.headers(), "Origin");
    if (origin.isEmpty())
        return true;
    QByteArray host = headerValue(request.headers(), "Host");
    if (fromTrustedProxy(request)) {
        const QByteArray forwarded = headerValue(request.headers(), "X-Forwarded-Host");
        if (!forwarded.isEmpty())
            host = forwarded;
    }
    const QUrl url(QString::fromLatin1(origin));
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return false;
    // With the brackets of an IPv6 address, as the Host header has them.
    const QString authority = url.authority(QUrl::FullyEncoded);
    QString ownHost = QString::fromLatin1(host).toLower();
    // A browser leaves the scheme's own port out of the origin.
    for (const char* port : {":80", ":443"})
        if (url.port() < 0 && ownHost.endsWith(QLatin1String(port)))
            ownHost.chop(static_cast<int>(qstrlen(port)));
    return !host.isEmpty() && authority.toLower() == ownHost;
}

QByteArray Server::sessionCookie(const QByteArray& token) const {
    QByteArray c =
        kCookie.latin1() + QByteArray("=") + token + "; Path=/; HttpOnly; SameSite=Strict";
    if (settings_.secureCookie)
        c += "; Secure";
    return c;
}

QByteArray Server::clearedCookie() const {
    QByteArray c = kCookie.latin1() + QByteArray("=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict");
    if (settings_.secureCookie)
        c += "; Secure";
    return c;
}

void Server::send(const QHttpServerRequest& request, QTcpSocket* socket, const Reply& reply) {
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
    if (!reply.contentType.isEmpty())
        responder.writeHeader("Content-Type", reply.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    // No scripts, no frames, nothing from elsewhere: the pages need none.
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'self'; frame-ancestors 'none'; form-action 'self'");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "same-origin");
    responder.writeHeader("X-Frame-Options", "DENY");
    responder.writeHeader("Cache-Control", reply.contentType.startsWith("text/css")
                                               ? QByteArray("no-cache")
                                               : QByteArray("no-store"));
    for (const auto& [name, value] : reply.headers)
        responder.writeHeader(name, value);
    // A HEAD is told the length of what a GET would bring, and no more.
    responder.writeBody(request.method() == QHttpServerRequest::Method::Head ? QByteArray()
                                                                             : reply.body);
}

} // namespace tabel::web
