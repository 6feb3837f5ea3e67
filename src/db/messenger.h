#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace tabel {

// Everything the program tells or asks the user goes through this interface,
// so rules can be tested without a modal loop.
class Messenger {
public:
    enum class Kind { Error, Question, Information };
    virtual ~Messenger() = default;
    // An error box: error icon, one OK button. A `detail` that is not empty
    // (the server's own words, say) is there for whoever asks for it.
    virtual void error(const QString& caption, const QString& text, const QString& detail) = 0;
    void error(const QString& caption, const QString& text) { error(caption, text, QString()); }
    // A question box with Yes and No; true for Yes.
    virtual bool ask(const QString& caption, const QString& text) = 0;
    virtual void inform(const QString& caption, const QString& text) = 0;
};

// Keeps what would have been shown; answers questions with `answer`.
class RecordingMessenger : public Messenger {
public:
    struct Message {
        Kind kind;
        QString caption;
        QString text;
        QString detail;
    };
    using Messenger::error;
    void error(const QString& caption, const QString& text, const QString& detail) override {
        messages.append({Kind::Error, caption, text, detail});
    }
    bool ask(const QString& caption, const QString& text) override {
        messages.append({Kind::Question, caption, text, {}});
        if (onAsk)
            onAsk(); // what happens elsewhere while the question is open
        return answer;
    }
    void inform(const QString& caption, const QString& text) override {
        messages.append({Kind::Information, caption, text, {}});
    }
    QString lastText() const { return messages.isEmpty() ? QString() : messages.last().text; }

    QList<Message> messages;
    bool answer = true;
    std::function<void()> onAsk;
};

} // namespace tabel
