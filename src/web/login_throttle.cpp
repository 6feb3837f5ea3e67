#include "login_throttle.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace tabel::web {

qint64 LoginThrottle::wait(const QString& address, qint64 now) const {
    const auto it = entries_.constFind(address);
    if (it == entries_.cend() || it->blockedUntil <= now)
        return 0;
    return it->blockedUntil - now;
}

void LoginThrottle::failed(const QString& address, qint64 now) {
    Entry& e = entries_[address];
    e.last = now;
    while (!e.recent.isEmpty() && e.recent.first() <= now - windowMs_)
        e.recent.removeFirst();
    e.recent.append(now);
    if (e.recent.size() >= failures_) {
        e.blockedUntil = now + windowMs_;
        e.recent.clear();
    }
    if (entries_.size() > maxAddresses_)
        prune(now);
}

void LoginThrottle::prune(qint64 now) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->blockedUntil <= now && it->last <= now - windowMs_)
            it = entries_.erase(it);
        else
            ++it;
    }
    if (entries_.size() <= maxAddresses_)
        return;
    // A stopped address is the last to be forgotten: forgetting it would
    // lift the slowdown that many other addresses' noise had bought.
    std::vector<std::tuple<bool, qint64, QString>> byAge;
    byAge.reserve(entries_.size());
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
        byAge.emplace_back(it->blockedUntil > now, it->last, it.key());
    std::sort(byAge.begin(), byAge.end());
    const size_t excess = entries_.size() - maxAddresses_;
    for (size_t i = 0; i < excess; ++i)
        entries_.remove(std::get<2>(byAge[i]));
}

} // namespace tabel::web
