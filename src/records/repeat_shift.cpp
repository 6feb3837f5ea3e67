#include "repeat_shift.h"

#include "db/numbers.h"
#include "db/sql.h"
#include "db/statements.h"
#include "records/price_rules.h"
#include "records/record_saver.h"

#include <QSqlQuery>

namespace tabel {

RepeatSource lastShiftOf(const QSqlDatabase& db, int worker, int shift, const QDate& date) {
    RepeatSource source;
    const QVariant last = scalar(db,
                                 "select max(data) from accounts_dep.smena "
                                 "where w_id = :w and smena = :s and data < :d",
                                 {{"w", worker}, {"s", shift}, {"d", date}});
    if (!last.isValid() || last.isNull())
        return source;
    source.date = last.toDate();
    // The norm price is the one the operation picker gives for the new
    // day: the new records are paid as if entered one by one for it.
    QSqlQuery q = exec(
        db,
        QStringLiteral("select s.i_id, s.o_id, s.color, s.kol_vo::numeric::text, s.time, "
                       "izdel.marka, vid_oper.vid, oper.naimen, "
                       "(select min(price_on.price)::numeric from accounts_dep.norm norm "
                       "cross join lateral (%1) price_on where norm.o_id = s.o_id) as base "
                       "from accounts_dep.smena s "
                       "join accounts_dep.oper oper on oper.id = s.o_id "
                       "join accounts_dep.izdel izdel on izdel.id = s.i_id "
                       "join accounts_dep.vid_oper vid_oper on vid_oper.id = oper.vid "
                       "where s.w_id = :w and s.smena = :s and s.data = :d order by s.id")
            .arg(sql::normPriceOn(QStringLiteral("norm.id"), QStringLiteral("cast(:day as date)"))),
        {{"w", worker}, {"s", shift}, {"d", source.date}, {"day", date}});
    while (q.next()) {
        RepeatLine line;
        line.productId = q.value(0).toInt();
        line.operationId = q.value(1).toInt();
        line.operationText =
            operationText(q.value(5).toString(), q.value(6).toString(), q.value(7).toInt());
        if (isPainting(line.operationText) && !q.value(2).isNull())
            line.color = QString::number(q.value(2).toInt());
        line.earlierQuantity = plainDecimal(q.value(3).toString());
        line.earlierHours = QString::number(q.value(4).toInt());
        line.basePrice = q.value(8).isNull() ? QVariant() : QVariant(q.value(8).toDouble());
        source.lines.append(line);
    }
    return source;
}

RepeatResult saveRepeatedShift(const QSqlDatabase& db, int worker, const QString& fio,
                               const QList<RepeatLine>& lines, const QDate& date, int shift,
                               bool dayOff, const QDate& today) {
    RepeatResult result;
    if (lines.isEmpty()) {
        result.outcome = Outcome::refused(kErrorCaption, kNoLinesToRepeat);
        return result;
    }
    auto refuse = [&](int i, const QString& text, const QString& caption = kErrorCaption) {
        result.refusedLine = i;
        result.recordIds.clear();
        result.outcome = Outcome::refused(
            caption,
            QStringLiteral("Строка %1 (%2): %3").arg(i + 1).arg(lines[i].operationText, text));
        return result;
    };
    // Every line's savepoint sits inside this one transaction: a refusal
    // rolls back the lines saved before it too.
    Transaction tx(db);
    for (int i = 0; i < lines.size(); ++i) {
        const RepeatLine& line = lines[i];
        if (!line.basePrice.isValid())
            return refuse(i, QString::fromUtf8(kNoNormPrice));
        RecordInput in;
        in.workerId = worker;
        in.productId = line.productId;
        in.operationId = line.operationId;
        in.finalPrice = finalPrice(line.basePrice.toDouble(), dayOff, shift);
        in.fio = fio;
        in.operationText = line.operationText;
        in.quantity = line.quantity;
        in.rejects = line.rejects;
        in.color = line.color;
        in.hours = line.hours;
        in.date = date;
        const RecordSaver::Result saved = RecordSaver(db).save(in, shift, today);
        if (!saved.saved())
            return refuse(i, saved.outcome.text, saved.outcome.caption);
        result.recordIds.append(saved.recordId);
    }
    tx.commit();
    result.outcome = Outcome::ok();
    return result;
}

} // namespace tabel
