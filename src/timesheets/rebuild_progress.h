#pragma once

#include "timesheets/rebuilds.h"

#include <functional>

class QProgressBar;

namespace tabel {

// A window's rebuild of the month of `first`: the progress bar counts the
// month's days while the rebuild runs, and afterwards `reread` shows the
// database's month again, whether the rebuild succeeded or failed (a failed
// one has left the month as it was). Throws what the rebuild throws.
void rebuildShowingProgress(const QSqlDatabase& db, SheetKind kind, const QDate& first,
                            QProgressBar* bar, const std::function<void()>& reread);

} // namespace tabel
