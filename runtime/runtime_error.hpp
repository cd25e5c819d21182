// The runtime's last line of defence: numbered runtime errors.  A fatal
// condition (processor or OS exception, tracked-heap exhaustion, a throw
// that no catch level stops, a failed assertion, a compiled CASE/SWITCH
// without a match) is reported as
//     *** Runtime Error <n>: <message>
//     *** at: <address as 8 hex digits>h
// and the process exits with status n.  The report goes to standard error
// when that is a file or a pipe, else to a message box; number 0 exits
// silently.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "runtime/barrier.hpp"
#include "runtime/throw.hpp"

namespace qor::runtime {

enum : int {
    ERR_OUT_OF_MEMORY   = 94,
    ERR_NO_CATCH        = 95,
    ERR_ASSERTION       = 98,
    ERR_UNKNOWN         = 99,
    ERR_NO_CASE_MATCH   = 100,
    ERR_NO_SWITCH_MATCH = 101,
};

// The message of a runtime error number; "unknown error code!" for numbers
// without one.
const char* error_message(int number);

// The report text, lines separated by "\n", without a final line end.
std::string report_text(int number, uintptr_t address);

// The fatal report: shows the report (unless number is 0), frees the tracked
// heap and exits the process with status `number`.
[[noreturn]] void error(int number, uintptr_t address);

// The outermost catch frame's handler: runtime error 95 at the address of
// the last system throw.
[[noreturn]] void uncaught_throw();

// The outermost catch frame, opened by start-up before anything else runs:
// answers f()'s status; a throw that nothing else stopped ends the process
// with runtime error 95, any other escaping exception as a barrier's
// default handling does.
template <class F>
int run_outermost(F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (const Thrown&) {
        uncaught_throw();
    } catch (...) {
        report_failure(current_failure(0));
    }
}

// Runtime error number of a Windows exception code (0 for a control-C exit,
// 99 for codes without a number of their own).
int exception_number(uint32_t exception_code);

// Keeps {stack position, caller's saved frame pointer} of the frame at
// `frame` (pass __builtin_frame_address(0)) in the fault-position record,
// points the runtime record at it and answers `return_address` (pass
// __builtin_return_address(0)), the address an out-of-memory report names.
uintptr_t record_fault_position(const void* frame, const void* return_address);

// Keeps the stack and frame pointers of a fault (the exception filter's
// context) in the fault-position record and points the runtime record at it.
void set_fault_position(uintptr_t stack, uintptr_t frame);

// The last step of every orderly exit: frees every tracked-heap block.
// Modules whose tables live there forget them first, so that nothing
// printed afterwards reaches freed memory.
void exit();

}  // namespace qor::runtime
