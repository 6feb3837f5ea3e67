#include "web_settings.h"

#include <QRegularExpression>

namespace tabel::web {

bool parseListen(const QString& text, QHostAddress& address, quint16& port) {
    static const QRegularExpression form(
        QStringLiteral("^(\\[([0-9A-Fa-f:.]+)\\]|([^:\\[\\]]+)):(\\d{1,5})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const QString host = m.captured(2).isEmpty() ? m.captured(3) : m.captured(2);
    QHostAddress parsed;
    if (host == QLatin1String("localhost"))
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (!parsed.setAddress(host))
        return false;
    // An IPv6 address goes in brackets, or its last group would be the port.
    if (m.captured(2).isEmpty() != (parsed.protocol() != QAbstractSocket::IPv6Protocol))
        return false;
    const int number = m.captured(4).toInt();
    if (number > 65535)
        return false;
    address = parsed;
    port = static_cast<quint16>(number);
    return true;
}

std::chrono::seconds parseIdle(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,6})(s|m|h)?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || m.captured(1).toLongLong() == 0)
        return std::chrono::seconds(-1);
    const qint64 n = m.captured(1).toLongLong();
    const QString unit = m.captured(2);
    if (unit == QLatin1String("s"))
        return std::chrono::seconds(n);
    if (unit == QLatin1String("h"))
        return std::chrono::hours(n);
    return std::chrono::minutes(n);
}

WebSettings readWebSettings(const ConfigFiles& files, const QString& listen) {
    WebSettings s;
    const std::map<QString, ConfigValue> values = tabel::webConfigValues(files);
    auto value = [&](const char* name) -> const ConfigValue* {
        const auto it = values.find(QLatin1String(name));
        return it == values.end() ? nullptr : &it->second;
    };
    // The files say which line; the checks here are of a value as a whole.
    auto refuse = [](const QString& path, const QString& reason) {
        return ConfigError(path, 0, reason);
    };
    if (!listen.isEmpty()) {
        if (!parseListen(listen, s.address, s.port))
            throw ConfigError(QStringLiteral("--listen"), 0,
                              QStringLiteral("адрес «%1» не вида АДРЕС:ПОРТ (127.0.0.1:8080, "
                                             "[::1]:8080)")
                                  .arg(listen));
    } else if (const ConfigValue* v = value("web_listen")) {
        if (!parseListen(v->value, s.address, s.port))
            throw refuse(v->path, QStringLiteral("web_listen «%1» не вида АДРЕС:ПОРТ "
                                                 "(127.0.0.1:8080, [::1]:8080)")
                                      .arg(v->value));
    }
    if (const ConfigValue* v = value("web_session_idle")) {
        s.sessionIdle = parseIdle(v->value);
        if (s.sessionIdle.count() <= 0)
            throw refuse(v->path, QStringLiteral("web_session_idle «%1» не срок вида 30m, 90s "
                                                 "или 1h")
                                      .arg(v->value));
    }
    if (const ConfigValue* v = value("web_secure_cookie")) {
        if (v->value != QLatin1String("yes") && v->value != QLatin1String("no"))
            throw refuse(
                v->path,
                QStringLiteral("web_secure_cookie «%1»: допустимы yes и no").arg(v->value));
        s.secureCookie = v->value == QLatin1String("yes");
    }
    if (const ConfigValue* v = value("web_trusted_proxy")) {
        if (!s.trustedProxy.setAddress(v->value))
            throw refuse(v->path,
                         QStringLiteral("web_trusted_proxy «%1» не IP-адрес").arg(v->value));
    }
    return s;
}

} // namespace tabel::web
