// tabel-web as a browser meets it, over HTTP, without a browser: a real
// tabel-web process on a free port against the test's database, and people
// whose passwords PostgreSQL checks (members of `tabel_login_test`).
#include "test_support.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QUuid>
#include <memory>

using namespace tabel;
using namespace tabel::test;

namespace {

using Headers = QList<QPair<QByteArray, QByteArray>>;

struct Response {
    int status = 0;
    Headers headers;
    QByteArray body;

    QByteArray header(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        return {};
    }
    QString text() const { return QString::fromUtf8(body); }
    // The session's token from Set-Cookie; empty when none was set.
    QByteArray token() const {
        const QByteArray c = header("Set-Cookie");
        if (!c.startsWith("tabel_session="))
            return {};
        return c.mid(14, c.indexOf(';') - 14);
    }
};

// One request on a connection of its own; the whole answer, read by its
// Content-Length.
Response request(quint16 port, const QByteArray& method, const QByteArray& path,
                 const Headers& headers = {}, const QByteArray& body = {}) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    Response r;
    if (!s.waitForConnected(10'000)) {
        ADD_FAILURE() << "no connection to tabel-web";
        return r;
    }
    QByteArray out =
        method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    if (!body.isEmpty() || method == "POST")
        out += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n";
    out += "\r\n" + body;
    s.write(out);
    QByteArray in;
    qsizetype headEnd = -1;
    qint64 length = -1;
    QDeadlineTimer deadline(30'000);
    while (!deadline.hasExpired()) {
        if (headEnd < 0 && (headEnd = in.indexOf("\r\n\r\n")) >= 0) {
            const QList<QByteArray> lines = in.left(headEnd).split('\n');
            r.status = lines.value(0).split(' ').value(1).toInt();
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                r.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            }
            length = method == "HEAD" ? 0 : r.header("Content-Length").toLongLong();
        }
        if (headEnd >= 0 && in.size() - headEnd - 4 >= length) {
            r.body = in.mid(headEnd + 4, length);
            return r;
        }
        if (!s.waitForReadyRead(1000) && s.state() != QAbstractSocket::ConnectedState)
            break;
        in += s.readAll();
    }
    ADD_FAILURE() << "incomplete answer: " << in.left(300).toStdString();
    return r;
}

QByteArray form(const QString& user, const QString& password) {
    return "user=" + QUrl::toPercentEncoding(user) +
           "&password=" + QUrl::toPercentEncoding(password);
}

class WebServerTest : public DbTest {
protected:
    void TearDown() override {
        stopServer();
        for (const QString& login : logins_)
            tabel::exec(db, QStringLiteral("drop role if exists %1").arg(login));
        DbTest::TearDown();
    }

    // A login with a password in `group`; PostgreSQL asks it the password.
    QString addPerson(const QString& group, const QString& password) {
        const QString login = "tabel_web_" + QUuid::createUuid().toString(QUuid::Id128).left(10);
        tabel::exec(db, QStringLiteral("create role %1 login password '%2' in role %3, "
                                       "tabel_login_test")
                            .arg(login, password, group));
        logins_ << login;
        return login;
    }

    // tabel-web with `settings` (lines of the plant's file) on a free port.
    void startServer(const QByteArray& settings) {
        ASSERT_TRUE(dir_.isValid());
        QFile conf(dir_.filePath("tabel.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(settings);
        conf.close();
        server_ = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TABEL_SYSTEM_CONFIG", conf.fileName());
        env.insert("XDG_CONFIG_HOME", dir_.filePath("xdg"));
        server_->setProcessEnvironment(env);
        server_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_->start(TABEL_WEB, {"--listen", "127.0.0.1:0", dbName, testSocket()});
        ASSERT_TRUE(server_->waitForStarted(10'000));
        QByteArray said;
        QDeadlineTimer deadline(30'000);
        while (!said.contains('\n') && !deadline.hasExpired() &&
               server_->state() == QProcess::Running) {
            server_->waitForReadyRead(1000);
            said += server_->readAllStandardOutput();
        }
        const QRegularExpressionMatch m =
            QRegularExpression("http://127\\.0\\.0\\.1:(\\d+)/").match(QString::fromUtf8(said));
        ASSERT_TRUE(m.hasMatch()) << "tabel-web said: " << said.toStdString();
        port = static_cast<quint16>(m.captured(1).toInt());
    }

    void stopServer() {
        if (!server_)
            return;
        // SIGTERM, as systemd stops it: the sessions' connections are closed
        // and the program ends cleanly (a sanitizer's report would end it
        // with 86).
        server_->terminate();
        if (!server_->waitForFinished(30'000)) {
            ADD_FAILURE() << "tabel-web did not stop on SIGTERM";
            server_->kill();
            server_->waitForFinished();
        } else {
            EXPECT_EQ(server_->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(server_->exitCode(), 0);
        }
        server_.reset();
    }

    Response logIn(const QString& user, const QString& password, const Headers& headers = {}) {
        return request(port, "POST", "/login", headers, form(user, password));
    }

    Response get(const QByteArray& path, const QByteArray& token = {},
                 const QByteArray& method = "GET") {
        Headers h;
        if (!token.isEmpty())
            h.append({"Cookie", "tabel_session=" + token});
        return request(port, method, path, h);
    }

    // The login's connections to the test's database.
    int connectionsOf(const QString& login) {
        return scalar("select count(*) from pg_stat_activity where usename = :u and datname = :d",
                      {{"u", login}, {"d", dbName}})
            .toInt();
    }
    // Backends end a moment after their client leaves.
    bool connectionsGone(const QString& login) {
        QDeadlineTimer deadline(10'000);
        while (connectionsOf(login) > 0 && !deadline.hasExpired())
            QThread::msleep(50);
        return connectionsOf(login) == 0;
    }

    quint16 port = 0;

private:
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> server_;
    QStringList logins_;
};

const char* kSettings = "web_trusted_proxy = 127.0.0.1\n";

} // namespace

TEST_F(WebServerTest, ALoginOpensItsOwnConnectionBehindAStrictCookieAndTheLogoutClosesIt) {
    const QString anna = addPerson("tabel_office", "Пароль 1");
    startServer(kSettings);
    ASSERT_EQ(connectionsOf(anna), 0);

    const Response in = logIn(anna, "Пароль 1");
    ASSERT_EQ(in.status, 303) << in.text().toStdString();
    EXPECT_EQ(in.header("Location"), "/");
    const QByteArray cookie = in.header("Set-Cookie");
    EXPECT_TRUE(cookie.contains("; Path=/")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("; HttpOnly")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("; SameSite=Strict")) << cookie.toStdString();
    EXPECT_FALSE(cookie.contains("Secure")) << "Secure without TLS: the browser would drop it";
    // 32 random bytes, base64url without padding.
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]{43}$").match(in.token()).hasMatch())
        << in.token().toStdString();
    EXPECT_EQ(connectionsOf(anna), 1);
    EXPECT_EQ(
        scalar("select application_name from pg_stat_activity where usename = :u", {{"u", anna}})
            .toString(),
        "tabel-web");

    // Every page with the cookie is the person's own, never the login page.
    for (const char* path : {"/", "/months", "/sheets/2024/01/piecework"}) {
        const Response page = get(path, in.token());
        EXPECT_NE(page.status, 303) << path;
        EXPECT_EQ(page.header("Cache-Control"), "no-store") << path;
    }
    // A second browser is a second session with a connection of its own.
    const Response again = logIn(anna, "Пароль 1");
    ASSERT_EQ(again.status, 303);
    EXPECT_NE(again.token(), in.token());
    EXPECT_EQ(connectionsOf(anna), 2);

    const Response out = request(port, "POST", "/logout",
                                 {{"Cookie", "tabel_session=" + in.token()},
                                  {"Origin", "http://127.0.0.1:" + QByteArray::number(port)}});
    EXPECT_EQ(out.status, 303);
    EXPECT_EQ(out.header("Location"), "/login");
    EXPECT_TRUE(out.header("Set-Cookie").startsWith("tabel_session=;"));
    EXPECT_TRUE(out.header("Set-Cookie").contains("Max-Age=0"));
    QDeadlineTimer deadline(10'000);
    while (connectionsOf(anna) != 1 && !deadline.hasExpired())
        QThread::msleep(50);
    EXPECT_EQ(connectionsOf(anna), 1) << "the logout left its connection open";
    EXPECT_EQ(get("/months", in.token()).status, 303) << "the cookie outlived the logout";
    EXPECT_NE(get("/months", again.token()).status, 303) << "the other session ended too";

    // Behind TLS the cookie travels only there.
    stopServer();
    EXPECT_TRUE(connectionsGone(anna)) << "a stopped server left connections";
    startServer("web_secure_cookie = yes\n");
    const Response secure = logIn(anna, "Пароль 1");
    ASSERT_EQ(secure.status, 303);
    EXPECT_TRUE(secure.header("Set-Cookie").endsWith("; Secure"));
}

TEST_F(WebServerTest, OnlyTheFormsPostAndEveryOtherMethodIsRefused) {
    startServer(kSettings);
    const QByteArray origin = "http://127.0.0.1:" + QByteArray::number(port);
    const struct {
        const char* method;
        const char* path;
        const char* allow;
    } refused[] = {
        {"PUT", "/months", "GET, HEAD"},         {"DELETE", "/months", "GET, HEAD"},
        {"POST", "/months", "GET, HEAD"},        {"POST", "/sheets/2024/01/piecework", "GET, HEAD"},
        {"POST", "/style.css", "GET, HEAD"},     {"PATCH", "/", "GET, HEAD"},
        {"DELETE", "/login", "GET, HEAD, POST"}, {"GET", "/logout", "POST"},
        {"PUT", "/nowhere", "GET, HEAD"},
    };
    for (const auto& c : refused) {
        const Response r = request(port, c.method, c.path, {{"Origin", origin}});
        EXPECT_EQ(r.status, 405) << c.method << ' ' << c.path;
        EXPECT_EQ(r.header("Allow"), c.allow) << c.method << ' ' << c.path;
    }
    // A form of another site is refused before anything is tried.
    const Response foreign =
        request(port, "POST", "/login", {{"Origin", "http://evil.example"}}, form("x", "y"));
    EXPECT_EQ(foreign.status, 403);
    const Response fromHere = request(port, "POST", "/login", {{"Origin", origin}}, form("x", "y"));
    EXPECT_EQ(fromHere.status, 401);

    // HEAD: a GET's headers and length, no body.
    const Response css = get("/style.css");
    const Response head = get("/style.css", {}, "HEAD");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), css.header("Content-Length"));
    EXPECT_TRUE(head.body.isEmpty());
    EXPECT_GT(css.body.size(), 0);
}

TEST_F(WebServerTest, WithoutASessionOnlyTheLoginAndItsStylesheetAreServed) {
    startServer(kSettings);
    const struct {
        const char* path;
        const char* location;
    } pages[] = {
        {"/", "/login"},
        {"/months", "/login?next=/months"},
        {"/sheets/2024/01/piecework", "/login?next=/sheets/2024/01/piecework"},
        {"/statement/2024/01/5.pdf", "/login?next=/statement/2024/01/5.pdf"},
        {"/history/smena/1", "/login?next=/history/smena/1"},
        {"/nowhere", "/login?next=/nowhere"},
    };
    for (const auto& p : pages) {
        for (const char* method : {"GET", "HEAD"}) {
            const Response r = get(p.path, {}, method);
            EXPECT_EQ(r.status, 303) << method << ' ' << p.path;
            EXPECT_EQ(r.header("Location"), p.location) << method << ' ' << p.path;
        }
    }
    // A cookie the server does not know is no session either, and goes.
    const Response forged = get("/months", "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
    EXPECT_EQ(forged.status, 303);
    EXPECT_TRUE(forged.header("Set-Cookie").contains("Max-Age=0"));

    const Response css = get("/style.css");
    EXPECT_EQ(css.status, 200);
    EXPECT_TRUE(css.header("Content-Type").startsWith("text/css"));
    const Response login = get("/login?next=/months");
    EXPECT_EQ(login.status, 200);
    EXPECT_TRUE(login.text().contains("action=\"/login\""));
    EXPECT_TRUE(login.text().contains("name=\"next\" value=\"/months\""))
        << "the wanted page is lost on the way through the login";
    // Never a way back to another site.
    EXPECT_FALSE(get("/login?next=//evil.example/").text().contains("evil"));
    for (const Response* r : {&css, &login}) {
        EXPECT_EQ(r->header("X-Content-Type-Options"), "nosniff");
        EXPECT_EQ(r->header("Referrer-Policy"), "same-origin");
        EXPECT_TRUE(r->header("Content-Security-Policy").startsWith("default-src 'self'"));
    }
    EXPECT_EQ(login.header("Cache-Control"), "no-store");
}

TEST_F(WebServerTest, AWrongPasswordIsRefusedInRussianAndTheWantedPageFollowsTheLogin) {
    const QString anna = addPerson("tabel_office", "верный");
    const QString store = addPerson("tabel_store", "склад");
    startServer(kSettings);
    for (const QString& user : {anna, QStringLiteral("nobody_at_all")}) {
        const Response r = logIn(user, "неверный");
        EXPECT_EQ(r.status, 401) << user.toStdString();
        EXPECT_TRUE(r.text().contains("Неверное имя пользователя или пароль."))
            << r.text().toStdString();
        EXPECT_TRUE(r.token().isEmpty());
    }
    EXPECT_TRUE(connectionsGone(anna));
    EXPECT_EQ(logIn("", "x").status, 401);

    const Response in = request(port, "POST", "/login", {},
                                form(store, "склад") + "&next=%2Fsheets%2F2024%2F01%2Fgeneral");
    EXPECT_EQ(in.status, 303);
    EXPECT_EQ(in.header("Location"), "/sheets/2024/01/general");
    const Response evil =
        request(port, "POST", "/login", {}, form(store, "склад") + "&next=%2F%2Fevil.example");
    EXPECT_EQ(evil.header("Location"), "/");
}

TEST_F(WebServerTest, FiveFailuresFromOneAddressSlowItDownButNotTheOthers) {
    const QString anna = addPerson("tabel_office", "верный");
    startServer(kSettings);
    const Headers fromA{{"X-Forwarded-For", "192.0.2.10, 10.1.1.1"}};
    const Headers fromB{{"X-Forwarded-For", "10.1.1.2"}};
    // A success between the failures neither counts nor wipes them.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(logIn(anna, "неверный", fromA).status, 401) << i;
        if (i == 2) {
            EXPECT_EQ(logIn(anna, "верный", fromA).status, 303);
        }
    }
    const Response slowed = logIn(anna, "верный", fromA);
    EXPECT_EQ(slowed.status, 429);
    const int after = slowed.header("Retry-After").toInt();
    EXPECT_GT(after, 0);
    EXPECT_LE(after, 60);
    EXPECT_TRUE(slowed.text().contains("Слишком много неудачных попыток входа"));
    EXPECT_TRUE(slowed.token().isEmpty());

    EXPECT_EQ(logIn(anna, "неверный", fromB).status, 401);
    EXPECT_EQ(logIn(anna, "верный", fromB).status, 303);

    // Without a trusted proxy the header is anyone's to write and counts for
    // nothing: every try comes from the peer's own address.
    stopServer();
    startServer("");
    for (int i = 0; i < 5; ++i)
        logIn(anna, "неверный", {{"X-Forwarded-For", "198.51.100." + QByteArray::number(i)}});
    EXPECT_EQ(logIn(anna, "верный", {{"X-Forwarded-For", "198.51.100.99"}}).status, 429);
}

TEST_F(WebServerTest, ASessionIdleTooLongEndsWithItsConnection) {
    const QString anna = addPerson("tabel_office", "верный");
    startServer("web_session_idle = 1s\n");
    const Response in = logIn(anna, "верный");
    ASSERT_EQ(in.status, 303);
    ASSERT_EQ(connectionsOf(anna), 1);
    // The sweep closes it without the browser coming back.
    EXPECT_TRUE(connectionsGone(anna)) << "an idle session kept its connection";
    const Response late = get("/months", in.token());
    EXPECT_EQ(late.status, 303);
    EXPECT_EQ(late.header("Location"), "/login?next=/months&expired=1");
    const Response page = get(late.header("Location"));
    EXPECT_TRUE(page.text().contains("Сеанс завершен")) << page.text().toStdString();
}

TEST_F(WebServerTest, ALostConnectionEndsTheSessionAndTheLoginPageSaysSo) {
    const QString anna = addPerson("tabel_office", "верный");
    startServer(kSettings);
    const Response in = logIn(anna, "верный");
    ASSERT_EQ(in.status, 303);
    if (get("/months", in.token()).status == 501)
        GTEST_SKIP() << "the pages are not built yet (501): no page reads the database";
    // The server drops the connection (a restart, an administrator); opened
    // again it would need the password, which nobody kept.
    // Ending another login's backend takes membership in pg_signal_backend,
    // which the test's owner (with CREATEROLE) may give itself.
    run("grant pg_signal_backend to current_user");
    run("select pg_terminate_backend(pid) from pg_stat_activity where usename = :u", {{"u", anna}});
    ASSERT_TRUE(connectionsGone(anna));
    const Response lost = get("/months", in.token());
    EXPECT_EQ(lost.status, 303);
    EXPECT_EQ(lost.header("Location"), "/login?lost=1");
    EXPECT_TRUE(lost.header("Set-Cookie").contains("Max-Age=0"));
    EXPECT_TRUE(get("/login?lost=1").text().contains("Связь с базой данных потеряна"));
    EXPECT_EQ(get("/months", in.token()).status, 303) << "the session outlived its connection";
}
