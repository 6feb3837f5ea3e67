#include "sql.h"

#include <QSqlError>

namespace tabel {

DbError::DbError(const QString& text, const QString& statement)
    : std::runtime_error(text.toStdString()), text_(text), statement_(statement) {}

static QString errorText(const QSqlError& e) {
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.text().trimmed();
    return t;
}

QSqlQuery exec(const QSqlDatabase& db, const QString& sql, const QVariantMap& params,
               QSql::NumericalPrecisionPolicy precision) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(precision);
    if (!q.prepare(sql))
        throw DbError(errorText(q.lastError()), sql);
    for (auto it = params.cbegin(); it != params.cend(); ++it)
        q.bindValue(QLatin1Char(':') + it.key(), it.value());
    if (!q.exec())
        throw DbError(errorText(q.lastError()), sql);
    return q;
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
    if (!db_.transaction())
        throw DbError(errorText(db_.lastError()), QStringLiteral("BEGIN"));
    open_ = true;
}

Transaction::~Transaction() {
    if (open_)
        db_.rollback();
}

void Transaction::rollback() {
    if (!open_)
        return;
    open_ = false;
    db_.rollback();
}

void Transaction::commit() {
    if (!open_)
        return;
    open_ = false;
    if (!db_.commit()) {
        const QString text = errorText(db_.lastError());
        db_.rollback();
        throw DbError(text, QStringLiteral("COMMIT"));
    }
}

} // namespace tabel
