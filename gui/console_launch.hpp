// qor.exe started on no redirected output (from the desktop, a shortcut or
// a terminal) is the GUI console: its window, with print and prin sent to
// the terminal.  Redirected output keeps the console engine on the standard
// streams, with the GUI console set up hidden beside it.
#pragma once

namespace qor::gui {

// Runs the GUI console to its end and answers true.  False when the output
// is redirected (the console is then set up hidden, and start-up runs the
// engine on the standard streams), the headless window system was asked for,
// or the build has no native window system (nothing done).
bool launch_gui_console();

}  // namespace qor::gui
