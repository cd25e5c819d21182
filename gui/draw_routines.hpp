// The routines of drawing: the platform's draw-image and draw-face, and
// the test driver's view of the recording backend.
#pragma once

#include "library/routines.hpp"

namespace qor::gui::draw {

Cell* draw_image_routine(Cell* const* args);   // image cmds
Cell* draw_face_routine(Cell* const* args);    // face cmds
Cell* toggle_gpu_routine(Cell* const* args);   // (none)

// draw-driver's routines: the recorder's log, and painting a face's window.
const routines::Entry* driver_entries();

}  // namespace qor::gui::draw
