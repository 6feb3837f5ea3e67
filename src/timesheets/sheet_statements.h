#pragma once

#include <QString>

namespace tabel::sql {

// The statements of the time sheets. Workers are named from the people
// registry of another application, one name per worker, as
// sql::workerNames finds them; a worker the registry does not know is left
// out. Every sum over records or entries is taken once per worker, not once
// per person and row. Sums are exact and of any size: what is stored, by
// whatever means, is shown, never refused by the statement.

// The 31 day columns written by `pattern`, in which every "%d" stands for the
// day: "sum(h.d%d) as d%d" gives "sum(h.d1) as d1, …, sum(h.d31) as d31".
QString dayColumns(const QString& pattern, const QString& separator = QStringLiteral(", "));

// `H_Tabel_1` … `H_Tabel_3`: the month's shift rows of `shift` (1..3) whose
// worker has production records in the month, with `fio`, `summ` (the row's
// hours), `average_price`, `cena_all` and every column of the row. Parameters
// :mnth, :yea and :date1, :date2 (the month's first day and the next month's).
QString shiftSheet(int shift);

// The rows of the three shifts' sheets in one statement, shift by shift:
// what shiftSheet gives for shifts 1, 2 and 3, one after the other, each
// shift's rows in the same order. The month's pay and names are then read
// once for the three. Same parameters.
QString shiftSheets();

// `H_Tabel`: per worker, every time-sheet row of the month added up, with
// `fio` and `sd1` … `sd31`. Parameters :mnth and :yea.
QString timesheetPrint();

// The four sheets of the monthly time-sheet window.
enum class MonthlySheet { Piecework, Housekeeping, AveragePiecework, General };

// `H_Tabel0`, `H_Tabel7777`, `H_Tabel7778`, `H_Tabel_all`: one row per worker
// (and day or night work for the housekeeping sheets) with `fio`, `id` (the
// worker's number), `s_night`, `i_time`, `f_price`, `average_price` and `d1`
// … `d31` as the sheet has them. Parameters :i_month, :i_year, :d_date2 (the
// month's first day) and :d_date1 (the next month's).
QString monthlySheet(MonthlySheet sheet);

// The month's totals `price` ("Сделка:"), `price7` ("Хоз. работы:"), `price8`
// ("Ср. сдел.:") and `all_price` ("Итого:") in one row, each a number with
// two decimals as text, null where nothing counts. Parameters :d_date2 and
// :d_date1 as above.
QString monthlyTotals();

// `q_year`: the years that have time-sheet rows.
inline const char* kTimesheetYears =
    "select distinct ht.year from accounts_dep.h_tabel ht order by year";

} // namespace tabel::sql
