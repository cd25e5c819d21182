// The routine tables of menus, dialogs and the other controls' services.
#pragma once

#include "library/routines.hpp"

namespace qor::gui {

const routines::Entry* dialog_entries();

}  // namespace qor::gui
