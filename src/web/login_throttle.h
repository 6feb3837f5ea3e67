#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace tabel::web {

// Slows down guessing: after `failures` refused logins from one address
// within `windowMs`, that address is refused without a try until `windowMs`
// has passed since the last of them. Successful logins neither count nor
// wipe the count, or one known login would reset the guessing of another.
// Times are milliseconds of a monotonic clock, handed in so tests can step
// them.
class LoginThrottle {
public:
    explicit LoginThrottle(int failures = 5, qint64 windowMs = 60'000, int maxAddresses = 10'000)
        : failures_(failures), windowMs_(windowMs), maxAddresses_(maxAddresses) {}

    // Milliseconds `address` must still wait; 0 when it may try.
    qint64 wait(const QString& address, qint64 now) const;
    void failed(const QString& address, qint64 now);
    // Forgets what no longer counts; keeps at most `maxAddresses`, dropping
    // the longest quiet of the addresses not stopped first.
    void prune(qint64 now);
    int addresses() const { return static_cast<int>(entries_.size()); }

private:
    struct Entry {
        QList<qint64> recent; // failures within the window, oldest first
        qint64 blockedUntil = 0;
        qint64 last = 0;
    };
    int failures_;
    qint64 windowMs_;
    int maxAddresses_;
    QHash<QString, Entry> entries_;
};

} // namespace tabel::web
