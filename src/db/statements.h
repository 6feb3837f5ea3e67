#pragma once

#include "dataset.h"

#include <QList>
#include <QString>

namespace tabel::sql {

// The shift list of one shift (1..4) with parameters :data (the date) and
// :ok (marks to leave out), ordered by worker, product mark, operation type,
// kind, colour and record id. Shift 0 gives the four lists at once, ordered by
// shift and then as each list. Every row carries `row_version`, which
// changes whenever the record is written. Its numerics (`kol_vo`, `summa`)
// come as text, so the lists can take its double columns as doubles.
QString shiftList(int shift);

// The rows of shiftList(shift), in its order, as one JSON text of the
// shiftListColumns(), for readJsonRows.
QString shiftListJson(int shift);
// Every column of the shift list, in order, with the type the driver gives
// it.
const QList<JsonColumn>& shiftListColumns();

// One row per operation that has at least one norm, with its number of norms
// and its lowest norm price holding on :day (a date), as one JSON text of the
// operationColumns() for readJsonRows.
QString operations();

// The same rows for every operation, norms or not: an operation without norms
// has 0 norms and no price, so the directory can give it its first norm.
QString operationsDirectory();

// The rows of operations() (or of operationsDirectory()) one by one, in
// their order.
QString operationsByRow(bool directory);
// Every column of the operations lists, in order, with the type the driver
// gives it.
const QList<JsonColumn>& operationColumns();

// A subquery giving the price of the norm `normId` holding on `day` (SQL
// expressions), as accounts_dep.norm_price_on() gives it; no row when no
// price holds then. For a lateral join over many norms.
QString normPriceOn(const QString& normId, const QString& day);

// A row when the worker :w is in the directory. The directory is another
// application's view, which may read its key through a cast that no index
// serves, so the registry behind it is scanned: the first row found ends the
// scan, and a scan that stops early is not worth starting helpers for.
inline const char* kWorkerListed = "select 1 from accounts_dep.person where id = :w limit 1";

inline const char* kWorkers = "select * from accounts_dep.person order by fio";
inline const char* kIzdel = "select * from accounts_dep.izdel order by marka";
inline const char* kVidOper = "select * from accounts_dep.vid_oper order by vid";

} // namespace tabel::sql
