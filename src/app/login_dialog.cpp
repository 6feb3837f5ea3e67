#include "login_dialog.h"

#include "db/schema_steps.h"
#include "db/session_identity.h"
#include "db/sql.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "session/person_login.h"
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
    codeLabel_ = new QLabel("Код доступа", this);
    codeLabel_->setBuddy(code_);
    code_->setAccessibleName(codeLabel_->text());

    enter_ = new QPushButton("Вход", this);
    enter_->setObjectName("Button1");
    enter_->setDefault(true);
    cancel_ = new QPushButton("Отмена", this);
    cancel_->setObjectName("Button2");
    connect(enter_, &QPushButton::clicked, this, [this] { guarded([this] { enter(); }); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    form_ = new QFormLayout;
    form_->addRow(codeLabel_, code_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(enter_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form_);
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

void LoginDialog::usePersonLogin(const ConnectionTarget& target) {
    person_ = target;
    user_ = new QLineEdit(this);
    user_->setObjectName("EditUser");
    auto* userLabel = new QLabel("Пользователь", this);
    userLabel->setBuddy(user_);
    user_->setAccessibleName(userLabel->text());
    form_->insertRow(0, userLabel, user_);
    codeLabel_->setText("Пароль");
    code_->setAccessibleName(codeLabel_->text());
    setTabOrder(user_, code_);
    user_->setFocus();
}

void LoginDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (gateRunOnShow_)
        return;
    gateRunOnShow_ = true;
    // No connection yet: the gate waits for the person's.
    if (person_) {
        setWindowTitle(loginCaption(stamp_));
        return;
    }
    QTimer::singleShot(0, this, [this] {
        guarded([this] { runGate(); });
        setWindowTitle(loginCaption(stamp_));
    });
}

bool LoginDialog::runGate() {
    VersionGate gate(ctx_.db(), stamp_);
    const VersionGate::Outcome outcome = gate.run();
    ctx_.data.setDecimalSeparator(gate.decimalSeparator());
    if (outcome != VersionGate::Outcome::Outdated)
        return true;
    exitTimer_->start();
    ctx_.messenger.error("Ошибка", kOutdatedMessage);
    endProgram();
    return false;
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
    if (person_)
        return enterAsPerson();
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
    admit(role, main);
    return true;
}

bool LoginDialog::enterAsPerson() {
    ctx_.state.shift = 1;
    ctx_.state.accessWord.clear();
    ctx_.state.personRole = Role::None;
    const QString user = user_->text().trimmed();
    QString password = code_->text();
    // Typed again after a refusal, and not left in the field after a login.
    code_->clear();
    Role role = Role::None;
    try {
        role = openAsPerson(ctx_.db(), *person_, user, password);
    } catch (const LoginRefused& e) {
        password.fill(QChar(u' '));
        reportError(e.text(), e.detail());
        return false;
    }
    password.fill(QChar(u' '));
    // What the code login checks before the dialog appears.
    const QString refusal = schemaRefusal(readSchemaState(ctx_.db()));
    if (!refusal.isEmpty()) {
        ctx_.messenger.error("Ошибка!", refusal);
        endProgram();
        return false;
    }
    if (!runGate())
        return false;
    ctx_.state.personRole = role;
    MainWindow& main = main_();
    main.setTimesheetMenuEnabled(role == Role::Administrator);
    admit(role, main);
    return true;
}

void LoginDialog::admit(Role role, MainWindow& main) {
    // From here on the database's history names the role with every change.
    setSessionRole(ctx_.db(), roleName(role));
    for (int s = 1; s <= 4; ++s)
        ctx_.data.shiftList(s).setParam("ok", QStringLiteral("ta"));
    main.applyRestrictions(restrictionsFor(role));
    handOver();
}

} // namespace tabel
