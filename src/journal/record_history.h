#pragma once

#include "export/sheet_layouts.h"

#include <QDate>
#include <QDateTime>
#include <QList>
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
    bool null = false; // an empty column (JSON null)
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
    // The table's own columns first, in the table's order, then the others
    // by name.
    QList<HistoryChange> changes;
    QString note;
};

// A row's history, oldest first. Throws DbError.
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
// never held in memory whole. Throws DbError.
void forEachHistoryEntry(const QSqlDatabase& db, const HistoryPeriod& period,
                         const std::function<void(const HistoryEntry&)>& each);

// The tables whose rows have a history.
const QStringList& historyTables();

// How a history row reads.
QString historyTimeText(const QDateTime& at); // "05.03.2024 14:07:31"
QString historyAuthor(const HistoryEntry& e); // "мастер, цех-2 (sys)"
QString historyAction(const QString& action); // "Добавлена", "Изменена" ...
QString historyColumnCaption(const QString& table, const QString& column);
// "Количество: 3 → 4; Принята: no → ok"; the values of an insert or a
// deletion; the month of a close with its note, of a reopening with its
// reason.
QString historyChanges(const HistoryEntry& e);

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
