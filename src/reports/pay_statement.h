#pragma once

#include "reportengine/decimal.h"
#include "reportengine/document.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QLocale>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>

namespace tabel::reports {

// "Расчётный листок": one worker's pay of one month with its working, line
// by line, read from what is stored. Its totals are rounded the way the
// monthly sheets round them, so they equal the sheets to the kopeck.

using reportengine::Decimal;

// How a record's stored piece price relates to its operation's lowest norm
// price: the factor of the day off and of the shift (×2, ×1.2 in shift 3,
// ×1.5 in shift 4, or a product of them) when the stored price shows one
// that the record's shift allows; nothing when it shows none (the norm has
// changed since the record was saved) or there is no norm to compare with.
struct PriceFactor {
    bool dayOff = false;
    int shift = 1; // 3 or 4 when its factor applies, else 1
};
std::optional<PriceFactor> priceFactor(const Decimal& stored, const std::optional<Decimal>& base,
                                       int shift);

// How a brigade member's record got its quantity: the job's quantity and
// rejects split in proportion to hours × КТУ, the member's weight over the
// weights of all the job's members.
struct BrigadeShareBasis {
    int job = 0;
    Decimal quantity; // the job's
    Decimal rejects;  // the job's
    int hours = 0;    // the member's
    Decimal ktu;      // the member's
    Decimal weights;  // Σ hours × КТУ of the job's members
};

struct PieceLine {
    int recordId = 0;
    QDate date;
    int shift = 0;
    QString marka;
    QString vid;
    int color = 0;
    Decimal quantity;
    Decimal rejects;
    Decimal price;               // as stored
    std::optional<Decimal> base; // the operation's lowest norm price today
    std::optional<PriceFactor> factor;
    int hours = 0;
    std::optional<BrigadeShareBasis> brigade; // a member's share of a brigade job
    Decimal amount() const;                   // (quantity − rejects) × price, exact
};

struct HourLine {
    int entryId = 0;
    QDate date;
    int type = 7777; // 7777 housekeeping, 7778 average piecework
    bool night = false;
    bool dayOff = false;
    QString group; // the nomenclature group's caption
    int hours = 0;
    Decimal rate;
    Decimal amount() const; // hours × rate
};

// What an average-piecework rate of the month is computed from: the month's
// piecework pay and hours of the worker; an entry's rate is the pay times
// (1 + day off + 0.2 × night) over the hours, to the kopeck.
struct RateBasis {
    Decimal pay;
    int hours = 0;
    bool counted = true; // a worker no longer listed among the workers is paid 0
    // The rate the basis gives an entry; 0 without hours.
    Decimal rate(bool dayOff, bool night) const;
    // The month's pay per hour, as the piecework sheet shows it.
    Decimal hourly() const;
};

struct PayStatement {
    int worker = 0;
    QString fio; // empty when the people registry does not know the worker
    QString department;
    QDate month;             // its first day
    QList<PieceLine> pieces; // by date, shift, entry
    QList<HourLine> hours;   // housekeeping first, then average piecework; by date
    RateBasis basis;

    bool isEmpty() const { return pieces.isEmpty() && hours.isEmpty(); }
    // The worker's name, or "№ 123" for a worker the registry does not know.
    QString shownName() const;

    // The totals as the monthly sheets have them: the month's piecework pay
    // rounded once; housekeeping and average piecework rounded per day and
    // night work, as their sheets' rows are, and added up.
    Decimal piecework() const;
    Decimal housekeeping() const;
    Decimal average() const;
    Decimal total() const;
    // The pay of the sheet rows of `type` (7777 or 7778) the statement has
    // lines for, by night (0 or 1), each rounded as its row is.
    std::map<int, Decimal> sheetRows(int type) const;
};

// Rounded to the kopeck, half away from zero.
Decimal toKopecks(const Decimal& d);

// The statements of the month (`month` any day of it): of one worker (even
// without anything in the month), or of every worker with records or
// entries in the month, in name order (namesakes by number). Throws DbError.
QList<PayStatement> readPayStatements(const QSqlDatabase& db, const QDate& month,
                                      std::optional<int> worker = std::nullopt);

// The same read as parts of a larger statement (one snapshot with other
// reads): three SQL expressions, each one JSON text, over :d1 and :d2 (the
// month's first day and the next month's) and, for one worker, :w; and the
// statements made of their values. Throws DbError for a value that is not
// what its part gives.
struct PayStatementParts {
    QString workers;
    QString pieces;
    QString hours;
};
PayStatementParts payStatementParts(bool oneWorker);
QList<PayStatement> payStatementsFrom(const QDate& first, const QByteArray& workers,
                                      const QByteArray& pieces, const QByteArray& hours,
                                      const QString& sql);

// "Расчётный листок" laid out on A4 portrait pages; several statements
// each start on a page of their own.
reportengine::Document payStatementDocument(const QList<PayStatement>& statements,
                                            const QDate& printed = QDate::currentDate(),
                                            const QLocale& locale = QLocale());

// The statement as it prints, section by section ("Сдельная работа",
// "Хозяйственные работы", "Средняя сдельная"; a section without lines is
// left out): the headings and texts of the nine columns before the amount,
// and the amount; a brigade share's explanation is a line of its own
// without an amount. The web view shows the same texts as the paper.
struct StatementLine {
    QStringList cells;
    std::optional<Decimal> amount;
};
struct StatementSection {
    QString title;
    QStringList headings; // ten, the amount's last
    QList<StatementLine> lines;
    Decimal total;
    QString note;
};
QList<StatementSection> payStatementSections(const PayStatement& statement,
                                             const QLocale& locale = QLocale());

// "Декабрь 2026".
QString monthTitle(const QDate& month);

} // namespace tabel::reports
