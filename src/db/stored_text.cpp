#include "stored_text.h"

#include "sql.h"

#include <QSqlQuery>
#include <QStringList>
#include <map>

namespace tabel {

namespace {

// The declared widths of the named columns, by column name; a column of
// unlimited text (text, varchar without a width) or one the catalog does
// not know is left out. One statement for all of them. A domain over
// varchar keeps its width on the domain.
std::map<QString, int> declaredWidths(const QSqlDatabase& db, const QStringList& columns) {
    QStringList rows;
    QVariantMap params;
    for (int i = 0; i < columns.size(); ++i) {
        const QString& c = columns[i];
        const qsizetype dot = c.lastIndexOf(QLatin1Char('.'));
        rows << QStringLiteral("(%1, cast(:r%1 as text), cast(:c%1 as text))").arg(i);
        params[QStringLiteral("r%1").arg(i)] = c.left(dot);
        params[QStringLiteral("c%1").arg(i)] = c.mid(dot + 1);
    }
    QSqlQuery q = exec(
        db,
        QStringLiteral(
            "select v.n, w.width from (values %1) v(n, rel, col) "
            "join lateral (select case when coalesce(b.typname, t.typname) in ('varchar', "
            "'bpchar') then (case when t.typtype = 'd' then t.typtypmod else a.atttypmod end) - 4 "
            "end as width from pg_attribute a join pg_type t on t.oid = a.atttypid "
            "left join pg_type b on t.typtype = 'd' and b.oid = t.typbasetype "
            "where a.attrelid = to_regclass(v.rel) and a.attname = v.col "
            "and not a.attisdropped) w on w.width > 0")
            .arg(rows.join(QStringLiteral(", "))),
        params);
    std::map<QString, int> widths;
    while (q.next())
        widths[columns[q.value(0).toInt()]] = q.value(1).toInt();
    return widths;
}

// Characters as the server counts them: a character outside the basic plane
// is one, not the two halves QString holds.
qsizetype characters(const QString& text) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text.at(i).isLowSurrogate())
            ++n;
    return n;
}

} // namespace

QString unstorableCharacterMessage(const QString& caption) {
    return QStringLiteral(
               "«%1»: значение не подходит. Уберите из него недопустимый символ (код 0).")
        .arg(caption);
}

QString tooLongMessage(const QString& caption, int maxLength) {
    // "не более 21 знака", "не более 254 знаков"
    const bool one = maxLength % 10 == 1 && maxLength % 100 != 11;
    return QStringLiteral("«%1»: значение не подходит. Введите не более %2 %3.")
        .arg(caption)
        .arg(maxLength)
        .arg(one ? QStringLiteral("знака") : QStringLiteral("знаков"));
}

Outcome checkStoredText(const QSqlDatabase& db, const QList<TextField>& fields) {
    for (const TextField& f : fields)
        if (!storableText(f.value))
            return Outcome::refused(kErrorCaption, unstorableCharacterMessage(f.caption));
    QStringList columns;
    for (const TextField& f : fields)
        if (!f.column.isEmpty() && !columns.contains(f.column))
            columns << f.column;
    if (columns.isEmpty())
        return Outcome::ok();
    const std::map<QString, int> widths = declaredWidths(db, columns);
    for (const TextField& f : fields) {
        const auto width = widths.find(f.column);
        if (width != widths.end() && characters(f.value) > width->second)
            return Outcome::refused(kErrorCaption, tooLongMessage(f.caption, width->second));
    }
    return Outcome::ok();
}

} // namespace tabel
