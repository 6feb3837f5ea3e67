#include "pay_reconcile.h"

#include "db/sql.h"
#include "reports/report_statements.h"
#include "reports/summary_reports.h"
#include "timesheets/months.h"
#include "timesheets/sheet_statements.h"

#include <QHash>
#include <QJsonArray>
#include <QSqlQuery>
#include <map>

namespace tabel::reports {

namespace {

using Sheet = sql::MonthlySheet;

// A sheet's pay per worker and day or night work, as one JSON text of
// [worker, night, pay] rows. Only the columns compared are handed over.
QString sheetPay(Sheet sheet) {
    const QString night =
        sheet == Sheet::Piecework ? QStringLiteral("0") : QStringLiteral("x.i_night");
    return QStringLiteral("select coalesce(json_agg(json_build_array(x.id::text, %1::text, "
                          "x.f_price::text))::text, '[]') from (%2) x")
        .arg(night, sql::monthlySheet(sheet));
}

struct SheetRow {
    bool present = false;
    Decimal pay;
};
// By worker, then night (0 or 1).
using SheetPay = QHash<int, std::map<int, SheetRow>>;

// A pay as the server writes it; null pays nothing. Anything else is no
// pay at all, and taking it for 0 would report a difference that is not.
Decimal readPay(const QJsonValue& v, const QString& sql) {
    if (v.isNull())
        return {};
    const std::optional<Decimal> d = Decimal::parse(v.toString());
    if (!d)
        throw DbError(QStringLiteral("Сверка не прочитана: не число «%1».").arg(v.toString()), sql);
    return *d;
}

SheetPay readSheet(const QByteArray& json, const QString& sql) {
    SheetPay out;
    for (const QJsonValue& v : jsonRows(json, 3, sql)) {
        const QJsonArray r = v.toArray();
        SheetRow& row = out[r[0].toString().toInt()][r[1].toString().toInt()];
        row.present = true;
        // A row without pay (hours but no records) pays nothing.
        row.pay = row.pay.plus(readPay(r[2], sql)).value_or(Decimal());
    }
    return out;
}

QString money(const Decimal& d) {
    return d.toString(2, QLocale::c());
}

Decimal distance(const Decimal& a, const Decimal& b) {
    const Decimal d = a.minus(b).value_or(Decimal());
    return d.compare(Decimal()) < 0 ? d.negated() : d;
}

class Checker {
public:
    explicit Checker(Reconciliation& out) : out_(out) {}

    void fault(const PayStatement& s, const QString& text) { add(s, text, false, {}); }
    void note(const PayStatement& s, const QString& text, const Decimal& gap) {
        add(s, text, true, gap);
    }

    // One sheet's pay against the statement's, per day or night row.
    void compare(const PayStatement& s, const std::map<int, Decimal>& mine, const SheetPay& sheet,
                 const QString& what, bool nights) {
        const auto rows = sheet.constFind(s.worker);
        for (const auto& [night, pay] : mine) {
            const QString label =
                nights ? what + (night ? QStringLiteral(", ноч.") : QStringLiteral(", дн.")) : what;
            const SheetRow* row = nullptr;
            if (rows != sheet.constEnd()) {
                const auto it = rows->find(night);
                if (it != rows->end())
                    row = &it->second;
            }
            if (!row) {
                if (!pay.isZero())
                    fault(s, QStringLiteral("%1: в листке %2, в табеле нет строки")
                                 .arg(label, money(pay)));
            } else if (!(row->pay == pay)) {
                fault(s, QStringLiteral("%1: в листке %2, в табеле %3")
                             .arg(label, money(pay), money(row->pay)));
            }
        }
    }

private:
    void add(const PayStatement& s, const QString& text, bool isNote, const Decimal& gap) {
        out_.differences << PayDifference{s.worker, s.shownName(), text, isNote, gap};
    }
    Reconciliation& out_;
};

struct ReportPay {
    Decimal pay;
    int groups = 0;
};

} // namespace

int Reconciliation::faults() const {
    int n = 0;
    for (const PayDifference& d : differences)
        n += d.note ? 0 : 1;
    return n;
}

const PayDifference* Reconciliation::widestNote() const {
    const PayDifference* widest = nullptr;
    for (const PayDifference& d : differences)
        if (d.note && (!widest || d.gap.compare(widest->gap) > 0))
            widest = &d;
    return widest;
}

Reconciliation reconcileMonth(const QSqlDatabase& db, const QDate& anyDay) {
    const QDate first = monthStart(anyDay);
    const PayStatementParts parts = payStatementParts(false);
    const sql::ReportStatement report = sql::reportByWorkers();
    // Everything in one statement, so that all of it is one snapshot: a
    // record saved meanwhile cannot pass for a difference.
    const QString statement =
        QStringLiteral("select (%1), (%2), (%3), (%4), (%5), (%6), (%7)")
            .arg(parts.workers, parts.pieces, parts.hours, sheetPay(Sheet::Piecework),
                 sheetPay(Sheet::Housekeeping), sheetPay(Sheet::AveragePiecework), report.sql);
    QSqlQuery q = exec(db, statement,
                       {{"d1", first},
                        {"d2", first.addMonths(1)},
                        {"d_date2", first},
                        {"d_date1", first.addMonths(1)},
                        {"i_month", first.month()},
                        {"i_year", first.year()},
                        {"kind", -1}});
    q.next();
    const auto text = [&q](int i) { return q.value(i).toString().toUtf8(); };
    const QList<PayStatement> statements =
        payStatementsFrom(first, text(0), text(1), text(2), statement);
    const SheetPay piecework = readSheet(text(3), statement);
    const SheetPay housekeeping = readSheet(text(4), statement);
    const SheetPay average = readSheet(text(5), statement);
    QHash<int, ReportPay> byWorker;
    const int summa = int(report.columns.indexOf("summa"));
    const int worker = int(report.columns.indexOf("w_id"));
    for (const QJsonValue& v : jsonRows(text(6), report.columns.size(), statement)) {
        const QJsonArray r = v.toArray();
        ReportPay& p = byWorker[r[worker].toString().toInt()];
        p.pay = p.pay.plus(readPay(r[summa], statement)).value_or(Decimal());
        ++p.groups;
    }

    Reconciliation out;
    out.workers = int(statements.size());
    Checker check(out);
    const Decimal halfKopeck = *Decimal::parse(u"0.005");
    for (const PayStatement& s : statements) {
        if (!s.pieces.isEmpty())
            check.compare(s, {{0, s.piecework()}}, piecework, QStringLiteral("сделка"), false);
        check.compare(s, s.sheetRows(7777), housekeeping, QStringLiteral("хоз. работы"), true);
        check.compare(s, s.sheetRows(7778), average, QStringLiteral("ср. сдельная"), true);

        if (!s.pieces.isEmpty()) {
            const ReportPay r = byWorker.value(s.worker);
            const Decimal gap = distance(s.piecework(), r.pay);
            const Decimal allowed =
                halfKopeck.times(Decimal::fromInteger(r.groups)).value_or(Decimal());
            const QString text =
                QStringLiteral("сделка: в листке %1, в отчете по рабочим %2 (групп изделий: %3)")
                    .arg(money(s.piecework()), money(r.pay))
                    .arg(r.groups);
            if (r.groups > 0 && !gap.isZero() && gap.compare(allowed) <= 0)
                check.note(s, text + QStringLiteral(", в пределах округления отчета"), gap);
            else if (!gap.isZero() || r.groups == 0)
                check.fault(s, text);
        }

        // A rate saved before the month's records changed no longer follows
        // from them: the statement would show a basis that does not give it.
        int stale = 0;
        const HourLine* example = nullptr;
        for (const HourLine& l : s.hours)
            if (l.type == 7778 && !(l.rate == s.basis.rate(l.dayOff, l.night))) {
                ++stale;
                example = example ? example : &l;
            }
        if (stale > 0)
            check.fault(s, QStringLiteral("ср. сдельная: ставка не по основе в записях: %1 "
                                          "(%2: %3, по основе %4); пересчитайте ср. сдельную")
                               .arg(stale)
                               .arg(example->date.toString(QStringLiteral("dd.MM.yyyy")),
                                    money(example->rate),
                                    money(s.basis.rate(example->dayOff, example->night))));
    }
    return out;
}

} // namespace tabel::reports
