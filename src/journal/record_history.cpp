#include "record_history.h"

#include "db/closed_months.h"
#include "db/sql.h"

#include <QMap>
#include <QRegularExpression>
#include <QSqlQuery>
#include <algorithm>
#include <utility>

namespace tabel {

namespace {

// The columns users know by a name, in the order the tables hold them.
struct Caption {
    const char* column;
    const char* caption;
};
struct TableCaptions {
    const char* table;
    std::initializer_list<Caption> columns;
};

const TableCaptions kCaptions[] = {
    {"smena",
     {{"data", "Дата"},
      {"smena", "Смена"},
      {"w_id", "Работник"},
      {"i_id", "Изделие"},
      {"o_id", "Операция"},
      {"cena", "Цена"},
      {"kol_vo", "Количество"},
      {"brak", "Брак"},
      {"color", "Цвет"},
      {"time", "Часы"},
      {"ok", "Принята"},
      {"vvod", "Заведена"},
      {"prize", "Премия"}}},
    {"fatigue",
     {{"id_o", "Вид работ"},
      {"id_p", "Работник"},
      {"id_nom", "Группа"},
      {"d_date", "Дата"},
      {"i_mnth", "Месяц"},
      {"i_year", "Год"},
      {"i_smena", "Смена"},
      {"cnt", "Часы"},
      {"price", "Цена"},
      {"i_holiday", "Выходной"},
      {"i_night", "Ночь"}}},
    {"norm", {{"o_id", "Операция"}, {"norma", "Норма"}, {"prize", "Премия"}, {"price", "Цена"}}},
    {"oper",
     {{"vid", "Вид операции"},
      {"naimen", "Вид продукции"},
      {"i_id", "Изделие"},
      {"cena_new", "Новая цена"},
      {"cena", "Цена"}}},
    {"person", {{"fio", "ФИО"}, {"s_staffpos_hl", "Подразделение"}}},
    {"closed_month", {{"year", "Год"}, {"month", "Месяц"}}},
    {"brigade_job",
     {{"data", "Дата"},
      {"smena", "Смена"},
      {"i_id", "Изделие"},
      {"o_id", "Операция"},
      {"color", "Цвет"},
      {"kol_vo", "Количество"},
      {"brak", "Брак"},
      {"day_off", "Выходной"},
      {"cena", "Цена"},
      {"vvod", "Заведен"}}},
    {"brigade_member",
     {{"job_id", "Наряд"},
      {"w_id", "Работник"},
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

// Where a column stands in its table's list; unknown columns after them.
int columnRank(const QString& table, const QString& column) {
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

// jsonb's text of a flat object: `{"a": 1, "b": "x\"y", "c": null}`.
class JsonReader {
public:
    explicit JsonReader(const QString& s) : s_(s) {}

    QList<std::pair<QString, HistoryValue>> members() {
        QList<std::pair<QString, HistoryValue>> out;
        blank();
        if (!take(u'{'))
            return out;
        for (blank(); i_ < s_.size() && s_[i_] != u'}'; blank()) {
            const QString key = string();
            blank();
            take(u':');
            blank();
            HistoryValue value;
            if (i_ < s_.size() && s_[i_] == u'"') {
                value.text = string();
            } else {
                value.text = raw().trimmed();
                value.null = value.text == QLatin1String("null");
                if (value.null)
                    value.text.clear();
            }
            out.append({key, value});
            blank();
            take(u',');
        }
        return out;
    }

private:
    void blank() {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
    }
    bool take(char16_t c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    QString string() {
        QString out;
        if (!take(u'"'))
            return out;
        while (i_ < s_.size() && s_[i_] != u'"') {
            QChar c = s_[i_++];
            if (c == u'\\' && i_ < s_.size()) {
                const QChar e = s_[i_++];
                switch (e.unicode()) {
                case u'b':
                    c = u'\b';
                    break;
                case u'f':
                    c = u'\f';
                    break;
                case u'n':
                    c = u'\n';
                    break;
                case u'r':
                    c = u'\r';
                    break;
                case u't':
                    c = u'\t';
                    break;
                case u'u':
                    // UTF-16 units, as QString holds them: a pair of escapes
                    // for a surrogate pair makes the right character.
                    c = QChar(char16_t(s_.mid(i_, 4).toUShort(nullptr, 16)));
                    i_ += 4;
                    break;
                default:
                    c = e;
                }
            }
            out += c;
        }
        take(u'"');
        return out;
    }
    // A number, true, false, null or a nested value: up to the comma or
    // brace that ends it.
    QString raw() {
        const qsizetype start = i_;
        int depth = 0;
        for (; i_ < s_.size(); ++i_) {
            const QChar c = s_[i_];
            if (c == u'"') {
                string();
                --i_;
            } else if (c == u'{' || c == u'[') {
                ++depth;
            } else if (c == u'}' || c == u']') {
                if (depth == 0)
                    break;
                --depth;
            } else if (c == u',' && depth == 0) {
                break;
            }
        }
        return s_.mid(start, i_ - start);
    }

    const QString& s_;
    qsizetype i_ = 0;
};

constexpr int kPage = 10000;

const char* kSelect =
    "select id, (extract(epoch from changed_at) * 1000)::bigint, db_user, app_role, "
    "workstation, table_name, row_id, action, worker_id, old_values::text, new_values::text, "
    "note";
const char* kFrom = " from accounts_dep.change_log ";

std::optional<qint64> optionalId(const QVariant& v) {
    if (v.isNull())
        return std::nullopt;
    return v.toLongLong();
}

HistoryEntry readEntry(const QSqlQuery& q) {
    HistoryEntry e;
    e.id = q.value(0).toLongLong();
    e.changedAt = QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong()).toLocalTime();
    e.dbUser = q.value(2).toString();
    e.appRole = q.value(3).toString();
    e.workstation = q.value(4).toString();
    e.table = q.value(5).toString();
    e.rowId = optionalId(q.value(6));
    e.action = q.value(7).toString();
    e.workerId = optionalId(q.value(8));
    e.note = q.value(11).toString();
    QMap<QString, HistoryChange> changes;
    for (const auto& [column, value] : jsonMembers(q.value(9).toString())) {
        changes[column].column = column;
        changes[column].before = value;
    }
    for (const auto& [column, value] : jsonMembers(q.value(10).toString())) {
        changes[column].column = column;
        changes[column].after = value;
    }
    e.changes = changes.values();
    std::stable_sort(e.changes.begin(), e.changes.end(),
                     [&e](const HistoryChange& a, const HistoryChange& b) {
                         return columnRank(e.table, a.column) < columnRank(e.table, b.column);
                     });
    return e;
}

qint64 localMidnight(const QDate& day) {
    return day.startOfDay().toSecsSinceEpoch();
}

QString valueText(const HistoryValue& v) {
    if (v.null || v.text.isEmpty())
        return QStringLiteral("пусто");
    // Dates and times as the program writes them everywhere else.
    static const QRegularExpression isoDate(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:T(\\d{2}:\\d{2}:\\d{2}))?$"));
    const QRegularExpressionMatch m = isoDate.match(v.text);
    if (m.hasMatch()) {
        const QString day = m.captured(3) + '.' + m.captured(2) + '.' + m.captured(1);
        return m.captured(4).isEmpty() ? day : day + ' ' + m.captured(4);
    }
    return v.text;
}

} // namespace

QList<std::pair<QString, HistoryValue>> jsonMembers(const QString& json) {
    return JsonReader(json).members();
}

const QStringList& historyTables() {
    static const QStringList tables = [] {
        QStringList t;
        for (const TableCaptions& c : kCaptions)
            t << QLatin1String(c.table);
        return t;
    }();
    return tables;
}

QList<HistoryEntry> recordHistory(const QSqlDatabase& db, const QString& table, qint64 rowId) {
    QSqlQuery q = exec(
        db, QLatin1String(kSelect) + kFrom + "where table_name = :t and row_id = :id order by id",
        {{"t", table}, {"id", rowId}});
    QList<HistoryEntry> out;
    while (q.next())
        out.append(readEntry(q));
    return out;
}

QList<HistoryEntry> periodHistory(const QSqlDatabase& db, const HistoryPeriod& period) {
    QList<HistoryEntry> out;
    forEachHistoryEntry(db, period, [&out](const HistoryEntry& e) { out.append(e); });
    return out;
}

void forEachHistoryEntry(const QSqlDatabase& db, const HistoryPeriod& period,
                         const std::function<void(const HistoryEntry&)>& each) {
    // Pages follow the index on changed_at: each starts where the last one
    // ended, told by its time as the server writes it (exact to the
    // microsecond) and its id.
    QString sql = QLatin1String(kSelect) + ", changed_at::text as page_at" + kFrom +
                  "where changed_at >= cast(:at as timestamptz) and (changed_at > cast(:at as "
                  "timestamptz) or id > :id) and changed_at < to_timestamp(:to)";
    QVariantMap params{{"id", qint64(0)}, {"to", localMidnight(period.to)}};
    if (!period.table.isEmpty()) {
        sql += " and table_name = :t";
        params["t"] = period.table;
    }
    if (period.worker) {
        sql += " and worker_id = :w";
        params["w"] = *period.worker;
    }
    sql += QStringLiteral(" order by changed_at, id limit %1").arg(kPage);
    params["at"] =
        scalar(db, "select to_timestamp(:from)::text", {{"from", localMidnight(period.from)}});
    for (;;) {
        QSqlQuery q = exec(db, sql, params);
        int read = 0;
        while (q.next()) {
            const HistoryEntry e = readEntry(q);
            each(e);
            params["at"] = q.value(12).toString();
            params["id"] = e.id;
            ++read;
        }
        if (read < kPage)
            return;
    }
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
    if (const TableCaptions* t = captionsOf(table))
        for (const Caption& c : t->columns)
            if (column == QLatin1String(c.column))
                return QString::fromUtf8(c.caption);
    return column;
}

QString historyChanges(const HistoryEntry& e) {
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
                                 valueText(*c.before);
        return parts.join(QStringLiteral("; "));
    }
    for (const HistoryChange& c : e.changes) {
        // The row's own key is the record the history is of.
        if (c.column == QLatin1String("id"))
            continue;
        QString part = historyColumnCaption(e.table, c.column) + QStringLiteral(": ");
        if (c.before && c.after)
            part += valueText(*c.before) + QStringLiteral(" → ") + valueText(*c.after);
        else
            part += valueText(c.after ? *c.after : *c.before);
        parts << part;
    }
    if (!e.note.isEmpty())
        parts << QStringLiteral("Примечание: ") + e.note;
    return parts.join(QStringLiteral("; "));
}

HistorySheet::HistorySheet(SheetSink& sheet) : sheet_(sheet) {
    constexpr CellStyle heading{true, true, true};
    const char* headers[] = {"Когда",  "Пользователь", "Роль",     "Рабочее место", "Таблица",
                             "Запись", "Действие",     "Работник", "Изменения"};
    for (int c = 0; c < 9; ++c)
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
    // Long lists of values would make the column as wide as the longest.
    text(9, historyChanges(e), plainText);
}

} // namespace tabel
