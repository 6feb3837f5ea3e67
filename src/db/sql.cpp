#include "sql.h"

#include "connection.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlResult>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include <sql.h>

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

DbError::DbError(const QString& text, const QString& statement, const QString& sqlState,
                 const QString& connection)
    : std::runtime_error(tidy(text).toStdString()), text_(tidy(text)), statement_(statement),
      sqlState_(sqlState), connection_(connection) {}

ConnectionLost::ConnectionLost(const QString& text, const QString& statement, bool restored)
    : DbError(text, statement), restored_(restored) {}

// Qt hands over the driver's text and its own error number, not the
// SQLSTATE; the statement's handle still holds it until the next call on it.
static QString sqlStateOf(const QSqlQuery& q) {
    const QSqlResult* result = q.result();
    if (!result || !q.driver() ||
        qstrcmp(q.driver()->metaObject()->className(), "QODBCDriver") != 0)
        return {};
    const QVariant handle = result->handle();
    if (handle.metaType() != QMetaType::fromType<SQLHANDLE>())
        return {};
    SQLHANDLE statement = *static_cast<const SQLHANDLE*>(handle.constData());
    if (!statement)
        return {};
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            SQLGetDiagRec(SQL_HANDLE_STMT, statement, 1, state, &native, nullptr, 0, &length)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(state));
}

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
    QString failure;  // that statement's error
    QString lostWith; // the error that found the connection lost last time
};

// Keyed by connection name; a map, so references stay valid while others are
// added. A connection is used only by the thread that opened it, and so is
// its entry; the map is shared by all threads, and is searched or extended
// only under the lock.
std::map<QString, Session>& sessions() {
    static std::map<QString, Session> all;
    return all;
}

std::mutex& sessionsLock() {
    static std::mutex lock;
    return lock;
}

quint64 newSessionId() {
    static std::atomic<quint64> lastId = 0;
    return ++lastId;
}

Session& sessionOf(const QSqlDatabase& db) {
    const QString name = db.connectionName();
    const std::lock_guard guard(sessionsLock());
    Session& s = sessions()[name];
    if (s.id == 0)
        s.id = newSessionId();
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

// Whether running `sql` again cannot change anything: a SELECT or WITH that
// neither writes (a data-modifying WITH, SELECT INTO) nor locks rows (FOR
// UPDATE, FOR SHARE) nor draws from a sequence.
bool onlyReads(const QString& sql) {
    static const QRegularExpression reads(QStringLiteral(R"(^\s*(select|with)\b)"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression writes(
        QStringLiteral(R"(\b(insert|update|delete|merge|into|share|nextval|setval)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    return reads.match(sql).hasMatch() && !writes.match(sql).hasMatch();
}

// Whether the connection is of no further use. The driver reports a broken
// connection in several ways ("The connection has been lost", "server closed
// the connection unexpectedly ... Error while preparing parameters",
// "SQLPrepareW unable due to the connection lost"), partly with the same
// native code as ordinary errors; once it is broken, though, even this
// statement fails, and fails without asking the server.
bool connectionGone(const QSqlDatabase& db) {
    if (!db.isOpen())
        return true;
    QSqlQuery probe(db);
    return !probe.exec(QStringLiteral("select 1"));
}

QString joined(const QString& a, const QString& b) {
    return a.isEmpty() || b.isEmpty() ? a + b : a + QLatin1Char('\n') + b;
}

// Opens the connection anew; the transaction it had is gone either way.
// False, with the reason in `why`, when the server cannot be reached; the
// connection is then left closed, so the next statement tries again.
bool reopen(QSqlDatabase db, const QString& lostWith, QString& why) {
    Session& s = sessionOf(db);
    s.id = newSessionId();
    s.depth = 0;
    s.failedLevel = 0;
    s.lostWith = lostWith;
    db.close();
    try {
        openSession(db);
    } catch (const DbError& e) {
        why = e.text();
        db.close();
        return false;
    }
    emit ConnectionWatch::instance()->reopened(db.connectionName());
    return true;
}

// After `sql` failed with `error`: throws DbError for an ordinary failure and
// ConnectionLost for a lost connection, which it reopens. Returns only when
// the connection was lost, is open again and `sql` may simply run again.
void afterFailure(const QSqlDatabase& db, const QString& sql, const QString& error,
                  bool mayRunAgain, const QString& sqlState = {}) {
    if (!connectionGone(db)) {
        noteFailure(db, error);
        throw DbError(error, sql, sqlState, db.connectionName());
    }
    // What reached the server before the break is unknown: a write, or any
    // statement of a transaction, is left for the user to check.
    const bool runAgain = mayRunAgain && !Transaction::active(db);
    QString why;
    if (!reopen(db, error, why))
        throw ConnectionLost(joined(error, why), sql, false);
    if (!runAgain)
        throw ConnectionLost(error, sql, true);
}

// A connection left closed by a failed reopening is opened before anything
// is sent on it.
void openIfClosed(const QSqlDatabase& db, const QString& sql) {
    if (db.isOpen())
        return;
    const bool inTransaction = Transaction::active(db);
    QString why;
    if (!reopen(db, QString(), why))
        throw ConnectionLost(why, sql, false);
    if (inTransaction)
        throw ConnectionLost(QString(), sql, true);
}

// Savepoint commands go to the server as plain text, never as prepared
// statements: only then does the driver see them and stop releasing its own
// per-statement savepoint, which would release ours along with it.
void runPlain(const QSqlDatabase& db, const QString& sql, bool reopenWhenLost = true) {
    QString error;
    QString state;
    {
        QSqlQuery q(db);
        if (q.exec(sql))
            return;
        error = errorText(q.lastError());
        state = sqlStateOf(q);
    }
    if (reopenWhenLost)
        afterFailure(db, sql, error, false, state);
    noteFailure(db, error);
    throw DbError(error, sql, state, db.connectionName());
}

// Runs `sql` once. A failed query is gone by the time this returns, before the
// connection may be closed and opened again under it.
std::optional<QSqlQuery> attempt(const QSqlDatabase& db, const QString& sql,
                                 const QVariantMap& params,
                                 QSql::NumericalPrecisionPolicy precision, QString& error,
                                 QString& state) {
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
    state = sqlStateOf(q);
    return std::nullopt;
}

} // namespace

QSqlQuery exec(const QSqlDatabase& db, const QString& sql, const QVariantMap& params,
               QSql::NumericalPrecisionPolicy precision) {
    openIfClosed(db, sql);
    QString error;
    QString state;
    if (std::optional<QSqlQuery> q = attempt(db, sql, params, precision, error, state))
        return std::move(*q);
    afterFailure(db, sql, error, onlyReads(sql), state);
    if (std::optional<QSqlQuery> q = attempt(db, sql, params, precision, error, state))
        return std::move(*q);
    if (connectionGone(db)) {
        // Lost again at once: the server is not really back yet. Closed, the
        // connection is opened again before the next statement.
        QSqlDatabase(db).close();
        throw ConnectionLost(error, sql, false);
    }
    throw DbError(error, sql, state, db.connectionName());
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

bool storableText(const QString& text) {
    return !text.contains(QChar(0));
}

Transaction::Transaction(const QSqlDatabase& db) : db_(db) {
    if (sessionOf(db_).depth == 0) {
        openIfClosed(db_, QStringLiteral("BEGIN"));
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
    const QString name = db.connectionName();
    const std::lock_guard guard(sessionsLock());
    const auto it = sessions().find(name);
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
        // Never reopens: a lost connection took the transaction with it, and
        // the next statement will find out.
        runPlain(db_, QStringLiteral("ROLLBACK TO SAVEPOINT ") + name, false);
        runPlain(db_, QStringLiteral("RELEASE SAVEPOINT ") + name, false);
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
    Session& s = sessionOf(db_);
    if (level_ != 0 && s.id != session_) {
        // The connection was lost and reopened under this guard, and the
        // transaction went with it.
        level_ = 0;
        throw ConnectionLost(s.lostWith, QStringLiteral("COMMIT"), db_.isOpen());
    }
    if (!current()) {
        level_ = 0;
        return;
    }
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
        if (connectionGone(db_)) {
            QString why;
            if (!reopen(db_, text, why))
                throw ConnectionLost(joined(text, why), QStringLiteral("COMMIT"), false);
            throw ConnectionLost(text, QStringLiteral("COMMIT"), true);
        }
        db_.rollback();
        throw DbError(text, QStringLiteral("COMMIT"));
    }
}

} // namespace tabel
