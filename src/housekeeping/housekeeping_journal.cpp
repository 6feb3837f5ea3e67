#include "housekeeping_journal.h"

#include "db/closed_months.h"
#include "db/rights.h"
#include "housekeeping/housekeeping_dialog.h"
#include "housekeeping/housekeeping_rules.h"
#include "kit/date_box.h"
#include "kit/error_boxes.h"
#include "timesheets/closed_month_banner.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <algorithm>

namespace tabel {

namespace {

QList<GridColumn> entryColumns() {
    const auto right = Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter);
    GridColumn price{"price", "Цена", 80, right, true, 2}; // money: always in kopecks
    GridColumn hours{"cnt", "Кол-во", -1, right, true};
    GridColumn sum{"summ", "Итого", 80, right, true, 2};
    return {
        {"fio", "ФИО", 300},
        {"s_caption", "Номенклатура", 267},
        {"vid", "Работа", 156},
        price,
        hours,
        sum,
        {"s_holiday", "Вых.", 33, Qt::AlignCenter},
        {"s_night", "Ноч.", 33, Qt::AlignCenter},
    };
}

const QColor kDayOffColour(255, 0, 0);

} // namespace

HousekeepingJournal::HousekeepingJournal(AppContext& ctx, QWidget* parent)
    : ListWindow(*HousekeepingRules::makeList(ctx.db()).release(), entryColumns(),
                 {QStringLiteral("fio"), SearchRule::Match::Prefix}, parent),
      ctx_(ctx) {
    list().setParent(this);
    setObjectName("TForm25");
    setWindowTitle("Хоз. работы (25)");
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);
    grid()->setAccessibleName("Хоз. работы");
    grid()->setSelectionBehavior(QAbstractItemView::SelectRows);
    searchBox()->hide(); // the journal has no search

    dialog_ = new HousekeepingDialog(ctx_, *this, this);
    runDialog = [](HousekeepingDialog& d) { return d.exec(); };

    add_ = addBarButton("Добавить", "AddButton");
    change_ = addBarButton("Изменить", "ChangeButton");
    delete_ = addBarButton("Удалить", "DeleteButton");
    average_ = addBarButton("Расчитать ср.сд.", "AverageButton");
    date_ = new DateBox(QDate::currentDate(), this);
    date_->setObjectName("DateT");
    date_->setAccessibleName("Дата");
    addBarWidget(date_);
    dayOff_ = new QCheckBox("Выходной", this);
    dayOff_->setObjectName("CBox1");
    dayOff_->setAutoFillBackground(true);
    // Wide enough for the bold caption, so that marking it moves nothing.
    QFont bold = dayOff_->font();
    bold.setBold(true);
    dayOff_->setFont(bold);
    dayOff_->setFixedWidth(dayOff_->sizeHint().width() + 4);
    addBarWidget(dayOff_);
    monthClosedLabel_ = makeClosedMonthLabel(this);
    addBarWidget(monthClosedLabel_);
    finishBar();

    connect(add_, &QPushButton::clicked, this, [this] { guarded([this] { addEntry(); }); });
    connect(change_, &QPushButton::clicked, this, [this] { guarded([this] { changeEntry(); }); });
    connect(delete_, &QPushButton::clicked, this, [this] { guarded([this] { deleteEntry(); }); });
    connect(average_, &QPushButton::clicked, this, [this] { guarded([this] { recalculate(); }); });
    connect(date_, &QDateEdit::dateChanged, this,
            [this](const QDate& d) { guarded([this, d] { userChangedDate(d); }); });
    connect(dayOff_, &QCheckBox::toggled, this, [this](bool on) { markDayOff(on); });
    markDayOff(false);
    fitToColumns();
}

void HousekeepingJournal::markDayOff(bool checked) {
    // The box turns red behind its caption, which keeps the window's text
    // colour, as in the main window: a red caption on red could not be read.
    QPalette palette;
    if (checked)
        palette.setColor(dayOff_->backgroundRole(), kDayOffColour);
    dayOff_->setPalette(palette);
    QFont weight;
    weight.setBold(checked);
    dayOff_->setFont(weight);
}

void HousekeepingJournal::fitToColumns() {
    // Every column in sight beside the scroll bar of a long list: the window
    // is as wide as its grid's columns, and cannot be resized.
    QTableView* view = grid();
    int columns = 0;
    for (int c = 0; c < view->horizontalHeader()->count(); ++c)
        columns += view->columnWidth(c);
    const int gridWidth = columns + 2 * view->frameWidth() +
                          view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    view->setMinimumWidth(gridWidth);
    const QMargins margins = layout()->contentsMargins();
    const int width =
        std::max(gridWidth + margins.left() + margins.right(), layout()->minimumSize().width());
    setFixedSize(width, 520);
}

void HousekeepingJournal::setDate(const QDate& date) {
    QSignalBlocker quiet(date_);
    date_->setDate(date);
}

void HousekeepingJournal::openOn(const QDate& date) {
    setDate(date);
    activate();
    exec();
}

void HousekeepingJournal::activate() {
    shift_ = 1;
    writable_ = databaseRights(ctx_.db()).housekeeping;
    list().close();
    list().setParam("d_date", pickedDate());
    list().open();
    showMonthState();
}

void HousekeepingJournal::showMonthState() {
    // The entries listed are those of the picked date, booked in its month.
    monthClosed_ = monthClosed(ctx_.db(), monthKey(pickedDate()));
    showMonthClosed(this, monthClosedLabel_, monthClosed_);
    for (QPushButton* b : {add_, change_, delete_, average_})
        b->setEnabled(!monthClosed_ && writable_);
}

QDate HousekeepingJournal::pickedDate() const {
    return date_->date();
}

bool HousekeepingJournal::dayOff() const {
    return dayOff_->isChecked();
}

int HousekeepingJournal::currentEntryId() const {
    return list().current("id").toInt();
}

void HousekeepingJournal::refreshKeepingPosition() {
    list().setParam("d_date", pickedDate());
    list().reopenKeepingPosition();
    showMonthState();
}

void HousekeepingJournal::userChangedDate(const QDate& date) {
    dayOff_->setChecked(date.dayOfWeek() >= 6);
    list().close();
    list().setParam("d_date", date);
    list().open();
    showMonthState();
}

void HousekeepingJournal::runEntryDialog() {
    struct Closer {
        HousekeepingDialog* d;
        ~Closer() { d->closeTypes(); }
    } closer{dialog_};
    runDialog(*dialog_);
}

void HousekeepingJournal::addEntry() {
    dialog_->openTypes(pickedDate());
    dialog_->prepareNew();
    runEntryDialog();
}

void HousekeepingJournal::changeEntry() {
    Dataset& entries = list();
    if (entries.isEmpty())
        return;
    HousekeepingDialog::ShownEntry shown;
    shown.id = entries.current("id").toInt();
    shown.version = entries.current("row_version").toString();
    shown.fio = entries.current("fio").toString();
    shown.group = entries.current("s_caption").toString();
    shown.hours = entries.current("cnt").toInt();
    shown.workerId = entries.current("id_p").toInt();
    shown.groupId = entries.current("id_nom").toLongLong();
    shown.type = entries.current("id_o").toInt();
    shown.typeName = entries.current("vid").toString();
    shown.price = entries.current("price").toString();
    shown.dayOff = entries.current("i_holiday").toInt() != 0;
    shown.night = entries.current("i_night").toInt() != 0;
    dialog_->openTypes(pickedDate());
    dialog_->prepareChange(shown);
    runEntryDialog();
}

void HousekeepingJournal::deleteEntry() {
    Dataset& entries = list();
    if (entries.isEmpty())
        return;
    const int id = currentEntryId();
    if (!ctx_.messenger.ask(kDeleteCaption, "Удалить позицию из списка?"))
        return;
    const Outcome o = HousekeepingRules(ctx_.db()).remove(id);
    refreshKeepingPosition();
    if (!o.done())
        ctx_.messenger.error(o.caption, o.text);
}

void HousekeepingJournal::recalculate() {
    HousekeepingRules(ctx_.db()).recalculate(pickedDate());
    refreshKeepingPosition();
}

} // namespace tabel
