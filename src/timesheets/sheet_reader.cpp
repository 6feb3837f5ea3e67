#include "sheet_reader.h"

#include "db/sql.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace tabel {

SheetReader::SheetReader(QString sql) : sql_(std::move(sql)) {}

void SheetReader::describe(const QSqlDatabase& db, const QVariantMap& params) {
    QSqlQuery q = exec(db, QStringLiteral("select * from (%1) x limit 0").arg(sql_), params);
    const QSqlRecord record = q.record();
    QStringList values;
    fields_.clear();
    kinds_.clear();
    for (int i = 0; i < record.count(); ++i) {
        const QString name = record.fieldName(i);
        fields_ << name;
        const QString column = QStringLiteral("r.\"%1\"").arg(name);
        switch (record.field(i).metaType().id()) {
        case QMetaType::Int:
        case QMetaType::Short:
            // Exact as a JSON number.
            kinds_ << Kind::Int;
            values << column;
            break;
        case QMetaType::LongLong:
            kinds_ << Kind::BigInt;
            values << column + QStringLiteral("::text");
            break;
        case QMetaType::Double:
        case QMetaType::QString:
            // Numbers with decimals arrive as the text the server writes,
            // as the connection reads them in high precision.
            kinds_ << Kind::Text;
            values << column + QStringLiteral("::text");
            break;
        default:
            kinds_ << Kind::Other;
            break;
        }
    }
    json_ = QStringLiteral("select coalesce(json_agg(json_build_array(%1))::text, '[]') "
                           "from (%2) r")
                .arg(values.join(QStringLiteral(", ")), sql_);
}

ResultRows SheetReader::read(const QSqlDatabase& db, const QVariantMap& params) {
    if (json_.isEmpty())
        describe(db, params);
    if (kinds_.contains(Kind::Other)) {
        QSqlQuery q = exec(db, sql_, params);
        return readAll(q);
    }
    QSqlQuery q = exec(db, json_, params);
    const QByteArray text = q.next() ? q.value(0).toString().toUtf8() : QByteArray("[]");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        throw DbError(QStringLiteral("Строки табеля не прочитаны: %1.").arg(error.errorString()),
                      json_);
    const QJsonArray all = document.array();
    const qsizetype width = fields_.size();
    ResultRows result;
    result.fields = fields_;
    result.rows.reserve(all.size());
    for (const QJsonValue& r : all) {
        const QJsonArray row = r.toArray();
        if (row.size() != width)
            throw DbError(
                QStringLiteral("Строки табеля не прочитаны: строка не из %1 значений.").arg(width),
                json_);
        std::vector<QVariant> values;
        values.reserve(width);
        for (qsizetype i = 0; i < width; ++i) {
            const QJsonValue v = row.at(i);
            bool ok = true;
            // A null comes as the driver gives it: typed for integers,
            // without a type for texts and decimals.
            switch (kinds_[i]) {
            case Kind::Int:
                ok = v.isNull() || v.isDouble();
                values.push_back(v.isNull() ? QVariant(QMetaType::fromType<int>())
                                            : QVariant(static_cast<int>(v.toInteger())));
                break;
            case Kind::BigInt:
                values.push_back(v.isNull() ? QVariant(QMetaType::fromType<qlonglong>())
                                            : QVariant(v.toString().toLongLong(&ok)));
                break;
            case Kind::Text:
            case Kind::Other:
                values.push_back(v.isNull() ? QVariant() : QVariant(v.toString()));
                break;
            }
            if (!ok)
                throw DbError(
                    QStringLiteral("Строки табеля не прочитаны: в поле %1 не целое число.")
                        .arg(fields_[i]),
                    json_);
        }
        result.rows.push_back(std::move(values));
    }
    return result;
}

} // namespace tabel
