// The routines the GUI's library code binds: the system/view/platform
// routines and the event routines.
#pragma once

#include "library/routines.hpp"

namespace qor::gui {

const routines::Entry* platform_entries();

}  // namespace qor::gui
