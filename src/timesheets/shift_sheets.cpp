#include "shift_sheets.h"

#include "timesheets/sheet_statements.h"

namespace tabel {

QVariantMap shiftSheetParams(const QDate& first) {
    return {{"mnth", first.month()},
            {"yea", first.year()},
            {"date1", first},
            {"date2", first.addMonths(1)}};
}

// One statement for the three: each sheet alone would read the month's
// records and the workers' names again.
ShiftSheetsReader::ShiftSheetsReader() : reader_(sql::shiftSheets()) {}

std::array<ResultRows, 3> ShiftSheetsReader::read(const QSqlDatabase& db, const QDate& first) {
    ResultRows all = reader_.read(db, shiftSheetParams(first));
    const qsizetype shiftField = all.fields.indexOf(QStringLiteral("smena"));
    std::array<ResultRows, 3> sheets;
    for (ResultRows& sheet : sheets)
        sheet.fields = all.fields;
    for (std::vector<QVariant>& row : all.rows)
        sheets.at(row.at(shiftField).toInt() - 1).rows.push_back(std::move(row));
    return sheets;
}

} // namespace tabel
