// Menus: the structure a face's `menu` block describes, the context menu of
// a right-button press and the `menu` event of a chosen item.  Portable code
// over the window system's menu entries (a backend that has none shows no
// menus).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gui/messages.hpp"
#include "runtime/cell.hpp"

namespace qor::gui {

// One entry of a menu: an item (text, the symbol id of its word or -1, and
// perhaps a submenu) or a separator.  Identifiers are 0-based positions.
struct MenuItem {
    bool separator = false;
    std::string text;                // UTF-8
    int32_t data = -1;
    bool has_submenu = false;
    std::vector<MenuItem> submenu;
};

namespace menus {

// The entries of a menu block; false (and nothing) when the value is not a
// block.  Strings are items, `---` separators, anything else is skipped.
bool build(const Cell* block, std::vector<MenuItem>* out);

// A window's menu block that is not a popup: the window's menu bar.
bool menu_bar(const Cell* menu, const Cell* face_type);

// Module state.
struct State {
    uint32_t face_window = 0;     // the window whose face owns the popup being shown
    uint32_t popup = 0;           // the popup menu being shown
    int32_t  select_item = -1;    // the last selected item (WM_MENUSELECT), -1 none
    uint32_t select_handle = 0;   // the menu of that item
};
State& state();
void reset();

// A press outside a menu, or a menu-bar loop: later commands go to the
// window that receives them.
void forget_popup();

// WM_MENUSELECT: remembers the item unless the menu was closed.
void note_selection(uint32_t wparam, uint32_t hmenu);

// Offers the context menu of the message's face at a screen position;
// 1 when a popup menu was shown, else 0.
int32_t show_context_menu(const Message* msg, int32_t x, int32_t y);

// WM_COMMAND of a menu item: the current selection as a `menu` event;
// false when no item is selected or the backend has no menus.
bool command(uint32_t hwnd);

}  // namespace menus
}  // namespace qor::gui
