// The window procedure of windows and panels, the face timers and the window
// command.  The window-level events that are the same everywhere (close,
// move, resize, activation, timers) are the portable window_proc's; this
// file adds what Windows asks around them (frame borders, capture, cursors,
// DPI changes, painting) and routes control notifications to the controls.
// Everything runs behind a barrier: Windows' own frames are above.
#include "gui/backend/win32_backend.hpp"

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/system_fields.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "evaluator/call.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/window_proc.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::win32 {

namespace {

Hooks g_hooks;

constexpr UINT WM_WINDOW_COMMAND = WM_USER + 2;
constexpr LONG VIEW_PAIR_SIZE = 0x10;

// Runs an event for the window with the message record pointing at it.
int32_t window_event(HWND hwnd, uint32_t code, int32_t lparam, uint32_t message = 0, uint32_t wparam = 0) {
    LoopState& s = loop_state();
    Message* saved = s.current_msg;
    Message record{};
    if (saved) record = *saved;
    else {
        DWORD pos = GetMessagePos();
        record.x = low_signed(int32_t(pos));
        record.y = high_signed(int32_t(pos));
    }
    record.hwnd = from_hwnd(hwnd);
    record.lparam = lparam;
    if (message) {
        record.message = message;
        record.wparam = wparam;
    }
    s.current_msg = &record;
    int32_t r = make_event(&record, 0, code);
    s.current_msg = saved;
    return r;
}

// Writes `offset` or `size` (pixels) in logical units: a pair! when the
// window keeps integer geometry, else a point2D!.
void write_geometry(HWND hwnd, Cell* face, int32_t facet, int32_t x, int32_t y) {
    Cell* cell = faces::facet(face, facet);
    if (!cell) return;
    double lx = faces::to_logical(x), ly = faces::to_logical(y);
    if (facet == faces::SIZE && (slot(hwnd, SLOT_VIEW_FLAGS) & VIEW_PAIR_SIZE))
        *cell = pair::make(int32_t(lx), int32_t(ly));
    else
        *cell = point::make2d(lx, ly);
}

// The frame borders of a top-level window: how far its client origin lies
// from its outer top-left (x in the high, y in the low 16 bits of the
// borders slot, computed once).
void frame_borders(HWND hwnd, int32_t* bx, int32_t* by) {
    LONG cached = slot(hwnd, SLOT_BORDERS);
    if (cached == 0) {
        RECT outer;
        POINT origin{0, 0};
        if (GetWindowRect(hwnd, &outer) && ClientToScreen(hwnd, &origin)) {
            int32_t x = origin.x - outer.left, y = origin.y - outer.top;
            cached = LONG((uint32_t(x & 0xFFFF) << 16) | uint32_t(y & 0xFFFF));
            set_slot(hwnd, SLOT_BORDERS, cached);
        }
    }
    *bx = int16_t(uint32_t(cached) >> 16);
    *by = int16_t(uint32_t(cached) & 0xFFFF);
}

// The size the frame adds to the client area (both sides, caption, menu).
SIZE frame_extent(HWND hwnd) {
    RECT outer, client;
    if (!GetWindowRect(hwnd, &outer) || !GetClientRect(hwnd, &client)) return SIZE{0, 0};
    return SIZE{(outer.right - outer.left) - client.right, (outer.bottom - outer.top) - client.bottom};
}

bool draw_is_block(Cell* face) {
    Cell* draw = faces::facet(face, faces::DRAW);
    return draw && type_of(draw) == TYPE_BLOCK;
}

// Moves and sizes the windows of a pane for the current scale, one deferred
// batch per level.
void relayout_pane(Cell* face) {
    Cell* pane_cell = faces::facet(face, faces::PANE);
    if (!pane_cell || type_of(pane_cell) != TYPE_BLOCK) return;
    Cell pane = *pane_cell;
    gc::CellRoot keep(&pane);
    uint32_t n = block::length(&pane);
    HDWP batch = BeginDeferWindowPos(int(n));
    for (uint32_t i = 0; i < n; ++i) {
        Cell child = *block::item(&pane, i);
        gc::CellRoot keep_child(&child);
        HWND h = to_hwnd(faces::handle_of(&child));
        if (!h || !IsWindow(h)) continue;
        Cell* offset = faces::facet(&child, faces::OFFSET);
        if (offset && type_of(offset) == TYPE_PAIR)
            *offset = point::make2d(pair::x_of(offset), pair::y_of(offset));
        int32_t x = 0, y = 0, w = 0, hgt = 0;
        bool placed = facet_pixels(&child, faces::OFFSET, &x, &y);
        bool sized = facet_pixels(&child, faces::SIZE, &w, &hgt);
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (placed ? 0 : SWP_NOMOVE) | (sized ? 0 : SWP_NOSIZE);
        if (batch) batch = DeferWindowPos(batch, h, nullptr, x, y, w, hgt, flags);
        else SetWindowPos(h, nullptr, x, y, w, hgt, flags);
        relayout_pane(&child);
    }
    if (batch) EndDeferWindowPos(batch);
}

// Calls system/view/platform/refresh-screens (a display was added, removed
// or changed).
void refresh_screens() {
    const Cell* fn = system_fields::value({"view", "platform", "refresh-screens"});
    if (!fn || (type_of(fn) != TYPE_FUNCTION && type_of(fn) != TYPE_ROUTINE)) return;
    Cell function = *fn;
    Cell label = *word::make_from_c_string("refresh-screens");
    Cell result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_fn(&function), keep_label(&label), keep_result(&result);
    interp::call_function_named(&label, &function, nullptr, 0, &result);
}

// The cursor of the window under the pointer.
bool set_cursor(HWND under, LRESULT* result) {
    LONG cursor = slot(under, SLOT_CURSOR);
    if (cursor == 0) return false;
    Cell* face = faces::of_window(from_hwnd(under));
    if (face && (faces::type_is(face, "base") || faces::type_is(face, "rich-text")) && !(uint32_t(cursor) & 0x80000000u)) {
        *result = 0;   // the face's own procedure sets it
        return true;
    }
    SetCursor(reinterpret_cast<HCURSOR>(static_cast<intptr_t>(LONG(uint32_t(cursor) & 0x7FFFFFFFu))));
    *result = TRUE;
    return true;
}

bool gesture(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    static const uint32_t CODES[] = {0, 0, 0, EVT_ZOOM, EVT_PAN, EVT_ROTATE, EVT_TWO_TAP, EVT_PRESS_TAP};
    if (wparam < GID_ZOOM || wparam > GID_PRESSANDTAP) return false;   // begin and end: nothing to tell
    GESTUREINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGestureInfo(reinterpret_cast<HGESTUREINFO>(lparam), &info)) return false;
    POINT pt{info.ptsLocation.x, info.ptsLocation.y};
    HWND target = hwnd;
    if (ScreenToClient(hwnd, &pt)) {
        HWND child = ChildWindowFromPointEx(hwnd, pt, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (child) target = child;
    }
    window_event(target, CODES[wparam], int32_t(lparam));
    return false;
}

// WM_MOVING and WM_SIZING: the facet follows the rectangle being dragged.
void size_move_step(HWND hwnd, Cell* face, bool moving, RECT* r) {
    int32_t bx = 0, by = 0;
    frame_borders(hwnd, &bx, &by);
    int32_t x, y;
    uint32_t code;
    if (moving) {
        set_slot(hwnd, SLOT_ORIGIN, pack_xy(r->left + bx, r->top + by));
        x = r->left;
        y = r->top;
        code = EVT_MOVING;
        write_geometry(hwnd, face, faces::OFFSET, x, y);
    } else {
        SIZE extent = frame_extent(hwnd);
        x = (r->right - r->left) - extent.cx;
        y = (r->bottom - r->top) - extent.cy;
        code = EVT_RESIZING;
        write_geometry(hwnd, face, faces::SIZE, x, y);
    }
    set_slot(hwnd, SLOT_SIZE_MOVE, LONG(code));
    window_event(hwnd, code, pack_xy(x, y));
}

// The window's state changed: minimised, maximised or restored.
void state_changed(HWND hwnd, Cell* face) {
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    if (style & WS_MINIMIZE) {
        window_event(hwnd, EVT_MINIMIZE, 0);
        return;
    }
    RECT client;
    POINT origin{0, 0};
    if (GetClientRect(hwnd, &client) && ClientToScreen(hwnd, &origin)) {
        int32_t bx = 0, by = 0;
        frame_borders(hwnd, &bx, &by);
        write_geometry(hwnd, face, faces::SIZE, client.right, client.bottom);
        write_geometry(hwnd, face, faces::OFFSET, origin.x - bx, origin.y - by);
    }
    window_event(hwnd, (style & WS_MAXIMIZE) ? EVT_MAXIMIZE : EVT_RESTORE, 0);
}

// A window whose DPI changed went to another monitor: it becomes a window
// of that monitor's screen face (system/view/platform/move-to-screen).
void move_to_monitor_screen(HWND hwnd, Cell* face) {
    Cell* parent = faces::facet(face, faces::PARENT);
    if (!parent || type_of(parent) != TYPE_OBJECT) return;
    const Cell* fn = system_fields::value({"view", "platform", "move-to-screen"});
    if (!fn || type_of(fn) != TYPE_FUNCTION) return;
    HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
    Cell function = *fn;
    Cell args[2] = {*face, integer::make(int32_t(reinterpret_cast<intptr_t>(monitor)))};
    Cell label = *word::make_from_c_string("move-to-screen");
    Cell result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_fn(&function), keep_args(args, 2), keep_label(&label), keep_result(&result);
    interp::call_function_named(&label, &function, args, 2, &result);
}

void dpi_changed(HWND hwnd, Cell* face, bool window, WPARAM wparam, LPARAM lparam) {
    Cell* state = faces::facet(face, faces::STATE);
    if (!state || type_of(state) != TYPE_BLOCK) return;
    if (window) move_to_monitor_screen(hwnd, face);
    set_dpi(int32_t(LOWORD(wparam)));
    if (const RECT* r = reinterpret_cast<const RECT*>(lparam))
        SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    if (window) {
        refresh_fonts(hwnd);
        relayout_pane(face);
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

// What a window owns goes with it: its timer, its icon and, for a top-level
// window, its GDI object (a base face keeps a count in that slot instead).
void release_window_resources(HWND hwnd) {
    KillTimer(hwnd, 1);
    Cell* face = faces::of_window(from_hwnd(hwnd));
    if (face && g_hooks.window_destroyed) {
        Cell keep_face = *face;
        gc::CellRoot keep(&keep_face);
        g_hooks.window_destroyed(hwnd, &keep_face);
    }
    wchar_t name[16];
    if (GetClassNameW(hwnd, name, 16) && lstrcmpiW(name, CLASS_WINDOW) == 0) {
        if (HGDIOBJ gdi = reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(slot(hwnd, SLOT_GDI)))) DeleteObject(gdi);
        set_slot(hwnd, SLOT_GDI, 0);
    }
    if (HICON icon = reinterpret_cast<HICON>(static_cast<intptr_t>(slot(hwnd, SLOT_ICON)))) DestroyIcon(icon);
    set_slot(hwnd, SLOT_ICON, 0);
}

// The keyboard focus goes back to the window's selected face, or to the
// window itself.
void restore_focus(HWND hwnd, Cell* face) {
    HWND focus = hwnd;
    Cell* selected = faces::facet(face, faces::SELECTED);
    if (selected && type_of(selected) == TYPE_OBJECT) {
        HWND h = to_hwnd(faces::handle_of(selected));
        if (h && IsWindow(h) && IsChild(hwnd, h)) focus = h;
    }
    SetFocus(focus);
}

// The background in the face's colour, unless the colour painter of the
// backend does it.
bool erase_background(HWND hwnd, HDC dc, Cell* face) {
    if (g_hooks.erase_background) return g_hooks.erase_background(hwnd, dc, face);
    Cell* color = faces::facet(face, faces::COLOR);
    if (!color || type_of(color) != TYPE_TUPLE || tuple::count(color) < 3) return false;
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(color, bytes);
    RECT r;
    if (!GetClientRect(hwnd, &r)) return false;
    HBRUSH brush = CreateSolidBrush(RGB(bytes[0], bytes[1], bytes[2]));
    if (!brush) return false;
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    return true;
}

// The messages of a window with a face; answers whether it handled the
// message (else the default procedure goes on with it).
bool handle(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    uint32_t h = from_hwnd(hwnd);
    if (msg == WM_CLOSE && slot(hwnd, SLOT_AUX) == -1) {
        loop_state().current_msg = nullptr;   // a freed face: destroyed without a close event
        return false;
    }
    if (msg == WM_DESTROY) {
        // Released here whether or not the face was freed first.
        release_window_resources(hwnd);
        return false;
    }
    if (msg == WM_NCDESTROY) {
        // A window that goes without its face being freed gives its slot back.
        if (int32_t index = int32_t(slot(hwnd, SLOT_FACE))) {
            faces::free(index);
            set_slot(hwnd, SLOT_FACE, 0);
        }
        return false;
    }
    Cell* face_ptr = faces::of_window(h);
    if (!face_ptr) return false;
    Cell face = *face_ptr;
    gc::CellRoot keep(&face);
    bool window = faces::type_is(&face, "window");
    *result = 0;

    switch (msg) {
    case WM_SIZE: {
        if (g_hooks.target_resized) g_hooks.target_resized(hwnd, &face);
        if ((GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) && g_hooks.layered_redraw)
            g_hooks.layered_redraw(hwnd, &face);
        else
            InvalidateRect(hwnd, nullptr, TRUE);
        return window_proc(h, msg, uint32_t(wparam), int32_t(lparam)).handled;
    }
    case WM_MOVE: {
        if (!window) return false;
        int32_t x = low_signed(int32_t(lparam)), y = high_signed(int32_t(lparam));
        if (x < -9999 && y < -9999) return true;   // parked off-screen
        int32_t bx = 0, by = 0;
        frame_borders(hwnd, &bx, &by);
        set_slot(hwnd, SLOT_ORIGIN, LONG(lparam));
        return window_proc(h, msg, uint32_t(wparam), pack_xy(x - bx, y - by)).handled;
    }
    case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lparam);
        // Before Windows 8 the transparent faces are separate layered
        // windows over the window: they move along.
        if (window && pos && !backend().win8_or_later && pos->x > -9999 && pos->y > -9999 && g_hooks.layered_follow)
            g_hooks.layered_follow(hwnd, &face);
        if (window && pos && (pos->flags & 0x8000)) state_changed(hwnd, &face);   // SWP_STATECHANGED
        return false;
    }
    case WM_ENTERSIZEMOVE:
    case WM_EXITSIZEMOVE:
        return window_proc(h, msg, uint32_t(wparam), int32_t(lparam)).handled;
    case WM_MOVING:
    case WM_SIZING:
        if (!window || !lparam) return false;
        size_move_step(hwnd, &face, msg == WM_MOVING, reinterpret_cast<RECT*>(lparam));
        *result = TRUE;
        return true;
    case WM_ACTIVATE: {
        bool active = window && LOWORD(wparam);
        if (active) activate_dpi(hwnd);
        bool handled = window_proc(h, msg, uint32_t(wparam), int32_t(lparam)).handled;
        if (active && IsWindow(hwnd)) restore_focus(hwnd, &face);
        return handled;
    }
    case WM_CLOSE:
        if (window) SetFocus(hwnd);
        return window_proc(h, msg, uint32_t(wparam), int32_t(lparam)).handled;
    case WM_PAINT:
        // PAINT HOOK: the draw backend's paint function (hooks().paint, null
        // until the draw backend sets it) runs the draw block of the face
        // and presents it; without it the default procedure validates the
        // window.
        if (draw_is_block(&face) && g_hooks.paint && g_hooks.paint(hwnd, &face)) return true;
        return false;
    case WM_ERASEBKGND: {
        if (draw_is_block(&face)) {
            *result = TRUE;
            return true;
        }
        if (erase_background(hwnd, reinterpret_cast<HDC>(wparam), &face)) {
            *result = TRUE;
            return true;
        }
        Cell* parent = faces::facet(&face, faces::PARENT);
        if (parent && type_of(parent) == TYPE_OBJECT && faces::type_is(parent, "tab-panel")) {
            RECT r;
            if (GetClientRect(hwnd, &r)) FillRect(reinterpret_cast<HDC>(wparam), &r, GetSysColorBrush(COLOR_WINDOW));
            *result = TRUE;
            return true;
        }
        return false;
    }
    case WM_SETCURSOR:
        return set_cursor(reinterpret_cast<HWND>(wparam), result);
    case WM_GETMINMAXINFO: {
        if (!window || !lparam) return false;
        int32_t w = 0, hgt = 0;
        if (!facet_pixels(&face, faces::SIZE, &w, &hgt)) return false;
        SIZE extent = frame_extent(hwnd);
        w += extent.cx;
        hgt += extent.cy;
        MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lparam);
        bool raised = false;
        if (info->ptMaxSize.x < w) info->ptMaxSize.x = w, raised = true;
        if (info->ptMaxSize.y < hgt) info->ptMaxSize.y = hgt, raised = true;
        if (info->ptMaxTrackSize.x < w) info->ptMaxTrackSize.x = w, raised = true;
        if (info->ptMaxTrackSize.y < hgt) info->ptMaxTrackSize.y = hgt, raised = true;
        return raised;
    }
    case WM_LBUTTONDOWN:
        SetCapture(hwnd);
        return true;
    case WM_LBUTTONUP:
        ReleaseCapture();
        return true;
    case WM_COMMAND: {
        Backend& b = backend();
        if (lparam == 0 && LOWORD(wparam) <= 999 && b.menu_select_handle) {
            // A menu item: the portable menus make its `menu` event.
            if (g_hooks.menu_command) g_hooks.menu_command(hwnd, LOWORD(wparam));
            else if (menus::state().select_handle) menus::command(from_hwnd(hwnd));
            return false;
        }
        if (g_hooks.control_message) g_hooks.control_message(hwnd, msg, wparam, lparam, result);
        return false;
    }
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
        if (!header || !faces::of_window(from_hwnd(header->hwndFrom))) return true;   // answered 0
        return g_hooks.control_message && g_hooks.control_message(hwnd, msg, wparam, lparam, result);
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lparam) {
            if (g_hooks.control_message) g_hooks.control_message(hwnd, msg, wparam, lparam, result);
        } else {
            window_event(hwnd, EVT_SCROLL, 0, msg, uint32_t(wparam));
        }
        *result = 0;
        return true;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
        return g_hooks.control_message && g_hooks.control_message(hwnd, msg, wparam, lparam, result);
    case WM_GESTURE:
        return gesture(hwnd, wparam, lparam);
    case WM_MENUSELECT:
        if (wparam != 0xFFFF0000u) {
            backend().menu_select_item = LOWORD(wparam);
            backend().menu_select_handle = reinterpret_cast<HMENU>(lparam);
        }
        menus::note_selection(uint32_t(wparam), uint32_t(lparam));
        return true;
    case WM_ENTERMENULOOP:
        if (wparam == 0) menus::forget_popup();
        return false;
    case WM_DPICHANGED:
        dpi_changed(hwnd, &face, window, wparam, lparam);
        return true;
    case WM_DISPLAYCHANGE:
        refresh_screens();
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        return false;
    case WM_THEMECHANGED:
        if (window) {
            refresh_fonts(hwnd);
            relayout_pane(&face);
        }
        return false;
    case WM_WINDOW_COMMAND:
        window_command(hwnd, uint32_t(wparam));
        return true;
    case WM_TIMER:
        return window_proc(h, msg, uint32_t(wparam), int32_t(lparam)).handled;
    default:
        return false;
    }
}

}  // namespace

Hooks& hooks() { return g_hooks; }

LRESULT CALLBACK window_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    LRESULT took = barrier(-1, [&]() -> LRESULT { return handle(hwnd, msg, wparam, lparam, &result) ? 1 : 0; });
    if (took == 1) return result;
    // A failure while closing keeps the window: destroying it here would
    // leave its face behind.
    if (took == -1 && msg == WM_CLOSE) return 0;
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

void CALLBACK timer_proc(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    barrier(0, [&]() -> LRESULT {
        ensure_msg(from_hwnd(hwnd));
        window_proc(from_hwnd(hwnd), WM_TIMER, uint32_t(id), 0);
        return 0;
    });
}

void window_command(HWND hwnd, uint32_t code) {
    if (code == EVT_MINIMIZE) {
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return;
    }
    if (code == EVT_MAXIMIZE) {
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        return;
    }
    if (GetWindowLongW(hwnd, GWL_STYLE) & (WS_MINIMIZE | WS_MAXIMIZE)) ShowWindow(hwnd, SW_SHOWNORMAL);
    if (slot(hwnd, SLOT_FACE)) SetForegroundWindow(hwnd);
}

}  // namespace qor::gui::win32
