// Times the program's start as the user meets it: from the moment the
// process is spawned to the moment the X server maps the login window, for
// the whole `tabel` process (libraries, plugins, fonts, the connection, the
// schema check). Usage: startup_bench <database> <socket-or-host>
// <yyyy-mm-dd> (the date is taken for the other benchmarks' sake).
//
// The program runs on an Xvfb of the bench's own, on a display Xvfb picks
// itself (TABEL_BENCH_DISPLAY names another one; it must have no window
// manager, which would map a frame instead of the window). The bench listens
// to the root window's substructure events, so the time is taken when the
// server reports the map, not by polling; the process's peak memory
// (VmHWM) and the processor time it has had are read at that same moment.
// The program is killed once its login window is up; the build stamp its
// version gate may write is put back as it was when the runs are over.
//
// Every run also starts bare_login_dialog, a Qt Widgets dialog with a line
// edit and a button and nothing of the program's own, and prints the
// program's figures against it: absolute times say more about the machine
// and its load than about the program.
#include "bench_support.h"
#include "db/connection.h"
#include "db/sql.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

using namespace tabel;
using namespace tabel::bench;

namespace {

const int kRuns = 11;
const int kTimeoutMs = 20000;
// How much longer than a bare dialog the program may take to show its
// login window.
const double kFloorRatio = 1.2;

struct Spawned {
    pid_t pid = -1;
    // Started just before the spawn.
    QElapsedTimer clock;
};

// Spawns `argv` with `env`, its output into `log`.
Spawned spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& log) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    Spawned s;
    s.clock.start();
    if (posix_spawn(&s.pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data()) != 0)
        s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

void stop(pid_t pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Xvfb on the first free display: -displayfd makes it pick one and write its
// number once it accepts clients.
struct Xvfb {
    pid_t pid = -1;
    QString display;

    bool start() {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        const std::string fd = std::to_string(fds[1]);
        std::vector<std::string> argv = {"/usr/bin/Xvfb", "-displayfd", fd,   "-screen", "0",
                                         "1600x1000x24",  "-nolisten",  "tcp"};
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            return false;
        }
        std::string number;
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty())
            return false;
        display = QStringLiteral(":") + QString::fromStdString(number);
        return true;
    }
    ~Xvfb() { stop(pid); }
};

// A window's text property (the title), or empty.
QByteArray property(xcb_connection_t* x, xcb_window_t w, xcb_atom_t atom) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        x, xcb_get_property(x, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    if (!r)
        return {};
    const QByteArray value(static_cast<const char*>(xcb_get_property_value(r)),
                           xcb_get_property_value_length(r));
    std::free(r);
    return value;
}

xcb_atom_t atom(xcb_connection_t* x, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// The process's peak resident memory so far, in MB.
double peakMemoryMb(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// The processor time the process has had so far, all its threads (ended
// ones too), in ms: less at the mercy of the machine's load than the time on
// the clock.
double processorMs(pid_t pid) {
    clockid_t clock;
    timespec t{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0)
        return 0;
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Run {
    double ms = 0;
    double processorMs = 0;
    double memoryMb = 0;
    QString failure;
};

// One start: spawns the program and waits for its login window to be mapped.
Run startOnce(xcb_connection_t* x, const std::vector<std::string>& argv,
              const std::vector<std::string>& env, const std::string& log) {
    static const xcb_atom_t netWmName = atom(x, "_NET_WM_NAME");
    Run run;
    Spawned p = spawn(argv, env, log);
    if (p.pid < 0) {
        run.failure = QStringLiteral("cannot start %1").arg(QString::fromStdString(argv[0]));
        return run;
    }
    pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
    for (;;) {
        xcb_generic_event_t* e = xcb_poll_for_event(x);
        if (!e) {
            const int left = kTimeoutMs - int(p.clock.elapsed());
            if (xcb_connection_has_error(x) || left <= 0 || poll(&fd, 1, left) <= 0) {
                run.failure = QStringLiteral("no window within %1 ms").arg(kTimeoutMs);
                break;
            }
            continue;
        }
        const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
        const xcb_window_t w = mapped ? reinterpret_cast<xcb_map_notify_event_t*>(e)->window : 0;
        std::free(e);
        if (!mapped)
            continue;
        const double ms = p.clock.nsecsElapsed() / 1e6;
        const double memory = peakMemoryMb(p.pid);
        const double processor = processorMs(p.pid);
        const QString title = QString::fromUtf8(property(x, w, netWmName));
        if (title.startsWith(QStringLiteral("Авторизация"))) {
            run.ms = ms;
            run.memoryMb = memory;
            run.processorMs = processor;
        } else {
            run.failure = QStringLiteral("the first window is \"%1\", not the login").arg(title);
        }
        break;
    }
    stop(p.pid);
    if (!run.failure.isEmpty()) {
        QFile out(QString::fromStdString(log));
        if (out.open(QIODevice::ReadOnly))
            run.failure += QStringLiteral("; its output:\n") + QString::fromUtf8(out.readAll());
    }
    return run;
}

// The stamp row as it was, put back when the bench is done: every start
// stamps the database with this build, and the other builds started against
// it later must not be turned away as outdated.
class StampKeeper {
public:
    explicit StampKeeper(const QSqlDatabase& db) : db_(db) {
        QSqlQuery q = exec(db_, "select d, t from accounts_dep.ver limit 1");
        if (q.next())
            kept_ = {q.value(0).toInt(), q.value(1).toInt()};
    }
    ~StampKeeper() {
        try {
            if (!kept_) {
                exec(db_, "delete from accounts_dep.ver");
                return;
            }
            // A start only ever raises the stamp.
            exec(db_,
                 "update accounts_dep.ver set d = :d, t = :t where d > :d or (d = :d and t > :t)",
                 {{"d", kept_->first}, {"t", kept_->second}});
        } catch (const DbError& e) {
            std::fprintf(stderr, "startup_bench: the build stamp was not put back: %s\n",
                         qPrintable(e.text()));
        }
    }

private:
    QSqlDatabase db_;
    std::optional<std::pair<int, int>> kept_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: startup_bench <database> <server> <date>\n");
        return 2;
    }
    const QString program =
        QFileInfo(QCoreApplication::applicationDirPath() + "/../src/app/tabel").canonicalFilePath();
    if (program.isEmpty()) {
        std::fprintf(stderr, "startup_bench: build/src/app/tabel is not built\n");
        return 2;
    }
    const QString bareDialog = QCoreApplication::applicationDirPath() + "/bare_login_dialog";
    if (!QFileInfo(bareDialog).isExecutable()) {
        std::fprintf(stderr, "startup_bench: build/bench/bare_login_dialog is not built\n");
        return 2;
    }
    QSqlDatabase db = openDatabase(connectionString(argv[1], argv[2]));
    StampKeeper stamp(db);

    Xvfb xvfb;
    QString display = qEnvironmentVariable("TABEL_BENCH_DISPLAY");
    if (display.isEmpty()) {
        if (!xvfb.start()) {
            std::fprintf(stderr, "startup_bench: cannot start Xvfb\n");
            return 2;
        }
        display = xvfb.display;
    }
    int screenNumber = 0;
    xcb_connection_t* x = xcb_connect(qPrintable(display), &screenNumber);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "startup_bench: cannot open display %s\n", qPrintable(display));
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask));

    // The program's own environment, on this display, with the platform it
    // picks for itself.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        if (var.rfind("DISPLAY=", 0) != 0 && var.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.push_back(var);
    }
    env.push_back("DISPLAY=" + display.toStdString());
    const std::vector<std::string> command = {program.toStdString(), argv[1], argv[2]};
    const std::vector<std::string> bare = {bareDialog.toStdString()};
    const std::string log = QStringLiteral("/tmp/startup_bench.%1.log")
                                .arg(QCoreApplication::applicationPid())
                                .toStdString();

    // One start of each first that is not counted: it reads the libraries
    // and fonts from disk into the page cache, where every later start finds
    // them. The two then take turns, so that a change in the machine's load
    // weighs on both alike.
    struct Series {
        std::vector<double> times;
        std::vector<double> processor;
        double memory = 0;
    } tabelRuns, bareRuns;
    bool failed = false;
    for (int i = 0; i <= kRuns && !failed; ++i) {
        for (auto [what, series] : {std::pair{&command, &tabelRuns}, std::pair{&bare, &bareRuns}}) {
            const Run run = startOnce(x, *what, env, log);
            if (!run.failure.isEmpty()) {
                std::fprintf(stderr, "startup_bench: %s\n", qPrintable(run.failure));
                failed = true;
                break;
            }
            if (i > 0) {
                series->times.push_back(run.ms);
                series->processor.push_back(run.processorMs);
                series->memory = std::max(series->memory, run.memoryMb);
            }
        }
    }
    xcb_disconnect(x);
    unlink(log.c_str());
    if (failed)
        return 1;
    const auto detail = [](const Series& s) {
        return QStringLiteral("%1 starts, processor %2 ms, peak memory %3 MB, load %4")
            .arg(kRuns)
            .arg(median(s.processor), 0, 'f', 1)
            .arg(s.memory, 0, 'f', 1)
            .arg(loadAverage());
    };
    printTarget("start-up to the login window, median", median(tabelRuns.times), 100,
                detail(tabelRuns));
    printTarget("start-up to the login window, slowest",
                *std::max_element(tabelRuns.times.begin(), tabelRuns.times.end()), 100,
                detail(tabelRuns));
    std::printf("%-48s %9.1f ms   (%s)\n", "a bare dialog to its window, median",
                median(bareRuns.times), qPrintable(detail(bareRuns)));
    // The ratio of the medians is what the program adds to what any Qt
    // Widgets program costs on this machine; the processor's ratio is the
    // steadier of the two on a loaded machine.
    const double ratio = median(tabelRuns.times) / median(bareRuns.times);
    const double processorRatio = median(tabelRuns.processor) / median(bareRuns.processor);
    std::printf("%-48s %9.2f x    target < %5.2f x    %s   (processor %.2f x)\n",
                "start-up against a bare dialog, medians", ratio, kFloorRatio,
                ratio < kFloorRatio ? "ok" : "MISSED", processorRatio);
    return 0;
}
