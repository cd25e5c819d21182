// The Windows side of menus and rich text where no window is needed: menus
// built from entries keep their items' words, and file dialogs' filter and
// selection helpers meet the common dialog's forms.
#include <gtest/gtest.h>

#include "gui/backend/controls_win32.hpp"

#include <windows.h>

using namespace qor::gui;

namespace {

TEST(GuiControlsWin32, PopupMenusKeepItemDataAndSubmenus) {
    std::vector<MenuItem> items(3);
    items[0].text = "Open";
    items[0].data = 41;
    items[1].separator = true;
    items[2].text = "More";
    items[2].has_submenu = true;
    items[2].submenu.resize(1);
    items[2].submenu[0].text = "Inner";
    items[2].submenu[0].data = 7;
    HMENU menu = CreatePopupMenu();
    ASSERT_NE(menu, nullptr);
    uint32_t h = win32::build_menu(items, uint32_t(uintptr_t(menu)));
    EXPECT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(win32::menu_item_data(h, 0), 41);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_SUBMENU;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 1, TRUE, &info));
    EXPECT_TRUE(info.fType & MFT_SEPARATOR);
    ASSERT_TRUE(GetMenuItemInfoW(menu, 2, TRUE, &info));
    ASSERT_NE(info.hSubMenu, nullptr);
    EXPECT_EQ(win32::menu_item_data(uint32_t(uintptr_t(info.hSubMenu)), 0), 7);
    EXPECT_EQ(win32::menu_item_data(h, 9), -1);
    win32::destroy_menu(h);
}

}  // namespace
