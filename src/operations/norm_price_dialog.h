#pragma once

#include "operations/norm_prices.h"
#include "session/context.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tabel {

class DateBox;

// "Цена с даты": a norm's dated prices, latest first, with who set each one,
// and the setting of a new price from a date (today, the first of this
// month, a past date of an open month, or a future date, which takes over
// on its date by itself).
class NormPriceDialog : public QDialog {
    Q_OBJECT
public:
    explicit NormPriceDialog(AppContext& ctx, QWidget* parent = nullptr);

    // Reads the norm's prices. Throws DbError.
    void prepare(int normId, const QString& caption);
    // "Записать": sets the typed price from the chosen date; a refusal is
    // shown and nothing is written. Answers whether it was written. Throws
    // DbError.
    bool save();

    QTableWidget* history() const { return history_; }
    DateBox* dateBox() const { return date_; }
    QLineEdit* priceEdit() const { return price_; }
    QPushButton* saveButton() const { return save_; }

private:
    void reload();

    AppContext& ctx_;
    NormPrices prices_;
    int normId_ = 0;
    QTableWidget* history_;
    DateBox* date_;
    QLineEdit* price_;
    QPushButton* save_;
};

} // namespace tabel
