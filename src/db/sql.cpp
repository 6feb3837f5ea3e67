#include "sql.h"

#include <QSqlError>
#include <map>
#include <utility>

namespace tabel {

namespace {

// The text itself when it consists of copies of one piece separated by white
// space; the driver's message is collected from several handles that may
// hold the same record.
QString oneCopy(const QString& t) {
    for (qsizetype len = 1; len <= t.size() / 2; ++len) {
        if (!t.at(len).isSpace() || t.at(len - 1).isSpace())
            continue;
        const QStringView piece = QStringView(t).left(len);
        qsizetype pos = len;
        bool copies = true;
        while (copies && pos < t.size()) {
            while (pos < t.size() && t.at(pos).isSpace())
                ++pos;
            copies = QStringView(t).mid(pos).startsWith(piece) &&
                     (pos + len == t.size() || t.at(pos + len).isSpace());
            pos += len;
        }
        if (copies)
            return piece.toString();
    }
    return t;
}

QString tidy(const QString& text) {
    QStringList lines;
    for (const QString& line : oneCopy(text.trimmed()).split(QLatin1Char('\n'))) {
        QString l = line;
        while (!l.isEmpty() && l.back().isSpace())
            l.chop(1);
        if (lines.isEmpty() || lines.last() != l)
            lines << l;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

DbError::DbError(const QString& text, const QString& statement)
    : std::runtime_error(tidy(text).toStdString()), text_(tidy(text)), statement_(statement) {}

static QString errorText(const QSqlError& e) {
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.text().trimmed();
    return t;
}

namespace {

// What our transaction guards know about one connection.
struct Session {
    quint64 id = 0; // a new one whenever the connection is opened anew
    int depth = 0;  // guards open
    // The outermost guard with a failed statement in its part that no rollback
    // of an inner guard has undone; 0 when there is none.
    int failedLevel = 0;
    QString failure; // that statement's error
};

// Keyed by connection name; a map, so references stay valid while others are
// added.
std::map<QString, Session>& sessions() {
    static std::map<QString, Session> all;
    return all;
}

Session& sessionOf(const QSqlDatabase& db) {
    static quint64 lastId = 0;
    Session& s = sessions()[db.connectionName()];
    if (s.id == 0)
        s.id = ++lastId;
    return s;
}

void noteFailure(const QSqlDatabase& db, const QString& text) {
    Session& s = sessionOf(db);
    if (s.depth == 0)
        return;
    if (s.failedLevel == 0)
        s.failure = text;
    if (s.failedLevel == 0 || s.depth < s.failedLevel)
        s.failedLevel = s.depth;
}

QString savepointName(int level) {
    return QStringLiteral("tabel_nested_%1").arg(level);
}

// Savepoint commands go to the server as plain text, never as prepared
// statements: only then does the driver see them and stop releasing its own
// per-statement savepoint, which would release ours along with it.
void runPlain(const QSqlDatabase& db, const QString& sql) {
    QString error;
    {
        QSqlQuery q(db);
        if (q.exec(sql))
            return;
        error = errorText(q.lastError());
    }
    noteFailure(db, error);
    throw DbError(error, sql);
}

} // namespace

QSqlQuery exec(const QSqlDatabase& db, const QString& sql, const QVariantMap& params,
               QSql::NumericalPrecisionPolicy precision) {
    QString error;
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.setNumericalPrecisionPolicy(precision);
        if (q.prepare(sql)) {
            for (auto it = params.cbegin(); it != params.cend(); ++it)
                q.bindValue(QLatin1Char(':') + it.key(), it.value());
            if (q.exec())
                return q;
        }
        error = errorText(q.lastError());
    }
    noteFailure(db, error);
    throw DbError(error, sql);
}

QVariant scalar(const QSqlDatabase& db, const QString& sql, const QVariantMap& params) {
    QSqlQuery q = exec(db, sql, params);
    if (!q.next())
        return {};
    return q.value(0);
}

QVariant nullInt() {
    return QVariant(QMetaType::fromType<int>());
}

Transaction::Transaction(const QSqlDatabase& db) : db_(db) {
    if (sessionOf(db_).depth == 0) {
        if (!db_.transaction())
            throw DbError(errorText(db_.lastError()), QStringLiteral("BEGIN"));
        Session& s = sessionOf(db_);
        s.failedLevel = 0;
        s.failure.clear();
    } else {
        runPlain(db_, QStringLiteral("SAVEPOINT ") + savepointName(sessionOf(db_).depth + 1));
    }
    Session& s = sessionOf(db_);
    level_ = ++s.depth;
    session_ = s.id;
}

Transaction::~Transaction() {
    if (current())
        undo();
}

bool Transaction::active(const QSqlDatabase& db) {
    const auto it = sessions().find(db.connectionName());
    return it != sessions().end() && it->second.depth > 0;
}

// Whether this guard's part is still open: neither ended nor closed along
// with an enclosing guard or a lost connection.
bool Transaction::current() const {
    if (level_ == 0)
        return false;
    const Session& s = sessionOf(db_);
    return s.id == session_ && s.depth >= level_;
}

void Transaction::undo() noexcept {
    Session& s = sessionOf(db_);
    const int level = std::exchange(level_, 0);
    s.depth = level - 1;
    if (level == 1) {
        db_.rollback();
        s.failedLevel = 0;
        return;
    }
    try {
        const QString name = savepointName(level);
        runPlain(db_, QStringLiteral("ROLLBACK TO SAVEPOINT ") + name);
        runPlain(db_, QStringLiteral("RELEASE SAVEPOINT ") + name);
        if (s.failedLevel >= level)
            s.failedLevel = 0;
    } catch (const DbError&) {
        // What this guard covered may be partly in place. The failure is now
        // the enclosing part's, which therefore will not be committed.
    }
}

void Transaction::rollback() {
    if (current())
        undo();
    level_ = 0;
}

void Transaction::commit() {
    if (!current()) {
        level_ = 0;
        return;
    }
    Session& s = sessionOf(db_);
    if (s.failedLevel != 0 && s.failedLevel >= level_) {
        const QString failure = s.failure;
        const int level = level_;
        undo();
        throw DbError(failure,
                      level == 1 ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE SAVEPOINT"));
    }
    const int level = std::exchange(level_, 0);
    s.depth = level - 1;
    if (level > 1) {
        // A failure here is the enclosing part's, as above.
        runPlain(db_, QStringLiteral("RELEASE SAVEPOINT ") + savepointName(level));
        return;
    }
    if (!db_.commit()) {
        const QString text = errorText(db_.lastError());
        db_.rollback();
        throw DbError(text, QStringLiteral("COMMIT"));
    }
}

} // namespace tabel
