// What other parts of the GUI do behind the window procedure: WM_PAINT of
// a face whose `draw` facet is a block paints it through the draw backend
// (and sends the face its `drawing` event while the canvas is open),
// WM_DESTROY releases its target, and a new window gets its menu bar.
#include "gui/backend/win32_backend.hpp"
#include "gui/backend/controls_win32.hpp"
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

HMENU menu_bar(Cell* face) { return reinterpret_cast<HMENU>(uintptr_t(make_menu_bar(face))); }

}  // namespace

void link_hooks() {
    hooks().paint = paint;
    hooks().window_destroyed = window_destroyed;
    hooks().menu_bar = menu_bar;
    hooks().layered_redraw = layered_redraw;
    hooks().layered_follow = layered_follow;
    hooks().camera_message = camera_message;
}

}  // namespace qor::gui::win32
