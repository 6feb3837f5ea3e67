#include "config.h"

#include "connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <map>
#include <optional>

namespace tabel {

ConfigError::ConfigError(const QString& path, int line, const QString& reason)
    : std::runtime_error(QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(reason).toStdString()),
      path_(path), line_(line), reason_(reason) {}

QString ConfigError::text() const {
    if (line_ <= 0)
        return QStringLiteral("Ошибка в файле настроек %1: %2.").arg(path_, reason_);
    return QStringLiteral("Ошибка в файле настроек %1, строка %2: %3.")
        .arg(path_)
        .arg(line_)
        .arg(reason_);
}

ConfigFiles ConfigFiles::standard() {
    ConfigFiles files;
    const QString system = qEnvironmentVariable("TABEL_SYSTEM_CONFIG");
    files.system = system.isEmpty() ? QStringLiteral("/etc/tabel/tabel.conf") : system;
    // A relative XDG_CONFIG_HOME is to be ignored, as the XDG rules say.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base)) {
        const QString home = qEnvironmentVariable("HOME");
        base = home.isEmpty() ? QString() : home + QStringLiteral("/.config");
    }
    if (!base.isEmpty())
        files.user = base + QStringLiteral("/tabel/tabel.conf");
    return files;
}

namespace {

// The file's lines as bytes, or nothing when there is no file. Throws
// ConfigError when something is there that cannot be read.
std::optional<QList<QByteArray>> readLines(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        return std::nullopt;
    if (info.isDir())
        throw ConfigError(path, 0, QStringLiteral("на месте файла папка"));
    if (!info.exists())
        throw ConfigError(
            path, 0,
            QStringLiteral("это ссылка на отсутствующий файл %1").arg(info.symLinkTarget()));
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ConfigError(path, 0, QStringLiteral("файл не читается (%1)").arg(file.errorString()));
    // Editors on Windows start the file with a byte-order mark.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return bytes.split('\n');
}

// What one file sets; an empty text is not set.
struct FileValues {
    QString server;
    QString database;
    QString login;
    int loginLine = 0;
    QString user;
    std::map<QString, QString> web; // the web view's settings, by name
    QString reportServer;
    QString reportDatabase;
    QString reportMaxLag;
};

// The web view's settings live in the same files, so that every program
// reads one file without stumbling over the others' lines; only tabel-web
// reads their values (web/web_settings.h).
const QStringList& webKeys() {
    static const QStringList keys{QStringLiteral("web_listen"), QStringLiteral("web_session_idle"),
                                  QStringLiteral("web_secure_cookie"),
                                  QStringLiteral("web_trusted_proxy")};
    return keys;
}

// The standby's keys, kept apart from the connection's own.
QString* reportSlot(FileValues& read, const QString& name) {
    if (name == QLatin1String("report_server"))
        return &read.reportServer;
    if (name == QLatin1String("report_database"))
        return &read.reportDatabase;
    if (name == QLatin1String("report_max_lag"))
        return &read.reportMaxLag;
    return nullptr;
}

// Reads `path`. Throws ConfigError.
FileValues readFile(const QString& path) {
    FileValues read;
    const std::optional<QList<QByteArray>> lines = readLines(path);
    if (!lines)
        return read;
    std::map<QString, int> seen; // name -> the line that set it
    for (int i = 0; i < lines->size(); ++i) {
        const int number = i + 1;
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString line = QString(utf8.decode(lines->at(i))).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        // Decoding would put "�" for each such byte, and the value would
        // name a server or a database nobody meant.
        if (utf8.hasError())
            throw ConfigError(
                path, number,
                QStringLiteral("строка не в кодировке UTF-8 (сохраните файл в кодировке UTF-8)"));
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            throw ConfigError(
                path, number,
                QStringLiteral("ожидается строка вида «имя = значение», а не «%1»").arg(line));
        const QString name = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
            value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        QString* slot = name == QLatin1String("server")     ? &read.server
                        : name == QLatin1String("database") ? &read.database
                        : name == QLatin1String("login")    ? &read.login
                        : name == QLatin1String("user")     ? &read.user
                                                            : nullptr;
        if (webKeys().contains(name))
            slot = &read.web[name];
        if (!slot)
            slot = reportSlot(read, name);
        if (!slot)
            throw ConfigError(path, number,
                              QStringLiteral("неизвестный параметр «%1» (допустимы server, "
                                             "database, login, user, report_server, "
                                             "report_database, report_max_lag, %2)")
                                  .arg(name, webKeys().join(QStringLiteral(", "))));
        if (seen.count(name))
            throw ConfigError(
                path, number,
                QStringLiteral("параметр %1 уже задан в строке %2").arg(name).arg(seen[name]));
        if (value.isEmpty())
            throw ConfigError(path, number, QStringLiteral("не задано значение %1").arg(name));
        // A blank would be a comment after the value, which is not allowed;
        // a semicolon would add options of its own to the connection string.
        for (const QChar c : value)
            if (c.isSpace() || c == QLatin1Char(';'))
                throw ConfigError(
                    path, number,
                    QStringLiteral("значение %1 «%2» содержит пробел или «;»").arg(name, value));
        if (slot == &read.login) {
            if (value != QLatin1String("code") && value != QLatin1String("person"))
                throw ConfigError(
                    path, number,
                    QStringLiteral("неизвестное значение login «%1» (допустимы code и person)")
                        .arg(value));
            read.loginLine = number;
        }
        if (slot == &read.reportMaxLag) {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 0 || seconds > 86400)
                throw ConfigError(path, number,
                                  QStringLiteral("значение report_max_lag «%1» — нужно целое "
                                                 "число секунд от 0 до 86400")
                                      .arg(value));
        }
        seen[name] = number;
        *slot = value;
    }
    return read;
}

LoginMode loginMode(const QString& value) {
    return value == QLatin1String("person") ? LoginMode::Person : LoginMode::Code;
}

} // namespace

ConnectionTarget resolveConnection(const ConfigFiles& files, const QStringList& arguments) {
    ConnectionTarget target;
    target.database = QLatin1String(kDefaultDatabase);
    target.server = defaultServer();
    const FileValues system = readFile(files.system);
    const FileValues user = readFile(files.user);
    for (const FileValues* file : {&system, &user}) {
        if (!file->server.isEmpty())
            target.server = file->server;
        if (!file->database.isEmpty())
            target.database = file->database;
        if (!file->user.isEmpty())
            target.user = file->user;
        if (!file->reportServer.isEmpty())
            target.reportServer = file->reportServer;
        if (!file->reportDatabase.isEmpty())
            target.reportDatabase = file->reportDatabase;
        if (!file->reportMaxLag.isEmpty())
            target.reportMaxLag = file->reportMaxLag.toInt();
    }
    if (!system.login.isEmpty())
        target.login = loginMode(system.login);
    // The plant's person login is what keeps the built-in account out of
    // people's hands; one person's file must not undo it.
    if (!user.login.isEmpty()) {
        if (target.login == LoginMode::Person && loginMode(user.login) == LoginMode::Code)
            throw ConfigError(files.user, user.loginLine,
                              QStringLiteral("login = code не действует: файл %1 задает вход "
                                             "по пользователям (login = person)")
                                  .arg(files.system));
        target.login = loginMode(user.login);
    }
    const QString server = arguments.value(1);
    if (!server.isEmpty()) {
        target.database = arguments.value(0);
        target.server = server;
    }
    return target;
}

std::map<QString, ConfigValue> webConfigValues(const ConfigFiles& files) {
    std::map<QString, ConfigValue> settings;
    for (const QString& path : {files.system, files.user})
        for (const auto& [name, value] : readFile(path).web)
            settings[name] = {value, path};
    return settings;
}

} // namespace tabel
