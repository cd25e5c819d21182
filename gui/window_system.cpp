// The choice of window system.
#include "gui/window_system.hpp"

#include <cstdlib>
#include <cstring>

#include "gui/headless.hpp"

namespace qor::gui {

namespace {
WindowSystem* g_system = nullptr;
}

WindowSystem& ws() {
    if (!g_system) {
        const char* wanted = std::getenv("QOR_GUI_BACKEND");
        WindowSystem* native = native_window_system();
        g_system = native && !(wanted && std::strcmp(wanted, "headless") == 0) ? native
                                                                                : headless::window_system();
    }
    return *g_system;
}

void select_window_system(WindowSystem* system) { g_system = system; }

}  // namespace qor::gui
