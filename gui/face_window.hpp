// The facets a new window takes after the window system made it: the
// flag bits, the font, the cursor option, the per-type initial values and
// the timer.  Capture of a face's window into an image!.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::gui {

void apply_initial_facets(uint32_t hwnd, Cell* face);

// The face's window as a new image!, or none (no window, or the window
// system cannot capture); a screen face captures the whole screen.  The
// result is written to `out`.  May allocate.
void face_to_image(const Cell* face, Cell* out);

}  // namespace qor::gui
