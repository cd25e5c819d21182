// Line input over the standard input handle: a console is read as UTF-16
// with ReadConsoleW, a file or pipe as UTF-8 bytes.
#include "runtime/line_input.hpp"

#include <windows.h>

#include "runtime/platform.hpp"

namespace qor::line_input {

namespace {

HANDLE input_handle() {
    HANDLE h = reinterpret_cast<HANDLE>(platform::std_handle(platform::STD_IN));
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

bool is_console(HANDLE h) {
    DWORD mode;
    return h && GetFileType(h) == FILE_TYPE_CHAR && GetConsoleMode(h, &mode);
}

char  g_buffer[4096];
DWORD g_filled = 0;
DWORD g_next = 0;
bool  g_ended = false;

int next_byte(HANDLE h) {
    if (g_next == g_filled) {
        DWORD n = 0;
        if (g_ended || !h || !ReadFile(h, g_buffer, sizeof g_buffer, &n, nullptr) || n == 0) {
            g_ended = true;
            return -1;
        }
        g_filled = n;
        g_next = 0;
    }
    return static_cast<unsigned char>(g_buffer[g_next++]);
}

void append_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

bool read_console_line(HANDLE h, std::string& line) {
    wchar_t units[512];
    uint32_t pending_high = 0;
    bool got_any = false;
    for (;;) {
        DWORD n = 0;
        if (!ReadConsoleW(h, units, 512, &n, nullptr) || n == 0) return got_any;
        got_any = true;
        for (DWORD i = 0; i < n; i++) {
            uint32_t u = units[i];
            if (u == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return true;
            }
            if (u >= 0xD800 && u < 0xDC00) {
                pending_high = u;
                continue;
            }
            if (u >= 0xDC00 && u < 0xE000 && pending_high) {
                u = 0x10000 + ((pending_high - 0xD800) << 10) + (u - 0xDC00);
            }
            pending_high = 0;
            append_utf8(line, u);
        }
    }
}

}  // namespace

bool read_line(std::string& line) {
    line.clear();
    HANDLE h = input_handle();
    if (is_console(h)) return read_console_line(h, line);
    int c = next_byte(h);
    if (c < 0) return false;
    while (c >= 0 && c != '\n') {
        line += char(c);
        c = next_byte(h);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool interactive() { return is_console(input_handle()); }

int32_t columns() {
    HANDLE h = reinterpret_cast<HANDLE>(platform::std_handle(platform::STD_OUT));
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!h || h == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(h, &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool set_title(const char* utf8) { return SetConsoleTitleA(utf8) != 0; }

}  // namespace qor::line_input
