#include "legacy_import.h"

#include "db/closed_month_checks.h"
#include "db/sql.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tabel {

namespace {

// The legacy database is protected by this built-in password.
const char* kSourcePassword = "dolpavute";

// Rows per insert statement: a table of 100,000 rows goes over in twenty.
constexpr int kRowsPerStatement = 5000;

// How a source value arrives in its target column.
enum class Kind {
    Integer,   // a null arrives as 0
    Decimal,   // exact, as the source holds it; a null arrives as 0
    Text,      // a null arrives as empty text
    Date,      // a date value; a null stays null, since no date means no date
    Timestamp, // likewise with a time of day
};

struct Column {
    const char* name; // the same on both sides, matched ignoring case
    Kind kind;
    const char* type; // the target's type: the column's values go over as an array of it
};

// A target column the legacy tables do not have, written as the program
// writes it for a new row.
struct Fixed {
    const char* name;
    const char* value;
};

struct TablePair {
    const char* source;
    const char* target;
    bool onServer; // the source is read through the server connection
    bool copiesId; // ids are copied, the source read in their order
    std::vector<Column> columns;
    std::vector<Fixed> fixed;
};

const char* kIzdel = "accounts_dep.izdel";
const char* kGoods = "cmn_gds_and_srv.gds_and_srv";

std::vector<TablePair> tablePairs() {
    std::vector<Column> timesheet{{"id", Kind::Integer, "integer"},
                                  {"w_id", Kind::Integer, "integer"},
                                  {"month", Kind::Integer, "integer"},
                                  {"year", Kind::Integer, "integer"},
                                  {"smena", Kind::Integer, "integer"}};
    static const char* days[31] = {"d1",  "d2",  "d3",  "d4",  "d5",  "d6",  "d7",  "d8",
                                   "d9",  "d10", "d11", "d12", "d13", "d14", "d15", "d16",
                                   "d17", "d18", "d19", "d20", "d21", "d22", "d23", "d24",
                                   "d25", "d26", "d27", "d28", "d29", "d30", "d31"};
    for (const char* d : days)
        timesheet.push_back({d, Kind::Integer, "integer"});
    return {
        {"H_TABEL", "accounts_dep.h_tabel", false, true, timesheet, {}},
        {"IZDEL",
         kIzdel,
         false,
         true,
         {{"id", Kind::Integer, "integer"},
          {"marka", Kind::Text, "text"},
          {"nom", Kind::Text, "text"},
          {"massa", Kind::Decimal, "numeric"}},
         {}},
        {"NOMENKL",
         "accounts_dep.nomenkl",
         false,
         false,
         {{"marka", Kind::Text, "text"}, {"nom", Kind::Text, "text"}},
         {}},
        {"OPER",
         "accounts_dep.oper",
         false,
         true,
         {{"id", Kind::Integer, "integer"},
          {"vid", Kind::Integer, "integer"},
          {"naimen", Kind::Integer, "integer"},
          {"cena", Kind::Decimal, "double precision"},
          {"i_id", Kind::Integer, "integer"}},
         {{"cena_new", "0"}}},
        {"VID_OPER",
         "accounts_dep.vid_oper",
         false,
         true,
         {{"id", Kind::Integer, "integer"}, {"vid", Kind::Text, "text"}},
         {}},
        {"WORKERS",
         "accounts_dep.workers",
         false,
         true,
         {{"id", Kind::Integer, "integer"},
          {"fio", Kind::Text, "text"},
          {"addr", Kind::Text, "text"}},
         {}},
        {"smena",
         "accounts_dep.smena",
         true,
         true,
         {{"id", Kind::Integer, "integer"},
          {"w_id", Kind::Integer, "integer"},
          {"i_id", Kind::Integer, "integer"},
          {"o_id", Kind::Integer, "integer"},
          {"kol_vo", Kind::Decimal, "numeric"},
          {"brak", Kind::Integer, "integer"},
          {"smena", Kind::Integer, "integer"},
          {"cena", Kind::Decimal, "double precision"},
          {"color", Kind::Integer, "integer"},
          {"ok", Kind::Text, "text"},
          {"data", Kind::Date, "date"},
          {"time", Kind::Integer, "integer"},
          {"vvod", Kind::Timestamp, "timestamp"}},
         {{"prize", "0"},
          {"id_doc", "0"},
          {"id_doc_item", "0"},
          {"f_gds_qty_use", "0"},
          {"id_gds_use", "0"},
          {"id_cons_use", "0"}}},
    };
}

// The legacy database, open for the length of one import.
class Source {
public:
    explicit Source(const QString& dsn)
        : dsn_(dsn), name_("tabel_legacy_" + QUuid::createUuid().toString(QUuid::Id128)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
        // A bare name: the driver puts "DSN=" in front of it.
        db.setDatabaseName(dsn);
        db.setPassword(QString::fromLatin1(kSourcePassword));
        db.setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (!db.open())
            throw Refused(kImportCaption,
                          QStringLiteral("Не удалось открыть источник данных «%1»: %2")
                              .arg(dsn, db.lastError().text().trimmed()));
    }
    ~Source() {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    QSqlQuery query(const QString& sql) const {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        q.setForwardOnly(true);
        q.setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (!q.exec(sql))
            throw Refused(kImportCaption,
                          QStringLiteral("Не удалось прочитать источник данных «%1»: %2")
                              .arg(dsn_, q.lastError().text().trimmed()));
        return q;
    }

private:
    QString dsn_;
    QString name_;
};

// Reads `count` digits at `pos`; false when there are fewer.
bool digits(QStringView t, qsizetype& pos, int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i, ++pos) {
        if (pos >= t.size() || !t[pos].isDigit())
            return false;
        value = value * 10 + t[pos].digitValue();
    }
    return true;
}

bool skip(QStringView t, qsizetype& pos, QChar c) {
    if (pos >= t.size() || t[pos] != c)
        return false;
    ++pos;
    return true;
}

// A date or a date and time written in one of the two unambiguous ways:
// ISO (2005-02-03, 2005-02-03 14:30:00.25, with or without the server's zone
// offset) or the program's own (03.02.2005, 03.02.2005 14:30). Anything else,
// an impossible day included, is no date. The result is ISO, the fraction of
// a second kept digit for digit: "2005-02-03" for a date, "2005-02-03
// 14:30:00.25" for a date and time.
std::optional<QString> isoDateTime(QStringView t, bool withTime) {
    qsizetype pos = 0;
    int y = 0, m = 0, d = 0;
    const bool iso = t.size() > 4 && t[4] == QLatin1Char('-');
    if (iso) {
        if (!digits(t, pos, 4, y) || !skip(t, pos, QLatin1Char('-')) || !digits(t, pos, 2, m) ||
            !skip(t, pos, QLatin1Char('-')) || !digits(t, pos, 2, d))
            return std::nullopt;
    } else if (!digits(t, pos, 2, d) || !skip(t, pos, QLatin1Char('.')) || !digits(t, pos, 2, m) ||
               !skip(t, pos, QLatin1Char('.')) || !digits(t, pos, 4, y)) {
        return std::nullopt;
    }
    if (!QDate::isValid(y, m, d))
        return std::nullopt;
    int h = 0, min = 0, sec = 0;
    QStringView fraction;
    if (pos < t.size()) {
        if (!skip(t, pos, QLatin1Char(' ')) && !(iso && skip(t, pos, QLatin1Char('T'))))
            return std::nullopt;
        if (!digits(t, pos, 2, h) || !skip(t, pos, QLatin1Char(':')) || !digits(t, pos, 2, min))
            return std::nullopt;
        if (skip(t, pos, QLatin1Char(':')) && !digits(t, pos, 2, sec))
            return std::nullopt;
        if (skip(t, pos, QLatin1Char('.'))) {
            const qsizetype from = pos;
            while (pos < t.size() && t[pos].isDigit() && pos - from < 6)
                ++pos;
            if (pos == from)
                return std::nullopt;
            fraction = t.mid(from, pos - from);
        }
        // The server writes a zone offset after a time with a zone; the
        // time before it is already the server's own local time.
        if (iso && pos < t.size() && (t[pos] == QLatin1Char('+') || t[pos] == QLatin1Char('-'))) {
            int oh = 0, om = 0;
            ++pos;
            if (!digits(t, pos, 2, oh) ||
                (skip(t, pos, QLatin1Char(':')) && !digits(t, pos, 2, om)))
                return std::nullopt;
        }
        if (pos != t.size() || !QTime::isValid(h, min, sec))
            return std::nullopt;
    }
    QString out = QStringLiteral("%1-%2-%3")
                      .arg(y, 4, 10, QLatin1Char('0'))
                      .arg(m, 2, 10, QLatin1Char('0'))
                      .arg(d, 2, 10, QLatin1Char('0'));
    if (withTime) {
        out += QStringLiteral(" %1:%2:%3")
                   .arg(h, 2, 10, QLatin1Char('0'))
                   .arg(min, 2, 10, QLatin1Char('0'))
                   .arg(sec, 2, 10, QLatin1Char('0'));
        if (!fraction.isEmpty())
            out += QLatin1Char('.') + fraction.toString();
    }
    return out;
}

// One row of one table being copied, for the messages about its values.
struct RowPlace {
    const TablePair& pair;
    const QVariant& id;
    int number; // 1 for the first row read
};

[[noreturn]] void refuseValue(const RowPlace& at, const Column& c, const QString& value,
                              const QString& why) {
    const QString row = at.pair.copiesId && !at.id.isNull()
                            ? QStringLiteral("строка с id %1").arg(at.id.toString())
                            : QStringLiteral("строка %1").arg(at.number);
    throw Refused(kImportCaption, QStringLiteral("Таблица %1, %2, поле %3: %4 «%5». Импорт не "
                                                 "выполнен, ничего не изменено.")
                                      .arg(QString::fromLatin1(at.pair.source), row,
                                           QString::fromLatin1(c.name), why, value));
}

bool isWholeNumber(const QString& t) {
    static const QRegularExpression re(QStringLiteral("^[+-]?[0-9]+$"));
    return re.match(t).hasMatch();
}

bool isDecimal(const QString& t) {
    static const QRegularExpression re(
        QStringLiteral("^[+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?$"));
    return re.match(t).hasMatch();
}

// Appends `t` to an array literal as one quoted element.
void appendQuoted(QString& array, const QString& t) {
    array += QLatin1Char('"');
    for (const QChar c : t) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            array += QLatin1Char('\\');
        array += c;
    }
    array += QLatin1Char('"');
}

// Appends the value `v`, read typed from the source, to the array literal of
// its column: numbers exactly as the source holds them, dates in ISO, which
// the server reads the same under any date style.
void appendValue(QString& array, const QVariant& v, const Column& c, const RowPlace& at) {
    switch (c.kind) {
    case Kind::Integer:
    case Kind::Decimal: {
        if (v.isNull()) {
            array += QLatin1Char('0');
            return;
        }
        const bool whole = c.kind == Kind::Integer;
        QString t;
        bool ok = false;
        if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
            const double d = v.toDouble();
            ok = std::isfinite(d) && (!whole || d == std::floor(d));
            t = whole ? QString::number(d, 'f', 0)
                      : QString::number(d, 'g', QLocale::FloatingPointShortest);
        } else {
            t = v.toString().trimmed();
            ok = whole ? isWholeNumber(t) : isDecimal(t);
        }
        if (!ok)
            refuseValue(at, c, v.toString(),
                        whole ? QStringLiteral("не целое число") : QStringLiteral("не число"));
        array += t;
        return;
    }
    case Kind::Text: {
        const QString t = v.isNull() ? QString() : v.toString();
        if (!storableText(t))
            refuseValue(at, c, t, QStringLiteral("недопустимый символ (код 0) в значении"));
        appendQuoted(array, t);
        return;
    }
    case Kind::Date:
    case Kind::Timestamp:
        break;
    }
    const bool withTime = c.kind == Kind::Timestamp;
    std::optional<QString> iso;
    if (v.isNull()) {
        array += QLatin1String("NULL");
        return;
    }
    if (v.typeId() == QMetaType::QDate) {
        if (v.toDate().isValid())
            iso = isoDateTime(v.toDate().toString(Qt::ISODate), withTime);
    } else if (v.typeId() == QMetaType::QDateTime) {
        // The fields as read, without any conversion between time zones.
        const QDateTime dt = v.toDateTime();
        if (dt.date().isValid() && dt.time().isValid())
            iso = isoDateTime(dt.date().toString(Qt::ISODate) + QLatin1Char(' ') +
                                  dt.time().toString(QStringLiteral("HH:mm:ss.zzz")),
                              withTime);
    } else {
        const QString t = v.toString().trimmed();
        if (t.isEmpty()) {
            // What the earlier system wrote for no date.
            array += QLatin1String("NULL");
            return;
        }
        iso = isoDateTime(t, withTime);
    }
    if (!iso)
        refuseValue(at, c, v.toString(), QStringLiteral("не дата"));
    appendQuoted(array, *iso);
}

// Rows go to the server a batch at a time: each column's values of the batch
// as one array, so a statement carries thousands of rows in a handful of
// bound values.
class Writer {
public:
    // `head` and `tail` go around the select of the rows' values, whose
    // columns are named as the pair's columns.
    Writer(QSqlDatabase db, const TablePair& pair, QString head, QString tail)
        : db_(db), pair_(pair), head_(std::move(head)), tail_(std::move(tail)),
          arrays_(pair.columns.size()) {
        QStringList arrays;
        QStringList names;
        for (size_t c = 0; c < pair.columns.size(); ++c) {
            arrays << QStringLiteral("cast(:a%1 as %2[])")
                          .arg(c)
                          .arg(QString::fromLatin1(pair.columns[c].type));
            names << QString::fromLatin1(pair.columns[c].name);
        }
        select_ = QStringLiteral("select * from unnest(%1) as u(%2)")
                      .arg(arrays.join(QStringLiteral(", ")), names.join(QStringLiteral(", ")));
        clear();
    }

    // Adds the row that `value(c)` gives column by column.
    template <typename Value> void add(Value value, const RowPlace& at) {
        for (size_t c = 0; c < arrays_.size(); ++c) {
            if (rows_ > 0)
                arrays_[c] += QLatin1Char(',');
            appendValue(arrays_[c], value(c), pair_.columns[c], at);
        }
        if (++rows_ >= kRowsPerStatement)
            flush();
    }

    void flush() {
        if (rows_ == 0)
            return;
        QVariantMap params;
        for (size_t c = 0; c < arrays_.size(); ++c)
            params.insert(QStringLiteral("a%1").arg(c), arrays_[c] + QLatin1Char('}'));
        exec(db_, head_ + select_ + tail_, params);
        clear();
    }

    int pending() const { return rows_; }

private:
    void clear() {
        for (QString& a : arrays_) {
            a.clear();
            a += QLatin1Char('{');
        }
        rows_ = 0;
    }

    QSqlDatabase db_;
    const TablePair& pair_;
    QString head_;
    QString tail_;
    QString select_;
    std::vector<QString> arrays_;
    int rows_ = 0;
};

QString columnList(const TablePair& p) {
    QStringList names;
    for (const Column& c : p.columns)
        names << QString::fromLatin1(c.name);
    for (const Fixed& f : p.fixed)
        names << QString::fromLatin1(f.name);
    return names.join(QStringLiteral(", "));
}

// The generator that gives `table` its ids when a row comes without one: the
// serial or identity sequence of its id, or any sequence its id's default
// draws from.
QString idSequence(const QSqlDatabase& db, const QString& table) {
    return scalar(db,
                  "select coalesce(pg_get_serial_sequence(:t, 'id'), "
                  "(select d.refobjid::regclass::text from pg_attrdef ad "
                  "join pg_attribute a on a.attrelid = ad.adrelid and a.attnum = ad.adnum "
                  "join pg_depend d on d.classid = 'pg_attrdef'::regclass and d.objid = ad.oid "
                  "and d.refclassid = 'pg_class'::regclass "
                  "join pg_class s on s.oid = d.refobjid and s.relkind = 'S' "
                  "where ad.adrelid = cast(:r as regclass) and a.attname = 'id' limit 1))",
                  {{"t", table}, {"r", table}})
        .toString();
}

// Moves the generator of `table` past `highest`, unless it stands there
// already.
void moveIdsPast(const QSqlDatabase& db, const QString& table, qint64 highest) {
    const QString sequence = idSequence(db, table);
    if (sequence.isEmpty() || highest < 1)
        return;
    exec(db,
         "select setval(cast(:s as regclass), cast(:v as bigint)) where cast(:w as bigint) > "
         "coalesce(pg_sequence_last_value(cast(:q as regclass)), 0)",
         {{"s", sequence}, {"v", highest}, {"w", highest}, {"q", sequence}});
}

// Checks that the production records' source can be read and is not the
// table they are copied into, which the copy empties first.
void checkRecordSource(const QSqlDatabase& db) {
    QSqlQuery q = exec(db, "select to_regclass('smena')::oid, "
                           "to_regclass('accounts_dep.smena')::oid");
    q.next();
    if (q.value(0).isNull())
        throw Refused(kImportCaption, kImportNoSmena);
    if (q.value(0).toLongLong() == q.value(1).toLongLong())
        throw Refused(kImportCaption, kImportSelfWipe);
}

// The import replaces every record and time-sheet row, those of closed
// months too: it is refused while any month is closed, naming them all.
void refuseWhileMonthsClosed(const QSqlDatabase& db) {
    const QList<int> closed = closedMonths(db);
    if (closed.isEmpty())
        return;
    throw Refused(kImportCaption,
                  QStringLiteral("%1 %2: импорт заменил бы их записи. Импорт не выполнен, ничего "
                                 "не изменено.")
                      .arg(closed.size() == 1 ? QStringLiteral("Закрыт месяц")
                                              : QStringLiteral("Закрыты месяцы"),
                           monthNames(closed)));
}

// Whether `accounts_dep.izdel` is a table of its own rather than a view over
// the goods table.
bool izdelIsTable(const QSqlDatabase& db) {
    const QString kind =
        scalar(db, "select relkind::text from pg_class where oid = to_regclass(:t)",
               {{"t", kIzdel}})
            .toString();
    return kind == QLatin1String("r") || kind == QLatin1String("p");
}

class Copier {
public:
    Copier(QSqlDatabase server, const Source& source, const LegacyImport::Progress& progress,
           bool izdelTable)
        : server_(server), source_(source), progress_(progress), izdelTable_(izdelTable) {}

    ImportedTable copy(const TablePair& p) {
        const bool goods = QLatin1String(p.target) == QLatin1String(kIzdel) && !izdelTable_;
        const QString from = QString::fromLatin1(p.source);
        const QString order = p.copiesId ? QStringLiteral(" order by id") : QString();
        ImportProgress step{from,
                            goods ? QString::fromLatin1(kGoods) : QString::fromLatin1(p.target)};

        // The source's own names of the columns copied, found ignoring case.
        const QSqlRecord found = read(p, "select * from " + from + " where 1 = 0").record();
        QStringList names;
        for (const Column& c : p.columns) {
            const int i = found.indexOf(QString::fromLatin1(c.name));
            if (i < 0)
                throw Refused(kImportCaption,
                              QStringLiteral("В таблице %1 нет поля %2. Импорт не выполнен, "
                                             "ничего не изменено.")
                                  .arg(from, QString::fromLatin1(c.name)));
            names << found.fieldName(i);
        }

        // Counted and read before the target is emptied: whatever the source
        // turns out to be, it is read as it stood.
        QSqlQuery count = read(p, "select count(*) from " + from);
        count.next();
        step.total = count.value(0).toInt();
        QSqlQuery rows;
        std::vector<int> fields;
        if (p.onServer) {
            // Dates and times come over as the ISO text the transaction's
            // date style writes, whatever their column's type; a date kept
            // as text comes as it is.
            QStringList select;
            for (size_t c = 0; c < p.columns.size(); ++c) {
                QString name = names[qsizetype(c)];
                name = QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                       QLatin1Char('"');
                const Kind kind = p.columns[c].kind;
                select << (kind == Kind::Date || kind == Kind::Timestamp
                               ? QStringLiteral("cast(%1 as text)").arg(name)
                               : name);
                fields.push_back(int(c));
            }
            rows = exec(server_,
                        "select " + select.join(QStringLiteral(", ")) + " from " + from + order);
        } else {
            rows = source_.query("select * from " + from + order);
            for (const QString& name : names)
                fields.push_back(rows.record().indexOf(name));
        }
        report(step);

        std::unique_ptr<Writer> writer;
        if (goods) {
            // The goods table belongs to the plant's information system:
            // products are added or updated under their ids, and goods the
            // legacy table lacks are left alone.
            writer = std::make_unique<Writer>(
                server_, p, QStringLiteral("with v as ("),
                QStringLiteral("), upd as (update cmn_gds_and_srv.gds_and_srv g "
                               "set s_caption = v.marka, massa = v.massa from v "
                               "where g.id = v.id returning g.id) "
                               "insert into cmn_gds_and_srv.gds_and_srv (id, s_caption, "
                               "s_description, id_msm_bs, massa) "
                               "select v.id, v.marka, '', 6, v.massa from v "
                               "where v.id not in (select id from upd)"));
        } else {
            exec(server_, QStringLiteral("delete from %1 where id > 0").arg(p.target));
            QString fixed;
            for (const Fixed& f : p.fixed)
                fixed += QStringLiteral(", ") + QString::fromLatin1(f.value);
            writer =
                std::make_unique<Writer>(server_, p,
                                         QStringLiteral("insert into %1 (%2) select r.*%3 from (")
                                             .arg(p.target, columnList(p), fixed),
                                         QStringLiteral(") r"));
        }

        qint64 highest = 0;
        while (rows.next()) {
            ++step.done;
            const QVariant id = p.copiesId ? rows.value(fields[0]) : QVariant();
            if (p.copiesId)
                highest = std::max(highest, id.toLongLong());
            writer->add([&](size_t c) { return rows.value(fields[c]); },
                        RowPlace{p, id, step.done});
            if (writer->pending() == 0) {
                step.total = std::max(step.total, step.done);
                report(step);
            }
        }
        if (rows.lastError().isValid())
            throw Refused(kImportCaption, QStringLiteral("Не удалось дочитать таблицу %1: %2")
                                              .arg(from, rows.lastError().text().trimmed()));
        writer->flush();
        if (p.copiesId)
            highest_.emplace_back(
                goods ? QString::fromLatin1(kGoods) : QString::fromLatin1(p.target), highest);

        step.total = step.done;
        step.finished = true;
        report(step);
        return {step.source, step.target, step.done};
    }

    // Moves each target's id generator past the highest id copied into it.
    // Last of all, since a generator moved stays moved when the transaction
    // is rolled back.
    void moveGenerators() {
        for (const auto& [table, highest] : highest_)
            moveIdsPast(server_, table, highest);
    }

private:
    QSqlQuery read(const TablePair& p, const QString& sql) {
        return p.onServer ? exec(server_, sql) : source_.query(sql);
    }

    void report(const ImportProgress& step) {
        if (progress_ && !progress_(step))
            throw Refused(kImportCaption, kImportCancelled);
    }

    QSqlDatabase server_;
    const Source& source_;
    const LegacyImport::Progress& progress_;
    bool izdelTable_;
    std::vector<std::pair<QString, qint64>> highest_;
};

} // namespace

LegacyImport::LegacyImport(QSqlDatabase server, QString sourceDsn)
    : server_(server), sourceDsn_(std::move(sourceDsn)) {}

Outcome LegacyImport::run(const Progress& progress) {
    tables_.clear();
    QList<ImportedTable> copied;
    try {
        // Before the source is read: no copying can help a closed month.
        refuseWhileMonthsClosed(server_);
        const Source source(sourceDsn_);
        Transaction tx(server_);
        // Dates and times read from the server come as ISO text in this
        // transaction. The rows go back in ISO too, which the server reads
        // alike under any date style.
        exec(server_, "set local datestyle to 'ISO, YMD'");
        checkRecordSource(server_);
        const bool izdelTable = izdelIsTable(server_);
        // Other workstations may read meanwhile but wait with their writes,
        // so none of them draws an id that an imported row is about to take.
        QString targets = "accounts_dep.h_tabel, accounts_dep.nomenkl, accounts_dep.oper, "
                          "accounts_dep.vid_oper, accounts_dep.workers, accounts_dep.smena";
        if (izdelTable)
            targets += QStringLiteral(", ") + QString::fromLatin1(kIzdel);
        exec(server_, "lock table " + targets + " in exclusive mode");
        // Again, now that no record can be written in between. A close that
        // commits after this check still cannot pass: the database refuses
        // the import's deletions in its month.
        refuseWhileMonthsClosed(server_);

        Copier copier(server_, source, progress, izdelTable);
        for (const TablePair& p : tablePairs())
            copied.append(copier.copy(p));
        copier.moveGenerators();
        tx.commit();
    } catch (const Refused& r) {
        return r.outcome();
    }
    tables_ = copied;
    return Outcome::ok();
}

} // namespace tabel
