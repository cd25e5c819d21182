// Window-level events: close, move, resize, activation, timers and the
// window command; and the release of a face's windows.
#include "gui/window_proc.hpp"

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/fonts.hpp"
#include "gui/menus.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

namespace qor::gui {

namespace {

bool g_in_size_move = false;
constexpr int32_t SLOT_AUX = -4, SLOT_VIEW_FLAGS = -12, SLOT_SIZE_MOVE = -24;

// Runs the event with the message record pointing at the window.
int32_t window_event(uint32_t hwnd, uint32_t code, int32_t lparam, uint32_t flags = 0) {
    LoopState& s = loop_state();
    Message* saved = s.current_msg;
    Message record{};
    if (saved) record = *saved;
    else ws().message_pos(&record.x, &record.y);
    record.hwnd = hwnd;
    record.lparam = lparam;
    s.current_msg = &record;
    int32_t r = make_event(&record, flags, code);
    s.current_msg = saved;
    return r;
}

// Writes `offset` or `size` in logical units, a pair! when the window keeps
// integer geometry.
void write_geometry(uint32_t hwnd, Cell* face, int32_t facet, int32_t x, int32_t y) {
    Cell* cell = faces::facet(face, facet);
    if (!cell) return;
    double lx = faces::to_logical(x), ly = faces::to_logical(y);
    if (facet == faces::SIZE && (ws().window_word(hwnd, SLOT_VIEW_FLAGS) & 0x10))
        *cell = Cell{TYPE_PAIR, 0, uint32_t(int32_t(lx)), uint32_t(int32_t(ly))};
    else
        *cell = point::make2d(lx, ly);
}

}  // namespace

void apply_rate(uint32_t hwnd, const Cell* rate) {
    switch (type_of(rate)) {
    case TYPE_NONE:
        ws().set_timer(hwnd, 0);
        return;
    case TYPE_INTEGER: {
        int32_t n = integer::get_value(rate);
        if (n <= 0) break;
        ws().set_timer(hwnd, uint32_t(1000 / n) ? uint32_t(1000 / n) : 1);
        return;
    }
    case TYPE_TIME: {
        double seconds = float_::get_value(rate);
        if (!(seconds > 0)) break;
        uint32_t ms = uint32_t(seconds * 1000);
        ws().set_timer(hwnd, ms ? ms : 1);
        return;
    }
    default:
        break;
    }
    raise_error("script", "invalid-facet-type", rate);
}

ProcAnswer window_proc(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam) {
    WindowSystem& w = ws();
    Cell* face = faces::of_window(hwnd);
    if (!face) return {false, 0};
    Cell keep_face = *face;
    gc::CellRoot keep(&keep_face);
    bool window = faces::type_is(&keep_face, "window");
    switch (message) {
    case WM_CLOSE: {
        if (w.window_word(hwnd, SLOT_AUX) == -1) {
            loop_state().current_msg = nullptr;
            return {false, 0};
        }
        if (!window) return {false, 0};
        if (window_event(hwnd, EVT_CLOSE, lparam) == 0) {
            loop_state().current_msg = nullptr;
            w.post_quit();
        }
        return {true, 0};
    }
    case WM_MOVE: {
        if (!window) return {false, 0};
        int32_t x = low_signed(lparam), y = high_signed(lparam);
        if (x < -9999 && y < -9999) return {true, 0};
        write_geometry(hwnd, &keep_face, faces::OFFSET, x, y);
        window_event(hwnd, EVT_MOVE, lparam);
        return {true, 0};
    }
    case WM_SIZE: {
        if (!window) return {false, 0};
        if (wparam == 1) return {true, 0};   // SIZE_MINIMIZED
        int32_t x = low_signed(lparam), y = high_signed(lparam);
        write_geometry(hwnd, &keep_face, faces::SIZE, x, y);
        window_event(hwnd, EVT_RESIZE, lparam);
        Cell* state = faces::facet(&keep_face, faces::STATE);
        if (state && type_of(state) == TYPE_BLOCK && (!g_in_size_move || wparam == 2))
            window_event(hwnd, EVT_RESIZE, lparam);
        return {true, 0};
    }
    case WM_ENTERSIZEMOVE:
        if (window) g_in_size_move = true;
        return {false, 0};
    case WM_EXITSIZEMOVE:
        if (!window) return {false, 0};
        g_in_size_move = false;
        window_event(hwnd, w.window_word(hwnd, SLOT_SIZE_MOVE) == 31 ? EVT_MOVE : EVT_RESIZE, lparam);
        return {true, 0};
    case WM_ACTIVATE:
        if (!window) return {false, 0};
        if (wparam & 0xFFFF) {
            if (loop_state().current_msg) window_event(hwnd, EVT_FOCUS, lparam);
            return {true, 0};
        }
        if (loop_state().current_msg) window_event(hwnd, EVT_UNFOCUS, lparam);
        return {false, 0};
    case WM_TIMER:
        window_event(hwnd, EVT_TIME, lparam);
        return {true, 0};
    case WM_LBUTTONDOWN:
        return {true, 0};
    case WM_LBUTTONUP:
        return {true, 0};
    case WM_MENUSELECT:
        menus::note_selection(wparam, uint32_t(lparam));
        return {true, 0};
    case WM_ENTERMENULOOP:
        if (wparam == 0) menus::forget_popup();
        return {false, 0};
    case WM_COMMAND:
        // a menu item: no control, an identifier up to 999
        if (lparam == 0 && (wparam & 0xFFFF) <= 999 && menus::state().select_handle && menus::command(hwnd))
            return {true, 0};
        return {false, 0};
    case WM_USER + 2:
        if (wparam == EVT_MINIMIZE || wparam == EVT_MAXIMIZE) return {false, 0};
        w.show_window(hwnd);
        return {true, 0};
    default:
        return {false, 0};
    }
}

void free_face(Cell* face_in, bool top) {
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    uint32_t hwnd = faces::handle_of(&face);
    if (!hwnd) return;
    WindowSystem& w = ws();
    int32_t slot = w.face_slot(hwnd);   // read while the window lives
    bool window = faces::type_is(&face, "window");
    if (window) w.hide_window(hwnd);
    Cell* rate = faces::facet(&face, faces::RATE);
    if (rate && type_of(rate) != TYPE_NONE) w.set_timer(hwnd, 0);
    Cell* pane = faces::facet(&face, faces::PANE);
    if (pane && type_of(pane) == TYPE_BLOCK) {
        Cell children = *pane;
        gc::CellRoot keep_children(&children);
        for (uint32_t i = 0; i < block::length(&children); ++i) {
            Cell child = *block::item(&children, i);
            if (type_of(&child) == TYPE_OBJECT) free_face(&child, false);
        }
    }
    if (faces::type_is(&face, "panel")) w.destroy_window(hwnd);
    if (window) {
        if (Cell* selected = faces::facet(&face, faces::SELECTED)) *selected = Cell{TYPE_NONE, 0, 0, 0};
        w.set_window_word(hwnd, SLOT_AUX, -1);
    }
    fonts::unlink_face(&face);
    faces::free(slot);
    w.set_face_slot(hwnd, 0);
    if (Cell* state = faces::facet(&face, faces::STATE)) *state = Cell{TYPE_NONE, 0, 0, 0};
    if (top) w.post_message(hwnd, WM_CLOSE, 0, 0);
}

}  // namespace qor::gui
