#pragma once

#include "db/dataset.h"

#include <QDate>
#include <QVariantMap>
#include <array>

namespace tabel {

// The parameters of the shift sheets' statements (sql::shiftSheet,
// sql::shiftSheets) for the month of `first`, its first day.
QVariantMap shiftSheetParams(const QDate& first);

// The three shift sheets of the month of `first`, read together: element
// s - 1 holds what sql::shiftSheet(s) gives on its own, the same fields and
// values of the same types. Throws DbError.
std::array<ResultRows, 3> readShiftSheets(const QSqlDatabase& db, const QDate& first);

} // namespace tabel
