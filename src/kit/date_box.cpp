#include "date_box.h"

#include "db/typed_date.h"
#include "kit/error_boxes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>

namespace tabel {

namespace {

constexpr int kPartDigits[] = {2, 2, 4};

// Day, month and year as digits, any of them short or empty: the text of a
// date being typed.
bool digitParts(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (parts[i].size() > kPartDigits[i])
            return false;
        for (QChar c : parts[i])
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
    }
    return true;
}

bool movesToNextField(const QKeyEvent* e) {
    const QString t = e->text();
    return t == QLatin1String(".") || t == QLatin1String(",") || t == QLatin1String("/");
}

// Eats the mouse press that is being delivered: the click that took the
// focus from a refused date must not act on the date the box went back to.
class PressEater : public QObject {
public:
    explicit PressEater(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }
    ~PressEater() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::MouseButtonPress && e->type() != QEvent::MouseButtonDblClick)
            return false;
        qApp->removeEventFilter(this);
        deleteLater();
        return true;
    }
};

} // namespace

DateBox::DateBox(QWidget* parent) : DateBox(QDate(2000, 1, 1), parent) {}

DateBox::DateBox(const QDate& date, QWidget* parent) : QDateEdit(date, parent) {
    setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    setCalendarPopup(true);
    // The date follows the text when the typing ends, never a half-typed day.
    setKeyboardTracking(false);
    lineEdit()->installEventFilter(this);
}

std::optional<QDate> DateBox::typedDay() const {
    const auto day = typedDate(text());
    if (!day || *day < minimumDate() || *day > maximumDate())
        return std::nullopt;
    return day;
}

bool DateBox::halfTyped() const {
    return digitParts(text()) && !typedDay();
}

int DateBox::partAt(int position) const {
    const QStringList parts = text().split(QLatin1Char('.'));
    int end = 0;
    for (int i = 0; i < parts.size() && i < 3; ++i) {
        end += parts[i].size();
        if (position <= end)
            return i;
        ++end; // the point
    }
    return 2;
}

int DateBox::currentPart() const {
    const QLineEdit* edit = lineEdit();
    return partAt(edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition());
}

// A selection, unlike a bare cursor move, does not make Qt's box read the
// text, so a half-typed date survives the move.
void DateBox::selectPart(int part) {
    const QStringList parts = text().split(QLatin1Char('.'));
    int start = 0;
    for (int i = 0; i < part; ++i)
        start += parts[i].size() + 1;
    lineEdit()->setSelection(start, parts[part].size());
}

void DateBox::moveToPart(int from, int to) {
    QStringList parts = text().split(QLatin1Char('.'));
    if (from < 2 && parts[from].size() == 1) {
        // "1" left behind reads as "01", as Qt's box writes it; Qt reads a
        // field it has not written whole as unfinished.
        parts[from].prepend(QLatin1Char('0'));
        const QSignalBlocker quiet(lineEdit());
        lineEdit()->setText(parts.join(QLatin1Char('.')));
    }
    selectPart(to);
}

QValidator::State DateBox::validate(QString& input, int& pos) const {
    QString seen = input;
    int at = pos;
    const QValidator::State state = QDateEdit::validate(seen, at);
    if (seen == input || !digitParts(input)) {
        input = seen;
        pos = at;
        return state;
    }
    // Qt would write other digits than those typed. Only a mere rewriting of
    // the same day ("5" as "05") is let through; a day cut to the month's
    // last one is not, and the text stays as typed.
    const auto typed = typedDate(input);
    if (typed && typed == typedDate(seen)) {
        input = seen;
        pos = at;
        return state;
    }
    return typed ? QValidator::Acceptable : QValidator::Intermediate;
}

void DateBox::fixup(QString& input) const {
    if (!digitParts(input))
        QDateEdit::fixup(input);
}

QDateTime DateBox::dateTimeFromText(const QString& text) const {
    if (const auto day = typedDate(text)) {
        QDateTime value = dateTime();
        value.setDate(*day);
        return value;
    }
    return QDateEdit::dateTimeFromText(text);
}

bool DateBox::settle() {
    const QString typed = text();
    if (const auto day = typedDay()) {
        setDate(*day);
        return true;
    }
    refuse(typed, Tell::Now);
    return false;
}

void DateBox::refuse(const QString& typed, Tell when) {
    const QString caption = accessibleName().isEmpty() ? QStringLiteral("Дата") : accessibleName();
    const QString message = typedDateMessage(caption, typed, date());
    setDate(date()); // shows the box's date again
    if (when == Tell::Now) {
        reportError(message);
        return;
    }
    QPointer<PressEater> eater = when == Tell::AfterTheClick ? new PressEater(this) : nullptr;
    QTimer::singleShot(0, this, [message, eater] {
        delete eater.data(); // it has eaten its press by now
        reportError(message);
    });
}

void DateBox::keyPressEvent(QKeyEvent* e) {
    const bool wasMovedOn = std::exchange(justMovedOn_, false);
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!settle()) {
            e->accept();
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // A step starts from the typed day, or not at all.
        if (halfTyped() && !settle()) {
            e->accept();
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        // A bare cursor move would make Qt read a half-typed text and drop
        // it: the arrows go field by field, by selection.
        if (digitParts(text()) && !(e->modifiers() & Qt::ShiftModifier)) {
            const int from = currentPart();
            const int to = e->key() == Qt::Key_Home  ? 0
                           : e->key() == Qt::Key_End ? 2
                                                     : from + (e->key() == Qt::Key_Left ? -1 : 1);
            moveToPart(from, std::clamp(to, 0, 2));
            e->accept();
            return;
        }
        break;
    default:
        break;
    }
    if (movesToNextField(e)) {
        // "15." types the day and its point: the field the last digit moved
        // on to is not skipped.
        if (!wasMovedOn)
            focusNextPrevChild(true);
        e->accept();
        return;
    }
    const bool digit = e->text().size() == 1 && e->text().at(0).isDigit();
    const int before = currentPart();
    QDateEdit::keyPressEvent(e);
    if (!digit)
        return;
    if (lineEdit()->hasSelectedText()) {
        justMovedOn_ = currentPart() != before;
        return;
    }
    // Qt moves on only from a text that names a day; a full day or month
    // that names none yet ("31" over November) moves on here.
    const int part = currentPart();
    const QStringList parts = text().split(QLatin1Char('.'));
    int end = parts[0].size();
    for (int i = 1; i <= part; ++i)
        end += 1 + parts[i].size();
    if (part < 2 && halfTyped() && parts[part].size() == kPartDigits[part] &&
        lineEdit()->cursorPosition() == end) {
        selectPart(part + 1);
        justMovedOn_ = true;
    }
}

void DateBox::wheelEvent(QWheelEvent* e) {
    if (halfTyped() && !settle())
        return;
    QDateEdit::wheelEvent(e);
}

bool DateBox::focusNextPrevChild(bool next) {
    if (std::exchange(justMovedOn_, false) && next && hasFocus())
        return true; // Tab after a field filled itself: that field, not the one after it
    if (hasFocus() && digitParts(text())) {
        const int to = currentPart() + (next ? 1 : -1);
        if (to >= 0 && to <= 2) {
            moveToPart(currentPart(), to);
            return true;
        }
    }
    return QDateEdit::focusNextPrevChild(next);
}

void DateBox::focusOutEvent(QFocusEvent* e) {
    justMovedOn_ = false;
    // The own calendar and a context menu take the focus for a moment; the
    // typing goes on after them.
    if (e->reason() != Qt::PopupFocusReason && halfTyped()) {
        if (isVisible())
            refuse(text(), e->reason() == Qt::MouseFocusReason ? Tell::AfterTheClick
                                                               : Tell::AfterTheFocusMove);
        else
            setDate(date()); // a closing window: nothing typed here counts
    }
    QDateEdit::focusOutEvent(e);
}

bool DateBox::eventFilter(QObject* o, QEvent* e) {
    if (o == lineEdit() &&
        (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick)) {
        justMovedOn_ = false;
        if (halfTyped()) {
            // A bare cursor move would make Qt read the half-typed text and
            // drop it; the clicked field is selected instead.
            const auto* mouse = static_cast<QMouseEvent*>(e);
            const int part = partAt(lineEdit()->cursorPositionAt(mouse->position().toPoint()));
            if (!hasFocus())
                setFocus(Qt::MouseFocusReason);
            selectPart(part);
            return true;
        }
    }
    return QDateEdit::eventFilter(o, e);
}

} // namespace tabel
