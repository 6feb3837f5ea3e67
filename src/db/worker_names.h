#pragma once

#include <QString>

namespace tabel::sql {

// Workers are named from the people registry, `cmn_contractor.person`,
// another application's table with no index but its key, hundreds of
// thousands of rows, and a free-text code that for a worker holds the
// worker's number, not always written the same way ("100443", "0100443",
// " 12 "). Every statement that finds a worker in it does so here.

// The number the registry code `code` (an SQL expression) reads as, written
// as `w_id::text` writes a worker's number: the code without the blanks
// around it and without its leading zeros. A code that is not a number
// stays a text that no number is written as, so comparing texts finds the
// worker whatever the zeros and blanks, and a code such as "ДОГ-17/а" or ""
// never breaks a statement as a cast would. Codes already written as a
// number are compared as they are, so the registry is read at the cost of
// a plain text comparison.
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

} // namespace tabel::sql
