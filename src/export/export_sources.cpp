#include "export_sources.h"

namespace tabel {

namespace sql {

QString priceList() {
    // The record id ends the order: a product mark need not be unique, and an
    // export should come out the same every time.
    return QStringLiteral(
        "select izdel.marka, vid_oper.vid, oper.naimen, (case oper.naimen when 0 then "
        "'Готовая продукция' else 'Заготовки' end) as nmn, oper.cena_new as cena, oper.id, "
        "oper.i_id, oper.vid as oper_vid "
        "from accounts_dep.oper oper "
        "join accounts_dep.izdel izdel on oper.i_id = izdel.id "
        "join accounts_dep.vid_oper vid_oper on oper.vid = vid_oper.id "
        "order by izdel.marka, vid_oper.vid, oper.naimen, oper.id");
}

QString summaryExport() {
    // The period's records are added up per product, operation and colour
    // before anything is joined: a year holds hundreds of thousands of
    // records, but only a few thousand such groups. Sums of sums are the
    // same exact numerics. The order continues past the designation so that
    // its rows do not come out differently from one export to the next.
    return QStringLiteral(
        "with s as (select smena.i_id, smena.o_id, smena.color, "
        "sum(smena.kol_vo - smena.brak) as q from accounts_dep.smena smena "
        "where smena.data < :data2 and smena.data >= :data1 "
        "group by smena.i_id, smena.o_id, smena.color) "
        "select sum(s.q)::numeric as kolvo, vid_oper.vid, izdel.nom, oper.naimen, s.color, "
        "izdel.massa * sum(s.q) as mass "
        "from s join accounts_dep.izdel izdel on izdel.id = s.i_id "
        "join accounts_dep.oper oper on oper.id = s.o_id "
        "join accounts_dep.vid_oper vid_oper on vid_oper.id = oper.vid "
        "group by izdel.nom, s.color, oper.naimen, vid_oper.vid, izdel.massa "
        "order by izdel.nom, vid_oper.vid, oper.naimen, s.color, izdel.massa");
}

} // namespace sql

void openPriceList(Dataset& rows) {
    rows.close();
    rows.setSql(sql::priceList());
    rows.open();
}

void openSummary(Dataset& rows, const QDate& from, const QDate& to, ProductKind kind) {
    rows.close();
    rows.setSql(sql::summaryExport());
    rows.setParam(QStringLiteral("data1"), from);
    rows.setParam(QStringLiteral("data2"), to);
    switch (kind) {
    case ProductKind::All:
        rows.clearFilter();
        break;
    case ProductKind::Finished:
    case ProductKind::Blanks: {
        const int naimen = kind == ProductKind::Finished ? 0 : 1;
        rows.setFilter([naimen](const Dataset& d, int row) {
            const QVariant v = d.sourceValue(row, QStringLiteral("naimen"));
            return !v.isNull() && v.toInt() == naimen;
        });
        break;
    }
    }
    rows.open();
}

void openShiftTimesheet(Dataset& rows, int month, int year) {
    rows.close();
    rows.setSql(sql::timesheetPrint());
    rows.setParam(QStringLiteral("mnth"), month);
    rows.setParam(QStringLiteral("yea"), year);
    rows.open();
}

void openMonthlySheet(Dataset& rows, sql::MonthlySheet kind, int month, int year) {
    const QDate first(year, month, 1);
    rows.close();
    rows.setSql(sql::monthlySheet(kind));
    rows.setParam(QStringLiteral("i_month"), month);
    rows.setParam(QStringLiteral("i_year"), year);
    rows.setParam(QStringLiteral("d_date2"), first);
    rows.setParam(QStringLiteral("d_date1"), first.addMonths(1));
    rows.open();
}

} // namespace tabel
