// The console over the standard streams: print output to the standard
// output, lines read from the standard input, and the routines that the
// console's Qor source binds for them.  (The GUI console replaces the
// output with its terminal's.)
#pragma once
#include "runtime/cell.hpp"

namespace qor::console_io {

// Registers the value hook through which `print` and `prin` reach the
// standard output while the console runs; it also records whether the last
// output ended a line (the routine last-lf? reads it).
void install_output();

// The console's size as a pair!: the terminal's columns (80 when the output
// is not a terminal) by 25 lines.
Cell terminal_size();
bool last_output_ended_line();

}  // namespace qor::console_io
