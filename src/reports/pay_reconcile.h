#pragma once

#include "reports/pay_statement.h"

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace tabel::reports {

// One disagreement between a worker's pay statement and what the office
// also pays from: the monthly sheets, the report by workers, the rates of
// average piecework.
struct PayDifference {
    int worker = 0;
    QString name; // as the statement shows it
    QString text; // what differs, with both figures
    // A difference within the report by workers' own rounding (it rounds
    // every product group before adding, half a kopeck each): worth a note,
    // not a fault.
    bool note = false;
    Decimal gap; // of a note: how far apart the two figures are
};

struct Reconciliation {
    int workers = 0; // statements compared
    QList<PayDifference> differences;
    int faults() const;
    int notes() const { return int(differences.size()) - faults(); }
    // The note with the widest gap (the first of equals); null without notes.
    const PayDifference* widestNote() const;
};

// Every worker of the month (`month` any day of it): the statement's totals
// against the piecework, housekeeping and average-piecework sheets (day and
// night work apart), its piecework against the report by workers of the
// month, and its average-piecework rates against their basis. Changes
// nothing. Throws DbError.
Reconciliation reconcileMonth(const QSqlDatabase& db, const QDate& month);

} // namespace tabel::reports
