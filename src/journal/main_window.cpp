#include "main_window.h"

#include "db/closed_months.h"
#include "journal/history_dialog.h"
#include "journal/journal_columns.h"
#include "journal/journal_commands.h"
#include "kit/date_box.h"
#include "kit/error_boxes.h"
#include "kit/grid_view.h"
#include "kit/search_box.h"
#include "timesheets/closed_month_banner.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace tabel {

namespace {

const QColor kSelectedShiftColour(0, 128, 0);
const QColor kDayOffColour(255, 0, 0);

// Shows a control as marked (bold on its colour) or not (regular on the
// button face). Palette and font rather than a style sheet: clearing a style
// sheet leaves the control with the application's font, not the window's.
void markControl(QWidget* w, bool marked, const QColor& colour) {
    // Only what the mark changes is set; the rest follows the window.
    QPalette background;
    if (marked)
        background.setColor(w->backgroundRole(), colour);
    w->setPalette(background);
    QFont weight;
    weight.setBold(marked);
    w->setFont(weight);
}

// Wide enough for the bold caption, so that marking a control moves neither
// it nor its neighbours.
void fitBoldCaption(QWidget* w) {
    QFont bold;
    bold.setBold(true);
    w->setFont(bold);
    w->setFixedWidth(w->sizeHint().width() + 4);
    w->setAutoFillBackground(true);
}

} // namespace

MainWindow::MainWindow(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName("TForm1");
    setWindowTitle("Табель");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);
    QFont f = font();
    // The column widths are measured for an 8-point Tahoma.
    f.setFamilies({"Tahoma", "DejaVu Sans Condensed", "Liberation Sans Narrow"});
    f.setPointSize(8);
    setFont(f);

    auto* menu = new QMenuBar(this);
    struct Item {
        const char* caption;
        const char* name;
    };
    auto fill = [](QMenu* m, std::initializer_list<Item> items) {
        for (const Item& i : items)
            m->addAction(QString::fromUtf8(i.caption))->setObjectName(i.name);
    };
    directories_ = menu->addMenu("Справочники");
    directories_->setObjectName("MenuDirectories");
    fill(directories_, {{"Рабочие", "ItemWorkers"},
                        {"Изделия", "ItemProducts"},
                        {"Цены", "ItemPrices"},
                        {"Операции", "ItemOperationTypes"},
                        {"Ном. группы", "ItemNomenclatureGroups"}});
    timesheets_ = menu->addMenu("Табель");
    timesheets_->setObjectName("MenuTimesheets");
    fill(timesheets_, {{"Табель сделка", "ItemPieceworkSheet"},
                       {"Табель по сменам", "ItemShiftSheet"},
                       {"Табель хоз. работ", "ItemHousekeepingSheet"},
                       {"Табель ср. сдельная", "ItemAveragePieceworkSheet"},
                       {"Общий табель", "ItemGeneralSheet"}});
    timesheets_->addSeparator();
    fill(timesheets_,
         {{"Закрытие месяцев", "ItemClosedMonths"}, {"Пересчитать цены…", "ItemReprice"}});
    reports_ = menu->addMenu("Отчеты");
    reports_->setObjectName("MenuReports");
    fill(reports_, {{"Сводные отчеты", "ItemSummaryReports"}});
    // Maintenance commands, kept out of sight.
    QAction* import = menu->addAction("Импорт");
    import->setObjectName("ItemImport");
    import->setVisible(false);
    QAction* structure = menu->addAction("Структура БД");
    structure->setObjectName("ItemStructure");
    structure->setVisible(false);
    QAction* quit = menu->addAction("Выход");
    connect(quit, &QAction::triggered, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    const char* captions[4] = {"Смена №1", "Смена №2", "Смена №3", "Переработка"};
    for (int i = 0; i < 4; ++i) {
        radios_[i] = new QRadioButton(QString::fromUtf8(captions[i]), this);
        radios_[i]->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        fitBoldCaption(radios_[i]);
        top->addWidget(radios_[i]);
        radios_[i]->setChecked(i == 0);
        connect(radios_[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                guarded([&] { selectShift(i + 1); });
        });
    }
    date_ = new DateBox(QDate::currentDate(), this);
    date_->setObjectName("DateT");
    date_->setAccessibleName("Дата");
    date_->installEventFilter(this);
    // The lists follow the date when the calendar closes on a choice or when
    // Enter is pressed, not on every keystroke in the box.
    auto chosen = [this] {
        QTimer::singleShot(0, this, [this] { guarded([this] { dateChosen(); }); });
    };
    connect(date_->calendarWidget(), &QCalendarWidget::clicked, this, chosen);
    connect(date_->calendarWidget(), &QCalendarWidget::activated, this, chosen);
    top->addSpacing(20);
    top->addWidget(date_);
    dayOff_ = new QCheckBox("Выходной", this);
    dayOff_->setObjectName("CBox1");
    fitBoldCaption(dayOff_);
    connect(dayOff_, &QCheckBox::toggled, this, [this] { updateDayOffLook(); });
    top->addWidget(dayOff_);
    top->addSpacing(20);
    monthClosedLabel_ = makeClosedMonthLabel(this);
    top->addWidget(monthClosedLabel_);
    top->addStretch();

    grid_ = new QTableView(this);
    grid_->setObjectName("DBGrid2");
    grid_->setAccessibleName("Позиции смены");
    model_ = new GridModel(journalColumns(), this);
    model_->setDataset(&ctx_.data.shiftList(1));
    bindGrid(grid_, model_);
    connect(grid_, &QTableView::doubleClicked, this, [this] {
        // The acceptance marks are part of the records a closed month keeps.
        if (onToggleAcceptance && !gridReadOnly_ && !monthClosed_)
            guarded(onToggleAcceptance);
    });

    auto* bottom = new QHBoxLayout;
    auto button = [this, bottom](const char* caption, const char* name) {
        return barButton(this, bottom, caption, name);
    };
    add_ = button("Добавить", "AddButton");
    // A job of several workers, split by hours and КТУ ("Бригадный наряд").
    brigade_ = button("Бригада", "ButtonBrigade");
    change_ = button("Изменить", "ChangeButton");
    delete_ = button("Удалить", "DeleteButton");
    repeatShift_ = button("Повторить смену", "ButtonRepeatShift");
    add_->setToolTip("Добавить позицию (Insert)");
    change_->setToolTip("Изменить позицию (Enter на строке)");
    delete_->setToolTip("Удалить позицию (Delete на строке)");
    repeatShift_->setToolTip(
        "Позиции работника за его прошлую смену с тем же номером — новыми позициями на эту дату");
    grid_->setToolTip("Insert: добавить, Enter: изменить, Delete: удалить позицию");
    grid_->installEventFilter(this);
    refresh_ = button("Обновить", "RefreshButton");
    housekeeping_ = button("Ср.сд./хоз. работы", "HousekeepingButton");
    // Every role that sees the journal may read a record's history.
    history_ = button("История", "ButtonHistory");
    connect(history_, &QPushButton::clicked, this, [this] { guarded([this] { showHistory(); }); });
    bottom->addStretch();
    exit_ = button("Выход", "ExitButton");
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    connect(refresh_, &QPushButton::clicked, this, [this] { guarded([this] { reloadLists(); }); });

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menu);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);

    // Windows of later work stay visible but disabled until they exist.
    for (QMenu* m : {directories_, timesheets_, reports_})
        for (QAction* a : m->actions())
            a->setEnabled(false);
    housekeeping_->setEnabled(false);

    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(30000);
    timer_->start();

    updateShiftLook();
    updateDayOffLook();
    resize(1300, 640);
    setFixedSize(size());
}

QAction* MainWindow::menuAction(const QString& objectName) const {
    for (QMenu* m : {directories_, timesheets_, reports_})
        for (QAction* a : m->actions())
            if (a->objectName() == objectName)
                return a;
    // The items of the menu bar itself ("Импорт", "Структура БД").
    return findChild<QAction*>(objectName);
}

void MainWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!opened_) {
        opened_ = true;
        guarded([this] { openJournal(); });
    }
}

void MainWindow::openJournal() {
    opened_ = true;
    const QDate today = this->today();
    date_->setDate(today);
    ctx_.state.pickedDate = today;
    if (today.dayOfWeek() >= 6)
        dayOff_->setChecked(true);
    for (int s = 1; s <= 4; ++s) {
        ctx_.data.shiftList(s).close();
        ctx_.data.shiftList(s).clearFilter();
    }
    ctx_.data.openShiftLists(ctx_.state.pickedDate);
    showMonthState();
}

void MainWindow::setPickedDate(const QDate& date) {
    date_->setDate(date);
    dateChosen();
}

void MainWindow::dateChosen() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    ctx_.state.pickedDate = date_->date();
    ctx_.data.openShiftLists(ctx_.state.pickedDate);
    showMonthState();
    dayOff_->setChecked(ctx_.state.pickedDate.dayOfWeek() >= 6);
    grid_->setFocus();
}

void MainWindow::reloadLists() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    ctx_.data.openShiftLists(ctx_.data.shiftList(1).param("data").toDate());
    showMonthState();
}

void MainWindow::showMonthState() {
    const QDate shown = ctx_.data.shiftList(1).param("data").toDate();
    monthClosed_ = shown.isValid() && monthClosed(ctx_.db(), monthKey(shown));
    showMonthClosed(this, monthClosedLabel_, monthClosed_);
    updateEditing();
}

void MainWindow::updateEditing() {
    add_->setEnabled(!restrictions_.addRecord && !monthClosed_);
    brigade_->setEnabled(add_->isEnabled());
    change_->setEnabled(!restrictions_.changeRecord && !monthClosed_);
    delete_->setEnabled(!restrictions_.deleteRecord && !monthClosed_);
    repeatShift_->setEnabled(!restrictions_.addRecord && !monthClosed_);
}

void MainWindow::selectShift(int shift) {
    if (!radios_[shift - 1]->isChecked()) {
        radios_[shift - 1]->setChecked(true); // comes back here through toggled
        return;
    }
    ctx_.state.shift = shift;
    model_->setDataset(&ctx_.data.shiftList(shift));
    updateShiftLook();
}

void MainWindow::showHistory() {
    const Dataset& list = ctx_.currentShiftList();
    if (list.isEmpty() || list.current("id").toString().isEmpty())
        return;
    if (!historyDialog_)
        historyDialog_ = new HistoryDialog(this);
    historyDialog_->showRecord(ctx_.db(), QStringLiteral("smena"), list.current("id").toLongLong());
}

void MainWindow::updateShiftLook() {
    for (QRadioButton* rb : radios_)
        markControl(rb, rb->isChecked(), kSelectedShiftColour);
}

void MainWindow::updateDayOffLook() {
    ctx_.state.dayOff = dayOff_->isChecked();
    markControl(dayOff_, dayOff_->isChecked(), kDayOffColour);
}

void MainWindow::applyRestrictions(const RoleRestrictions& role) {
    RoleRestrictions r = role;
    try {
        r = withDatabaseRefusals(role, databaseRights(ctx_.db()));
    } catch (const DbError&) {
        // Unanswered, the role's own restrictions stand; the database still
        // refuses what this login may not do.
    }
    restrictions_ = r;
    updateEditing();
    if (r.refresh)
        refresh_->setEnabled(false);
    if (r.shiftAndDate) {
        for (auto* rb : radios_)
            rb->setEnabled(false);
        dayOff_->setEnabled(false);
        date_->setEnabled(false);
    }
    // A read-only grid stays enabled: disabling it would stop the scrolling
    // and grey the rows out for a role that is there to read them.
    if (r.gridReadOnly)
        gridReadOnly_ = true;
    if (r.directories)
        directories_->setEnabled(false);
    if (r.timesheets)
        timesheets_->setEnabled(false);
}

void MainWindow::setTimesheetMenuEnabled(bool enabled) {
    timesheets_->setEnabled(enabled);
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    // Insert adds from wherever the focus is; a disabled button's click does
    // nothing, so a role or a closed month that takes the button away takes
    // the key too.
    if (e->key() == Qt::Key_Insert) {
        add_->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool MainWindow::eventFilter(QObject* o, QEvent* e) {
    if (o == grid_ && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return QDialog::eventFilter(o, e);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            change_->click();
            return true;
        case Qt::Key_Delete:
            delete_->click();
            return true;
        case Qt::Key_Insert:
            add_->click();
            return true;
        default:
            break;
        }
    }
    if (o == date_ && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // The typed date first, or its refusal: the lists never follow a
            // day other than the one typed.
            if (date_->settle())
                guarded([this] { dateChosen(); });
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}

} // namespace tabel
