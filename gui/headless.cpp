// The headless window system.
#include "gui/headless.hpp"

#include <cstdio>
#include <deque>

#include "datatypes/block.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
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
    std::vector<bool> fonts;   // live fonts by number
    uint32_t batches = 0;
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

void kill(uint32_t hwnd);

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
        kill(msg->hwnd);
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
uint32_t capture_mouse() { return g.capture; }
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
// A window takes its descendants with it.
void kill(uint32_t hwnd) {
    Window* w = window(hwnd);
    if (!w) return;
    w->alive = false;
    for (size_t i = 0; i < g.windows.size(); ++i)
        if (g.windows[i].alive && g.windows[i].parent == hwnd) kill(FIRST_HANDLE + uint32_t(i) * 4);
}
void destroy_window(uint32_t hwnd) {
    kill(hwnd);
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
void system_metrics(int32_t* scroller_w, int32_t* scroller_h, uint32_t* text, uint32_t* window, uint32_t* panel) {
    *scroller_w = *scroller_h = 17;
    *text = 0x000000;
    *window = 0xFFFFFF;
    *panel = 0xF0F0F0;
}

// ---- Facets, fonts, capture

std::string pos_text(const WindowPos* p) {
    char buf[96];
    std::string s;
    if (!(p->flags & SWP_NOMOVE)) {
        std::snprintf(buf, sizeof buf, " at %dx%d", p->x, p->y);
        s += buf;
    }
    if (!(p->flags & SWP_NOSIZE)) {
        std::snprintf(buf, sizeof buf, " size %dx%d", p->width, p->height);
        s += buf;
    }
    if (!(p->flags & SWP_NOZORDER)) s += " top";
    if (p->flags & SWP_SHOWWINDOW) s += " show";
    if (p->flags & SWP_HIDEWINDOW) s += " hide";
    return s.empty() ? s : s.substr(1);
}

void place(const WindowPos* p) {
    Window* w = window(p->hwnd);
    if (!w) return;
    if (!(p->flags & SWP_NOMOVE)) {
        w->x = p->x;
        w->y = p->y;
    }
    if (!(p->flags & SWP_NOSIZE)) {
        w->width = p->width;
        w->height = p->height;
    }
    if (p->flags & SWP_SHOWWINDOW) w->visible = true;
    if (p->flags & SWP_HIDEWINDOW) w->visible = false;
}

void set_window_pos(const WindowPos* p) {
    place(p);
    note("set-pos", p->hwnd, pos_text(p));
}
uint32_t begin_positions(int32_t count) {
    g.log.push_back("defer-begin " + std::to_string(count));
    return ++g.batches;
}
uint32_t defer_position(uint32_t batch, const WindowPos* p) {
    place(p);
    note("defer", p->hwnd, pos_text(p));
    return batch;
}
void end_positions(uint32_t) { g.log.push_back("defer-end"); }
void set_visible(uint32_t hwnd, bool visible) {
    if (Window* w = window(hwnd)) w->visible = visible;
    note(visible ? "show" : "hide", hwnd);
}
void enable(uint32_t hwnd, bool enabled) { note(enabled ? "enable" : "disable", hwnd); }

std::string molded_facet(Cell* face, int32_t n) {
    Cell* c = faces::facet(face, n);
    if (!c) return "none";
    if (type_of(c) == TYPE_STRING) return "\"" + string::to_utf8(c) + "\"";
    if (type_of(c) == TYPE_NONE) return "none";
    if (type_of(c) == TYPE_LOGIC) return c->data1 ? "true" : "false";
    if (type_of(c) == TYPE_INTEGER) return std::to_string(int32_t(c->data2));
    if (type_of(c) == TYPE_BLOCK) return "block of " + std::to_string(block::length(c));
    if (type_of(c) == TYPE_PAIR) return std::to_string(int32_t(c->data2)) + "x" + std::to_string(int32_t(c->data3));
    if (is_word_kind(type_of(c))) return reinterpret_cast<const char*>(symbol::c_string(word::symbol_of(c)));
    if (type_of(c) == TYPE_TUPLE) {
        const uint8_t* b = reinterpret_cast<const uint8_t*>(&c->data1);
        return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]);
    }
    if (type_of(c) == TYPE_OBJECT) return "object";
    if (type_of(c) == TYPE_IMAGE) return "image";
    return "set";
}

void set_text(uint32_t hwnd, Cell* face) { note("set-text", hwnd, molded_facet(face, faces::TEXT)); }

const char* const FACET_NAMES[] = {
    "type", "offset", "size", "text", "image", "color", "menu", "data", "enabled?", "visible?",
    "selected", "flags", "options", "parent", "pane", "state", "rate", "edge", "para", "font",
    "actors", "extra", "draw",
};
void apply_facet(uint32_t hwnd, Cell* face, int32_t facet) {
    if (facet < 0 || facet > faces::DRAW) return;
    note("set", hwnd, std::string(FACET_NAMES[facet]) + " " + molded_facet(face, facet));
}
void set_parent(uint32_t hwnd, uint32_t parent) {
    if (Window* w = window(hwnd)) w->parent = parent;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%X", unsigned(parent));
    note("set-parent", hwnd, buf);
}
void set_style_bits(uint32_t hwnd, uint32_t keep, uint32_t bits) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "keep %X bits %X", unsigned(keep), unsigned(bits));
    note("style", hwnd, buf);
}
void focus(uint32_t hwnd) { note("focus", hwnd); }

constexpr uint32_t FIRST_FONT = 0xF0000;
uint32_t make_font(const FontSpec* spec) {
    g.fonts.push_back(true);
    uint32_t font = FIRST_FONT + uint32_t(g.fonts.size() - 1);
    std::string name;
    for (const uint16_t* c = spec->name; *c; ++c) name += char(*c < 128 ? *c : '?');
    char buf[160];
    std::snprintf(buf, sizeof buf, "\"%s\" height %d weight %d%s%s%s angle %d quality %d",
                  name.c_str(), spec->height, spec->weight, spec->italic ? " italic" : "",
                  spec->underline ? " underline" : "", spec->strike ? " strike" : "",
                  spec->orientation, spec->quality);
    note("make-font", font, buf);
    return font;
}
void free_font(uint32_t font) {
    uint32_t i = font - FIRST_FONT;
    if (font < FIRST_FONT || i >= g.fonts.size() || !g.fonts[i]) {
        note("free-font of no font", font);
        return;
    }
    g.fonts[i] = false;
    note("free-font", font);
}
void set_font(uint32_t hwnd, uint32_t font) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%X", unsigned(font));
    note("set-font", hwnd, font ? buf : "default");
}

// The dialog is never confirmed: nobody is there to choose.
bool request_font(FontSpec* spec, bool mono, int32_t*) {
    std::string name;
    for (const uint16_t* c = spec->name; *c; ++c) name += char(*c < 128 ? *c : '?');
    g.log.push_back("request-font \"" + name + "\" height " + std::to_string(spec->height) +
                    (mono ? " mono" : ""));
    return false;
}

// A face's window is its colour (grey without one); the screen is black.
bool capture(uint32_t hwnd, int32_t* width, int32_t* height, uint32_t* pixels) {
    uint32_t colour = 0xFF000000u;
    if (hwnd) {
        Window* w = window(hwnd);
        if (!w) return false;
        *width = w->width;
        *height = w->height;
        colour = 0xFFF0F0F0u;
        Cell* c = faces::facet(faces::of_window(hwnd), faces::COLOR);
        if (c && type_of(c) == TYPE_TUPLE) {
            const uint8_t* b = reinterpret_cast<const uint8_t*>(&c->data1);
            colour = 0xFF000000u | uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
        }
    } else {
        *width = int32_t(1920 * g.scale);
        *height = int32_t(1080 * g.scale);
    }
    if (!pixels) return true;
    for (int32_t i = 0; i < *width * *height; ++i) pixels[i] = colour;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%dx%d", *width, *height);
    note("capture", hwnd, buf);
    return true;
}

WindowSystem g_system = {
    .name = "headless", .get_message = get_message, .translate = translate, .dispatch = dispatch,
    .post_quit = post_quit, .post_message = post_message,
    .key_held = key_held, .vk_to_char = vk_to_char, .scan_to_vk = scan_to_vk,
    .vk_of_char = vk_of_char, .window_enabled = window_enabled, .track_leave = track_leave,
    .capture = capture_mouse, .release_capture = release_capture, .message_pos = message_pos,
    .list_item_at = list_item_at,
    .face_slot = face_slot, .set_face_slot = set_face_slot, .window_word = window_word,
    .set_window_word = set_window_word, .parent_of = parent_of, .root_owner = root_owner,
    .own_window_at = own_window_at, .screen_to_client = screen_to_client,
    .client_to_screen = client_to_screen, .scale = scale,
    .start = start, .screens = screens, .current_screen = current_screen, .make_view = make_view,
    .hide_window = hide_window, .destroy_window = destroy_window, .show_window = show_window,
    .refresh_window = refresh_window, .redraw = redraw, .update_view = update_view,
    .set_timer = set_timer, .text_size = text_size, .support_dark_mode = support_dark_mode,
    .set_dark_mode = set_dark_mode, .version = version, .shutdown = shutdown, .system_metrics = system_metrics,
    .set_window_pos = set_window_pos, .begin_positions = begin_positions,
    .defer_position = defer_position, .end_positions = end_positions, .set_visible = set_visible,
    .enable = enable, .set_text = set_text, .apply_facet = apply_facet, .set_parent = set_parent,
    .set_style_bits = set_style_bits, .focus = focus,
    .make_font = make_font, .free_font = free_font, .set_font = set_font,
    .request_font = request_font,
    .capture_window = capture,
    .popup_menu = popup_menu, .menu_item_data = menu_item_data, .destroy_menu = destroy_menu,
    .file_dialog = file_dialog, .folder_dialog = folder_dialog, .text_box_metrics = text_box_metrics,
    .camera_devices = nullptr,
    .read_text = nullptr,
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
int32_t live_fonts() {
    int32_t n = 0;
    for (bool f : g.fonts) n += f;
    return n;
}

int32_t live_windows() {
    int32_t n = 0;
    for (const Window& w : g.windows) n += w.alive;
    return n;
}

}  // namespace qor::gui::headless
