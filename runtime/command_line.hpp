// The raw command-line text of the process, as one UTF-8 string: the
// library splits it into the program path and the arguments itself.
#pragma once
#include <string>

namespace qor::command_line {

// Windows: the text the OS keeps (GetCommandLineW).  POSIX: the argument
// vector of the runtime record joined with single blanks, an argument that
// holds a blank or a tab, or is empty, written in double quotes.
std::string raw_text();

}  // namespace qor::command_line
