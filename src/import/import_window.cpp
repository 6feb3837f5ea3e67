#include "import_window.h"

#include <QProgressDialog>

namespace tabel {

void runLegacyImport(AppContext& ctx, QWidget* parent, const QString& sourceDsn) {
    QProgressDialog progress(parent);
    progress.setObjectName("ImportProgress");
    progress.setWindowTitle(QString::fromUtf8(kImportCaption));
    progress.setCancelButtonText(QStringLiteral("Отмена"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    progress.setMinimumWidth(360);
    progress.setLabelText(QStringLiteral("Подключение к источнику данных «%1»…").arg(sourceDsn));
    progress.show();

    LegacyImport import(ctx.db(), sourceDsn);
    const Outcome outcome = import.run([&progress](const ImportProgress& step) {
        progress.setLabelText(
            QStringLiteral("Таблица %1: %2 из %3").arg(step.target).arg(step.done).arg(step.total));
        progress.setMaximum(std::max(step.total, 1));
        // Modal, the dialog lets pending events through here, so it is
        // drawn and its "Отмена" is seen.
        progress.setValue(std::min(step.done, std::max(step.total, 1)));
        return !progress.wasCanceled();
    });
    progress.close();

    if (outcome.text == QString::fromUtf8(kImportCancelled)) {
        ctx.messenger.inform(outcome.caption, outcome.text);
    } else if (!outcome.done()) {
        ctx.messenger.error(outcome.caption, outcome.text);
    } else {
        QStringList lines{QStringLiteral("Импорт завершен.")};
        for (const ImportedTable& t : import.tables())
            lines << QStringLiteral("%1 → %2: %3").arg(t.source, t.target).arg(t.rows);
        lines << import.brigadeJobsNote();
        ctx.messenger.inform(QString::fromUtf8(kImportCaption), lines.join(QLatin1Char('\n')));
    }
}

} // namespace tabel
