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
#include "datatypes/registry.hpp"
#include "evaluator/call.hpp"

namespace qor::actions {

// Fills the dispatcher table with the entries in slot order (slot 8, which
// has no entry, holds 0) and hands it to the native! module.  Needs nothing
// else; calling it again refills the table.
void init();
// Copies `count` entry addresses into slots 1..count.
void register_entries(uint32_t count, const uintptr_t* entries);
// The dispatcher table: slot n at position n - 1 (62 entries).
const uintptr_t* dispatcher_table();
ActionFn entry_of_slot(int slot);   // null for slot 8 and outside 1..62

// The implementation of (type, slot).  A 0 entry raises script/expect-arg
// with the current call's word, the datatype and the name of the action's
// first argument.  The value form also takes a port!'s own actor table for
// slots 25 and above (0 there: access/no-port-action).
ActionEntry lookup(uint32_t type, int slot);
ActionEntry lookup(uint32_t type, const Cell* value, int slot);
ActionEntry get_action(const Cell* value, int slot);
ActionEntry get_action_of_argument(int slot);   // on the running call's first argument
// The lookup of path steps: a 0 entry raises script/bad-path-type2 (element,
// datatype) without a path, else script/bad-path-type (the path, the
// datatype, the path cut after index `index` of its buffer: the element
// that produced the value).
ActionEntry lookup_for_path(const Cell* value, int slot, const Cell* path, const Cell* element,
                            int32_t index);

template <int S>
inline typename SlotSignature<S>::type get(uint32_t type) {
    return reinterpret_cast<typename SlotSignature<S>::type>(lookup(type, S));
}

// Port actors: a handle!'s table of entries for slots 25..62 (0: unsupported).
// The handle datatype answers it; until it exists no port has one.
using PortActorReader = const uintptr_t* (*)(const Cell* actor);
void set_port_actor_reader(PortActorReader reader);

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

namespace qor::dispatch {

// The typed dispatchers: the implementation of the first argument's type
// (make: of the type a datatype! first argument names), called with the same
// explicit arguments.  A refinement argument is null when the refinement is
// absent.
Cell*   make(Cell* type, Cell* spec);
Cell*   random(Cell* value, bool seed, bool secure, bool only);
Cell*   reflect(Cell* value, Cell* field);
Cell*   to(Cell* type, Cell* spec);
int32_t form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent);
Cell*   eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                  Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved, bool last,
                  bool notify);
Cell*   negate(Cell* value);
Cell*   round(Cell* value, Cell* to, bool even, bool down, bool half_down, bool floor,
              bool ceiling, bool half_ceiling);
int32_t even_q(Cell* value);
int32_t odd_q(Cell* value);
Cell*   complement(Cell* value);
Cell*   append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell*   insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell*   change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
Cell*   clear(Cell* series);
Cell*   copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell*   find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t length_q(Cell* series);
Cell*   move(Cell* origin, Cell* target, Cell* part);
Cell*   pick(Cell* series, int32_t index);
Cell*   poke(Cell* series, int32_t index, Cell* value);
Cell*   put(Cell* series, Cell* key, Cell* value, bool case_sensitive);
Cell*   remove(Cell* series, Cell* part, Cell* key);
Cell*   reverse(Cell* series, Cell* part, Cell* skip);
Cell*   select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same,
               bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell*   sort(Cell* series, bool case_sensitive, Cell* skip, Cell* comparator, Cell* part, bool all,
             bool reverse, bool stable);
Cell*   swap(Cell* series1, Cell* series2);
Cell*   take(Cell* series, Cell* part, bool deep, bool last);
Cell*   trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);
Cell*   create(Cell* port);
Cell*   close(Cell* port);
Cell*   delete_(Cell* file);
Cell*   modify(Cell* target, Cell* field, Cell* value, bool case_sensitive);
Cell*   open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
Cell*   open_q(Cell* port);
Cell*   query(Cell* target);
Cell*   read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell*   rename(Cell* from, Cell* to);
Cell*   update(Cell* port);
Cell*   write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
              Cell* part, Cell* seek, Cell* allow, Cell* as);

}  // namespace qor::dispatch

namespace qor {

// The compare action's three-way answer read as a truth value for the op:
// the equality ops (0, 2, 9-12) are true for 0, not-equal for anything else,
// the orderings as their names say; -2 (not comparable) counts as unequal
// for the equality ops and raises script/invalid-compare for the orderings.
// Another op code is runtime error 101.
bool compare(Cell* value1, Cell* value2, int32_t op);

// A three-way comparison of two values: logic! by payload, native!,
// action! and op! by entry point, function! and routine! by their more
// node, every other type through its compare implementation.
int32_t compare_values(Cell* value1, Cell* value2, int32_t op);

}  // namespace qor
