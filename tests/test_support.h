#pragma once

#include "db/data_module.h"
#include "db/messenger.h"
#include "db/outcome.h"
#include "db/sql.h"
#include "records/record_saver.h"
#include "session/context.h"

#include <QDate>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <gtest/gtest.h>
#include <memory>

// Readable texts in the failure messages of GoogleTest.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace tabel::test {

// The socket folder of the suite's own cluster (TABEL_TEST_SOCKET).
QString testSocket();

// A write through a store that shows its refusals (the workers'), as an
// outcome: done, or the last message shown.
inline Outcome shownOutcome(const RecordingMessenger& messenger, bool written) {
    if (written)
        return Outcome::ok();
    return messenger.messages.isEmpty() ? Outcome::refused("?", "?")
                                        : Outcome::refused(messenger.messages.last().caption,
                                                           messenger.messages.last().text);
}

// Each test gets a database of its own, copied from the template that holds
// the schema and the neighbouring applications' stand-ins, and dropped after.
class DbTest : public ::testing::Test {
protected:
    // The template the test's database is copied from: the schema and the
    // stand-ins only, or (demoTemplate) also a small plant's generated data.
    virtual const char* templateName() const { return "tabel_template"; }
    static constexpr const char* demoTemplate = "tabel_demo_template";

    void SetUp() override;
    void TearDown() override;

    // A second connection to the same database, as another workstation.
    QSqlDatabase otherWorkstation(const QString& name = "other");

    QVariant scalar(const QString& sql, const QVariantMap& params = {}) {
        return tabel::scalar(db, sql, params);
    }
    void run(const QString& sql, const QVariantMap& params = {}) { tabel::exec(db, sql, params); }

    // Small fixtures. Each returns the new row's id.
    int addWorker(const QString& fio, const QString& dept = {});
    int addPerson(const QString& caption, const QVariant& code); // a registry person only
    int addProduct(const QString& marka);
    int addVid(const QString& name);
    int addOper(int product, int vid, int naimen = 0);
    void addNorm(int oper, double price, int norma = 100, int prize = 0);
    int addGroup(const QString& caption); // a nomenclature group
    // A housekeeping (7777) or average-piecework (7778) entry booked in the
    // month of its date.
    void addFatigue(int worker, int type, int group, const QDate& date, int hours,
                    const QString& price, int night);
    struct Record {
        int worker = 0;
        int oper = 0;
        QDate date;
        int shift = 1;
        int time = 8;
        int qty = 10;
        int brak = 0;
        double price = 1;
        int color = 0;
        QVariant ok = QStringLiteral("no");
    };
    int addRecord(const Record& r); // product taken from the operation
    // What the record dialog hands over for a new record of `worker` with
    // operation `oper` (its product looked up), complete enough to be saved.
    RecordInput recordInput(int worker, int oper, const QDate& date,
                            const QString& quantity = "100", const QString& hours = "8");

    // h_tabel day cell of a shift row; invalid QVariant when no row, null
    // QVariant for an empty cell.
    QVariant dayCell(int worker, int shift, const QDate& date);
    int shiftRows(int worker, int shift, int month, int year);

    QString dbName;
    QSqlDatabase db;
    RecordingMessenger messenger;
    std::unique_ptr<DataModule> data;
    std::unique_ptr<AppContext> ctx;

private:
    QStringList extraConnections_;
};

} // namespace tabel::test

namespace tabel::test {

// tabel-batch run against the suite's cluster: `arguments` follow
// DATABASE and SERVER; `environment` is the test's own unless given.
struct BatchRun {
    int exitCode = -1;
    QString out;
    QString err;
};
BatchRun
runBatch(const QString& database, const QStringList& arguments,
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

} // namespace tabel::test
