// The web server's parts that need neither a process nor a database: links,
// forms, cookies, the way back after the login, the login slowdown and the
// settings.
#include "db/config.h"
#include "web/login_throttle.h"
#include "web/requests.h"
#include "web/web_settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tabel;
using namespace tabel::web;

TEST(WebRoutes, LinksAndTheirParts) {
    using K = Route::Kind;
    const struct {
        const char* path;
        K kind;
        QDate date;
        int shift, year, month, worker;
        const char* name;
        qint64 id;
    } cases[] = {
        {"/", K::Home, {}, 0, 0, 0, 0, "", 0},
        {"/style.css", K::Style, {}, 0, 0, 0, 0, "", 0},
        {"/login", K::Login, {}, 0, 0, 0, 0, "", 0},
        {"/logout", K::Logout, {}, 0, 0, 0, 0, "", 0},
        {"/months", K::Months, {}, 0, 0, 0, 0, "", 0},
        {"/journal/2026-12-10/1", K::Journal, QDate(2026, 12, 10), 1, 0, 0, 0, "", 0},
        {"/sheets/2026/12/piecework", K::Sheet, {}, 0, 2026, 12, 0, "piecework", 0},
        {"/sheets/2024/02/general", K::Sheet, {}, 0, 2024, 2, 0, "general", 0},
        {"/statement/2026/12/100035", K::Statement, {}, 0, 2026, 12, 100035, "", 0},
        {"/statement/2026/12/100035.pdf", K::StatementPdf, {}, 0, 2026, 12, 100035, "", 0},
        {"/history/smena/77", K::History, {}, 0, 0, 0, 0, "smena", 77},
        // A page's link whose parts cannot be.
        {"/journal/2026-02-30/1", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/journal/2026-12-10", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/journal/10.12.2026/1", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/sheets/2026/13/piecework", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/sheets/2026/12/bonus", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/statement/2026/12/abc", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/statement/2026/12/1.pdf.pdf", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/history/Smena;drop/1", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        {"/sheets/2026/12/piecework/", K::Malformed, {}, 0, 0, 0, 0, "", 0},
        // No such page.
        {"/admin", K::Unknown, {}, 0, 0, 0, 0, "", 0},
        {"/months/", K::Unknown, {}, 0, 0, 0, 0, "", 0},
        {"", K::Unknown, {}, 0, 0, 0, 0, "", 0},
    };
    for (const auto& c : cases) {
        const Route r = parseRoute(QString::fromUtf8(c.path));
        EXPECT_EQ(r.kind, c.kind) << c.path;
        if (r.kind != c.kind || c.kind == K::Malformed || c.kind == K::Unknown)
            continue;
        EXPECT_EQ(r.date, c.date) << c.path;
        EXPECT_EQ(r.shift, c.shift) << c.path;
        EXPECT_EQ(r.year, c.year) << c.path;
        EXPECT_EQ(r.month, c.month) << c.path;
        EXPECT_EQ(r.worker, c.worker) << c.path;
        EXPECT_EQ(r.name, QString::fromUtf8(c.name)) << c.path;
        EXPECT_EQ(r.id, c.id) << c.path;
    }
}

TEST(WebRequests, FormFieldsCookiesAndTheWayBack) {
    // Percent-decoded UTF-8, "+" for a blank, "%2B" for a plus.
    const QByteArray body = "user=%D0%B8%D0%B2%D0%B0%D0%BD%D0%BE%D0%B2&password=a+b%2Bc%26d%3D";
    EXPECT_EQ(formField(body, "user"), QString::fromUtf8("иванов"));
    EXPECT_EQ(formField(body, "password"), "a b+c&d=");
    EXPECT_EQ(formField(body, "next"), "");

    const QList<QPair<QByteArray, QByteArray>> headers{
        {"Host", "x"}, {"Cookie", "a=1; tabel_session_old=2"}, {"cookie", "tabel_session=abc-_9"}};
    EXPECT_EQ(cookieValue(headers, "tabel_session"), "abc-_9");
    EXPECT_EQ(cookieValue(headers, "nope"), "");
    EXPECT_EQ(headerValue(headers, "HOST"), "x");

    const struct {
        const char* wanted;
        const char* next;
    } ways[] = {
        {"/sheets/2026/12/piecework", "/sheets/2026/12/piecework"},
        {"/months?x=1", "/months?x=1"},
        {"//evil.example/", "/"},
        {"/\\evil.example/", "/"},
        {"https://evil.example/", "/"},
        {"evil", "/"},
        {"", "/"},
        {"/login", "/"},
        {"/logout?x", "/"},
        {"/months\r\nSet-Cookie: x", "/"},
    };
    for (const auto& w : ways)
        EXPECT_EQ(safeNext(QString::fromUtf8(w.wanted)), QString::fromUtf8(w.next)) << w.wanted;
}

TEST(WebLoginThrottle, FiveFailuresInAMinuteStopTheAddressForAMinute) {
    LoginThrottle t(5, 60'000, 3);
    // Four failures, then a pause longer than the window: the count starts anew.
    for (int i = 0; i < 4; ++i)
        t.failed("10.0.0.1", i * 1000);
    EXPECT_EQ(t.wait("10.0.0.1", 4000), 0);
    for (int i = 0; i < 4; ++i)
        t.failed("10.0.0.1", 70'000 + i * 1000);
    EXPECT_EQ(t.wait("10.0.0.1", 74'000), 0) << "failures older than a minute still counted";
    t.failed("10.0.0.1", 74'000);
    EXPECT_EQ(t.wait("10.0.0.1", 74'000), 60'000);
    EXPECT_EQ(t.wait("10.0.0.1", 133'999), 1);
    EXPECT_EQ(t.wait("10.0.0.1", 134'000), 0);
    EXPECT_EQ(t.wait("10.0.0.2", 74'000), 0) << "another address is slowed down as well";

    // Bounded: the quiet addresses go first, the stopped one stays.
    for (int i = 0; i < 5; ++i)
        t.failed("10.0.0.9", 100'000);
    for (const char* other : {"10.0.1.1", "10.0.1.2", "10.0.1.3"})
        t.failed(other, 101'000);
    EXPECT_LE(t.addresses(), 3);
    EXPECT_GT(t.wait("10.0.0.9", 101'000), 0);
    t.prune(1'000'000);
    EXPECT_EQ(t.addresses(), 0);
}

TEST(WebSettings, ListenIdleAndTheFileValues) {
    const struct {
        const char* text;
        bool ok;
        const char* address;
        int port;
    } listens[] = {
        {"127.0.0.1:8080", true, "127.0.0.1", 8080},
        {"[::1]:9000", true, "::1", 9000},
        {"localhost:80", true, "127.0.0.1", 80},
        {"0.0.0.0:0", true, "0.0.0.0", 0},
        {"127.0.0.1", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"::1:8080", false, "", 0},
        {"plant.example:8080", false, "", 0},
        {"127.0.0.1:80x", false, "", 0},
    };
    for (const auto& l : listens) {
        QHostAddress address;
        quint16 port = 0;
        ASSERT_EQ(parseListen(l.text, address, port), l.ok) << l.text;
        if (l.ok) {
            EXPECT_EQ(address.toString(), l.address) << l.text;
            EXPECT_EQ(port, l.port) << l.text;
        }
    }
    EXPECT_EQ(parseIdle("90s").count(), 90);
    EXPECT_EQ(parseIdle("30m").count(), 1800);
    EXPECT_EQ(parseIdle("2h").count(), 7200);
    EXPECT_EQ(parseIdle("15").count(), 900);
    for (const char* bad : {"0", "-5", "1d", "m", "1.5h"})
        EXPECT_LT(parseIdle(bad).count(), 0) << bad;

    // The other programs read the same file with the web lines in it.
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    ConfigFiles files;
    files.system = write("system.conf", "database = plant\nweb_listen = 0.0.0.0:8081\n"
                                        "web_session_idle = 10m\nweb_trusted_proxy = 127.0.0.1\n");
    files.user = write("user.conf", "web_listen = 127.0.0.1:9090\nweb_secure_cookie = yes\n");
    EXPECT_EQ(resolveConnection(files, {}).database, "plant");
    WebSettings s = readWebSettings(files);
    EXPECT_EQ(s.address.toString(), "127.0.0.1");
    EXPECT_EQ(s.port, 9090);
    EXPECT_EQ(s.sessionIdle.count(), 600);
    EXPECT_TRUE(s.secureCookie);
    EXPECT_EQ(s.trustedProxy.toString(), "127.0.0.1");
    // The command line over both files.
    s = readWebSettings(files, "[::1]:7000");
    EXPECT_EQ(s.port, 7000);

    const struct {
        const char* line;
        const char* says;
    } bad[] = {
        {"web_listen = 8080\n", "web_listen «8080»"},
        {"web_session_idle = forever\n", "web_session_idle «forever»"},
        {"web_secure_cookie = true\n", "допустимы yes и no"},
        {"web_trusted_proxy = proxy.local\n", "не IP-адрес"},
    };
    for (const auto& b : bad) {
        files.user = write("bad.conf", b.line);
        try {
            readWebSettings(files);
            ADD_FAILURE() << "accepted: " << b.line;
        } catch (const ConfigError& e) {
            EXPECT_EQ(e.path(), files.user);
            EXPECT_TRUE(e.text().contains(QString::fromUtf8(b.says))) << e.text().toStdString();
        }
    }
    try {
        readWebSettings(files, "nowhere");
        ADD_FAILURE() << "a malformed --listen accepted";
    } catch (const ConfigError& e) {
        EXPECT_TRUE(e.text().contains("--listen")) << e.text().toStdString();
    }
}
