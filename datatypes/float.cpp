// float!: the text former, the arithmetic kernel and operand dispatch,
// near-equality, rounding, conversions, random and comparison.
#include "datatypes/float.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/unset.hpp"
#include "runtime/elementary_math.hpp"
#include "runtime/float_to_text.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"

namespace qor {

using namespace number_support;

namespace float_ {

namespace {

constexpr double k_epsilon = 2.220446049250313e-16;   // 2^-52
constexpr double k_half_epsilon = 1.1102230246251565e-16;   // 2^-53

bool g_pretty = true;
bool g_full = false;

inline uint64_t bits_of(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}
inline double from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, sizeof d);
    return d;
}
inline uint32_t bits_of(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Retypes a float-layout cell, keeping its flags, and stores the double.
inline void store(Cell* cell, double value, uint32_t type) {
    cell->header = (cell->header & ~TYPE_MASK) | type;
    set_cell_float(cell, value);
}

}  // namespace

void init() {
    TypeSpec spec = make_type_spec(TYPE_FLOAT);
    set_slot<SLOT_MAKE>(spec, float_make);
    set_slot<SLOT_RANDOM>(spec, float_random);
    set_slot<SLOT_TO>(spec, float_make);
    set_slot<SLOT_FORM>(spec, float_form);
    set_slot<SLOT_MOLD>(spec, float_mold);
    set_slot<SLOT_COMPARE>(spec, float_compare);
    set_slot<SLOT_ABSOLUTE>(spec, float_absolute);
    set_slot<SLOT_ADD>(spec, float_add);
    set_slot<SLOT_DIVIDE>(spec, float_divide);
    set_slot<SLOT_MULTIPLY>(spec, float_multiply);
    set_slot<SLOT_NEGATE>(spec, float_negate);
    set_slot<SLOT_POWER>(spec, float_power);
    set_slot<SLOT_REMAINDER>(spec, float_remainder);
    set_slot<SLOT_ROUND>(spec, float_round);
    set_slot<SLOT_SUBTRACT>(spec, float_subtract);
    set_slot<SLOT_EVEN_Q>(spec, float_even_q);
    set_slot<SLOT_ODD_Q>(spec, float_odd_q);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

void set_result(double value) { set(stack::arguments_base(), value); }

Cell* new_in_block(Cell* block, double value) {
    Cell cell = make(value);
    return block::append_copy(block, &cell);
}

Cell* push_new(double value) {
    Cell* cell = stack::push_slot();
    set(cell, value);
    return cell;
}

Cell* push_from_halves(uint32_t low, uint32_t high) {
    Cell* cell = stack::push_slot();
    *cell = Cell{TYPE_FLOAT, 0, low, high};
    return cell;
}

double number_value(const Cell* cell) {
    switch (type_of(cell)) {
    case TYPE_INTEGER: return double(integer::get_value(cell));
    case TYPE_FLOAT:   return cell_float(cell);
    default:           raise_bad_to_arg(TYPE_FLOAT, cell);
    }
}

void set_pretty(bool on) { g_pretty = on; }
bool pretty() { return g_pretty; }
void set_full(bool on) { g_full = on; }

// ---------------------------------------------------------------------------
// Text former

namespace {

struct Scan {
    bool    dot = false;
    int32_t e = -1;            // position of "e", -1 without exponent
    int32_t digits = -1;       // first significant digit of the exponent
    bool    negative = false;  // negative exponent
};

Scan scan_text(const char* text, int32_t length) {
    Scan s;
    for (int32_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '.') s.dot = true;
        if (c == 'e') {
            s.e = i;
            int32_t j = i + 1;
            // Skip the exponent's sign and leading zeros (everything up to
            // "0" in byte order).
            while (j < length && text[j] <= '0') {
                if (text[j] == '-') s.negative = true;
                ++j;
            }
            s.digits = j;
            break;
        }
    }
    return s;
}

int32_t first_text(char* out, double value, int32_t mode) {
    switch (mode) {
    case FORM_PERCENT: return int32_t(float_text::format_g_to(out, value, 13));
    case FORM_FLOAT:   return int32_t(float_text::format_g_to(out, value, 16));
    case FORM_SECONDS: return int32_t(float_text::form_to(out, value, 6, 0));
    default:           return int32_t(float_text::format_g_to(out, value, 7));
    }
}

int32_t short_text(char* out, double value, int32_t mode) {
    bool single_like = mode == FORM_SINGLE || mode == FORM_SECONDS || mode == FORM_COORDINATE;
    return int32_t(float_text::format_g_to(out, value, single_like ? 5 : 14));
}

// A 16-digit text ending in 01 or 99 is a binary fraction showing through.
bool noisy_tail(const char* text, int32_t length, const Scan& s) {
    const char* two = nullptr;
    if (s.e < 0) {
        if (length <= 16) return false;
        int32_t first = text[0] == '-' ? 1 : 0;
        if (text[first] == '0' && length <= 17) return false;
        two = text + length - 2;
    } else {
        if (s.e <= 16) return false;
        two = text + s.e - 2;
    }
    return (two[0] == '0' && two[1] == '1') || (two[0] == '9' && two[1] == '9');
}

}  // namespace

const char* form_chars(double value, int32_t mode) {
    static char buffer[float_text::text_capacity + 8];
    uint64_t bits = bits_of(value);
    if ((bits & 0x7FF0000000000000ull) == 0x7FF0000000000000ull) {
        if (bits & 0x000FFFFFFFFFFFFFull) return "1.#NaN";
        return (bits >> 63) ? "-1.#INF" : "1.#INF";
    }
    if (g_pretty && std::fabs(value) < k_epsilon) {
        if (mode == FORM_PERCENT_ELEMENT || mode == FORM_PERCENT) return "0%";
        return mode == FORM_COORDINATE ? "0" : "0.0";
    }
    char* text = buffer;
    int32_t length = first_text(text, value, mode);
    Scan s = scan_text(text, length);
    if (g_pretty && noisy_tail(text, length, s)) {
        length = short_text(text, value, mode);
        s = scan_text(text, length);
    }
    if (s.e >= 0) {   // 1e+020 -> 1e20, 1e-005 -> 1e-5
        int32_t k = s.e + 1;
        if (s.negative) text[k++] = '-';
        int32_t n = length - s.digits;
        std::memmove(text + k, text + s.digits, size_t(n));
        length = k + n;
    }
    text[length] = 0;
    if (mode == FORM_PERCENT_ELEMENT || mode == FORM_PERCENT) {
        text[length++] = '%';
        text[length] = 0;
    } else if (mode != FORM_SECONDS && mode != FORM_COORDINATE && !s.dot) {
        int32_t at = s.e >= 0 ? s.e : length;
        std::memmove(text + at + 2, text + at, size_t(length - at + 1));
        text[at] = '.';
        text[at + 1] = '0';
        length += 2;
    }
    return text;
}

// ---------------------------------------------------------------------------
// Arithmetic

double math_op(double left, double right, int32_t op) {
    switch (op) {
    case MATH_ADD:      return left + right;
    case MATH_SUBTRACT: return left - right;
    case MATH_MULTIPLY: return left * right;
    case MATH_DIVIDE:   return left / right;
    case MATH_REMAINDER:
        if (std::isnan(right)) return right;
        if (std::isinf(right)) return std::isfinite(left) ? left : std::nan("");
        return std::fmod(left, right);
    default: {
        Cell t = datatype_cell(TYPE_FLOAT);
        if (op >= MATH_OR && op <= MATH_XOR) raise_error("script", "cannot-use", word_of_op(op), &t);
        raise_error("script", "cannot-use", ErrorArg{}, &t);
    }
    }
}

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    uint32_t lt = type_of(left), rt = type_of(right);
    switch (rt) {
    case TYPE_TUPLE:   // tuple! takes a number on its left by itself
    case TYPE_MONEY:   // so does money!
        run_math_slot(rt, op);
        return;
    case TYPE_VECTOR:
        if (!has_math_slot(rt, op)) raise_invalid_type(rt);
        if (auto f = number_hooks::get().vector_scalar_math) {   // number on the left
            f(op);
            return;
        }
        swap_operands();
        run_math_slot(rt, op);
        return;
    case TYPE_PAIR:
    case TYPE_POINT2D:
    case TYPE_POINT3D:
        if (lt == TYPE_TIME) raise_invalid_type(rt);
        if (op == MATH_SUBTRACT || op == MATH_DIVIDE) raise_not_related(word_of_op(op), rt);
        if (!has_math_slot(rt, op)) raise_invalid_type(rt);
        {
            double old = as_double(left);
            *left = *right;
            *right = make(old, lt == TYPE_INTEGER ? uint32_t(TYPE_FLOAT) : lt);
        }
        run_math_slot(rt, op);
        return;
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME:
        break;
    case TYPE_CHAR:
        if (lt == TYPE_TIME || lt == TYPE_PERCENT) raise_invalid_type(rt);
        break;
    default:
        raise_invalid_type(rt);
    }
    double result = math_op(as_double(left), as_double(right), op);
    uint32_t type;
    if ((lt == TYPE_TIME) != (rt == TYPE_TIME))
        type = TYPE_TIME;
    else if (lt == TYPE_PERCENT && rt != TYPE_PERCENT)
        type = TYPE_PERCENT;
    else
        type = lt == TYPE_INTEGER || lt == TYPE_CHAR ? uint32_t(TYPE_FLOAT) : lt;
    store(left, result, type);
}

// ---------------------------------------------------------------------------
// Near-equality and bit tests

bool near_equal_q(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    if (std::fabs(a - b) < k_epsilon) return true;
    // Ordered keys: adjacent doubles have adjacent keys across zero too.
    auto key = [](double d) {
        uint64_t bits = bits_of(d);
        return (bits >> 63) ? ~bits + 1 : bits | 0x8000000000000000ull;
    };
    uint64_t ka = key(a), kb = key(b);
    return (ka > kb ? ka - kb : kb - ka) <= 10;
}

bool near_equal32_q(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return false;
    if (a == b) return true;
    uint32_t ba = bits_of(a), bb = bits_of(b);
    uint32_t ma = ba & 0x7FFFFFFFu, mb = bb & 0x7FFFFFFFu;
    if (ma >= 0x7F7FFFFFu || mb >= 0x7F7FFFFFu) {
        if ((ba ^ bb) & 0x80000000u) return false;
        return (ma > mb ? ma - mb : mb - ma) < 0x100000u;
    }
    if (ma == 0 && mb == 0) return true;
    auto key = [](uint32_t bits) {
        return int64_t(int32_t(bits & 0x80000000u ? 0x80000000u - bits : bits));
    };
    int64_t d = key(ba) - key(bb);
    return (d < 0 ? -d : d) <= 10;
}

bool nan_or_inf_bits_q(double value) {
    uint64_t bits = bits_of(value);
    return (bits & 0x7FF0000000000000ull) == 0x7FF0000000000000ull &&
           (bits & 0x000FFFFFFFFFFFFFull) != 0;
}

bool special_q(double value) {
    return (bits_of(value) & 0x7FF0000000000000ull) == 0x7FF0000000000000ull;
}

bool nan32_q(float value) {
    uint32_t bits = bits_of(value);
    return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0;
}

int32_t to_int_round(double value) {
    double d = value + from_bits(0x3FDFFFFFFFFFFFFFull);   // 0.49999999999999994
    if (!(d < 2147483648.0 && d > -2147483649.0)) return INT32_MIN;
    return int32_t(d);
}

double abs_from_halves(double value) { return from_bits(bits_of(value) & 0x7FFFFFFFFFFFFFFFull); }

double random_scaled(double x, bool secure) {
    if (!secure) return x * (double(random::next()) / 2147483647.0);
    int32_t r1, r2;
    if (!random::secure_next(r1) || !random::secure_next(r2)) raise_error("internal", "feature-na");
    return x * (double(r2) + double(r1) / 2147483647.0) / 2147483648.0;
}

double from_binary(const Cell* binary) {
    SeriesBuffer* s = buffer_of(cell_node(binary));
    int32_t index = int32_t(binary->data1);
    int32_t available = int32_t(s->byte_length()) - index;
    uint64_t bits = 0;
    if (index >= 0 && available > 0) {
        const uint8_t* p = s->head + index;
        for (int32_t i = 0; i < available && i < 8; ++i) bits = bits << 8 | p[i];
    }
    return from_bits(bits);
}

// ---------------------------------------------------------------------------
// Comparison

int32_t compare_number(double a, uint32_t type1, Cell* value2, int32_t op) {
    uint32_t type2 = type_of(value2);
    if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) && type1 != type2) return 1;
    double b;
    switch (type2) {
    case TYPE_MONEY: {
        auto from_float = number_hooks::get().money_from_float;
        CompareFn compare = registry::action<SLOT_COMPARE>(TYPE_MONEY);
        if (!from_float || !compare) return COMPARE_INCOMPARABLE;
        // A float that no amount can hold (too small or too large) is
        // ordered by money's own comparison, the other way round.
        if ((a != 0.0 && std::fabs(a) < 1e-05) || std::fabs(a) >= 1e17) {
            Cell left = *value2, right = make(a);
            return -compare(&left, &right, op);
        }
        Cell money{};
        from_float(a, false, &money);
        return compare(&money, value2, op);
    }
    case TYPE_INTEGER: b = double(integer::get_value(value2)); break;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: b = cell_float(value2); break;
    default: return COMPARE_INCOMPARABLE;
    }
    switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
        return near_equal_q(a, b) ? 0 : 1;
    case COMP_STRICT_EQUAL:
        return a == b ? 0 : 1;
    case COMP_SAME:
        return bits_of(a) == bits_of(b) ? 0 : 1;
    default:
        if (std::isnan(a) || std::isnan(b)) {
            if (op == COMP_LESSER || op == COMP_LESSER_EQUAL) return 1;
            if (op == COMP_GREATER || op == COMP_GREATER_EQUAL) return -1;
            return 0;
        }
        return (a > b) - (a < b);
    }
}

}  // namespace float_

// ---------------------------------------------------------------------------
// make and to

namespace {

[[noreturn]] void bad_to(uint32_t target, const Cell* spec) { raise_bad_to_arg(target, spec); }

double from_text(uint32_t target, Cell* spec) {
    if (target == TYPE_PERCENT) {
        Cell original = *spec;
        const Cell* loaded = number_support::load_text(spec);
        switch (type_of(loaded)) {
        case TYPE_FLOAT: case TYPE_PERCENT: return cell_float(loaded);
        case TYPE_INTEGER: return double(integer::get_value(loaded));
        default: bad_to(target, &original);
        }
    }
    int32_t status = 0;
    double value = number_scan::string_to_float(spec, &status);
    if (status != 0) bad_to(target, spec);
    return value;
}

// [mantissa exponent]: mantissa * 10 ** exponent, the exponent truncated.
double from_block(uint32_t target, Cell* spec) {
    if (block::length(spec) != 2) bad_to(target, spec);
    Cell mantissa = *block::item(spec, 0);
    Cell exponent = *block::item(spec, 1);
    for (const Cell* c : {&mantissa, &exponent}) {
        uint32_t t = type_of(c);
        if (t != TYPE_INTEGER && t != TYPE_FLOAT) bad_to(TYPE_FLOAT, c);
    }
    double e = std::trunc(as_double(&exponent));
    return as_double(&mantissa) * math::pow(10.0, e);
}

}  // namespace

Cell* float_make(Cell* prototype, Cell* spec) {
    uint32_t target = type_of(prototype) == TYPE_DATATYPE ? prototype->data1 : uint32_t(type_of(prototype));
    double value = 0.0;
    uint32_t type = type_of(spec);
    switch (type) {
    case TYPE_CHAR:
    case TYPE_INTEGER:
        value = double(integer::get_value(spec));
        break;
    case TYPE_MONEY: {
        auto to_float = number_hooks::get().money_to_float;
        if (!to_float) bad_to(target, spec);
        value = to_float(spec);
        break;
    }
    case TYPE_TIME:
    case TYPE_FLOAT:
    case TYPE_PERCENT:
        value = cell_float(spec);
        break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        value = from_text(target, spec);
        break;
    case TYPE_BINARY:
        value = float_::from_binary(spec);
        break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
        value = from_block(target, spec);
        break;
    default:
        bad_to(target, spec);
    }
    Cell* result = stack::arguments_base();
    if (type == TYPE_FLOAT || type == TYPE_PERCENT) {
        // The spec itself, retyped.
        *result = *spec;
        result->header = (result->header & ~TYPE_MASK) | target;
    } else {
        float_::set(result, value, target);
    }
    return result;
}

// ---------------------------------------------------------------------------
// random, text, comparison

Cell* float_random(Cell* value, bool seed, bool secure, bool only) {
    if (seed) {
        random::seed(int32_t(value->data2 ^ value->data3));
        unset::set(value);
        return value;
    }
    set_cell_float(value, float_::random_scaled(cell_float(value), secure));
    return value;
}

int32_t float_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    const char* text = float_::form_chars(cell_float(value), float_::FORM_FLOAT);
    uint32_t length = uint32_t(std::strlen(text));
    append_text(out, text, length);
    return limit - int32_t(length);
}

int32_t float_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent) {
    char text[float_text::text_capacity];
    uint32_t length = uint32_t(float_text::form_to(text, cell_float(value), 0, 1));
    append_text(out, text, length);
    return limit - int32_t(length);
}

int32_t float_compare(Cell* value1, Cell* value2, int32_t op) {
    return float_::compare_number(as_double(value1), type_of(value1), value2, op);
}

// ---------------------------------------------------------------------------
// Arithmetic actions

void float_add()       { float_::do_math(MATH_ADD); }
void float_subtract()  { float_::do_math(MATH_SUBTRACT); }
void float_multiply()  { float_::do_math(MATH_MULTIPLY); }
void float_divide()    { float_::do_math(MATH_DIVIDE); }
void float_remainder() { float_::do_math(MATH_REMAINDER); }

void float_absolute() {
    Cell* value = stack::arguments_base();
    set_cell_float(value, float_::abs_from_halves(cell_float(value)));
}

Cell* float_negate(Cell* value) {
    set_cell_float(value, 0.0 - cell_float(value));
    return value;
}

void float_power() {
    Cell* base = stack::arguments_base();
    Cell* exponent = base + 1;
    uint32_t type = type_of(exponent);
    if (type != TYPE_INTEGER && type != TYPE_FLOAT) raise_expect_exponent(exponent);
    if (type == TYPE_INTEGER) float_::init_cell(exponent, double(integer::get_value(exponent)));
    set_cell_float(base, math::pow(cell_float(base), cell_float(exponent)));
}

namespace {
// Truncated toward zero to 32 bits; out of range (and NaN) gives the most
// negative integer.
int32_t truncated(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return int32_t(d);
}
}  // namespace

int32_t float_even_q(Cell* value) { return (truncated(cell_float(value)) & 1) == 0; }
int32_t float_odd_q(Cell* value) { return (truncated(cell_float(value)) & 1) != 0; }

// ---------------------------------------------------------------------------
// round

Cell* float_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    uint32_t scale_type = scale ? type_of(scale) : 0;
    if (scale_type == TYPE_MONEY) raise_not_related("round", TYPE_MONEY);
    bool percent = type_of(value) == TYPE_PERCENT;
    double v = cell_float(value);
    double s = percent ? 0.01 : 1.0;
    if (scale) {
        switch (scale_type) {
        case TYPE_INTEGER: case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: break;
        default: raise_error("script", "invalid-arg", scale);
        }
        s = std::fabs(as_double(scale));
        if (percent) s /= 100.0;
        // A zero scale leaves the value as it is, as for integers.
        if (s == 0.0) return value;
    }
    if (s < std::fabs(v) * float_::k_half_epsilon) return value;

    // Below the smallest normal double 1 / s overflows; divide directly.
    bool large = s >= 1.0;
    bool tiny = s < DBL_MIN;
    double x = large || tiny ? v / s : v * (1.0 / s);
    double a = std::fabs(x);
    double fl = std::floor(a);
    double mid = fl + 0.5;
    double toward = x < 0 ? 0.0 - fl : fl;
    double away = x < 0 ? 0.0 - std::ceil(a) : std::ceil(a);
    double r;
    if (down)              r = toward;
    else if (floor)        r = std::floor(x);
    else if (ceiling)      r = std::ceil(x);
    else if (a > mid)      r = away;
    else if (a < mid)      r = toward;
    else if (even)         r = std::fmod(a, 2.0) < 1.0 ? toward : away;
    else if (half_down)    r = toward;
    else if (half_ceiling) r = std::ceil(x);
    else                   r = away;

    double result;
    if (large) {
        result = r * s;
        if (std::fabs(result) == DBL_MAX) raise_math("overflow");
    } else if (tiny) {
        result = r * s;
    } else {
        result = r / (1.0 / s);
    }
    if (!scale) {
        set_cell_float(value, result);
    } else if (scale_type == TYPE_INTEGER) {
        // The integer must hold the result; past its range it overflows.
        if (!(result > -2147483649.0 && result < 2147483648.0)) raise_math("overflow");
        integer::init_cell(value, int32_t(result));
        value->data3 = 0;
    } else {
        float_::store(value, result, scale_type);
    }
    return value;
}

}  // namespace qor

namespace qor::float_ {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool, Cell* out) {
    double v;
    if (!number_scan::read_float(start, end, 0, &v)) return TYPE_FLOAT;
    *out = make(v);
    return 0;
}

uint32_t decode_special_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool, Cell* out) {
    double v;
    if (!number_scan::read_special_float(start, end, &v)) return TYPE_FLOAT;
    *out = make(v);
    return 0;
}

}  // namespace qor::float_
