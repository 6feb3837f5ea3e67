#include "windows_ui.h"

#include "app/errors_ui.h"
#include "journal/journal_commands.h"
#include "journal/main_window.h"

namespace tabel {

Windows::Windows(AppContext& ctx, MainWindow& main) : ctx_(ctx), main_(main) {
    main_.onToggleAcceptance = [this] { JournalCommands(ctx_).toggleAcceptance(); };
}

Windows::~Windows() = default;

} // namespace tabel
