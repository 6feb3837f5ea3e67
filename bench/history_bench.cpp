// Times what the closed months and the change history cost the journal, on a
// plant-sized database with a year of history in accounts_dep.change_log
// (generated once, beside the records, if the database has none):
// a record's history read and formatted as "История" shows it; a record's
// save and deletion with the database's triggers and, on the same
// transaction rolled back, with them disabled; a month's shift rebuild with
// and without them. Usage: history_bench <database> <server> <yyyy-mm-dd>
#include "bench_support.h"
#include "db/connection.h"
#include "db/sql.h"
#include "journal/journal_commands.h"
#include "journal/record_history.h"
#include "records/record_saver.h"
#include "timesheets/rebuilds.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <cstdio>

using namespace tabel;
using namespace tabel::bench;

namespace {

// The workstation the generated rows are written under, so that they are
// made once and told from real ones.
const char* kGenerated = "bench-history";

// A year of history as a plant's journal leaves it: every record of the
// year inserted on its day, accepted a day later, every third one's
// quantity corrected; and one record changed 40 times, a history longer
// than any a record gets in practice.
void generateYear(const QSqlDatabase& db, const QDate& day) {
    Transaction tx(db);
    // The generated rows are back-dated, which the database refuses of any
    // writer; its guard is off for this transaction only.
    exec(db, "alter table accounts_dep.change_log disable trigger change_log_written_by_server");
    const QVariantMap period{{"from", day.addYears(-1)}, {"to", day}, {"ws", kGenerated}};
    exec(db,
         "insert into accounts_dep.change_log (changed_at, db_user, app_role, workstation, "
         "table_name, row_id, action, worker_id, new_values) select s.data + time '07:30' + "
         "(s.id % 3600) * interval '1 second', 'sys', 'мастер', :ws, 'smena', s.id, 'insert', "
         "s.w_id, jsonb_strip_nulls(to_jsonb(s)) from accounts_dep.smena s where s.data >= :from "
         "and s.data < :to order by s.data, s.id",
         period);
    exec(db,
         "insert into accounts_dep.change_log (changed_at, db_user, app_role, workstation, "
         "table_name, row_id, action, worker_id, old_values, new_values) select s.data + 1 + "
         "time '09:00' + (s.id % 3600) * interval '1 second', 'sys', 'контора', :ws, 'smena', "
         "s.id, 'update', s.w_id, jsonb_build_object('ok', 'no'), jsonb_build_object('ok', 'ok') "
         "from accounts_dep.smena s where s.data >= :from and s.data < :to order by s.data, s.id",
         period);
    exec(db,
         "insert into accounts_dep.change_log (changed_at, db_user, app_role, workstation, "
         "table_name, row_id, action, worker_id, old_values, new_values) select s.data + time "
         "'15:00', 'sys', 'мастер', :ws, 'smena', s.id, 'update', s.w_id, "
         "jsonb_build_object('kol_vo', s.kol_vo + 1), jsonb_build_object('kol_vo', s.kol_vo) "
         "from accounts_dep.smena s where s.data >= :from and s.data < :to and s.id % 3 = 0 "
         "order by s.data, s.id",
         period);
    exec(
        db,
        "insert into accounts_dep.change_log (changed_at, db_user, app_role, workstation, "
        "table_name, row_id, action, worker_id, old_values, new_values) select s.data + time "
        "'16:00' + g * interval '1 minute', 'sys', 'мастер', :ws, 'smena', s.id, 'update', s.w_id, "
        "jsonb_build_object('kol_vo', g, 'brak', 0), jsonb_build_object('kol_vo', g + 1, 'brak', "
        "1) "
        "from (select * from accounts_dep.smena where data >= :from and data < :to order by id "
        "desc limit 1) s, generate_series(1, 40) g",
        period);
    exec(db, "alter table accounts_dep.change_log enable trigger change_log_written_by_server");
    tx.commit();
}

// Saves and deletes 21 records of `day` as the journal does; the medians.
std::pair<double, double> saveAndDelete(const QSqlDatabase& db, const QDate& day, int salt) {
    const int worker =
        scalar(db, "select w_id from accounts_dep.smena where data = :d limit 1", {{"d", day}})
            .toInt();
    QSqlQuery op = exec(db, "select o.id, o.i_id from accounts_dep.oper o where exists (select 1 "
                            "from accounts_dep.norm n where n.o_id = o.id) order by o.id limit 1");
    op.next();
    std::vector<double> saves, deletes;
    for (int i = 0; i < 21; ++i) {
        const RecordInput in =
            benchRecord(worker, op.value(0).toInt(), op.value(1).toInt(), salt + i, day);
        QElapsedTimer t;
        t.start();
        const RecordSaver::Result saved = RecordSaver(db).save(in, 4, day);
        saves.push_back(t.nsecsElapsed() / 1e6);
        if (!saved.saved()) {
            std::fprintf(stderr, "save refused: %s\n", qPrintable(saved.outcome.text));
            return {-1, -1};
        }
        t.restart();
        deleteRecord(db, saved.recordId);
        deletes.push_back(t.nsecsElapsed() / 1e6);
    }
    return {median(saves), median(deletes)};
}

// Every trigger of ours on the three tables a record's save, deletion and
// rebuild write, switched off until the caller's transaction ends.
void disableTriggers(const QSqlDatabase& db) {
    for (const char* table : {"smena", "h_tabel", "fatigue"})
        exec(db, QStringLiteral("alter table accounts_dep.%1 disable trigger user")
                     .arg(QLatin1String(table)));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: history_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));

    if (!scalar(db, "select 1 from accounts_dep.change_log where workstation = :ws limit 1",
                {{"ws", kGenerated}})
             .isValid()) {
        QElapsedTimer t;
        t.start();
        generateYear(db, day);
        std::printf("generated a year of history in %.1f s\n", t.nsecsElapsed() / 1e9);
    }
    exec(db, "vacuum (analyze) accounts_dep.smena, accounts_dep.h_tabel, "
             "accounts_dep.change_log");
    const qint64 year = scalar(db,
                               "select count(*) from accounts_dep.change_log where changed_at >= "
                               ":from and changed_at < :to",
                               {{"from", day.addYears(-1)}, {"to", day}})
                            .toLongLong();
    const qint64 all = scalar(db, "select count(*) from accounts_dep.change_log").toLongLong();
    std::printf("change_log: %lld rows of the year before %s, %lld in all\n",
                static_cast<long long>(year), qPrintable(day.toString(Qt::ISODate)),
                static_cast<long long>(all));

    // The record with the longest generated history.
    QSqlQuery longest = exec(db,
                             "select row_id, count(*) from accounts_dep.change_log where "
                             "table_name = 'smena' and workstation = :ws group by row_id "
                             "order by 2 desc, 1 desc limit 1",
                             {{"ws", kGenerated}});
    if (longest.next()) {
        const qint64 id = longest.value(0).toLongLong();
        int shown = 0;
        const double history = timeMs(21, [&] {
            QStringList lines;
            for (const HistoryEntry& e : recordHistory(db, "smena", id))
                lines << historyTimeText(e.changedAt) + historyAuthor(e) + historyAction(e.action) +
                             historyChanges(e);
            shown = static_cast<int>(lines.size());
        });
        std::printf("a record's history read and formatted (%d rows): %.1f ms (median of 21)\n",
                    shown, history);
        const QDate month(day.year(), day.month(), 1);
        int rows = 0;
        const double period = timeMs(3, [&] {
            rows = static_cast<int>(
                periodHistory(db, {month.addMonths(-1), month, QString(), std::nullopt}).size());
        });
        std::printf("a month's history read (%d rows, as tabel-batch history): %.1f ms (median "
                    "of 3)\n",
                    rows, period);
    }

    std::printf(
        "A record's save (check, write, cell) and deletion (delete, cell), median of 21:\n");
    const auto [save, remove] = saveAndDelete(db, day, 910000);
    std::printf("  with the triggers, as the journal runs them:  save %5.1f ms, delete %5.1f ms\n",
                save, remove);
    // The same work inside one transaction that is rolled back, so the
    // disabled triggers never outlive it; the driver's savepoints cost the
    // same on both sides.
    {
        Transaction tx(db);
        const auto [s, d] = saveAndDelete(db, day, 920000);
        std::printf(
            "  with the triggers, in a rolled-back transaction: save %5.1f ms, delete %5.1f "
            "ms\n",
            s, d);
        tx.rollback();
    }
    {
        Transaction tx(db);
        disableTriggers(db);
        const auto [s, d] = saveAndDelete(db, day, 930000);
        std::printf("  without them, in a rolled-back transaction:  save %5.1f ms, delete %5.1f "
                    "ms\n",
                    s, d);
        tx.rollback();
    }

    const QDate first = QDate(day.year(), day.month(), 1).addMonths(-1);
    std::printf("The shift rows of %s rebuilt, median of 5, each in a rolled-back transaction:\n",
                qPrintable(first.toString("MM.yyyy")));
    for (const bool triggers : {true, false}) {
        const double ms = timeMs(5, [&] {
            Transaction tx(db);
            if (!triggers)
                disableTriggers(db);
            rebuildMonth(db, SheetKind::Shifts, first);
            tx.rollback();
        });
        std::printf("  %-17s %7.1f ms\n", triggers ? "with the triggers" : "without them", ms);
    }
    const bool enabled =
        scalar(db, "select count(*) from pg_trigger where tgrelid = 'accounts_dep.smena'::regclass "
                   "and not tgisinternal and tgenabled = 'D'")
            .toInt() == 0;
    std::printf("triggers enabled again: %s\n", enabled ? "yes" : "NO");
    return enabled ? 0 : 1;
}
