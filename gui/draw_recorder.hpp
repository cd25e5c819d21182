// The recording stand-in of the drawing backend: every drawing operation
// becomes one line of a log (read by `draw-driver/log` in tests), and no
// pixel changes.  It is the backend of the native build, of the headless
// window system, and of qor.exe with QOR_DRAW_BACKEND=record.
#pragma once
#include <string>
#include <vector>

#include "gui/draw_backend.hpp"

namespace qor::gui::draw::recorder {

const Backend& backend();

const std::vector<std::string>& log();
void clear_log();

}  // namespace qor::gui::draw::recorder
