#pragma once

#include "app/context.h"

namespace tabel {

class MainWindow;

// Every window besides the login dialog and the main window, created once in
// a fixed order, and the main window's commands that open them.
class Windows {
public:
    Windows(AppContext& ctx, MainWindow& main);
    ~Windows();

private:
    AppContext& ctx_;
    MainWindow& main_;
};

} // namespace tabel
