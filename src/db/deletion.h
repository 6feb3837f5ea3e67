#pragma once

#include "db/messenger.h"
#include "db/outcome.h"

#include <functional>

namespace tabel {

// The user's side of a guarded deletion: what is known to be in use is
// refused at once, before a question whose Yes would be turned down; then
// the question; then the deletion through its rule, which checks again under
// its lock, and its refusal is shown after the rollback. True when something
// was deleted.
inline bool askAndDelete(Messenger& messenger, const Outcome& inUse, const QString& question,
                         const std::function<Outcome()>& remove) {
    if (!inUse.done()) {
        messenger.error(inUse.caption, inUse.text);
        return false;
    }
    if (!messenger.ask(QString::fromUtf8(kDeleteCaption), question))
        return false;
    const Outcome outcome = remove();
    if (!outcome.done()) {
        messenger.error(outcome.caption, outcome.text);
        return false;
    }
    return true;
}

} // namespace tabel
