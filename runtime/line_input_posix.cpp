// Line input over file descriptor 0.
#include "runtime/line_input.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace qor::line_input {

namespace {

char    g_buffer[4096];
ssize_t g_filled = 0;
ssize_t g_next = 0;
bool    g_ended = false;

// The next byte, or -1 at the end of the input.
int next_byte() {
    if (g_next == g_filled) {
        if (g_ended) return -1;
        ssize_t n;
        do n = ::read(0, g_buffer, sizeof g_buffer);
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            g_ended = true;
            return -1;
        }
        g_filled = n;
        g_next = 0;
    }
    return static_cast<unsigned char>(g_buffer[g_next++]);
}

}  // namespace

bool read_line(std::string& line) {
    line.clear();
    int c = next_byte();
    if (c < 0) return false;
    while (c >= 0 && c != '\n') {
        line += char(c);
        c = next_byte();
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool interactive() { return ::isatty(0) == 1; }

int32_t columns() {
    struct winsize w {};
    if (::isatty(1) != 1 || ::ioctl(1, TIOCGWINSZ, &w) != 0) return 0;
    return w.ws_col;
}

bool set_title(const char*) { return true; }

}  // namespace qor::line_input
