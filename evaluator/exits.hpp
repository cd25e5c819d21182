// The non-local exits: break, continue, return, exit, throw and errors.
//
// They carry the
// codes of runtime/throw.hpp.  The exit finds its target frame, writes the
// value the stopper expects into the target's result slot, records the
// target (`exit_frame`) and cuts both stacks back to it.  The code then
// travels to the stopper either as the one C++ exception `Thrown`
// (throw_break, throw_return, throw_value, errors), or, for natives that
// answer it (prepare_*), as a pending exit that the interpreter's own
// functions pass up by returning (interpreter.hpp, eval_block_exit), which
// costs no unwinding.  The stopper compares the target with its own frame,
// lets other codes pass, and puts both stacks back with `restore_to_frame`
// or `restore` (popping the frames above, each function frame restoring
// its context's values pointer).  Frames are popped exactly once on every
// exit path: by their owner on the normal path, by the exit's cut or a
// stopper's restore on a non-local one.
//
#pragma once
#include <cstdint>

#include "datatypes/stack.hpp"
#include "runtime/cell.hpp"

namespace qor::stack {

// ---- Non-local exits -------------------------------------------------------------------------

// Sets the error's `where` from current_call when it is none, stamps its
// stack position, and throws it as the pending error (THROW_ERROR).
[[noreturn]] void throw_error(const Cell* error);
// break (has_value: the running call's first argument is the value) and
// continue.  Outside a loop, or behind a FRAME_TRY_ALL: throw/break or
// throw/continue, raised from the exit's own call.
[[noreturn]] void throw_break(bool has_value, bool continue_);
// return (with the running call's first argument) and exit.  Without a frame
// whose body runs: throw/return.  from_top: the search starts at the top
// frame instead of below it.
[[noreturn]] void throw_return(bool has_value, bool from_top);
// throw: the value and its name (none or a word) are the running call's
// first two cells; they land in the catch frame's result slot and the next
// cell.  Without a catch: throw/throw with the value.
[[noreturn]] void throw_value(uint32_t code);
// The same exits made ready without the throw: the stacks are cut back to
// the target and the code is answered.  A native returns it to the
// interpreter, which carries it to the stopper without a C++ exception (see
// interp::eval_block_exit); any other caller throws it.
uint32_t prepare_break(bool has_value, bool continue_);
uint32_t prepare_return(bool has_value, bool from_top);
// With passed_on, a catch whose name did not match hands the throw on: an
// error for want of a catch still names the throw's own call and code.
uint32_t prepare_value(uint32_t code, bool passed_on = false);
// Unless the error's `stack` field holds a block!, it becomes an integer!
// with the current frame count.
void stamp_error(Cell* error);

// The raise hook: records `where` (report_call, or the hints) and the stack
// position in a new error while the frames of the failing call still stand,
// and its `near` from the hints.
void record_raise(Cell* error);

// The word an error's `where` takes: as current_call, except that while
// interpreted code runs the library's calls around it are not named (none).
Cell report_call();
// The `where` of the next error raised when its frames name no call (the
// unset word being evaluated); cleared by that raise.
void set_next_where(const Cell* word);
// The `near` of the next error raised when the interpreter's position gives
// none (a syntax error's source line, when no code is being evaluated).
void set_next_near(const Cell* value);

}  // namespace qor::stack
