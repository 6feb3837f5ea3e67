#pragma once

// Where a job that only reads in bulk gets its data: the plant's hot standby
// (`report_server` in tabel.conf) when it is fit for it, the primary
// otherwise. The summary reports and their preview, the pay statements and
// their reconciliation, the spreadsheet exports, the change history and the
// printed time sheets read through it; nothing that writes, and nothing that
// must see the user's own write at once, ever gets the standby's connection.
//
// Before each job the standby is checked against the primary:
//   - it answers, is in recovery (a standby, not a promoted copy or another
//     server), is a copy of this very cluster, and carries the schema this
//     build knows;
//   - it has replayed everything the primary had written when the job began
//     (lag 0), or else its last replayed transaction committed no more than
//     `report_max_lag` seconds before the primary's present time.
// Both times of the lag are the primary's own clock (a replayed commit
// carries the time the primary gave it), so the two machines' clocks need
// not agree. A standby that falls short hands the job to the primary with a
// note that says why; the caller shows it once (a window's status line, the
// batch's standard error).
//
// The standby's sessions start with default_transaction_read_only, asked for
// in the connection string itself, so that a session opened again after a
// loss is read-only too; a standby refuses writes besides.

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

namespace tabel {

struct StandbySettings {
    QString server;   // empty: no standby
    QString database; // empty: the primary's database name
    int maxLagSeconds = 5;

    bool configured() const { return !server.isEmpty(); }
};

// The primary's connection string with the server (and the database, when
// `database` is not empty) replaced and the session made read-only; every
// other piece, the login included, stays as it was.
QString standbyConnectionString(const QString& primary, const QString& server,
                                const QString& database);

// Where one job reads.
struct ReadingPlace {
    QSqlDatabase db;
    bool standby = false;
    // Why a configured standby was passed over; empty when it serves the job
    // or none is configured.
    QString note;
    // On the standby: the moment its data stands at. The primary's time of
    // the check when it had caught up, otherwise the commit time of the last
    // transaction it replayed. Invalid on the primary.
    QDateTime dataAsOf;
};

// "Данные на DD.MM.YYYY HH:MM:SS", the line a report printed from the
// standby carries; empty for an invalid time.
QString dataAsOfText(const QDateTime& asOf);

class ReadingConnection {
public:
    // `primary` stays the caller's; the standby's connection is opened under
    // `name` the first time a job needs it and opened again when found lost.
    ReadingConnection(QSqlDatabase primary, StandbySettings settings,
                      QString name = QStringLiteral("tabel-reading"));
    ~ReadingConnection();
    ReadingConnection(const ReadingConnection&) = delete;
    ReadingConnection& operator=(const ReadingConnection&) = delete;

    // Decides for one job. Never throws for the standby's sake: a standby
    // that fails in any way is a note and the primary. Throws DbError only
    // for the primary's own failures.
    ReadingPlace forJob();

    const StandbySettings& settings() const { return settings_; }

private:
    QString standbyFailure(QDateTime& asOf); // empty when the standby is fit
    QSqlDatabase standby();                  // opened; throws DbError

    QSqlDatabase primary_;
    StandbySettings settings_;
    QString name_;
};

} // namespace tabel
