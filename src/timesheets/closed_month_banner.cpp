#include "closed_month_banner.h"

#include <QLabel>
#include <QWidget>

namespace tabel {

namespace {

QString captionSuffix() {
    return QStringLiteral(" — ") + QString::fromUtf8(kMonthClosedText);
}

} // namespace

QLabel* makeClosedMonthLabel(QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(kMonthClosedText), parent);
    label->setObjectName("LabelMonthClosed");
    label->setAccessibleName(QString::fromUtf8(kMonthClosedText));
    label->setToolTip("Месяц закрыт после расчёта: его записи и табели не изменяются. "
                      "Открыть месяц может администратор (Табель → Закрытие месяцев).");
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    // White on red, so that it reads the same on every style and theme.
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(192, 0, 0));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    label->setMargin(3);
    label->hide();
    return label;
}

void showMonthClosed(QWidget* window, QLabel* label, bool closed) {
    label->setVisible(closed);
    // The caption may have been set anew since (a sheet's name), with or
    // without the words: they are taken off and put back as needed.
    QString caption = window->windowTitle();
    if (caption.endsWith(captionSuffix()))
        caption.chop(captionSuffix().size());
    window->setWindowTitle(closed ? caption + captionSuffix() : caption);
}

} // namespace tabel
