#include "legacy_source.h"

#include "db/outcome.h"
#include "import/legacy_import.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QUuid>

namespace tabel::legacy {

namespace {

// The legacy database is protected by this built-in password.
const char* kSourcePassword = "dolpavute";

} // namespace

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

Source::Source(const QString& dsn)
    : dsn_(dsn), name_("tabel_legacy_" + QUuid::createUuid().toString(QUuid::Id128)) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name_);
    // A bare name: the driver puts "DSN=" in front of it.
    db.setDatabaseName(dsn);
    db.setPassword(QString::fromLatin1(kSourcePassword));
    db.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!db.open())
        throw Refused(kImportCaption, QStringLiteral("Не удалось открыть источник данных «%1»: %2")
                                          .arg(dsn, db.lastError().text().trimmed()));
}

Source::~Source() {
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

QSqlQuery Source::query(const QString& sql) const {
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!q.exec(sql))
        throw Refused(kImportCaption,
                      QStringLiteral("Не удалось прочитать источник данных «%1»: %2")
                          .arg(dsn_, q.lastError().text().trimmed()));
    return q;
}

} // namespace tabel::legacy
