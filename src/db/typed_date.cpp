#include "typed_date.h"

#include <QRegularExpression>

namespace tabel {

std::optional<QDate> typedDate(const QString& text) {
    static const QRegularExpression typed(
        QStringLiteral("^([0-9]{1,2})\\.([0-9]{1,2})\\.([0-9]{4})$"));
    const auto m = typed.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString typedDateMessage(const QString& caption, const QString& text, const QDate& kept) {
    return QStringLiteral("«%1»: значение «%2» не подходит: такого дня в календаре нет. В поле "
                          "оставлена дата %3.")
        .arg(caption, text.trimmed(), kept.toString(QStringLiteral("dd.MM.yyyy")));
}

} // namespace tabel
