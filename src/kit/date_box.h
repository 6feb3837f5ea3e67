#pragma once

#include <QDateEdit>
#include <optional>

namespace tabel {

// The program's date picker: "dd.MM.yyyy" with a drop-down calendar.
//
// What is typed stays as typed. Qt's own box reads a typed day against the
// month it shows, so 31 typed over 29.11 turns into 30.11 and the month typed
// next keeps the 30: a date typed field by field ends on another day. And it
// refuses a keystroke that would leave a text it cannot read, so the digits
// typed over a selected date, or after the date was rubbed out, were lost.
// Here the box edits its text itself, field by field: a digit goes into the
// field of the cursor, a selection or Backspace empties fields but keeps
// their points, and a pasted date is typed in. The date changes only when
// the typing ends: Enter, leaving the box, or a step with the arrows or the
// wheel. A text that then names no day ("31.02.2026", "15..") is refused:
// the box shows its date again and says so through the general error
// handler, and the click that took the focus away does nothing. The
// calendar and setDate() set the date at once.
class DateBox : public QDateEdit {
    Q_OBJECT
public:
    explicit DateBox(QWidget* parent = nullptr);
    explicit DateBox(const QDate& date, QWidget* parent = nullptr);

    // Ends the typing now: the box takes the day its text names (true), or
    // refuses a text that names none and says so (false). For a window that
    // acts on a key before the box sees it.
    bool settle();

    // Pastes `text` as if typed: a whole date replaces the box's text, digits
    // go in at the cursor; anything else is refused and said so.
    void pasteText(const QString& text);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    QDateTime dateTimeFromText(const QString& text) const override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* o, QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    enum class Tell { Now, AfterTheClick, AfterTheFocusMove };
    std::optional<QDate> typedDay() const; // the day the text names, within the box's range
    bool typing() const;                   // a text other than the date's own
    int currentPart() const;               // 0 day, 1 month, 2 year
    void selectPart(int part);
    void moveToPart(int from, int to);
    bool stepFromTypedDay(); // before a step: the typed day, and Qt's field where the cursor is
    void putText(const QString& text, int cursor);
    void typeDigit(QChar digit);
    void typeSeparator(bool wasMovedOn);
    void erase(bool backward);
    void cut();
    void refuse(const QString& typed, Tell when);

    bool justMovedOn_ = false; // the last digit filled its field and the next one was selected
};

} // namespace tabel
