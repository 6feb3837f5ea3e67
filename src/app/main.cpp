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

#include <QDebug>
#include <QMessageBox>
#include <QSysInfo>
#include <QTimer>

using namespace tabel;

int main(int argc, char** argv) {
    TabelApplication app(argc, argv);
    speakRussian(app);
    app.setQuitOnLastWindowClosed(false);

    QSqlDatabase db;
    try {
        const ConnectionTarget target =
            resolveConnection(ConfigFiles::standard(), app.arguments().mid(1));
        for (const QString& warning : target.warnings)
            qWarning().noquote() << warning;
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
    // The program never upgrades the schema itself: that is the
    // administrator's step, taken once for all workstations.
    try {
        const QString refusal = schemaRefusal(readSchemaState(db));
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
    AppContext ctx{data, boxes, {}};
    MainWindow main(ctx);
    LoginDialog login(ctx, main, buildStamp());
    QObject::connect(&login, &QDialog::rejected, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(main.gateTimer(), &QTimer::timeout, &login, &LoginDialog::gateTick);
    Windows windows(ctx, main);
    login.show();
    return app.exec();
}
