#pragma once

#include "app/version_gate.h"
#include "db/config.h"
#include "session/context.h"

#include <QDialog>
#include <functional>
#include <optional>

class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tabel {

class MainWindow;

// "Авторизация": asks for the access code, applies its role to the main
// window and hands over to it. Closing this dialog ends the program.
//
// Under a login per person it asks for a PostgreSQL user and password
// instead, connects with them and takes the role from the user's groups; the
// database is then unknown until that connection, so the version gate runs
// only after it.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    LoginDialog(AppContext& ctx, MainWindow& main, BuildStamp stamp, QWidget* parent = nullptr);
    // The main window is asked for only when the code has been entered, so
    // that the program can show this dialog before building it.
    LoginDialog(AppContext& ctx, std::function<MainWindow&()> main, BuildStamp stamp,
                QWidget* parent = nullptr);

    // Switches to the login per person on `target`'s database, before the
    // dialog is first shown. The connection stays closed until "Вход".
    void usePersonLogin(const ConnectionTarget& target);

    // "Вход": true when the code (or the person) was accepted and the main
    // window was handed over; false after a refusal.
    bool enter();
    // One run of the version gate; ends the program, and answers false, when
    // a newer build has stamped the database.
    bool runGate();
    // A tick of the main window's timer: one gate run, its errors shown by
    // the general handler. A tick that comes while an earlier run's box is
    // still open is skipped, so boxes do not pile up every 30 seconds.
    void gateTick();

    // The access code, or under a login per person the password.
    QLineEdit* codeEdit() const { return code_; }
    // The PostgreSQL user; null under the code login.
    QLineEdit* userEdit() const { return user_; }
    QTimer* exitTimer() const { return exitTimer_; }

    // Shows the main window modally and closes this dialog afterwards;
    // tests replace it.
    std::function<void()> handOver;
    // Requests the end of the program; tests replace it.
    std::function<void()> endProgram;

protected:
    void showEvent(QShowEvent* e) override;

private:
    bool enterAsPerson();
    // What every accepted login does: the role into the session and the
    // main window, then the hand-over.
    void admit(Role role, MainWindow& main);

    AppContext& ctx_;
    std::function<MainWindow&()> main_;
    BuildStamp stamp_;
    QLineEdit* code_;
    QLabel* codeLabel_;
    QFormLayout* form_;
    QLineEdit* user_ = nullptr;
    std::optional<ConnectionTarget> person_;
    QPushButton* enter_;
    QPushButton* cancel_;
    QTimer* exitTimer_;
    bool gateRunOnShow_ = false;
    bool gateRunning_ = false;
};

} // namespace tabel
