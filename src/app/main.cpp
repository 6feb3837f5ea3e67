#include "app/language.h"
#include "app/login_dialog.h"
#include "app/version_gate.h"
#include "app/windows.h"
#include "db/config.h"
#include "db/connection.h"
#include "db/data_module.h"
#include "db/schema_steps.h"
#include "db/session_identity.h"
#include "db/sql.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "session/context.h"

#include <QEvent>
#include <QMessageBox>
#include <QSysInfo>
#include <QTimer>
#include <functional>
#include <memory>

using namespace tabel;

namespace {

// Runs `then` once, from the event loop, after `w` has first been painted,
// so that the work it does never holds back the window's first picture.
void afterFirstPaint(QWidget* w, std::function<void()> then) {
    class Watch : public QObject {
    public:
        Watch(QWidget* w, std::function<void()> then) : QObject(w), then_(std::move(then)) {
            w->installEventFilter(this);
        }
        bool eventFilter(QObject* watched, QEvent* e) override {
            if (e->type() == QEvent::Paint) {
                watched->removeEventFilter(this);
                QTimer::singleShot(0, watched, std::move(then_));
                deleteLater();
            }
            return false;
        }

    private:
        std::function<void()> then_;
    };
    new Watch(w, std::move(then));
}

} // namespace

int main(int argc, char** argv) {
    TabelApplication app(argc, argv);
    speakRussian(app);
    app.setQuitOnLastWindowClosed(false);

    QSqlDatabase db;
    ConnectionTarget target;
    try {
        target = resolveConnection(ConfigFiles::standard(), app.arguments().mid(1));
        // A person's connection waits for their name and password.
        if (target.login == LoginMode::Person)
            db = prepareDatabase(personConnectionString(target.database, target.server, {}));
        else
            db = openDatabase(connectionString(target.database, target.server));
        // The role follows at the login.
        setSessionIdentity(db, {QStringLiteral("tabel"), {}, QSysInfo::machineHostName()});
    } catch (const ConfigError& e) {
        QMessageBox::critical(nullptr, "Ошибка!", e.text());
        return 1;
    } catch (const std::exception&) {
        QMessageBox::critical(nullptr, "Ошибка!", "Подключение к БД отсутсвует!!!");
        return 1;
    }
    const bool personLogin = target.login == LoginMode::Person;
    // The program never upgrades the schema itself: that is the
    // administrator's step, taken once for all workstations.
    try {
        const QString refusal = personLogin ? QString() : schemaRefusal(readSchemaState(db));
        if (!refusal.isEmpty()) {
            QMessageBox::critical(nullptr, "Ошибка!", refusal);
            return 1;
        }
    } catch (const DbError& e) {
        QMessageBox::critical(nullptr, "Ошибка!", e.text());
        return 1;
    }

    BoxMessenger boxes;
    DataModule data(db, boxes);
    // The bulk reading of reports, statements, exports and printed sheets
    // goes to the plant's standby when tabel.conf names one.
    ReadingConnection reading(db,
                              {target.reportServer, target.reportDatabase, target.reportMaxLag});
    AppContext ctx{data, boxes, {}};
    ctx.reading = &reading;
    // The journal and every other window take longer to build than the
    // login window itself: they are built once the login window is on the
    // screen, while the code is being typed, and at the latest when it is
    // entered (a person's login: once connected).
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<Windows> windows;
    LoginDialog* login = nullptr;
    auto journal = [&]() -> MainWindow& {
        if (!main) {
            main = std::make_unique<MainWindow>(ctx);
            QObject::connect(main->gateTimer(), &QTimer::timeout, login, &LoginDialog::gateTick);
            windows = std::make_unique<Windows>(ctx, *main);
        }
        return *main;
    };
    LoginDialog dialog(ctx, journal, buildStamp());
    login = &dialog;
    QObject::connect(&dialog, &QDialog::rejected, &app, [] { QCoreApplication::exit(0); });
    // Under a login per person the windows wait for the person's connection.
    if (personLogin)
        dialog.usePersonLogin(target);
    else
        afterFirstPaint(&dialog, [&] { journal(); });
    dialog.show();
    return app.exec();
}
