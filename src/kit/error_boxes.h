#pragma once

#include "db/messenger.h"

#include <QApplication>
#include <QString>
#include <functional>

namespace tabel {

// Message boxes for real users.
class BoxMessenger : public Messenger {
public:
    void error(const QString& caption, const QString& text) override;
    bool ask(const QString& caption, const QString& text) override;
    void inform(const QString& caption, const QString& text) override;
};

// The general error handler: shows an error's own text in an error box and
// lets the program carry on. Tests point it at a recording messenger.
// Returns the one it replaces.
Messenger* setErrorMessenger(Messenger* messenger);
void reportError(const QString& text);

// Runs a user action; an error escaping it is reported and the program goes on.
void guarded(const std::function<void()>& action);

// Catches what escapes any event handler or timer tick.
class TabelApplication : public QApplication {
public:
    TabelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tabel
