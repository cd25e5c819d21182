// The typed dispatchers: the implementation that a value's datatype
// registered for an action slot, found in the registry's action table and
// called with explicit arguments.  Datatype code, the action entries
// (evaluator/actions.hpp) and compiled code all dispatch through here.
#pragma once
#include <cstdint>

#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "runtime/cell.hpp"

namespace qor::actions {

// Port actors: a handle!'s table of entries for slots 25..62 (0: unsupported).
// The handle datatype answers it; until it exists no port has one.
using PortActorReader = const uintptr_t* (*)(const Cell* actor);
void set_port_actor_reader(PortActorReader reader);


namespace detail {
[[noreturn]] void raise_missing(uint32_t type);
}  // namespace detail

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

// The stored entry: one indexed load.  Dispatch is on every action call's
// path, so the lookups are inline.
inline ActionEntry table_entry(uint32_t type, int slot) {
    return type < uint32_t(TYPE_TABLE_SIZE) ? registry::tables().actions[type][slot - 1] : ACTION_NONE;
}
inline ActionEntry lookup(uint32_t type, int slot) {
    ActionEntry e = table_entry(type, slot);
    if (e == ACTION_NONE) [[unlikely]] detail::raise_missing(type);
    return e;
}
ActionEntry lookup_port(const Cell* value, int slot);
inline ActionEntry lookup(uint32_t type, const Cell* value, int slot) {
    if (type == TYPE_PORT && slot >= SLOT_APPEND && value) [[unlikely]] return lookup_port(value, slot);
    return lookup(type, slot);
}
inline ActionEntry get_action(const Cell* value, int slot) { return lookup(type_of(value), value, slot); }
inline ActionEntry get_action_of_argument(int slot) {
    Cell* first = stack::arguments_base();
    return lookup(type_of(first), first, slot);
}

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
