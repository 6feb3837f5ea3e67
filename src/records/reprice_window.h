#pragma once

#include "records/repricing.h"
#include "session/context.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tabel {

// "Пересчитать цены…" (the administrator's): the records and brigade shares
// of a month whose prices differ from the norms holding on their dates, with
// the old and new price and the difference in pay; "Пересчитать" re-prices
// them after the user confirms. Nothing changes before that.
class RepriceWindow : public QDialog {
    Q_OBJECT
public:
    explicit RepriceWindow(AppContext& ctx, QWidget* parent = nullptr);

    // Opens on the month of `day` and lists it.
    void openOn(const QDate& day);

    // "Показать": lists the chosen month; a closed month is refused. Throws
    // DbError.
    void showPlan();
    // "Пересчитать": asks, re-prices, says what was done, and offers the
    // average-piecework recalculation when the month has such entries.
    // Answers whether anything was re-priced. Throws DbError.
    bool applyPlan();

    // The average-piecework recalculation of the month of the given day;
    // nothing is offered while unset.
    std::function<void(const QDate&)> recalculateAverage;

    void setMonth(const QDate& day);
    QDate month() const;
    const RepricePlan& plan() const { return plan_; }
    QTableWidget* table() const { return table_; }
    QTableWidget* workers() const { return workers_; }
    QLabel* summary() const { return summary_; }
    QPushButton* applyButton() const { return apply_; }

private:
    void fill();
    void fillWorkers();

    AppContext& ctx_;
    RepricePlan plan_;
    QSpinBox* month_;
    QSpinBox* year_;
    QTableWidget* table_;
    QTableWidget* workers_;
    QLabel* summary_;
    QPushButton* show_;
    QPushButton* apply_;
};

} // namespace tabel
