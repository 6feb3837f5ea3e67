#pragma once

// The commands of tabel-batch. Each command lives in a file of its own in
// this folder and registers itself with one `Registration` object:
//
//   const Registration rebuildShifts{{
//       "rebuild-shifts", "--month M --year Y",
//       "перестроить строки смен табеля за месяц",
//       [](Job& job) { ... return 0; }}};
//
// A command reads its options from `job.options`, works on `job.db` and
// prints what it did to `job.out`. It reports a bad argument by throwing
// BadArgument and a database failure by letting DbError through; the runner
// prints either and exits non-zero. A command that writes runs its writes in
// one transaction, so a failed job changes nothing. A command that only
// reads in bulk says so (`readsOnly`) and may be served by the standby.

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

namespace tabel {
class SheetSink;
}

namespace tabel::batch {

class BadArgument : public std::runtime_error {
public:
    explicit BadArgument(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// Options of the form `--name value`, and switches `--name` alone, after
// words that pick what a command does (`export monthly piecework --month 3
// --year 2024`). Reading an option or a word marks it used; `finish()`
// refuses any that were given but not read.
class Options {
public:
    explicit Options(const QStringList& arguments); // throws BadArgument

    // The word at `index` (from 0), which must be one of `allowed`; `what`
    // names it in the message when it is missing or not allowed.
    QString word(int index, const QString& what, const QStringList& allowed) const;

    bool has(const QString& name) const;
    // Whether the switch `--name` was given; a value after it is refused.
    bool flag(const QString& name) const;
    QString text(const QString& name) const; // required; a switch has no value
    QString text(const QString& name, const QString& fallback) const;
    int integer(const QString& name, int min, int max) const; // required
    // YYYY-MM-DD or DD.MM.YYYY.
    QDate date(const QString& name) const; // required
    // The first day of the month given by --month M --year Y.
    QDate month() const;
    // One of `allowed`, or `fallback` when the option is absent.
    QString choice(const QString& name, const QStringList& allowed, const QString& fallback) const;

    void finish() const; // throws BadArgument naming an unknown option

private:
    QStringList words_;
    mutable int wordsRead_ = 0;
    std::map<QString, QString> values_;
    std::map<QString, bool> switches_; // given without a value
    mutable std::map<QString, bool> read_;
};

struct Job {
    QSqlDatabase db;
    const Options& options;
    QTextStream& out;
    // For a reading command served by the standby: the time its data stands
    // at, which a printed report carries. Invalid on the primary.
    QDateTime dataAsOf = {};
};

struct Command {
    QString name;
    QString synopsis; // the options, as `--help` shows them
    QString summary;  // one line: what the command does
    std::function<int(Job&)> run;
    // Reads in bulk and writes nothing: its `job.db` may be the plant's
    // standby (db/report_connection.h). A command that writes leaves it
    // false and always gets the primary.
    bool readsOnly = false;
};

const std::vector<Command>& commands();
const Command* findCommand(const QString& name);

// The command line after the program name, in one of two forms:
//   DATABASE SERVER COMMAND [OPTIONS]   the database named here;
//   COMMAND [OPTIONS]                   the database of the configuration files.
// The long form wins when both would fit.
struct CommandLine {
    QStringList connection;           // DATABASE SERVER, or nothing
    const Command* command = nullptr; // null: no known command where one belongs
    QString word;                     // what stands where the command belongs
    QStringList options;
};
CommandLine splitCommandLine(const QStringList& arguments);

struct Registration {
    explicit Registration(Command command);
};

// Lays one sheet out with `lay` and writes it to `file` whole. A cell the
// library refuses (a text beyond what a cell holds) would leave a gap nobody
// is told of, as a window would tell its user: nothing is written then, and
// the error names the cells. Returns the file's full path. Throws
// std::runtime_error with the reason in the user's words.
QString writeWholeWorkbook(const QString& file, const std::function<void(SheetSink&)>& lay);

} // namespace tabel::batch
