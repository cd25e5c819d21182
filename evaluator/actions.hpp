// Actions: the polymorphic operations.  An action! value holds the entry
// point of its slot (the dispatcher table below); the entry reads its
// arguments from the argument stack and hands the work to the implementation
// that the first argument's datatype registered for the slot.
//
// Two forms of entry (see datatypes/registry.hpp for the implementations'
// signatures):
//   direct (the arithmetic and navigation slots): the implementation is
//     called with no arguments and works on the stack itself;
//   dispatching (every other slot but set-path): the entry turns the
//     refinement slots into flags and argument cells and calls the typed
//     dispatcher `dispatch::<action>`, which runtime and compiled code also
//     call directly with explicit arguments.
// Refinement slots, as every action entry receives them: one int per
// refinement in spec order, -1 when unused, else the index (from the
// arguments base) of its first argument.
#pragma once
#include <cstdint>

#include "datatypes/action_list.hpp"
#include "runtime/cell.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/registry.hpp"
#include "evaluator/call.hpp"

namespace qor::actions {

// Fills the dispatcher table with the entries in slot order (slot 8, which
// has no entry, holds 0) and hands it to the native! module.  Needs nothing
// else; calling it again refills the table.
void init();
// Copies `count` entry addresses into slots 1..count.
void register_entries(uint32_t count, const uintptr_t* entries);
// The dispatcher table: slot n at position n - 1 (62 entries).  Read inline
// by the interpreter's operator shortcut on every operator it meets.
extern uintptr_t dispatcher[ACTION_COUNT];
inline const uintptr_t* dispatcher_table() { return dispatcher; }
ActionFn entry_of_slot(int slot);   // null for slot 8 and outside 1..62

// ---- The entries, one per slot (entry_make ... entry_write): each reads its
// arguments from the argument stack.  entry_set_path does nothing and is
// never registered.
#define QOR_ACTION_ENTRY(name, slot, c_name, spelling, signature) \
    void entry_##c_name(const int32_t* refinements);
QOR_ACTION_LIST(QOR_ACTION_ENTRY)
#undef QOR_ACTION_ENTRY

// compare-op: compares the running call's first two arguments with `op` and
// leaves the logic! in the result slot.
void compare_op(int32_t op);

}  // namespace qor::actions
