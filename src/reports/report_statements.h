#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace tabel::sql {

// A report's statement. It returns one row of one text column: the report's
// rows as a JSON array of arrays, the values in the order of `columns`,
// every value as text (numbers exactly as the server writes them) or null.
// The driver hands rows over one at a time, at some 15 µs a row, and a
// year's report by workers has tens of thousands of them; as one text they
// arrive in a fraction of that.
//
// Sums that depend on the worker alone (or the worker and a nomenclature
// group) are not repeated on every row: each `Lookup` reads them once per
// worker, and the reader puts them on the rows.
struct Lookup {
    // Ordinary rows: the key columns, then the value columns, all as text.
    QString sql;
    QStringList keys;   // columns of the report's rows the lookup's keys match
    QStringList values; // columns the lookup adds to the rows; 0 for a row
                        // whose key it does not have
};

struct ReportStatement {
    QString sql;
    QStringList columns;
    QList<bool> numeric; // per column: read as a number
    QList<Lookup> lookups;
};

// The statements of the summary reports. Each takes the period as :d1
// (inclusive) and :d2 (exclusive) and the product kind as :kind (-1 every
// kind, 0 finished goods, 1 blanks: every operation whose kind is not 0).
// The kind narrows the rows; the housekeeping sums of a row cover the whole
// period whatever the kind.
//
// The production records of the period are summed per worker, product name
// (or mark), operation type, kind and colour; the housekeeping entries per
// worker (and group), once each. Each worker of the period is named once,
// as sql::workerNames finds it in the people registry; a code that is not a
// number cannot break a report. Names are put in order once, as ranks, and
// the rows are then ordered by the ranks. Sums are exact and of any size.

// By workers: one row per worker, product name, operation type, kind and
// colour, ordered by worker and product name (then kind, type, colour):
// fio, kolvo, vid, summa, nom, naimen, color, w_id, id_nom (the product's
// nomenclature group); looked up: f_sum7, f_sum8 (the worker's pay for the
// product's nomenclature group), f_sum78 (all the worker's housekeeping
// pay).
ReportStatement reportByWorkers();

// By products: one row per product name, colour, kind, operation type and
// per-piece factor, ordered by name (then kind, type, colour): kolvo (good
// quantity), vid, nom, naimen, color, mass.
ReportStatement reportByProducts();

// Detailed by workers: one row per worker, product mark, operation type,
// kind and colour, ordered by worker, mark, type, kind (then colour): fio,
// marka, vid, naimen, sum_time, kolvo, brk, summa, color, s_prize, w_id;
// looked up: the worker's housekeeping pay and hours by type and day or
// night (f_sum7, f_sum7_n, f_sum8, f_sum8_n, f_sum7h, f_sum7h_n, f_sum8h,
// f_sum8h_n).
ReportStatement reportByWorkersDetailed();

// Detailed by products: one row per product name, mark, operation type,
// kind, colour and per-piece factor, ordered by name, mark, type, kind (then
// colour): marka, vid, naimen, nom, kolvo (rejects included), brk, summa
// (good quantity only), color, mass.
ReportStatement reportByProductsDetailed();

// The reports by workers are read worker by worker, in the order of the
// workers' names, so that the first rows arrive at once whatever the period
// and the rows in hand stay few: `sql` is a query for a cursor, one row per
// batch of workers (at most `batchSize`), batches in order, each with two
// texts:
//   workers: a JSON array of arrays of text or null: w_id, fio, then the
//            worker's looked-up sums (null: none), in the order of the
//            workers;
//   rows:    w_id, then the row's own values, in the order of the report;
//            every value is a number, so the values are written as the
//            server writes them, separated by "," (nothing for null), and
//            the rows by ";": a JSON text would cost the server and the
//            reader more than the numbers themselves.
// Product names, marks and operation types travel as the ids of their
// first product and operation (see productsAndOperations): a year's rows
// are many, the names few. Rows, values and order are those of
// reportByWorkers and reportByWorkersDetailed, and so are the housekeeping
// sums (null where those would find no entry).
struct StreamColumn {
    enum From {
        Worker,    // the batch's worker entry, at `index`
        Row,       // the row, at `index`
        Name,      // the product name of the product id at row[index]
        Mark,      // the product mark of the product id at row[index]
        Operation, // the operation type of the operation id at row[index]
    };
    From from;
    int index;
    bool lookup; // a looked-up sum: zero when null
};

struct WorkerStream {
    QString sql;
    int workerWidth = 0; // values per worker of a batch
    int rowWidth = 0;    // values per row of a batch
    // Per field of the report's statement (its columns, then its lookups'
    // values, as ReportStatement gives them): where the value comes from.
    QList<StreamColumn> columns;
};

WorkerStream streamByWorkers(int batchSize);
WorkerStream streamByWorkersDetailed(int batchSize);

// One row of one text: a JSON array of two arrays, every product as [id,
// nom, marka] and every operation as [id, vid], all as text or null.
QString productsAndOperations();

// An ordinary statement with one row: f_sum7_all and f_sum8_all, all
// workers' housekeeping (7777) and average-piecework (7778) pay of the
// period (:d1, :d2).
QString housekeepingTotals();

// The rows of `inner` as one JSON text of arrays of the `columns` as text,
// in the order given by `order`: rows travel through the driver as one value.
QString jsonRows(const QStringList& columns, const QString& inner, const QString& order);

} // namespace tabel::sql
