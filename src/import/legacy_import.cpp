#include "legacy_import.h"

#include "db/closed_month_checks.h"
#include "db/sql.h"
#include "import/legacy_source.h"
#include "import/target_writer.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace tabel {

namespace {

using namespace legacy;

// Checks that the production records' source can be read and is not the
// table they are copied into, which the copy empties first.
void checkRecordSource(const QSqlDatabase& db) {
    QSqlQuery q = exec(db, "select to_regclass('smena')::oid, "
                           "to_regclass('accounts_dep.smena')::oid");
    q.next();
    if (q.value(0).isNull())
        throw Refused(kImportCaption, kImportNoSmena);
    if (q.value(0).toLongLong() == q.value(1).toLongLong())
        throw Refused(kImportCaption, kImportSelfWipe);
}

// The import replaces every record and time-sheet row, those of closed
// months too: it is refused while any month is closed, naming them all.
void refuseWhileMonthsClosed(const QSqlDatabase& db) {
    const QList<int> closed = closedMonths(db);
    if (closed.isEmpty())
        return;
    throw Refused(kImportCaption,
                  QStringLiteral("%1 %2: импорт заменил бы их записи. Импорт не выполнен, ничего "
                                 "не изменено.")
                      .arg(closed.size() == 1 ? QStringLiteral("Закрыт месяц")
                                              : QStringLiteral("Закрыты месяцы"),
                           monthNames(closed)));
}

// Whether `accounts_dep.izdel` is a table of its own rather than a view over
// the goods table.
bool izdelIsTable(const QSqlDatabase& db) {
    const QString kind =
        scalar(db, "select relkind::text from pg_class where oid = to_regclass(:t)",
               {{"t", kIzdel}})
            .toString();
    return kind == QLatin1String("r") || kind == QLatin1String("p");
}

class Copier {
public:
    Copier(QSqlDatabase server, const Source& source, const LegacyImport::Progress& progress,
           bool izdelTable)
        : server_(server), source_(source), progress_(progress), izdelTable_(izdelTable) {}

    ImportedTable copy(const TablePair& p) {
        const bool goods = QLatin1String(p.target) == QLatin1String(kIzdel) && !izdelTable_;
        const QString from = QString::fromLatin1(p.source);
        const QString order = p.copiesId ? QStringLiteral(" order by id") : QString();
        ImportProgress step{from,
                            goods ? QString::fromLatin1(kGoods) : QString::fromLatin1(p.target)};

        // The source's own names of the columns copied, found ignoring case.
        const QSqlRecord found = read(p, "select * from " + from + " where 1 = 0").record();
        QStringList names;
        for (const Column& c : p.columns) {
            const int i = found.indexOf(QString::fromLatin1(c.name));
            if (i < 0)
                throw Refused(kImportCaption,
                              QStringLiteral("В таблице %1 нет поля %2. Импорт не выполнен, "
                                             "ничего не изменено.")
                                  .arg(from, QString::fromLatin1(c.name)));
            names << found.fieldName(i);
        }

        // Counted and read before the target is emptied: whatever the source
        // turns out to be, it is read as it stood.
        QSqlQuery count = read(p, "select count(*) from " + from);
        count.next();
        step.total = count.value(0).toInt();
        QSqlQuery rows;
        std::vector<int> fields;
        if (p.onServer) {
            // Dates and times come over as the ISO text the transaction's
            // date style writes, whatever their column's type; a date kept
            // as text comes as it is.
            QStringList select;
            for (size_t c = 0; c < p.columns.size(); ++c) {
                QString name = names[qsizetype(c)];
                name = QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                       QLatin1Char('"');
                const Kind kind = p.columns[c].kind;
                select << (kind == Kind::Date || kind == Kind::Timestamp
                               ? QStringLiteral("cast(%1 as text)").arg(name)
                               : name);
                fields.push_back(int(c));
            }
            rows = exec(server_,
                        "select " + select.join(QStringLiteral(", ")) + " from " + from + order);
        } else {
            rows = source_.query("select * from " + from + order);
            for (const QString& name : names)
                fields.push_back(rows.record().indexOf(name));
        }
        report(step);

        std::unique_ptr<Writer> writer;
        if (goods) {
            // The goods table belongs to the plant's information system:
            // products are added or updated under their ids, and goods the
            // legacy table lacks are left alone.
            writer = std::make_unique<Writer>(
                server_, p, QStringLiteral("with v as ("),
                QStringLiteral("), upd as (update cmn_gds_and_srv.gds_and_srv g "
                               "set s_caption = v.marka, massa = v.massa from v "
                               "where g.id = v.id returning g.id) "
                               "insert into cmn_gds_and_srv.gds_and_srv (id, s_caption, "
                               "s_description, id_msm_bs, massa) "
                               "select v.id, v.marka, '', 6, v.massa from v "
                               "where v.id not in (select id from upd)"));
        } else {
            exec(server_, QStringLiteral("delete from %1 where id > 0").arg(p.target));
            QString fixed;
            for (const Fixed& f : p.fixed)
                fixed += QStringLiteral(", ") + QString::fromLatin1(f.value);
            writer =
                std::make_unique<Writer>(server_, p,
                                         QStringLiteral("insert into %1 (%2) select r.*%3 from (")
                                             .arg(p.target, columnList(p), fixed),
                                         QStringLiteral(") r"));
        }

        qint64 highest = 0;
        while (rows.next()) {
            ++step.done;
            const QVariant id = p.copiesId ? rows.value(fields[0]) : QVariant();
            if (p.copiesId)
                highest = std::max(highest, id.toLongLong());
            writer->add([&](size_t c) { return rows.value(fields[c]); },
                        RowPlace{p, id, step.done});
            if (writer->pending() == 0) {
                step.total = std::max(step.total, step.done);
                report(step);
            }
        }
        if (rows.lastError().isValid())
            throw Refused(kImportCaption, QStringLiteral("Не удалось дочитать таблицу %1: %2")
                                              .arg(from, rows.lastError().text().trimmed()));
        writer->flush();
        if (p.copiesId)
            highest_.emplace_back(
                goods ? QString::fromLatin1(kGoods) : QString::fromLatin1(p.target), highest);

        step.total = step.done;
        step.finished = true;
        report(step);
        return {step.source, step.target, step.done};
    }

    // Moves each target's id generator past the highest id copied into it.
    // Last of all, since a generator moved stays moved when the transaction
    // is rolled back.
    void moveGenerators() {
        for (const auto& [table, highest] : highest_)
            moveIdsPast(server_, table, highest);
    }

private:
    QSqlQuery read(const TablePair& p, const QString& sql) {
        return p.onServer ? exec(server_, sql) : source_.query(sql);
    }

    void report(const ImportProgress& step) {
        if (progress_ && !progress_(step))
            throw Refused(kImportCaption, kImportCancelled);
    }

    QSqlDatabase server_;
    const Source& source_;
    const LegacyImport::Progress& progress_;
    bool izdelTable_;
    std::vector<std::pair<QString, qint64>> highest_;
};

// The legacy database keeps no brigade jobs to carry over. The records that
// are the members' shares are replaced with the rest, so the jobs go too,
// members first: a member's month is read through its job. Answers how many
// jobs went.
int clearBrigadeJobs(const QSqlDatabase& db) {
    exec(db, "delete from accounts_dep.brigade_member");
    return scalar(db, "with gone as (delete from accounts_dep.brigade_job returning id) "
                      "select count(*) from gone")
        .toInt();
}

} // namespace

QString LegacyImport::brigadeJobsNote() const {
    return QStringLiteral("Бригадные наряды: в прежней базе их нет, удалено нарядов на сервере: "
                          "%1.")
        .arg(brigadeJobsCleared_);
}

LegacyImport::LegacyImport(QSqlDatabase server, QString sourceDsn)
    : server_(server), sourceDsn_(std::move(sourceDsn)) {}

Outcome LegacyImport::run(const Progress& progress) {
    tables_.clear();
    brigadeJobsCleared_ = 0;
    QList<ImportedTable> copied;
    int jobsCleared = 0;
    try {
        // Before the source is read: no copying can help a closed month.
        refuseWhileMonthsClosed(server_);
        const legacy::Source source(sourceDsn_);
        Transaction tx(server_);
        // Dates and times read from the server come as ISO text in this
        // transaction. The rows go back in ISO too, which the server reads
        // alike under any date style.
        exec(server_, "set local datestyle to 'ISO, YMD'");
        checkRecordSource(server_);
        const bool izdelTable = izdelIsTable(server_);
        // Other workstations may read meanwhile but wait with their writes,
        // so none of them draws an id that an imported row is about to take.
        // The brigade jobs come after the operations and before the records,
        // in the order a new job's save takes them.
        QString targets = "accounts_dep.h_tabel, accounts_dep.nomenkl, accounts_dep.oper, "
                          "accounts_dep.vid_oper, accounts_dep.workers, "
                          "accounts_dep.brigade_job, accounts_dep.brigade_member, "
                          "accounts_dep.smena";
        if (izdelTable)
            targets += QStringLiteral(", ") + QString::fromLatin1(legacy::kIzdel);
        exec(server_, "lock table " + targets + " in exclusive mode");
        // Again, now that no record can be written in between. A close that
        // commits after this check still cannot pass: the database refuses
        // the import's deletions in its month.
        refuseWhileMonthsClosed(server_);

        jobsCleared = clearBrigadeJobs(server_);
        Copier copier(server_, source, progress, izdelTable);
        for (const legacy::TablePair& p : legacy::tablePairs())
            copied.append(copier.copy(p));
        copier.moveGenerators();
        tx.commit();
    } catch (const Refused& r) {
        return r.outcome();
    }
    tables_ = copied;
    brigadeJobsCleared_ = jobsCleared;
    return Outcome::ok();
}

} // namespace tabel
