// Win32 side of the environment reader: the block of GetEnvironmentStringsW,
// NUL-terminated entries ending with an empty one.
#include "services/os_environment.hpp"

#include <windows.h>

namespace qor::os {

bool environment_entries(std::vector<std::u16string>& entries) {
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) return false;
    try {
        for (const wchar_t* p = block; *p; ) {
            size_t n = 0;
            while (p[n]) n++;
            entries.emplace_back(reinterpret_cast<const char16_t*>(p), n);
            p += n + 1;
        }
    } catch (...) {
        FreeEnvironmentStringsW(block);
        throw;
    }
    FreeEnvironmentStringsW(block);
    return true;
}

}  // namespace qor::os
