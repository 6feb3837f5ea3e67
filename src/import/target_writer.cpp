#include "target_writer.h"

#include "db/outcome.h"
#include "db/sql.h"
#include "import/legacy_import.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <QTime>
#include <cmath>
#include <optional>
#include <utility>

namespace tabel::legacy {

namespace {

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

} // namespace

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

Writer::Writer(QSqlDatabase db, const TablePair& pair, QString head, QString tail)
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

void Writer::flush() {
    if (rows_ == 0)
        return;
    QVariantMap params;
    for (size_t c = 0; c < arrays_.size(); ++c)
        params.insert(QStringLiteral("a%1").arg(c), arrays_[c] + QLatin1Char('}'));
    exec(db_, head_ + select_ + tail_, params);
    clear();
}

void Writer::clear() {
    for (QString& a : arrays_) {
        a.clear();
        a += QLatin1Char('{');
    }
    rows_ = 0;
}

QString columnList(const TablePair& p) {
    QStringList names;
    for (const Column& c : p.columns)
        names << QString::fromLatin1(c.name);
    for (const Fixed& f : p.fixed)
        names << QString::fromLatin1(f.name);
    return names.join(QStringLiteral(", "));
}

namespace {

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

} // namespace

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

} // namespace tabel::legacy
