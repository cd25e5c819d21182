// The native build draws through the recording stand-in only.
#include "gui/draw_backend.hpp"

namespace qor::gui::draw {

const Backend* native_backend() { return nullptr; }

}  // namespace qor::gui::draw
