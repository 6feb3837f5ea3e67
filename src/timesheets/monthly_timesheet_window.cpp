#include "monthly_timesheet_window.h"

#include "db/closed_months.h"
#include "db/dataset.h"
#include "db/numbers.h"
#include "db/outcome.h"
#include "db/sql.h"
#include "kit/error_boxes.h"
#include "timesheets/closed_month_banner.h"
#include "timesheets/monthly_sheet.h"
#include "timesheets/months.h"
#include "timesheets/sheet_look.h"
#include "timesheets/sheet_window_kit.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSqlQuery>
#include <QTableView>
#include <QVBoxLayout>

namespace tabel {

namespace {

constexpr int kNameColumn = 0;
constexpr int kNightColumn = 1;
constexpr int kDayWidth = 20;
const auto& kTotalLabels = kMonthlyTotalLabels;
const auto& kTotalFields = kMonthlyTotalFields;
} // namespace

MonthlyTimesheetWindow::MonthlyTimesheetWindow(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx), readers_{SheetReader(sql::monthlySheet(Sheet::Piecework)),
                                           SheetReader(sql::monthlySheet(Sheet::Housekeeping)),
                                           SheetReader(sql::monthlySheet(Sheet::AveragePiecework)),
                                           SheetReader(sql::monthlySheet(Sheet::General))} {
    setObjectName("TForm27");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon::fromTheme("x-office-spreadsheet"));

    for (Sheet s : {Sheet::Piecework, Sheet::Housekeeping, Sheet::AveragePiecework, Sheet::General})
        sheets_[static_cast<int>(s)] =
            new Dataset(ctx_.db(), monthlySheetInfo(s).dataset, sql::monthlySheet(s), this);
    years_ = new Dataset(ctx_.db(), "q_year", sql::kTimesheetYears, this);

    model_ = new DaySheetModel(monthlySheetColumns(), false, this);
    model_->setDataset(sheets_[0]);
    grid_ = new QTableView(this);
    grid_->setObjectName("DBGrid1");
    grid_->setAccessibleName("Табель");
    bindDayGrid(grid_, model_);

    month_ = new QComboBox(this);
    month_->setObjectName("ComboBox1");
    month_->setAccessibleName("Месяц");
    month_->addItems(monthNames());
    year_ = new QComboBox(this);
    year_->setObjectName("cb_year");
    year_->setAccessibleName("Год");
    auto* panel = new QHBoxLayout;
    panel->addWidget(month_);
    panel->addWidget(year_);
    panel->addSpacing(24);
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(kTotalLabels[i], this);
        auto* value = new QLabel(this);
        value->setObjectName(QStringLiteral("Total_%1").arg(kTotalFields[i]));
        value->setAccessibleName(kTotalLabels[i]);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        value->setMinimumWidth(90);
        label->setBuddy(value);
        panel->addWidget(label);
        panel->addWidget(value);
        totals_[i] = value;
    }
    panel->addStretch();
    monthClosedLabel_ = makeClosedMonthLabel(this);
    panel->addWidget(monthClosedLabel_);

    excel_ = new QPushButton("Excel", this);
    excel_->setObjectName("ExcelButton");
    refresh_ = new QPushButton("Обновить", this);
    refresh_->setObjectName("RefreshButton");
    rebuild_ = new QPushButton("Перестроить", this);
    rebuild_->setObjectName("RebuildButton");
    pay_ = new QPushButton("Расчётный листок", this);
    pay_->setObjectName("PayStatementButton");
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setMinimum(1);
    progress_->hide();
    exit_ = new QPushButton("Выход", this);
    exit_->setObjectName("ExitButton");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(excel_);
    buttons->addWidget(refresh_);
    buttons->addWidget(rebuild_);
    buttons->addWidget(pay_);
    buttons->addWidget(progress_, 1);
    buttons->addStretch();
    buttons->addWidget(exit_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(panel);
    layout->addLayout(buttons);

    setExport({});
    setPayStatement({});
    connect(pay_, &QPushButton::clicked, this, [this] { guarded([this] { showPayStatement(); }); });
    connect(grid_, &QTableView::doubleClicked, this,
            [this] { guarded([this] { showPayStatement(); }); });
    connect(month_, &QComboBox::currentIndexChanged, this, [this] {
        if (!selecting_)
            guarded([this] { periodChanged(); });
    });
    connect(year_, &QComboBox::activated, this,
            [this](int index) { guarded([this, index] { chooseYear(index); }); });
    connect(refresh_, &QPushButton::clicked, this, [this] { guarded([this] { refresh(); }); });
    connect(rebuild_, &QPushButton::clicked, this, [this] { guarded([this] { rebuild(); }); });
    connect(excel_, &QPushButton::clicked, this, [this] {
        if (export_action_)
            guarded(export_action_);
    });
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, this, [this] {
        sheet().close();
        years_->close();
        excel_->setText("Excel");
    });

    // The name, the day/night mark, 31 days and three totals side by side;
    // the columns a sheet leaves out go to the name.
    resize(1100, 640);
    setFixedSize(size());
}

void MonthlyTimesheetWindow::setExport(std::function<void()> exportSheet) {
    export_action_ = std::move(exportSheet);
    excel_->setEnabled(static_cast<bool>(export_action_));
}

void MonthlyTimesheetWindow::setPayStatement(std::function<void(int, const QDate&)> show) {
    pay_action_ = std::move(show);
    pay_->setEnabled(static_cast<bool>(pay_action_));
}

void MonthlyTimesheetWindow::showPayStatement() {
    if (pay_action_ && sheet().isOpen() && sheet().currentRow() >= 0)
        pay_action_(sheet().current("id").toInt(), month());
}

Dataset& MonthlyTimesheetWindow::sheet() const {
    return *sheets_[static_cast<int>(kind_)];
}

void MonthlyTimesheetWindow::prepare(Sheet sheetKind, const QDate& today) {
    sheet().close();
    kind_ = sheetKind;
    const MonthlySheetInfo info = monthlySheetInfo(kind_);
    setWindowTitle(info.caption);
    model_->setDataset(&sheet());
    baseNameWidth_ = info.nameWidth;
    grid_->setColumnHidden(kNightColumn, !info.night);
    grid_->setColumnHidden(model_->columnCount() - 1, !info.hourlyRate);

    selecting_ = true;
    month_->setCurrentIndex(today.month() - 1);
    years_->reopen();
    year_->clear();
    for (int i = 0; i < years_->count(); ++i)
        year_->addItem(years_->value(i, "year").toString(), years_->value(i, "year").toInt());
    yearKey_ = today.year();
    // A year without time-sheet rows is not in the list: its month is still
    // shown, and the list shows no year.
    year_->setCurrentIndex(year_->findData(yearKey_));
    selecting_ = false;
    periodChanged();
}

void MonthlyTimesheetWindow::openSheet(Sheet sheetKind) {
    prepare(sheetKind, QDate::currentDate());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    exec();
}

QDate MonthlyTimesheetWindow::month() const {
    return QDate(yearKey_, month_->currentIndex() + 1, 1);
}

QString MonthlyTimesheetWindow::title() const {
    return month_->currentText() + QLatin1Char(' ') + year_->currentText();
}

QString MonthlyTimesheetWindow::total(const QString& label) const {
    for (int i = 0; i < 4; ++i)
        if (label == QString::fromUtf8(kTotalLabels[i]))
            return totals_[i]->text();
    return {};
}

void MonthlyTimesheetWindow::chooseYear(int listIndex) {
    if (listIndex < 0)
        return;
    selecting_ = true;
    year_->setCurrentIndex(listIndex);
    selecting_ = false;
    yearKey_ = year_->itemData(listIndex).toInt();
    periodChanged();
}

void MonthlyTimesheetWindow::periodChanged() {
    const QDate first = month();
    sheet().close();
    openSheet();
    showTotals();
    showDays(first);
    showMonthState();
}

void MonthlyTimesheetWindow::openSheet() {
    ResultRows rows =
        readers_[static_cast<int>(kind_)].read(ctx_.db(), monthlySheetParams(month()));
    sheet().openWith(std::move(rows.fields), std::move(rows.rows));
}

void MonthlyTimesheetWindow::showTotals() {
    const std::array<QString, 4> totals = readMonthlyTotals(ctx_.db(), month());
    for (int i = 0; i < 4; ++i)
        totals_[i]->setText(totals[i]);
}

void MonthlyTimesheetWindow::showDays(const QDate& first) {
    model_->setMonth(first);
    int hidden = 0;
    for (int d = 1; d <= 31; ++d) {
        const bool after = d > first.daysInMonth();
        grid_->setColumnHidden(model_->dayColumn(d), after);
        hidden += after ? 1 : 0;
    }
    // The hidden days' room goes to the names.
    grid_->setColumnWidth(kNameColumn, baseNameWidth_ + kDayWidth * hidden);
}

void MonthlyTimesheetWindow::refresh() {
    // The totals are read with the rows: a sheet reread beside totals of
    // before would not add up.
    sheet().close();
    openSheet();
    showTotals();
    showMonthState();
}

void MonthlyTimesheetWindow::showMonthState() {
    const bool closed = monthClosed(ctx_.db(), monthKey(month()));
    showMonthClosed(this, monthClosedLabel_, closed);
    rebuild_->setEnabled(!closed);
}

void MonthlyTimesheetWindow::rebuild() {
    if (year_->currentIndex() < 0) {
        ctx_.messenger.error(kErrorCaption, "Не выбран год.");
        return;
    }
    const QDate first(year_->currentData().toInt(), month_->currentIndex() + 1, 1);
    sheet().close();
    rebuildShowingProgress(ctx_.db(), SheetKind::Housekeeping, first, progress_,
                           [this] { refresh(); });
}

} // namespace tabel
