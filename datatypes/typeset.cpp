// typeset!: making from blocks of datatypes, text, comparison, membership
// and the logic and set operations.
#include "datatypes/typeset.hpp"

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"

namespace qor {

namespace typeset {

namespace {

uint8_t* bytes(Cell* ts) { return reinterpret_cast<uint8_t*>(&ts->data1); }
const uint8_t* bytes(const Cell* ts) { return reinterpret_cast<const uint8_t*>(&ts->data1); }

bool has(const Cell* ts, uint32_t t) { return t < 96 && (bytes(ts)[t >> 3] & (0x80u >> (t & 7))) != 0; }
void add(Cell* ts, uint32_t t) {
    if (t < 96) bytes(ts)[t >> 3] |= uint8_t(0x80u >> (t & 7));
}

// One element of a make spec: a datatype, a typeset, or a word naming one.
void add_type(Cell* target, const Cell* element) {
    Cell v = *element;
    if (type_of(&v) == TYPE_WORD) {
        v = *context::get_word_value(element);
        if (type_of(&v) == TYPE_UNSET) raise_error("script", "no-value", element);
    }
    switch (type_of(&v)) {
    case TYPE_TYPESET:
        target->data1 |= v.data1;
        target->data2 |= v.data2;
        target->data3 |= v.data3;
        break;
    case TYPE_DATATYPE:
        add(target, v.data1);
        break;
    default:
        raise_error("script", "invalid-arg", element);
    }
}

}  // namespace

void init() {
    TypeSpec spec = make_type_spec(TYPE_TYPESET);
    set_slot<SLOT_MAKE>(spec, typeset_make);
    set_slot<SLOT_TO>(spec, typeset_make);
    set_slot<SLOT_FORM>(spec, typeset_form);
    set_slot<SLOT_MOLD>(spec, typeset_mold);
    set_slot<SLOT_COMPARE>(spec, typeset_compare);
    set_slot<SLOT_AND_T>(spec, [] { do_bitwise(MATH_AND); });
    set_slot<SLOT_COMPLEMENT>(spec, typeset_complement);
    set_slot<SLOT_OR_T>(spec, [] { do_bitwise(MATH_OR); });
    set_slot<SLOT_XOR_T>(spec, [] { do_bitwise(MATH_XOR); });
    set_slot<SLOT_FIND>(spec, typeset_find);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

uint32_t count_types(const Cell* ts) {
    uint32_t n = 0, highest = registry::highest_type();
    for (uint32_t t = 1; t <= highest; ++t)
        if (has(ts, t)) ++n;
    return n;
}

void do_bitwise(int32_t op) {
    Cell* a = stack::arguments_base();
    // 1. unique gives the first operand whatever the second.
    if (op == SET_UNIQUE) return;
    // 2.-3. The second operand; a datatype counts as a one-type set.
    Cell b = a[1];
    if (type_of(&b) == TYPE_DATATYPE) {
        uint32_t t = b.data1;
        b = Cell{TYPE_TYPESET, 0, 0, 0};
        add(&b, t);
    } else if (type_of(&b) != TYPE_TYPESET) {
        raise_error("script", "invalid-arg", &a[1]);
    }
    // 4. Word by word.
    uint32_t x[3] = {a->data1, a->data2, a->data3}, y[3] = {b.data1, b.data2, b.data3}, r[3];
    for (int i = 0; i < 3; ++i) {
        switch (op) {
        case MATH_OR: case SET_UNION: r[i] = x[i] | y[i]; break;
        case MATH_AND: case SET_INTERSECT: r[i] = x[i] & y[i]; break;
        case SET_EXCLUDE: r[i] = x[i] & ~y[i]; break;
        default: r[i] = x[i] ^ y[i]; break;   // xor~, difference
        }
    }
    *a = Cell{TYPE_TYPESET, r[0], r[1], r[2]};
}

}  // namespace typeset

// A typeset spec comes back as it is; a block's elements are added, words
// looked up but nothing evaluated.  make and to alike refuse other specs
// with bad-to-arg.
Cell* typeset_make(Cell* prototype, Cell* spec) {
    Cell* result = stack::arguments_base();
    if (type_of(spec) == TYPE_TYPESET) {
        *result = *spec;
        return result;
    }
    if (type_of(spec) != TYPE_BLOCK) number_support::raise_bad_to_arg(TYPE_TYPESET, spec);
    Cell made{TYPE_TYPESET, 0, 0, 0};
    Cell block = *spec;
    gc::CellRoot keep(&block);
    uint32_t n = block::length(&block);
    for (uint32_t i = 0; i < n; ++i) {
        Cell element = *block::item(&block, i);
        typeset::add_type(&made, &element);
    }
    result = stack::arguments_base();
    *result = made;
    return result;
}

namespace {

// The shared text: make typeset! [a! b!], or with /only the names alone.
int32_t serialize(const Cell* value, Cell* out, bool only, Cell* part, int32_t limit) {
    using number_support::append_text;
    // 1. The head.
    if (!only) {
        append_text(out, "make typeset! [", 15);
        limit -= 15;
    }
    // 2. The names in ascending id order, each with one space.
    Cell ts = *value;
    bool wrote = false;
    uint32_t highest = registry::highest_type();
    for (uint32_t t = 1; t <= highest; ++t) {
        if (!typeset::has(&ts, t)) continue;
        if (part && limit < 0) return limit;
        const TypeNameEntry& entry = registry::type_name(t);
        const char* name = entry.name && *entry.name ? entry.name : TYPE_NAMES[t];
        uint32_t length = 0;
        while (name[length]) ++length;
        append_text(out, name, length);
        append_text(out, " ", 1);
        limit -= int32_t(length + 1);
        wrote = true;
    }
    // 3.-4. The trailing space goes; the bracket closes.
    if (wrote) {
        SeriesBuffer* s = buffer_of(cell_node(out));
        uint32_t unit = s->unit();
        s->tail -= unit;   // the space just written
        limit += 1;
    }
    if (!only) {
        append_text(out, "]", 1);
        limit -= 1;
    }
    return limit;
}

}  // namespace

int32_t typeset_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return serialize(value, out, false, part, limit);
}

int32_t typeset_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                     int32_t limit, int32_t indent) {
    return serialize(value, out, only, part, limit);
}

// Equal when the maps are; sorting goes by the number of types; the order
// operators do not apply.
int32_t typeset_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_TYPESET) return COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
        return value1->data1 == value2->data1 && value1->data2 == value2->data2 &&
                       value1->data3 == value2->data3
                   ? 0
                   : 1;
    case COMP_SORT: case COMP_CASE_SORT: {
        uint32_t a = typeset::count_types(value1), b = typeset::count_types(value2);
        return a < b ? -1 : a > b ? 1 : 0;
    }
    default:
        return COMPARE_INCOMPARABLE;
    }
}

// Every bit turns over, unset! and the unregistered ids included.
Cell* typeset_complement(Cell* value) {
    *value = Cell{TYPE_TYPESET, ~value->data1, ~value->data2, ~value->data3};
    return value;
}

// true or false for a datatype; the refinements have no meaning for a set.
Cell* typeset_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                   bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse,
                   bool tail, bool match) {
    if (type_of(value) != TYPE_DATATYPE) raise_error("script", "invalid-arg", value);
    return logic::push_new(typeset::has(series, value->data1) ? 1 : 0);
}

}  // namespace qor
