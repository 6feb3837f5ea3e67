#pragma once

#include "dataset.h"
#include "messenger.h"

#include <QObject>
#include <QSqlDatabase>
#include <array>

namespace tabel {

// The shared connection, the datasets several windows read, the database
// decimal separator and the duplicate check.
class DataModule : public QObject {
    Q_OBJECT
public:
    DataModule(QSqlDatabase db, Messenger& messenger, QObject* parent = nullptr);

    QSqlDatabase db() const { return db_; }
    Messenger& messenger() const { return messenger_; }

    Dataset& workers() { return *workers_; }
    Dataset& izdel() { return *izdel_; }
    Dataset& vidOper() { return *vidOper_; }
    Dataset& oper() { return *oper_; }
    // The shift list of shift 1..4; any other number gives shift 1's list.
    Dataset& shiftList(int shift);
    // Closes the four shift lists and opens them again on `date` with one
    // statement, so the people registry is read once rather than four times.
    void openShiftLists(const QDate& date);

    // Runs a count statement whose one column is `cnt`; when the count is
    // above 0 shows `message` as an error and answers true.
    bool duplicateCheck(const QString& countSql, const QVariantMap& params, const QString& message);

    // The database decimal separator, refreshed by every version-gate run.
    QString decimalSeparator() const { return decimalSeparator_; }
    void setDecimalSeparator(const QString& s) { decimalSeparator_ = s; }
    // `text` with its first comma (or, without one, its first point) replaced
    // by the database decimal separator. A database that has none set gets
    // ".", so the separator is never simply dropped.
    QString toDatabaseDecimal(const QString& text) const;

private:
    QSqlDatabase db_;
    Messenger& messenger_;
    Dataset* workers_;
    Dataset* izdel_;
    Dataset* vidOper_;
    Dataset* oper_;
    std::array<Dataset*, 4> shifts_{};
    QString decimalSeparator_;
};

} // namespace tabel
