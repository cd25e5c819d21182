#include "runtime/alert_box.hpp"

#include <windows.h>

namespace qor {

void show_alert_box(const char16_t* caption, const char16_t* text) {
    MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(text), reinterpret_cast<LPCWSTR>(caption),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace qor
