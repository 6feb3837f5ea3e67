#include "journal_commands.h"

#include "app/roles.h"
#include "db/sql.h"

namespace tabel {

bool isAccepted(const QString& mark) {
    return mark == QLatin1String("ok") || mark == QStringLiteral("да");
}

void JournalCommands::toggleAcceptance() {
    if (isForemanCode(ctx_.state.accessWord))
        return;
    Dataset& list = ctx_.currentShiftList();
    if (list.isEmpty())
        return;
    const QString mark =
        isAccepted(list.current("ok").toString()) ? QStringLiteral("no") : QStringLiteral("ok");
    exec(ctx_.db(), "update accounts_dep.smena set ok = :ok where id = :id",
         {{"ok", mark}, {"id", list.current("id").toInt()}});
    list.reopenKeepingPosition();
}

} // namespace tabel
