// The math natives: trigonometry, logarithms, exponent and square root over
// doubles; sign and zero tests; max and min; bit shifts and hexadecimal
// issues of integers.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_support.hpp"
#include "runtime/arith.hpp"
#include "runtime/elementary_math.hpp"

namespace qor::natives {

using support::arg;
using support::check_arg;
using support::used;

namespace {

constexpr double PI = 3.141592653589793;

Cell angle_types() { return support::typeset_of({TYPE_FLOAT, TYPE_INTEGER}); }
Cell log_types() { return support::typeset_of({TYPE_FLOAT, TYPE_INTEGER, TYPE_PERCENT}); }
Cell sign_types() { return support::typeset_union(support::number_types(), support::typeset_of({TYPE_MONEY, TYPE_TIME})); }

// The argument at `index` as a double; an integer! becomes a float! in its
// cell first (percent! keeps its payload).
double float_arg(uint32_t index, int32_t position) {
    Cell* a = arg(index);
    switch (type_of(a)) {
    case TYPE_INTEGER: float_::init_cell(a, double(integer::get_value(a))); return cell_float(a);
    case TYPE_FLOAT:
    case TYPE_PERCENT: return cell_float(a);
    default: support::raise_expect_arg(int32_t(index), position);
    }
}

void float_result(double x) { stack::set_last_keep(float_::make(x)); }
void logic_result(bool b) { stack::set_last_keep(Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}); }

// Radians of the angle argument: converted from degrees (range-reduced for
// the function) unless /radians.
double angle_arg(bool check, const int32_t* refinements, math::TrigMode mode) {
    check_arg(check, 0, angle_types(), 0);
    double x = float_arg(0, 0);
    return used(refinements, 0) ? x : math::degrees_to_radians(x, mode);
}

// sine and cosine flush the residue of an angle that should give zero.
double flush_tiny(double x) { return std::fabs(x) < DBL_EPSILON ? 0.0 : x; }

double to_degrees(double x, const int32_t* refinements, uint32_t radians) {
    return used(refinements, radians) ? x : x * 180.0 / PI;
}

using Unary = double (*)(double);
int32_t float_function(bool check, Unary fn) {
    check_arg(check, 0, log_types(), 0);
    float_result(fn(float_arg(0, 0)));
    return 0;
}

// ---- Sign tests -----------------------------------------------------------------------------

// A money! amount is packed decimal digits after the currency byte; its sign
// is a header flag.
bool money_zero(const Cell* m) { return (m->data1 & 0xFFFFFF00u) == 0 && m->data2 == 0 && m->data3 == 0; }

// -1, 0 or 1 for the sign-test types; others raise script/expect-arg.
int32_t sign_of_arg(bool check) {
    Cell types = sign_types();
    check_arg(check, 0, types, 0);
    const Cell* v = arg(0);
    switch (type_of(v)) {
    case TYPE_INTEGER: return integer::sign(integer::get_value(v));
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: {
        double x = cell_float(v);
        return x > 0.0 ? 1 : x < 0.0 ? -1 : 0;
    }
    case TYPE_MONEY:
        if (money_zero(v)) return 0;
        return (v->header & FLAG_MONEY_SIGN) ? -1 : 1;
    default: support::raise_expect_arg(0, 0);
    }
}

// ---- Compound values, component by component ------------------------------------------------

float point_component(const Cell* p, uint32_t i) {
    float f;
    std::memcpy(&f, reinterpret_cast<const uint32_t*>(&p->data1) + i, sizeof f);
    return f;
}
void set_point_component(Cell* p, uint32_t i, float f) {
    std::memcpy(reinterpret_cast<uint32_t*>(&p->data1) + i, &f, sizeof f);
}
uint32_t tuple_length(const Cell* t) { return (t->header >> TUPLE_SIZE_SHIFT) & 15u; }
uint8_t* tuple_bytes(Cell* t) { return reinterpret_cast<uint8_t*>(&t->data1); }

bool is_number(uint32_t t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }
double number_of(const Cell* v) { return type_of(v) == TYPE_INTEGER ? double(integer::get_value(v)) : cell_float(v); }

[[noreturn]] void raise_incomparable(const Cell* a, const Cell* b) {
    Cell x = *a, y = *b;
    raise_error("script", "invalid-compare", &x, &y);
}

template <class T>
T pick(T x, T y, bool greater) { return greater ? (y > x ? y : x) : (y < x ? y : x); }

// The component-wise max or min of a pair!, point or tuple with a value of
// its family or a number (taken for every component).  Answers false when
// neither value is compound.
bool compound_extreme(bool greater) {
    Cell a = *arg(0), b = *arg(1);
    uint32_t ta = type_of(&a), tb = type_of(&b);
    auto compound = [](uint32_t t) {
        return t == TYPE_PAIR || t == TYPE_POINT2D || t == TYPE_POINT3D || t == TYPE_TUPLE;
    };
    if (!compound(ta) && !compound(tb)) return false;
    if (!compound(ta)) std::swap(a, b), std::swap(ta, tb);   // the compound one leads; max and min commute

    Cell out = a;
    if (ta == TYPE_TUPLE) {
        if (tb == TYPE_TUPLE) {
            uint32_t na = tuple_length(&a), nb = tuple_length(&b), n = na > nb ? na : nb;
            uint8_t* pa = tuple_bytes(&a);
            uint8_t* pb = tuple_bytes(&b);
            uint8_t* po = tuple_bytes(&out);
            for (uint32_t i = 0; i < 12; i++) {
                uint8_t x = i < na ? pa[i] : 0, y = i < nb ? pb[i] : 0;
                po[i] = i < n ? pick(x, y, greater) : 0;
            }
            out.header = (a.header & ~(15u << TUPLE_SIZE_SHIFT)) | (n << TUPLE_SIZE_SHIFT);
        } else if (tb == TYPE_INTEGER || tb == TYPE_FLOAT) {
            double d = number_of(&b);
            int32_t y = d <= 0 ? 0 : d >= 255 ? 255 : int32_t(d);
            uint8_t* po = tuple_bytes(&out);
            for (uint32_t i = 0; i < tuple_length(&a); i++) po[i] = uint8_t(pick(int32_t(po[i]), y, greater));
        } else {
            raise_incomparable(arg(0), arg(1));
        }
    } else if (ta == TYPE_PAIR && (tb == TYPE_PAIR || tb == TYPE_INTEGER)) {
        int32_t bx = tb == TYPE_PAIR ? int32_t(b.data2) : integer::get_value(&b);
        int32_t by = tb == TYPE_PAIR ? int32_t(b.data3) : integer::get_value(&b);
        out.data2 = uint32_t(pick(int32_t(a.data2), bx, greater));
        out.data3 = uint32_t(pick(int32_t(a.data3), by, greater));
    } else {
        // Points, and a pair with a float or a point: float components, as
        // pair! arithmetic falls back to point2D!.
        auto dims = [](uint32_t t) -> uint32_t { return t == TYPE_POINT3D ? 3 : t == TYPE_POINT2D || t == TYPE_PAIR ? 2 : 0; };
        uint32_t da = dims(ta), db = dims(tb);
        if (!is_number(tb) && da != db) raise_incomparable(arg(0), arg(1));
        auto component = [](const Cell* v, uint32_t i) -> float {
            switch (type_of(v)) {
            case TYPE_PAIR: return float(int32_t(i == 0 ? v->data2 : v->data3));
            case TYPE_POINT2D:
            case TYPE_POINT3D: return point_component(v, i);
            default: return float(number_of(v));
            }
        };
        out = Cell{da == 3 ? uint32_t(TYPE_POINT3D) : uint32_t(TYPE_POINT2D), 0, 0, 0};
        for (uint32_t i = 0; i < da; i++) set_point_component(&out, i, pick(component(&a, i), component(&b, i), greater));
    }
    stack::set_last_keep(&out);
    return true;
}

int32_t extreme(bool check, bool greater) {
    Cell types = support::typeset_union(support::scalar_types(), support::series_types());
    check_arg(check, 0, types, 0);
    check_arg(check, 1, types, 1);
    if (compound_extreme(greater)) return 0;
    // The second value wins only when it is strictly greater (smaller).
    if (compare(arg(0), arg(1), greater ? COMP_LESSER : COMP_GREATER)) stack::set_last(arg(1));
    stack::keep();
    return 0;
}

}  // namespace

// ---- Trigonometry ------------------------------------------------------------------------------

int32_t sine_star(bool check, const int32_t* refinements) {
    float_result(flush_tiny(math::sin(angle_arg(check, refinements, math::TRIG_SINE))));
    return 0;
}

int32_t cosine_star(bool check, const int32_t* refinements) {
    float_result(flush_tiny(math::cos(angle_arg(check, refinements, math::TRIG_COSINE))));
    return 0;
}

int32_t tangent_star(bool check, const int32_t* refinements) {
    double x = angle_arg(check, refinements, math::TRIG_TANGENT);
    if (x == PI / 2) float_result(HUGE_VAL);
    else if (x == -PI / 2) float_result(-HUGE_VAL);
    else float_result(math::tan(x));
    return 0;
}

int32_t arcsine_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, angle_types(), 0);
    float_result(to_degrees(math::asin(float_arg(0, 0)), refinements, 0));
    return 0;
}

int32_t arccosine_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, angle_types(), 0);
    float_result(to_degrees(math::acos(float_arg(0, 0)), refinements, 0));
    return 0;
}

int32_t arctangent_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, angle_types(), 0);
    float_result(to_degrees(math::atan(float_arg(0, 0)), refinements, 0));
    return 0;
}

int32_t arctangent2_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, angle_types(), 0);
    check_arg(check, 1, angle_types(), 1);
    double y = float_arg(0, 0);
    double x = float_arg(1, 1);
    float_result(to_degrees(math::atan2(y, x), refinements, 0));
    return 0;
}

// ---- Logarithms, exponent, root -------------------------------------------------------------

// Mended: the base-2 logarithm itself, exact at powers of two; log(x)/ln 2
// gave 29.000000000000004 for 2^29 and missed a fifth of the powers.
int32_t log_2_star(bool check, const int32_t*) {
    return float_function(check, [](double x) { return math::log2(x); });
}
int32_t log_10_star(bool check, const int32_t*) {
    return float_function(check, [](double x) { return math::log10(x); });
}
int32_t log_e_star(bool check, const int32_t*) {
    return float_function(check, [](double x) { return math::log(x); });
}
int32_t exp_star(bool check, const int32_t*) {
    return float_function(check, [](double x) { return math::exp(x); });
}
int32_t square_root_star(bool check, const int32_t*) {
    return float_function(check, [](double x) { return std::sqrt(x); });
}

// ---- Sign and zero tests -------------------------------------------------------------------------

int32_t negative_q_star(bool check, const int32_t*) {
    logic_result(sign_of_arg(check) < 0);
    return 0;
}

int32_t positive_q_star(bool check, const int32_t*) {
    logic_result(sign_of_arg(check) > 0);
    return 0;
}

int32_t sign_q_star(bool check, const int32_t*) {
    stack::set_last_keep(integer::make(sign_of_arg(check)));
    return 0;
}

int32_t zero_q_star(bool check, const int32_t*) {
    Cell types = support::typeset_union(support::typeset_union(support::number_types(), support::any_point_types()),
                                       support::typeset_of({TYPE_MONEY, TYPE_PAIR, TYPE_TIME, TYPE_CHAR, TYPE_TUPLE}));
    check_arg(check, 0, types, 0);
    Cell v = *arg(0);
    bool zero = false;
    switch (type_of(&v)) {
    case TYPE_INTEGER: zero = integer::get_value(&v) == 0; break;
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: zero = cell_float(&v) == 0.0; break;
    case TYPE_CHAR: zero = v.data2 == 0; break;
    case TYPE_MONEY: zero = money_zero(&v); break;
    case TYPE_PAIR: zero = v.data2 == 0 && v.data3 == 0; break;
    case TYPE_POINT2D: zero = point_component(&v, 0) == 0.0f && point_component(&v, 1) == 0.0f; break;
    case TYPE_POINT3D:
        zero = point_component(&v, 0) == 0.0f && point_component(&v, 1) == 0.0f && point_component(&v, 2) == 0.0f;
        break;
    case TYPE_TUPLE: {
        zero = true;
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&v.data1);
        for (uint32_t i = 0; i < tuple_length(&v); i++) zero = zero && p[i] == 0;
        break;
    }
    default: support::raise_expect_arg(0, 0);
    }
    logic_result(zero);
    return 0;
}

int32_t nan_q_star(bool check, const int32_t*) {
    check_arg(check, 0, support::number_types(), 0);
    const Cell* v = arg(0);
    uint32_t t = type_of(v);
    logic_result((t == TYPE_FLOAT || t == TYPE_PERCENT) && std::isnan(cell_float(v)));
    return 0;
}

// ---- max and min -----------------------------------------------------------------------------------

int32_t max_star(bool check, const int32_t*) { return extreme(check, true); }
int32_t min_star(bool check, const int32_t*) { return extreme(check, false); }

// ---- Integers -------------------------------------------------------------------------------------

int32_t shift_star(bool check, const int32_t* refinements) {
    Cell types = support::typeset_of({TYPE_INTEGER});
    check_arg(check, 0, types, 0);
    check_arg(check, 1, types, 1);
    if (type_of(arg(0)) != TYPE_INTEGER) support::raise_expect_arg(0, 0);
    if (type_of(arg(1)) != TYPE_INTEGER) support::raise_expect_arg(1, 1);
    int32_t data = integer::get_value(arg(0));
    int32_t bits = integer::get_value(arg(1));
    if (bits < 0) bits = 0;
    int32_t r;
    if (used(refinements, 0)) r = bits > 31 ? 0 : int32_t(uint32_t(data) << bits);
    else if (used(refinements, 1)) r = bits > 31 ? 0 : int32_t(uint32_t(data) >> bits);
    else r = bits > 31 ? (data < 0 ? -1 : 0) : data >> bits;
    stack::set_last_keep(integer::make(r));
    return 0;
}

int32_t to_hex_star(bool check, const int32_t* refinements) {
    Cell types = support::typeset_of({TYPE_INTEGER});
    check_arg(check, 0, types, 0);
    if (type_of(arg(0)) != TYPE_INTEGER) support::raise_expect_arg(0, 0);
    int32_t digits = 8;
    if (used(refinements, 0)) {
        int32_t at = refinements[0];
        check_arg(check, at, types, 2);
        if (type_of(arg(uint32_t(at))) != TYPE_INTEGER) support::raise_expect_arg(at, 2);
        int32_t n = integer::get_value(arg(uint32_t(at)));
        if (n <= 0) {
            Cell size = *arg(uint32_t(at));
            raise_error("script", "invalid-arg", &size);
        }
        if (n < 8) digits = n;
    }
    uint32_t value = uint32_t(integer::get_value(arg(0)));
    char text[9];
    for (int i = 7; i >= 0; i--, value >>= 4) text[i] = "0123456789ABCDEF"[value & 15];
    text[8] = 0;
    Cell issue_value{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&issue_value);
    issue::init_cell_from_c_string(&issue_value, text + 8 - digits);
    stack::set_last_keep(&issue_value);
    return 0;
}

}  // namespace qor::natives
