#include "rebuild_progress.h"

#include "kit/error_boxes.h"

#include <QCoreApplication>
#include <QProgressBar>

namespace tabel {

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
