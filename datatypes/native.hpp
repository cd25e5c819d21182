// native!, action! and op!: built-in functions, the generic functions that
// dispatch on their first argument's datatype, and infix versions of any
// two-argument function.  The three share one cell layout:
//
//   header  the type id (21 native!, 22 action!, 23 op!); an op! also keeps
//           the type it was made from in bits 16-23 (21, 22, 24 or 29)
//   word 1  code: the entry address (the natives-table entry of a native,
//           the dispatcher-table entry of an action); for an op made from a
//           function! or routine!, that value's context node
//   word 2  node of the spec block
//   word 3  node of the more block: for natives and actions two cells (0: a
//           copy of the context record made from the spec, values on the
//           stack; 1: none); for an op made from a function or routine, that
//           value's more block (function.hpp)
//
// The natives table (120 entries, natives carry a 1-based index 1..120) and
// the dispatcher table (one entry per action slot, actions carry 1..62)
// belong to the evaluator, which hands them over here with set_tables once
// they are filled.  Calling is the evaluator's.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor::native {

constexpr uint32_t NATIVES_TABLE_SIZE    = 120;
constexpr uint32_t DISPATCHER_TABLE_SIZE = 62;
constexpr uint32_t OP_FROM_SHIFT         = 16;

// Registers native!, action! and op! (after their parents).
void init();

// The entry tables (null: not filled yet; every entry then reads 0).
void set_tables(const uintptr_t* natives, const uintptr_t* dispatcher);
uintptr_t native_entry(uint32_t index);   // 1-based; 0 outside 1..120
uintptr_t action_entry(uint32_t index);   // 1-based; 0 outside 1..62

// ---- Accessors (never allocate) ----------------------------------------------------

inline uintptr_t code_of(const Cell* v) { return v->data1; }
inline Node spec_node(const Cell* v) { return reinterpret_cast<Node>(v->data2); }
inline Node more_node(const Cell* v) { return reinterpret_cast<Node>(v->data3); }
// The type an op! was made from (21, 22, 24 or 29).
inline uint32_t op_source_type(const Cell* op) { return (op->header >> OP_FROM_SHIFT) & 0xFFu; }
// For natives and actions: the context record made from the spec (cell 0 of
// the more block); valid until the next allocation.
Cell* spec_context_record(const Cell* v);

// ---- Making --------------------------------------------------------------------------

// The cell becomes a native! (or action!) over the spec with the entry of
// the 1-based table index; no range check.  Allocates.
Cell* init_native(Cell* cell, const Cell* spec, uint32_t index);
Cell* init_action(Cell* cell, const Cell* spec, uint32_t index);

// The number of arguments an op! may be made from: exactly 2 are allowed
// (see op_make); answers the count, or -1 when the spec is refused outright
// (a lit-word! or get-word! first argument, a refinement other than /local
// or /extern).
int32_t op_arity(const Cell* spec);

// The 1-based position of a code address in the natives table (for natives)
// or the dispatcher table (for actions), 0 when absent.
int32_t table_position(uintptr_t code, bool action);

// ---- Actions ---------------------------------------------------------------------------

Cell*   native_make(Cell* prototype, Cell* spec);
Cell*   action_make(Cell* prototype, Cell* spec);
Cell*   op_make(Cell* prototype, Cell* spec);
Cell*   native_reflect(Cell* value, Cell* field);   // shared by the three
int32_t native_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t native_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                    int32_t limit, int32_t indent);
int32_t native_compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace qor::native
