// Compiled into every program that links the core (not into the core
// library, where nothing would pull it in): hands start-up the GUI's
// entries before main runs.
#include "boot/upper_layer.hpp"
#include "gui/console_launch.hpp"
#include "gui/startup.hpp"

namespace {

const qor::boot::UpperLayer GUI_LAYER = {qor::gui::register_types, qor::gui::before_library,
                                           qor::gui::launch_gui_console};

const bool registered = (qor::boot::set_upper_layer(&GUI_LAYER), qor::gui::register_routines(), true);

}  // namespace
