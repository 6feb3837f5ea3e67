#include "version_gate.h"

#include "db/sql.h"

#include <QSqlQuery>

namespace tabel {

namespace {
bool newer(int d1, int t1, int d2, int t2) {
    return d1 > d2 || (d1 == d2 && t1 > t2);
}
} // namespace

VersionGate::Outcome VersionGate::run() {
    // The first row in the table's natural order; its ctid identifies it for
    // the update within this run.
    QSqlQuery q = exec(db_, "select ctid::text, d, t, delim from accounts_dep.ver limit 1");
    const bool hasRow = q.next();
    decimalSeparator_ = hasRow ? q.value(3).toString() : QString();
    int d = hasRow ? q.value(1).toInt() : 0;
    int t = hasRow ? q.value(2).toInt() : 0;
    Outcome outcome = Outcome::Passed;
    if (!hasRow || newer(stamp_.date, stamp_.time, d, t)) {
        QSqlQuery w =
            hasRow ? exec(db_,
                          "update accounts_dep.ver set d = :d, t = :t where ctid = (:row)::tid "
                          "returning d, t",
                          {{"d", stamp_.date}, {"t", stamp_.time}, {"row", q.value(0).toString()}})
                   : exec(db_, "insert into accounts_dep.ver (d, t) values (:d, :t) returning d, t",
                          {{"d", stamp_.date}, {"t", stamp_.time}});
        if (w.next()) {
            d = w.value(0).toInt();
            t = w.value(1).toInt();
        } else {
            // The row went away meanwhile: read again whatever is first now.
            QSqlQuery again = exec(db_, "select d, t from accounts_dep.ver limit 1");
            if (again.next()) {
                d = again.value(0).toInt();
                t = again.value(1).toInt();
            }
        }
        outcome = Outcome::Stamped;
    }
    if (newer(d, t, stamp_.date, stamp_.time))
        return Outcome::Outdated;
    return outcome;
}

QString loginCaption(BuildStamp stamp) {
    return QStringLiteral("Авторизация (build: %1.%2)").arg(stamp.date).arg(stamp.time);
}

} // namespace tabel
