// The event loop and its pre-dispatch table: input messages become events
// before Windows translates and dispatches them; the others go on to the
// window procedures.
#include "gui/event_loop.hpp"

#include "gui/face_slots.hpp"
#include "gui/menus.hpp"
#include "gui/window_system.hpp"

namespace qor::gui {

namespace {

LoopState g_state;

// Restores what a loop changes on every way out.
struct ForcedFlagsGuard {
    int32_t saved;
    ForcedFlagsGuard() : saved(g_state.forced_flags) { g_state.forced_flags = -1; }
    ~ForcedFlagsGuard() { g_state.forced_flags = saved; }
};

void run_message(Message* msg) {
    if (pre_dispatch(msg) < 1) return;
    Message* saved = g_state.current_msg;
    g_state.current_msg = msg;
    ws().translate(msg);
    ws().dispatch(msg);
    g_state.current_msg = saved;
}

bool is_base_face(uint32_t hwnd) {
    Cell* face = faces::of_window(hwnd);
    return face && faces::type_is(face, "base");
}

}  // namespace

LoopState& loop_state() { return g_state; }
void reset_loop_state() { g_state = LoopState{}; }

bool do_events(bool no_wait) {
    ForcedFlagsGuard guard;
    bool took = false;
    if (!no_wait) g_state.loop_depth++;
    Message msg{};
    while (ws().get_message(&msg, !no_wait) > 0) {
        took = true;
        run_message(&msg);
        if (no_wait) return took;
    }
    if (!no_wait) {
        // Pending exits unwind the loops around this one, one at a time.
        if (--g_state.exit_count > 0) ws().post_quit();
    }
    return took;
}

void do_events_pending() {
    if (g_state.draining) return;
    g_state.draining = true;
    while (do_events(true)) {}
    g_state.draining = false;
}

uint32_t mouse_flags(uint32_t wparam) {
    uint32_t f = 0;
    if (wparam & MK_LBUTTON) f |= FLAG_DOWN;
    if (wparam & MK_RBUTTON) f |= FLAG_ALT_DOWN;
    if (wparam & MK_MBUTTON) f |= FLAG_MID_DOWN;
    if (wparam & (MK_XBUTTON1 | MK_XBUTTON2)) f |= FLAG_AUX_DOWN;
    if (wparam & MK_SHIFT) f |= FLAG_SHIFT;
    if (wparam & MK_CONTROL) f |= FLAG_CONTROL;
    return f;
}

uint32_t modifier_flags(bool keys_only) {
    WindowSystem& w = ws();
    uint32_t f = 0;
    if (w.key_held(VK_CONTROL)) f |= FLAG_CONTROL;
    if (w.key_held(VK_SHIFT)) f |= FLAG_SHIFT;
    if (w.key_held(VK_MENU)) f |= FLAG_ALT;
    if (!keys_only) {
        if (w.key_held(VK_LBUTTON)) f |= FLAG_DOWN;
        if (w.key_held(VK_RBUTTON)) f |= FLAG_ALT_DOWN;
        if (w.key_held(VK_MBUTTON)) f |= FLAG_MID_DOWN;
        if (w.key_held(VK_XBUTTON1)) f |= FLAG_AUX_DOWN;
    }
    return f;
}

uint32_t key_flags() {
    return g_state.forced_flags >= 0 ? uint32_t(g_state.forced_flags) : modifier_flags(false);
}

int32_t pre_dispatch(Message* msg) {
    WindowSystem& w = ws();
    // The button and key bits of wParam, and the keyboard's modifiers.
    uint32_t flags = mouse_flags(msg->wparam);
    if (w.key_held(VK_CONTROL)) flags |= FLAG_CONTROL;
    if (w.key_held(VK_SHIFT)) flags |= FLAG_SHIFT;
    if (w.key_held(VK_MENU)) flags |= FLAG_ALT;
    uint32_t hwnd = msg->hwnd;

    switch (msg->message) {
    case WM_MOUSEMOVE: {
        if (msg->lparam == g_state.last_mouse_pos) return 0;
        g_state.last_mouse_pos = msg->lparam;
        int32_t result = 1;
        bool hovering = hwnd == g_state.hover_window;
        bool all_over = (w.window_word(hwnd, 16) & 1) != 0;
        if (w.window_enabled(hwnd) && (!hovering || all_over)) {
            if (!hovering) w.track_leave(hwnd);
            result = make_event(msg, flags, EVT_OVER);
        }
        g_state.hover_window = hwnd;
        (void)result;
        return 1;
    }
    case WM_MOUSELEAVE:
        g_state.last_mouse_pos = -1;
        make_event(msg, flags | FLAG_AWAY, EVT_OVER);
        if (hwnd == g_state.hover_window) g_state.hover_window = 0;
        return 1;
    case WM_MOUSEWHEEL:
        return make_event(msg, mouse_flags(msg->wparam), EVT_WHEEL);
    case WM_LBUTTONDOWN: {
        menus::forget_popup();
        g_state.pressed_window = hwnd;
        int32_t r = make_event(msg, flags, EVT_DOWN);
        g_state.pressed_window = 0;
        return r;
    }
    case WM_LBUTTONUP: {
        g_state.released_window = hwnd;
        if (w.capture() == hwnd && is_base_face(hwnd)) w.release_capture();
        int32_t r = make_event(msg, flags, EVT_UP);
        g_state.released_window = 0;
        return r;
    }
    case WM_RBUTTONDOWN: {
        if (w.capture()) return 1;
        g_state.right_click_x = low_signed(msg->lparam);
        g_state.right_click_y = high_signed(msg->lparam);
        int32_t sx = g_state.right_click_x, sy = g_state.right_click_y;
        w.client_to_screen(hwnd, &sx, &sy);
        menus::forget_popup();
        int32_t r = make_event(msg, flags, EVT_ALT_DOWN);
        return menus::show_context_menu(msg, sx, sy) ? 0 : r;
    }
    case WM_RBUTTONUP: return make_event(msg, flags, EVT_ALT_UP);
    case WM_MBUTTONDOWN: return make_event(msg, flags, EVT_MID_DOWN);
    case WM_MBUTTONUP: return make_event(msg, flags, EVT_MID_UP);
    case WM_XBUTTONDOWN: return make_event(msg, flags, EVT_AUX_DOWN);
    case WM_XBUTTONUP: return make_event(msg, flags, EVT_AUX_UP);
    case WM_LBUTTONDBLCLK:
        menus::forget_popup();
        make_event(msg, 0, EVT_DOWN);
        make_event(msg, flags, EVT_DBL_CLICK);
        return 1;
    case WM_KEYDOWN: {
        int32_t r = make_event(msg, 0, EVT_KEY_DOWN);
        int32_t vk = int32_t(msg->wparam & 0xFFFF);
        if (r != 0 && g_state.pending_key_code != -1) {
            switch (vk) {
            case VK_SHIFT: case VK_CONTROL: case VK_LSHIFT: case VK_RSHIFT:
            case VK_LCONTROL: case VK_RCONTROL: case VK_LMENU: case VK_RMENU:
                break;
            default:
                // No WM_CHAR comes for a special key.
                r = make_event(msg, 0, EVT_KEY);
            }
        }
        return r;
    }
    case WM_SYSKEYDOWN: return make_event(msg, 0, EVT_KEY_DOWN);
    case WM_KEYUP: case WM_SYSKEYUP: return make_event(msg, 0, EVT_KEY_UP);
    case WM_CHAR:
        g_state.pending_key_code = -1;
        return make_event(msg, 0, EVT_KEY);
    default:
        return 1;
    }
}

}  // namespace qor::gui
