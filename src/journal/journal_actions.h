#pragma once

#include "session/context.h"

namespace tabel {

// The journal's commands on its current record as the user meets them: the
// role check, the question, the write through the rules, the message and the
// rereading of the list.
class JournalActions {
public:
    explicit JournalActions(AppContext& ctx) : ctx_(ctx) {}

    // Double-click: turns an accepted mark into "no" and any other into "ok",
    // unless the record was changed elsewhere since the list was read; the
    // list is read again either way and stays on the same record. Does
    // nothing for the foreman's access word or an empty list. Throws DbError.
    void toggleAcceptance();

    // "Удалить": after the user's Yes, deletes the current record and brings
    // its worker's day cell in line with the records left. Returns true when
    // a record was deleted. A record of a closed month is refused with that
    // month's text; a member's share of a brigade job deletes the job
    // (deleteBrigadeJob). Throws DbError.
    bool deleteCurrent();

    // The deletion of a member's record: the whole brigade job, after a
    // question that names it. Returns true when the job was deleted.
    bool deleteBrigadeJob(int jobId);

private:
    AppContext& ctx_;
};

} // namespace tabel
