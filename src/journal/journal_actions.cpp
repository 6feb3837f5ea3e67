#include "journal_actions.h"

#include "journal/journal_commands.h"
#include "session/roles.h"

namespace tabel {

void JournalActions::toggleAcceptance() {
    if (isForemanCode(ctx_.state.accessWord))
        return;
    Dataset& list = ctx_.currentShiftList();
    if (list.isEmpty())
        return;
    const Outcome outcome = tabel::toggleAcceptance(ctx_.db(), list.current("id").toInt(),
                                                    list.current("row_version").toString(),
                                                    list.current("ok").toString());
    list.reopenKeepingRecord("id");
    if (!outcome.done())
        ctx_.messenger.error(outcome.caption, outcome.text);
}

bool JournalActions::deleteCurrent() {
    Dataset& list = ctx_.currentShiftList();
    if (list.isEmpty() || list.current("id").toString().isEmpty())
        return false;
    const int id = list.current("id").toInt();
    if (!ctx_.messenger.ask(kDeleteCaption, "Удалить позицию из списка?")) {
        list.reopenKeepingRecord("id");
        return false;
    }
    deleteRecord(ctx_.db(), id);
    list.reopen();
    return true;
}

} // namespace tabel
