#pragma once

#include "db/dataset.h"
#include "db/outcome.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <optional>

namespace tabel {

inline constexpr int kHousekeepingWork = 7777;
inline constexpr int kAveragePiecework = 7778;

// Hours of one entry: one worker's work of one day, so never more than the
// day has. The box refuses more as it is typed, the save once again.
inline constexpr qint64 kMaxEntryHours = 24;

// What a worker's housekeeping pay of one month may add up to: the sheets
// carry it, and the reports a worker's housekeeping sums, as numeric(10,2).
inline const char* kMaxMonthPay = "99999999.99";

inline const char* kEntryFillAll = "Все поля должны быть заполнены!";
inline const char* kEntryNoHours = "Нужно завести количество!";
inline const char* kEntryWorkerGone =
    "Работник не найден: он удалён с другого рабочего места. Выберите работника заново.";
inline const char* kEntryGroupGone = "Номенклатурная группа не найдена: она удалена с другого "
                                     "рабочего места. Выберите группу заново.";
inline const char* kEntryGone = "Позиция не найдена: она удалена с другого рабочего места.";
inline const char* kEntryChanged = "Позиция изменена с другого рабочего места.";
inline const char* kEntryBadPrice = "Цена вида работы не подходит для расчёта.";

// The exact product of two decimal numbers written in plain notation ("12.5",
// "-3", "0.20"), without trailing zeros after the point; nothing when either
// is not such a number or the product has more digits than we carry.
std::optional<QString> decimalProduct(const QString& a, const QString& b);

// Price per hour of an entry: the norm price of the type of work, doubled on
// a day off, then x1.2 for night work; exact, in plain decimal text.
std::optional<QString> hourPrice(const QString& normPrice, bool dayOff, bool night);

// A rate or an amount as the user reads it: in the locale's format, with at
// least two decimals and never fewer than it has ("180" gives "180,00").
QString rateText(const QString& price);

// The same two numbers written alike ("180", "180.00"); false when either is
// not a plain decimal number.
bool sameDecimal(const QString& a, const QString& b);

// "Хоз. работы и среднесдельная работника за 03.2024 составят …": a
// worker's month of housekeeping pay that would be more than the sheets
// carry.
QString monthPayMessage(const QString& total, const QDate& month);

// An entry's price that no norm of its type of work gives any more; the
// change keeps it as it is.
QString keptPriceMessage(const QString& typeName, const QString& price);

// What the entry dialog hands over on "Записать".
struct EntryInput {
    int mode = 0;           // 0 add, 1 change
    int entryId = 0;        // the entry being changed (mode 1)
    QString version;        // the changed entry's row version as it was read (mode 1)
    bool keepPrice = false; // mode 1: the entry's stored price stays as it is
    int workerId = 0;
    qint64 groupId = 0;
    int type = kHousekeepingWork;
    QString normPrice; // the chosen type of work's norm price, as the database writes it
    QString hours;     // as typed
    bool dayOff = false;
    bool night = false;
    QDate date;    // the journal's date; a changed entry keeps its own
    int shift = 1; // the journal's shift number
};

// The housekeeping and average-piecework entries (`accounts_dep.fatigue`)
// without their windows: the journal's list, saving and deleting entries with
// their time-sheet cells, and the month's average-piecework recalculation.
class HousekeepingRules {
public:
    // The journal's list `fatigue`: every entry of the date `:d_date`.
    static std::unique_ptr<Dataset> makeList(QSqlDatabase db);
    // The dialog's list `type_work`: one row per norm of an operation of type
    // 7777 or 7778, with the norm's price.
    static std::unique_ptr<Dataset> makeTypes(QSqlDatabase db);

    explicit HousekeepingRules(QSqlDatabase db) : db_(std::move(db)) {}

    // Checks and writes one entry and brings the time-sheet cells it touches
    // (the former ones too, for a changed entry) into step, in one
    // transaction under the workers' month locks. A changed entry deleted or
    // written elsewhere since it was read (its row version) is refused, and
    // so is a month of the worker's housekeeping pay the sheets could not
    // carry, and an entry of a closed month (the month of its day or the
    // month it is booked in, before or after the change). `savedId`
    // receives the entry's id. Throws DbError.
    Outcome save(const EntryInput& in, int* savedId = nullptr);

    // Deletes an entry and brings its day cell into step, in one transaction.
    // An entry already deleted elsewhere counts as deleted; one of a closed
    // month is refused. Throws DbError.
    Outcome remove(int entryId);

    // Reprices every average-piecework entry of the month of `anyDay` with
    // its worker's average piecework rate of that month, by the entry's
    // day-off and night factors, in one transaction under the month's
    // exclusive lock. Answers the number of entries repriced. Throws
    // MonthClosed, and changes nothing, for a closed month; DbError.
    int recalculate(const QDate& anyDay);

private:
    QSqlDatabase db_;
};

} // namespace tabel
