#include "error_boxes.h"

#include "db/closed_month_checks.h"
#include "db/rights.h"
#include "db/sql.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <utility>

namespace tabel {

namespace {
Messenger* errorMessenger = nullptr;

QMessageBox::StandardButton showBox(QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    const QString& detail = {}) {
    QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    if (auto* yes = box.button(QMessageBox::Yes))
        yes->setText(QStringLiteral("Да"));
    if (auto* no = box.button(QMessageBox::No))
        no->setText(QStringLiteral("Нет"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
} // namespace

void BoxMessenger::error(const QString& caption, const QString& text, const QString& detail) {
    showBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, detail);
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

namespace {
void report(const QString& caption, const QString& text, const QString& detail = {}) {
    static BoxMessenger boxes;
    Messenger* m = errorMessenger ? errorMessenger : &boxes;
    m->error(caption, text, detail);
}
} // namespace

void reportError(const QString& text, const QString& detail) {
    report(QStringLiteral("Ошибка"), text, detail);
}

void guarded(const std::function<void()>& action) {
    try {
        action();
    } catch (const ConnectionLost& e) {
        reportError(e.restored()
                        ? QStringLiteral("Связь с базой данных была потеряна. Изменение "
                                         "могло не сохраниться: проверьте данные.")
                        : QStringLiteral("Нет связи с базой данных. Повторите действие позже."),
                    e.text());
    } catch (const std::exception& e) {
        // A write into a closed month, refused by our checks or by the
        // database's, is the user's plain message, not a failure.
        const auto* db = dynamic_cast<const DbError*>(&e);
        if (const auto closed = closedMonthOfError(e))
            report(QString::fromUtf8(kClosedMonthCaption), closedMonthText(*closed));
        else if (db && lacksRights(*db))
            // The database's own refusal of what this login may not do.
            reportError(rightsRefusalText(*db), db->text());
        else if (db)
            reportError(QStringLiteral("Ошибка при обращении к базе данных."), db->text());
        else
            reportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportError(QString());
    }
}

namespace {
// The texts Qt itself puts on a message box that has a detail, for a program
// that ships without Qt's translation files.
class BoxTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                      int /*n*/) const override {
        if (qstrcmp(context, "QMessageBox") != 0)
            return {};
        if (qstrcmp(source, "Show Details...") == 0)
            return QStringLiteral("Показать подробности...");
        if (qstrcmp(source, "Hide Details...") == 0)
            return QStringLiteral("Скрыть подробности...");
        return {};
    }
};
} // namespace

TabelApplication::TabelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    installTranslator(new BoxTexts(this));
}

bool TabelApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace tabel
