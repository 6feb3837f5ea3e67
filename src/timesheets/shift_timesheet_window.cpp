#include "shift_timesheet_window.h"

#include "db/closed_months.h"
#include "db/dataset.h"
#include "kit/error_boxes.h"
#include "timesheets/closed_month_banner.h"
#include "timesheets/months.h"
#include "timesheets/sheet_look.h"
#include "timesheets/sheet_statements.h"
#include "timesheets/sheet_window_kit.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace tabel {

namespace {

constexpr int kFirstYear = 2007;

QList<GridColumn> sheetColumns() {
    QList<GridColumn> cols{{"fio", "Фамилия И. О.", 208}};
    for (int d = 1; d <= 31; ++d)
        cols.append(
            GridColumn{QStringLiteral("d%1").arg(d), QString::number(d), 20, Qt::AlignCenter});
    GridColumn total{"summ", "Итого", 47, Qt::AlignCenter};
    total.bold = true;
    total.background = kTotalsBackground;
    cols.append(total);
    return cols;
}

} // namespace

ShiftTimesheetWindow::ShiftTimesheetWindow(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx) {
    setObjectName("TForm19");
    setWindowTitle("Табель по времени");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    month_ = new QComboBox(this);
    month_->setObjectName("ComboBox1");
    month_->addItems(monthNames());
    month_->setAccessibleName("Месяц");
    year_ = new QComboBox(this);
    year_->setObjectName("ComboBox2");
    year_->setAccessibleName("Год");
    // Up to the year after the current one, so that the current month and
    // the first days of the next year can always be shown.
    for (int y = kFirstYear; y <= QDate::currentDate().year() + 1; ++y)
        year_->addItem(QString::number(y));
    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(month_);
    periodRow->addWidget(year_);
    periodRow->addSpacing(20);
    monthClosedLabel_ = makeClosedMonthLabel(this);
    periodRow->addWidget(monthClosedLabel_);
    periodRow->addStretch();

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("PageControl1");
    for (int s = 1; s <= 3; ++s) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("TabSheet%1").arg(s));
        auto* pageLayout = new QVBoxLayout(page);
        auto* ds =
            new Dataset(ctx_.db(), QStringLiteral("H_Tabel_%1").arg(s), sql::shiftSheet(s), this);
        auto* model = new DaySheetModel(sheetColumns(), true, this);
        model->setDataset(ds);
        auto* grid = new QTableView(page);
        grid->setObjectName(QStringLiteral("DBGrid%1").arg(s));
        grid->setAccessibleName(QStringLiteral("Смена №%1").arg(s));
        bindDayGrid(grid, model);
        pageLayout->addWidget(grid);
        sheets_[s - 1] = ds;
        models_[s - 1] = model;
        grids_[s - 1] = grid;
        if (s == 1) {
            rebuild_ = new QPushButton("Перестроить", page);
            rebuild_->setObjectName("RebuildButton");
            excel_ = new QPushButton("Excel", page);
            excel_->setObjectName("ExcelButton");
            progress_ = new QProgressBar(page);
            progress_->setObjectName("ProgressBar1");
            progress_->setMinimum(1);
            progress_->hide();
            auto* row = new QHBoxLayout;
            row->addWidget(rebuild_);
            row->addWidget(excel_);
            row->addWidget(progress_, 1);
            row->addStretch();
            pageLayout->addLayout(row);
        }
        tabs_->addTab(page, QStringLiteral("Смена №%1").arg(s));
    }

    refresh_ = new QPushButton("Обновить", this);
    refresh_->setObjectName("RefreshButton");
    print_ = new QPushButton("Печать", this);
    print_->setObjectName("PrintButton");
    exit_ = new QPushButton("Выход", this);
    exit_->setObjectName("ExitButton");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(refresh_);
    bottom->addWidget(print_);
    bottom->addStretch();
    bottom->addWidget(exit_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(periodRow);
    layout->addWidget(tabs_, 1);
    layout->addLayout(bottom);

    setPrint({});
    setExport({});
    connect(month_, &QComboBox::currentIndexChanged, this, [this] {
        if (!selecting_)
            guarded([this] { periodChanged(); });
    });
    connect(year_, &QComboBox::currentIndexChanged, this, [this] {
        if (!selecting_)
            guarded([this] { periodChanged(); });
    });
    connect(refresh_, &QPushButton::clicked, this, [this] { guarded([this] { refresh(); }); });
    connect(rebuild_, &QPushButton::clicked, this, [this] { guarded([this] { rebuild(); }); });
    connect(print_, &QPushButton::clicked, this, [this] {
        if (print_action_)
            guarded(print_action_);
    });
    connect(excel_, &QPushButton::clicked, this, [this] {
        if (export_action_)
            guarded(export_action_);
    });
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(this, &QDialog::finished, this, [this] { closeSheets(); });

    // Room for the name, 31 days and the total, without a horizontal scroll.
    resize(960, 620);
    setFixedSize(size());
}

void ShiftTimesheetWindow::setPrint(std::function<void()> print) {
    print_action_ = std::move(print);
    print_->setEnabled(static_cast<bool>(print_action_));
}

void ShiftTimesheetWindow::setExport(std::function<void()> exportSheet) {
    export_action_ = std::move(exportSheet);
    excel_->setEnabled(static_cast<bool>(export_action_));
}

QDate ShiftTimesheetWindow::month() const {
    return QDate(kFirstYear + year_->currentIndex(), month_->currentIndex() + 1, 1);
}

QString ShiftTimesheetWindow::monthName() const {
    return month_->currentText();
}

void ShiftTimesheetWindow::selectMonthOf(const QDate& date) {
    selecting_ = true;
    month_->setCurrentIndex(date.month() - 1);
    // A year outside the list shows the nearest one it has.
    const int index = std::clamp(date.year() - kFirstYear, 0, year_->count() - 1);
    year_->setCurrentIndex(index);
    selecting_ = false;
    periodChanged();
}

void ShiftTimesheetWindow::openFromMenu() {
    tabs_->setCurrentIndex(0);
    selectMonthOf(ctx_.state.pickedDate);
    if (parentWidget())
        move(parentWidget()->geometry().center() - rect().center());
    exec();
}

void ShiftTimesheetWindow::periodChanged() {
    openSheets();
    for (DaySheetModel* model : models_)
        model->setMonth(month());
    showMonthState();
}

void ShiftTimesheetWindow::refresh() {
    openSheets();
    showMonthState();
}

void ShiftTimesheetWindow::openSheets() {
    closeSheets();
    std::array<ResultRows, 3> sheets = reader_.read(ctx_.db(), month());
    for (int s = 0; s < 3; ++s)
        sheets_[s]->openWith(sheets[s].fields, std::move(sheets[s].rows));
}

void ShiftTimesheetWindow::showMonthState() {
    const bool closed = monthClosed(ctx_.db(), monthKey(month()));
    showMonthClosed(this, monthClosedLabel_, closed);
    rebuild_->setEnabled(!closed);
}

void ShiftTimesheetWindow::rebuild() {
    closeSheets();
    rebuildShowingProgress(ctx_.db(), SheetKind::Shifts, month(), progress_, [this] { refresh(); });
}

void ShiftTimesheetWindow::closeSheets() {
    for (Dataset* ds : sheets_)
        ds->close();
}

void ShiftTimesheetWindow::changeEvent(QEvent* event) {
    // An export writes its progress into the button; the next visit starts
    // from the plain caption.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        excel_->setText("Excel");
    QDialog::changeEvent(event);
}

} // namespace tabel
