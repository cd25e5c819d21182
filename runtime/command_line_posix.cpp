// The raw command line rebuilt from the argument vector.
#include "runtime/command_line.hpp"

#include "runtime/runtime_record.hpp"

namespace qor::command_line {

std::string raw_text() {
    std::string text;
    for (int32_t i = 0; i < runtime::record->argc; i++) {
        std::string arg = runtime::record->argv[i] ? runtime::record->argv[i] : "";
        if (i > 0) text += ' ';
        if (arg.empty() || arg.find_first_of(" \t") != std::string::npos) text += '"' + arg + '"';
        else text += arg;
    }
    return text;
}

}  // namespace qor::command_line
