#pragma once

#include "session/context.h"

namespace tabel {

// An acceptance mark counts as accepted when it reads "ok" or "да".
bool isAccepted(const QString& mark);

// Deletes a production record and brings its worker's day cell in line with
// the records left, in one transaction. False when the record was already
// gone. Throws DbError.
bool deleteRecord(const QSqlDatabase& db, int id);

// Acceptance and deletion of the current record of the current shift list.
class JournalCommands {
public:
    explicit JournalCommands(AppContext& ctx) : ctx_(ctx) {}

    // Double-click: turns an accepted mark into "no" and any other into "ok".
    // Does nothing for the foreman's access word or an empty list. Throws
    // DbError.
    void toggleAcceptance();

    // "Удалить": after the user's Yes, deletes the current record and brings
    // its worker's day cell in line with the records left, in one
    // transaction. Returns true when a record was deleted. Throws DbError.
    bool deleteCurrent();

private:
    AppContext& ctx_;
};

} // namespace tabel
