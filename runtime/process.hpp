// Process start-up and its last line of defence: stack commit, fault
// handlers, error mode, standard handles and the UTF-8 argument vector.
#pragma once
#include <cstdint>

namespace qor::runtime {

// Start-up, before anything else: commits the stack, installs the fault
// handlers, suppresses the system's critical-error boxes, takes the standard
// handles and builds the argument vector in the runtime record.
#ifdef _WIN32
void init_process();
#else
void init_process(int argc, char** argv);
#endif

// Commits the main thread's whole reserved stack and records its full
// extent as the stack limit, so that the stack never grows through
// guard-page faults.  Any failing step leaves the stack as it was.  (POSIX:
// the kernel grows the stack itself; nothing to do.)
void commit_stack();

// The unhandled-exception filter (Windows) or the fault signal handlers
// (POSIX, not in sanitizer builds, whose own reports are better): each
// fault ends in the runtime error report.
void install_fault_handlers();

// The argument vector of the runtime record: argc UTF-8 strings, each in its
// own tracked-heap block, then a null entry.
#ifdef _WIN32
void get_argv();   // from the OS command line
// The same over a given command line.  When the OS cannot split it,
// "CommandLineToArgvW failed!" is printed and argc is 0 with an empty argv.
void split_command_line(const char16_t* command_line);
#else
void get_argv(int argc, char** argv);   // the arguments as given
#endif

// Replaces the argument vector by tracked-heap copies of `args` (UTF-8).
void store_argv(int argc, const char* const* args);

#ifndef _WIN32
// Runtime error number of a fault signal and its si_code.
int signal_number(int signal, int code);
#endif

}  // namespace qor::runtime
