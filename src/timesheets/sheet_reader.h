#pragma once

#include "db/dataset.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace tabel {

// Reads the rows of a sheet's statement exactly as Dataset::open reads them
// (the same fields, values of the same types, the same nulls), but carried
// from the server as one JSON text. A sheet has some 40 columns and
// thousands of rows; the driver hands values over one at a time, and the
// value-by-value conversion cost more than the whole statement on the server.
//
// The statement's columns are learnt once, from a reading of no rows, the
// first time the reader reads; its rows must come in the order the
// statement gives (its last clause its ORDER BY), and its column names must
// be distinct. A statement with columns of other types than integers,
// numbers and texts is read as Dataset::open reads it.
class SheetReader {
public:
    explicit SheetReader(QString sql);

    QString sql() const { return sql_; }
    // Throws DbError.
    ResultRows read(const QSqlDatabase& db, const QVariantMap& params);

private:
    void describe(const QSqlDatabase& db, const QVariantMap& params);

    QString sql_;
    QString json_; // empty until described
    QList<JsonColumn> columns_;
    bool rowByRow_ = false; // a column of another type: read as Dataset::open does
};

} // namespace tabel
