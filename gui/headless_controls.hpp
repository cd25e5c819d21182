// The headless window system's menus, dialogs and rich-text metrics: menus
// are logged one line per menu level and answer their items' data, dialogs
// are logged and cancelled (there is no user), rich text is measured with
// the stand-in's fixed metrics.
#pragma once
#include <string>
#include <vector>

#include "gui/dialogs.hpp"
#include "gui/menus.hpp"

namespace qor::gui::headless {

uint32_t popup_menu(uint32_t owner, const std::vector<MenuItem>& items, int32_t x, int32_t y);
int32_t  menu_item_data(uint32_t hmenu, int32_t position);
void     destroy_menu(uint32_t hmenu);
bool     file_dialog(const FileDialog& request, std::vector<std::string>* paths);
bool     folder_dialog(const FolderDialog& request, std::string* path);
bool     text_box_metrics(Cell* face, const Cell* arg, int32_t type, Cell* out);

void reset_controls();

}  // namespace qor::gui::headless
