#pragma once

#include "db/outcome.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <map>
#include <optional>
#include <vector>

namespace tabel {

// One production record of a month whose stored price is not what the norms
// holding on its date give with its own factors.
struct RepriceLine {
    qint64 recordId = 0;
    int workerId = 0;
    QString fio;
    QDate date;
    int shift = 1;
    int operationId = 0;
    QString operationText;
    int jobId = 0; // the brigade job the record is a share of; 0 for a single record
    bool dayOff = false;
    double oldPrice = 0;
    // Nothing when no factor explains the stored price: such a record is
    // listed and left alone.
    std::optional<double> newPrice;
    qint64 payDifference = 0; // kopecks, the worker's pay after less before
};

// What re-pricing a month would change, or changed.
struct RepricePlan {
    QDate month; // its first day
    std::vector<RepriceLine> lines;
    bool averageStale = false; // the month has average-piecework entries

    int changes() const;     // lines with a new price
    int unexplained() const; // lines left alone
    int jobs() const;        // brigade jobs among the changes
    // The pay difference of each worker with a change, in kopecks.
    std::map<int, qint64> workerDifferences() const;
};

inline const char* kRepriceCaption = "Пересчет цен";
// Said after re-pricing a month with average-piecework entries.
inline const char* kAverageStale =
    "Средние сдельные расценки месяца рассчитаны по прежним ценам и устарели: "
    "пересчитайте их («Расчитать ср.сд.»).";

// Re-pricing an open month after a rate change: every production record and
// brigade share of the month whose stored price differs from what the norms
// holding on its date give with its factors.
//
// A single record does not store whether its day was a day off: its factors
// are those its stored price shows against the operation's price that held
// on its date as known when it was entered (day off × 2, shift 3 × 1.2,
// shift 4 × 1.5). A brigade job keeps its day-off mark, so its shares need
// no such reading; a job and its members' records are re-priced together.
class Repricing {
public:
    explicit Repricing(QSqlDatabase db) : db_(std::move(db)) {}

    // The month's records to re-price, of one operation when given. Writes
    // nothing. Throws DbError.
    RepricePlan plan(const QDate& month, std::optional<int> operationId = {}) const;

    struct Applied {
        Outcome outcome;  // refused (nothing written), or done
        RepricePlan plan; // what was changed
    };

    // Re-prices the records plan() lists with a new price, in one
    // transaction under the month's exclusive lock, so no record of the
    // month is written meanwhile; every changed record and job gets its
    // history row. A closed month is refused, named. Throws DbError.
    Applied apply(const QDate& month, std::optional<int> operationId = {});

private:
    QSqlDatabase db_;
};

} // namespace tabel
