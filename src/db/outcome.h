#pragma once

#include <QString>
#include <stdexcept>

namespace tabel {

// What a checked write answers: done, or refused by one of its checks with
// the message the user is to see. Rules return it; windows show it.
struct Outcome {
    QString caption; // empty when done
    QString text;

    bool done() const { return text.isEmpty(); }
    static Outcome ok() { return {}; }
    static Outcome refused(const QString& caption, const QString& text) { return {caption, text}; }
};

// A check that failed inside a transaction. Thrown there, so the transaction
// guard rolls back as it unwinds and nobody waits on our locks while the
// message is on the screen; the rule that started the write catches it and
// returns its outcome.
class Refused : public std::runtime_error {
public:
    explicit Refused(Outcome outcome)
        : std::runtime_error(outcome.text.toStdString()), outcome_(std::move(outcome)) {}
    Refused(const QString& caption, const QString& text) : Refused(Outcome{caption, text}) {}
    const Outcome& outcome() const { return outcome_; }

private:
    Outcome outcome_;
};

inline const char* kErrorCaption = "Ошибка";
inline const char* kDeleteCaption = "Удаление";

} // namespace tabel
