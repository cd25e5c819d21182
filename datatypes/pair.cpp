// pair!: construction, text, paths, comparison and arithmetic.  Arithmetic
// that needs fractions or leaves 32 bits is handed to point2D!.
#include "datatypes/pair.hpp"

#include <cmath>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/word.hpp"
#include "runtime/random.hpp"
#include "datatypes/literal.hpp"
#include "datatypes/number_scan.hpp"

namespace qor {

using namespace number_support;
using pair::x_of;
using pair::y_of;

namespace {

// Truncated toward zero; the caller has refused infinities and NaN.
int32_t truncated(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return d < 0 ? INT32_MIN : INT32_MAX;
    return int32_t(d);
}

Cell as_point(const Cell* p) { return point::make2d(double(x_of(p)), double(y_of(p))); }

// 1 for x, 2 for y, else -1; another word on a pair is script/cannot-use.
int32_t field_index(const Cell* element, const Cell* value) {
    uint32_t t = type_of(element);
    if (t == TYPE_INTEGER) {
        int32_t n = integer::get_value(element);
        return n == 1 || n == 2 ? n : -1;
    }
    if (!is_any_word(t)) return -1;
    if (word::spelled(element, "x")) return 1;
    if (word::spelled(element, "y")) return 2;
    if (value && type_of(value) == TYPE_PAIR) raise_error("script", "cannot-use", element, value);
    return -1;
}

// The left pair and the right operand both become points, and point2D!
// finishes the operation.
void finish_as_points(Cell* left, int32_t x, int32_t y, int32_t rx, int32_t ry, int32_t op) {
    left[0] = point::make2d(double(x), double(y));
    left[1] = point::make2d(double(rx), double(ry));
    run_math_slot(TYPE_POINT2D, op);
}

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    int32_t x = x_of(left), y = y_of(left);
    int32_t rx, ry;
    switch (type_of(right)) {
    case TYPE_PAIR:
        rx = x_of(right);
        ry = y_of(right);
        break;
    case TYPE_INTEGER:
        rx = ry = integer::get_value(right);
        break;
    case TYPE_POINT2D:
        *left = as_point(left);
        run_math_slot(TYPE_POINT2D, op);
        return;
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
        double f = cell_float(right);
        if (op == MATH_DIVIDE) {
            if (std::isnan(f)) raise_error("script", "invalid-arg", right);
            *left = point::make2d(double(x) / f, double(y) / f);
            return;
        }
        if (float_::special_q(f)) raise_error("script", "invalid-arg", right);
        if (op == MATH_MULTIPLY) {
            *left = point::make2d(double(x) * f, double(y) * f);
            return;
        }
        rx = ry = truncated(f);
        break;
    }
    default:
        raise_invalid_type(type_of(right));
    }
    Cell scratch = integer::make(0);
    int32_t nx = integer::math_op(x, rx, op, &scratch);
    bool promoted = type_of(&scratch) != TYPE_INTEGER;
    scratch = integer::make(0);
    int32_t ny = integer::math_op(y, ry, op, &scratch);
    promoted = promoted || type_of(&scratch) != TYPE_INTEGER;
    if (promoted) {
        finish_as_points(left, x, y, rx, ry, op);
        return;
    }
    *left = pair::make(nx, ny);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and text

Cell* pair_make(Cell*, Cell* spec) {
    Cell made;
    switch (type_of(spec)) {
    case TYPE_PAIR:
        made = *spec;
        break;
    case TYPE_INTEGER:
        made = pair::make(integer::get_value(spec), integer::get_value(spec));
        break;
    case TYPE_FLOAT: {
        double f = cell_float(spec);
        if (float_::special_q(f)) raise_error("script", "invalid-arg", spec);
        made = pair::make(truncated(f), truncated(f));
        break;
    }
    case TYPE_BLOCK: {
        int32_t v[2];
        if (block::length(spec) < 2) raise_error("syntax", "malconstruct", spec);
        for (uint32_t i = 0; i < 2; ++i) {
            const Cell* item = block::item(spec, i);
            if (type_of(item) == TYPE_INTEGER)
                v[i] = integer::get_value(item);
            else if (type_of(item) == TYPE_FLOAT && !float_::special_q(cell_float(item)))
                v[i] = truncated(cell_float(item));
            else
                raise_error("syntax", "malconstruct", spec);
        }
        made = pair::make(v[0], v[1]);
        break;
    }
    case TYPE_STRING: {
        Cell original = *spec;
        const Cell* loaded = load_text(spec);
        if (type_of(loaded) != TYPE_PAIR) raise_bad_to_arg(TYPE_PAIR, &original);
        made = *loaded;
        break;
    }
    case TYPE_POINT2D: {
        double x = point::coordinate(spec, 0), y = point::coordinate(spec, 1);
        if (float_::special_q(x) || float_::special_q(y)) raise_error("script", "invalid-arg", spec);
        made = pair::make(truncated(x), truncated(y));
        break;
    }
    default:
        raise_bad_to_arg(TYPE_PAIR, spec);
    }
    Cell* result = stack::arguments_base();
    *result = made;
    return result;
}

Cell* pair_random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(x_of(value) ^ y_of(value));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    int32_t c[2] = {x_of(value), y_of(value)};
    for (int32_t& n : c) {
        if (n == 0) continue;
        int32_t drawn;
        if (!random::integer(secure, n, drawn)) raise_error("internal", "feature-na");
        n = drawn;
    }
    *value = pair::make(c[0], c[1]);
    return value;
}

int32_t pair_form(Cell* value, Cell* out, Cell*, int32_t limit) {
    std::string text = integer::to_decimal_chars(x_of(value));
    text += 'x';
    text += integer::to_decimal_chars(y_of(value));
    append_text(out, text.c_str(), uint32_t(text.size()));
    return limit - int32_t(text.size());
}

int32_t pair_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return pair_form(value, out, part, limit);
}

// ---------------------------------------------------------------------------
// Paths, pick, compare

Cell* pair_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                     Cell* previous, int32_t, bool, uint32_t, bool, bool notify) {
    int32_t index = field_index(element, nullptr);
    if (index < 0) raise_error("script", "invalid-path", path, element);
    if (!new_value || type_of(new_value) == TYPE_NONE)
        return integer::push_new(index == 1 ? x_of(value) : y_of(value));
    if (type_of(new_value) != TYPE_INTEGER) raise_invalid_type(type_of(new_value));
    Cell old = *value;
    if (index == 1)
        value->data2 = new_value->data2;
    else
        value->data3 = new_value->data2;
    auto tell = number_hooks::get().notify_path_change;
    if (notify && tell && parent) tell(parent, previous, &old, value, index);
    return new_value;
}

Cell* pair_pick(Cell* value, int32_t index) {
    Cell given = pick_index_arg(value, index);
    int32_t n = field_index(&given, value);
    if (n < 0) raise_error("script", "out-of-range", &given);
    return integer::push_new(n == 1 ? x_of(value) : y_of(value));
}

Cell* pair_reverse(Cell* value, Cell*, Cell*) {
    *value = pair::make(y_of(value), x_of(value));
    return value;
}

int32_t pair_compare(Cell* a, Cell* b, int32_t op) {
    if (type_of(b) == TYPE_POINT2D) {
        Cell p = as_point(a);
        return registry::action<SLOT_COMPARE>(TYPE_POINT2D)(&p, b, op);
    }
    if (type_of(b) != TYPE_PAIR) return COMPARE_INCOMPARABLE;
    if (x_of(a) != x_of(b)) return x_of(a) < x_of(b) ? -1 : 1;
    if (y_of(a) != y_of(b)) return y_of(a) < y_of(b) ? -1 : 1;
    return 0;
}

// ---------------------------------------------------------------------------
// Arithmetic

void pair_add() { do_math(MATH_ADD); }
void pair_subtract() { do_math(MATH_SUBTRACT); }
void pair_multiply() { do_math(MATH_MULTIPLY); }
void pair_divide() { do_math(MATH_DIVIDE); }
void pair_remainder() { do_math(MATH_REMAINDER); }
void pair_or() { do_math(MATH_OR); }
void pair_and() { do_math(MATH_AND); }
void pair_xor() { do_math(MATH_XOR); }

// Wraps around: the negation of -2147483648 stays itself.
Cell* pair_negate(Cell* value) {
    *value = pair::make(int32_t(0u - uint32_t(x_of(value))), int32_t(0u - uint32_t(y_of(value))));
    return value;
}

void pair_absolute() {
    Cell* value = stack::arguments_base();
    *value = pair::make(integer::abs_checked(x_of(value)), integer::abs_checked(y_of(value)));
}

// Each component goes through integer!'s round with its own scale: the
// scale's x for x and its y for y when the scale is a pair.
Cell* pair_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                 bool ceiling, bool half_ceiling) {
    if (scale && type_of(scale) == TYPE_MONEY) raise_not_related("round", TYPE_MONEY);
    Cell original = *value;
    Cell pair_scale = scale ? *scale : Cell{};
    bool by_pair = scale && type_of(scale) == TYPE_PAIR;
    int32_t result[2];
    for (int i = 0; i < 2; ++i) {
        Cell component = integer::make(i == 0 ? x_of(&original) : y_of(&original));
        Cell step;
        Cell* step_ref = scale;
        if (by_pair) {
            step = integer::make(i == 0 ? x_of(&pair_scale) : y_of(&pair_scale));
            step_ref = &step;
        }
        Cell* rounded = integer_round(&component, step_ref, even, down, half_down, floor, ceiling,
                                      half_ceiling);
        if (type_of(rounded) == TYPE_FLOAT) {
            double f = cell_float(rounded);
            result[i] = float_::special_q(f) ? 0 : truncated(f);
        } else {
            result[i] = integer::get_value(rounded);
        }
    }
    *value = pair::make(result[0], result[1]);
    return value;
}

namespace pair {

void init() {
    TypeSpec spec = make_type_spec(TYPE_PAIR);
    set_slot<SLOT_MAKE>(spec, pair_make);
    set_slot<SLOT_RANDOM>(spec, pair_random);
    set_slot<SLOT_TO>(spec, pair_make);
    set_slot<SLOT_FORM>(spec, pair_form);
    set_slot<SLOT_MOLD>(spec, pair_mold);
    set_slot<SLOT_EVAL_PATH>(spec, pair_eval_path);
    set_slot<SLOT_COMPARE>(spec, pair_compare);
    set_slot<SLOT_ABSOLUTE>(spec, pair_absolute);
    set_slot<SLOT_ADD>(spec, pair_add);
    set_slot<SLOT_DIVIDE>(spec, pair_divide);
    set_slot<SLOT_MULTIPLY>(spec, pair_multiply);
    set_slot<SLOT_NEGATE>(spec, pair_negate);
    set_slot<SLOT_REMAINDER>(spec, pair_remainder);
    set_slot<SLOT_ROUND>(spec, pair_round);
    set_slot<SLOT_SUBTRACT>(spec, pair_subtract);
    set_slot<SLOT_AND_T>(spec, pair_and);
    set_slot<SLOT_OR_T>(spec, pair_or);
    set_slot<SLOT_XOR_T>(spec, pair_xor);
    set_slot<SLOT_PICK>(spec, pair_pick);
    set_slot<SLOT_REVERSE>(spec, pair_reverse);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace pair
}  // namespace qor

namespace qor::pair {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool, Cell* out) {
    const uint8_t* x = start;
    while (x < end && (*x | 0x20) != 'x') x++;
    if (seen & literal::SEEN_DOT) return TYPE_PAIR;
    int32_t a, b;
    bool quotes = (seen & literal::SEEN_QUOTE) != 0;
    if (x == end || number_scan::lex_integer(start, x, quotes, &a) != number_scan::INT_OK ||
        number_scan::lex_integer(x + 1, end, quotes, &b) != number_scan::INT_OK)
        return TYPE_PAIR;
    *out = make(a, b);
    return 0;
}

}  // namespace qor::pair
