#pragma once

#include <QSqlQuery>
#include <QString>
#include <vector>

// The reading side of the legacy import: the tables it copies, column by
// column, and the legacy database they are read from.

namespace tabel::legacy {

// How a source value arrives in its target column.
enum class Kind {
    Integer,   // a null arrives as 0
    Decimal,   // exact, as the source holds it; a null arrives as 0
    Text,      // a null arrives as empty text
    Date,      // a date value; a null stays null, since no date means no date
    Timestamp, // likewise with a time of day
};

struct Column {
    const char* name; // the same on both sides, matched ignoring case
    Kind kind;
    const char* type; // the target's type: the column's values go over as an array of it
};

// A target column the legacy tables do not have, written as the program
// writes it for a new row.
struct Fixed {
    const char* name;
    const char* value;
};

struct TablePair {
    const char* source;
    const char* target;
    bool onServer; // the source is read through the server connection
    bool copiesId; // ids are copied, the source read in their order
    std::vector<Column> columns;
    std::vector<Fixed> fixed;
};

inline const char* kIzdel = "accounts_dep.izdel";
inline const char* kGoods = "cmn_gds_and_srv.gds_and_srv";

// The tables in the order they are copied.
std::vector<TablePair> tablePairs();

// The legacy database, open for the length of one import.
class Source {
public:
    // Refused (as the import's outcome) when the data source cannot be opened.
    explicit Source(const QString& dsn);
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // A forward-only query in high precision; refused when it cannot be read.
    QSqlQuery query(const QString& sql) const;

private:
    QString dsn_;
    QString name_;
};

} // namespace tabel::legacy
