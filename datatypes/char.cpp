// char!: construction, arithmetic inside the code point range, text forms
// and numeric comparison.
#include "datatypes/char.hpp"

#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/unicode.hpp"
#include "datatypes/text_literal.hpp"

namespace qor {

namespace char_ {

void init() {
    TypeSpec spec = make_type_spec(TYPE_CHAR);
    set_slot<SLOT_MAKE>(spec, char_make);
    set_slot<SLOT_TO>(spec, char_make);
    set_slot<SLOT_FORM>(spec, char_form);
    set_slot<SLOT_MOLD>(spec, char_mold);
    set_slot<SLOT_COMPARE>(spec, char_compare);
    set_slot<SLOT_ADD>(spec, char_add);
    set_slot<SLOT_DIVIDE>(spec, char_divide);
    set_slot<SLOT_MULTIPLY>(spec, char_multiply);
    set_slot<SLOT_REMAINDER>(spec, char_remainder);
    set_slot<SLOT_SUBTRACT>(spec, char_subtract);
    set_slot<SLOT_AND_T>(spec, char_and);
    set_slot<SLOT_OR_T>(spec, char_or);
    set_slot<SLOT_XOR_T>(spec, char_xor);
    // These work on the payload and leave the type byte alone.
    inherit_slot(spec, SLOT_RANDOM);
    inherit_slot(spec, SLOT_ABSOLUTE);
    inherit_slot(spec, SLOT_EVEN_Q);
    inherit_slot(spec, SLOT_ODD_Q);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    int32_t n;
    switch (type_of(right)) {
    case TYPE_CHAR:
    case TYPE_INTEGER:
        n = int32_t(right->data2);
        break;
    case TYPE_FLOAT: {
        double d = cell_float(right);
        // Truncation of a double outside the 32-bit range would be undefined:
        // such an operand cannot give a code point anyway.
        if (!(d > -2147483649.0 && d < 2147483648.0)) raise_error("math", "overflow");
        n = int32_t(d);
        break;
    }
    case TYPE_VECTOR:
        // The vector's scalar arithmetic takes over, the char on the left.
        if (auto f = number_hooks::get().vector_scalar_math) {
            f(op);
            return;
        }
        raise_error("internal", "not-done");
    default: {
        Cell type;
        datatype::set(&type, type_of(right));
        raise_error("script", "invalid-type", &type);
    }
    }
    int32_t cp = int32_t(left->data2);
    int32_t result;
    if (op == MATH_DIVIDE) {
        result = integer::math_op(cp, n, op, nullptr);
    } else {
        Cell scratch = integer::make(0);
        result = integer::math_op(cp, n, op, &scratch);
        if (type_of(&scratch) != TYPE_INTEGER) raise_error("math", "overflow");
        result = int32_t(scratch.data2);
    }
    if (result < 0 || uint32_t(result) > MAX_CODE_POINT) raise_error("math", "overflow");
    left->data2 = uint32_t(result);
}

Cell* new_in_block(Cell* block, uint32_t cp) {
    Cell c = make(cp);
    return block::append_copy(block, &c);
}

Cell* push_new(uint32_t cp) {
    Cell* cell = stack::push_slot();
    set(cell, cp);
    return cell;
}

}  // namespace char_

namespace {

[[noreturn]] void bad_to_arg(const Cell* spec) {
    Cell type;
    datatype::set(&type, TYPE_CHAR);
    raise_error("script", "bad-to-arg", &type, spec);
}

Cell* set_result(uint32_t cp) {
    Cell* result = stack::arguments_base();
    char_::set(result, cp);
    return result;
}

}  // namespace

Cell* char_make(Cell* prototype, Cell* spec) {
    switch (type_of(spec)) {
    case TYPE_INTEGER:
    case TYPE_CHAR: {
        int32_t v = int32_t(spec->data2);
        if (v < 0 || uint32_t(v) > char_::MAX_CODE_POINT) raise_error("script", "out-of-range", spec);
        return set_result(uint32_t(v));
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
        double d = cell_float(spec);
        // Truncated toward zero: anything from -1 (exclusive) up to 0x110000
        // (exclusive) lands in range; NaN fails both tests.
        if (!(d > -1.0 && d < double(char_::MAX_CODE_POINT) + 1.0)) raise_error("script", "out-of-range", spec);
        return set_result(uint32_t(d));
    }
    case TYPE_BINARY: {
        SeriesBuffer* b = buffer_of(cell_node(spec));
        int32_t index = int32_t(spec->data1);
        if (index < 0 || uint32_t(index) >= b->byte_length()) bad_to_arg(spec);   // nothing to decode
        const uint8_t* p = b->head + index;
        int32_t left = int32_t(b->byte_length() - uint32_t(index));
        uint32_t lead = unicode::utf8_lead_length(*p);
        int32_t avail = lead == 0 ? 1 : int32_t(lead) < left ? int32_t(lead) : left;
        int32_t cp = unicode::utf8_decode_char_strict(p, &avail);
        if (cp < 0) bad_to_arg(spec);   // the bytes end inside the character
        return set_result(uint32_t(cp));
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: {
        if (string::at_tail_q(spec)) bad_to_arg(spec);
        return set_result(string::char_at(spec, spec->data1));
    }
    default:
        bad_to_arg(spec);
    }
}

int32_t char_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    string::append_char(out, char_::code_point(value));
    return limit - 1;
}

int32_t char_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent) {
    uint32_t before = string::length_from_head(out);
    string::append_ascii(out, "#\"", 2);
    string::append_escaped_char(out, char_::code_point(value), all, true);
    string::append_char(out, '"');
    return limit - int32_t(string::length_from_head(out) - before);
}

int32_t char_compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t = type_of(value2);
    if ((op == COMP_STRICT_EQUAL || op == COMP_FIND) && t != TYPE_CHAR) return 1;
    if (t != TYPE_CHAR && t != TYPE_INTEGER) return COMPARE_INCOMPARABLE;
    int32_t a = int32_t(value1->data2), b = int32_t(value2->data2);
    return a < b ? -1 : a > b ? 1 : 0;
}

void char_add() { char_::do_math(MATH_ADD); }
void char_divide() { char_::do_math(MATH_DIVIDE); }
void char_multiply() { char_::do_math(MATH_MULTIPLY); }
void char_remainder() { char_::do_math(MATH_REMAINDER); }
void char_subtract() { char_::do_math(MATH_SUBTRACT); }
void char_and() { char_::do_math(MATH_AND); }
void char_or() { char_::do_math(MATH_OR); }
void char_xor() { char_::do_math(MATH_XOR); }

}  // namespace qor

namespace qor::char_ {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool, Cell* out) {
    if (end - start < 2 || start[0] != '#' || start[1] != '"') return TYPE_CHAR;
    const uint8_t* p = start + 2;
    uint32_t cp = 0;
    uint32_t n = p < end ? text_literal::decode_char(p, end, true, &cp) : 0;
    if (n == 0 || p + n != end) return TYPE_CHAR;
    *out = make(cp);
    return 0;
}

}  // namespace qor::char_
