// The Windows window system is not linked in yet: qor.exe runs the GUI over
// the headless stand-in until the backend's window classes and procedures
// land here.
#include "gui/window_system.hpp"

namespace qor::gui {

WindowSystem* native_window_system() { return nullptr; }

}  // namespace qor::gui
