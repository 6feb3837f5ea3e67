#include "login_dialog.h"

#include "db/session_identity.h"
#include "db/sql.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "session/roles.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tabel {

LoginDialog::LoginDialog(AppContext& ctx, MainWindow& main, BuildStamp stamp, QWidget* parent)
    : LoginDialog(
          ctx, [&main]() -> MainWindow& { return main; }, stamp, parent) {}

LoginDialog::LoginDialog(AppContext& ctx, std::function<MainWindow&()> main, BuildStamp stamp,
                         QWidget* parent)
    : QDialog(parent), ctx_(ctx), main_(std::move(main)), stamp_(stamp) {
    setObjectName("TForm23");
    setWindowTitle("Авторизация");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    code_ = new QLineEdit(this);
    code_->setObjectName("Edit1");
    code_->setEchoMode(QLineEdit::Password);
    // "*" for each character, whatever mask character the desktop style
    // would pick.
    code_->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
    code_->setMinimumWidth(220);
    auto* label = new QLabel("Код доступа", this);
    label->setBuddy(code_);
    code_->setAccessibleName(label->text());

    enter_ = new QPushButton("Вход", this);
    enter_->setObjectName("Button1");
    enter_->setDefault(true);
    cancel_ = new QPushButton("Отмена", this);
    cancel_->setObjectName("Button2");
    connect(enter_, &QPushButton::clicked, this, [this] { guarded([this] { enter(); }); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(label, code_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(enter_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    exitTimer_ = new QTimer(this);
    exitTimer_->setObjectName("Timer1");
    exitTimer_->setInterval(5000);
    exitTimer_->setSingleShot(true);
    connect(exitTimer_, &QTimer::timeout, this, [this] { endProgram(); });

    endProgram = [] {
        QApplication::closeAllWindows();
        QCoreApplication::exit(0);
    };
    handOver = [this] {
        hide();
        main_().exec();
        close();
        QCoreApplication::exit(0);
    };
}

void LoginDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (gateRunOnShow_)
        return;
    gateRunOnShow_ = true;
    QTimer::singleShot(0, this, [this] {
        guarded([this] { runGate(); });
        setWindowTitle(loginCaption(stamp_));
    });
}

void LoginDialog::runGate() {
    VersionGate gate(ctx_.db(), stamp_);
    const VersionGate::Outcome outcome = gate.run();
    ctx_.data.setDecimalSeparator(gate.decimalSeparator());
    if (outcome != VersionGate::Outcome::Outdated)
        return;
    exitTimer_->start();
    ctx_.messenger.error("Ошибка", kOutdatedMessage);
    endProgram();
}

void LoginDialog::gateTick() {
    // A rebuild's or the import's progress lets timer ticks through while
    // its transaction is open, under its locks: the gate's statements would
    // join that transaction, and an outdated build would end the program in
    // its middle. The gate waits for a tick outside it.
    if (gateRunning_ || Transaction::active(ctx_.db()))
        return;
    gateRunning_ = true;
    guarded([this] { runGate(); });
    gateRunning_ = false;
}

bool LoginDialog::enter() {
    const QString code = trimmedCode(code_->text());
    const Role role = roleForCode(code);
    ctx_.state.shift = 1;
    ctx_.state.accessWord = code;
    MainWindow& main = main_();
    main.setTimesheetMenuEnabled(role == Role::Administrator);
    if (role == Role::None) {
        ctx_.messenger.error("Ошибка", "Введены неверные данные.");
        return false;
    }
    // From here on the database's history names the role with every change.
    setSessionRole(ctx_.db(), roleName(role));
    for (int s = 1; s <= 4; ++s)
        ctx_.data.shiftList(s).setParam("ok", QStringLiteral("ta"));
    main.applyRestrictions(restrictionsFor(role));
    handOver();
    return true;
}

} // namespace tabel
