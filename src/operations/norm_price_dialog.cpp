#include "norm_price_dialog.h"

#include "kit/date_box.h"
#include "kit/error_boxes.h"
#include "operations/norm_store.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tabel {

NormPriceDialog::NormPriceDialog(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx), prices_(ctx.db()) {
    setObjectName("NormPriceDialog");
    setWindowTitle(kNormPriceCaption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    history_ = new QTableWidget(0, 4, this);
    history_->setObjectName("PriceHistory");
    history_->setAccessibleName("История цен");
    history_->setHorizontalHeaderLabels({"С даты", "Цена", "Кто установил", "Когда"});
    history_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    history_->setSelectionBehavior(QAbstractItemView::SelectRows);
    history_->verticalHeader()->setVisible(false);
    history_->horizontalHeader()->setStretchLastSection(true);
    history_->setColumnWidth(0, 150);
    history_->setColumnWidth(2, 170);

    date_ = new DateBox(QDate::currentDate(), this);
    date_->setObjectName("PriceFrom");
    auto* dateLabel = new QLabel("С даты", this);
    dateLabel->setBuddy(date_);
    date_->setAccessibleName(dateLabel->text());
    auto* today = new QPushButton("Сегодня", this);
    today->setAutoDefault(false);
    auto* firstDay = new QPushButton("С 1-го числа", this);
    firstDay->setAutoDefault(false);
    connect(today, &QPushButton::clicked, this, [this] { date_->setDate(QDate::currentDate()); });
    connect(firstDay, &QPushButton::clicked, this, [this] {
        const QDate t = QDate::currentDate();
        date_->setDate(QDate(t.year(), t.month(), 1));
    });
    price_ = new QLineEdit(this);
    price_->setObjectName("PriceValue");
    auto* priceLabel = new QLabel("Цена", this);
    priceLabel->setBuddy(price_);
    price_->setAccessibleName(priceLabel->text());

    save_ = new QPushButton("Записать", this);
    save_->setObjectName("SavePrice");
    save_->setDefault(true);
    auto* close = new QPushButton("Закрыть", this);
    close->setAutoDefault(false);
    connect(save_, &QPushButton::clicked, this, [this] { guarded([this] { save(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* entry = new QHBoxLayout;
    entry->addWidget(dateLabel);
    entry->addWidget(date_);
    entry->addWidget(today);
    entry->addWidget(firstDay);
    entry->addSpacing(12);
    entry->addWidget(priceLabel);
    entry->addWidget(price_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(history_, 1);
    layout->addLayout(entry);
    layout->addLayout(buttons);
    resize(620, 360);
}

void NormPriceDialog::prepare(int normId, const QString& caption) {
    normId_ = normId;
    setWindowTitle(QStringLiteral("%1: %2").arg(QString::fromUtf8(kNormPriceCaption), caption));
    date_->setDate(QDate::currentDate());
    price_->clear();
    reload();
}

void NormPriceDialog::reload() {
    const std::vector<NormPriceEntry> entries = prices_.history(normId_);
    history_->setRowCount(static_cast<int>(entries.size()));
    for (int r = 0; r < static_cast<int>(entries.size()); ++r) {
        const NormPriceEntry& e = entries[r];
        QString from = NormPrices::fromText(e.from);
        if (e.future)
            from += QStringLiteral(" (будущая)");
        else if (e.current)
            from += QStringLiteral(" (действует)");
        const QStringList cells{
            from, e.price.isEmpty() ? QStringLiteral("нет цены") : NormStore::priceText(e.price),
            e.setBy.isEmpty() ? QStringLiteral("—") : e.setBy,
            e.setAt.isValid() ? e.setAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm"))
                              : QStringLiteral("—")};
        for (int c = 0; c < cells.size(); ++c)
            history_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

bool NormPriceDialog::save() {
    const Outcome o = prices_.setFrom(normId_, date_->date(), price_->text());
    if (!o.done()) {
        ctx_.messenger.error(o.caption, o.text);
        return false;
    }
    price_->clear();
    reload();
    return true;
}

} // namespace tabel
