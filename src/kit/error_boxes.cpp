#include "error_boxes.h"

#include "db/sql.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace tabel {

namespace {
Messenger* errorMessenger = nullptr;

QMessageBox::StandardButton showBox(QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
    if (auto* yes = box.button(QMessageBox::Yes))
        yes->setText(QStringLiteral("Да"));
    if (auto* no = box.button(QMessageBox::No))
        no->setText(QStringLiteral("Нет"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
} // namespace

void BoxMessenger::error(const QString& caption, const QString& text) {
    showBox(QMessageBox::Critical, caption, text, QMessageBox::Ok);
}

bool BoxMessenger::ask(const QString& caption, const QString& text) {
    return showBox(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void BoxMessenger::inform(const QString& caption, const QString& text) {
    showBox(QMessageBox::Information, caption, text, QMessageBox::Ok);
}

Messenger* setErrorMessenger(Messenger* messenger) {
    return std::exchange(errorMessenger, messenger);
}

void reportError(const QString& text) {
    static BoxMessenger boxes;
    Messenger* m = errorMessenger ? errorMessenger : &boxes;
    m->error(QStringLiteral("Ошибка"), text);
}

void guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const DbError& e) {
        reportError(e.text());
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportError(QString());
    }
}

TabelApplication::TabelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TabelApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace tabel
