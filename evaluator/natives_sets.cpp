// The set natives: unique, union, intersect, exclude and difference hand
// their operands to the datatype's own set routine; complement? reads a
// bitset's stored-complemented flag.
//
#include "datatypes/bitset.hpp"
#include "datatypes/block_actions.hpp"
#include "datatypes/date.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/typeset.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_support.hpp"

namespace qor::natives {

using support::arg;
using support::check_arg;
using support::used;

namespace {

bool block_like(uint32_t t) { return t == TYPE_BLOCK || t == TYPE_HASH; }

[[noreturn]] void raise_mismatch() {
    Cell t1{TYPE_DATATYPE, type_of(arg(0)), 0, 0};
    Cell t2{TYPE_DATATYPE, type_of(arg(1)), 0, 0};
    raise_error("script", "expect-val", &t1, &t2);
}

// The shared worker.  `refinements` holds /case then /skip; the operands lie
// at the arguments base and the result replaces the first.
void set_operation(bool check, const int32_t* refinements, int32_t op) {
    bool two = op != SET_UNIQUE;
    // Spec positions: the operands, /case, /skip and its size.
    int32_t size_position = two ? 4 : 3;
    if (check) {
        Cell types = support::typeset_of({TYPE_BLOCK, TYPE_HASH, TYPE_STRING});
        if (two) typeset_set_bit(&types, TYPE_BITSET), typeset_set_bit(&types, TYPE_TYPESET);
        if (op == SET_DIFFERENCE) typeset_set_bit(&types, TYPE_DATE);
        check_arg(true, 0, types, 0);
        if (two) check_arg(true, 1, types, 1);
        if (used(refinements, 1)) check_arg(true, refinements[1], support::typeset_of({TYPE_INTEGER}), size_position);
    }
    bool case_sensitive = used(refinements, 0);
    Cell* skip = used(refinements, 1) ? arg(uint32_t(refinements[1])) : nullptr;

    uint32_t t1 = type_of(arg(0));
    uint32_t t2 = two ? uint32_t(type_of(arg(1))) : t1;
    // Blocks combine only with blocks, text only with text: the set routines
    // read the second operand as their own kind.
    if (two && block_like(t1) && !block_like(t2)) raise_mismatch();
    if (two && t1 == TYPE_STRING && !is_any_string(t2)) raise_mismatch();

    if (t1 == TYPE_DATE && op == SET_DIFFERENCE && t2 == TYPE_DATE) {
        date::difference(arg(0), arg(1));   // the time between them
    } else if (block_like(t1)) {
        block::set_operation(case_sensitive, skip, op);
    } else if (t1 == TYPE_BITSET) {
        bitset::do_bitwise(op);
    } else if (t1 == TYPE_TYPESET) {
        typeset::do_bitwise(op);
    } else if (t1 == TYPE_STRING) {
        string_actions::set_operation(arg(0), two ? arg(1) : arg(0), case_sensitive, skip, op, arg(0));
    } else {
        support::raise_expect_arg(0, 0);
    }
    stack::keep();
}

}  // namespace

int32_t unique_star(bool check, const int32_t* refinements) {
    set_operation(check, refinements, SET_UNIQUE);
    return 0;
}
int32_t union_star(bool check, const int32_t* refinements) {
    set_operation(check, refinements, SET_UNION);
    return 0;
}
int32_t intersect_star(bool check, const int32_t* refinements) {
    set_operation(check, refinements, SET_INTERSECT);
    return 0;
}
int32_t exclude_star(bool check, const int32_t* refinements) {
    set_operation(check, refinements, SET_EXCLUDE);
    return 0;
}
int32_t difference_star(bool check, const int32_t* refinements) {
    set_operation(check, refinements, SET_DIFFERENCE);
    return 0;
}

int32_t complement_q_star(bool check, const int32_t*) {
    check_arg(check, 0, support::typeset_of({TYPE_BITSET}), 0);
    const Cell* bits = arg(0);
    if (type_of(bits) != TYPE_BITSET) support::raise_expect_arg(0, 0);
    bool complemented = (buffer_of(cell_node(bits))->flags & SERIES_BITSET_NOT) != 0;
    stack::set_last_keep(Cell{TYPE_LOGIC, complemented ? 1u : 0u, 0, 0});
    return 0;
}

}  // namespace qor::natives
