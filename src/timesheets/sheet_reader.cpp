#include "sheet_reader.h"

#include "db/sql.h"

#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace tabel {

SheetReader::SheetReader(QString sql) : sql_(std::move(sql)) {}

void SheetReader::describe(const QSqlDatabase& db, const QVariantMap& params) {
    QSqlQuery q = exec(db, QStringLiteral("select * from (%1) x limit 0").arg(sql_), params);
    const QSqlRecord record = q.record();
    QStringList values;
    columns_.clear();
    rowByRow_ = false;
    for (int i = 0; i < record.count(); ++i) {
        const QString name = record.fieldName(i);
        const QString column = QStringLiteral("r.\"%1\"").arg(name);
        // A null comes as the driver gives it: typed for integers, without
        // a type for texts and decimals.
        switch (record.field(i).metaType().id()) {
        case QMetaType::Int:
        case QMetaType::Short:
            // Exact as a JSON number.
            columns_.append({name, QMetaType::Int});
            values << column;
            break;
        case QMetaType::LongLong:
            columns_.append({name, QMetaType::LongLong});
            values << column + QStringLiteral("::text");
            break;
        case QMetaType::Double:
        case QMetaType::QString:
            // Numbers with decimals arrive as the text the server writes,
            // as the connection reads them in high precision.
            columns_.append({name, QMetaType::QString, true});
            values << column + QStringLiteral("::text");
            break;
        default:
            rowByRow_ = true;
            return;
        }
    }
    json_ = QStringLiteral("select coalesce(json_agg(json_build_array(%1))::text, '[]') "
                           "from (%2) r")
                .arg(values.join(QStringLiteral(", ")), sql_);
}

ResultRows SheetReader::read(const QSqlDatabase& db, const QVariantMap& params) {
    if (json_.isEmpty() && !rowByRow_)
        describe(db, params);
    QSqlQuery q = exec(db, rowByRow_ ? sql_ : json_, params);
    return rowByRow_ ? readAll(q) : readJsonRows(q, columns_, json_);
}

} // namespace tabel
