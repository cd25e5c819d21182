// A task-modal error message box with no owner window.  The native build's
// stand-in writes the text to standard error instead.
#pragma once

namespace qor {

void show_alert_box(const char16_t* caption, const char16_t* text);

}  // namespace qor
