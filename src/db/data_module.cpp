#include "data_module.h"

#include "sql.h"
#include "statements.h"

#include <QDate>
#include <QSqlQuery>

namespace tabel {

DataModule::DataModule(QSqlDatabase db, Messenger& messenger, QObject* parent)
    : QObject(parent), db_(db), messenger_(messenger) {
    workers_ = new Dataset(db_, "Workers", sql::kWorkers, this);
    izdel_ = new Dataset(db_, "Izdel", sql::kIzdel, this);
    vidOper_ = new Dataset(db_, "Vid_oper", sql::kVidOper, this);
    oper_ = new Dataset(db_, "Oper", sql::operations(), this);
    oper_->setJsonColumns(sql::operationColumns());
    // Prices as of today until an opening names another day.
    oper_->setParam("day", QDate::currentDate());
    for (int i = 0; i < 4; ++i) {
        shifts_[i] =
            new Dataset(db_, QStringLiteral("Smena%1").arg(i + 1), sql::shiftListJson(i + 1), this);
        shifts_[i]->setJsonColumns(sql::shiftListColumns());
        shifts_[i]->setParam("data", QDate());
        shifts_[i]->setParam("ok", QString());
    }
}

Dataset& DataModule::shiftList(int shift) {
    if (shift < 1 || shift > 4)
        shift = 1;
    return *shifts_[shift - 1];
}

void DataModule::openShiftLists(const QDate& date) {
    for (auto* list : shifts_) {
        list->close();
        list->setParam("data", date);
    }
    const QString statement = sql::shiftListJson(0);
    QSqlQuery q = exec(db_, statement, {{"data", date}, {"ok", shifts_[0]->param("ok")}});
    ResultRows all = readJsonRows(q, sql::shiftListColumns(), statement);
    const int shiftColumn = all.fields.indexOf("smena");
    std::array<std::vector<std::vector<QVariant>>, 4> rows;
    for (auto& row : all.rows) {
        const int shift = row[shiftColumn].toInt();
        if (shift >= 1 && shift <= 4)
            rows[shift - 1].push_back(std::move(row));
    }
    for (int i = 0; i < 4; ++i)
        shifts_[i]->openWith(all.fields, std::move(rows[i]));
}

bool DataModule::duplicateCheck(const QString& countSql, const QVariantMap& params,
                                const QString& message) {
    const int count = scalar(db_, countSql, params).toInt();
    if (count > 0) {
        messenger_.error(QStringLiteral("Ошибка"), message);
        return true;
    }
    return false;
}

QString DataModule::toDatabaseDecimal(const QString& text) const {
    const QString sep = decimalSeparator_.isEmpty() ? QStringLiteral(".") : decimalSeparator_;
    int pos = text.indexOf(QLatin1Char(','));
    if (pos < 0)
        pos = text.indexOf(QLatin1Char('.'));
    if (pos < 0)
        return text;
    QString out = text;
    out.replace(pos, 1, sep);
    return out;
}

} // namespace tabel
