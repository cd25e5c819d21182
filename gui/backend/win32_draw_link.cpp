// The draw backend behind the window procedure: WM_PAINT of a face whose
// `draw` facet is a block paints it (and sends the face its `drawing`
// event while the canvas is open), WM_DESTROY releases its target.
#include "gui/backend/win32_backend.hpp"
#include "gui/draw_backend.hpp"
#include "gui/event_loop.hpp"

namespace qor::gui::win32 {

namespace {

void send_drawing_event(uint32_t hwnd) {
    Message* msg = ensure_msg(hwnd);
    make_event(msg, 0, EVT_DRAWING);
}

bool paint(HWND hwnd, Cell* face) {
    PAINTSTRUCT ps;
    if (!BeginPaint(hwnd, &ps)) return false;
    draw::paint_face(uint32_t(reinterpret_cast<uintptr_t>(hwnd)), face, send_drawing_event);
    EndPaint(hwnd, &ps);
    return true;
}

void window_destroyed(HWND hwnd, Cell*) { draw::release_window(uint32_t(reinterpret_cast<uintptr_t>(hwnd))); }

}  // namespace

void link_draw_hooks() {
    hooks().paint = paint;
    hooks().window_destroyed = window_destroyed;
}

}  // namespace qor::gui::win32
