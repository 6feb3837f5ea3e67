// prune-history: removes the change history older than a year.

#include "command.h"
#include "db/outcome.h"
#include "db/sql.h"

namespace tabel::batch {
namespace {

const char* kPruneCaption = "Сокращение истории";

int pruneHistory(Job& job) {
    const QDate before = job.options.date(QStringLiteral("before"));
    job.options.finish();
    Transaction tx(job.db);
    // The year is counted by the server's clock, as the database's own rule
    // counts it; the rule refuses a later date of any client too.
    const QDate limit =
        scalar(job.db, "select cast(accounts_dep.change_log_keep_until() as date)").toDate();
    if (before > limit)
        throw Refused(kPruneCaption,
                      QStringLiteral("История изменений хранится не меньше года: удалять можно "
                                     "только строки, записанные до %1.")
                          .arg(limit.toString(QStringLiteral("dd.MM.yyyy"))));
    const qlonglong pruned =
        scalar(job.db, "select accounts_dep.prune_change_log(:before)", {{"before", before}})
            .toLongLong();
    tx.commit();
    job.out << QStringLiteral("Удалено строк истории, записанных до %1: %2.\n")
                   .arg(before.toString(QStringLiteral("dd.MM.yyyy")))
                   .arg(pruned);
    return 0;
}

const Registration registration{
    {"prune-history", "--before ДАТА",
     "удалить историю изменений, записанную до ДАТЫ (не позже, чем год назад); "
     "удаление остается в истории",
     pruneHistory}};

} // namespace
} // namespace tabel::batch
