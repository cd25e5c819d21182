// The headless window system.
#include "gui/headless.hpp"

#include <cstdio>
#include <deque>

#include "datatypes/block.hpp"
#include "datatypes/string.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/headless_controls.hpp"
#include "gui/window_proc.hpp"

namespace qor::gui::headless {

namespace {

constexpr uint32_t FIRST_HANDLE = 0x10000;
constexpr int32_t EXTRA_WORDS = 20;   // 80 extra bytes; the face slot is word 15

struct Window {
    bool     alive = false;
    bool     visible = false;
    uint32_t parent = 0;
    int32_t  x = 0, y = 0, width = 0, height = 0;
    uint32_t timer_ms = 0;
    int32_t  words[EXTRA_WORDS] = {};
};

struct State {
    std::vector<Window> windows;
    std::deque<Message> queue;
    bool quit = false;
    bool held[256] = {};
    int32_t pointer_x = 0, pointer_y = 0;
    uint32_t capture = 0;
    int32_t char_width = 7, line_height = 15;
    double scale = 1.0;
    std::vector<std::string> log;
};
State g;

Window* window(uint32_t hwnd) {
    if (hwnd < FIRST_HANDLE) return nullptr;
    uint32_t i = (hwnd - FIRST_HANDLE) / 4;
    if (i >= g.windows.size() || !g.windows[i].alive) return nullptr;
    return &g.windows[i];
}

void note(const char* what, uint32_t hwnd, const std::string& more = "") {
    char head[64];
    std::snprintf(head, sizeof head, "%s %X", what, unsigned(hwnd));
    g.log.push_back(more.empty() ? std::string(head) : std::string(head) + " " + more);
}

int32_t word_index(int32_t offset) { return (60 + offset) / 4; }

// ---- Entries

int get_message(Message* msg, bool wait) {
    if (g.quit) {
        g.quit = false;
        return 0;
    }
    if (g.queue.empty()) return 0;   // a dry script ends the loop
    (void)wait;
    *msg = g.queue.front();
    g.queue.pop_front();
    msg->x = g.pointer_x;
    msg->y = g.pointer_y;
    return 1;
}

// The characters of the keys TranslateMessage would turn into WM_CHAR.
void translate(Message* msg) {
    if (msg->message != WM_KEYDOWN) return;
    uint32_t vk = msg->wparam & 0xFF;
    uint32_t ch = 0;
    bool shift = g.held[VK_SHIFT], control = g.held[VK_CONTROL];
    if (vk >= 'A' && vk <= 'Z') ch = control ? vk - 0x40 : shift ? vk : vk + 0x20;
    else if (vk >= '0' && vk <= '9' && !control) ch = vk;
    else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE) ch = vk;
    if (ch) g.queue.push_front(Message{msg->hwnd, WM_CHAR, ch, msg->lparam, 0, 0, 0});
}

void dispatch(Message* msg) {
    Window* w = window(msg->hwnd);
    if (!w) return;
    ProcAnswer a = window_proc(msg->hwnd, msg->message, msg->wparam, msg->lparam);
    if (a.handled) return;
    if (msg->message == WM_CLOSE) {
        note("destroy", msg->hwnd);
        uint32_t closing = msg->hwnd;
        for (size_t i = 0; i < g.windows.size(); ++i)   // its children go with it
            if (g.windows[i].alive && g.windows[i].parent == closing) g.windows[i].alive = false;
        if (Window* gone = window(closing)) gone->alive = false;
    }
}

void post_quit() { g.quit = true; }

void post_message(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam) {
    g.queue.push_back(Message{hwnd, message, wparam, lparam, 0, 0, 0});
}

bool key_held(int32_t vk) { return vk >= 0 && vk < 256 && g.held[vk]; }
uint32_t vk_to_char(uint32_t vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9') || vk == VK_SPACE || vk == VK_RETURN ||
        vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE)
        return vk;
    return 0;
}
uint32_t scan_to_vk(uint32_t scan) { return scan == 0x36 ? VK_RSHIFT : VK_LSHIFT; }
uint32_t vk_of_char(uint32_t ch) {
    if (ch >= 'a' && ch <= 'z') return ch - 0x20;
    return ch & 0xFF;
}
bool window_enabled(uint32_t hwnd) { return window(hwnd) != nullptr; }
void track_leave(uint32_t hwnd) { note("track-leave", hwnd); }
uint32_t capture() { return g.capture; }
void release_capture() { g.capture = 0; }
void message_pos(int32_t* x, int32_t* y) {
    *x = g.pointer_x;
    *y = g.pointer_y;
}
int32_t list_item_at(uint32_t, int32_t, int32_t) { return -1; }

int32_t face_slot(uint32_t hwnd) {
    Window* w = window(hwnd);
    return w ? w->words[word_index(0)] : 0;
}
void set_face_slot(uint32_t hwnd, int32_t slot) {
    if (Window* w = window(hwnd)) w->words[word_index(0)] = slot;
}
int32_t window_word(uint32_t hwnd, int32_t offset) {
    Window* w = window(hwnd);
    int32_t i = word_index(offset);
    return w && i >= 0 && i < EXTRA_WORDS ? w->words[i] : 0;
}
void set_window_word(uint32_t hwnd, int32_t offset, int32_t value) {
    Window* w = window(hwnd);
    int32_t i = word_index(offset);
    if (w && i >= 0 && i < EXTRA_WORDS) w->words[i] = value;
}
uint32_t parent_of(uint32_t hwnd) {
    Window* w = window(hwnd);
    return w ? w->parent : 0;
}
uint32_t root_owner(uint32_t hwnd) {
    while (Window* w = window(hwnd)) {
        if (!w->parent) return hwnd;
        hwnd = w->parent;
    }
    return 0;
}
uint32_t own_window_at(int32_t, int32_t) { return 0; }
void screen_to_client(uint32_t hwnd, int32_t* x, int32_t* y) {
    if (Window* w = window(root_owner(hwnd))) {
        *x -= w->x;
        *y -= w->y;
    }
}
void client_to_screen(uint32_t hwnd, int32_t* x, int32_t* y) {
    if (Window* w = window(root_owner(hwnd))) {
        *x += w->x;
        *y += w->y;
    }
}
double scale() { return g.scale; }

void start() { g.log.push_back("start"); }

int32_t screens(Screen* out, int32_t room) {
    if (room < 1) return 0;
    out[0] = Screen{0, 0, int32_t(1920 * g.scale), int32_t(1080 * g.scale), g.scale, 1};
    return 1;
}
int32_t current_screen() { return 1; }

int32_t geometry(Cell* face, int32_t facet, int i) {
    Cell* c = faces::facet(face, facet);
    if (!c) return 0;
    if (type_of(c) == TYPE_PAIR) return faces::to_pixels(int32_t(i == 0 ? c->data2 : c->data3));
    if (type_of(c) == TYPE_POINT2D) {
        float v;
        uint32_t bits = i == 0 ? c->data2 : c->data3;
        static_assert(sizeof v == sizeof bits);
        __builtin_memcpy(&v, &bits, 4);
        return faces::to_pixels(v);
    }
    return 0;
}

uint32_t make_view(Cell* face, uint32_t parent) {
    Window w;
    w.alive = true;
    w.parent = parent;
    w.x = geometry(face, faces::OFFSET, 0);
    w.y = geometry(face, faces::OFFSET, 1);
    w.width = geometry(face, faces::SIZE, 0);
    w.height = geometry(face, faces::SIZE, 1);
    Cell* size = faces::facet(face, faces::SIZE);
    if (size && type_of(size) == TYPE_PAIR) w.words[word_index(-12)] |= 0x10;
    w.words[word_index(16)] = int32_t(faces::get_flags(faces::facet(face, faces::FLAGS)));
    g.windows.push_back(w);
    uint32_t hwnd = FIRST_HANDLE + uint32_t(g.windows.size() - 1) * 4;
    faces::link_window(hwnd, face);
    char geo[64];
    std::snprintf(geo, sizeof geo, "%dx%d at %dx%d", w.width, w.height, w.x, w.y);
    note("make-view", hwnd, geo);
    return hwnd;
}

void hide_window(uint32_t hwnd) {
    if (Window* w = window(hwnd)) w->visible = false;
    note("hide", hwnd);
}
void destroy_window(uint32_t hwnd) {
    if (Window* w = window(hwnd)) w->alive = false;
    note("destroy", hwnd);
}
void show_window(uint32_t hwnd) {
    if (Window* w = window(hwnd)) w->visible = true;
    note("show-window", hwnd);
}
void refresh_window(uint32_t hwnd) { note("refresh-window", hwnd); }
void redraw(uint32_t hwnd) { note("redraw", hwnd); }
void update_view(Cell* face) { note("update-view", faces::handle_of(face)); }
void set_timer(uint32_t hwnd, uint32_t ms) {
    if (Window* w = window(hwnd)) w->timer_ms = ms;
    note(ms ? "set-timer" : "kill-timer", hwnd, ms ? std::to_string(ms) : "");
}

bool text_size(Cell*, const Cell* text, double* w, double* h) {
    std::string s = string::to_utf8(text);
    int32_t lines = 1, longest = 0, current = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\n') {
            lines++;
            current = 0;
            continue;
        }
        if ((c & 0xC0) != 0x80) current++;
        if (current > longest) longest = current;
    }
    *w = double(longest * g.char_width);
    *h = double(lines * g.line_height);
    return true;
}

bool support_dark_mode() { return false; }
void set_dark_mode(uint32_t hwnd, bool dark, bool) { note(dark ? "dark-mode" : "light-mode", hwnd); }
void version(int32_t* major, int32_t* minor, int32_t* build, int32_t* product) {
    *major = 10;
    *minor = 0;
    *build = 19045;
    *product = 1;
}
void shutdown() { g.log.push_back("shutdown"); }

WindowSystem g_system = {
    "headless", get_message, translate, dispatch, post_quit, post_message,
    key_held, vk_to_char, scan_to_vk, vk_of_char, window_enabled, track_leave, capture,
    release_capture, message_pos, list_item_at,
    face_slot, set_face_slot, window_word, set_window_word, parent_of, root_owner,
    own_window_at, screen_to_client, client_to_screen, scale,
    start, screens, current_screen, make_view, hide_window, destroy_window, show_window,
    refresh_window, redraw, update_view, set_timer, text_size, support_dark_mode,
    set_dark_mode, version, shutdown,
    popup_menu, menu_item_data, destroy_menu, file_dialog, folder_dialog, text_box_metrics,
    nullptr,
};

}  // namespace

WindowSystem* window_system() { return &g_system; }

void reset() {
    g = State{};
    reset_controls();
}

const std::vector<std::string>& log() { return g.log; }
void clear_log() { g.log.clear(); }

void post(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam) {
    post_message(hwnd, message, wparam, lparam);
}
void hold_key(int32_t vk, bool down) {
    if (vk >= 0 && vk < 256) g.held[vk] = down;
}
void set_pointer(int32_t x, int32_t y) {
    g.pointer_x = x;
    g.pointer_y = y;
}
void set_metrics(int32_t char_width, int32_t line_height) {
    g.char_width = char_width;
    g.line_height = line_height;
}
void set_scale(double s) { g.scale = s; }
int32_t char_width() { return g.char_width; }
int32_t line_height() { return g.line_height; }
void note(const std::string& line) { g.log.push_back(line); }

bool window_alive(uint32_t hwnd) { return window(hwnd) != nullptr; }
int32_t live_windows() {
    int32_t n = 0;
    for (const Window& w : g.windows) n += w.alive;
    return n;
}

}  // namespace qor::gui::headless
