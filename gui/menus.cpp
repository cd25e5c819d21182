// Menus: reading menu blocks, the context menu and the menu event.
#include "gui/menus.hpp"

#include "datatypes/block.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::menus {

namespace {

State g;

bool is_string(const Cell* v) { return type_of(v) == TYPE_STRING; }

void read_block(const Cell* blk, std::vector<MenuItem>* out, int depth) {
    uint32_t n = block::length(blk);
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* v = block::item(blk, i);
        if (is_string(v)) {
            MenuItem item;
            item.text = string::to_utf8(v);
            if (i + 1 < n) {
                const Cell* next = block::item(blk, i + 1);
                if (type_of(next) == TYPE_BLOCK) {
                    item.has_submenu = true;
                    // a menu that holds itself stops at a sane depth
                    if (depth < 32) read_block(next, &item.submenu, depth + 1);
                    ++i;
                } else if (type_of(next) == TYPE_WORD) {
                    item.data = word::symbol_of(next);
                    ++i;
                }
            }
            out->push_back(std::move(item));
        } else if (type_of(v) == TYPE_WORD && word::spelled(v, "---")) {
            MenuItem sep;
            sep.separator = true;
            out->push_back(std::move(sep));
        }
    }
}

}  // namespace

bool build(const Cell* blk, std::vector<MenuItem>* out) {
    out->clear();
    if (!blk || type_of(blk) != TYPE_BLOCK) return false;
    read_block(blk, out, 0);
    return true;
}

bool menu_bar(const Cell* menu, const Cell* face_type) {
    if (!menu || type_of(menu) != TYPE_BLOCK || block::length(menu) == 0) return false;
    if (!face_type || !faces::word_is(face_type, "window")) return false;
    const Cell* first = block::item(menu, 0);
    return !(type_of(first) == TYPE_WORD && word::spelled(first, "popup"));
}

State& state() { return g; }
void reset() { g = State{}; }

void forget_popup() {
    g.face_window = 0;
    g.popup = 0;
}

void note_selection(uint32_t wparam, uint32_t hmenu) {
    if (wparam == 0xFFFF0000u) return;   // the menu closed
    g.select_item = int32_t(wparam & 0xFFFF);
    g.select_handle = hmenu;
}

int32_t show_context_menu(const Message* msg, int32_t x, int32_t y) {
    g.select_item = -1;
    g.select_handle = 0;
    WindowSystem& w = ws();
    if (!w.popup_menu) return 0;
    Cell* face = faces::of_window(msg->hwnd);
    if (!face) return 0;
    const Cell* menu = faces::facet(face, faces::MENU);
    std::vector<MenuItem> items;
    if (!build(menu, &items)) return 0;
    if (menu_bar(menu, faces::facet(face, faces::TYPE))) return 0;
    uint32_t owner = w.parent_of(msg->hwnd);
    if (!owner) owner = msg->hwnd;
    g.face_window = msg->hwnd;
    g.popup = w.popup_menu(owner, items, x, y);
    return 1;
}

bool command(uint32_t hwnd) {
    WindowSystem& w = ws();
    if (!g.select_handle || !w.menu_item_data) return false;
    int32_t data = w.menu_item_data(g.select_handle, g.select_item);
    uint32_t window = g.face_window ? g.face_window : hwnd;
    uint32_t popup = g.popup;
    g.face_window = 0;
    g.popup = 0;
    if (popup && w.destroy_menu) w.destroy_menu(popup);
    Message record{};
    if (LoopState& s = loop_state(); s.current_msg) record = *s.current_msg;
    record.hwnd = window;
    make_event(&record, uint32_t(data) & 0xFFFF, EVT_MENU);
    return true;
}

}  // namespace qor::gui::menus
