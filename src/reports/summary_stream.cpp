#include "summary_stream.h"

#include "db/sql.h"
#include "reports/report_statements.h"

#include <QAtomicInteger>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <optional>

namespace tabel::reports {

using reportengine::Decimal;
using reportengine::ReportData;
using reportengine::Value;

namespace {

// Workers per batch of the cursor. A batch is read, handed over and
// dropped before the next is needed, so the rows in hand are those of a few
// workers whatever the period.
constexpr int kBatchWorkers = 32;
// Batches per fetch: the first fetch brings one batch, the first page, at
// once; later fetches bring more to save round trips, up to this many.
constexpr int kMostBatchesPerFetch = 8;

QJsonArray arrayOf(const QString& text, const QString& statement) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        throw DbError(QStringLiteral("Строки отчета не прочитаны: %1 (позиция %2).")
                          .arg(error.errorString())
                          .arg(error.offset),
                      statement);
    return document.array();
}

// A value read as readSummaryReport reads it: text as it is, a number
// column's text as an exact number (nothing when it is none), null as
// nothing; a looked-up sum is zero when there is none.
Value valueOf(const QJsonValue& v, bool numeric, bool lookup) {
    if (v.isNull() || v.isUndefined())
        return lookup ? Value::number(Decimal()) : Value();
    const QString text = v.toString();
    if (lookup)
        return Value::fromVariant(text, true);
    if (!numeric)
        return Value::text(text);
    if (const auto number = Decimal::parse(text))
        return Value::number(*number);
    return Value();
}

QString cursorName() {
    static QAtomicInteger<quint64> next;
    return QStringLiteral("tabel_summary_%1").arg(++next);
}

} // namespace

struct SummaryRowStream::Impl {
    ReportData schema;
    // The product reports are short: read whole and handed over.
    ReportData all;
    int nextOfAll = 0;

    // The worker reports, through a cursor.
    QSqlDatabase db;
    std::optional<Transaction> tx;
    QString cursor;
    QString statement; // for the errors
    sql::WorkerStream stream;
    QList<bool> numeric;
    QHash<qint64, Value> names;
    QHash<qint64, Value> marks;
    QHash<qint64, Value> operations;
    int batchesPerFetch = 1;
    bool exhausted = false;
    // Fetched batches not yet taken: their workers and rows as JSON text.
    QList<std::pair<QString, QString>> fetched;
    // The batch being handed over.
    QJsonArray workers;
    QHash<QString, qsizetype> workerAt; // by w_id as text
    QJsonArray rows;
    qsizetype nextRow = 0;

    void fetch();
    bool nextBatch();
    Value fromDictionary(const QHash<qint64, Value>& dictionary, const QJsonValue& id) const {
        return dictionary.value(id.toString().toLongLong());
    }
};

void SummaryRowStream::Impl::fetch() {
    QSqlQuery q = exec(db, QStringLiteral("fetch %1 from %2").arg(batchesPerFetch).arg(cursor));
    int got = 0;
    while (q.next()) {
        fetched.append({q.value(1).toString(), q.value(2).toString()});
        ++got;
    }
    exhausted = got < batchesPerFetch;
    batchesPerFetch = std::min(batchesPerFetch * 2, kMostBatchesPerFetch);
}

bool SummaryRowStream::Impl::nextBatch() {
    while (fetched.isEmpty()) {
        if (exhausted)
            return false;
        fetch();
    }
    const auto [workerText, rowText] = fetched.takeFirst();
    workers = arrayOf(workerText, statement);
    rows = arrayOf(rowText, statement);
    workerAt.clear();
    for (qsizetype i = 0; i < workers.size(); ++i)
        workerAt.insert(workers[i].toArray().at(0).toString(), i);
    nextRow = 0;
    return true;
}

SummaryRowStream::SummaryRowStream(const QSqlDatabase& db, const SummaryRequest& request,
                                   const QLocale& locale)
    : d_(std::make_unique<Impl>()) {
    if (request.report != SummaryReport::Workers &&
        request.report != SummaryReport::WorkersDetail) {
        d_->all = readSummaryReportAtOnce(db, request, locale);
        d_->schema = d_->all.withoutRows();
        return;
    }
    const bool detailed = request.report == SummaryReport::WorkersDetail;
    const sql::ReportStatement whole =
        detailed ? sql::reportByWorkersDetailed() : sql::reportByWorkers();
    d_->stream = detailed ? sql::streamByWorkersDetailed(kBatchWorkers)
                          : sql::streamByWorkers(kBatchWorkers);
    d_->statement = d_->stream.sql;
    d_->db = db;

    QStringList fields = whole.columns;
    d_->numeric = whole.numeric;
    for (const sql::Lookup& lookup : whole.lookups) {
        fields << lookup.values;
        d_->numeric << QList<bool>(lookup.values.size(), true);
    }
    d_->schema = ReportData(detailed ? QStringLiteral("w_Report") : QStringLiteral("t_Report"));
    d_->schema.setFields(fields, d_->numeric);

    const QVariantMap period{{"d1", request.from}, {"d2", request.to}};
    QVariantMap params = period;
    params.insert("kind", int(request.kind));
    d_->tx.emplace(db);
    QSqlQuery totals = exec(db, sql::housekeepingTotals(), period);
    totals.next();
    d_->schema.setVariable("title", Value::text(summaryTitle(request, locale)));
    d_->schema.setVariable("f_sum7_all", Value::fromVariant(totals.value("f_sum7_all"), true));
    d_->schema.setVariable("f_sum8_all", Value::fromVariant(totals.value("f_sum8_all"), true));

    QSqlQuery dictionary = exec(db, sql::productsAndOperations());
    dictionary.next();
    const QJsonArray both = arrayOf(dictionary.value(0).toString(), sql::productsAndOperations());
    for (const QJsonValue& p : both.at(0).toArray()) {
        const QJsonArray a = p.toArray();
        const qint64 id = a.at(0).toString().toLongLong();
        d_->names.insert(id, valueOf(a.at(1), false, false));
        d_->marks.insert(id, valueOf(a.at(2), false, false));
    }
    for (const QJsonValue& o : both.at(1).toArray()) {
        const QJsonArray a = o.toArray();
        d_->operations.insert(a.at(0).toString().toLongLong(), valueOf(a.at(1), false, false));
    }

    d_->cursor = cursorName();
    exec(db, QStringLiteral("declare %1 no scroll cursor for %2").arg(d_->cursor, d_->stream.sql),
         params);
}

// Ending the guard ends the transaction (or our part of an enclosing one),
// and the cursor with it.
SummaryRowStream::~SummaryRowStream() = default;

const ReportData& SummaryRowStream::schema() const {
    return d_->schema;
}

bool SummaryRowStream::next(QList<Value>& row) {
    Impl& d = *d_;
    if (!d.tx) {
        if (d.nextOfAll >= d.all.rowCount())
            return false;
        row = d.all.row(d.nextOfAll++);
        return true;
    }
    while (d.nextRow >= d.rows.size())
        if (!d.nextBatch())
            return false;
    const QJsonArray r = d.rows.at(d.nextRow++).toArray();
    const auto worker = d.workerAt.constFind(r.at(0).toString());
    if (worker == d.workerAt.constEnd())
        throw DbError(QStringLiteral("Строки отчета не прочитаны: строка без рабочего."),
                      d.statement);
    const QJsonArray w = d.workers.at(worker.value()).toArray();
    row.resize(d.stream.columns.size());
    for (qsizetype i = 0; i < d.stream.columns.size(); ++i) {
        const sql::StreamColumn& c = d.stream.columns[i];
        switch (c.from) {
        case sql::StreamColumn::Worker:
            row[i] = valueOf(w.at(c.index), d.numeric[i], c.lookup);
            break;
        case sql::StreamColumn::Row:
            row[i] = valueOf(r.at(c.index), d.numeric[i], c.lookup);
            break;
        case sql::StreamColumn::Name:
            row[i] = d.fromDictionary(d.names, r.at(c.index));
            break;
        case sql::StreamColumn::Mark:
            row[i] = d.fromDictionary(d.marks, r.at(c.index));
            break;
        case sql::StreamColumn::Operation:
            row[i] = d.fromDictionary(d.operations, r.at(c.index));
            break;
        }
    }
    return true;
}

} // namespace tabel::reports
