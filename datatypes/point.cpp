// point2D! and point3D!: one set of routines over the number of
// coordinates.  point3D! takes no pair! or point2D! operand in arithmetic
// and no pair! conversion in compare.
#include "datatypes/point.hpp"

#include <cmath>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/word.hpp"
#include "datatypes/murmur3.hpp"
#include "runtime/random.hpp"
#include "datatypes/number_scan.hpp"

namespace qor {

using namespace number_support;
using point::coordinate;

namespace {

template <int N> constexpr uint32_t type_id() { return N == 2 ? TYPE_POINT2D : TYPE_POINT3D; }

template <int N> Cell make(const double* c) {
    return N == 2 ? point::make2d(c[0], c[1]) : point::make3d(c[0], c[1], c[2]);
}

// 1..N for an integer or the words x, y (z); -1 otherwise.  Another word on
// a point of this type is script/cannot-use.
template <int N> int32_t field_index(const Cell* element, const Cell* value) {
    uint32_t t = type_of(element);
    if (t == TYPE_INTEGER) {
        int32_t n = integer::get_value(element);
        return n >= 1 && n <= N ? n : -1;
    }
    if (!is_any_word(t)) return -1;
    if (word::spelled(element, "x")) return 1;
    if (word::spelled(element, "y")) return 2;
    if (N == 3 && word::spelled(element, "z")) return 3;
    if (value && type_of(value) == type_id<N>()) raise_error("script", "cannot-use", element, value);
    return -1;
}

void set_coordinate(Cell* p, int i, double v) {
    uint32_t b = point::bits_of(float(v));
    if (i == 0) p->data1 = b;
    else if (i == 1) p->data2 = b;
    else p->data3 = b;
}

template <int N> void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    double r[3] = {0, 0, 0};
    uint32_t rt = type_of(right);
    if (rt == type_id<N>() || (N == 2 && rt == TYPE_PAIR)) {
        for (int i = 0; i < N; ++i)
            r[i] = rt == TYPE_PAIR ? double(i == 0 ? pair::x_of(right) : pair::y_of(right))
                                   : double(coordinate(right, i));
    } else if (rt == TYPE_INTEGER) {
        r[0] = r[1] = r[2] = double(integer::get_value(right));
    } else if (rt == TYPE_FLOAT || rt == TYPE_PERCENT) {
        r[0] = r[1] = r[2] = double(float(cell_float(right)));
    } else {
        raise_invalid_type(rt);
    }
    if (op < MATH_ADD || op > MATH_REMAINDER) raise_invalid_type(rt);
    double c[3];
    for (int i = 0; i < N; ++i) c[i] = float_::math_op(double(coordinate(left, i)), r[i], op);
    *left = make<N>(c);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and text

template <int N> Cell* point_make(Cell*, Cell* spec) {
    double c[3] = {0, 0, 0};
    uint32_t st = type_of(spec);
    switch (st) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
        c[0] = c[1] = c[2] = as_double(spec);
        break;
    case TYPE_PAIR:
        c[0] = pair::x_of(spec);
        c[1] = pair::y_of(spec);
        break;
    case TYPE_BLOCK: {
        if (block::length(spec) < uint32_t(N)) raise_error("syntax", "malconstruct", spec);
        for (uint32_t i = 0; i < uint32_t(N); ++i) {
            const Cell* item = block::item(spec, i);
            if (type_of(item) != TYPE_INTEGER && type_of(item) != TYPE_FLOAT)
                raise_error("syntax", "malconstruct", spec);
            c[i] = as_double(item);
        }
        break;
    }
    case TYPE_STRING: {
        Cell original = *spec;
        const Cell* loaded = load_text(spec);
        if (type_of(loaded) != type_id<N>()) raise_bad_to_arg(type_id<N>(), &original);
        for (int i = 0; i < N; ++i) c[i] = coordinate(loaded, i);
        break;
    }
    default:
        if (st == TYPE_POINT2D || st == type_id<N>()) {
            for (int i = 0; i < 2; ++i) c[i] = coordinate(spec, i);
            if (st == TYPE_POINT3D) c[2] = coordinate(spec, 2);
            break;
        }
        raise_bad_to_arg(type_id<N>(), spec);
    }
    Cell* result = stack::arguments_base();
    *result = st == type_id<N>() ? *spec : make<N>(c);
    return result;
}

template <int N> Cell* point_random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        uint32_t words[3] = {value->data1, value->data2, value->data3};
        random::seed(int32_t(hashtable::hash_bytes(words, uint32_t(4 * N))));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    double c[3];
    for (int i = 0; i < N; ++i) {
        c[i] = coordinate(value, i);
        if (c[i] != 0.0) c[i] = float_::random_scaled(c[i], secure);
    }
    *value = make<N>(c);
    return value;
}

template <int N> int32_t point_form(Cell* value, Cell* out, Cell*, int32_t limit) {
    std::string text = "(";
    for (int i = 0; i < N; ++i) {
        if (i) text += ", ";
        text += float_::form_chars(double(coordinate(value, i)), float_::FORM_COORDINATE);
    }
    text += ')';
    append_text(out, text.c_str(), uint32_t(text.size()));
    return limit - int32_t(text.size());
}

template <int N>
int32_t point_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return point_form<N>(value, out, part, limit);
}

// ---------------------------------------------------------------------------
// Paths, pick, compare

template <int N>
Cell* point_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                      Cell* previous, int32_t, bool, uint32_t, bool, bool notify) {
    int32_t index = field_index<N>(element, nullptr);
    if (index < 0) raise_error("script", "invalid-path", path, element);
    if (!new_value || type_of(new_value) == TYPE_NONE)
        return float_::push_new(double(coordinate(value, index - 1)));
    uint32_t nt = type_of(new_value);
    if (nt != TYPE_INTEGER && nt != TYPE_FLOAT) raise_invalid_type(nt);
    Cell old = *value;
    set_coordinate(value, index - 1, as_double(new_value));
    auto tell = number_hooks::get().notify_path_change;
    if (notify && tell && parent) tell(parent, previous, &old, value, index);
    return new_value;
}

template <int N> Cell* point_pick(Cell* value, int32_t index) {
    Cell given = pick_index_arg(value, index);
    int32_t n = field_index<N>(&given, value);
    if (n < 0) raise_error("script", "out-of-range", &given);
    return float_::push_new(double(coordinate(value, n - 1)));
}

// x and the last coordinate change places.
template <int N> Cell* point_reverse(Cell* value, Cell*, Cell*) {
    double c[3];
    for (int i = 0; i < N; ++i) c[i] = coordinate(value, N - 1 - i);
    if (N == 3) c[1] = coordinate(value, 1);
    *value = make<N>(c);
    return value;
}

template <int N> int32_t point_compare(Cell* a, Cell* b, int32_t op) {
    Cell other = *b;
    if (N == 2 && type_of(b) == TYPE_PAIR) other = point::make2d(pair::x_of(b), pair::y_of(b));
    if (type_of(&other) != type_id<N>()) return COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
        for (int i = 0; i < N; ++i)
            if (!float_::near_equal32_q(coordinate(a, i), coordinate(&other, i))) return 1;
        return 0;
    case COMP_STRICT_EQUAL:
        for (int i = 0; i < N; ++i)
            if (!(coordinate(a, i) == coordinate(&other, i))) return 1;
        return 0;
    case COMP_SAME:
        return a->data1 == other.data1 && a->data2 == other.data2 &&
                       (N == 2 || a->data3 == other.data3)
                   ? 0
                   : 1;
    default:
        for (int i = 0; i < N; ++i) {
            float x = coordinate(a, i), y = coordinate(&other, i);
            if (i < N - 1 && float_::near_equal32_q(x, y)) continue;
            double d = double(x) - double(y);
            return d < 0 ? -1 : d > 0 ? 1 : 0;
        }
        return 0;
    }
}

// ---------------------------------------------------------------------------
// Arithmetic

template <int N> void point_add() { do_math<N>(MATH_ADD); }
template <int N> void point_subtract() { do_math<N>(MATH_SUBTRACT); }
template <int N> void point_multiply() { do_math<N>(MATH_MULTIPLY); }
template <int N> void point_divide() { do_math<N>(MATH_DIVIDE); }
template <int N> void point_remainder() { do_math<N>(MATH_REMAINDER); }

template <int N> Cell* point_negate(Cell* value) {
    double c[3];
    for (int i = 0; i < N; ++i) c[i] = 0.0 - double(coordinate(value, i));
    *value = make<N>(c);
    return value;
}

template <int N> void point_absolute() {
    Cell* value = stack::arguments_base();
    value->data1 &= 0x7FFFFFFFu;
    value->data2 &= 0x7FFFFFFFu;
    if (N == 3) value->data3 &= 0x7FFFFFFFu;
}

// Each coordinate goes through float!'s round; a point or pair scale gives
// each coordinate its own step (a point2D! scale leaves z of a point3D! as
// it is).
template <int N>
Cell* point_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    uint32_t st = scale ? type_of(scale) : 0;
    if (st == TYPE_MONEY) raise_not_related("round", TYPE_MONEY);
    Cell original = *value;
    Cell scale_copy = scale ? *scale : Cell{};
    double c[3];
    for (int i = 0; i < N; ++i) {
        c[i] = coordinate(&original, i);
        Cell step;
        Cell* step_ref = scale;
        if (st == TYPE_PAIR && N == 2) {
            step = integer::make(i == 0 ? pair::x_of(&scale_copy) : pair::y_of(&scale_copy));
            step_ref = &step;
        } else if (st == TYPE_POINT2D || st == TYPE_POINT3D) {
            if (st == TYPE_POINT2D && i == 2) continue;
            step = float_::make(double(coordinate(&scale_copy, i)));
            step_ref = &step;
        }
        Cell number = float_::make(c[i]);
        Cell* rounded =
            float_round(&number, step_ref, even, down, half_down, floor, ceiling, half_ceiling);
        c[i] = as_double(rounded);
    }
    *value = make<N>(c);
    return value;
}

namespace {

template <int N> void register_point() {
    TypeSpec spec = make_type_spec(type_id<N>());
    set_slot<SLOT_MAKE>(spec, point_make<N>);
    set_slot<SLOT_RANDOM>(spec, point_random<N>);
    set_slot<SLOT_TO>(spec, point_make<N>);
    set_slot<SLOT_FORM>(spec, point_form<N>);
    set_slot<SLOT_MOLD>(spec, point_mold<N>);
    set_slot<SLOT_EVAL_PATH>(spec, point_eval_path<N>);
    set_slot<SLOT_COMPARE>(spec, point_compare<N>);
    set_slot<SLOT_ABSOLUTE>(spec, point_absolute<N>);
    set_slot<SLOT_ADD>(spec, point_add<N>);
    set_slot<SLOT_DIVIDE>(spec, point_divide<N>);
    set_slot<SLOT_MULTIPLY>(spec, point_multiply<N>);
    set_slot<SLOT_NEGATE>(spec, point_negate<N>);
    set_slot<SLOT_REMAINDER>(spec, point_remainder<N>);
    set_slot<SLOT_ROUND>(spec, point_round<N>);
    set_slot<SLOT_SUBTRACT>(spec, point_subtract<N>);
    set_slot<SLOT_PICK>(spec, point_pick<N>);
    set_slot<SLOT_REVERSE>(spec, point_reverse<N>);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace

namespace point {

void init2d() { register_point<2>(); }
void init3d() { register_point<3>(); }

}  // namespace point
}  // namespace qor

namespace qor::point {

namespace {

// The parts between the parentheses: answers their count, or -(count read
// + 1) when malformed, or BAD_NUMBER when a part is not a number.
constexpr int32_t BAD_NUMBER = -100;
int32_t read_parts(const uint8_t* start, const uint8_t* end, double xyz[3]) {
    const uint8_t* p = start;
    int32_t n = 0;
    while (true) {
        while (p < end && (*p == ' ' || *p == '\t')) p++;
        const uint8_t* s = p;
        while (p < end && *p != ',' && *p != ' ' && *p != '\t') p++;
        if (n == 3 || s == p) return -(n + 1);
        if (p - s > int32_t(number_scan::MAX_FLOAT_TEXT)) return BAD_NUMBER;
        if (!number_scan::read_float(s, p, 0, &xyz[n]) && !number_scan::read_special_float(s, p, &xyz[n]))
            return BAD_NUMBER;
        n++;
        while (p < end && (*p == ' ' || *p == '\t')) p++;
        if (p == end) break;
        if (*p != ',') return -(n + 1);
        p++;
    }
    return n >= 2 ? n : -(n + 1);
}

}  // namespace

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool, Cell* out) {
    double xyz[3];
    int32_t n = read_parts(start, end, xyz);
    if (n == BAD_NUMBER) return TYPE_FLOAT;
    if (n < 0) return n <= -3 ? TYPE_POINT3D : TYPE_POINT2D;
    *out = n == 3 ? make3d(xyz[0], xyz[1], xyz[2]) : make2d(xyz[0], xyz[1]);
    return 0;
}

}  // namespace qor::point
