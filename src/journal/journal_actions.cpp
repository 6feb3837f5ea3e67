#include "journal_actions.h"

#include "db/closed_month_checks.h"
#include "journal/journal_commands.h"
#include "records/brigade_job.h"
#include "session/roles.h"

namespace tabel {

void JournalActions::toggleAcceptance() {
    if (ctx_.state.role() == Role::Foreman)
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
    // A member's share goes with the whole job, after a question naming it.
    if (const auto job = brigadeJobOfRecord(ctx_.db(), id))
        return deleteBrigadeJob(*job);
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

bool JournalActions::deleteBrigadeJob(int jobId) {
    Dataset& list = ctx_.currentShiftList();
    BrigadeJobs jobs(ctx_.db());
    const auto job = jobs.load(jobId);
    if (!job) {
        list.reopenKeepingRecord("id");
        ctx_.messenger.error(kErrorCaption, kBrigadeGone);
        return false;
    }
    const QString question =
        QStringLiteral("Позиция входит в бригадный наряд № %1 (%2, кол-во %3, работников: %4). "
                       "Удалить весь наряд вместе с позициями всех его работников?")
            .arg(jobId)
            .arg(job->operationText)
            .arg(job->quantity)
            .arg(job->members.size());
    if (!ctx_.messenger.ask(kDeleteCaption, question)) {
        list.reopenKeepingRecord("id");
        return false;
    }
    const BrigadeJobs::Result result = jobs.remove(jobId, job->version);
    list.reopen();
    if (!result.saved()) {
        ctx_.messenger.error(result.outcome.caption, result.outcome.text);
        return false;
    }
    return true;
}

} // namespace tabel
