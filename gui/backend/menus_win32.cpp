// Menus on Windows: menu bars and popup menus built from menu entries, and
// the data of a chosen item.

#include "gui/backend/controls_win32.hpp"
#include "gui/face_slots.hpp"

// windows.h after the project headers: its message macros would hide their constants.
#include <windows.h>

namespace qor::gui::win32 {

namespace {

HMENU as_menu(uint32_t h) { return reinterpret_cast<HMENU>(static_cast<uintptr_t>(h)); }
uint32_t as_word(HMENU h) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)); }

}  // namespace

uint32_t build_menu(const std::vector<MenuItem>& items, uint32_t hmenu) {
    HMENU menu = as_menu(hmenu);
    if (!menu) return 0;
    UINT position = 0;
    for (const MenuItem& it : items) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;   // 48 on 32-bit Windows
        std::u16string text;
        if (it.separator) {
            info.fMask = MIIM_FTYPE | MIIM_ID;
            info.fType = MFT_SEPARATOR;
        } else {
            text = dialogs::utf16(it.text);
            info.fMask = MIIM_STRING | MIIM_DATA | MIIM_ID;
            info.dwTypeData = reinterpret_cast<LPWSTR>(text.data());
            info.cch = UINT(text.size());
            info.dwItemData = ULONG_PTR(uint32_t(it.data));
            if (it.has_submenu) {
                info.fMask |= MIIM_SUBMENU;
                info.hSubMenu = as_menu(build_menu(it.submenu, as_word(CreatePopupMenu())));
            }
        }
        info.wID = position;
        InsertMenuItemW(menu, position, TRUE, &info);
        ++position;
    }
    return hmenu;
}

uint32_t make_menu_bar(Cell* face) {
    const Cell* menu = faces::facet(face, faces::MENU);
    if (!menus::menu_bar(menu, faces::facet(face, faces::TYPE))) return 0;
    std::vector<MenuItem> items;
    if (!menus::build(menu, &items)) return 0;
    return build_menu(items, as_word(CreateMenu()));
}

uint32_t popup_menu(uint32_t owner, const std::vector<MenuItem>& items, int32_t x, int32_t y) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return 0;
    build_menu(items, as_word(menu));
    TrackPopupMenuEx(menu, TPM_LEFTBUTTON, x, y, reinterpret_cast<HWND>(static_cast<uintptr_t>(owner)), nullptr);
    return as_word(menu);
}

int32_t menu_item_data(uint32_t hmenu, int32_t position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(as_menu(hmenu), UINT(position), TRUE, &info)) return -1;
    return int32_t(uint32_t(info.dwItemData));
}

void destroy_menu(uint32_t hmenu) { DestroyMenu(as_menu(hmenu)); }

}  // namespace qor::gui::win32
