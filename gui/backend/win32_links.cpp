// What other parts of the GUI do behind the window procedures: WM_PAINT of
// a face whose `draw` facet is a block (or of a base face) paints it through
// the draw backend (and sends the face its `drawing` event while the canvas
// is open), WM_SIZE keeps its Direct2D target the client's size, WM_DESTROY
// releases the target, a new window gets its menu bar and a new edit its
// options, and the controls' notifications become events.
#include "gui/backend/win32_backend.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/backend/d2d_device.hpp"
#include "gui/backend/paint_helpers.hpp"
#include "gui/draw_backend.hpp"
#include "gui/event_loop.hpp"
#include "runtime/collector.hpp"

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

void target_resized(HWND hwnd, Cell*) { d2d::resize_window_target(hwnd); }

HMENU menu_bar(Cell* face) { return reinterpret_cast<HMENU>(uintptr_t(make_menu_bar(face))); }

bool menu_command(HWND hwnd, UINT) { return menus::state().select_handle && menus::command(from_hwnd(hwnd)); }

void edit_selection(HWND hwnd, Cell* face) { sync_selection(from_hwnd(hwnd), face); }

bool erase_background(HWND hwnd, HDC dc, Cell*) { return paint::paint_background(from_hwnd(hwnd), dc) != 0; }

// A new control's own options: an edit's hint and tab stops.  A layered
// window stays visible until its first image is pushed.
void after_create(HWND hwnd, Cell* face) {
    if (faces::type_is(face, "field") || faces::type_is(face, "area")) {
        const Cell* options = faces::facet(face, faces::OPTIONS);
        if (options && type_of(options) == TYPE_BLOCK) {
            set_hint(from_hwnd(hwnd), options);
            set_tabs(from_hwnd(hwnd), options);
        }
    }
    if (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
}

bool is_class(HWND hwnd, const wchar_t* name) {
    wchar_t buffer[32];
    return GetClassNameW(hwnd, buffer, 32) && lstrcmpiW(buffer, name) == 0;
}

bool g_painting = false;   // a draw block that pumps messages must not paint again

// The QorBase and QorBaseInternal procedure: painting, sizing and the
// commands and scrolls that come to a base face; the rest (capture,
// cursors, hit tests, input method) is base_win32's.
bool base_procedure(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    int32_t answer = 0;
    if (is_class(hwnd, CLASS_BASE_INTERNAL)) {
        if (!base_internal_message(from_hwnd(hwnd), msg, uint32_t(wparam), int32_t(lparam), &answer)) return false;
        *result = answer;
        return true;
    }
    Cell* face_ptr = faces::of_window(from_hwnd(hwnd));
    Cell face = face_ptr ? *face_ptr : Cell{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&face);
    bool layered = GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED;
    switch (msg) {
    case WM_DESTROY:
        if (face_ptr) window_destroyed(hwnd, &face);
        return false;
    case WM_SIZE:
        target_resized(hwnd, &face);
        if (layered && face_ptr && hooks().layered_redraw) hooks().layered_redraw(hwnd, &face);
        else InvalidateRect(hwnd, nullptr, TRUE);
        *result = 0;
        return true;
    case WM_PAINT:
    case WM_PRINT:
    case WM_PRINTCLIENT:
    case WM_DISPLAYCHANGE:
        if (g_painting) {
            *result = 0;
            return true;
        }
        if (msg != WM_PAINT || layered || !face_ptr) return false;
        g_painting = true;
        {
            struct Done {
                ~Done() { g_painting = false; }
            } done;
            if (!paint(hwnd, &face)) return false;
        }
        *result = 0;
        return true;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
        return control_message(hwnd, msg, wparam, lparam, result);
    case WM_HSCROLL:
    case WM_VSCROLL: {
        if (lparam) return false;   // a scroll-bar control: its own procedure
        Message* current = ensure_msg(from_hwnd(hwnd));
        Message record = *current;
        record.hwnd = from_hwnd(hwnd);
        record.message = msg;
        record.wparam = uint32_t(wparam);
        record.lparam = 0;
        make_event(&record, 0, EVT_SCROLL);
        *result = 0;
        return true;
    }
    default:
        break;
    }
    if (!base_message(from_hwnd(hwnd), msg, uint32_t(wparam), int32_t(lparam), &answer)) return false;
    *result = answer;
    return true;
}

}  // namespace

void link_hooks() {
    Hooks& h = hooks();
    h.paint = paint;
    h.window_destroyed = window_destroyed;
    h.target_resized = target_resized;
    h.menu_bar = menu_bar;
    h.menu_command = menu_command;
    h.control_message = control_message;
    h.base_message = base_procedure;
    h.after_create = after_create;
    h.edit_selection = edit_selection;
    h.erase_background = erase_background;
    h.layered_redraw = layered_redraw;
    h.layered_follow = layered_follow;
    h.camera_message = camera_message;
}

}  // namespace qor::gui::win32
