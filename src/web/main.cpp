// tabel-web: the read-only web view of the plant's numbers, for any browser:
//
//   tabel-web [--listen ADDRESS:PORT] [DATABASE SERVER]
//
// The database as for the other programs (db/config.h); how it listens and
// keeps sessions from the same files (web/web_settings.h). Every page is read
// through the logged-in person's own PostgreSQL login. Prints the address it
// listens on, then serves until SIGTERM or SIGINT. Exit status: 0 stopped,
// 1 could not listen, 2 bad arguments or a malformed configuration file.

#include "app/language.h"
#include "db/config.h"
#include "server.h"
#include "web_settings.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace tabel;
using namespace tabel::web;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void help(QTextStream& s) {
    s << "Использование: tabel-web [--listen АДРЕС:ПОРТ] [БАЗА СЕРВЕР]\n"
         "Веб-просмотр табеля только для чтения: вход под своим пользователем PostgreSQL.\n"
         "Подключение и параметры web_listen, web_session_idle, web_secure_cookie,\n"
         "web_trusted_proxy берутся из /etc/tabel/tabel.conf и ~/.config/tabel/tabel.conf\n"
         "(man tabel-web). По умолчанию слушает 127.0.0.1:8080.\n";
}

} // namespace

int main(int argc, char** argv) {
    // The statement's PDF is laid out with the font database of a GUI
    // application; the offscreen platform gives it without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    speakRussian(app);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        help(out);
        return 0;
    }
    QString listen;
    const qsizetype at = args.indexOf(QLatin1String("--listen"));
    if (at >= 0) {
        if (at + 1 >= args.size()) {
            err << "После --listen нужен адрес вида 127.0.0.1:8080.\n";
            return 2;
        }
        listen = args.takeAt(at + 1);
        args.removeAt(at);
        QHostAddress address;
        quint16 port = 0;
        if (!parseListen(listen, address, port)) {
            err << "Адрес --listen «" << listen
                << "» не вида АДРЕС:ПОРТ (127.0.0.1:8080, [::1]:8080).\n";
            return 2;
        }
    }
    if (args.size() != 0 && args.size() != 2) {
        help(err);
        return 2;
    }
    ConnectionTarget target;
    WebSettings settings;
    try {
        target = resolveConnection(ConfigFiles::standard(), args);
        settings = readWebSettings(ConfigFiles::standard(), listen);
    } catch (const ConfigError& e) {
        err << e.text() << '\n';
        return 2;
    }

    Server server(target, settings);
    const quint16 port = server.listen(settings.address, settings.port);
    if (port == 0) {
        err << "Не удалось открыть адрес " << settings.address.toString() << ':' << settings.port
            << " (занят другой программой или нет прав).\n";
        return 1;
    }
    const QString host = settings.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + settings.address.toString() + QLatin1Char(']')
                             : settings.address.toString();
    out << "tabel-web: http://" << host << ':' << port << "/\n";
    out.flush();

    // A service is stopped with SIGTERM: the sessions' connections are
    // closed on the way out rather than dropped.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
            QCoreApplication::quit();
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    return app.exec();
}
