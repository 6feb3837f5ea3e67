#include "month_closing_window.h"

#include "db/closed_months.h"
#include "db/dataset.h"
#include "kit/error_boxes.h"
#include "kit/grid_view.h"
#include "kit/search_box.h"
#include "timesheets/month_closing.h"
#include "timesheets/sheet_window_kit.h"

#include <QHBoxLayout>
#include <QInputDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tabel {

namespace {

// Enough lines to see what differs; the rest are counted.
constexpr int kShownDifferences = 20;

QList<GridColumn> monthColumns() {
    const auto centre = Qt::Alignment(Qt::AlignCenter);
    GridColumn state{"state", "Состояние", 90, centre};
    state.bold = true;
    state.foreground = [](const QVariant& v) {
        return v.toString() == QStringLiteral("Закрыт") ? QColor(192, 0, 0) : QColor(0, 128, 0);
    };
    return {
        {"month_name", "Месяц", 80, centre}, state,
        {"closed_by", "Кто закрыл", 220},    {"closed_at_text", "Когда", 120, centre},
        {"note", "Примечание", 300},
    };
}

QString differencesList(const QSqlDatabase& db, const MonthCheck& check) {
    const QStringList lines = differenceLines(check, workerNamesOf(db, check));
    QString text = lines.mid(0, kShownDifferences).join(QLatin1Char('\n'));
    if (lines.size() > kShownDifferences)
        text += QStringLiteral("\n… и ещё %1").arg(lines.size() - kShownDifferences);
    return text;
}

} // namespace

MonthClosingWindow::MonthClosingWindow(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx) {
    setObjectName("TFormClosedMonths");
    setWindowTitle("Закрытие месяцев");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    months_ = new Dataset(ctx_.db(), "q_closed_months", QString::fromUtf8(kClosingMonthsSql), this);
    model_ = new GridModel(monthColumns(), this);
    model_->setDataset(months_);
    grid_ = new QTableView(this);
    grid_->setObjectName("GridMonths");
    grid_->setAccessibleName("Месяцы");
    bindGrid(grid_, model_);

    auto* bar = new QHBoxLayout;
    close_ = barButton(this, bar, "Закрыть", "ButtonClose");
    close_->setToolTip("Закрыть месяц: записи и табели месяца больше не изменяются");
    reopen_ = barButton(this, bar, "Открыть", "ButtonReopen");
    reopen_->setToolTip("Открыть закрытый месяц с указанием причины");
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setMinimum(1);
    progress_->hide();
    bar->addWidget(progress_, 1);
    bar->addStretch();
    exit_ = barButton(this, bar, "Выход", "ExitButton");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(bar);

    askText = [this](const QString& caption, const QString& label) -> std::optional<QString> {
        bool ok = false;
        const QString text =
            QInputDialog::getText(this, caption, label, QLineEdit::Normal, QString(), &ok);
        if (!ok)
            return std::nullopt;
        return text;
    };

    connect(close_, &QPushButton::clicked, this, [this] { guarded([this] { closeCurrent(); }); });
    connect(reopen_, &QPushButton::clicked, this, [this] { guarded([this] { reopenCurrent(); }); });
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(months_, &Dataset::currentRowChanged, this, [this] { updateButtons(); });
    connect(this, &QDialog::finished, this, [this] { months_->close(); });

    updateButtons();
    resize(860, 480);
}

void MonthClosingWindow::openFromMenu() {
    reload();
    selectMonth(ctx_.state.pickedDate.year(), ctx_.state.pickedDate.month());
    if (parentWidget())
        move(parentWidget()->geometry().center() - rect().center());
    exec();
}

void MonthClosingWindow::reload() {
    const QVariant year = months_->isOpen() ? months_->current("year") : QVariant();
    const QVariant month = months_->isOpen() ? months_->current("month") : QVariant();
    months_->reopen();
    if (year.isValid() && !year.isNull())
        selectMonth(year.toInt(), month.toInt());
    updateButtons();
}

bool MonthClosingWindow::selectMonth(int year, int month) {
    for (int row = 0; row < months_->count(); ++row) {
        if (months_->value(row, "year").toInt() == year &&
            months_->value(row, "month").toInt() == month) {
            months_->setCurrentRow(row);
            updateButtons();
            return true;
        }
    }
    return false;
}

void MonthClosingWindow::updateButtons() {
    const bool any = months_->isOpen() && !months_->isEmpty();
    const bool closed = any && months_->current("state").toString() == QStringLiteral("Закрыт");
    close_->setEnabled(any && !closed);
    reopen_->setEnabled(any && closed);
}

void MonthClosingWindow::rebuildSheets(const QDate& first) {
    for (SheetKind kind : {SheetKind::Shifts, SheetKind::Housekeeping})
        rebuildShowingProgress(ctx_.db(), kind, first, progress_, [] {});
}

void MonthClosingWindow::closeCurrent() {
    if (!months_->isOpen() || months_->isEmpty())
        return;
    const int year = months_->current("year").toInt();
    const int month = months_->current("month").toInt();
    const QString name = monthName(monthKey(year, month));
    const std::optional<QString> note =
        askText(kClosingCaption,
                QStringLiteral("Месяц %1 будет закрыт: его записи, хоз. работы и табели "
                               "больше нельзя будет изменить.\nПримечание (необязательно):")
                    .arg(name));
    if (!note)
        return;

    MonthClosing closing(ctx_.db());
    MonthClosing::CloseResult result = closing.close(year, month, *note);
    if (!result.outcome.done() && !result.differences.agrees()) {
        // The sheets were left behind by writes made past the program (or
        // by an older one): the rebuilds put them right from the records.
        const QString question =
            result.outcome.text + QStringLiteral("\n\n") +
            differencesList(ctx_.db(), result.differences) +
            QStringLiteral("\n\nПерестроить табель за %1 по записям (строки смен и хоз. работ) "
                           "и закрыть месяц?")
                .arg(name);
        if (!ctx_.messenger.ask(kClosingCaption, question)) {
            reload();
            return;
        }
        rebuildSheets(QDate(year, month, 1));
        result = closing.close(year, month, *note);
        if (!result.outcome.done() && !result.differences.agrees())
            result.outcome.text +=
                QStringLiteral("\n\n") + differencesList(ctx_.db(), result.differences);
    }
    reload();
    if (!result.outcome.done()) {
        ctx_.messenger.error(result.outcome.caption, result.outcome.text);
        return;
    }
    ctx_.messenger.inform(kClosingCaption, QStringLiteral("Месяц %1 закрыт.").arg(name));
}

void MonthClosingWindow::reopenCurrent() {
    if (!months_->isOpen() || months_->isEmpty())
        return;
    const int year = months_->current("year").toInt();
    const int month = months_->current("month").toInt();
    const QString name = monthName(monthKey(year, month));
    const std::optional<QString> reason = askText(
        kReopeningCaption, QStringLiteral("Причина открытия месяца %1 (обязательно):").arg(name));
    if (!reason)
        return;
    const Outcome o = MonthClosing(ctx_.db()).reopen(year, month, *reason);
    reload();
    if (!o.done()) {
        ctx_.messenger.error(o.caption, o.text);
        return;
    }
    ctx_.messenger.inform(kReopeningCaption, QStringLiteral("Месяц %1 открыт.").arg(name));
}

} // namespace tabel
