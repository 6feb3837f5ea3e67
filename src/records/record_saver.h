#pragma once

#include "db/outcome.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>

namespace tabel {

// What the production record dialog hands over on "Запись".
struct RecordInput {
    int mode = 1;     // 1 new record, 2 change
    int recordId = 0; // the record being changed (mode 2)
    QString version;  // the changed record's row version as it was read (mode 2)
    int workerId = 0;
    int productId = 0;
    int operationId = 0;
    double finalPrice = 0;
    QString fio;           // "ФИО"
    QString operationText; // "Операция"
    QString quantity;      // "Кол-во"
    QString rejects;       // "Брак"
    QString color;         // "Цвет"
    QString hours;         // "Время"
    QDate date;
};

// Checks, writes and books one production record: validation, the duplicate
// check, the insert or update, and the time-sheet day cells, all in one
// transaction (a savepoint inside a caller's) under the locks of the
// worker's month. Refusals come back as the outcome, after the rollback; a
// record that is, or would be, in a closed month is refused with that
// month's text.
class RecordSaver {
public:
    enum class Status { Saved, Invalid, Duplicate, Missing, Stale, Closed };
    struct Result {
        Status status = Status::Saved;
        Outcome outcome;  // what the user is told when not saved
        int recordId = 0; // the saved record
        bool saved() const { return status == Status::Saved; }
    };

    explicit RecordSaver(QSqlDatabase db) : db_(std::move(db)) {}

    // `shift` is the journal's current shift at the moment of saving, `today`
    // the entry date. Throws DbError.
    Result save(const RecordInput& in, int shift, const QDate& today);

private:
    QSqlDatabase db_;
};

inline const char* kFillAllFields = "Все поля должны быть заполнены!";
inline const char* kDuplicateRecord = "Позиция с такими параметрами уже заведена!";
inline const char* kOperationGone =
    "Операция не найдена: она удалена с другого рабочего места. Выберите операцию заново.";
inline const char* kWorkerGone =
    "Работник не найден: он удалён с другого рабочего места. Выберите работника заново.";
inline const char* kRecordGone = "Позиция не найдена: она удалена с другого рабочего места.";
inline const char* kRecordChanged = "Позиция изменена с другого рабочего места.";

// Limits of what the boxes may hold: what the columns can store exactly.
inline constexpr qint64 kMaxQuantity = 999999999;
inline constexpr qint64 kMaxHours = 999999999;
inline constexpr qint64 kMaxColor = 999999999;
inline constexpr qint64 kMaxRejects = 32767;

} // namespace tabel
