#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <stdexcept>
#include <utility>

namespace tabel {

// A failed database operation: the server's or driver's text, the statement
// that caused it and, where the driver tells it, the SQLSTATE and the
// connection the statement ran on. The text is
// kept trimmed and without the repetitions the driver's messages come with
// after a lost connection.
class DbError : public std::runtime_error {
public:
    DbError(const QString& text, const QString& statement = {}, const QString& sqlState = {},
            const QString& connection = {});
    QString text() const { return text_; }
    QString statement() const { return statement_; }
    QString sqlState() const { return sqlState_; }
    QString connection() const { return connection_; } // the connection's name

private:
    QString text_;
    QString statement_;
    QString sqlState_;
    QString connection_;
};

// The connection broke under a statement. When `restored()`, it has been
// opened again and the next statement can run, but whether a write, or a
// transaction under way, reached the server before the break is unknown.
// Otherwise the server could not be reached; the next statement tries again.
class ConnectionLost : public DbError {
public:
    ConnectionLost(const QString& text, const QString& statement, bool restored);
    bool restored() const { return restored_; }

private:
    bool restored_;
};

// Prepares `sql`, binds every `:name` placeholder from `params` and executes.
// Throws DbError on failure.
//
// A connection found lost (the server restarted, say) is opened again with
// the program's session rules, and a closed one before anything is run. A
// read outside any transaction (a statement that starts with SELECT or WITH
// and writes nothing) then simply runs again. Anything else is never repeated
// blindly: it throws ConnectionLost, and so does a read when the server
// cannot be reached.
// `precision` decides how numeric and double columns are read: as exact text
// (the connection's default) or, for lists whose amounts are only shown and
// carry far fewer than 15 digits, as doubles, which the driver hands over
// much faster.
QSqlQuery exec(const QSqlDatabase& db, const QString& sql, const QVariantMap& params = {},
               QSql::NumericalPrecisionPolicy precision = QSql::HighPrecision);

// First column of the first row, or an invalid QVariant when there is no row.
QVariant scalar(const QSqlDatabase& db, const QString& sql, const QVariantMap& params = {});

// Typed SQL null, so the driver binds the right parameter type.
QVariant nullInt();

// Whether the server can store `text`. PostgreSQL text has no place for the
// character U+0000, and the driver would cut the value there without a word.
// Writes of the user's text check it through checkStoredText (stored_text.h).
bool storableText(const QString& text);

// Commits when asked; rolls back what it covers when it goes out of scope
// unasked (an exception or an early return).
//
// Guards nest: a guard opened while another of ours is open on the same
// connection covers only its own part, through a savepoint. Its commit hands
// that part to the enclosing guard; its rollback undoes that part alone. Only
// the outermost guard commits or rolls back the real transaction, so a helper
// that takes a guard of its own can be called from inside a larger write.
//
// The ODBC driver undoes only the failing statement of an open transaction,
// and the server accepts the later COMMIT. A write sequence that met an error
// must not be committed half done: once a statement has failed under a guard,
// that guard's commit rolls back instead and throws, unless an inner guard
// around the failure was rolled back and so undid it.
class Transaction {
public:
    explicit Transaction(const QSqlDatabase& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();
    void rollback();

    // Whether one of our guards holds a transaction open on `db`.
    static bool active(const QSqlDatabase& db);

private:
    bool current() const;
    void undo() noexcept;

    QSqlDatabase db_;
    int level_ = 0;       // 1 for the guard that owns the real transaction
    quint64 session_ = 0; // the opening of the connection the guard began in
};

} // namespace tabel
