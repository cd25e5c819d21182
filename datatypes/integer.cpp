// integer!: the checked arithmetic kernel and operand dispatch, power,
// rounding, conversions, random, text and comparison.
#include "datatypes/integer.hpp"

#include <climits>
#include <cmath>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"
#include "runtime/throw.hpp"
#include "datatypes/literal.hpp"

namespace qor {

using namespace number_support;

namespace integer {

void init() {
    TypeSpec spec = make_type_spec(TYPE_INTEGER);
    set_slot<SLOT_MAKE>(spec, integer_make);
    set_slot<SLOT_RANDOM>(spec, integer_random);
    set_slot<SLOT_TO>(spec, integer_to);
    set_slot<SLOT_FORM>(spec, integer_form);
    set_slot<SLOT_MOLD>(spec, integer_mold);
    set_slot<SLOT_COMPARE>(spec, integer_compare);
    set_slot<SLOT_ABSOLUTE>(spec, integer_absolute);
    set_slot<SLOT_ADD>(spec, integer_add);
    set_slot<SLOT_DIVIDE>(spec, integer_divide);
    set_slot<SLOT_MULTIPLY>(spec, integer_multiply);
    set_slot<SLOT_NEGATE>(spec, integer_negate);
    set_slot<SLOT_POWER>(spec, integer_power);
    set_slot<SLOT_REMAINDER>(spec, integer_remainder);
    set_slot<SLOT_ROUND>(spec, integer_round);
    set_slot<SLOT_SUBTRACT>(spec, integer_subtract);
    set_slot<SLOT_EVEN_Q>(spec, integer_even_q);
    set_slot<SLOT_ODD_Q>(spec, integer_odd_q);
    set_slot<SLOT_AND_T>(spec, integer_and);
    set_slot<SLOT_COMPLEMENT>(spec, integer_complement);
    set_slot<SLOT_OR_T>(spec, integer_or);
    set_slot<SLOT_XOR_T>(spec, integer_xor);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

int32_t arg_value() { return get_value(stack::arguments_base()); }

int32_t arg_value_or_zero() {
    const Cell* arg = stack::arguments_base();
    return type_of(arg) == TYPE_INTEGER ? get_value(arg) : 0;
}

void set_result(int32_t value) { set(stack::arguments_base(), value); }

Cell* new_in_block(Cell* block, int32_t value) {
    Cell cell = make(value);
    return block::append_copy(block, &cell);
}

Cell* push_new(int32_t value) {
    Cell* cell = stack::push_slot();
    set(cell, value);
    return cell;
}

namespace {

// The cell becomes a float! (flags kept) holding an operation's exact
// double result.
inline int32_t promote(Cell* result, double value) {
    if (!result) raise_math("overflow");
    float_::init_cell(result, value);
    return 0;
}

}  // namespace

int32_t math_op(int32_t left, int32_t right, int32_t op, Cell* result) {
    int32_t value;
    switch (op) {
    case MATH_ADD:
        if (__builtin_add_overflow(left, right, &value))
            return promote(result, double(left) + double(right));
        break;
    case MATH_SUBTRACT:
        if (__builtin_sub_overflow(left, right, &value))
            return promote(result, double(left) - double(right));
        break;
    case MATH_MULTIPLY:
        if (__builtin_mul_overflow(left, right, &value))
            return promote(result, double(left) * double(right));
        break;
    case MATH_DIVIDE:
        if (right == 0) raise_math("zero-divide");
        if (left == INT32_MIN && right == -1) raise_math("overflow");
        if (result && left % right != 0) return promote(result, double(left) / double(right));
        value = left / right;
        break;
    case MATH_REMAINDER:
        if (right == 0) raise_math("zero-divide");
        if (left == INT32_MIN && right == -1) raise_math("overflow");
        value = left % right;
        break;
    case MATH_OR:  value = left | right; break;
    case MATH_AND: value = left & right; break;
    case MATH_XOR: value = left ^ right; break;
    default: bad_op();
    }
    if (result) result->data2 = uint32_t(value);
    return value;
}

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    uint32_t type = type_of(right);
    switch (type) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
        math_op(get_value(left), get_value(right), op, left);
        return;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
        float_::do_math(op);
        return;
    case TYPE_MONEY:
        // money! converts a number on its left by itself.
        run_math_slot(TYPE_MONEY, op);
        return;
    case TYPE_VECTOR:
        // The vector's scalar arithmetic, told that the number stands on
        // the left (10 - v is 10 minus each element).
        if (!has_math_slot(type, op)) raise_invalid_type(type);
        if (auto f = number_hooks::get().vector_scalar_math) {
            f(op);
            return;
        }
        swap_operands();
        run_math_slot(type, op);
        return;
    case TYPE_PAIR:
    case TYPE_POINT2D:
    case TYPE_POINT3D:
        if (op == MATH_DIVIDE) raise_not_related("divide", TYPE_INTEGER);
        if (!has_math_slot(type, op == MATH_SUBTRACT ? MATH_ADD : op) ||
            (op == MATH_SUBTRACT && registry::entry(type, SLOT_NEGATE) == ACTION_NONE))
            raise_invalid_type(type);
        swap_operands();
        if (op == MATH_SUBTRACT) {   // n - p = (-p) + n
            registry::action<SLOT_NEGATE>(type)(left);
            op = MATH_ADD;
        }
        run_math_slot(type, op);
        return;
    case TYPE_TUPLE:
        if (op == MATH_SUBTRACT || op == MATH_DIVIDE) raise_not_related(word_of_op(op), TYPE_INTEGER);
        if (!has_math_slot(type, op)) raise_invalid_type(type);
        swap_operands();
        run_math_slot(type, op);
        return;
    case TYPE_DATE:
        if (op != MATH_ADD) raise_not_related("subtract", TYPE_INTEGER);
        if (!has_math_slot(type, op)) raise_invalid_type(type);
        swap_operands();   // integer + date adds days to the date
        run_math_slot(type, op);
        return;
    default:
        raise_invalid_type(type);
    }
}

const char* to_decimal_chars(int32_t value) {
    static const char most_negative[] = "-2147483648";
    static char buffer[12] = "-0000000000";
    if (value == INT32_MIN) return most_negative;
    uint32_t magnitude = value < 0 ? uint32_t(-value) : uint32_t(value);
    char* p = buffer + 11;   // the NUL stays in place
    do {
        *--p = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0) *--p = '-';
    return p;
}

bool float_overflows_q(const Cell* number) {
    double d = cell_float(number);
    return !(d <= 2147483647.0 && d >= -2147483648.0);   // NaN fails both
}

int32_t abs_checked(int32_t value) {
    if (value == INT32_MIN) raise_math("overflow");
    return value < 0 ? -value : value;
}

int32_t sign(int32_t value) { return (value > 0) - (value < 0); }

int32_t from_binary(const Cell* binary) {
    SeriesBuffer* s = buffer_of(cell_node(binary));
    int32_t index = int32_t(binary->data1);
    int32_t available = int32_t(s->byte_length()) - index;
    if (index < 0 || available <= 0) return 0;
    const uint8_t* p = s->head + index;
    uint32_t value = 0;
    for (int32_t i = 0; i < available && i < 4; ++i) value = value << 8 | p[i];
    return int32_t(value);
}

int32_t from_issue(const Cell* issue) {
    int32_t id = int32_t(issue->data2);
    const uint8_t* text = symbol::spelling(id);
    uint32_t length = symbol::spelling_length(id);
    if (length > 8) raise_error("script", "invalid-data", issue);
    uint32_t value = 0;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = text[i];
        uint32_t digit = c >= '0' && c <= '9'   ? uint32_t(c - '0')
                         : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                         : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
                                                : 16;
        if ((c & 0x7F) < 32 || digit > 15) raise_error("script", "invalid-data", issue);
        value = value * 16 + digit;
    }
    return int32_t(value);
}

int32_t power_by_squaring(int32_t base, int32_t exponent) {
    int32_t result = 1;
    while (exponent != 0) {
        if (exponent & 1) {
            if (__builtin_mul_overflow(result, base, &result)) system_throw(THROW_INT_OVERFLOW);
        }
        exponent >>= 1;
        // Squaring past the last step may overflow harmlessly.
        if (__builtin_mul_overflow(base, base, &base) && exponent > 0)
            system_throw(THROW_INT_OVERFLOW);
    }
    return result;
}

}  // namespace integer

using integer::get_value;

// ---------------------------------------------------------------------------
// make and to

Cell* integer_to(Cell* prototype, Cell* spec) {
    int32_t n = 0;
    uint32_t type = type_of(spec);
    switch (type) {
    case TYPE_INTEGER:
    case TYPE_CHAR:
        n = get_value(spec);
        break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
        if (integer::float_overflows_q(spec)) {
            Cell t = datatype_cell(TYPE_INTEGER);
            raise_error("script", "type-limit", &t);
        }
        n = int32_t(cell_float(spec));
        break;
    case TYPE_TIME: {
        Cell rounded = float_::make(cell_float(spec) + 0.5);
        if (integer::float_overflows_q(&rounded)) {
            Cell t = datatype_cell(TYPE_INTEGER);
            raise_error("script", "type-limit", &t);
        }
        n = int32_t(cell_float(&rounded));
        break;
    }
    case TYPE_MONEY: {
        auto to_integer = number_hooks::get().money_to_integer;
        if (!to_integer) raise_bad_to_arg(TYPE_INTEGER, spec);
        n = to_integer(spec);
        break;
    }
    case TYPE_BINARY:
        n = integer::from_binary(spec);
        break;
    case TYPE_ISSUE:
        n = integer::from_issue(spec);
        break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: {
        int32_t status = 0;
        n = number_scan::string_to_integer(spec, &status);
        if (status != 0) raise_bad_to_arg(TYPE_INTEGER, spec);
        break;
    }
    case TYPE_DATE: {
        auto epoch = number_hooks::get().date_to_epoch_seconds;
        if (!epoch) raise_bad_to_arg(TYPE_INTEGER, spec);
        n = epoch(spec);
        break;
    }
    default:
        raise_bad_to_arg(TYPE_INTEGER, spec);
    }
    Cell* result = stack::arguments_base();
    integer::set(result, n);
    return result;
}

Cell* integer_make(Cell* prototype, Cell* spec) {
    if (type_of(spec) != TYPE_LOGIC) return integer_to(prototype, spec);
    Cell* result = stack::arguments_base();
    integer::set(result, spec->data1 ? 1 : 0);
    return result;
}

// ---------------------------------------------------------------------------
// random, text, comparison

// Only the payload changes, so char! (which borrows this action) keeps its
// type.  A secure source that fails is reported rather than answered with a
// value it did not draw.
Cell* integer_random(Cell* value, bool seed, bool secure, bool only) {
    if (seed) {
        random::seed(get_value(value));
        unset::set(value);
        return value;
    }
    int32_t n = get_value(value);
    if (n == 0) return value;
    int32_t drawn;
    if (!random::integer(secure, n, drawn)) raise_error("internal", "feature-na");
    value->data2 = uint32_t(drawn);
    return value;
}

int32_t integer_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    const char* text = integer::to_decimal_chars(get_value(value));
    uint32_t length = uint32_t(__builtin_strlen(text));
    append_text(out, text, length);
    return limit - int32_t(length);
}

int32_t integer_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                     int32_t limit, int32_t indent) {
    return integer_form(value, out, part, limit);
}

int32_t integer_compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t type2 = type_of(value2);
    if ((op == COMP_STRICT_EQUAL || op == COMP_FIND) && type2 != TYPE_INTEGER) return 1;
    switch (type2) {
    case TYPE_INTEGER:
    case TYPE_CHAR: {
        int32_t a = get_value(value1), b = get_value(value2);
        return (a > b) - (a < b);
    }
    case TYPE_MONEY: {
        auto from_integer = number_hooks::get().money_from_integer;
        CompareFn compare = registry::action<SLOT_COMPARE>(TYPE_MONEY);
        if (!from_integer || !compare) return COMPARE_INCOMPARABLE;
        Cell money{};
        from_integer(get_value(value1), &money);
        return compare(&money, value2, op);
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
        return float_::compare_number(double(get_value(value1)), type_of(value1), value2, op);
    default:
        return COMPARE_INCOMPARABLE;
    }
}

// ---------------------------------------------------------------------------
// Arithmetic actions

void integer_add()       { integer::do_math(MATH_ADD); }
void integer_subtract()  { integer::do_math(MATH_SUBTRACT); }
void integer_multiply()  { integer::do_math(MATH_MULTIPLY); }
void integer_divide()    { integer::do_math(MATH_DIVIDE); }
void integer_remainder() { integer::do_math(MATH_REMAINDER); }
void integer_and()       { integer::do_math(MATH_AND); }
void integer_or()        { integer::do_math(MATH_OR); }
void integer_xor()       { integer::do_math(MATH_XOR); }

// Payload only: char! borrows this action and keeps its type.
void integer_absolute() {
    Cell* value = stack::arguments_base();
    value->data2 = uint32_t(integer::abs_checked(get_value(value)));
}

Cell* integer_negate(Cell* value) {
    int32_t n = get_value(value);
    if (n == INT32_MIN) raise_math("overflow");
    value->data2 = uint32_t(-n);
    return value;
}

Cell* integer_complement(Cell* value) {
    value->data2 = ~value->data2;
    return value;
}

int32_t integer_even_q(Cell* value) { return (value->data2 & 1) == 0; }
int32_t integer_odd_q(Cell* value) { return (value->data2 & 1) != 0; }

// An integer exponent of 0 or more stays in integers while the result fits;
// an overflow finishes the computation as the float power of the unchanged
// base.
void integer_power() {
    Cell* base = stack::arguments_base();
    Cell* exponent = base + 1;
    uint32_t type = type_of(exponent);
    if (type != TYPE_INTEGER && type != TYPE_FLOAT) raise_expect_exponent(exponent);
    int32_t b = get_value(base);
    if (type == TYPE_INTEGER && get_value(exponent) >= 0) {
        try {
            int32_t result = integer::power_by_squaring(b, get_value(exponent));
            base->data2 = uint32_t(result);
            return;
        } catch (const Thrown& t) {
            if (t.code != THROW_INT_OVERFLOW) throw;
            set_thrown(0);
        }
    }
    float_::init_cell(base, double(b));
    float_power();
}

// ---------------------------------------------------------------------------
// round

Cell* integer_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                    bool ceiling, bool half_ceiling) {
    if (scale && type_of(scale) == TYPE_MONEY) raise_not_related("round", TYPE_MONEY);
    int32_t n = get_value(value);
    if (n == INT32_MIN) return value;
    int32_t s = 1;
    if (scale) {
        if (type_of(scale) != TYPE_INTEGER) {
            float_::init_cell(value, double(n));
            return float_round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
        }
        s = integer::abs_checked(get_value(scale));
    }
    if (s == 0) return value;
    int32_t a = n < 0 ? -n : n;
    int32_t r = a % s;
    if (r == 0) return value;
    int32_t d = s - r;
    int64_t up = int64_t(a) + d;
    bool up_overflows = up > INT32_MAX;
    auto checked_up = [&] {
        if (up_overflows) raise_math("overflow");
    };
    int32_t toward = n > 0 ? a - r : r - a;
    auto away = [&] { return n > 0 ? int32_t(up) : -int32_t(up); };
    int32_t result;
    if (down) {
        result = toward;
    } else if (floor) {
        checked_up();
        result = n > 0 ? a - r : -int32_t(up);
    } else if (ceiling) {
        checked_up();
        result = n < 0 ? r - a : int32_t(up);
    } else if (r < d) {
        result = toward;
    } else if (r > d) {
        checked_up();
        result = away();
    } else if (even) {
        checked_up();
        result = (a / s) % 2 == 0 ? toward : away();
    } else if (half_down) {
        result = toward;
    } else if (half_ceiling) {
        checked_up();
        result = n < 0 ? r - a : int32_t(up);
    } else {
        checked_up();
        result = away();
    }
    value->data2 = uint32_t(result);
    return value;
}

}  // namespace qor

namespace qor::integer {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make_value, Cell* out) {
    int32_t v = 0;
    switch (number_scan::lex_integer(start, end, (seen & literal::SEEN_QUOTE) != 0, &v)) {
    case number_scan::INT_OK:
        *out = make(v);
        return 0;
    case number_scan::INT_AS_FLOAT:
        return float_::decode_literal(start, end, seen, make_value, out);
    default:
        return TYPE_INTEGER;
    }
}

uint32_t decode_hex_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool, Cell* out) {
    auto hex_value = [](uint32_t c) -> int32_t {
        if (c >= '0' && c <= '9') return int32_t(c - '0');
        c |= 0x20;
        if (c >= 'a' && c <= 'f') return int32_t(c - 'a' + 10);
        return -1;
    };
    const uint8_t* h = end - 1;  // the "h"
    for (const uint8_t* p = start; p < h; p++)
        if (*p == '\'' || *p == '+' || *p == '-') return TYPE_INTEGER;
    if (h == start || hex_value(h[-1]) < 0) return TYPE_WORD;
    uint32_t digits = uint32_t(h - start);
    if (digits < 2 || digits > 8) return TYPE_INTEGER;
    uint32_t v = 0;
    for (const uint8_t* p = start; p < h; p++) {
        int32_t d = hex_value(*p);
        if (d < 0 || (*p >= 'a' && *p <= 'f')) return TYPE_INTEGER;
        v = v * 16 + uint32_t(d);
    }
    *out = make(int32_t(v));
    return 0;
}

}  // namespace qor::integer
