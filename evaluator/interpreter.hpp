// The interpreter: walks a block expression by expression, gives each kind
// of value its meaning, applies infix operators left to right and leaves the
// results on the argument stack (evaluator/stack.hpp).
//
// Code positions are indexes into the code block (a block-kind cell: node
// and index), never raw pointers: evaluation may allocate, and allocation
// may move the block's buffer.  `end` is an index too; a block shortened
// while it runs simply ends sooner.
//
// Push mode and result mode: every step either pushes its value as one new
// cell (push mode) or writes it into the result slot of the current call,
// leaving top = base + 1 (result mode).
//
// Compiled code: blocks marked with `mark_compiled` (the library's own
// sources) run as compiled code does: they fire no trace events, leave the
// current position (an error's `near`) alone and push frames without the
// interpreted flag; a function whose body is marked runs in a compiled-body
// frame.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::interp {

// Registers the interpreter's globals with the collector (the current
// position, the trace callback) and links the error module to the stacks.
// Needs stack::init (calls it when the stacks do not exist yet).
void init();

// Evaluates every expression of the block from its index; the value of the
// last one is the result (unset for an empty block).  result_mode: into the
// caller's result slot; else pushed as one new cell.
void eval_block(const Cell* block, bool result_mode);

// The same for natives that stop exits themselves (loops, catch, if, do):
// instead of throwing a break, continue, return, exit or throw made ready
// below it, it answers the exit's code (0 when none).  The stacks have been
// cut back to the exit's target frame (stack::exit_frame); a native that is
// not the target answers the code from its own entry point, which passes
// the exit on without a C++ exception.
uint32_t eval_block_exit(const Cell* block, bool result_mode);

// One expression from `pos` (an index into `code`) inside a native frame
// named <body>; answers the index after it.  push: the value stays pushed;
// else it goes into the caller's result slot.
uint32_t eval_next(const Cell* code, uint32_t pos, uint32_t end, bool push);

// do/next: at the tail the result is unset and the block's index is
// answered; else one expression in result mode, answering the index of the
// next one.
uint32_t do_next(const Cell* block);

// One expression starting at `pos`; answers the index after it.
//   no_infix           no operator may follow (an operator's right operand)
//   push               push mode, else result mode
//   literal_functions  a function value met as such is pushed, not called
uint32_t eval_expression(const Cell* code, uint32_t pos, uint32_t end, bool no_infix, bool push,
                         bool literal_functions);

// Continuing a path interrupted at a paren: the walk restarts at element
// `position` with `held` as the current value and `parent` as its parent.
struct PathResume {
    uint32_t position;
    uint32_t kind;     // 0 none, 1 a value on the argument stack, 2 a series, 3 an object's values
    Cell     held;
    Cell     parent;
};

// Evaluates a path!, a get-path! (get) or a set-path! (set: the value to
// store is the current result slot).  A path whose head is a function calls
// it, its further arguments taken from `pos` onwards; answers the index after
// the last one.  `option` is passed to every eval-path step (0 from the
// interpreter).
uint32_t eval_path(const Cell* path, const Cell* code, uint32_t pos, uint32_t end, bool set, bool get,
                   bool push, uint32_t option, const PathResume* resume = nullptr);

// The current-position cell: the block under evaluation with its index at
// the expression being evaluated (unset when nothing runs).  Errors read it
// for their `near` field.
Cell* current_position();

// Marks a block, and every block and paren nested in it, as compiled code;
// for a function! marks its body.  Copies made later are not marked.
void mark_compiled(Cell* value);
bool is_compiled(const Cell* block);

// True while compiled code runs (the innermost evaluated block is marked).
// Read on every call the interpreter makes: a plain flag, not a call.
extern bool compiled_running;
inline bool in_compiled() { return compiled_running; }

// The machine-stack reserve: evaluation that finds less than this many
// bytes left below the current position raises internal/stack-overflow
// instead of running the machine stack out.
void set_machine_stack_reserve(uint32_t bytes);
[[noreturn]] void machine_stack_overflow();
// The lowest usable machine-stack address of the evaluating thread
// (recomputed by init; threads that evaluate call it for themselves).
void set_machine_stack_limit(const void* lowest);
void refresh_machine_stack_limit();
extern const char* machine_stack_floor;   // limit + reserve; below it evaluation stops
inline void check_machine_stack() {
    char probe;
    if (&probe < machine_stack_floor) machine_stack_overflow();
}

}  // namespace qor::interp
