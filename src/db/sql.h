#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <stdexcept>

namespace tabel {

// A failed database operation: the server's or driver's text and the
// statement that caused it.
class DbError : public std::runtime_error {
public:
    DbError(const QString& text, const QString& statement = {});
    QString text() const { return text_; }
    QString statement() const { return statement_; }

private:
    QString text_;
    QString statement_;
};

// Prepares `sql`, binds every `:name` placeholder from `params` and executes.
// Throws DbError on failure.
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

// Commits when asked; rolls the whole transaction back when it goes out of
// scope unasked (an exception or an early return). The ODBC driver undoes
// only the failing statement of an open transaction, so a write sequence that
// stops at its first error must not be committed: this guard sees to that.
class Transaction {
public:
    explicit Transaction(const QSqlDatabase& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();
    void rollback();

private:
    QSqlDatabase db_;
    bool open_ = false;
};

} // namespace tabel
