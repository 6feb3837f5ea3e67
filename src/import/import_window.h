#pragma once

#include "import/legacy_import.h"
#include "session/context.h"

class QWidget;

namespace tabel {

// "Импорт": copies the legacy database into the server database while a
// small progress dialog (`ImportProgress`) shows the table being copied and
// how far it has come; "Отмена" there stops the import with nothing changed.
// The outcome is told through the messenger; a server error is thrown as
// DbError after the rollback.
void runLegacyImport(AppContext& ctx, QWidget* parent,
                     const QString& sourceDsn = QString::fromUtf8(kLegacySource));

} // namespace tabel
