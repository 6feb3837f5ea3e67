#include "report_connection.h"

#include "connection.h"
#include "schema_steps.h"
#include "session_identity.h"
#include "sql.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace tabel {

namespace {

// Replaces the value of `key` in an ODBC connection string, or adds the piece.
QString withPiece(QString text, const QString& key, const QString& value) {
    const QRegularExpression piece(QStringLiteral("(^|;)%1=[^;]*").arg(key),
                                   QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = piece.match(text);
    const QString replacement = key + QLatin1Char('=') + value;
    if (!m.hasMatch()) {
        if (!text.isEmpty() && !text.endsWith(QLatin1Char(';')))
            text += QLatin1Char(';');
        return text + replacement;
    }
    const qsizetype start = m.capturedStart() + m.captured(1).size();
    return text.replace(start, m.capturedEnd() - start, replacement);
}

// The cluster's identity; empty when the user may not read it (it is a
// superuser's function on some servers), and the check is then left out.
QString systemIdentifier(const QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select system_identifier::text from pg_control_system()")) ||
        !q.next())
        return {};
    return q.value(0).toString();
}

// A standby busy replaying a burst of saves is given this long to reach
// the primary's position before its lag is measured by the clock: on a
// primary that was idle, the last replayed commit may be hours old although
// the standby is a few milliseconds behind.
constexpr int kCatchUpTries = 10;
constexpr int kCatchUpPauseMs = 100;

} // namespace

QString standbyConnectionString(const QString& primary, const QString& server,
                                const QString& database) {
    QString text = withPiece(primary, QStringLiteral("SERVER"), server);
    if (!database.isEmpty())
        text = withPiece(text, QStringLiteral("DATABASE"), database);
    // Every session opened with it, a reopening after a loss included, starts
    // read-only on the server's side.
    return withPiece(text, QStringLiteral("pqopt"),
                     QStringLiteral("{options='-c default_transaction_read_only=on'}"));
}

QString dataAsOfText(const QDateTime& asOf) {
    if (!asOf.isValid())
        return {};
    return QStringLiteral("Данные на ") +
           asOf.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

ReadingConnection::ReadingConnection(QSqlDatabase primary, StandbySettings settings, QString name)
    : primary_(std::move(primary)), settings_(std::move(settings)), name_(std::move(name)) {}

ReadingConnection::~ReadingConnection() {
    if (!QSqlDatabase::contains(name_))
        return;
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase ReadingConnection::standby() {
    if (QSqlDatabase::contains(name_)) {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (db.isOpen())
            return db;
    }
    QSqlDatabase db = prepareDatabase(
        standbyConnectionString(primary_.databaseName(), settings_.server, settings_.database),
        name_);
    // Its sessions show up as the program's, like the primary's.
    setSessionIdentity(db, sessionIdentity(primary_));
    openSession(db);
    return db;
}

QString ReadingConnection::standbyFailure(QDateTime& asOf) {
    const QString where = settings_.server;
    QSqlDatabase db;
    try {
        db = standby();
        if (!scalar(db, QStringLiteral("select pg_is_in_recovery()")).toBool())
            return QStringLiteral("Сервер отчетов %1 не является резервным (не в режиме "
                                  "восстановления)")
                .arg(where);
    } catch (const DbError& e) {
        return QStringLiteral("Сервер отчетов %1 недоступен (%2)").arg(where, e.text());
    }
    const QString primaryId = systemIdentifier(primary_);
    const QString standbyId = systemIdentifier(db);
    if (!primaryId.isEmpty() && !standbyId.isEmpty() && primaryId != standbyId)
        return QStringLiteral("Сервер отчетов %1 — копия другого сервера баз данных").arg(where);
    try {
        if (!readSchemaState(db).upToDate())
            return QStringLiteral("На сервере отчетов %1 еще не та версия базы данных, что на "
                                  "основном")
                .arg(where);
    } catch (const DbError& e) {
        return QStringLiteral("Сервер отчетов %1 недоступен (%2)").arg(where, e.text());
    }

    // The primary's position and time when the job begins.
    QSqlQuery p = exec(primary_, QStringLiteral("select pg_current_wal_lsn()::text, "
                                                "extract(epoch from clock_timestamp())::text"));
    p.next();
    const QString primaryLsn = p.value(0).toString();
    const double primaryNow = p.value(1).toString().toDouble();
    try {
        for (int attempt = 0;; ++attempt) {
            QSqlQuery s =
                exec(db,
                     QStringLiteral(
                         "select pg_wal_lsn_diff(pg_last_wal_replay_lsn(), cast(:lsn as pg_lsn)) "
                         ">= 0, extract(epoch from pg_last_xact_replay_timestamp())::text, "
                         "pg_is_wal_replay_paused()"),
                     {{QStringLiteral("lsn"), primaryLsn}});
            s.next();
            if (s.value(0).toBool()) {
                asOf = QDateTime::fromMSecsSinceEpoch(qint64(primaryNow * 1000));
                return {};
            }
            const bool paused = s.value(2).toBool();
            if (!paused && attempt + 1 < kCatchUpTries) {
                QThread::msleep(kCatchUpPauseMs);
                continue;
            }
            const QString replayed = s.value(1).toString();
            if (replayed.isEmpty())
                return QStringLiteral("Сервер отчетов %1 еще не получил данных основного")
                    .arg(where);
            const double lag = primaryNow - replayed.toDouble();
            if (lag > settings_.maxLagSeconds)
                return QStringLiteral("Сервер отчетов %1 отстает от основного на %2 с "
                                      "(допустимо %3 с)")
                    .arg(where, QString::number(lag, 'f', 1))
                    .arg(settings_.maxLagSeconds);
            asOf = QDateTime::fromMSecsSinceEpoch(qint64(replayed.toDouble() * 1000));
            return {};
        }
    } catch (const DbError& e) {
        return QStringLiteral("Сервер отчетов %1 недоступен (%2)").arg(where, e.text());
    }
}

ReadingPlace ReadingConnection::forJob() {
    ReadingPlace place;
    place.db = primary_;
    if (!settings_.configured())
        return place;
    QDateTime asOf;
    const QString failure = standbyFailure(asOf);
    if (!failure.isEmpty()) {
        place.note = failure + QStringLiteral(": данные читаются с основного сервера.");
        return place;
    }
    place.db = QSqlDatabase::database(name_, false);
    place.standby = true;
    place.dataAsOf = asOf;
    return place;
}

} // namespace tabel
