#include "config.h"

#include "connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <map>

namespace tabel {

ConfigError::ConfigError(const QString& path, int line, const QString& reason)
    : std::runtime_error(QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(reason).toStdString()),
      path_(path), line_(line), reason_(reason) {}

QString ConfigError::text() const {
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

// Reads `path` onto `target`; the names it sets replace those set before.
void readFile(const QString& path, ConnectionTarget& target) {
    if (path.isEmpty() || !QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        target.warnings << QStringLiteral("Файл настроек %1 не читается и пропущен.").arg(path);
        return;
    }
    QString text = QString::fromUtf8(file.readAll());
    // Editors on Windows start the file with a byte-order mark.
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    std::map<QString, int> seen; // name -> the line that set it
    ConnectionTarget read;
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
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
                                                            : nullptr;
        if (!slot)
            throw ConfigError(
                path, number,
                QStringLiteral("неизвестный параметр «%1» (допустимы server и database)")
                    .arg(name));
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
        seen[name] = number;
        *slot = value;
    }
    if (!read.server.isEmpty())
        target.server = read.server;
    if (!read.database.isEmpty())
        target.database = read.database;
}

} // namespace

ConnectionTarget resolveConnection(const ConfigFiles& files, const QStringList& arguments) {
    ConnectionTarget target;
    target.database = QLatin1String(kDefaultDatabase);
    target.server = defaultServer();
    readFile(files.system, target);
    readFile(files.user, target);
    const QString server = arguments.value(1);
    if (!server.isEmpty()) {
        target.database = arguments.value(0);
        target.server = server;
    }
    return target;
}

} // namespace tabel
