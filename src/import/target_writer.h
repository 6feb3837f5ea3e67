#pragma once

#include "legacy_source.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <vector>

// The writing side of the legacy import: the values read, checked and put
// into the form the server reads them in, and sent to the target tables a
// batch at a time.

namespace tabel::legacy {

// Rows per insert statement: a table of 100,000 rows goes over in twenty.
constexpr int kRowsPerStatement = 5000;

// One row of one table being copied, for the messages about its values.
struct RowPlace {
    const TablePair& pair;
    const QVariant& id;
    int number; // 1 for the first row read
};

// Appends the value `v`, read typed from the source, to the array literal of
// its column: numbers exactly as the source holds them, dates in ISO, which
// the server reads the same under any date style. A value that does not fit
// its column is refused (as the import's outcome), naming its row.
void appendValue(QString& array, const QVariant& v, const Column& c, const RowPlace& at);

// Rows go to the server a batch at a time: each column's values of the batch
// as one array, so a statement carries thousands of rows in a handful of
// bound values.
class Writer {
public:
    // `head` and `tail` go around the select of the rows' values, whose
    // columns are named as the pair's columns.
    Writer(QSqlDatabase db, const TablePair& pair, QString head, QString tail);

    // Adds the row that `value(c)` gives column by column.
    template <typename Value> void add(Value value, const RowPlace& at) {
        for (size_t c = 0; c < arrays_.size(); ++c) {
            if (rows_ > 0)
                arrays_[c] += QLatin1Char(',');
            appendValue(arrays_[c], value(c), pair_.columns[c], at);
        }
        if (++rows_ >= kRowsPerStatement)
            flush();
    }

    void flush();

    int pending() const { return rows_; }

private:
    void clear();

    QSqlDatabase db_;
    const TablePair& pair_;
    QString head_;
    QString tail_;
    QString select_;
    std::vector<QString> arrays_;
    int rows_ = 0;
};

// The pair's target columns as an insert names them: the copied ones, then
// the fixed ones.
QString columnList(const TablePair& p);

// Moves the generator of `table` past `highest`, unless it stands there
// already.
void moveIdsPast(const QSqlDatabase& db, const QString& table, qint64 highest);

} // namespace tabel::legacy
