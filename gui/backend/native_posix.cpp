// The native build has no window system of its own: the GUI runs headless.
#include "gui/window_system.hpp"

namespace qor::gui {

WindowSystem* native_window_system() { return nullptr; }

}  // namespace qor::gui
