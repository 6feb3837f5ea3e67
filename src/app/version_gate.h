#pragma once

#include <QSqlDatabase>
#include <QString>

namespace tabel {

// A build stamp: date as year*10000 + month*100 + day, time as seconds after
// midnight.
struct BuildStamp {
    int date = 0;
    int time = 0;
};

// The stamp compiled into this program.
BuildStamp buildStamp();

// Keeps builds older than the newest one started against the database from
// running: the newest build stamps the first row of accounts_dep.ver.
class VersionGate {
public:
    enum class Outcome { Passed, Stamped, Outdated };

    VersionGate(QSqlDatabase db, BuildStamp stamp) : db_(db), stamp_(stamp) {}

    // One run: reads the stamp row, stamps it when this build is newer, and
    // tells whether a newer build has stamped the database. Throws DbError.
    Outcome run();
    // The decimal separator read by the last run (empty on an empty table).
    QString decimalSeparator() const { return decimalSeparator_; }

private:
    QSqlDatabase db_;
    BuildStamp stamp_;
    QString decimalSeparator_;
};

// "Авторизация (build: 20261210.45296)"
QString loginCaption(BuildStamp stamp);

inline const char* kOutdatedMessage =
    "Версия программы не соответсвует БД! Запустите программу через 5 мин.";

} // namespace tabel
