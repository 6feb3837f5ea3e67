#pragma once

#include "db/dataset.h"
#include "timesheets/sheet_reader.h"

#include <QDate>
#include <QVariantMap>
#include <array>

namespace tabel {

// The parameters of the shift sheets' statements (sql::shiftSheet,
// sql::shiftSheets) for the month of `first`, its first day.
QVariantMap shiftSheetParams(const QDate& first);

// Reads the three shift sheets of a month together.
class ShiftSheetsReader {
public:
    ShiftSheetsReader();
    // Element s - 1 holds what sql::shiftSheet(s) gives on its own for the
    // month of `first`: the same fields and values of the same types.
    // Throws DbError.
    std::array<ResultRows, 3> read(const QSqlDatabase& db, const QDate& first);

private:
    SheetReader reader_;
};

} // namespace tabel
