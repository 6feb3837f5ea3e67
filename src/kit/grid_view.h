#pragma once

#include "kit/grid_model.h"

class QTableView;

namespace tabel {

// Sets a view up as the program's grids are (whole rows, no editing, Tab
// leaving the grid, resizable columns, bold centred titles), applies the
// column widths and keeps the view's current row and the dataset's current
// row together.
void bindGrid(QTableView* view, GridModel* model);

} // namespace tabel
