// What the interpreter's loop shares with the call machinery: call shapes,
// the cached call table, and the steps of a call it performs itself.
#pragma once
#include <cstdint>

#include "datatypes/function.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/trace.hpp"
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::interp {

// A call's shape: what a plain call needs of the call table, worked out
// once when the table is made and kept in the spare word 3 of the cached
// table's cell, so that the two travel together (a copy of the function
// copies both; a rebuilt table comes with its own).  The leading arguments
// are table entries 0 .. args - 1, all arguments; between them and `tail`
// come only return: entries; at `tail` the first refinement or the locals'
// count, when there is one.  A table too large for the fields has no shape
// and is walked entry by entry.
struct CallShape {
    bool ready = false;
    bool all_evaluated = false;   // no get or literal argument among the leading ones
    bool has_tail = false;
    bool refinements_evaluated = false;   // no get or literal argument among the refinements
    uint32_t args = 0;
    uint32_t tail = 0;
    uint32_t refinements = 0;     // natives and actions: slots to set unused

    static constexpr uint32_t READY = 0x80000000u, EVALUATED = 0x40000000u, TAIL = 0x20000000u,
                              REFINEMENTS_EVALUATED = 0x10000000u;
    // Every leading argument takes a value of any type but unset! (which
    // it may take or not): only an unset one needs its typeset read.
    static constexpr uint32_t ANY_VALUES = 0x02000000u;
    static CallShape unpack(uint32_t word) {
        CallShape s;
        s.ready = (word & READY) != 0;
        s.all_evaluated = (word & EVALUATED) != 0;
        s.has_tail = (word & TAIL) != 0;
        s.refinements_evaluated = (word & REFINEMENTS_EVALUATED) != 0;
        s.args = word & 0xFFu;
        s.tail = (word >> 8) & 0xFFu;
        s.refinements = (word >> 16) & 0xFFu;
        return s;
    }
};

// Whether an argument of the call whose shape word is `shape` may take
// `value`, by its table entry `entry`.
inline bool argument_allows(uint32_t shape, const Cell* entry, const Cell* value) {
    uint32_t type = type_of(value);
    return ((shape & CallShape::ANY_VALUES) && type != TYPE_UNSET) || typeset_allows(entry, type);
}

// The cached call table's cell, or null when it is not made yet.
inline const Cell* cached_table_cell(const Cell* fn) {
    SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(fn->data3));
    if ((s->byte_length() >> 4) < 2) return nullptr;
    const Cell* cache = cells_head(s) + 1;
    return type_of(cache) == TYPE_BLOCK ? cache : nullptr;
}

// Whether the function's more block has room to keep its call table.
inline bool table_cacheable(const Cell* fn) {
    return (buffer_of(reinterpret_cast<Node>(fn->data3))->byte_length() >> 4) >= 2;
}

// Whether the interpreter's loop may run the block: compiled code always
// (nothing traces it), interpreted code while nothing would trace it.
inline bool loop_runs(const Cell* block) { return eval::compiled_block(block) || !tracing(); }

// The shape of a call the loop performs itself (0: the recursive path
// takes it): a native, action, routine or untraced function whose cached
// table has a shape with only evaluated leading arguments.
[[gnu::always_inline]] inline uint32_t loop_shape(const Cell* fn, bool infix) {
    uint32_t t = type_of(fn);
    if (t == TYPE_FUNCTION) {
        if (fn->header & (FUNC_TRACE | FUNC_NO_TRACE)) return 0;
        if (function::code_address(fn) != 0) return 0;
        const Cell* body = function::body_of(fn);
        if (!is_any_block(type_of(body)) || !loop_runs(body)) return 0;
    } else if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_ROUTINE) {
        return 0;
    }
    const Cell* cache = cached_table_cell(fn);
    if (!cache) return 0;
    CallShape shape = CallShape::unpack(cache->data3);
    if (!shape.ready || !shape.all_evaluated || (infix && shape.args == 0)) return 0;
    return cache->data3;
}

// A function that a path leads to, handed by run_path to the loop, which
// calls it with the refinements that follow it in the path: the loop takes
// the calls whose refinements' arguments are all evaluated, and at most
// MAX_PATH_REFINEMENTS of them.
constexpr uint32_t MAX_PATH_REFINEMENTS = 32;
struct PathCall {
    bool taken = false;
    uint32_t path_pos = 0;   // the function's element in the path
    uint32_t shape = 0;
    Cell fn;
    Cell name;
};

// Where the refinement a path element names lies in a call table of `n`
// entries: its entry, the slot of its logic value among a function's
// values, and its number among the refinements.  Raises no-refine for a
// name the table has no refinement of.
struct RefinementSlot {
    uint32_t at, offset, number;
    // Where a use is recorded to find a refinement given twice.
    uint32_t used_slot() const { return number < 256 ? number : 255; }
};
RefinementSlot find_refinement(Node table, uint32_t n, const Cell* el, const Cell* name);

// Runs a native or action entry with its refinement slots; a native's
// answer is an exit it made ready, left pending.
void call_entry(const Cell* fn, const int32_t* refs);

// The argument being fetched, read by arg_name for error reports.
extern Cell g_fetch_fn;
extern uint32_t g_fetch_entry;

// The errors of a call's argument `entry`: of the wrong type, or missing.
[[noreturn]] void raise_expect_arg(const Cell* name, const Cell* fn, uint32_t entry, const Cell* value);
[[noreturn]] void raise_no_arg(const Cell* name, const Cell* fn, uint32_t entry);

// Pushes what a function! called without refinements holds after its
// leading arguments, from table entry `from`; answers the count of /local
// cells still to push.
int32_t push_unused_tail(Node table, uint32_t from);

}  // namespace qor::interp
