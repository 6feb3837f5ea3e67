#pragma once

#include <QString>
#include <QStringView>

namespace tabel {

// The rest of a JSON string whose text has escapes, read by the readers
// that take the server's JSON straight from its text: from `pos` (inside
// the string) up to and past its closing quote, the characters appended to
// `out` with their escapes written out. False, `pos` then anywhere, when an
// escape is not JSON's or the string has no end.
bool readJsonStringRest(QStringView text, qsizetype& pos, QString& out);

} // namespace tabel
