// How the change history reads: captions of the columns, values as users
// know them, and the workbook of tabel-batch history.

#include "record_history.h"

#include "db/closed_months.h"
#include "db/format.h"

#include <QRegularExpression>
#include <utility>

namespace tabel {

namespace {

using Kind = HistoryColumn;

// The columns users know by a name, in the order the tables hold them.
struct Caption {
    const char* column;
    const char* caption;
    Kind kind = Kind::Plain;
};
struct TableCaptions {
    const char* table;
    std::initializer_list<Caption> columns;
};

const TableCaptions kCaptions[] = {
    {"smena",
     {{"data", "Дата", Kind::Date},
      {"smena", "Смена", Kind::Shift},
      {"w_id", "Работник", Kind::Worker},
      {"i_id", "Изделие", Kind::Product},
      {"o_id", "Операция", Kind::Operation},
      {"cena", "Цена"},
      {"kol_vo", "Количество"},
      {"brak", "Брак"},
      {"color", "Цвет", Kind::Colour},
      {"time", "Часы"},
      {"ok", "Принята", Kind::Accepted},
      {"vvod", "Заведена", Kind::Date},
      {"prize", "Премия"},
      // Other applications' links; a brigade share's job and member are
      // told apart from them when the history is read.
      {"id_doc", "Документ", Kind::Link},
      {"id_doc_item", "Строка документа", Kind::Link},
      {"f_gds_qty_use", "Израсходовано товара", Kind::Link},
      {"id_gds_use", "Товар расхода", Kind::Link},
      {"id_cons_use", "Расход", Kind::Link}}},
    {"fatigue",
     {{"id_o", "Вид работ", Kind::OperationType},
      {"id_p", "Работник", Kind::Worker},
      {"id_nom", "Группа", Kind::Group},
      {"d_date", "Дата", Kind::Date},
      {"i_mnth", "Месяц"},
      {"i_year", "Год"},
      {"i_smena", "Смена"},
      {"cnt", "Часы"},
      {"price", "Цена"},
      {"i_holiday", "Выходной", Kind::Flag},
      {"i_night", "Ночь", Kind::Flag}}},
    {"norm",
     {{"o_id", "Операция", Kind::Operation},
      {"norma", "Норма"},
      {"prize", "Премия"},
      {"price", "Цена"}}},
    {"oper",
     {{"vid", "Вид операции", Kind::OperationType},
      {"naimen", "Вид продукции", Kind::Kind},
      {"i_id", "Изделие", Kind::Product},
      {"cena_new", "Новая цена"},
      {"cena", "Цена"}}},
    {"person", {{"fio", "ФИО"}, {"s_staffpos_hl", "Подразделение"}}},
    {"closed_month", {{"year", "Год"}, {"month", "Месяц"}}},
    {"brigade_job",
     {{"data", "Дата", Kind::Date},
      {"smena", "Смена", Kind::Shift},
      {"i_id", "Изделие", Kind::Product},
      {"o_id", "Операция", Kind::Operation},
      {"color", "Цвет", Kind::Colour},
      {"kol_vo", "Количество"},
      {"brak", "Брак"},
      {"day_off", "Выходной", Kind::Flag},
      {"cena", "Цена"},
      {"vvod", "Заведен", Kind::Date}}},
    {"brigade_member",
     {{"job_id", "Наряд", Kind::Job},
      {"w_id", "Работник", Kind::Worker},
      {"hours", "Часы"},
      {"ktu", "КТУ"},
      {"position", "Место в списке"}}},
};

const TableCaptions* captionsOf(const QString& table) {
    for (const TableCaptions& t : kCaptions)
        if (table == QLatin1String(t.table))
            return &t;
    return nullptr;
}

const Caption* captionOf(const QString& table, const QString& column) {
    if (const TableCaptions* t = captionsOf(table))
        for (const Caption& c : t->columns)
            if (column == QLatin1String(c.column))
                return &c;
    return nullptr;
}

bool isZero(const HistoryValue& v) {
    static const QRegularExpression zero(QStringLiteral("^-?0*(\\.0*)?$"));
    return v.null || v.text.isEmpty() || zero.match(v.text).hasMatch();
}

// A link nobody set: empty or 0 on every side of the change.
bool unsetLink(const HistoryChange& c) {
    return (!c.before || isZero(*c.before)) && (!c.after || isZero(*c.after));
}

QString dateText(const QString& text) {
    // Dates and times as the program writes them everywhere else; a time
    // of midnight is a date written into a timestamp column.
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[T ](\\d{2}:\\d{2}:\\d{2})[^ ]*)?$"));
    const QRegularExpressionMatch m = iso.match(text);
    if (!m.hasMatch())
        return {};
    const QString day = m.captured(3) + '.' + m.captured(2) + '.' + m.captured(1);
    const QString time = m.captured(4);
    return time.isEmpty() || time == QLatin1String("00:00:00") ? day : day + ' ' + time;
}

} // namespace

const QStringList& historyTables() {
    static const QStringList tables = [] {
        QStringList t;
        for (const TableCaptions& c : kCaptions)
            t << QLatin1String(c.table);
        return t;
    }();
    return tables;
}

HistoryColumn historyColumnKind(const QString& table, const QString& column) {
    const Caption* c = captionOf(table, column);
    return c ? c->kind : Kind::Plain;
}

int historyColumnRank(const QString& table, const QString& column) {
    // Other applications' links keep their place after the table's own
    // columns, by name.
    if (historyColumnKind(table, column) == Kind::Link)
        return 1000;
    if (const TableCaptions* t = captionsOf(table)) {
        int rank = 0;
        for (const Caption& c : t->columns) {
            if (column == QLatin1String(c.column))
                return rank;
            ++rank;
        }
    }
    return 1000;
}

QString historyTimeText(const QDateTime& at) {
    return at.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
}

QString historyAuthor(const HistoryEntry& e) {
    QString who = e.appRole;
    if (!e.workstation.isEmpty())
        who += QStringLiteral(", ") + e.workstation;
    return who + QStringLiteral(" (") + e.dbUser + QLatin1Char(')');
}

QString historyAction(const QString& action) {
    if (action == QLatin1String("insert"))
        return QStringLiteral("Добавлена");
    if (action == QLatin1String("update"))
        return QStringLiteral("Изменена");
    if (action == QLatin1String("delete"))
        return QStringLiteral("Удалена");
    if (action == QLatin1String("close"))
        return QStringLiteral("Месяц закрыт");
    if (action == QLatin1String("reopen"))
        return QStringLiteral("Месяц открыт");
    if (action == QLatin1String("prune"))
        return QStringLiteral("История сокращена");
    return action;
}

QString historyColumnCaption(const QString& table, const QString& column) {
    const Caption* c = captionOf(table, column);
    return c ? QString::fromUtf8(c->caption) : column;
}

QString historyValueText(const QString& table, const QString& column, const HistoryValue& v,
                         const QLocale& locale) {
    if (v.null || v.text.isEmpty())
        return QStringLiteral("пусто");
    const QString number = v.number ? displayNumber(v.text, locale) : v.text;
    switch (historyColumnKind(table, column)) {
    case Kind::Worker:
    case Kind::Product:
    case Kind::Operation:
    case Kind::OperationType:
    case Kind::Group:
        // A row deleted since is still told by its key.
        return v.name.isEmpty() ? QStringLiteral("№ ") + v.text : v.name;
    case Kind::Job:
        return QStringLiteral("№ ") + v.text;
    case Kind::Flag:
        if (v.text == QLatin1String("true") || v.text == QLatin1String("1"))
            return QStringLiteral("да");
        if (v.text == QLatin1String("false") || v.text == QLatin1String("0"))
            return QStringLiteral("нет");
        return number;
    case Kind::Colour:
        if (v.text == QLatin1String("0"))
            return QStringLiteral("нет");
        if (v.text == QLatin1String("1"))
            return QStringLiteral("грунт");
        return v.number ? QStringLiteral("RAL ") + v.text : v.text;
    case Kind::Shift:
        return v.text == QLatin1String("4") ? QStringLiteral("переработка") : number;
    case Kind::Kind:
        return v.text == QLatin1String("0") ? QStringLiteral("Готовая продукция")
                                            : QStringLiteral("Заготовки");
    case Kind::Accepted:
        if (v.text == QLatin1String("no"))
            return QStringLiteral("нет");
        if (v.text == QLatin1String("ok"))
            return QStringLiteral("да");
        return v.text;
    case Kind::Date: {
        const QString date = dateText(v.text);
        return date.isEmpty() ? v.text : date;
    }
    case Kind::Link:
    case Kind::Plain:
        break;
    }
    if (v.number)
        return number;
    const QString date = dateText(v.text);
    return date.isEmpty() ? v.text : date;
}

QString historyChanges(const HistoryEntry& e, const QLocale& locale) {
    QStringList parts;
    if (e.action == QLatin1String("close") || e.action == QLatin1String("reopen")) {
        if (e.rowId)
            parts << QStringLiteral("Месяц ") + monthName(static_cast<int>(*e.rowId));
        if (!e.note.isEmpty())
            parts << (e.action == QLatin1String("close") ? QStringLiteral("Примечание: ")
                                                         : QStringLiteral("Причина: ")) +
                         e.note;
        return parts.join(QStringLiteral("; "));
    }
    if (e.action == QLatin1String("prune")) {
        static const std::pair<const char*, const char*> kPruned[] = {{"rows", "Удалено строк"},
                                                                      {"before", "Записанных до"},
                                                                      {"oldest", "Самая ранняя"},
                                                                      {"newest", "Самая поздняя"}};
        for (const auto& [key, caption] : kPruned)
            for (const HistoryChange& c : e.changes)
                if (c.column == QLatin1String(key) && c.before)
                    parts << QString::fromUtf8(caption) + QStringLiteral(": ") +
                                 historyValueText(e.table, c.column, *c.before, locale);
        return parts.join(QStringLiteral("; "));
    }
    if (e.brigadeJob)
        parts << QStringLiteral("Доля бригадного наряда № %1").arg(*e.brigadeJob);
    for (const HistoryChange& c : e.changes) {
        // The row's own key is the record the history is of.
        if (c.column == QLatin1String("id"))
            continue;
        if (historyColumnKind(e.table, c.column) == Kind::Link) {
            // The job and member of a share are said above; the links the
            // program never sets only when another application did.
            const bool share = e.brigadeJob && (c.column == QLatin1String("id_doc") ||
                                                c.column == QLatin1String("id_doc_item"));
            if (share || unsetLink(c))
                continue;
        }
        const auto text = [&](const HistoryValue& v) {
            return historyValueText(e.table, c.column, v, locale);
        };
        QString part = historyColumnCaption(e.table, c.column) + QStringLiteral(": ");
        if (c.before && c.after)
            part += text(*c.before) + QStringLiteral(" → ") + text(*c.after);
        else
            part += text(c.after ? *c.after : *c.before);
        parts << part;
    }
    if (!e.note.isEmpty())
        parts << QStringLiteral("Примечание: ") + e.note;
    return parts.join(QStringLiteral("; "));
}

HistorySheet::HistorySheet(SheetSink& sheet) : sheet_(sheet) {
    constexpr CellStyle heading{true, true, true};
    const char* headers[] = {"Когда",  "Пользователь", "Роль",     "Рабочее место", "Таблица",
                             "Запись", "Действие",     "Работник", "ФИО работника", "Изменения"};
    for (int c = 0; c < 10; ++c)
        sheet_.writeText(1, c + 1, QString::fromUtf8(headers[c]), heading);
}

void HistorySheet::add(const HistoryEntry& e) {
    constexpr CellStyle fittedText{true, false, true};
    constexpr CellStyle fitted{false, false, true};
    constexpr CellStyle plainText{true, false, false};
    const int row = row_++;
    auto text = [this, row](int column, const QString& t, CellStyle style) {
        if (!t.isEmpty())
            sheet_.writeText(row, column, t, style);
    };
    text(1, historyTimeText(e.changedAt), fittedText);
    text(2, e.dbUser, fittedText);
    text(3, e.appRole, fittedText);
    text(4, e.workstation, fittedText);
    text(5, e.table, fittedText);
    if (e.rowId)
        sheet_.writeNumber(row, 6, QString::number(*e.rowId), fitted);
    text(7, historyAction(e.action), fittedText);
    if (e.workerId)
        sheet_.writeNumber(row, 8, QString::number(*e.workerId), fitted);
    text(9, e.workerName, fittedText);
    // Long lists of values would make the column as wide as the longest.
    text(10, historyChanges(e), plainText);
}

} // namespace tabel
