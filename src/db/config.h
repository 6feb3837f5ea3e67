#pragma once

// Where the program and tabel-batch find their database, without rebuilding:
//
//   1. the plant's file, /etc/tabel/tabel.conf (written by the administrator);
//   2. the user's own file, $XDG_CONFIG_HOME/tabel/tabel.conf
//      (~/.config/tabel/tabel.conf when XDG_CONFIG_HOME is not set);
//   3. the command line: a database and a server, named together.
//
// Each one overrides what the ones before it set; what none of them sets
// comes from the build (the database `tobrin`, the default server). A file
// holds lines `name = value` with the names `server`, `database`, `login`
// and `user`; blank lines and lines starting with `#` or `;` are comments.
//
// `login` says how people log in: `code` (the access codes over the built-in
// account, the default) or `person` (each person as their own PostgreSQL
// user, who gets the role of their group). It is the plant's choice: a
// user's own file may ask for `person` (a workstation trying it before the
// plant switches), never for `code` once the plant's file says `person`.
// `user` is the PostgreSQL user tabel-batch connects as under `person`; its
// password comes from PostgreSQL's own password file, never from ours.
//
// `report_server` (and, when its database is named otherwise,
// `report_database`) names a hot standby of the plant's database that the
// bulk reading jobs use (db/report_connection.h); `report_max_lag` is how
// many seconds behind the primary it may be, 5 unless set.
//
// A missing file is skipped. One that is there but cannot be read (a folder
// in its place, a link to nothing, no right to read it) stops the program,
// as a malformed one does: carrying on with the next layer would connect a
// workstation, or a nightly job, to another database than the one the
// administrator meant, and that is worse than not starting. So does a line
// that is not UTF-8, whose value would otherwise arrive garbled.

#include <QString>
#include <QStringList>
#include <map>
#include <stdexcept>

namespace tabel {

// A configuration file that cannot be used: which file, which line (0: the
// file as a whole) and what is wrong.
class ConfigError : public std::runtime_error {
public:
    ConfigError(const QString& path, int line, const QString& reason);
    QString path() const { return path_; }
    int line() const { return line_; }
    // The whole message, in the words shown to the administrator.
    QString text() const;

private:
    QString path_;
    int line_;
    QString reason_;
};

// The two files, lowest first. An empty path is not read.
struct ConfigFiles {
    QString system;
    QString user;

    // The plant's file is /etc/tabel/tabel.conf unless TABEL_SYSTEM_CONFIG
    // names another (a test, or a package unpacked somewhere else); the
    // user's file follows the XDG rules and is left out without a home.
    static ConfigFiles standard();
};

enum class LoginMode { Code, Person };

struct ConnectionTarget {
    QString database;
    QString server;
    LoginMode login = LoginMode::Code;
    QString user; // tabel-batch's PostgreSQL user under LoginMode::Person
    // A standby for reading (empty: none), its database when not `database`,
    // and how many seconds behind the primary it may be.
    QString reportServer;
    QString reportDatabase;
    int reportMaxLag = 5;
};

// Where to connect: the files in `files`, then `arguments` (the command line
// after the program name: database, server). The command line counts only
// with a server, and then sets both, as it always has. Throws ConfigError.
ConnectionTarget resolveConnection(const ConfigFiles& files, const QStringList& arguments);

// A value and the file that set it, for a message that names the file.
struct ConfigValue {
    QString value;
    QString path;
};

// The web view's settings (`web_listen`, `web_session_idle`,
// `web_secure_cookie`, `web_trusted_proxy`) from the files in `files`, the
// user's file over the plant's. The other programs accept these lines and
// leave them alone. Throws ConfigError.
std::map<QString, ConfigValue> webConfigValues(const ConfigFiles& files);

} // namespace tabel
