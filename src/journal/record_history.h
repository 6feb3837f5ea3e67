#pragma once

#include "export/sheet_layouts.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <optional>

namespace tabel {

// The change history the database writes (accounts_dep.change_log): one row
// per inserted, changed or deleted row of the money-bearing tables, and one
// per close or reopening of a month. The program only reads it.

// A column's value before or after a change, as the database wrote it:
// numbers keep the digits they were stored with, never passing through a
// binary double.
struct HistoryValue {
    QString text;
    bool null = false;   // an empty column (JSON null)
    bool number = false; // written as a JSON number, not a string
    // What an id stands for now (a worker's name, a product's mark ...),
    // empty when the column holds no id or the row it pointed to is gone.
    QString name;
};

struct HistoryChange {
    QString column;
    std::optional<HistoryValue> before; // none for an insert
    std::optional<HistoryValue> after;  // none for a deletion
};

struct HistoryEntry {
    qint64 id = 0;
    QDateTime changedAt; // local time
    QString dbUser;
    QString appRole;
    QString workstation;
    QString table;
    std::optional<qint64> rowId;
    QString action; // insert, update, delete, close, reopen, prune
    std::optional<qint64> workerId;
    QString workerName; // as the registry names the worker now; empty when unknown
    // The brigade job a production record is a member's share of: its
    // id_doc names the job and its id_doc_item a member of that job.
    std::optional<qint64> brigadeJob;
    // The table's own columns first, in the table's order, then the others
    // by name.
    QList<HistoryChange> changes;
    QString note;
};

// A row's history, oldest first, with the names of what its ids stand for.
// Throws DbError.
QList<HistoryEntry> recordHistory(const QSqlDatabase& db, const QString& table, qint64 rowId);

// What a period's history is asked for: from the first day up to, not
// including, the second, in local time; optionally of one table or one
// worker.
struct HistoryPeriod {
    QDate from;
    QDate to;
    QString table;
    std::optional<qint64> worker;
};

// The period's history, oldest first. Throws DbError.
QList<HistoryEntry> periodHistory(const QSqlDatabase& db, const HistoryPeriod& period);
// The same, handed to `each` a page at a time, so that years of history are
// never held in memory whole; the names of a page are read with one
// statement. Throws DbError.
void forEachHistoryEntry(const QSqlDatabase& db, const HistoryPeriod& period,
                         const std::function<void(const HistoryEntry&)>& each);

// Fills in the names of what the entries' ids stand for now (workers,
// products, operations, operation types, nomenclature groups) and which
// production records are shares of a brigade job, with one statement.
// Throws DbError.
void nameHistoryEntries(const QSqlDatabase& db, QList<HistoryEntry>& entries);

// The tables whose rows have a history.
const QStringList& historyTables();

// What a table's column holds, for reading and showing it.
enum class HistoryColumn {
    Plain,
    Date,
    Worker,
    Product,
    Operation,
    OperationType,
    Group,
    Job,      // a brigade job's number
    Flag,     // 0/1 or false/true: "нет"/"да"
    Colour,   // 0 none, 1 primer, a RAL number
    Shift,    // 1..3, 4 overtime
    Kind,     // an operation's kind: 0 finished goods, otherwise blanks
    Accepted, // "no", "ok", "да"
    Link,     // a link to another application's document or goods: shown only when set
};
HistoryColumn historyColumnKind(const QString& table, const QString& column);
// Where a column stands in its table's order; columns not listed after them.
int historyColumnRank(const QString& table, const QString& column);

// How a history row reads.
QString historyTimeText(const QDateTime& at); // "05.03.2024 14:07:31"
QString historyAuthor(const HistoryEntry& e); // "мастер, цех-2 (sys)"
QString historyAction(const QString& action); // "Добавлена", "Изменена" ...
QString historyColumnCaption(const QString& table, const QString& column);
// A value as a user reads it: names for ids (a gone row's id as "№ 22"),
// numbers with the locale's decimal separator, dates as dd.MM.yyyy (with
// the time only when it is not midnight), "да"/"нет" for flags.
QString historyValueText(const QString& table, const QString& column, const HistoryValue& v,
                         const QLocale& locale = QLocale());
// "Количество: 3 → 4; Принята: нет → да"; the values of an insert or a
// deletion; the month of a close with its note, of a reopening with its
// reason. A brigade member's share says so first; links to other
// applications' documents that were never set are left out.
QString historyChanges(const HistoryEntry& e, const QLocale& locale = QLocale());

// The batch's workbook: the header when made, then a row per entry added.
class HistorySheet {
public:
    explicit HistorySheet(SheetSink& sheet);
    void add(const HistoryEntry& e);
    int rows() const { return row_ - 2; }

private:
    SheetSink& sheet_;
    int row_ = 2;
};

// The members of a flat JSON object as the database writes one (jsonb's
// text), values as written: strings unescaped, numbers with their digits,
// null as a null value, a nested value as its text. Exposed for tests.
QList<std::pair<QString, HistoryValue>> jsonMembers(const QString& json);

} // namespace tabel
