#include "windows.h"

#include "db/connection.h"
#include "directories/groups_list.h"
#include "directories/products_list.h"
#include "directories/workers_list.h"
#include "export/export_actions.h"
#include "housekeeping/housekeeping_dialog.h"
#include "housekeeping/housekeeping_journal.h"
#include "housekeeping/housekeeping_rules.h"
#include "import/import_window.h"
#include "journal/journal_actions.h"
#include "journal/main_window.h"
#include "kit/error_boxes.h"
#include "operations/norms_window.h"
#include "operations/operation_dialog.h"
#include "operations/operation_types_list.h"
#include "operations/operations_list.h"
#include "records/brigade_dialog.h"
#include "records/record_dialog.h"
#include "records/repeat_shift_dialog.h"
#include "records/reprice_window.h"
#include "reports/pay_statement_preview.h"
#include "reports/reports_dialog.h"
#include "reports/timesheet_preview.h"
#include "timesheets/month_closing_window.h"
#include "timesheets/monthly_timesheet_window.h"
#include "timesheets/shift_timesheet_window.h"

#include <QAction>
#include <QDateEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

namespace tabel {

Windows::Windows(AppContext& ctx, MainWindow& main) : ctx_(ctx), main_(main) {
    operations_ = std::make_unique<OperationsList>(ctx_, &main_);
    workers_ = std::make_unique<WorkersList>(ctx_, &main_);
    products_ = std::make_unique<ProductsList>(ctx_, &main_);
    operationTypes_ = std::make_unique<OperationTypesList>(ctx_, &main_);
    groups_ = std::make_unique<GroupsList>(ctx_, &main_);
    record_ = std::make_unique<RecordDialog>(ctx_, &main_);
    brigade_ = std::make_unique<BrigadeDialog>(ctx_, &main_);
    repeatShift_ = std::make_unique<RepeatShiftDialog>(ctx_, &main_);
    operation_ = std::make_unique<OperationDialog>(ctx_, &main_);
    norms_ = std::make_unique<NormsEditor>(ctx_, &main_);
    housekeeping_ = std::make_unique<HousekeepingJournal>(ctx_, &main_);
    reports_ = std::make_unique<ReportsDialog>(ctx_, &main_);
    shiftTimesheet_ = std::make_unique<ShiftTimesheetWindow>(ctx_, &main_);
    monthlyTimesheet_ = std::make_unique<MonthlyTimesheetWindow>(ctx_, &main_);
    monthClosing_ = std::make_unique<MonthClosingWindow>(ctx_, &main_);
    reprice_ = std::make_unique<RepriceWindow>(ctx_, &main_);

    record_->pickWorker = [this]() -> std::optional<RecordDialog::WorkerChoice> {
        if (const auto w = workers_->pick(WorkersList::RecordPicker))
            return RecordDialog::WorkerChoice{w->id, w->fio};
        return std::nullopt;
    };
    repeatShift_->pickWorker = [this]() -> std::optional<RepeatShiftDialog::WorkerChoice> {
        if (const auto w = workers_->pick(WorkersList::RecordPicker))
            return RepeatShiftDialog::WorkerChoice{w->id, w->fio};
        return std::nullopt;
    };
    // An operation is priced as it was on the record's date, whenever the
    // record is entered.
    auto pickOperationOn =
        [this](int current, const QDate& day) -> std::optional<RecordDialog::OperationChoice> {
        if (const auto op = operations_->pick(current, day))
            return RecordDialog::OperationChoice{op->productId, op->operationId, op->naimen,
                                                 op->vid, op->basePrice};
        return std::nullopt;
    };
    record_->pickOperation = [this, pickOperationOn](int current) {
        return pickOperationOn(current, record_->dateEdit()->date());
    };

    // The brigade job picks as the record dialog does.
    brigade_->pickWorker = record_->pickWorker;
    brigade_->pickOperation = [this, pickOperationOn](int current) {
        return pickOperationOn(current, brigade_->date());
    };
    record_->openBrigadeJob = [this](int job) { brigade_->openChange(job); };

    HousekeepingDialog* entry = housekeeping_->entryDialog();
    entry->pickWorker = [this]() -> std::optional<HousekeepingDialog::WorkerChoice> {
        if (const auto w = workers_->pick(WorkersList::HousekeepingPicker))
            return HousekeepingDialog::WorkerChoice{w->id, w->fio};
        return std::nullopt;
    };
    entry->pickGroup = [this]() -> std::optional<HousekeepingDialog::GroupChoice> {
        if (const auto g = groups_->pick(GroupsList::HousekeepingPicker))
            return HousekeepingDialog::GroupChoice{g->id, g->caption};
        return std::nullopt;
    };

    operation_->pickProduct = [this]() -> std::optional<OperationDialog::ProductChoice> {
        if (const auto p = products_->pick(ProductsList::OperationPicker))
            return OperationDialog::ProductChoice{p->id, p->marka};
        return std::nullopt;
    };
    operation_->pickType = [this]() -> std::optional<OperationDialog::TypeChoice> {
        if (const auto t = operationTypes_->pick(OperationTypesList::OperationPicker))
            return OperationDialog::TypeChoice{t->id, t->vid};
        return std::nullopt;
    };
    operations_->onAddOperation = [this] { operation_->openNew(); };
    operations_->onChangeOperation = [this] { operation_->openChange(); };
    operations_->onOpenNorms = [this] {
        Dataset& oper = ctx_.data.oper();
        if (!oper.isEmpty())
            norms_->openFor(oper.current("id").toInt());
    };

    // The time sheets' "Excel": the month shown, into the button's caption.
    shiftTimesheet_->setExport([this] {
        ShiftTimesheetWindow& w = *shiftTimesheet_;
        exportShiftTimesheet(&w, w.excelButton(), ctx_, w.month().month(), w.month().year(),
                             w.monthName());
    });
    shiftTimesheet_->setPrint([this] {
        ShiftTimesheetWindow& w = *shiftTimesheet_;
        const ReadingPlace place = ctx_.forReading();
        reports::printShiftTimesheet(&w, place.db, w.month().month(), w.month().year(),
                                     w.monthName(), {}, place.dataAsOf);
    });
    // The reports dialog's "Excel": the period and the kind chosen there.
    reports_->excelButton()->setEnabled(true);
    QObject::connect(reports_->excelButton(), &QPushButton::clicked, reports_.get(), [this] {
        const reports::ProductKind kind = reports_->request(reports::SummaryReport::Workers).kind;
        exportSummary(reports_.get(), reports_->excelButton(), ctx_, reports_->fromPicker()->date(),
                      reports_->toPicker()->date(),
                      kind == reports::ProductKind::Finished ? ProductKind::Finished
                      : kind == reports::ProductKind::Blanks ? ProductKind::Blanks
                                                             : ProductKind::All);
    });
    // "Расчётный листок" of a worker, from the monthly sheets and the
    // workers directory.
    monthlyTimesheet_->setPayStatement([this](int worker, const QDate& month) {
        const ReadingPlace place = ctx_.forReading();
        reports::previewPayStatement(monthlyTimesheet_.get(), place.db, worker, month, {},
                                     place.dataAsOf);
    });
    workers_->setPayStatement([this](int worker, const QDate& month) {
        const ReadingPlace place = ctx_.forReading();
        reports::previewPayStatement(workers_.get(), place.db, worker, month, {}, place.dataAsOf);
    });
    monthlyTimesheet_->setExport([this] {
        MonthlyTimesheetWindow& w = *monthlyTimesheet_;
        exportMonthlySheet(&w, w.excelButton(), ctx_, w.sheet(), w.sheetKind(), w.title());
    });

    auto on = [](auto* sender, auto signal, std::function<void()> action) {
        QObject::connect(sender, signal, sender, [action] { guarded(action); });
    };
    on(main_.addButton(), &QPushButton::clicked, [this] { record_->openNew(); });
    on(main_.brigadeButton(), &QPushButton::clicked, [this] { brigade_->openNew(); });
    on(main_.changeButton(), &QPushButton::clicked, [this] { record_->openChange(); });
    on(main_.repeatShiftButton(), &QPushButton::clicked, [this] { repeatShift_->openNew(); });
    on(main_.deleteButton(), &QPushButton::clicked,
       [this] { JournalActions(ctx_).deleteCurrent(); });
    // Every role keeps this button, the office role included.
    main_.housekeepingButton()->setEnabled(true);
    on(main_.housekeepingButton(), &QPushButton::clicked,
       [this] { housekeeping_->openOn(ctx_.state.pickedDate); });
    main_.onToggleAcceptance = [this] { JournalActions(ctx_).toggleAcceptance(); };

    // A connection reopened after a loss: the journal shows what the
    // database holds now, so a user told that a change may be lost can see.
    // Queued, because the signal comes from inside the failing statement.
    QObject::connect(
        ConnectionWatch::instance(), &ConnectionWatch::reopened, &main_,
        [this] {
            if (ctx_.data.shiftList(1).isOpen())
                guarded([this] { main_.reloadLists(); });
        },
        Qt::QueuedConnection);

    QAction* workersItem = main_.menuAction("ItemWorkers");
    workersItem->setEnabled(true);
    on(workersItem, &QAction::triggered, [this] { workers_->openDirectory(); });
    QAction* productsItem = main_.menuAction("ItemProducts");
    productsItem->setEnabled(true);
    on(productsItem, &QAction::triggered, [this] { products_->openDirectory(); });
    QAction* pricesItem = main_.menuAction("ItemPrices");
    pricesItem->setEnabled(true);
    on(pricesItem, &QAction::triggered, [this] { operations_->openDirectory(); });
    QAction* typesItem = main_.menuAction("ItemOperationTypes");
    typesItem->setEnabled(true);
    on(typesItem, &QAction::triggered, [this] { operationTypes_->openDirectory(); });
    QAction* groupsItem = main_.menuAction("ItemNomenclatureGroups");
    groupsItem->setEnabled(true);
    on(groupsItem, &QAction::triggered, [this] { groups_->openDirectory(); });

    QAction* shiftSheetItem = main_.menuAction("ItemShiftSheet");
    shiftSheetItem->setEnabled(true);
    on(shiftSheetItem, &QAction::triggered, [this] { shiftTimesheet_->openFromMenu(); });
    using Sheet = MonthlyTimesheetWindow::Sheet;
    const std::pair<const char*, Sheet> sheets[] = {
        {"ItemPieceworkSheet", Sheet::Piecework},
        {"ItemHousekeepingSheet", Sheet::Housekeeping},
        {"ItemAveragePieceworkSheet", Sheet::AveragePiecework},
        {"ItemGeneralSheet", Sheet::General}};
    for (const auto& [name, sheet] : sheets) {
        QAction* item = main_.menuAction(name);
        item->setEnabled(true);
        on(item, &QAction::triggered,
           [this, sheet = sheet] { monthlyTimesheet_->openSheet(sheet); });
    }

    // In the menu "Табель", which only the administrator's login enables.
    QAction* closingItem = main_.menuAction("ItemClosedMonths");
    closingItem->setEnabled(true);
    on(closingItem, &QAction::triggered, [this] {
        monthClosing_->openFromMenu();
        // The journal's month may have been closed or reopened meanwhile.
        if (ctx_.data.shiftList(1).isOpen())
            main_.showMonthState();
    });

    // Re-pricing a month after a rate change, in the same administrator's menu.
    QAction* repriceItem = main_.menuAction("ItemReprice");
    repriceItem->setEnabled(true);
    reprice_->recalculateAverage = [this](const QDate& day) {
        const int repriced = HousekeepingRules(ctx_.db()).recalculate(day);
        ctx_.messenger.inform(kRepriceCaption, QStringLiteral("Пересчитано записей средней "
                                                              "сдельной: %1.")
                                                   .arg(repriced));
    };
    on(repriceItem, &QAction::triggered, [this] {
        reprice_->openOn(ctx_.state.pickedDate);
        // The journal shows prices; they may have changed.
        if (ctx_.currentShiftList().isOpen())
            ctx_.currentShiftList().reopenKeepingRecord("id");
    });

    // Maintenance items, hidden as shipped. "Структура БД" is given no action:
    // the one statement it ever sent names an alias it does not define.
    on(main_.menuAction("ItemImport"), &QAction::triggered, [this] {
        // The progress dialog lets events through, and the version gate must
        // not run its statements inside the import's transaction.
        QTimer* gate = main_.gateTimer();
        const bool gateRunning = gate->isActive();
        gate->stop();
        const auto restart = qScopeGuard([gate, gateRunning] {
            if (gateRunning)
                gate->start();
        });
        runLegacyImport(ctx_, &main_);
        if (ctx_.data.shiftList(1).isOpen())
            main_.reloadLists();
    });

    QAction* reportsItem = main_.menuAction("ItemSummaryReports");
    reportsItem->setEnabled(true);
    on(reportsItem, &QAction::triggered, [this] {
        // The role is known from the login on; what it takes away stays away.
        reports_->applyRole(ctx_.state.role());
        reports_->openFromMenu();
    });
}

Windows::~Windows() = default;

} // namespace tabel
