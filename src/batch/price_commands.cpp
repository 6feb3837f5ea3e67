// norm-price and reprice: a norm's price from a date, and re-pricing an open
// month after a rate change, for the plant's yearly rate review by script.

#include "command.h"
#include "db/closed_month_checks.h"
#include "db/closed_months.h"
#include "operations/norm_prices.h"
#include "operations/norm_store.h"
#include "records/brigade_split.h"
#include "records/repricing.h"

#include <limits>

namespace tabel::batch {
namespace {

// A price to four decimals at most, to the kopeck at least.
QString priceText(double price) {
    QString text = QString::number(price, 'f', 4);
    while (text.endsWith(QLatin1Char('0')) && text.indexOf(QLatin1Char('.')) < text.size() - 3)
        text.chop(1);
    return text;
}

QString signedKopecks(qint64 kopecks) {
    return (kopecks > 0 ? QStringLiteral("+") : QString()) + kopecksText(kopecks);
}

int normPrice(Job& job) {
    const int norm =
        job.options.integer(QStringLiteral("norm"), 1, std::numeric_limits<int>::max());
    const QDate from = job.options.date(QStringLiteral("from"));
    const QString typed = job.options.text(QStringLiteral("price"));
    job.options.finish();
    const auto price = NormStore::parse(NormStore::Field::Price, typed);
    if (!price || price->toString().isEmpty())
        throw BadArgument(QStringLiteral("Параметр --price: ") +
                          NormStore::refusal(NormStore::Field::Price, typed));
    const Outcome outcome = NormPrices(job.db).setFrom(norm, from, typed);
    if (!outcome.done())
        throw Refused(outcome); // the runner prints it and exits with 1
    job.out << QStringLiteral("Цена нормы № %1 с %2: %3.\n")
                   .arg(norm)
                   .arg(NormPrices::fromText(from), price->toString());
    return 0;
}

int reprice(Job& job) {
    const QDate month = job.options.month();
    std::optional<int> operation;
    if (job.options.has(QStringLiteral("operation")))
        operation =
            job.options.integer(QStringLiteral("operation"), 1, std::numeric_limits<int>::max());
    const bool apply = job.options.flag(QStringLiteral("apply"));
    job.options.finish();
    // A closed month is paid as it stands: not even a list of what would
    // change is worth reading there.
    if (monthClosed(job.db, monthKey(month)))
        throw Refused(kClosedMonthCaption, closedMonthText(monthKey(month)));

    RepricePlan plan;
    if (apply) {
        Repricing::Applied applied = Repricing(job.db).apply(month, operation);
        if (!applied.outcome.done())
            throw Refused(applied.outcome);
        plan = std::move(applied.plan);
    } else {
        plan = Repricing(job.db).plan(month, operation);
    }
    for (const RepriceLine& l : plan.lines) {
        job.out << l.fio << " (№ " << l.workerId << "), " << l.date.toString("dd.MM.yyyy")
                << ", смена " << l.shift << ", " << l.operationText;
        if (l.jobId != 0)
            job.out << ", наряд № " << l.jobId;
        job.out << ", запись № " << l.recordId << ": ";
        if (l.newPrice)
            job.out << "цена " << priceText(l.oldPrice) << " -> " << priceText(*l.newPrice)
                    << ", оплата " << signedKopecks(l.payDifference) << '\n';
        else
            job.out << "цена " << priceText(l.oldPrice)
                    << " не объясняется нормой на дату записи ни с какими коэффициентами; "
                       "оставлена как есть\n";
    }
    for (const auto& [worker, kopecks] : plan.workerDifferences())
        job.out << "Разница в оплате работника № " << worker << ": " << signedKopecks(kopecks)
                << '\n';
    job.out << "Месяц " << monthName(monthKey(month)) << ": записей с другой ценой по нормам — "
            << plan.changes() << " (из них долей нарядов: " << plan.jobs()
            << "), без объяснения цены — " << plan.unexplained() << ".\n";
    if (!apply) {
        job.out << "Ничего не изменено; пересчитать: --apply.\n";
        return 0;
    }
    job.out << "Пересчитано записей: " << plan.changes() << ".\n";
    if (plan.averageStale && plan.changes() > 0)
        job.out << kAverageStale << '\n';
    return 0;
}

const Registration normPriceCommand{
    {"norm-price", "--norm ID --from ДАТА --price ЦЕНА",
     "установить цену нормы с даты (цена той же даты заменяется); код 1, если отказано "
     "(закрытый месяц, нет нормы), 2 при неверном параметре; ничего не пишется ни в том, ни в "
     "другом случае",
     normPrice}};
const Registration repriceCommand{
    {"reprice", "--month M --year Y [--operation ID] [--apply]",
     "перечислить записи и доли нарядов месяца, цена которых расходится с ценой норм на их "
     "дату, с разницей в оплате; с --apply пересчитать их одной транзакцией; закрытый месяц — "
     "код 1",
     reprice}};

} // namespace
} // namespace tabel::batch
