#pragma once

// The time-sheet rebuild as the plant's first version of the program ran it:
// day by day, and per shift (or type of work) and worker of each day a count
// and then an update or an insert, every statement its own text. Kept as the
// reference the set-based rebuild is measured and tested against; it takes
// no lock and no transaction.

#include "db/sql.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace tabel::reference {

inline void rebuildShiftsDayByDay(const QSqlDatabase& db, int m, int y) {
    const QString my = QStringLiteral(" and month=%1 and year=%2").arg(m).arg(y);
    exec(db, QStringLiteral("delete from accounts_dep.h_tabel where smena>0") + my);
    const int n = QDate(y, m, 1).daysInMonth();
    for (int d = 1; d <= n; ++d) {
        QSqlQuery dt = exec(db,
                            " select smena, w_id, sum(time) as tim from accounts_dep.smena "
                            "where data=:data group by smena,w_id;",
                            {{"data", QDate(y, m, d)}});
        while (dt.next()) {
            const QString s = dt.value(0).toString();
            const QString w = dt.value(1).toString();
            const QString t = dt.value(2).toString();
            const int cnt =
                scalar(db, QStringLiteral("select count(w_id) as cnt from accounts_dep.h_tabel "
                                          "h_tabel where w_id=%1 and smena=%2")
                                   .arg(w, s) +
                               my)
                    .toInt();
            if (cnt != 0)
                exec(db, QStringLiteral("update accounts_dep.h_tabel set d%1='%2' where w_id=%3 "
                                        "and smena=%4")
                                 .arg(d)
                                 .arg(t, w, s) +
                             my);
            else
                exec(db, QStringLiteral("insert into accounts_dep.h_tabel(smena, w_id, month, "
                                        "year, d%1) values(%2, %3, %4, %5, %6)")
                             .arg(d)
                             .arg(s, w)
                             .arg(m)
                             .arg(y)
                             .arg(t));
        }
    }
}

inline void rebuildHousekeepingDayByDay(const QSqlDatabase& db, int m, int y) {
    const QString my = QStringLiteral(" and month=%1 and year=%2").arg(m).arg(y);
    exec(db, QStringLiteral("delete from accounts_dep.h_tabel where smena=0") + my);
    const int n = QDate(y, m, 1).daysInMonth();
    for (int d = 1; d <= n; ++d) {
        QSqlQuery dt = exec(db,
                            " select f.id_p, f.id_o, f.i_night, sum(f.cnt) as tim from "
                            "accounts_dep.fatigue f where f.d_date =:data group by f.id_p, "
                            "f.id_o, f.i_night order by id_p;",
                            {{"data", QDate(y, m, d)}});
        while (dt.next()) {
            const QString p = dt.value(0).toString();
            const QString o = dt.value(1).toString();
            const QString i = dt.value(2).toString();
            const QString t = dt.value(3).toString();
            const int cnt =
                scalar(db, QStringLiteral("select count(w_id) as cnt from accounts_dep.h_tabel "
                                          "h_tabel where w_id=%1 and i_type=%2 and i_night=%3")
                                   .arg(p, o, i) +
                               my)
                    .toInt();
            if (cnt != 0)
                exec(db, QStringLiteral("update accounts_dep.h_tabel set d%1=%2 where w_id=%3 "
                                        "and i_type=%4 and i_night=%5")
                                 .arg(d)
                                 .arg(t, p, o, i) +
                             my);
            else
                exec(db, QStringLiteral("insert into accounts_dep.h_tabel(i_type, w_id, i_night, "
                                        "month, year, d%1) values(%2, %3, %4, %5, %6, %7)")
                             .arg(d)
                             .arg(o, p, i)
                             .arg(m)
                             .arg(y)
                             .arg(t));
        }
    }
}

} // namespace tabel::reference
