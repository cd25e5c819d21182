// logic!: construction and conversion, random, text forms, comparison, the
// bitwise actions and the truth tests.
#include "datatypes/block.hpp"
#include "datatypes/logic.hpp"

#include "datatypes/datatype.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/unset.hpp"
#include "runtime/random.hpp"

namespace qor {

namespace {
Cell g_true = {TYPE_LOGIC, 1, 0, 0};
Cell g_false = {TYPE_LOGIC, 0, 0, 0};
}  // namespace

Cell* const true_value = &g_true;
Cell* const false_value = &g_false;

namespace logic {

void init() {
    set(&g_true, 1);
    set(&g_false, 0);
    TypeSpec spec = make_type_spec(TYPE_LOGIC);
    set_slot<SLOT_MAKE>(spec, logic_make);
    set_slot<SLOT_RANDOM>(spec, logic_random);
    set_slot<SLOT_TO>(spec, logic_to);
    set_slot<SLOT_FORM>(spec, logic_form);
    set_slot<SLOT_MOLD>(spec, logic_mold);
    set_slot<SLOT_COMPARE>(spec, logic_compare);
    set_slot<SLOT_AND_T>(spec, logic_and);
    set_slot<SLOT_COMPLEMENT>(spec, logic_complement);
    set_slot<SLOT_OR_T>(spec, logic_or);
    set_slot<SLOT_XOR_T>(spec, logic_xor);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

void set_result(uint32_t value) { set(stack::arguments_base(), value); }

Cell* new_in_block(Cell* block, uint32_t value) {
    Cell cell{};
    set(&cell, value);
    return block::append_copy(block, &cell);
}

Cell* push_new(uint32_t value) {
    Cell* cell = stack::push_slot();
    set(cell, value);
    return cell;
}

bool truthy_checked_q(const Cell* value, bool check, const Cell* name) {
    if (check && type_of(value) == TYPE_UNSET) raise_error("script", "no-value", name);
    return !is_false(value);
}

bool condition_true_q() {
    const Cell* result = stack::arguments_base();
    if (type_of(result) == TYPE_UNSET) raise_error("script", "no-return");
    return !is_false(result);
}

bool result_false_q() { return is_false(stack::arguments_base()); }

bool stack_top_false_q() {
    const Cell* base = stack::arguments_base();
    const Cell* top = stack::top_value();
    return is_false(top > base ? top : base);
}

bool stack_top_true_q() { return !stack_top_false_q(); }

void bitwise_op(int32_t op) {
    Cell* value1 = stack::arguments_base();
    Cell* value2 = value1 + 1;
    if (type_of(value2) != TYPE_LOGIC) {
        int slot = op == MATH_AND ? SLOT_AND_T : op == MATH_OR ? SLOT_OR_T : SLOT_XOR_T;
        Cell type;
        datatype::set(&type, type_of(value2));
        raise_error("script", "expect-arg", ACTION_NAMES[slot], &type, "value2");
    }
    uint32_t a = value1->data1, b = value2->data1;
    set(value1, op == MATH_AND ? (a & b) : op == MATH_OR ? (a | b) : (a ^ b));
}

}  // namespace logic

// A number makes true when it is not zero (NaN is not zero); anything else
// converts as by `to`.
Cell* logic_make(Cell* prototype, Cell* spec) {
    switch (type_of(spec)) {
    case TYPE_INTEGER:
        logic::set_result(spec->data2 != 0);
        return stack::arguments_base();
    case TYPE_FLOAT:
    case TYPE_PERCENT:
        logic::set_result(!(cell_float(spec) == 0.0));
        return stack::arguments_base();
    default:
        return logic_to(prototype, spec);
    }
}

// A logic! converts to itself, none to false, every other value to true.
Cell* logic_to(Cell* prototype, Cell* spec) {
    switch (type_of(spec)) {
    case TYPE_LOGIC: logic::set_result(spec->data1); break;
    case TYPE_NONE:  logic::set_result(0); break;
    default:         logic::set_result(1); break;
    }
    return stack::arguments_base();
}

// /seed seeds the generator with the payload and answers unset; otherwise a
// draw above 0x3FFFFFFF makes true.  A secure source that fails is reported
// rather than answered with a value it did not draw.
Cell* logic_random(Cell* value, bool seed, bool secure, bool only) {
    if (seed) {
        random::seed(int32_t(value->data1));
        unset::set(value);
        return value;
    }
    int32_t draw;
    if (!secure)
        draw = random::next();
    else if (!random::secure_next(draw))
        raise_error("internal", "feature-na");
    logic::set(value, draw > 0x3FFFFFFF);
    return value;
}

int32_t logic_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    if (value->data1) {
        string_append_ascii(out, "true");
        return limit - 4;
    }
    string_append_ascii(out, "false");
    return limit - 5;
}

int32_t logic_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent) {
    if (!all) return logic_form(value, out, part, limit);
    if (value->data1) {
        string_append_ascii(out, "#(true)");
        return limit - 7;
    }
    string_append_ascii(out, "#(false)");
    return limit - 8;
}

// Equal when the payloads are; false sorts before true; never ordered by <.
int32_t logic_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_LOGIC) return COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
        return int32_t(value1->data1) - int32_t(value2->data1);
    default:
        return COMPARE_INCOMPARABLE;
    }
}

void logic_and() { logic::bitwise_op(MATH_AND); }
void logic_or() { logic::bitwise_op(MATH_OR); }
void logic_xor() { logic::bitwise_op(MATH_XOR); }

Cell* logic_complement(Cell* value) {
    value->data1 ^= 1;
    return value;
}

}  // namespace qor
