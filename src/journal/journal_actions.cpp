#include "journal_actions.h"

#include "db/closed_month_checks.h"
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
    // A record of a closed month is refused before the question; the
    // deletion asks again under the month's lock.
    const QDate date = list.current("data").toDate();
    if (date.isValid() && monthClosed(ctx_.db(), monthKey(date))) {
        ctx_.messenger.error(kClosedMonthCaption, closedMonthText(monthKey(date)));
        return false;
    }
    if (!ctx_.messenger.ask(kDeleteCaption, "Удалить позицию из списка?")) {
        list.reopenKeepingRecord("id");
        return false;
    }
    try {
        deleteRecord(ctx_.db(), id);
    } catch (const MonthClosed& closed) {
        list.reopenKeepingRecord("id");
        ctx_.messenger.error(kClosedMonthCaption, closed.text());
        return false;
    }
    list.reopen();
    return true;
}

} // namespace tabel
