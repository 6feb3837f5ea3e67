#include "summary_stream.h"

#include "db/json_text.h"
#include "db/sql.h"
#include "reports/report_statements.h"

#include <QAtomicInteger>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
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
// once; later fetches bring more to save round trips, up to this many, and
// no more than about this much text, so that a year's batches, whose
// workers have many more rows each, do not take more memory than a month's.
constexpr int kMostBatchesPerFetch = 8;
constexpr qsizetype kMostCharsPerFetch = 256 * 1024;

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

// A batch as the server writes it: a JSON array of arrays of `width`
// strings or nulls. Read in place: a month's batches hold some 45,000 rows,
// and a general JSON reader spends more time on them than the server does.
class Table {
public:
    // False when the text is anything else.
    bool read(QString text, int width) {
        text_ = std::move(text);
        width_ = width;
        cells_.clear();
        escaped_.clear();
        i_ = 0;
        blanks();
        if (!take(u'['))
            return false;
        blanks();
        if (take(u']'))
            return end();
        do {
            blanks();
            if (!take(u'['))
                return false;
            for (int c = 0; c < width_; ++c) {
                blanks();
                if (!cell() || (blanks(), !take(c + 1 < width_ ? u',' : u']')))
                    return false;
            }
            blanks();
        } while (take(u','));
        return take(u']') && end();
    }
    qsizetype rows() const { return width_ ? cells_.size() / width_ : 0; }
    bool isNull(qsizetype row, int column) const {
        return cells_[row * width_ + column].from == kNull;
    }
    QStringView text(qsizetype row, int column) const {
        const Cell& c = cells_[row * width_ + column];
        if (c.from >= 0)
            return QStringView(text_).mid(c.from, c.size);
        if (c.from == kNull)
            return {};
        return escaped_[-c.from - 2];
    }

private:
    static constexpr qsizetype kNull = -1;
    struct Cell {
        qsizetype from; // kNull, or -2 - the index of its unescaped text
        qsizetype size;
    };

    void blanks() {
        while (i_ < text_.size() && (text_[i_] == u' ' || text_[i_] == u'\n' ||
                                     text_[i_] == u'\r' || text_[i_] == u'\t'))
            ++i_;
    }
    bool take(char16_t c) {
        if (i_ < text_.size() && text_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool end() {
        blanks();
        return i_ == text_.size();
    }
    bool cell() {
        if (QStringView(text_).mid(i_, 4) == u"null") {
            i_ += 4;
            cells_.append({kNull, 0});
            return true;
        }
        if (!take(u'"'))
            return false;
        const qsizetype from = i_;
        while (i_ < text_.size() && text_[i_] != u'"' && text_[i_] != u'\\')
            ++i_;
        if (take(u'"')) {
            cells_.append({from, i_ - 1 - from});
            return true;
        }
        QString t = text_.mid(from, i_ - from);
        if (!readJsonStringRest(text_, i_, t))
            return false;
        cells_.append({-2 - escaped_.size(), 0});
        escaped_.append(t);
        return true;
    }

    QString text_;
    int width_ = 0;
    qsizetype i_ = 0;
    QList<Cell> cells_;
    QStringList escaped_;
};

// A batch's rows: values separated by ",", rows by ";", an empty value
// null; every value a number as the server writes it.
class NumberRows {
public:
    // False when a row has not `width` values.
    bool read(QString text, int width) {
        text_ = std::move(text);
        width_ = width;
        cells_.clear();
        const QStringView all(text_);
        if (all.isEmpty())
            return true;
        qsizetype from = 0;
        int column = 0;
        for (qsizetype i = 0; i <= all.size(); ++i) {
            const QChar c = i < all.size() ? all[i] : QChar(u';');
            if (c != u',' && c != u';')
                continue;
            cells_.append({from, i - from});
            from = i + 1;
            if (c == u',' && ++column == width_)
                return false;
            if (c == u';') {
                if (column + 1 != width_)
                    return false;
                column = 0;
            }
        }
        return true;
    }
    qsizetype rows() const { return width_ ? cells_.size() / width_ : 0; }
    bool isNull(qsizetype row, int column) const { return cells_[row * width_ + column].size == 0; }
    QStringView text(qsizetype row, int column) const {
        const Cell& c = cells_[row * width_ + column];
        return QStringView(text_).mid(c.from, c.size);
    }

private:
    struct Cell {
        qsizetype from;
        qsizetype size;
    };
    QString text_;
    int width_ = 0;
    QList<Cell> cells_;
};

// A value read as readSummaryReport reads it: text as it is, a number
// column's text as an exact number (nothing when it is none), null as
// nothing; a looked-up sum is zero when there is none, and otherwise read
// as a database value of a number column is (Value::fromVariant).
template <class Table>
Value valueOf(const Table& table, qsizetype row, int column, bool numeric, bool lookup) {
    if (table.isNull(row, column))
        return lookup ? Value::number(Decimal()) : Value();
    const QStringView text = table.text(row, column);
    if (lookup) {
        if (text.trimmed().isEmpty())
            return Value();
        if (const auto number = Decimal::parse(text))
            return Value::number(*number);
        return Value::text(text.toString());
    }
    if (!numeric)
        return Value::text(text.toString());
    if (const auto number = Decimal::parse(text))
        return Value::number(*number);
    return Value();
}

// The same for a value of the products and operations.
Value valueOf(const QJsonValue& v) {
    return v.isNull() ? Value() : Value::text(v.toString());
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
    // Product names and marks, operation types, by id.
    QHash<qint64, Value> productNames;
    QHash<qint64, Value> marks;
    QHash<qint64, Value> operations;
    int batchesPerFetch = 1;
    bool exhausted = false;
    // Fetched batches not yet taken: the texts of their workers and rows.
    QList<std::pair<QString, QString>> fetched;
    // The batch being handed over.
    Table workers;
    QHash<qint64, qsizetype> workerAt; // by w_id
    NumberRows rows;
    qsizetype nextRow = 0;
    std::optional<qint64> lastWorker;
    // The current worker's values, by field (read once per worker).
    QList<Value> workerValues;

    void fetch();
    bool nextBatch();
    Value fromDictionary(const QHash<qint64, Value>& dictionary, int column) const {
        return dictionary.value(rows.text(nextRow, column).toLongLong());
    }
};

void SummaryRowStream::Impl::fetch() {
    QSqlQuery q = exec(db, QStringLiteral("fetch %1 from %2").arg(batchesPerFetch).arg(cursor));
    int got = 0;
    qsizetype chars = 0;
    while (q.next()) {
        fetched.append({q.value(1).toString(), q.value(2).toString()});
        chars += fetched.last().first.size() + fetched.last().second.size();
        ++got;
    }
    exhausted = got < batchesPerFetch;
    int next = std::min(batchesPerFetch * 2, kMostBatchesPerFetch);
    if (got > 0 && chars > 0)
        next = std::clamp(int(kMostCharsPerFetch * got / chars), 1, next);
    batchesPerFetch = next;
}

bool SummaryRowStream::Impl::nextBatch() {
    while (fetched.isEmpty()) {
        if (exhausted)
            return false;
        fetch();
    }
    auto [workerText, rowText] = fetched.takeFirst();
    if (!workers.read(std::move(workerText), stream.workerWidth) ||
        !rows.read(std::move(rowText), stream.rowWidth))
        throw DbError(QStringLiteral("Строки отчета не прочитаны: текст не из строк."), statement);
    workerAt.clear();
    for (qsizetype i = 0; i < workers.rows(); ++i)
        workerAt.insert(workers.text(i, 0).toLongLong(), i);
    nextRow = 0;
    lastWorker.reset();
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
        d_->productNames.insert(id, valueOf(a.at(1)));
        d_->marks.insert(id, valueOf(a.at(2)));
    }
    for (const QJsonValue& o : both.at(1).toArray()) {
        const QJsonArray a = o.toArray();
        d_->operations.insert(a.at(0).toString().toLongLong(), valueOf(a.at(1)));
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
    while (d.nextRow >= d.rows.rows())
        if (!d.nextBatch())
            return false;
    const qint64 id = d.rows.text(d.nextRow, 0).toLongLong();
    if (id != d.lastWorker) {
        const auto at = d.workerAt.constFind(id);
        if (at == d.workerAt.constEnd())
            throw DbError(QStringLiteral("Строки отчета не прочитаны: строка без рабочего."),
                          d.statement);
        d.lastWorker = id;
        d.workerValues.resize(d.stream.columns.size());
        for (qsizetype i = 0; i < d.stream.columns.size(); ++i) {
            const sql::StreamColumn& c = d.stream.columns[i];
            if (c.from == sql::StreamColumn::Worker)
                d.workerValues[i] = valueOf(d.workers, at.value(), c.index, d.numeric[i], c.lookup);
        }
    }
    row.resize(d.stream.columns.size());
    for (qsizetype i = 0; i < d.stream.columns.size(); ++i) {
        const sql::StreamColumn& c = d.stream.columns[i];
        switch (c.from) {
        case sql::StreamColumn::Worker:
            row[i] = d.workerValues[i];
            break;
        case sql::StreamColumn::Row:
            row[i] = valueOf(d.rows, d.nextRow, c.index, d.numeric[i], c.lookup);
            break;
        case sql::StreamColumn::Name:
            row[i] = d.fromDictionary(d.productNames, c.index);
            break;
        case sql::StreamColumn::Mark:
            row[i] = d.fromDictionary(d.marks, c.index);
            break;
        case sql::StreamColumn::Operation:
            row[i] = d.fromDictionary(d.operations, c.index);
            break;
        }
    }
    ++d.nextRow;
    return true;
}

} // namespace tabel::reports
