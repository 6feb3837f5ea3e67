#include "reprice_window.h"

#include "db/closed_month_checks.h"
#include "db/closed_months.h"
#include "db/format.h"
#include "kit/error_boxes.h"
#include "records/brigade_split.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace tabel {

namespace {

QString priceText(double price) {
    return displayDouble(price);
}

QString kopecks(qint64 value) {
    QString text = kopecksText(value);
    text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return value > 0 ? QLatin1Char('+') + text : text;
}

} // namespace

RepriceWindow::RepriceWindow(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName("RepriceWindow");
    setWindowTitle("Пересчет цен месяца");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    month_ = new QSpinBox(this);
    month_->setObjectName("RepriceMonth");
    month_->setRange(1, 12);
    month_->setAccessibleName("Месяц");
    year_ = new QSpinBox(this);
    year_->setObjectName("RepriceYear");
    year_->setRange(2000, 2100);
    year_->setAccessibleName("Год");
    show_ = new QPushButton("Показать", this);
    show_->setObjectName("RepriceShow");
    show_->setDefault(true);
    connect(show_, &QPushButton::clicked, this, [this] { guarded([this] { showPlan(); }); });

    table_ = new QTableWidget(0, 8, this);
    table_->setObjectName("RepriceLines");
    table_->setAccessibleName("Записи с другой ценой");
    table_->setHorizontalHeaderLabels(
        {"Работник", "Дата", "Смена", "Операция", "Наряд", "Было", "Стало", "Разница, р."});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    // Every column fits the window's width, the difference too.
    const int widths[] = {200, 82, 50, 236, 64, 72, 72, 90};
    for (int c = 0; c < 8; ++c)
        table_->setColumnWidth(c, widths[c]);
    // What each worker gains or loses: the figure payroll asks about first.
    workers_ = new QTableWidget(0, 3, this);
    workers_->setObjectName("RepriceWorkers");
    workers_->setAccessibleName("Разница в оплате по работникам");
    workers_->setHorizontalHeaderLabels({"Работник", "Записей", "Разница, р."});
    workers_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    workers_->setSelectionBehavior(QAbstractItemView::SelectRows);
    workers_->verticalHeader()->setVisible(false);
    workers_->setColumnWidth(0, 190);
    workers_->setColumnWidth(1, 60);
    workers_->setColumnWidth(2, 90);
    summary_ = new QLabel(this);
    summary_->setObjectName("RepriceSummary");
    summary_->setWordWrap(true);

    apply_ = new QPushButton("Пересчитать", this);
    apply_->setObjectName("RepriceApply");
    apply_->setAutoDefault(false);
    apply_->setEnabled(false);
    connect(apply_, &QPushButton::clicked, this, [this] { guarded([this] { applyPlan(); }); });
    auto* close = new QPushButton("Закрыть", this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Месяц", this));
    top->addWidget(month_);
    top->addWidget(new QLabel("Год", this));
    top->addWidget(year_);
    top->addWidget(show_);
    top->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(summary_, 1);
    bottom->addWidget(apply_);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    auto* split = new QSplitter(this);
    split->addWidget(table_);
    split->addWidget(workers_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setSizes({880, 380});
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    resize(1300, 560);
}

void RepriceWindow::setMonth(const QDate& day) {
    month_->setValue(day.month());
    year_->setValue(day.year());
}

QDate RepriceWindow::month() const {
    return QDate(year_->value(), month_->value(), 1);
}

void RepriceWindow::openOn(const QDate& day) {
    setMonth(day);
    plan_ = {};
    fill();
    guarded([this] { showPlan(); });
    exec();
}

void RepriceWindow::showPlan() {
    plan_ = {};
    const int key = monthKey(month());
    if (monthClosed(ctx_.db(), key)) {
        fill();
        ctx_.messenger.error(kClosedMonthCaption, closedMonthText(key));
        return;
    }
    plan_ = Repricing(ctx_.db()).plan(month());
    fill();
}

void RepriceWindow::fill() {
    table_->setRowCount(static_cast<int>(plan_.lines.size()));
    for (int r = 0; r < static_cast<int>(plan_.lines.size()); ++r) {
        const RepriceLine& l = plan_.lines[r];
        const QStringList cells{l.fio.isEmpty() ? QStringLiteral("№ %1").arg(l.workerId) : l.fio,
                                l.date.toString(QStringLiteral("dd.MM.yyyy")),
                                QString::number(l.shift),
                                l.operationText,
                                l.jobId ? QStringLiteral("№ %1").arg(l.jobId) : QString(),
                                priceText(l.oldPrice),
                                l.newPrice ? priceText(*l.newPrice)
                                           : QStringLiteral("не по норме: оставлена"),
                                l.newPrice ? kopecks(l.payDifference) : QString()};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c >= 5 && l.newPrice)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(r, c, item);
        }
    }
    fillWorkers();
    if (!plan_.month.isValid()) {
        summary_->clear();
        apply_->setEnabled(false);
        return;
    }
    qint64 total = 0;
    for (const auto& [worker, diff] : plan_.workerDifferences())
        total += diff;
    if (plan_.lines.empty()) {
        summary_->setText(QStringLiteral("Цены всех записей за %1 совпадают с ценами норм на их "
                                         "даты.")
                              .arg(monthName(monthKey(plan_.month))));
        apply_->setEnabled(false);
        return;
    }
    summary_->setText(QStringLiteral("Записей с другой ценой по нормам: %1 (долей нарядов: %2), "
                                     "работников: %3, разница в оплате %4 р.; цена не "
                                     "объясняется нормой: %5.")
                          .arg(plan_.changes())
                          .arg(plan_.jobs())
                          .arg(plan_.workerDifferences().size())
                          .arg(kopecks(total))
                          .arg(plan_.unexplained()));
    apply_->setEnabled(plan_.changes() > 0);
}

void RepriceWindow::fillWorkers() {
    struct Worker {
        int id = 0;
        QString name;
        int records = 0;
    };
    std::map<int, Worker> seen;
    for (const RepriceLine& l : plan_.lines) {
        if (!l.newPrice)
            continue;
        Worker& w = seen[l.workerId];
        w.id = l.workerId;
        w.name = l.fio.isEmpty() ? QStringLiteral("№ %1").arg(l.workerId) : l.fio;
        ++w.records;
    }
    // In the order of the records' list: by name.
    std::vector<Worker> rows;
    for (const auto& entry : seen)
        rows.push_back(entry.second);
    std::stable_sort(rows.begin(), rows.end(), [](const Worker& a, const Worker& b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    const std::map<int, qint64> differences = plan_.workerDifferences();
    workers_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const auto diff = differences.find(rows[r].id);
        const QStringList cells{rows[r].name, QString::number(rows[r].records),
                                kopecks(diff == differences.end() ? 0 : diff->second)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            workers_->setItem(r, c, item);
        }
    }
}

bool RepriceWindow::applyPlan() {
    const QDate first = month();
    if (!ctx_.messenger.ask(
            kRepriceCaption,
            QStringLiteral("Пересчитать по нормам на их даты цены %1 за %2?")
                .arg(countNoun(plan_.changes(), QStringLiteral("записи"), QStringLiteral("записей"),
                               QStringLiteral("записей")),
                     monthName(monthKey(first)))))
        return false;
    const Repricing::Applied applied = Repricing(ctx_.db()).apply(first);
    if (!applied.outcome.done()) {
        ctx_.messenger.error(applied.outcome.caption, applied.outcome.text);
        showPlan();
        return false;
    }
    ctx_.messenger.inform(kRepriceCaption,
                          QStringLiteral("Пересчитано записей: %1.").arg(applied.plan.changes()));
    const bool stale = applied.plan.averageStale && applied.plan.changes() > 0;
    showPlan();
    if (stale && recalculateAverage &&
        ctx_.messenger.ask(kRepriceCaption,
                           QString::fromUtf8(kAverageStale) +
                               QStringLiteral(" Пересчитать средние сдельные сейчас?")))
        recalculateAverage(first);
    return applied.plan.changes() > 0;
}

} // namespace tabel
