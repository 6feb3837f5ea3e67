#pragma once

#include "db/messenger.h"

#include <QApplication>
#include <QString>
#include <functional>

namespace tabel {

// Message boxes for real users.
class BoxMessenger : public Messenger {
public:
    using Messenger::error;
    void error(const QString& caption, const QString& text, const QString& detail) override;
    bool ask(const QString& caption, const QString& text) override;
    void inform(const QString& caption, const QString& text) override;
};

// The general error handler: shows an error box captioned "Ошибка" and lets
// the program carry on. A database error appears as one sentence in Russian,
// with the driver's or the server's own text as the detail; any other error
// with its own text. A write refused because its month is closed appears
// as that month's refusal under its own caption, whether the program's
// checks or the database refused it. A write the database refuses for lack
// of rights names the action and the role ("Недостаточно прав: …"). Tests
// point it at a recording messenger.
// Returns the one it replaces.
Messenger* setErrorMessenger(Messenger* messenger);
void reportError(const QString& text, const QString& detail = {});

// Runs a user action; an error escaping it is reported and the program goes on.
void guarded(const std::function<void()>& action);

// Catches what escapes any event handler or timer tick.
class TabelApplication : public QApplication {
public:
    TabelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tabel
