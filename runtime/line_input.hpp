// Line input from the standard input, for the console that runs over the
// standard streams, and what it asks of the terminal behind them.
#pragma once
#include <cstdint>
#include <string>

namespace qor::line_input {

// Reads the next line of the standard input as UTF-8, without its line end
// (LF or CR LF).  A last line without a line end is still a line.  False at
// the end of the input (or when there is no standard input).
bool read_line(std::string& line);

// True when the standard input is a console or terminal (the user sees what
// is typed), false for a file, a pipe or no input at all.
bool interactive();

// The width in characters of the console or terminal behind the standard
// output; 0 when the output goes elsewhere.
int32_t columns();

// Sets the title of the text console; false when there is none to set.
// (POSIX terminals keep their title: always true.)
bool set_title(const char* utf8);

}  // namespace qor::line_input
