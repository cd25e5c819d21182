// The library's boot: the top-level code of the library and the console in
// source order (each embedded source evaluated as compiled code), the
// values start-up builds itself (the named typesets, the links between the
// system object and the runtime), and the launch of the console.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::boot {

// The embedded sources in the order their top-level code runs.
struct Source {
    const char* name;
    uint8_t     needs;   // a datatype the source's literals need (0: none); skipped until it exists
};
extern const Source LIBRARY_SOURCES[];

// Runs the library's top-level code: the words of the language, the system
// object, the operators and the console object.  Every function made here
// runs as compiled code.  Errors propagate (start-up reports them).  The
// collector's stress mode is held off meanwhile unless `stress_boot`.
void boot_library(bool stress_boot = false);

// Installs the console's output, calls system/console/launch in a function
// frame named `launch` and answers when it returns.
void launch_console();

// The named typesets, as start-up builds them (before the base functions).
void make_typesets();

}  // namespace qor::boot
