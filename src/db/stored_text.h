#pragma once

#include "db/outcome.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace tabel {

// A text a write is about to store: the caption the user knows its box by,
// the text exactly as it will be written, and the column it goes to, or the
// column it is read back through when that one is narrower (a product's mark
// is written to the goods table and listed through `accounts_dep.izdel`).
struct TextField {
    QString caption; // "ФИО"
    QString value;
    QString column; // "schema.table.column"
};

// Whether the server can store the fields as they are, checked before the
// write so the user is told in words of the program rather than by the
// server's English error, or not at all: the driver cuts a text at the
// character U+0000 without a word, and a text longer than its column's
// declared width (varchar(n), counted in characters as the server counts
// them) is refused by the server. The widths are read from the server's
// catalog, so a plant whose columns are narrower or wider than ours is
// checked against its own. The first refusal comes back, with the caption
// "Ошибка"; done when every field can be stored. Throws DbError.
Outcome checkStoredText(const QSqlDatabase& db, const QList<TextField>& fields);

// The refusals, for whoever checks a text without a column.
// "«ФИО»: значение не подходит. Уберите из него недопустимый символ (код 0)."
QString unstorableCharacterMessage(const QString& caption);
// "«ФИО»: значение не подходит. Введите не более 254 знаков."
QString tooLongMessage(const QString& caption, int maxLength);

} // namespace tabel
