#pragma once

#include "app/version_gate.h"
#include "session/context.h"

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;
class QTimer;

namespace tabel {

class MainWindow;

// "Авторизация": asks for the access code, applies its role to the main
// window and hands over to it. Closing this dialog ends the program.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    LoginDialog(AppContext& ctx, MainWindow& main, BuildStamp stamp, QWidget* parent = nullptr);
    // The main window is asked for only when the code has been entered, so
    // that the program can show this dialog before building it.
    LoginDialog(AppContext& ctx, std::function<MainWindow&()> main, BuildStamp stamp,
                QWidget* parent = nullptr);

    // "Вход": true when the code was accepted and the main window was handed
    // over; false after "Введены неверные данные.".
    bool enter();
    // One run of the version gate; ends the program when a newer build has
    // stamped the database.
    void runGate();
    // A tick of the main window's timer: one gate run, its errors shown by
    // the general handler. A tick that comes while an earlier run's box is
    // still open is skipped, so boxes do not pile up every 30 seconds.
    void gateTick();

    QLineEdit* codeEdit() const { return code_; }
    QTimer* exitTimer() const { return exitTimer_; }

    // Shows the main window modally and closes this dialog afterwards;
    // tests replace it.
    std::function<void()> handOver;
    // Requests the end of the program; tests replace it.
    std::function<void()> endProgram;

protected:
    void showEvent(QShowEvent* e) override;

private:
    AppContext& ctx_;
    std::function<MainWindow&()> main_;
    BuildStamp stamp_;
    QLineEdit* code_;
    QPushButton* enter_;
    QPushButton* cancel_;
    QTimer* exitTimer_;
    bool gateRunOnShow_ = false;
    bool gateRunning_ = false;
};

} // namespace tabel
