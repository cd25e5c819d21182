// The console's standard-stream input and output and its routines.
#include "console/console_io.hpp"

#include <string>

#include "library/routines.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "runtime/console_output.hpp"
#include "runtime/line_input.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"

namespace qor::console_io {

namespace {

bool g_last_ended_line = false;
bool g_installed = false;

void print_hook(const Cell* text, bool new_line) {
    std::string bytes = string::to_utf8(text);
    console::write(bytes.data(), bytes.size(), 0, new_line);
    g_last_ended_line = new_line;
}

Cell* answer(const Cell& value) {
    *routines::result_cell() = value;
    return routines::result_cell();
}

// stdin-line prompt hide: the prompt, then the next line of the standard
// input (none at its end).  Input that does not come from a terminal is not
// seen by the user: it is echoed after the prompt, as "*"s when hidden.
Cell* stdin_line(Cell* const* args) {
    std::string prompt = string::to_utf8(args[0]);
    bool hide = args[1]->data1 != 0;
    console::write(prompt.data(), prompt.size(), 0, false);
    std::string line;
    if (!line_input::read_line(line)) {
        console::write("", 0, 0, true);
        return answer(Cell{TYPE_NONE, 0, 0, 0});
    }
    if (!line_input::interactive()) {
        std::string shown = hide ? std::string(line.size(), '*') : line;
        console::write(shown.data(), shown.size(), 0, true);
    }
    g_last_ended_line = true;
    return answer(string::from_utf8(line.data(), line.size()));
}

// system/console/init str: the text console's title.
Cell* console_title(Cell* const* args) {
    std::string title = string::to_utf8(args[0]);
    if (!line_input::set_title(title.c_str())) {
        static const char message[] = "SetConsoleTitle failed!";
        console::write_latin1_line(message, sizeof message - 1);
        platform::exit_process(0);
    }
    return nullptr;
}

const routines::Entry CONSOLE[] = {
    {"stdin-line", stdin_line},
    {"console-title", console_title},
    {nullptr, nullptr},
};

}  // namespace

void install_output() {
    if (g_installed) return;
    output_hooks::add(print_hook, nullptr);
    g_installed = true;
}

bool last_output_ended_line() { return g_last_ended_line; }

Cell terminal_size() {
    int32_t width = line_input::columns();
    if (width <= 0) width = 80;
    return Cell{TYPE_PAIR, 0, uint32_t(width), 25};
}

}  // namespace qor::console_io

namespace qor::routines {
const Entry* console_entries() { return console_io::CONSOLE; }
}  // namespace qor::routines
