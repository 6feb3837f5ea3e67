#include "journal_columns.h"

#include "journal/journal_commands.h"

namespace tabel {

QList<GridColumn> journalColumns() {
    const auto centre = Qt::Alignment(Qt::AlignCenter);
    const auto right = Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter);
    GridColumn ok{"ok", "OK", 37, centre};
    ok.bold = true;
    ok.foreground = [](const QVariant& v) {
        return isAccepted(v.toString()) ? QColor(0, 128, 0) : QColor(255, 0, 0);
    };
    return {
        {"fio", "Фамилия И.О.", 250},
        {"marka", "Марка изделия", 260},
        {"vid", "Операция", 155},
        {"nmn", "Вид", 157},
        {"color", "Цвет", 64, centre, true},
        {"time", "Часы", 64, right, true},
        {"kol_vo", "Кол-во", 57, right, true},
        {"brak", "Брак", 49, right, true},
        {"summa", "Итого (р.)", 78, right, true, 2},
        {"prize", "Премия (%)", -1, right, true, -1, true},
        ok,
        {"vvod", "Заведен", 72, centre},
    };
}

} // namespace tabel
