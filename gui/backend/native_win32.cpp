// The Windows window system: the entry table over USER32 (the message queue,
// input state, window words and coordinates), with start-up, windows and
// monitors from the other win32_*.cpp files of this folder.
#include "gui/backend/win32_backend.hpp"

#include <commctrl.h>

#include <cstring>

#include "gui/window_system.hpp"
#include "gui/backend/faces_backend.hpp"
#include "gui/backend/controls_win32.hpp"

namespace qor::gui {

namespace {

using win32::from_hwnd;
using win32::to_hwnd;

static_assert(sizeof(MSG) == sizeof(Message), "the portable record is a 32-bit MSG");

MSG to_msg(const Message* m) {
    MSG out;
    std::memcpy(&out, m, sizeof out);
    return out;
}

int get_message(Message* msg, bool wait) {
    MSG m;
    std::memset(&m, 0, sizeof m);
    int r;
    if (wait) {
        BOOL got = GetMessageW(&m, nullptr, 0, 0);
        r = got == -1 ? -1 : got ? 1 : 0;
    } else {
        if (!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) return 0;
        if (m.message == WM_QUIT) {
            // A quit taken without waiting belongs to the blocking loop
            // around: it is put back for that loop's GetMessage.
            PostQuitMessage(int(m.wParam));
            return 0;
        }
        r = 1;
    }
    if (r > 0) std::memcpy(msg, &m, sizeof m);
    return r;
}

void translate(Message* msg) {
    MSG m = to_msg(msg);
    TranslateMessage(&m);
}

void dispatch(Message* msg) {
    MSG m = to_msg(msg);
    DispatchMessageW(&m);
}

void post_quit() { PostQuitMessage(0); }

void post_message(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam) {
    PostMessageW(to_hwnd(hwnd), message, wparam, lparam);
}

bool key_held(int32_t vk) { return (GetKeyState(vk) & 0x8000) != 0; }
uint32_t vk_to_char(uint32_t vk) { return MapVirtualKeyW(vk, MAPVK_VK_TO_CHAR); }
uint32_t scan_to_vk(uint32_t scan) { return MapVirtualKeyW(scan, MAPVK_VSC_TO_VK_EX); }
uint32_t vk_of_char(uint32_t ch) { return uint32_t(VkKeyScanW(wchar_t(ch))) & 0xFF; }
bool window_enabled(uint32_t hwnd) { return IsWindowEnabled(to_hwnd(hwnd)) != FALSE; }

void track_leave(uint32_t hwnd) {
    TRACKMOUSEEVENT t;
    static_assert(sizeof t == 16);
    t.cbSize = sizeof t;
    t.dwFlags = TME_LEAVE;
    t.hwndTrack = to_hwnd(hwnd);
    t.dwHoverTime = 0;
    TrackMouseEvent(&t);
}

uint32_t capture() { return from_hwnd(GetCapture()); }
void release_capture() { ReleaseCapture(); }

void message_pos(int32_t* x, int32_t* y) {
    DWORD pos = GetMessagePos();
    *x = low_signed(int32_t(pos));
    *y = high_signed(int32_t(pos));
}

// Only the backend's list boxes are asked: LBItemFromPt sends list-box
// messages to the window it is given.
int32_t list_item_at(uint32_t hwnd, int32_t x, int32_t y) {
    HWND h = to_hwnd(hwnd);
    wchar_t name[16];
    if (!win32::is_own_window(h) || !GetClassNameW(h, name, 16) || lstrcmpiW(name, L"QorListBox") != 0) return -1;
    return LBItemFromPt(h, POINT{x, y}, FALSE);
}

int32_t face_slot(uint32_t hwnd) { return int32_t(win32::slot(to_hwnd(hwnd), win32::SLOT_FACE)); }
void set_face_slot(uint32_t hwnd, int32_t index) { win32::set_slot(to_hwnd(hwnd), win32::SLOT_FACE, index); }
int32_t window_word(uint32_t hwnd, int32_t offset) { return int32_t(win32::slot(to_hwnd(hwnd), offset)); }
void set_window_word(uint32_t hwnd, int32_t offset, int32_t value) { win32::set_slot(to_hwnd(hwnd), offset, value); }
uint32_t parent_of(uint32_t hwnd) { return from_hwnd(GetParent(to_hwnd(hwnd))); }
uint32_t root_owner(uint32_t hwnd) { return from_hwnd(GetAncestor(to_hwnd(hwnd), GA_ROOTOWNER)); }

// The window under a screen point when it is one of this process's and not
// the console's.
uint32_t own_window_at(int32_t x, int32_t y) {
    HWND h = WindowFromPoint(POINT{x, y});
    if (!h) return 0;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != GetCurrentProcessId() || h == GetConsoleWindow()) return 0;
    return from_hwnd(h);
}

void screen_to_client(uint32_t hwnd, int32_t* x, int32_t* y) {
    POINT p{*x, *y};
    if (ScreenToClient(to_hwnd(hwnd), &p)) {
        *x = p.x;
        *y = p.y;
    }
}

void client_to_screen(uint32_t hwnd, int32_t* x, int32_t* y) {
    POINT p{*x, *y};
    if (ClientToScreen(to_hwnd(hwnd), &p)) {
        *x = p.x;
        *y = p.y;
    }
}

double scale() { return win32::backend().scale; }

void system_metrics(int32_t* scroller_w, int32_t* scroller_h, uint32_t* text, uint32_t* window, uint32_t* panel) {
    const win32::Backend& b = win32::backend();
    *scroller_w = b.scroller_w;
    *scroller_h = b.scroller_h;
    *text = b.color_text;
    *window = b.color_window;
    *panel = b.color_panel;
}

bool support_dark_mode() { return win32::support_dark_mode(); }
void set_dark_mode(uint32_t hwnd, bool dark, bool window) { win32::set_dark_mode(to_hwnd(hwnd), dark, window); }

WindowSystem g_system = {
    .name = "win32",
    .get_message = get_message,
    .translate = translate,
    .dispatch = dispatch,
    .post_quit = post_quit,
    .post_message = post_message,
    .key_held = key_held,
    .vk_to_char = vk_to_char,
    .scan_to_vk = scan_to_vk,
    .vk_of_char = vk_of_char,
    .window_enabled = window_enabled,
    .track_leave = track_leave,
    .capture = capture,
    .release_capture = release_capture,
    .message_pos = message_pos,
    .list_item_at = list_item_at,
    .face_slot = face_slot,
    .set_face_slot = set_face_slot,
    .window_word = window_word,
    .set_window_word = set_window_word,
    .parent_of = parent_of,
    .root_owner = root_owner,
    .own_window_at = own_window_at,
    .screen_to_client = screen_to_client,
    .client_to_screen = client_to_screen,
    .scale = scale,
    .start = win32::start,
    .screens = win32::screens,
    .current_screen = win32::current_screen,
    .make_view = win32::make_view,
    .hide_window = win32::hide_window,
    .destroy_window = win32::destroy_window,
    .show_window = win32::show_window,
    .refresh_window = win32::refresh_window,
    .redraw = win32::redraw,
    .update_view = win32::update_view,
    .set_timer = win32::set_timer,
    .text_size = win32::text_size,
    .support_dark_mode = support_dark_mode,
    .set_dark_mode = set_dark_mode,
    .version = win32::version,
    .shutdown = win32::shutdown,
    .system_metrics = system_metrics,
    .set_window_pos = win32::set_window_pos,
    .begin_positions = win32::begin_positions,
    .defer_position = win32::defer_position,
    .end_positions = win32::end_positions,
    .set_visible = win32::set_visible,
    .enable = win32::enable,
    .set_text = win32::set_text,
    .apply_facet = win32::apply_facet,
    .set_parent = win32::set_parent,
    .set_style_bits = win32::set_style_bits,
    .focus = win32::focus,
    .make_font = win32::make_font,
    .free_font = win32::free_font,
    .set_font = win32::set_font,
    .request_font = win32::request_font,
    .capture_window = win32::capture_window,
    .popup_menu = win32::popup_menu,
    .menu_item_data = win32::menu_item_data,
    .destroy_menu = win32::destroy_menu,
    .file_dialog = win32::file_dialog,
    .folder_dialog = win32::folder_dialog,
    .text_box_metrics = win32::text_box_metrics,
    .camera_devices = win32::camera_devices,
    .read_text = win32::get_text,
};

}  // namespace

WindowSystem* native_window_system() { return &g_system; }

}  // namespace qor::gui
