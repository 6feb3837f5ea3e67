#include "reports_dialog.h"

#include "kit/date_box.h"
#include "kit/error_boxes.h"
#include "reportengine/preview.h"
#include "reports/data_stamp.h"
#include "reports/summary_pages.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <optional>

namespace tabel {

using reports::ProductKind;
using reports::SummaryReport;

namespace {

int indexOf(ProductKind kind) {
    return int(kind) + 1; // All, Finished, Blanks
}

QDateEdit* datePicker(QWidget* parent, const char* name, const QString& caption) {
    auto* d = new DateBox(parent);
    d->setObjectName(name);
    d->setAccessibleName(caption);
    return d;
}

} // namespace

ReportsDialog::ReportsDialog(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName("TForm18");
    setWindowTitle("Отчеты (8)");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    kindGroup_ = new QGroupBox("Вид продукции", this);
    kindGroup_->setObjectName("KindGroup");
    auto* kindLayout = new QVBoxLayout(kindGroup_);
    const char* kindCaptions[] = {"Все", "Готовая продукция", "Заготовки"};
    for (int i = 0; i < 3; ++i) {
        kinds_[i] = new QRadioButton(kindCaptions[i], kindGroup_);
        kinds_[i]->setObjectName(QStringLiteral("KindButton%1").arg(i + 1));
        kindLayout->addWidget(kinds_[i]);
    }
    kinds_[0]->setChecked(true);

    auto* period = new QGroupBox("Период отбора", this);
    period->setObjectName("PeriodGroup");
    from_ = datePicker(period, "DTPicker1", "с");
    to_ = datePicker(period, "DTPicker2", "по");
    auto* periodLayout = new QFormLayout(period);
    periodLayout->addRow("с", from_);
    periodLayout->addRow("по", to_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(kindGroup_);
    layout->addWidget(period);
    auto button = [this, layout](const char* caption, const char* name) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        layout->addWidget(b);
        return b;
    };
    const std::pair<const char*, const char*> reportButtons[] = {
        {"Отчет по рабочим", "ButtonWorkers"},
        {"Отчет по продукции", "ButtonProducts"},
        {"Детальный отчет по рабочим", "ButtonWorkersDetail"},
        {"Детальный отчет по продукции", "ButtonProductsDetail"}};
    for (int i = 0; i < 4; ++i) {
        reports_[i] = button(reportButtons[i].first, reportButtons[i].second);
        const auto report = SummaryReport(i);
        connect(reports_[i], &QPushButton::clicked, this,
                [this, report] { guarded([this, report] { printReport(report); }); });
    }
    // The export to the spreadsheet comes with its own subsystem.
    excel_ = button("Excel (0 из 0)", "ButtonExcel");
    excel_->setEnabled(false);
    exit_ = button("Выход", "ButtonExit");
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    resetPeriod();
}

void ReportsDialog::openFromMenu() {
    resetPeriod();
    exec();
}

void ReportsDialog::resetPeriod() {
    const QDate thisMonth = today();
    const QDate first(thisMonth.year(), thisMonth.month(), 1);
    from_->setDate(first.addMonths(-1));
    to_->setDate(first);
}

void ReportsDialog::applyRole(Role role) {
    if (role != Role::Foreman && role != Role::Warehouse)
        return;
    for (SummaryReport r :
         {SummaryReport::WorkersDetail, SummaryReport::Products, SummaryReport::Workers})
        reportButton(r)->setEnabled(false);
    excel_->setEnabled(false);
    if (role == Role::Warehouse) {
        kindButton(ProductKind::Finished)->setChecked(true);
        kindGroup_->setEnabled(false);
    }
}

QRadioButton* ReportsDialog::kindButton(ProductKind kind) const {
    return kinds_[indexOf(kind)];
}

QPushButton* ReportsDialog::reportButton(SummaryReport report) const {
    return reports_[int(report)];
}

reports::SummaryRequest ReportsDialog::request(SummaryReport report) const {
    reports::SummaryRequest r;
    r.report = report;
    r.from = from_->date();
    r.to = to_->date();
    for (ProductKind k : {ProductKind::All, ProductKind::Finished, ProductKind::Blanks})
        if (kindButton(k)->isChecked())
            r.kind = k;
    return r;
}

void ReportsDialog::printReport(SummaryReport report) {
    // The preview opens on page 1 while the rest is read and laid out
    // between the window's events.
    reportengine::GrowingDocument growing;
    std::optional<reports::SummaryPages> pages;
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        struct Restore {
            ~Restore() { QApplication::restoreOverrideCursor(); }
        } restore;
        const ReadingPlace place = ctx_.forReading();
        pages.emplace(place.db, request(report), QLocale(),
                      [&growing, asOf = place.dataAsOf](reportengine::Page&& p) {
                          reports::stampDataTime(p, growing.doc, asOf);
                          growing.doc.pages.append(std::move(p));
                      });
        growing.doc = pages->setup();
        // A slice of rows at a time: the window's events come between.
        growing.more = [&pages] { return pages->more(200); };
        while (growing.doc.pages.isEmpty() && growing.more()) {
        }
    }
    reportengine::showPreview(growing, this, reportengine::Zoom::PageWidth, runPreview);
}

} // namespace tabel
