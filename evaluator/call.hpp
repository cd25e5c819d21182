// Calling any-function values: natives, actions, ops, functions and
// routines.  The interpreter calls `eval_code` when it meets a function
// value; it pushes a frame, gathers the arguments from the code block as the
// function's spec says (evaluated, literal and get arguments, refinements in
// any order and their arguments, optional last arguments), checks their
// types, and runs the function as its kind requires.
//
// Calling conventions of the entry points:
//   native!  NativeFn(check, refinements): `check` false when the caller has
//            checked the argument types already (the interpreter does);
//            `refinements` holds one int per refinement of the spec, in spec
//            order: -1 when unused, else the index (from the arguments base)
//            of its first argument (any other value for a refinement without
//            arguments).  The arguments are the cells from the arguments base
//            up: the plain ones, then those of each used refinement in the
//            order the refinements were given.  The result goes into the
//            result slot (the arguments base).  The answer is 0, or a
//            pending exit code for compiled callers.
//   action!  ActionFn(refinements): the same without the check flag.
//   routine! RoutineFn(args): one RoutineArg per plain argument of the spec,
//            in spec order: logic! as 0/1, integer! as int32, float! as
//            double, anything else as the address of its cell; the answer is
//            read by the routine's return type.  A raw-cell routine (flag
//            ROUTINE_FLAGGED) is a RawRoutineFn given the addresses of its
//            argument cells and answering the cell to copy into the result.
//
// Call table: the analysis of a spec, built at the first call and cached in
// cell 1 of the function's more block.  A block of entries in spec order:
// one typeset! per argument (its kind in header bits 20-21), a refinement!
// per refinement (for natives and actions its word 3 holds its number), a
// typeset! of kind ARG_RETURN for return:, and last, an integer!: for a
// function with /local, 1 + its local words; for a native or action with
// refinements, their count.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor {

using NativeFn = int32_t (*)(bool check, const int32_t* refinements);
using ActionFn = void (*)(const int32_t* refinements);

union RoutineArg {
    int32_t integer;
    double  number;
    Cell*   cell;
};
struct RoutineReturn {
    int32_t integer;
    double  number;
};
using RoutineFn = RoutineReturn (*)(const RoutineArg* args);
using RawRoutineFn = Cell* (*)(Cell* const* args);

// Argument kinds in a call-table typeset's header.
constexpr uint32_t ARG_NORMAL    = 0;
constexpr uint32_t ARG_GET       = 0x100000u;   // get-word!: taken as it stands
constexpr uint32_t ARG_LIT       = 0x200000u;   // lit-word!: literal
constexpr uint32_t ARG_RETURN    = 0x300000u;   // return: (not an argument)
constexpr uint32_t ARG_KIND_MASK = 0x300000u;

// The refinement count a native or action is called with at most.
constexpr uint32_t MAX_REFINEMENTS = 32;

// apply's refinement-mode bits.
constexpr uint32_t APPLY_MODE      = 1u;   // any non-zero mode: a call made by apply
constexpr uint32_t APPLY_NAMED     = 2u;   // refinements named in the code
constexpr uint32_t APPLY_SKIP_ARGS = 4u;   // arguments of unused refinements are skipped

// Typeset maps: the bit of type t is byte t >> 3 of words 1-3, 0x80 >> (t & 7).
inline bool typeset_allows(const Cell* ts, uint32_t type) {
    const uint8_t* map = reinterpret_cast<const uint8_t*>(&ts->data1);
    return type < 96 && (map[type >> 3] & (0x80u >> (type & 7))) != 0;
}
inline void typeset_set_bit(Cell* ts, uint32_t type) {
    uint8_t* map = reinterpret_cast<uint8_t*>(&ts->data1);
    if (type < 96) map[type >> 3] |= uint8_t(0x80u >> (type & 7));
}

namespace interp {

// Calls the function value with arguments taken from `pos` (an index into
// `code`) up to `end`; answers the index after the last argument.
//   path, path_pos   a path whose elements after path_pos are refinements (or null)
//   name             the word that named the function (null or a non-word: <anon>)
//   parent           the value it was selected from (an object for methods), or null
//   refinement_mode  0 for the interpreter; apply's bits otherwise
//   infix            the first argument already lies on the stack (operators)
uint32_t eval_code(const Cell* value, const Cell* code, uint32_t pos, uint32_t end, bool push,
                   const Cell* path, uint32_t path_pos, const Cell* name, const Cell* parent,
                   uint32_t refinement_mode, bool infix);

// The call table of a function value (built and cached on the first call).
Cell call_table(const Cell* value);
Cell spec_arity(const Cell* value);

// The word of the argument being fetched (for error messages).
Cell arg_name();

// Runs a function! whose arguments lie on the stack from the arguments base
// of the top frame (a function frame), in the given context; the result is
// left in the result slot.  return and exit end here.
void call_function(const Cell* fn, Node ctx, const Cell* name);
// Evaluates an interpreted body in the top frame.
void exec_body(const Cell* fn, const Cell* body, const Cell* name);
// Calls a routine whose arguments lie on the stack from the arguments base.
void call_routine(const Cell* routine);

// True when the top value is a function! or routine!.
bool user_function_q();
// Pushes false for each refinement of the function and none for each
// argument after the first refinement.
void push_unused_refinements(const Cell* fn);

// Calls a function value (any kind) with `count` argument values (no
// refinements) and copies its result into `result`.  A call hook set by a
// test replaces the call.
void call_function(const Cell* function, const Cell* args, uint32_t count, Cell* result);
// The same inside a frame named by the word `label` (none: <anon>).
void call_function_named(const Cell* label, const Cell* function, const Cell* args, uint32_t count,
                         Cell* result);
// The same, then copies the final values of the arguments after the first
// (a function! may have set them; the first gave its place to the result)
// back into `args`.
void call_function_updating(const Cell* label, const Cell* function, Cell* args, uint32_t count, Cell* result);
// Calls a function! with a value for every slot of its spec in order: the
// plain arguments, then each refinement's flag (a logic!) followed by its
// arguments (checked only when the flag is true; none otherwise).  Slots
// past `count` take their defaults; values past the spec are dropped.
// Other function kinds take the plain arguments only.
void call_function_spread(const Cell* label, const Cell* function, const Cell* args, uint32_t count,
                          Cell* result);
using CallHook = void (*)(const Cell* function, const Cell* args, uint32_t count, Cell* result);
void set_call_hook(CallHook hook);

}  // namespace interp

}  // namespace qor
