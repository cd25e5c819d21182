// qor.exe started on no redirected output (from the desktop, a shortcut or
// a terminal) is the GUI console: its window, with print and prin sent to
// the terminal.  Redirected output keeps the console engine on the standard
// streams.
#pragma once

namespace qor::gui {

// Runs the GUI console to its end and answers true; false (nothing done)
// when the output is redirected, the headless window system was asked for,
// or the build has no native window system.
bool launch_gui_console();

}  // namespace qor::gui
