#pragma once

#include <QSqlDatabase>
#include <QString>
#include <optional>

namespace tabel::sql {

// Workers are named from the people registry, `cmn_contractor.person`,
// another application's table with no index but its key (and the one on
// codes a plant's administrator may add), hundreds of thousands of rows,
// and a free-text code that for a worker holds the
// worker's number, not always written the same way ("100443", "0100443",
// " 12 "). Every statement that finds a worker in it does so here.

// The number the registry code `code` (an SQL expression) reads as, written
// as `w_id::text` writes a worker's number: the code without the blanks
// around it and without its leading zeros, through the database's
// accounts_dep.code_number. A code that is not a number stays a text that no
// number is written as, so comparing texts finds the worker whatever the
// zeros and blanks, and a code such as "ДОГ-17/а" or "" never breaks a
// statement as a cast would. Statements search the registry by it through
// personsByCode.
QString codeNumber(const QString& code);

// Common table expressions (to be put in a `with` list) that end in `name`,
// with the columns `w_id` and `fio`: one row per worker of `workerIds` (a
// statement whose one column holds worker numbers, repeated or null as may
// be) that the registry knows. A worker's person is the one whose key is the
// worker's number; failing that, the one whose code reads as the number
// (codeNumber), of several the one whose code is written exactly as the
// number, then the one with the lowest key. The registry is searched by
// code only for workers it has no key for, so on a registry that keeps its
// keys and codes alike it is read by key alone. The other expressions'
// names begin with `name` and an underscore.
QString workerNames(const QString& name, const QString& workerIds);

// The index a plant's administrator may put on the registry so that workers
// are found by code without reading it all. The program never creates it:
// the registry is another application's table.
inline const char* kCodeIndexDdl = "CREATE INDEX person_code_number_idx ON cmn_contractor.person "
                                   "(accounts_dep.code_number(s_code));";

// The name of the registry's index on codeNumber of its code, whatever the
// administrator called it (accounts_dep.code_index); none when there is
// none the server can use. Throws DbError.
std::optional<QString> findCodeIndex(const QSqlDatabase& db);

// A statement of the registry's persons whose code reads as one of
// `numbers` (a statement whose one column holds numbers as w_id::text
// writes them), with the columns `columns` of `person`: through the index
// where the registry has one, otherwise by a pass over the registry that
// keeps the persons meeting `pass` (a condition that must find the same
// persons; it may leave most codes out at a lower cost first).
QString personsByCode(const QString& columns, const QString& numbers, const QString& pass);

} // namespace tabel::sql
