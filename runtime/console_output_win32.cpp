// Win32 side of the console writer: the real console behind the standard
// output, driven through the console API.
#include "runtime/console_output.hpp"

#include "runtime/platform.hpp"

#include <windows.h>

namespace qor::console {

static HANDLE out() { return HANDLE(platform::std_handle(platform::STD_OUT)); }

static SHORT coordinate(int32_t v) { return SHORT(v < 0 ? 0 : v > 0x7FFF ? 0x7FFF : v); }

static bool info(ScreenInfo* o) {
    CONSOLE_SCREEN_BUFFER_INFO b;
    if (!GetConsoleScreenBufferInfo(out(), &b)) return false;
    *o = ScreenInfo{b.dwSize.X,           b.dwSize.Y,          b.dwCursorPosition.X, b.dwCursorPosition.Y,
                    b.wAttributes,        b.srWindow.Left,     b.srWindow.Top,       b.srWindow.Right,
                    b.srWindow.Bottom,    b.dwMaximumWindowSize.X, b.dwMaximumWindowSize.Y};
    return true;
}

static void write(const char16_t* units, size_t count) {
    DWORD written;
    WriteConsoleW(out(), units, DWORD(count), &written, nullptr);
}

static void set_cursor(int32_t x, int32_t y) {
    SetConsoleCursorPosition(out(), COORD{coordinate(x), coordinate(y)});
}

static void set_attributes(uint16_t attributes) { SetConsoleTextAttribute(out(), attributes); }

static void fill(int32_t x, int32_t y, uint32_t count, uint16_t attributes) {
    DWORD done;
    COORD at{coordinate(x), coordinate(y)};
    FillConsoleOutputCharacterW(out(), L' ', count, at, &done);
    FillConsoleOutputAttribute(out(), attributes, count, at, &done);
}

static const ScreenOps real_console = {info, write, set_cursor, set_attributes, fill};

const ScreenOps* system_screen() {
    DWORD mode;
    return GetConsoleMode(out(), &mode) ? &real_console : nullptr;
}

}  // namespace qor::console
