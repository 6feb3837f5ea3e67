#pragma once

// The schema accounts_dep is brought up to what the program needs by
// numbered upgrade steps (db/steps), compiled into the program. The table
// accounts_dep.schema_step records the steps a database has had, with the
// kind of each, so that a program can tell whether a database newer than
// itself is still one it can run on: steps it does not know that only add
// (tables, columns with defaults, indexes, functions) are no obstacle, a
// step that changes what exists is.

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <vector>

namespace tabel {

struct SchemaStep {
    int number = 0;
    QString name;
    bool addition = false; // "-- kind: addition" on the first line
    QString sql;
};

// Steps from (number, name, text); the kind is read from the text's first
// line, and a step that does not say is taken for a change.
std::vector<SchemaStep>
parseSchemaSteps(std::initializer_list<std::tuple<int, QString, QString>> steps);

// The steps compiled into this program, in order.
const std::vector<SchemaStep>& embeddedSchemaSteps();

// The statements of a script, in order, without the separating semicolons.
// Quotes, dollar quotes and comments are respected; comment-only pieces are
// left out.
QStringList splitSqlStatements(const QString& script);

struct AppliedStep {
    int number = 0;
    QString name;
    bool addition = false;
    QDateTime applied;
};

struct SchemaState {
    bool tracked = false;             // the step table exists
    std::vector<AppliedStep> applied; // in order
    std::vector<int> missing;         // steps of the program the database lacks
    std::vector<AppliedStep> unknown; // steps of the database the program lacks

    bool upToDate() const { return missing.empty() && unknown.empty(); }
    // Newer than the program only by steps that add.
    bool newerByAdditionsOnly() const;
};

// Reads the database's steps against `steps`. Throws DbError.
SchemaState readSchemaState(const QSqlDatabase& db,
                            const std::vector<SchemaStep>& steps = embeddedSchemaSteps());

// Empty when the program can run on a database in `state`; otherwise what to
// tell the user, naming the command the administrator must run.
QString schemaRefusal(const SchemaState& state,
                      const std::vector<SchemaStep>& steps = embeddedSchemaSteps());

// Applies the steps the database lacks, in order, in one transaction (a
// savepoint inside a caller's) under a lock that keeps two upgrades apart,
// and records them. Calls `applying` before each step. Answers the steps
// applied; none when the database was up to date. Refuses (throws
// SchemaRefused, changing nothing) a database that has steps this program
// does not know. Throws DbError when a step fails, changing nothing.
class SchemaRefused : public std::runtime_error {
public:
    explicit SchemaRefused(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

std::vector<SchemaStep> upgradeSchema(const QSqlDatabase& db,
                                      const std::vector<SchemaStep>& steps = embeddedSchemaSteps(),
                                      const std::function<void(const SchemaStep&)>& applying = {});

inline constexpr const char* kUpgradeCommand = "tabel-batch БАЗА СЕРВЕР upgrade-schema";

} // namespace tabel
