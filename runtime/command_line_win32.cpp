// The raw command line as the OS keeps it.
#include "runtime/command_line.hpp"

#include <windows.h>

namespace qor::command_line {

std::string raw_text() {
    const wchar_t* w = GetCommandLineW();
    if (!w) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string text(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, text.data(), n, nullptr, nullptr);
    text.resize(size_t(n - 1));
    return text;
}

}  // namespace qor::command_line
