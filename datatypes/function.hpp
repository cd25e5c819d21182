// function! and routine!: a spec block, a body and a context whose values
// live on the argument stack while a call runs.
//
//   function! cell (type 24, parent context!)
//     header  TYPE_FUNCTION | attribute flags of the spec (FUNC_TRACE,
//             FUNC_NO_TRACE)
//     word 1  node of the function's context: values on the stack, no self
//             flag, one slot per word!, get-word!, lit-word! and refinement!
//             of the spec, in spec order; its self cell holds a copy of the
//             function cell
//     word 2  node of the spec block (a private copy when the given spec did
//             not start at its head)
//     word 3  node of the more block (five cells, MORE_* below)
//
//   routine! cell (type 29, parent function!): the same four words; the
//     header also carries ROUTINE_FLAGGED and the number of plain word!
//     arguments of its spec in bits 25-29.  Its more block holds the body
//     value in cell 0, the C++ entry address as an integer! in cell 2 and the
//     return type (a datatype id, -1 for none) as an integer! in cell 4.
//
// Calling is the evaluator's: it reads the context, the body and the code
// address through the accessors below.  Every maker may allocate: the cells
// passed in must be reachable by the collector.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor {

// Attribute flags of a function! header.
constexpr uint32_t FUNC_TRACE    = 0x400u;   // the spec's attribute block holds `trace`
constexpr uint32_t FUNC_NO_TRACE = 0x200u;   // ... `no-trace`
constexpr uint32_t FUNC_ATTRIBUTE_MASK = FUNC_TRACE | FUNC_NO_TRACE;

// routine! header bits.
constexpr uint32_t ROUTINE_FLAGGED     = 0x8000u;   // made with a non-zero flags argument
constexpr uint32_t ROUTINE_ARITY_SHIFT = 25;
constexpr uint32_t ROUTINE_ARITY_MASK  = 0x1Fu << ROUTINE_ARITY_SHIFT;

namespace function {

// The cells of the more block.
enum MoreCell : uint32_t {
    MORE_BODY  = 0,   // body block (deep copy), or none; a routine's body value
    MORE_CACHE = 1,   // the evaluator's argument cache (unset until it fills it)
    MORE_CODE  = 2,   // integer!: entry address of compiled code; unset when interpreted
    MORE_OP    = 3,   // unset; for a value an op! was made from, a copy of that value
    MORE_OWNER = 4,   // integer!: context node of the owner object (methods); routine: return type
    MORE_CELLS = 5,
};

// Registers function! then routine! (after context!).
void init();

// ---- Accessors (never allocate) ----------------------------------------------------

inline Node context_of(const Cell* fn) { return reinterpret_cast<Node>(fn->data1); }
inline Node spec_node(const Cell* fn) { return reinterpret_cast<Node>(fn->data2); }
inline Node more_node(const Cell* fn) { return reinterpret_cast<Node>(fn->data3); }
// Cell i of the more block; valid until the next allocation.  Inline: every
// function call reads the code and owner cells.
inline Cell* more_cell(const Cell* fn, uint32_t i) { return cells_head(buffer_of(more_node(fn))) + i; }
inline Cell* body_of(const Cell* fn) { return more_cell(fn, MORE_BODY); }
// The compiled entry address, or 0 for an interpreted function.
inline uintptr_t code_address(const Cell* fn) {
    const Cell* c = more_cell(fn, MORE_CODE);
    return type_of(c) == TYPE_INTEGER ? uintptr_t(c->data2) : 0;
}
// The owner object's context node for a method copied into an object, or 0.
inline Node owner_context(const Cell* fn) {
    if (type_of(fn) != TYPE_FUNCTION) return nullptr;
    const Cell* c = more_cell(fn, MORE_OWNER);
    return type_of(c) == TYPE_INTEGER ? reinterpret_cast<Node>(c->data2) : nullptr;
}
// The spec as a block! value at its head.
Cell spec_block(const Cell* fn);

// ---- Making --------------------------------------------------------------------------

// Checks a function spec; answers its attribute flags (0 without a leading
// attribute block).  Raises script/bad-func-def (with the spec),
// script/invalid-type-spec (a bad value in a type block, with that value),
// script/no-value (a word of a type block that has no value),
// script/dup-vars (a repeated name, with the later word).
uint32_t validate_spec(const Cell* spec);

// Pushes a new function! on the argument stack and answers it.  `body` may
// be none (kept as none); `ctx` 0 makes a context from the spec and binds a
// copy of the body deep to it; `code` 0 marks an interpreted function;
// `owner` is the owner object's context node (0: none).  The spec is copied
// when its index is not at its head; the body is always deep-copied.
Cell* make_value(const Cell* spec, const Cell* body, Node ctx, uintptr_t code, Node owner,
                 uint32_t flags);
// The same, taking the body block as it is (no copy): for callers that
// have just made a private copy (methods rebound to an object).
Cell* make_value_with_body(const Cell* spec, const Cell* body, Node ctx, uintptr_t code, Node owner,
                           uint32_t flags);

// The local-word collection of the native `function`: removes the /extern
// part of the spec (its words become external names; a non-word there raises
// script/bad-func-extern), collects the set-words of the body (deeply) and
// the loop words of foreach, remove-each and repeat, and appends the new
// names after /local (added when absent).  Answers the block of collected
// words (pushed on the argument stack).
Cell* collect_locals(Cell* spec, const Cell* body);

// The number of default values a caller pushes after the fixed arguments:
// 0 until /local (canonical match), then 1 for /local itself and 1 per
// word! after it.  With `must_have_local` and no /local: -1.
int32_t count_spec_words(Node spec, uint32_t start, bool must_have_local);

// Pushes logic false then n - 1 nones (nothing when n <= 0).
void push_refinement_defaults(int32_t n);

// ---- Actions ---------------------------------------------------------------------------

Cell*   function_make(Cell* prototype, Cell* spec);
Cell*   function_reflect(Cell* value, Cell* field);
int32_t function_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t function_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                      int32_t limit, int32_t indent);
int32_t function_compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace function

namespace routine {

// Pushes a new routine! {spec, body value} with the return type (a datatype
// id, -1 for none), the C++ entry address and the flags argument.  The body
// value (what mold shows after the spec) may be none.
Cell* push_new(const Cell* spec, const Cell* body, int32_t return_type, uintptr_t code,
               uint32_t flags);
// The number of plain word! arguments of the spec (header bits 25-29).
inline uint32_t arity(const Cell* routine) {
    return (routine->header & ROUTINE_ARITY_MASK) >> ROUTINE_ARITY_SHIFT;
}
// The return type recorded in the more block (-1: none).
int32_t return_type(const Cell* routine);

int32_t routine_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t routine_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                     int32_t limit, int32_t indent);
int32_t routine_compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace routine

}  // namespace qor
