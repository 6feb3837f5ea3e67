#pragma once

// What the two time-sheet windows share: their grids and their rebuilds.

#include "timesheets/rebuilds.h"

#include <functional>

class QProgressBar;
class QTableView;

namespace tabel {

class DaySheetModel;

// Sets a time sheet's grid up over `model`: 31 day columns of 20 pixels side
// by side, narrower than a header would keep them, with two digits whole in
// each, in a small font.
void bindDayGrid(QTableView* grid, DaySheetModel* model);

// A window's rebuild of the month of `first`: the progress bar counts the
// month's days while the rebuild runs, and afterwards `reread` shows the
// database's month again, whether the rebuild succeeded or failed (a failed
// one has left the month as it was). Throws what the rebuild throws.
void rebuildShowingProgress(const QSqlDatabase& db, SheetKind kind, const QDate& first,
                            QProgressBar* bar, const std::function<void()>& reread);

} // namespace tabel
