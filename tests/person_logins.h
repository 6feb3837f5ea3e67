#pragma once

#include "test_support.h"

#include "db/connection.h"

#include <QUuid>

namespace tabel::test {

// Tests that log people in with logins of their own, members of the group
// roles setup-roles made in the test cluster.
class RolesTest : public DbTest {
protected:
    // A person's own login, a member of `group`, connected to the test's
    // database the way the program connects. Dropped after the test.
    QSqlDatabase personOf(const QString& group, const QString& connection) {
        const QString login = "p_" + QUuid::createUuid().toString(QUuid::Id128).left(12);
        tabel::exec(db, QStringLiteral("create role %1 login in role %2").arg(login, group));
        logins_ << login;
        QString string = connectionString(dbName, testSocket());
        string.replace("UID=sys;PWD=wuxamez", "UID=" + login + ";PWD=");
        const QString name = dbName + "_" + connection;
        connections_ << name;
        lastLogin = login;
        return openDatabase(string, name);
    }

    void TearDown() override {
        for (const QString& name : connections_) {
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
        }
        // A login owns nothing and holds no rights of its own, only its
        // group's: it goes at once.
        for (const QString& login : logins_)
            tabel::exec(db, QStringLiteral("drop role %1").arg(login));
        DbTest::TearDown();
    }

    // Everything a write of the actions below could touch.
    QString fingerprint() {
        return scalar("select md5(string_agg(x, '|' order by x)) from ("
                      "select 's' || t::text x from accounts_dep.smena t union all "
                      "select 'h' || t::text from accounts_dep.h_tabel t union all "
                      "select 'f' || t::text from accounts_dep.fatigue t union all "
                      "select 'n' || t::text from accounts_dep.norm t union all "
                      "select 'o' || t::text from accounts_dep.oper t union all "
                      "select 'w' || t::text from accounts_dep.workers t union all "
                      "select 'g' || t::text from cmn_gds_and_srv.gds_and_srv t union all "
                      "select 'b' || t::text from accounts_dep.brigade_job t union all "
                      "select 'm' || t::text from accounts_dep.brigade_member t union all "
                      "select 'c' || t::text from accounts_dep.closed_month t union all "
                      "select 'l' || t.id::text from accounts_dep.change_log t) a")
            .toString();
    }

    QString lastLogin;

private:
    QStringList logins_;
    QStringList connections_;
};

} // namespace tabel::test
