#pragma once

#include "db/outcome.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <functional>

namespace tabel {

inline const char* kImportCaption = "Импорт";
// The ODBC data source of the earlier desktop database.
inline const char* kLegacySource = "Tabel";

inline const char* kImportSelfWipe =
    "Таблица smena на сервере — это сама таблица accounts_dep.smena: импорт сначала очистил бы "
    "её и уничтожил все записи о выработке. Импорт не выполнен, ничего не изменено.";
inline const char* kImportNoSmena =
    "На сервере не найдена таблица smena, из которой копируются записи о выработке. Импорт не "
    "выполнен, ничего не изменено.";
inline const char* kImportCancelled = "Импорт прерван. Ничего не изменено.";

// How far the import has come with one table.
struct ImportProgress {
    QString source; // the legacy table, as the source names it
    QString target; // the server table it is copied into
    int done = 0;   // rows copied so far
    int total = 0;  // rows the source holds
    bool finished = false;
};

// One table copied.
struct ImportedTable {
    QString source;
    QString target;
    int rows = 0;
};

// Copies the tables of the earlier desktop database into the server
// database, replacing what the server held: time sheets, products,
// nomenclature, operations, operation types and workers from the ODBC data
// source, then the production records from the table `smena` that the server
// connection reaches by that unqualified name.
//
// The legacy database keeps no brigade jobs: the server's jobs and their
// members are deleted with the records they were split into, and the import
// tells how many went (brigadeJobsNote).
//
// Everything happens in one transaction on the server, so a failure or a
// refusal anywhere leaves every table as it was. Rows with ids of 0 or below
// survive in the targets. Products go into the goods table under their ids
// when `accounts_dep.izdel` is a view over it; goods are then only added or
// updated, never deleted. Afterwards every id generator of a target stands
// past the highest id copied.
class LegacyImport {
public:
    // `server` is the connection the program works on; `sourceDsn` names the
    // ODBC data source of the legacy database.
    explicit LegacyImport(QSqlDatabase server,
                          QString sourceDsn = QString::fromUtf8(kLegacySource));

    // Called at the start of each table, after each batch of rows and once
    // with `finished` when the table is done. Answering false stops the
    // import, and nothing is changed.
    using Progress = std::function<bool(const ImportProgress&)>;

    // Runs the import. Refusals (the source cannot be read, a value does not
    // fit, `smena` is the target itself) come back as the outcome; server
    // errors are thrown as DbError. Either way nothing has changed.
    Outcome run(const Progress& progress = {});

    // The tables copied by the last run that was done.
    const QList<ImportedTable>& tables() const { return tables_; }
    // The brigade jobs the last run that was done deleted, and the line that
    // tells the user so.
    int brigadeJobsCleared() const { return brigadeJobsCleared_; }
    QString brigadeJobsNote() const;

private:
    QSqlDatabase server_;
    QString sourceDsn_;
    QList<ImportedTable> tables_;
    int brigadeJobsCleared_ = 0;
};

} // namespace tabel
