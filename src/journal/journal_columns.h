#pragma once

#include "kit/grid_model.h"

#include <QList>

namespace tabel {

// The journal's columns as the main window shows them: field, title, width,
// alignment and number format. The web view lists a shift with the same
// columns, so a number reads the same in both.
QList<GridColumn> journalColumns();

} // namespace tabel
