// The typed dispatchers and the action lookup (see dispatch.hpp).
#include "datatypes/dispatch.hpp"

#include "datatypes/block.hpp"
#include "datatypes/error.hpp"
#include "datatypes/raise_seam.hpp"
#include "runtime/collector.hpp"
#include "runtime/runtime_error.hpp"

namespace qor::actions {

namespace {
PortActorReader g_port_reader = nullptr;
}

namespace detail {

[[noreturn]] void raise_missing(uint32_t type) {
    Cell call = stack::current_call();
    gc::CellRoot keep(&call);
    Cell dt{TYPE_DATATYPE, type, 0, 0};
    Cell first = error::argument_word(0);
    gc::CellRoot keep_first(&first);
    raise_error("script", "expect-arg", &call, &dt, &first);
}

}  // namespace detail

void set_port_actor_reader(PortActorReader reader) { g_port_reader = reader; }

ActionEntry lookup_port(const Cell* value, int slot) {
    if (g_port_reader) {
        if (const uintptr_t* table = g_port_reader(value)) {
            uintptr_t e = table[slot - SLOT_APPEND];
            if (!e) raise_error("access", "no-port-action");
            return e;
        }
    }
    return lookup(TYPE_PORT, slot);
}

ActionEntry lookup_for_path(const Cell* value, int slot, const Cell* path, const Cell* element,
                            int32_t index) {
    uint32_t type = type_of(value);
    ActionEntry e = registry::entry(type, slot);
    if (e != ACTION_NONE) return e;
    Cell dt{TYPE_DATATYPE, type, 0, 0};
    if (!path) {
        Cell el = *element;
        raise_error("script", "bad-path-type2", &el, &dt);
    }
    Cell p = *path;
    gc::CellRoot keep(&p);
    Cell cut = *block::clone(&p, false, false);
    gc::CellRoot keep_cut(&cut);
    int32_t n = index - int32_t(p.data1) + 1;
    if (n >= 0) block::truncate_at(&cut, uint32_t(n));
    raise_error("script", "bad-path-type", &p, &dt, &cut);
}

}  // namespace qor::actions

namespace qor::dispatch {

using actions::get;
using actions::get_action;

namespace {
template <int S>
inline typename SlotSignature<S>::type impl(const Cell* value) {
    return reinterpret_cast<typename SlotSignature<S>::type>(get_action(value, S));
}
// make and to: a datatype! names the type whose implementation runs.
template <int S>
inline typename SlotSignature<S>::type by_named_type(const Cell* type) {
    if (type_of(type) == TYPE_DATATYPE) return get<S>(type->data1);
    return impl<S>(type);
}
}  // namespace

Cell* make(Cell* type, Cell* spec) { return by_named_type<SLOT_MAKE>(type)(type, spec); }
Cell* random(Cell* value, bool seed, bool secure, bool only) {
    return impl<SLOT_RANDOM>(value)(value, seed, secure, only);
}
Cell* reflect(Cell* value, Cell* field) { return impl<SLOT_REFLECT>(value)(value, field); }
Cell* to(Cell* type, Cell* spec) { return by_named_type<SLOT_TO>(type)(type, spec); }
int32_t form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return impl<SLOT_FORM>(value)(value, out, part, limit);
}
int32_t mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
             int32_t indent) {
    return impl<SLOT_MOLD>(value)(value, out, only, all, flat, part, limit, indent);
}
Cell* eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify) {
    // The step counts the elements applied before this one: the element that
    // produced the current value lies at the path's index + step.
    int32_t at = path ? int32_t(path->data1) + step : step;
    auto f = reinterpret_cast<EvalPathFn>(actions::lookup_for_path(value, SLOT_EVAL_PATH, path, element, at));
    return f(value, element, new_value, path, parent, previous, step, case_sensitive, reserved, last, notify);
}
Cell* negate(Cell* value) { return impl<SLOT_NEGATE>(value)(value); }
Cell* round(Cell* value, Cell* to, bool even, bool down, bool half_down, bool floor, bool ceiling,
            bool half_ceiling) {
    return impl<SLOT_ROUND>(value)(value, to, even, down, half_down, floor, ceiling, half_ceiling);
}
int32_t even_q(Cell* value) { return impl<SLOT_EVEN_Q>(value)(value); }
int32_t odd_q(Cell* value) { return impl<SLOT_ODD_Q>(value)(value); }
Cell* complement(Cell* value) { return impl<SLOT_COMPLEMENT>(value)(value); }
Cell* append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    return impl<SLOT_APPEND>(series)(series, value, part, only, dup, true);
}
Cell* insert(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    return impl<SLOT_INSERT>(series)(series, value, part, only, dup, false);
}
Cell* change(Cell* series, Cell* value, int32_t part, bool only, int32_t dup) {
    return impl<SLOT_CHANGE>(series)(series, value, part, only, dup);
}
Cell* clear(Cell* series) { return impl<SLOT_CLEAR>(series)(series); }
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    return impl<SLOT_COPY>(value)(value, result, part, deep, types);
}
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    return impl<SLOT_FIND>(series)(series, value, part, only, case_sensitive, same, any, with, skip, last,
                                   reverse, tail, match);
}
int32_t length_q(Cell* series) { return impl<SLOT_LENGTH_Q>(series)(series); }
Cell* move(Cell* origin, Cell* target, Cell* part) { return impl<SLOT_MOVE>(origin)(origin, target, part); }
Cell* pick(Cell* series, int32_t index) { return impl<SLOT_PICK>(series)(series, index); }
Cell* poke(Cell* series, int32_t index, Cell* value) { return impl<SLOT_POKE>(series)(series, index, value); }
Cell* put(Cell* series, Cell* key, Cell* value, bool case_sensitive) {
    return impl<SLOT_PUT>(series)(series, key, value, case_sensitive);
}
Cell* remove(Cell* series, Cell* part, Cell* key) { return impl<SLOT_REMOVE>(series)(series, part, key); }
Cell* reverse(Cell* series, Cell* part, Cell* skip) { return impl<SLOT_REVERSE>(series)(series, part, skip); }
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
    return impl<SLOT_SELECT>(series)(series, value, part, only, case_sensitive, same, any, with, skip, last,
                                     reverse);
}
Cell* sort(Cell* series, bool case_sensitive, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool stable) {
    return impl<SLOT_SORT>(series)(series, case_sensitive, skip, comparator, part, all, reverse, stable);
}
Cell* swap(Cell* series1, Cell* series2) { return impl<SLOT_SWAP>(series1)(series1, series2); }
Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    return impl<SLOT_TAKE>(series)(series, part, deep, last);
}
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    return impl<SLOT_TRIM>(series)(series, head, tail, auto_, lines, all, with);
}
Cell* create(Cell* port) { return impl<SLOT_CREATE>(port)(port); }
Cell* close(Cell* port) { return impl<SLOT_CLOSE>(port)(port); }
Cell* delete_(Cell* file) { return impl<SLOT_DELETE>(file)(file); }
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_sensitive) {
    return impl<SLOT_MODIFY>(target)(target, field, value, case_sensitive);
}
Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return impl<SLOT_OPEN>(port)(port, new_, read, write, seek, allow);
}
Cell* open_q(Cell* port) { return impl<SLOT_OPEN_Q>(port)(port); }
Cell* query(Cell* target) { return impl<SLOT_QUERY>(target)(target); }
Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    return impl<SLOT_READ>(source)(source, part, seek, binary, lines, info, as);
}
Cell* rename(Cell* from, Cell* to) { return impl<SLOT_RENAME>(from)(from, to); }
Cell* update(Cell* port) { return impl<SLOT_UPDATE>(port)(port); }
Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
            Cell* seek, Cell* allow, Cell* as) {
    return impl<SLOT_WRITE>(destination)(destination, data, binary, lines, info, append, part, seek, allow, as);
}

}  // namespace qor::dispatch

namespace qor {

static int32_t sign_of_difference(uint32_t a, uint32_t b) { return a == b ? 0 : a < b ? -1 : 1; }

int32_t compare_values(Cell* value1, Cell* value2, int32_t op) {
    switch (type_of(value1)) {
    case TYPE_LOGIC:
        if (type_of(value2) != TYPE_LOGIC) return COMPARE_INCOMPARABLE;
        return int32_t(value1->data1) - int32_t(value2->data1);
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP:
        return sign_of_difference(value1->data1, value2->data1);
    case TYPE_FUNCTION: case TYPE_ROUTINE:
        return sign_of_difference(value1->data3, value2->data3);
    default:
        return actions::get<SLOT_COMPARE>(type_of(value1))(value1, value2, op);
    }
}

bool compare(Cell* value1, Cell* value2, int32_t op) {
    int32_t r = reinterpret_cast<CompareFn>(actions::get_action(value1, SLOT_COMPARE))(value1, value2, op);
    switch (op) {
    case COMP_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_WORD_MATCH:
    case COMP_WORD_MATCH_CANONICAL: case COMP_FIND:
        return r == 0;
    case COMP_NOT_EQUAL:
        return r != 0;
    case COMP_LESSER: case COMP_LESSER_EQUAL: case COMP_GREATER: case COMP_GREATER_EQUAL:
        if (r == COMPARE_INCOMPARABLE) raise_error("script", "invalid-compare", value1, value2);
        return op == COMP_LESSER ? r < 0 : op == COMP_LESSER_EQUAL ? r < 1 : op == COMP_GREATER ? r >= 1 : r >= 0;
    default:
        runtime::error(runtime::ERR_NO_SWITCH_MATCH, 0);
    }
}

}  // namespace qor
