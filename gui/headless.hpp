// The headless window system: the GUI's stand-in where no real window
// system is wanted (the native build, and qor.exe with
// QOR_GUI_BACKEND=headless).  It hands out fake window handles, keeps a log
// of what the GUI asked of it, measures text with fixed metrics (7 pixels a
// character, 15 a line), has one monitor, and runs its event loop over a
// scripted queue of messages: a blocking loop whose queue runs dry ends as
// if the quit message came, so nothing ever waits.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gui/window_system.hpp"

namespace qor::gui::headless {

WindowSystem* window_system();

// Forgets every window, message and log line (each boot starts clean).
void reset();

const std::vector<std::string>& log();
void clear_log();

// Scripted input: a message queued for a window, keys held down, the pointer.
void post(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam);
void hold_key(int32_t vk, bool down);
void set_pointer(int32_t x, int32_t y);
// Text metrics and the monitor's scale (tests).
void set_metrics(int32_t char_width, int32_t line_height);
void set_scale(double scale);
int32_t char_width();
int32_t line_height();
// A line of the log (the stand-in's menus and dialogs).
void note(const std::string& line);

bool window_alive(uint32_t hwnd);
int32_t live_windows();
int32_t live_fonts();

}  // namespace qor::gui::headless
