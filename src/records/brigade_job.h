#pragma once

#include "db/outcome.h"
#include "records/brigade_split.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <optional>
#include <vector>

namespace tabel {

// A brigade job ("Бригадный наряд"): one operation on one product done by
// several workers together on one date and shift. Its quantity and rejects
// are split among the members (brigade_split.h) and each member's share is a
// production record of its own, with the member's hours, which points back
// at the job through id_doc (the job) and id_doc_item (the member). The job
// and its members are kept in accounts_dep.brigade_job and brigade_member.

struct BrigadeMemberInput {
    int workerId = 0;
    QString fio;
    QString hours;        // "Часы"
    QString ktu = "1.00"; // "КТУ"
};

// What the job's dialog hands over on "Записать".
struct BrigadeJobInput {
    int jobId = 0;   // 0 for a new job
    QString version; // the job's row version as it was read (a change)
    QDate date;      // a new job's; a change keeps the job's own date and shift
    int shift = 1;
    bool dayOff = false;
    int productId = 0;
    int operationId = 0;
    double finalPrice = 0; // the price rule's result at the operation's pick
    QString operationText; // "Операция"
    QString quantity;      // the brigade's "Кол-во"
    QString rejects;       // "Брак"
    QString color;         // "Цвет"
    std::vector<BrigadeMemberInput> members;
};

// The input read as numbers and split: what the dialog shows before saving
// and what a save writes.
struct BrigadePlan {
    qint64 total = 0; // thousandths
    qint64 rejects = 0;
    qint64 color = 0;
    qint64 price = 0; // ten-thousandths
    std::vector<qint64> hours;
    std::vector<int> ktu; // hundredths
    BrigadeSplit split;
    std::vector<qint64> pay; // kopecks, per member
    qint64 totalPay = 0;     // the members' pays added up
};

// The checks that need no database, in the order the user meets them, then
// the split. Refused with the message the user is to see.
Outcome planBrigadeJob(const BrigadeJobInput& in, BrigadePlan& plan);

// A job as stored, with its members in their order.
struct BrigadeJob {
    struct Member {
        int id = 0;
        int workerId = 0;
        QString fio;
        int hours = 0;
        QString ktu; // "1.00"
    };
    int id = 0;
    QString version;
    QDate date;
    int shift = 1;
    bool dayOff = false;
    int productId = 0;
    int operationId = 0;
    QString operationText;
    QString quantity; // as the database writes it
    int rejects = 0;
    int color = 0;
    double price = 0;
    std::vector<Member> members;
};

class BrigadeJobs {
public:
    enum class Status { Saved, Invalid, Duplicate, Missing, Stale, Closed };
    struct Result {
        Status status = Status::Saved;
        Outcome outcome;
        int jobId = 0;
        bool saved() const { return status == Status::Saved; }
    };

    explicit BrigadeJobs(QSqlDatabase db) : db_(std::move(db)) {}

    // Writes a new job, or rewrites a changed one and its members' records,
    // in one transaction (a savepoint inside a caller's) under the locks of
    // every member's month, with the duplicate check per member and the day
    // cells kept as a single record's save keeps them. A change refuses a job
    // written elsewhere since `version` was read. Refusals come back after
    // the rollback, nothing written. `today` is the records' entry date.
    // Throws DbError.
    Result save(const BrigadeJobInput& in, const QDate& today);

    // Deletes the job, its members and their records, and brings the day
    // cells in line, in one transaction. An empty `version` skips the check
    // that the job is as it was read. Throws DbError.
    Result remove(int jobId, const QString& version = {});

    // The job as stored, or nothing when it is gone. Throws DbError.
    std::optional<BrigadeJob> load(int jobId);

private:
    QSqlDatabase db_;
};

// The job a production record is a member's share of, or nothing for a
// single record. Throws DbError.
std::optional<int> brigadeJobOfRecord(const QSqlDatabase& db, int recordId);

// What a member's record, changed or deleted alone, is refused with.
QString brigadeRecordText(int jobId);

inline const char* kBrigadeCaption = "Бригадный наряд";
inline const char* kBrigadeGone = "Наряд не найден: он удалён с другого рабочего места.";
inline const char* kBrigadeChanged = "Наряд изменён с другого рабочего места.";

} // namespace tabel
