// What the interpreter's loop shares with the call machinery: call shapes,
// the cached call table, and the steps of a call it performs itself.
#pragma once
#include <cstdint>

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
    uint32_t args = 0;
    uint32_t tail = 0;
    uint32_t refinements = 0;     // natives and actions: slots to set unused

    static constexpr uint32_t READY = 0x80000000u, EVALUATED = 0x40000000u, TAIL = 0x20000000u;
    static CallShape unpack(uint32_t word) {
        CallShape s;
        s.ready = (word & READY) != 0;
        s.all_evaluated = (word & EVALUATED) != 0;
        s.has_tail = (word & TAIL) != 0;
        s.args = word & 0xFFu;
        s.tail = (word >> 8) & 0xFFu;
        s.refinements = (word >> 16) & 0xFFu;
        return s;
    }
};

// The cached call table's cell, or null when it is not made yet.
inline const Cell* cached_table_cell(const Cell* fn) {
    SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(fn->data3));
    if ((s->byte_length() >> 4) < 2) return nullptr;
    const Cell* cache = cells_head(s) + 1;
    return type_of(cache) == TYPE_BLOCK ? cache : nullptr;
}

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
