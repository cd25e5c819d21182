// The headless window system's menus, dialogs and rich-text metrics.
#include "gui/headless_controls.hpp"

#include <cstdio>
#include <map>

#include "datatypes/symbol.hpp"
#include "gui/face_slots.hpp"
#include "gui/headless.hpp"
#include "gui/rich_text.hpp"

namespace qor::gui::headless {

namespace {

constexpr uint32_t FIRST_MENU = 0x100;

std::map<uint32_t, std::vector<MenuItem>> g_menus;
uint32_t g_next_menu = FIRST_MENU;

std::string hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%X", unsigned(v));
    return b;
}

// Registers a menu level and its submenus; logs one line per level.
uint32_t add_menu(const std::vector<MenuItem>& items) {
    uint32_t h = g_next_menu++;
    g_menus[h] = items;
    std::string line = "menu " + hex(h) + ":";
    for (const MenuItem& it : items) {
        if (it.separator) {
            line += " ---";
            continue;
        }
        line += " \"" + it.text + "\"";
        if (it.has_submenu) line += " >" + hex(add_menu(it.submenu));
        else if (it.data >= 0) line += " " + std::string(reinterpret_cast<const char*>(symbol::c_string(it.data)));
    }
    note(line);
    return h;
}

}  // namespace

uint32_t popup_menu(uint32_t owner, const std::vector<MenuItem>& items, int32_t x, int32_t y) {
    char head[64];
    std::snprintf(head, sizeof head, "popup-menu %X at %dx%d", unsigned(owner), int(x), int(y));
    note(head);
    return add_menu(items);
}

int32_t menu_item_data(uint32_t hmenu, int32_t position) {
    auto it = g_menus.find(hmenu);
    if (it == g_menus.end() || position < 0 || size_t(position) >= it->second.size()) return -1;
    return it->second[size_t(position)].data;
}

void destroy_menu(uint32_t hmenu) { note("destroy-menu " + hex(hmenu)); }

bool file_dialog(const FileDialog& d, std::vector<std::string>* paths) {
    std::string line = std::string("file-dialog ") + (d.save ? "save" : "open");
    if (d.multi) line += " multi";
    if (d.has_title) line += " title \"" + d.title + "\"";
    if (!d.initial_dir.empty()) line += " dir \"" + d.initial_dir + "\"";
    if (!d.initial_name.empty()) line += " name \"" + d.initial_name + "\"";
    const auto& filters = d.default_filter ? dialogs::default_filters() : d.filters;
    line += " filters";
    for (const auto& [description, pattern] : filters) line += " \"" + description + "\" \"" + pattern + "\"";
    note(line);
    paths->clear();
    return false;
}

bool folder_dialog(const FolderDialog& d, std::string* path) {
    std::string line = "folder-dialog";
    if (d.keep) line += " keep";
    if (d.has_title) line += " title \"" + d.title + "\"";
    if (!d.start_dir.empty()) line += " dir \"" + d.start_dir + "\"";
    note(line);
    path->clear();
    return false;
}

bool text_box_metrics(Cell* face, const Cell* arg, int32_t type, Cell* out) {
    const Cell* text = faces::facet(face, faces::TEXT);
    if (!text || type_of(text) != TYPE_STRING) return false;
    return rich_text::fixed_metrics(rich_text::code_points(text), arg, type, char_width(), line_height(), out);
}

void reset_controls() {
    g_menus.clear();
    g_next_menu = FIRST_MENU;
}

}  // namespace qor::gui::headless
