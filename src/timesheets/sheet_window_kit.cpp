#include "sheet_window_kit.h"

#include "kit/error_boxes.h"
#include "kit/grid_view.h"
#include "timesheets/sheet_look.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QProgressBar>
#include <QTableView>

namespace tabel {

void bindDayGrid(QTableView* grid, DaySheetModel* model) {
    grid->horizontalHeader()->setMinimumSectionSize(16);
    grid->setTextElideMode(Qt::ElideNone);
    QFont small = grid->font();
    small.setPointSizeF(std::min(small.pointSizeF(), 8.0));
    grid->setFont(small);
    grid->horizontalHeader()->setFont(small);
    bindGrid(grid, model);
}

void rebuildShowingProgress(const QSqlDatabase& db, SheetKind kind, const QDate& first,
                            QProgressBar* bar, const std::function<void()>& reread) {
    const int days = first.daysInMonth();
    bar->setMaximum(days);
    bar->setValue(1);
    bar->show();
    struct Finish {
        QProgressBar* bar;
        const std::function<void()>& reread;
        ~Finish() {
            bar->hide();
            guarded(reread);
        }
    } finish{bar, reread};
    rebuildMonth(db, kind, first, [bar, days](int done, int total) {
        bar->setValue(std::max(1, done * days / total));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
}

} // namespace tabel
