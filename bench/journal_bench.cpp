// Times the interactive paths on a plant-sized database: opening the four
// shift lists of a day and rereading one, opening the operations list (as a
// picker and as the directory), storing a norm price edit, saving and
// deleting a record, alone and with the reread of the list the user sees,
// the housekeeping journal's list, an entry's save and deletion and the
// month's average-piecework recalculation. Usage: journal_bench
// <database> <socket-or-host> <yyyy-mm-dd>
#include "bench_support.h"
#include "db/connection.h"
#include "db/data_module.h"
#include "db/sql.h"
#include "db/statements.h"
#include "db/worker_names.h"
#include "directories/group_store.h"
#include "housekeeping/housekeeping_rules.h"
#include "journal/journal_commands.h"
#include "operations/norm_store.h"
#include "records/record_saver.h"
#include "session/context.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tabel;
using namespace tabel::bench;

namespace {

// The shift list as first written: one join on "id or code".
const char* kOrJoin =
    "select smena.id from cmn_contractor.person person, accounts_dep.izdel, accounts_dep.oper, "
    "accounts_dep.smena, accounts_dep.vid_oper where smena.i_id=izdel.id and "
    "smena.o_id=oper.id and (w_id=person.id or s_code::t_id=w_id) and oper.vid=vid_oper.id and "
    "smena.smena=:s and smena.data=:d and ok<>'ta' order by 1";

// Whether the list holds exactly `expected`'s rows: every value of the same
// type, equally null and equal (a NaN equal to a NaN).
bool sameListValues(const Dataset& list, const ResultRows& expected) {
    if (list.fieldNames() != expected.fields ||
        list.count() != static_cast<int>(expected.rows.size()))
        return false;
    for (int r = 0; r < list.count(); ++r) {
        for (int c = 0; c < expected.fields.size(); ++c) {
            const QVariant a = list.value(r, c);
            const QVariant& b = expected.rows[r][c];
            const bool nan = a.typeId() == QMetaType::Double && !a.isNull() && !b.isNull() &&
                             std::isnan(a.toDouble()) && std::isnan(b.toDouble());
            if (a.metaType() != b.metaType() || a.isNull() != b.isNull() || !(nan || a == b)) {
                std::fprintf(stderr, "row %d, %s: %s (%s) against %s (%s)\n", r,
                             qPrintable(expected.fields[c]), qPrintable(a.toString()), a.typeName(),
                             qPrintable(b.toString()), b.typeName());
                return false;
            }
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: journal_bench <database> <server> <date>\n");
        return 2;
    }
    const QDate day = QDate::fromString(argv[3], Qt::ISODate);
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    // Every run saves and deletes records of the day it times; the server's
    // autovacuum would clean up after them in a plant, so the figures start
    // from a cleaned table, not from the previous run's dead rows.
    exec(db, "vacuum (analyze) accounts_dep.smena, accounts_dep.fatigue, accounts_dep.h_tabel");
    RecordingMessenger messenger;
    DataModule data(db, messenger);
    AppContext ctx{data, messenger, {}};
    ctx.state.pickedDate = day;
    for (int s = 1; s <= 4; ++s) {
        data.shiftList(s).setParam("ok", QStringLiteral("ta"));
        data.shiftList(s).setParam("data", day);
    }

    // Same rows as the one-join statement, shift by shift: that statement
    // takes many seconds on a large registry, so it is run once per shift
    // and never timed. Same values, of the same types, as the list's own
    // statement read row by row through the driver.
    int rows = 0;
    bool same = true;
    bool sameValues = true;
    data.openShiftLists(day);
    for (int s = 1; s <= 4; ++s) {
        Dataset& list = data.shiftList(s);
        std::vector<int> ours;
        for (int r = 0; r < list.count(); ++r)
            ours.push_back(list.value(r, "id").toInt());
        std::sort(ours.begin(), ours.end());
        std::vector<int> theirs;
        QSqlQuery q = exec(db, kOrJoin, {{"s", s}, {"d", day}});
        while (q.next())
            theirs.push_back(q.value(0).toInt());
        same = same && ours == theirs;
        rows += list.count();

        QSqlQuery plain =
            exec(db, sql::shiftList(s), {{"data", day}, {"ok", "ta"}}, QSql::LowPrecisionDouble);
        const ResultRows byRow = readAll(plain);
        sameValues = sameValues && sameListValues(list, byRow);
        list.reopen();
        sameValues = sameValues && sameListValues(list, byRow);
    }
    std::printf("shift lists of %s: %d rows, same rows as the one-join statement: %s, same "
                "values as read row by row: %s\n",
                qPrintable(day.toString(Qt::ISODate)), rows, same ? "yes" : "NO",
                sameValues ? "yes" : "NO");
    same = same && sameValues;

    std::printf("load average %s\n", qPrintable(loadAverage()));
    // A registry without the index on its codes is passed over once.
    const bool indexed = sql::findCodeIndex(db).has_value();
    std::printf("the registry's code index: %s\n", indexed ? "yes" : "none");
    const double lists = timeMs(21, [&] { data.openShiftLists(day); });
    printTarget("open the four shift lists", lists, indexed ? 50 : 100,
                QStringLiteral("%1 rows, median of 21").arg(rows));
    Dataset& seen = data.shiftList(4);
    const double single = timeMs(21, [&] { seen.reopenKeepingRecord("id"); });
    printTarget("reopen the list of shift 4", single, 20,
                QStringLiteral("%1 rows, median of 21").arg(seen.count()));
    const double first = timeMs(21, [&] { data.shiftList(1).reopen(); });
    std::printf("reopen the list of shift 1: %.1f ms (%d rows, median of 21)\n", first,
                data.shiftList(1).count());

    const double oper = timeMs(11, [&] { data.oper().reopen(); });
    std::printf("open the operations list (%d operations): %.1f ms (median of 11)\n",
                data.oper().count(), oper);

    data.oper().close();
    data.oper().setSql(sql::operationsDirectory());
    const double directory = timeMs(11, [&] { data.oper().reopen(); });
    std::printf("open the operations list in directory mode (%d operations): %.1f ms (median of "
                "11)\n",
                data.oper().count(), directory);
    data.oper().close();
    data.oper().setSql(sql::operations());

    // The directories' lists.
    const std::unique_ptr<Dataset> groups = GroupStore::makeList(db);
    struct Listed {
        const char* what;
        Dataset& list;
    } listed[] = {{"workers", data.workers()},
                  {"products", data.izdel()},
                  {"operation types", data.vidOper()},
                  {"nomenclature groups", *groups}};
    for (const Listed& l : listed) {
        const double ms = timeMs(11, [&] { l.list.reopen(); });
        std::printf("open the %s list (%d rows): %.1f ms (median of 11)\n", l.what, l.list.count(),
                    ms);
        l.list.close();
    }

    // One price cell of the norms grid, stored as its column is left; the
    // price is put back afterwards.
    QSqlQuery norm =
        exec(db, "select id, o_id, price::numeric from accounts_dep.norm where price is not null "
                 "order by id limit 1");
    if (norm.next()) {
        const int normId = norm.value(0).toInt();
        const int normOper = norm.value(1).toInt();
        const QString original = norm.value(2).toString();
        NormStore norms(db);
        // Each edit is written over the price the previous one stored, as
        // the grid shows it.
        Norm shown{normId, QVariant(), original, QVariant()};
        int edit = 0;
        const double store = timeMs(21, [&] {
            shown = norms
                        .store(normOper, shown, NormStore::Field::Price,
                               ++edit % 2 ? QStringLiteral("1.25") : QStringLiteral("1.5"))
                        .norm;
        });
        exec(db, "update accounts_dep.norm set price = cast(:p as double precision) where id = :id",
             {{"p", original}, {"id", normId}});
        std::printf("store a norm price edit: %.1f ms (median of 21)\n", store);
    }

    // A save and a deletion of one record, each with its time-sheet cell.
    const int worker =
        scalar(db, "select w_id from accounts_dep.smena where data = :d limit 1", {{"d", day}})
            .toInt();
    QSqlQuery op = exec(db, "select o.id, o.i_id from accounts_dep.oper o where exists (select 1 "
                            "from accounts_dep.norm n where n.o_id = o.id) limit 1");
    op.next();
    std::vector<double> saves, deletes, saveRereads, deleteRereads;
    // The user sees the list of shift 4, the shift the records go to: after
    // each save and each deletion it is read again, as the journal does.
    ctx.state.shift = 4;
    data.openShiftLists(day);
    for (int i = 0; i < 21; ++i) {
        const RecordInput in =
            benchRecord(worker, op.value(0).toInt(), op.value(1).toInt(), 900000 + i, day);
        QElapsedTimer t;
        t.start();
        const int id = RecordSaver(db).save(in, 4, day).recordId;
        saves.push_back(t.nsecsElapsed() / 1e6);
        seen.reopenKeepingRecord("id");
        saveRereads.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        deleteRecord(db, id);
        deletes.push_back(t.nsecsElapsed() / 1e6);
        seen.reopen();
        deleteRereads.push_back(t.nsecsElapsed() / 1e6);
    }
    // A view of workers that scans the registry until it finds the worker
    // makes the worker the registry holds last cost the whole scan.
    const int lastWorker =
        scalar(db, "select p.id::integer from cmn_contractor.person p where exists (select 1 "
                   "from accounts_dep.person w where w.id = p.id) order by p.ctid desc limit 1")
            .toInt();
    std::vector<double> lastSaves;
    for (int i = 0; i < 11; ++i) {
        const RecordInput in =
            benchRecord(lastWorker, op.value(0).toInt(), op.value(1).toInt(), 900000 + i, day);
        QElapsedTimer t;
        t.start();
        const int id = RecordSaver(db).save(in, 4, day).recordId;
        lastSaves.push_back(t.nsecsElapsed() / 1e6);
        deleteRecord(db, id);
    }
    std::printf("load average %s\n", qPrintable(loadAverage()));
    printTarget("save a record (check, write, cell)", median(saves), 20, "median of 21");
    printTarget("save a record of the registry's last worker", median(lastSaves), 20,
                "median of 11");
    printTarget("delete a record (delete, cell)", median(deletes), 20, "median of 21");
    printTarget("save a record and reread the list", median(saveRereads), 20,
                QStringLiteral("%1 rows, median of 21").arg(seen.count()));
    printTarget("delete a record and reread the list", median(deleteRereads), 20,
                QStringLiteral("%1 rows, median of 21").arg(seen.count()));

    // The housekeeping journal on its busiest date.
    const QDate busy = scalar(db, "select d_date from accounts_dep.fatigue group by d_date "
                                  "order by count(*) desc limit 1")
                           .toDate();
    if (busy.isValid()) {
        const std::unique_ptr<Dataset> entries = HousekeepingRules::makeList(db);
        entries->setParam("d_date", busy);
        const double list = timeMs(11, [&] { entries->reopen(); });
        printTarget("housekeeping journal of the busiest date", list, 50,
                    QStringLiteral("%1, %2 entries, median of 11")
                        .arg(busy.toString(Qt::ISODate))
                        .arg(entries->count()));
        const int entryWorker = entries->value(0, "id_p").toInt();
        const qint64 entryGroup = entries->value(0, "id_nom").toLongLong();
        entries->close();

        HousekeepingRules rules(db);
        std::vector<double> entrySaves, entryDeletes;
        for (int i = 0; i < 21; ++i) {
            EntryInput in;
            in.workerId = entryWorker;
            in.groupId = entryGroup;
            in.type = kHousekeepingWork;
            in.normPrice = "150";
            in.hours = "1";
            in.date = busy;
            int id = 0;
            QElapsedTimer t;
            t.start();
            rules.save(in, &id);
            entrySaves.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            rules.remove(id);
            entryDeletes.push_back(t.nsecsElapsed() / 1e6);
        }
        printTarget("save a housekeeping entry (checks, write, cell)", median(entrySaves), 20,
                    "median of 21");
        printTarget("delete a housekeeping entry (delete, cell)", median(entryDeletes), 20,
                    "median of 21");

        // Rolled back each time, so the prices stay as they were.
        int repriced = 0;
        const double average = timeMs(5, [&] {
            Transaction tx(db);
            repriced = rules.recalculate(busy);
            tx.rollback();
        });
        std::printf("average-piecework recalculation of the month (%d entries): %.1f ms (median "
                    "of 5)\n",
                    repriced, average);
    }

    // The lists again with the index a plant's administrator may put on the
    // registry's codes (the bench's registry is a stand-in, so the bench may
    // create it), then without it as before.
    if (indexed)
        return same ? 0 : 1;
    const auto everyRow = [&] {
        QStringList rows;
        data.openShiftLists(day);
        for (int s = 1; s <= 4; ++s)
            for (int r = 0; r < data.shiftList(s).count(); ++r)
                rows << data.shiftList(s).value(r, "id").toString() + "|" +
                            data.shiftList(s).value(r, "fio").toString();
        return rows;
    };
    const QStringList withoutIndex = everyRow();
    QElapsedTimer created;
    created.start();
    exec(db, sql::kCodeIndexDdl);
    exec(db, "analyze cmn_contractor.person");
    std::printf("with the registry's code index (created and analysed in %.0f ms):\n",
                created.nsecsElapsed() / 1e6);
    const bool sameWithIndex = everyRow() == withoutIndex;
    std::printf("same rows with the index: %s\n", sameWithIndex ? "yes" : "NO");
    same = same && sameWithIndex;
    std::printf("load average %s\n", qPrintable(loadAverage()));
    printTarget("open the four shift lists (index)", timeMs(21, [&] { data.openShiftLists(day); }),
                50, QStringLiteral("%1 rows, median of 21").arg(rows));
    printTarget("reopen the list of shift 4 (index)",
                timeMs(21, [&] { seen.reopenKeepingRecord("id"); }), 20, "median of 21");
    std::vector<double> indexedSaves;
    for (int i = 0; i < 21; ++i) {
        const RecordInput in =
            benchRecord(worker, op.value(0).toInt(), op.value(1).toInt(), 900000 + i, day);
        QElapsedTimer t;
        t.start();
        const int id = RecordSaver(db).save(in, 4, day).recordId;
        seen.reopenKeepingRecord("id");
        indexedSaves.push_back(t.nsecsElapsed() / 1e6);
        deleteRecord(db, id);
        seen.reopen();
    }
    printTarget("save a record and reread the list (index)", median(indexedSaves), 20,
                QStringLiteral("%1 rows, median of 21").arg(seen.count()));
    exec(db, "drop index cmn_contractor.person_code_number_idx");
    exec(db, "analyze cmn_contractor.person");
    return same ? 0 : 1;
}
