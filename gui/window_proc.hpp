// The window-level messages of windows and panels, as portable code: the
// Windows window procedure and the headless stand-in both hand their
// messages here first.  Input messages were turned into events earlier, by
// the loop's pre-dispatch.
#pragma once
#include <cstdint>

#include "gui/messages.hpp"
#include "runtime/cell.hpp"

namespace qor::gui {

struct ProcAnswer {
    bool    handled;   // false: the default procedure goes on with the message
    int32_t result;
};

ProcAnswer window_proc(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam);

// The timer of a window, from its face's `rate` facet: an integer n > 0
// ticks n times a second, a time! above 0 once per that time, none stops
// it; anything else raises script/invalid-facet-type.
void apply_rate(uint32_t hwnd, const Cell* rate);

// Releases the windows of a face and of its pane (top?: the face is the
// one being destroyed; its window gets WM_CLOSE, without a close event).
void free_face(Cell* face, bool top);

}  // namespace qor::gui
