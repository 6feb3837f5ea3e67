#pragma once

#include <QDateEdit>
#include <optional>

namespace tabel {

// The program's date picker: "dd.MM.yyyy" with a drop-down calendar.
//
// What is typed stays as typed. Qt's own box reads a typed day against the
// month it shows, so 31 typed over 29.11 turns into 30.11 and the month typed
// next keeps the 30: a date typed field by field ends on another day. Here a
// day the shown month lacks is kept while the rest is typed, and the date
// changes only when the typing ends: Enter, leaving the box, or a step with
// the arrows or the wheel. A text that then names no day ("31.02.2026") is
// refused: the box shows its date again and says so through the general
// error handler, and the click that took the focus away does nothing. The
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

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    QDateTime dateTimeFromText(const QString& text) const override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    enum class Tell { Now, AfterTheClick, AfterTheFocusMove };
    std::optional<QDate> typedDay() const; // the day the text names, within the box's range
    bool halfTyped() const;                // digits that name no day yet, or none at all
    int partAt(int position) const;        // 0 day, 1 month, 2 year
    int currentPart() const;
    void selectPart(int part);
    void moveToPart(int from, int to);
    void refuse(const QString& typed, Tell when);

    bool justMovedOn_ = false; // the last digit filled its field and the next one was selected
};

} // namespace tabel
