#include "date_box.h"

#include "db/typed_date.h"
#include "kit/error_boxes.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace tabel {

namespace {

constexpr int kPartDigits[] = {2, 2, 4};
constexpr QDateTimeEdit::Section kSections[] = {
    QDateTimeEdit::DaySection, QDateTimeEdit::MonthSection, QDateTimeEdit::YearSection};

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Day, month and year as digits, any of them short or empty: the text of a
// date being typed.
bool digitParts(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        if (parts[i].size() > kPartDigits[i] ||
            !std::all_of(parts[i].begin(), parts[i].end(), isDigit))
            return false;
    }
    return true;
}

int partAt(const QString& text, int position) {
    const QStringList parts = text.split(QLatin1Char('.'));
    int end = 0;
    for (int i = 0; i < parts.size() && i < 3; ++i) {
        end += parts[i].size();
        if (position <= end)
            return i;
        ++end; // the point
    }
    return 2;
}

int partStart(const QStringList& parts, int part) {
    int start = 0;
    for (int i = 0; i < part; ++i)
        start += parts[i].size() + 1;
    return start;
}

// The digits of [from, to) taken out, the points kept: what is rubbed out
// empties fields and never runs two of them together.
QString withoutDigits(const QString& text, int from, int to) {
    QString out;
    for (int i = 0; i < text.size(); ++i)
        if (i < from || i >= to || text[i] == QLatin1Char('.'))
            out += text[i];
    return out;
}

bool movesToNextField(const QString& t) {
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

bool DateBox::typing() const {
    return text() != date().toString(displayFormat());
}

int DateBox::currentPart() const {
    const QLineEdit* edit = lineEdit();
    return partAt(text(),
                  edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition());
}

// Every move of the cursor over a typed text is made here, unseen by Qt's
// box: it reads the text whenever the cursor enters another field, and
// drops a text that names no day yet.
void DateBox::putText(const QString& text, int cursor) {
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(text);
    lineEdit()->setCursorPosition(cursor);
}

void DateBox::selectPart(int part) {
    const QStringList parts = text().split(QLatin1Char('.'));
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setSelection(partStart(parts, part), parts[part].size());
}

void DateBox::moveToPart(int from, int to) {
    QStringList parts = text().split(QLatin1Char('.'));
    if (from < 2 && parts[from].size() == 1) {
        // "1" left behind reads as "01", as Qt's box writes it.
        parts[from].prepend(QLatin1Char('0'));
        putText(parts.join(QLatin1Char('.')), 0);
    }
    selectPart(to);
}

void DateBox::typeDigit(QChar digit) {
    const QLineEdit* edit = lineEdit();
    QString t = text();
    int at = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        at = edit->selectionStart();
        t = withoutDigits(t, at, edit->selectionEnd());
    }
    if (!digitParts(t))
        return;
    QStringList parts = t.split(QLatin1Char('.'));
    int part = partAt(t, at);
    int start = partStart(parts, part);
    if (parts[part].size() < kPartDigits[part]) {
        parts[part].insert(at - start, digit);
    } else if (at < start + parts[part].size()) {
        parts[part][at - start] = digit; // a full field is typed over
    } else if (part < 2) {
        // At the end of a full field the digit begins the next one afresh,
        // as when the field had moved on by itself.
        ++part;
        start = partStart(parts, part);
        parts[part] = digit;
        at = start;
    } else {
        return;
    }
    ++at;
    putText(parts.join(QLatin1Char('.')), at);
    if (part < 2 && parts[part].size() == kPartDigits[part] && at == start + parts[part].size()) {
        selectPart(part + 1);
        justMovedOn_ = true;
    }
}

void DateBox::typeSeparator(bool wasMovedOn) {
    // "15." types the day and its point: the field the last digit moved on
    // to is not skipped.
    const int part = currentPart();
    if (!wasMovedOn && part < 2)
        moveToPart(part, part + 1);
}

void DateBox::erase(bool backward) {
    const QLineEdit* edit = lineEdit();
    QString t = text();
    int at = edit->cursorPosition();
    if (edit->hasSelectedText()) {
        at = edit->selectionStart();
        t = withoutDigits(t, at, edit->selectionEnd());
    } else if (backward) {
        // Over a point onto the digit before it.
        int i = at - 1;
        while (i >= 0 && t[i] == QLatin1Char('.'))
            --i;
        if (i < 0)
            return;
        t.remove(i, 1);
        at = i;
    } else {
        int i = at;
        while (i < t.size() && t[i] == QLatin1Char('.'))
            ++i;
        if (i >= t.size())
            return;
        t.remove(i, 1);
        at = i;
    }
    if (digitParts(t))
        putText(t, at);
}

void DateBox::cut() {
    if (!lineEdit()->hasSelectedText())
        return;
    QGuiApplication::clipboard()->setText(lineEdit()->selectedText());
    erase(true);
}

void DateBox::pasteText(const QString& pasted) {
    static const QRegularExpression apart(QStringLiteral("[.,/\\-\\s]+"));
    const QString trimmed = pasted.trimmed();
    const QStringList groups = trimmed.split(apart);
    const bool digits = !trimmed.isEmpty() && groups.size() <= 3 &&
                        std::all_of(groups.begin(), groups.end(), [](const QString& g) {
                            return !g.isEmpty() && std::all_of(g.begin(), g.end(), isDigit);
                        });
    if (!digits) {
        refuse(trimmed, Tell::Now);
        return;
    }
    if (groups.size() == 3) {
        // A whole date replaces the text, whatever part of it was selected.
        const QSignalBlocker quiet(lineEdit());
        lineEdit()->selectAll();
    }
    justMovedOn_ = false;
    for (int i = 0; i < groups.size(); ++i) {
        if (i > 0)
            typeSeparator(std::exchange(justMovedOn_, false));
        for (QChar c : groups[i]) {
            justMovedOn_ = false;
            typeDigit(c);
        }
    }
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

bool DateBox::stepFromTypedDay() {
    const int part = currentPart();
    if (typing() && !settle())
        return false;
    // Qt steps the field it last saw the cursor in.
    setCurrentSection(kSections[part]);
    setSelectedSection(kSections[part]);
    return true;
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
    if (e->matches(QKeySequence::Paste)) {
        pasteText(QGuiApplication::clipboard()->text());
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        cut();
        e->accept();
        return;
    }
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
        if (!stepFromTypedDay()) {
            e->accept();
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        if (digitParts(text()) && (e->modifiers() & Qt::ShiftModifier)) {
            // A selection grown by the keys, unseen by Qt's box like every
            // move here; what is typed next replaces it.
            QLineEdit* edit = lineEdit();
            const QSignalBlocker quiet(edit);
            switch (e->key()) {
            case Qt::Key_Left:
                edit->cursorBackward(true);
                break;
            case Qt::Key_Right:
                edit->cursorForward(true);
                break;
            case Qt::Key_Home:
                edit->home(true);
                break;
            default:
                edit->end(true);
                break;
            }
            e->accept();
            return;
        }
        // The arrows go field by field, by selection.
        if (digitParts(text())) {
            const int from = currentPart();
            const int to = e->key() == Qt::Key_Home  ? 0
                           : e->key() == Qt::Key_End ? 2
                                                     : from + (e->key() == Qt::Key_Left ? -1 : 1);
            moveToPart(from, std::clamp(to, 0, 2));
            e->accept();
            return;
        }
        break;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        erase(e->key() == Qt::Key_Backspace);
        e->accept();
        return;
    default:
        break;
    }
    const QString typed = e->text();
    const bool plain =
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && typed.size() == 1 && typed[0].isPrint()) {
        if (movesToNextField(typed))
            typeSeparator(wasMovedOn);
        else if (isDigit(typed[0]))
            typeDigit(typed[0]);
        // Any other character names no part of a date.
        e->accept();
        return;
    }
    QDateEdit::keyPressEvent(e);
}

void DateBox::wheelEvent(QWheelEvent* e) {
    if (!stepFromTypedDay())
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
        // Out of the box, past Qt's idea of the field the cursor is in.
        return QWidget::focusNextPrevChild(next);
    }
    return QDateEdit::focusNextPrevChild(next);
}

void DateBox::focusOutEvent(QFocusEvent* e) {
    justMovedOn_ = false;
    // The own calendar and a context menu take the focus for a moment; the
    // typing goes on after them.
    if (e->reason() != Qt::PopupFocusReason && typing()) {
        if (const auto day = typedDay())
            setDate(*day);
        else if (isVisible())
            refuse(text(), e->reason() == Qt::MouseFocusReason ? Tell::AfterTheClick
                                                               : Tell::AfterTheFocusMove);
        else
            setDate(date()); // a closing window: a half-typed day counts for nothing
    }
    QDateEdit::focusOutEvent(e);
}

bool DateBox::eventFilter(QObject* o, QEvent* e) {
    if (o == lineEdit() &&
        (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick)) {
        justMovedOn_ = false;
        if (typing()) {
            // Qt's box would read the typed text on the cursor's move and
            // drop it; the clicked field is selected instead.
            const auto* mouse = static_cast<QMouseEvent*>(e);
            const int part =
                partAt(text(), lineEdit()->cursorPositionAt(mouse->position().toPoint()));
            if (!hasFocus())
                setFocus(Qt::MouseFocusReason);
            selectPart(part);
            return true;
        }
    }
    return QDateEdit::eventFilter(o, e);
}

// The line edit's own menu would edit the text behind this box's back; this
// one edits it as the keys do.
void DateBox::contextMenuEvent(QContextMenuEvent* e) {
    auto tr = [](const char* context, const char* text) {
        return QCoreApplication::translate(context, text);
    };
    auto keys = [](QKeySequence::StandardKey k) {
        return QLatin1Char('\t') + QKeySequence(k).toString(QKeySequence::NativeText);
    };
    const bool selected = lineEdit()->hasSelectedText();
    const bool pastable = !QGuiApplication::clipboard()->text().isEmpty();
    QMenu menu(this);
    QAction* cutAction = menu.addAction(tr("QLineEdit", "Cu&t") + keys(QKeySequence::Cut));
    cutAction->setEnabled(selected);
    QAction* copy = menu.addAction(tr("QLineEdit", "&Copy") + keys(QKeySequence::Copy));
    copy->setEnabled(selected);
    QAction* paste = menu.addAction(tr("QLineEdit", "&Paste") + keys(QKeySequence::Paste));
    paste->setEnabled(pastable);
    QAction* remove = menu.addAction(tr("QLineEdit", "Delete"));
    remove->setEnabled(selected);
    menu.addSeparator();
    QAction* all =
        menu.addAction(tr("QAbstractSpinBox", "&Select All") + keys(QKeySequence::SelectAll));
    menu.addSeparator();
    const StepEnabled steps = stepEnabled();
    QAction* up = menu.addAction(tr("QAbstractSpinBox", "&Step up"));
    up->setEnabled(steps & StepUpEnabled);
    QAction* down = menu.addAction(tr("QAbstractSpinBox", "Step &down"));
    down->setEnabled(steps & StepDownEnabled);
    const QPointer<DateBox> that = this;
    const QAction* chosen = menu.exec(e->globalPos());
    e->accept();
    if (!that || !chosen)
        return;
    justMovedOn_ = false;
    if (chosen == cutAction)
        cut();
    else if (chosen == copy)
        QGuiApplication::clipboard()->setText(lineEdit()->selectedText());
    else if (chosen == paste)
        pasteText(QGuiApplication::clipboard()->text());
    else if (chosen == remove)
        erase(true);
    else if (chosen == all)
        selectAll();
    else if ((chosen == up || chosen == down) && stepFromTypedDay())
        stepBy(chosen == up ? 1 : -1);
}

} // namespace tabel
