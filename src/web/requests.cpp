#include "requests.h"

#include <QRegularExpression>
#include <QUrlQuery>

namespace tabel::web {

QByteArray Route::allowed() const {
    switch (kind) {
    case Kind::Login:
        return "GET, HEAD, POST";
    case Kind::Logout:
        return "POST";
    default:
        return "GET, HEAD";
    }
}

bool Route::needsSession() const {
    return kind != Kind::Style && kind != Kind::Login && kind != Kind::Logout;
}

namespace {

const QStringList& sheetKinds() {
    static const QStringList kinds{QStringLiteral("piecework"), QStringLiteral("housekeeping"),
                                   QStringLiteral("average"), QStringLiteral("general")};
    return kinds;
}

bool validMonth(int year, int month) {
    return year >= 1900 && year <= 9999 && month >= 1 && month <= 12;
}

} // namespace

Route parseRoute(const QString& path) {
    using K = Route::Kind;
    Route r;
    if (path == QLatin1String("/"))
        r.kind = K::Home;
    else if (path == QLatin1String("/style.css"))
        r.kind = K::Style;
    else if (path == QLatin1String("/login"))
        r.kind = K::Login;
    else if (path == QLatin1String("/logout"))
        r.kind = K::Logout;
    else if (path == QLatin1String("/months"))
        r.kind = K::Months;
    if (r.kind != K::Unknown)
        return r;

    const QStringList parts = path.split(QLatin1Char('/'));
    // "", section, ...
    if (parts.size() < 2 || !parts[0].isEmpty())
        return r;
    const QString section = parts[1];
    static const QStringList sections{QStringLiteral("journal"), QStringLiteral("sheets"),
                                      QStringLiteral("statement"), QStringLiteral("history")};
    if (!sections.contains(section))
        return r;
    r.kind = K::Malformed;
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,9}$"));
    auto isNumber = [](const QString& s) { return number.match(s).hasMatch(); };

    if (section == QLatin1String("journal") && parts.size() == 4 && isNumber(parts[3])) {
        static const QRegularExpression iso(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
        const QDate date = QDate::fromString(parts[2], Qt::ISODate);
        if (iso.match(parts[2]).hasMatch() && date.isValid()) {
            r.kind = K::Journal;
            r.date = date;
            r.shift = parts[3].toInt();
        }
    } else if (section == QLatin1String("sheets") && parts.size() == 5 && isNumber(parts[2]) &&
               isNumber(parts[3]) && validMonth(parts[2].toInt(), parts[3].toInt()) &&
               sheetKinds().contains(parts[4])) {
        r.kind = K::Sheet;
        r.year = parts[2].toInt();
        r.month = parts[3].toInt();
        r.name = parts[4];
    } else if (section == QLatin1String("statement") && parts.size() == 5 && isNumber(parts[2]) &&
               isNumber(parts[3]) && validMonth(parts[2].toInt(), parts[3].toInt())) {
        QString worker = parts[4];
        const bool pdf = worker.endsWith(QLatin1String(".pdf"));
        if (pdf)
            worker.chop(4);
        if (isNumber(worker)) {
            r.kind = pdf ? K::StatementPdf : K::Statement;
            r.year = parts[2].toInt();
            r.month = parts[3].toInt();
            r.worker = worker.toInt();
        }
    } else if (section == QLatin1String("history") && parts.size() == 4 &&
               QRegularExpression(QStringLiteral("^[a-z_]{1,63}$")).match(parts[2]).hasMatch() &&
               isNumber(parts[3])) {
        r.kind = K::History;
        r.name = parts[2];
        r.id = parts[3].toLongLong();
    }
    return r;
}

QString formField(const QByteArray& body, const QString& name) {
    // In a form's body a blank is "+"; QUrlQuery would keep it as a plus.
    QByteArray text = body;
    text.replace('+', "%20");
    const QUrlQuery query(QString::fromLatin1(text));
    return query.queryItemValue(name, QUrl::FullyDecoded);
}

QByteArray headerValue(const QList<QPair<QByteArray, QByteArray>>& headers,
                       const QByteArray& name) {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.trimmed();
    return {};
}

QByteArray cookieValue(const QList<QPair<QByteArray, QByteArray>>& headers,
                       const QByteArray& name) {
    for (const auto& [key, value] : headers) {
        if (key.compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& piece : value.split(';')) {
            const QByteArray pair = piece.trimmed();
            const qsizetype eq = pair.indexOf('=');
            if (eq > 0 && pair.left(eq) == name)
                return pair.mid(eq + 1);
        }
    }
    return {};
}

QString safeNext(const QString& wanted) {
    static const QString home = QStringLiteral("/");
    if (!wanted.startsWith(QLatin1Char('/')) || wanted.startsWith(QLatin1String("//")) ||
        wanted.contains(QLatin1Char('\\')) || wanted.size() > 2000)
        return home;
    for (const QChar c : wanted)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return home;
    const QString path = wanted.section(QLatin1Char('?'), 0, 0);
    if (path == QLatin1String("/login") || path == QLatin1String("/logout"))
        return home;
    return wanted;
}

} // namespace tabel::web
