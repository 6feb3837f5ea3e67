#pragma once

#include "db/outcome.h"

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace tabel {

// One record of the earlier day, offered again: what it was made of comes
// from then, how much was made is the foreman's to say for the new day.
struct RepeatLine {
    int productId = 0;
    int operationId = 0;
    QString operationText; // as the record dialog shows it
    QString color;         // empty for an operation that is not painting
    QVariant basePrice;    // the operation's lowest norm price on the new day; null without one
    QString earlierQuantity;
    QString earlierHours;
    // What the foreman fills in; empty until then.
    QString quantity;
    QString hours;
    QString rejects = QStringLiteral("0");
};

struct RepeatSource {
    QDate date; // invalid when the worker has no earlier record in the shift
    QList<RepeatLine> lines;
};

// The worker's records of the last date before `date` on which they worked
// in `shift`, oldest record first, priced as of `date`. Throws DbError.
RepeatSource lastShiftOf(const QSqlDatabase& db, int worker, int shift, const QDate& date);

struct RepeatResult {
    Outcome outcome;
    int refusedLine = -1; // the line the refusal names
    QList<int> recordIds;
    bool saved() const { return outcome.done(); }
};

// Saves every line as a new record of `worker` on `date` in `shift`, each
// through the record saver's rules (the price of the day off and the shift,
// the duplicate check, the day cells), all in one transaction: one refused
// line leaves nothing written, and the outcome names it. Throws DbError.
RepeatResult saveRepeatedShift(const QSqlDatabase& db, int worker, const QString& fio,
                               const QList<RepeatLine>& lines, const QDate& date, int shift,
                               bool dayOff, const QDate& today);

inline const char* kNoLinesToRepeat = "Нет позиций для записи.";
inline const char* kNoNormPrice = "У операции нет норм: цену взять неоткуда.";

} // namespace tabel
