// Windows side of shell_open: ShellExecuteW with the verb "open".
#include "runtime/shell_open.hpp"

#include <windows.h>
#include <shellapi.h>

namespace qor::platform {

bool shell_open(const char16_t* target) {
    HINSTANCE h = ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t*>(target), nullptr, nullptr,
                                SW_SHOWNORMAL);
    // Values above 32 mean success.
    return reinterpret_cast<INT_PTR>(h) > 32;
}

}  // namespace qor::platform
