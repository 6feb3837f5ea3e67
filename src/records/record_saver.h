#pragma once

#include "session/context.h"

#include <QDate>
#include <QString>

namespace tabel {

// What the production record dialog hands over on "Запись".
struct RecordInput {
    int mode = 1;     // 1 new record, 2 change
    int recordId = 0; // the record being changed (mode 2)
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
// transaction that serialises writers of the same worker and month.
class RecordSaver {
public:
    enum class Result { Saved, Invalid, Duplicate, Missing };

    explicit RecordSaver(AppContext& ctx) : ctx_(ctx) {}

    // `shift` is the journal's current shift at the moment of saving, `today`
    // the entry date. Refusals are shown through the messenger. Throws DbError.
    Result save(const RecordInput& in, int shift, const QDate& today);

private:
    bool validate(const RecordInput& in);
    AppContext& ctx_;
};

inline const char* kFillAllFields = "Все поля должны быть заполнены!";
inline const char* kDuplicateRecord = "Позиция с такими параметрами уже заведена!";
inline const char* kOperationGone =
    "Операция не найдена: она удалена с другого рабочего места. Выберите операцию заново.";
inline const char* kRecordGone = "Позиция не найдена: она удалена с другого рабочего места.";

} // namespace tabel
