// vector!: construction, text forms, comparison, element-wise arithmetic,
// append/insert and change.  The rest of the series actions come from
// string!, which reads and writes elements through series::read_element.
#include "datatypes/vector.hpp"

#include <cmath>
#include <cstring>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/series_internal.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "runtime/text_to_float.hpp"

namespace qor::vector {

namespace {

using number_support::raise_invalid_type;
using number_support::raise_math;

inline bool float_elements(uint32_t type) { return type == TYPE_FLOAT || type == TYPE_PERCENT; }
inline bool number_type(uint32_t type) {
    return type == TYPE_INTEGER || type == TYPE_CHAR || type == TYPE_FLOAT || type == TYPE_PERCENT;
}
inline SeriesBuffer* buf(const Cell* v) { return buffer_of(cell_node(v)); }
inline uint32_t unit_of(const Cell* v) { return buf(v)->unit(); }
inline uint32_t total_of(const Cell* v) { return buf(v)->byte_length() / unit_of(v); }

uint32_t clamped_index(Cell* v) {
    uint32_t total = total_of(v);
    int32_t i = int32_t(v->data1);
    uint32_t c = i < 0 ? 0 : uint32_t(i) > total ? total : uint32_t(i);
    v->data1 = c;
    return c;
}

template <typename T> inline T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename T> inline void store(uint8_t* p, T v) { std::memcpy(p, &v, sizeof v); }

// Element access at any width.  Char elements read back unsigned.
inline int32_t get_int(const uint8_t* p, uint32_t unit, bool is_char) {
    switch (unit) {
    case 1: return is_char ? int32_t(p[0]) : int32_t(int8_t(p[0]));
    case 2: return is_char ? int32_t(load<uint16_t>(p)) : int32_t(load<int16_t>(p));
    default: return load<int32_t>(p);
    }
}
inline void put_int(uint8_t* p, uint32_t unit, int32_t n) {
    switch (unit) {
    case 1: p[0] = uint8_t(n); break;
    case 2: store<uint16_t>(p, uint16_t(n)); break;
    default: store<int32_t>(p, n); break;
    }
}
inline double get_float(const uint8_t* p, uint32_t unit) {
    return unit == 4 ? double(load<float>(p)) : load<double>(p);
}
inline void put_float(uint8_t* p, uint32_t unit, double d) {
    if (unit == 4) store<float>(p, float(d));
    else store<double>(p, d);
}

// A double truncated toward zero into 32 bits; math/overflow when it does
// not fit (NaN included).
int32_t truncate_checked(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) raise_math("overflow");
    return int32_t(d);
}

// Writes a number at the element width, converting it to the element type.
void store_number(uint8_t* p, uint32_t unit, uint32_t element, const Cell* value) {
    uint32_t vt = type_of(value);
    if (vt == TYPE_INTEGER || vt == TYPE_CHAR) {
        int32_t n = int32_t(value->data2);
        if (float_elements(element)) put_float(p, unit, double(n));
        else put_int(p, unit, n);
        return;
    }
    if (vt == TYPE_FLOAT || vt == TYPE_PERCENT) {
        double d = cell_float(value);
        if (float_elements(element)) put_float(p, unit, d);
        else put_int(p, unit, truncate_checked(d));
        return;
    }
    raise_invalid_type(vt);
}

[[noreturn]] void bad_make_arg(const Cell* spec) {
    Cell dt = number_support::datatype_cell(TYPE_VECTOR);
    raise_error("script", "bad-make-arg", &dt, spec);
}
[[noreturn]] void bad_spec_field(const Cell* spec) { raise_error("script", "invalid-spec-field", spec); }

// Makes room for `extra` more elements: to the need, or double the
// capacity when that is enough.
SeriesBuffer* room_for(Cell* v, uint32_t extra) {
    SeriesBuffer* s = buf(v);
    uint64_t need = uint64_t(s->byte_length()) + uint64_t(extra) * s->unit();
    if (need > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    if (uint64_t(s->data_end() - s->head) >= need) return s;
    uint64_t doubled = uint64_t(s->capacity) * 2;
    uint64_t want = doubled >= need && doubled <= memory::MAX_CAPACITY ? doubled : need;
    return memory::expand_series(s, uint32_t(want));
}

// ---- make ------------------------------------------------------------------------------------

uint32_t element_type_named(const Cell* item) {
    if (type_of(item) == TYPE_DATATYPE) {
        uint32_t t = item->data1;
        return number_type(t) ? t : 0;
    }
    if (type_of(item) != TYPE_WORD) return 0;
    if (word::spelled(item, "integer!")) return TYPE_INTEGER;
    if (word::spelled(item, "char!")) return TYPE_CHAR;
    if (word::spelled(item, "float!")) return TYPE_FLOAT;
    if (word::spelled(item, "percent!")) return TYPE_PERCENT;
    return 0;
}

uint32_t unit_of_bits(uint32_t element, int32_t bits) {
    if (element == TYPE_PERCENT) return 8;
    if (float_elements(element)) return bits == 32 ? 4 : bits == 64 ? 8 : 0;
    return bits == 8 ? 1 : bits == 16 ? 2 : bits == 32 ? 4 : 0;
}

// A vector of `count` elements (at least as many as `values` holds, whose
// items from its index must all be of the element type).
Cell build(uint32_t element, uint32_t unit, int64_t count, const Cell* values) {
    uint32_t given = values ? block::length(values) : 0;
    uint64_t n = count > int64_t(given) ? uint64_t(count) : given;
    if (n * unit > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    for (uint32_t i = 0; i < given; i++) {
        const Cell* item = block::item(values, i);
        if (type_of(item) != element) raise_error("script", "invalid-arg", item);
    }
    Cell v = make_empty(element, unit, uint32_t(n));
    SeriesBuffer* s = buf(&v);
    for (uint32_t i = 0; i < given; i++) store_number(s->head + i * unit, unit, element, block::item(values, i));
    std::memset(s->head + uint64_t(given) * unit, 0, size_t((n - given) * unit));
    s->tail = s->head + n * unit;
    return v;
}

Cell from_block(Cell* spec) {
    uint32_t items = block::length(spec);
    if (items == 0) return make_empty(TYPE_INTEGER, 4, 1);
    const Cell* first = block::item(spec, 0);
    uint32_t ft = type_of(first);
    if (ft != TYPE_WORD && ft != TYPE_DATATYPE) {
        if (!number_type(ft)) raise_invalid_type(ft);
        return build(ft, default_unit(ft), 0, spec);
    }
    // [type bits count-or-values], [type bits count values], [percent! values]
    if (items < 2) bad_make_arg(spec);
    uint32_t element = element_type_named(first);
    if (!element) bad_make_arg(spec);
    uint32_t at = 1;
    uint32_t unit = 8;
    const Cell* second = block::item(spec, 1);
    if (type_of(second) == TYPE_INTEGER) {
        unit = unit_of_bits(element, integer::get_value(second));
        if (!unit) bad_make_arg(spec);
        at = 2;
    } else if (element != TYPE_PERCENT) {
        bad_spec_field(spec);
    }
    if (at >= items) bad_spec_field(spec);
    int64_t count = 0;
    const Cell* values = nullptr;
    const Cell* item = block::item(spec, at);
    if (type_of(item) == TYPE_INTEGER) {
        count = integer::get_value(item);
        at++;
        if (at < items && type_of(block::item(spec, at)) == TYPE_BLOCK) values = block::item(spec, at++);
    } else if (type_of(item) == TYPE_BLOCK) {
        values = item;
        at++;
    } else {
        bad_spec_field(spec);
    }
    if (at < items) bad_spec_field(spec);
    Cell held = values ? *values : Cell{TYPE_NONE, 0, 0, 0};
    return build(element, unit, count, values ? &held : nullptr);
}

Cell* vector_make(Cell* prototype, Cell* spec_in) {
    Cell spec = *spec_in;
    gc::CellRoot keep(&spec);
    Cell made;
    switch (type_of(&spec)) {
    case TYPE_INTEGER:
        made = build(TYPE_INTEGER, 4, integer::get_value(&spec), nullptr);
        break;
    case TYPE_FLOAT:
        made = build(TYPE_INTEGER, 4, truncate_checked(cell_float(&spec)), nullptr);
        break;
    case TYPE_BLOCK:
        made = from_block(&spec);
        break;
    default:
        raise_error("internal", "not-done");
    }
    *prototype = made;
    return prototype;
}

// ---- Text forms ------------------------------------------------------------------------------

const char* element_type_name(uint32_t element) {
    switch (element) {
    case TYPE_CHAR: return "char!";
    case TYPE_FLOAT: return "float!";
    case TYPE_PERCENT: return "percent!";
    default: return "integer!";
    }
}

int32_t append_ascii(Cell* out, const char* text, int32_t limit) {
    uint32_t n = uint32_t(std::strlen(text));
    string_append_ascii(out, text, n);
    return limit - int32_t(n);
}

// A float element: form writes float!'s form (7 digits for 32-bit
// elements); mold writes text that loads back to the same element, the
// shortest for doubles, the 7 digits for singles when they are enough.
int32_t float_text(Cell* out, double d, uint32_t unit, bool mold, int32_t limit) {
    const char* text = float_::form_chars(d, unit == 4 ? float_::FORM_SINGLE : float_::FORM_FLOAT);
    if (mold) {
        bool exact = unit == 4 && std::isfinite(d) &&
                     float(float_text::strtod(text, text + std::strlen(text), 0, nullptr)) == float(d);
        if (!exact && std::isfinite(d)) {
            Cell f{TYPE_FLOAT, 0, 0, 0};
            set_cell_float(&f, d);
            return float_mold(&f, out, false, false, false, nullptr, limit, 0);
        }
    }
    return append_ascii(out, text, limit);
}

// The elements from the index separated by single blanks; char! elements
// as literals when molding.
int32_t serialize(Cell* value_in, Cell* out, bool mold, bool only, bool part, int32_t limit) {
    Cell v = *value_in;
    gc::CellRoot keep(&v);
    uint32_t element = v.data3;
    uint32_t unit = unit_of(&v);
    uint32_t start = clamped_index(&v);
    uint32_t n = total_of(&v) - start;
    bool long_form = false;
    if (mold) {
        if (!only) limit = append_ascii(out, "make vector! [", limit);
        long_form = n == 0 || unit != default_unit(element);
        if (long_form) {
            limit = append_ascii(out, element_type_name(element), limit);
            limit = append_ascii(out, " ", limit);
            limit = append_ascii(out, integer::to_decimal_chars(int32_t(unit * 8)), limit);
            limit = append_ascii(out, " [", limit);
        }
    }
    for (uint32_t i = 0; i < n; i++) {
        if (part && limit < 1) break;
        if (i > 0) limit = append_ascii(out, " ", limit);
        const uint8_t* p = buf(&v)->head + (start + i) * unit;   // the output's growth may move buffers
        switch (element) {
        case TYPE_FLOAT:
            limit = float_text(out, get_float(p, unit), unit, mold, limit);
            break;
        case TYPE_PERCENT:
            limit = append_ascii(out, float_::form_chars(get_float(p, unit) * 100.0, float_::FORM_PERCENT), limit);
            break;
        case TYPE_CHAR: {
            Cell c;
            series::read_element(&v, start + i, &c);
            if (mold) {
                limit = char_mold(&c, out, false, false, false, nullptr, limit, 0);
            } else {
                string::append_char(out, char_::code_point(&c));
                limit -= 1;
            }
            break;
        }
        default:
            limit = append_ascii(out, integer::to_decimal_chars(get_int(p, unit, false)), limit);
            break;
        }
    }
    if (mold) {
        if (long_form) limit = append_ascii(out, "]", limit);
        if (!only) limit = append_ascii(out, "]", limit);
    }
    return limit;
}

int32_t vector_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return serialize(value, out, false, false, part != nullptr, limit);
}

int32_t vector_mold(Cell* value, Cell* out, bool only, bool, bool, Cell* part, int32_t limit, int32_t) {
    return serialize(value, out, true, only, part != nullptr, limit);
}

// ---- compare ---------------------------------------------------------------------------------

int32_t vector_compare(Cell* a, Cell* b, int32_t op) {
    if (type_of(b) != TYPE_VECTOR) return COMPARE_INCOMPARABLE;
    if (a->data3 != b->data3) raise_error("script", "not-same-type");
    bool same = cell_node(a) == cell_node(b) && a->data1 == b->data1;
    if (op == COMP_SAME) return same ? 0 : -1;
    bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
    if (same && equality) return 0;
    uint32_t la = length(a), lb = length(b);
    if (equality && la != lb) return 1;
    uint32_t n = la < lb ? la : lb;
    uint32_t ua = unit_of(a), ub = unit_of(b);
    const uint8_t* pa = buf(a)->head + uint32_t(int32_t(a->data1) < 0 ? 0 : a->data1) * ua;
    const uint8_t* pb = buf(b)->head + uint32_t(int32_t(b->data1) < 0 ? 0 : b->data1) * ub;
    bool is_char = a->data3 == TYPE_CHAR;
    for (uint32_t i = 0; i < n; i++) {
        if (float_elements(a->data3)) {
            double x = get_float(pa + i * ua, ua), y = get_float(pb + i * ub, ub);
            if (std::isnan(x) || std::isnan(y)) return 0;
            if (x != y) return x < y ? -1 : 1;
        } else {
            int32_t x = get_int(pa + i * ua, ua, is_char), y = get_int(pb + i * ub, ub, is_char);
            if (x != y) return x < y ? -1 : 1;
        }
    }
    return la == lb ? 0 : la < lb ? -1 : 1;
}

// ---- append, insert, change ---------------------------------------------------------------

// The elements a value contributes, encoded at the vector's width and
// element type, so that nothing changes when one of them cannot be stored
// (and a vector may take its own elements).
uint32_t encode(const Cell* target, const Cell* value_in, int32_t part, bool paths, std::vector<uint8_t>& out) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    uint32_t unit = unit_of(target), element = target->data3;
    uint32_t vt = type_of(&value);
    bool list = vt == TYPE_BLOCK || vt == TYPE_PAREN || vt == TYPE_HASH || (paths && is_any_path(vt));
    if (vt == TYPE_VECTOR) {
        uint32_t n = length(&value);
        if (part >= 0 && uint32_t(part) < n) n = uint32_t(part);
        out.resize(size_t(n) * unit);
        uint32_t from = value.data1;
        for (uint32_t i = 0; i < n; i++) {
            Cell item;
            series::read_element(&value, from + i, &item);
            store_number(out.data() + i * unit, unit, element, &item);
        }
        return n;
    }
    if (!list) {
        out.resize(unit);
        store_number(out.data(), unit, element, &value);
        return 1;
    }
    uint32_t n = block::length(&value);
    if (part >= 0 && uint32_t(part) < n) n = uint32_t(part);
    out.resize(size_t(n) * unit);
    for (uint32_t i = 0; i < n; i++) store_number(out.data() + i * unit, unit, element, block::item(&value, i));
    return n;
}

// Elements that `count` elements repeated `dup` times make; internal/no-memory
// when their bytes do not fit.
uint32_t repeated(uint32_t count, int32_t dup, uint32_t unit) {
    if (dup <= 0 || count == 0) return 0;
    uint64_t n = uint64_t(count) * uint32_t(dup);
    if (n * unit > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    return uint32_t(n);
}

void write_repeated(uint8_t* p, const std::vector<uint8_t>& one, uint32_t bytes) {
    if (bytes == 0) return;
    std::memcpy(p, one.data(), one.size());
    for (uint32_t done = uint32_t(one.size()); done < bytes;) {
        uint32_t chunk = done < bytes - done ? done : bytes - done;
        std::memcpy(p + done, p, chunk);
        done += chunk;
    }
}

Cell* vector_insert(Cell* series, Cell* value_in, int32_t part, bool, int32_t dup, bool append) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    std::vector<uint8_t> one;
    uint32_t unit = unit_of(series);
    uint32_t n = repeated(encode(series, &value, part, false, one), dup, unit);
    uint32_t index = clamped_index(series);
    uint32_t total = total_of(series);
    uint32_t place = append ? total : index;
    if (n == 0) return series;
    bool told = series::notify(series, append ? "append" : "insert", &value, int32_t(place), int32_t(n));
    SeriesBuffer* s = room_for(series, n);
    uint8_t* at = s->head + place * unit;
    if (place < total) std::memmove(at + n * unit, at, (total - place) * unit);
    write_repeated(at, one, n * unit);
    s->tail += n * unit;
    if (!append) series->data1 = place + n;
    if (told) series::notify(series, append ? "appended" : "inserted", &value, int32_t(place), int32_t(n));
    return series;
}

Cell* vector_change(Cell* series, Cell* value_in, int32_t part, bool, int32_t dup) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    std::vector<uint8_t> one;
    uint32_t unit = unit_of(series);
    uint32_t n = repeated(encode(series, &value, -1, true, one), dup, unit);
    uint32_t index = clamped_index(series);
    bool told = series::notify(series, "change", &value, int32_t(index), int32_t(n));
    index = clamped_index(series);
    uint32_t total = total_of(series);
    uint32_t remaining = total - index;
    uint32_t replaced = part >= 0 ? uint32_t(part) : n;
    if (replaced > remaining) replaced = remaining;
    SeriesBuffer* s = n > replaced ? room_for(series, n - replaced) : buf(series);
    uint8_t* at = s->head + index * unit;
    std::memmove(at + n * unit, at + replaced * unit, (remaining - replaced) * unit);
    write_repeated(at, one, n * unit);
    s->tail = s->head + (total - replaced + n) * unit;
    series->data1 = index + n;
    if (told) series::notify(series, "changed", &value, int32_t(index), int32_t(n));
    return series;
}

// ---- Arithmetic ------------------------------------------------------------------------------

inline int32_t wrap(uint32_t n) { return int32_t(n); }

template <typename T, typename F>
void map_in_place(uint8_t* p, uint32_t n, F f) {
    for (uint32_t i = 0; i < n; i++) store<T>(p + i * sizeof(T), T(f(load<T>(p + i * sizeof(T)))));
}

// Integer elements of type T combined with an integer scalar, in place.
template <typename T>
void integer_pass(uint8_t* p, uint32_t n, int32_t s, int32_t op, bool scalar_left) {
    auto run = [&](auto f) { map_in_place<T>(p, n, [&](T x) { return wrap(uint32_t(f(int32_t(x)))); }); };
    if (scalar_left) {
        run([&](int32_t x) { return integer_op(s, x, op); });
        return;
    }
    switch (op) {
    case MATH_ADD: run([&](int32_t x) { return wrap(uint32_t(x) + uint32_t(s)); }); break;
    case MATH_SUBTRACT: run([&](int32_t x) { return wrap(uint32_t(x) - uint32_t(s)); }); break;
    case MATH_MULTIPLY: run([&](int32_t x) { return wrap(uint32_t(x) * uint32_t(s)); }); break;
    case MATH_AND: run([&](int32_t x) { return x & s; }); break;
    case MATH_OR: run([&](int32_t x) { return x | s; }); break;
    case MATH_XOR: run([&](int32_t x) { return x ^ s; }); break;
    default: run([&](int32_t x) { return integer_op(x, s, op); }); break;
    }
}

template <typename T>
void float_pass(uint8_t* p, uint32_t n, double s, int32_t op, bool scalar_left) {
    auto run = [&](auto f) { map_in_place<T>(p, n, [&](T x) { return f(double(x)); }); };
    if (scalar_left) {
        run([&](double x) { return float_::math_op(s, x, op); });
        return;
    }
    switch (op) {
    case MATH_ADD: run([&](double x) { return x + s; }); break;
    case MATH_SUBTRACT: run([&](double x) { return x - s; }); break;
    case MATH_MULTIPLY: run([&](double x) { return x * s; }); break;
    case MATH_DIVIDE: run([&](double x) { return x / s; }); break;
    default: run([&](double x) { return float_::math_op(x, s, op); }); break;
    }
}

// The vector's elements from its index combined with the scalar, in place.
void scalar_pass(Cell* v, const Cell* scalar, int32_t op, bool scalar_left) {
    uint32_t element = v->data3;
    uint32_t st = type_of(scalar);
    uint32_t index = clamped_index(v);
    uint32_t unit = unit_of(v);
    uint32_t n = total_of(v) - index;
    uint8_t* p = buf(v)->head + index * unit;
    if (float_elements(element)) {
        if (!number_type(st)) raise_error("internal", "not-done");
        double s = number_support::as_double(scalar);
        if (op > MATH_REMAINDER) float_::math_op(0.0, 1.0, op);   // raises cannot-use
        if (!scalar_left && (((op == MATH_ADD || op == MATH_SUBTRACT) && s == 0.0) ||
                             ((op == MATH_MULTIPLY || op == MATH_DIVIDE) && s == 1.0)))
            return;
        if (scalar_left && ((op == MATH_ADD && s == 0.0) || (op == MATH_MULTIPLY && s == 1.0))) return;
        if (unit == 4) float_pass<float>(p, n, s, op, scalar_left);
        else float_pass<double>(p, n, s, op, scalar_left);
        return;
    }
    int32_t s;
    if (st == TYPE_INTEGER || st == TYPE_CHAR) s = int32_t(scalar->data2);
    else if (st == TYPE_FLOAT || st == TYPE_PERCENT) s = truncate_checked(cell_float(scalar));
    else raise_error("internal", "not-done");
    bool dividing = op == MATH_DIVIDE || op == MATH_REMAINDER;
    if (!scalar_left) {
        if (((op == MATH_ADD || op == MATH_SUBTRACT) && s == 0) || ((op == MATH_MULTIPLY || op == MATH_DIVIDE) && s == 1))
            return;
        if (dividing && s == 0) raise_math("zero-divide");
    } else {
        if ((op == MATH_ADD && s == 0) || (op == MATH_MULTIPLY && s == 1)) return;
        // Every divisor is checked before the first element changes.
        if (dividing)
            for (uint32_t i = 0; i < n; i++)
                if (get_int(p + i * unit, unit, false) == 0) raise_math("zero-divide");
    }
    bool is_char = element == TYPE_CHAR;
    switch (unit) {
    case 1:
        if (is_char) integer_pass<uint8_t>(p, n, s, op, scalar_left);
        else integer_pass<int8_t>(p, n, s, op, scalar_left);
        break;
    case 2:
        if (is_char) integer_pass<uint16_t>(p, n, s, op, scalar_left);
        else integer_pass<int16_t>(p, n, s, op, scalar_left);
        break;
    default:
        integer_pass<int32_t>(p, n, s, op, scalar_left);
        break;
    }
}

// Two vectors of one element type: a new vector over the shorter length,
// at the wider width.
void vector_pass(Cell* left, Cell* right, int32_t op) {
    uint32_t element = left->data3;
    if (right->data3 != element) raise_error("script", "not-same-type");
    if (float_elements(element) && op > MATH_REMAINDER) float_::math_op(0.0, 1.0, op);   // cannot-use
    uint32_t la = length(left), lb = length(right);
    uint32_t n = la < lb ? la : lb;
    uint32_t ua = unit_of(left), ub = unit_of(right);
    uint32_t unit = ua > ub ? ua : ub;
    Cell a = *left, b = *right;
    gc::CellRoot keep_a(&a), keep_b(&b);
    Cell made = make_empty(element, unit, n);
    gc::CellRoot keep(&made);
    const uint8_t* pa = buf(&a)->head + clamped_index(&a) * ua;   // after the allocation
    const uint8_t* pb = buf(&b)->head + clamped_index(&b) * ub;
    uint8_t* out = buf(&made)->head;
    bool is_char = element == TYPE_CHAR;
    if (float_elements(element)) {
        for (uint32_t i = 0; i < n; i++)
            put_float(out + i * unit, unit, float_::math_op(get_float(pa + i * ua, ua), get_float(pb + i * ub, ub), op));
    } else if (ua == 4 && ub == 4) {
        for (uint32_t i = 0; i < n; i++)
            store<int32_t>(out + i * 4, integer_op(load<int32_t>(pa + i * 4), load<int32_t>(pb + i * 4), op));
    } else {
        for (uint32_t i = 0; i < n; i++)
            put_int(out + i * unit, unit,
                    integer_op(get_int(pa + i * ua, ua, is_char), get_int(pb + i * ub, ub, is_char), op));
    }
    buf(&made)->tail = out + n * unit;
    *left = made;
}

}  // namespace

// ---- Interface ---------------------------------------------------------------------------------

uint32_t default_unit(uint32_t element_type) { return float_elements(element_type) ? 8 : 4; }

Cell make_empty(uint32_t element_type, uint32_t unit, uint32_t count) {
    if (uint64_t(count) * unit > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    Node node = memory::alloc_series(count ? count : 1, unit, 0);
    Cell v{TYPE_VECTOR, 0, 0, element_type};
    set_cell_node(&v, node);
    return v;
}

uint32_t length(const Cell* vector) {
    uint32_t total = total_of(vector);
    int32_t i = int32_t(vector->data1);
    return i < 0 ? total : uint32_t(i) > total ? 0 : total - uint32_t(i);
}

void append_value(Cell* vector, const Cell* value) {
    uint32_t vt = type_of(value);
    if (!number_type(vt)) raise_invalid_type(vt);
    Cell v = *value;
    SeriesBuffer* s = room_for(vector, 1);
    store_number(s->tail, s->unit(), vector->data3, &v);
    s->tail += s->unit();
}

void append_int32(Cell* vector, int32_t n) {
    Cell c = integer::make(n);
    append_value(vector, &c);
}

double read_float(const Cell* vector, uint32_t i) {
    uint32_t unit = unit_of(vector);
    const uint8_t* p = buf(vector)->head + i * unit;
    return float_elements(vector->data3) ? get_float(p, unit) : double(get_int(p, unit, vector->data3 == TYPE_CHAR));
}

int32_t read_integer(const Cell* vector, uint32_t i) {
    uint32_t unit = unit_of(vector);
    const uint8_t* p = buf(vector)->head + i * unit;
    return float_elements(vector->data3) ? truncate_checked(get_float(p, unit))
                                         : get_int(p, unit, vector->data3 == TYPE_CHAR);
}

int32_t integer_op(int32_t left, int32_t right, int32_t op) {
    switch (op) {
    case MATH_ADD: return wrap(uint32_t(left) + uint32_t(right));
    case MATH_SUBTRACT: return wrap(uint32_t(left) - uint32_t(right));
    case MATH_MULTIPLY: return wrap(uint32_t(left) * uint32_t(right));
    case MATH_DIVIDE:
        if (right == 0) raise_math("zero-divide");
        if (right == -1) return wrap(0u - uint32_t(left));   // -2147483648 / -1 wraps
        return left / right;
    case MATH_REMAINDER:
        if (right == 0) raise_math("zero-divide");
        if (right == -1) return 0;
        return left % right;
    case MATH_OR: return left | right;
    case MATH_AND: return left & right;
    case MATH_XOR: return left ^ right;
    default: number_support::bad_op();
    }
}

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    if (type_of(right) == TYPE_VECTOR) vector_pass(left, right, op);
    else scalar_pass(left, right, op, false);
}

void scalar_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    scalar_pass(right, left, op, true);
    *left = *right;
}

void init() {
    TypeSpec spec = make_type_spec(TYPE_VECTOR);
    set_slot<SLOT_MAKE>(spec, vector_make);
    set_slot<SLOT_FORM>(spec, vector_form);
    set_slot<SLOT_MOLD>(spec, vector_mold);
    set_slot<SLOT_COMPARE>(spec, vector_compare);
    set_slot<SLOT_ADD>(spec, [] { do_math(MATH_ADD); });
    set_slot<SLOT_SUBTRACT>(spec, [] { do_math(MATH_SUBTRACT); });
    set_slot<SLOT_MULTIPLY>(spec, [] { do_math(MATH_MULTIPLY); });
    set_slot<SLOT_DIVIDE>(spec, [] { do_math(MATH_DIVIDE); });
    set_slot<SLOT_REMAINDER>(spec, [] { do_math(MATH_REMAINDER); });
    set_slot<SLOT_AND_T>(spec, [] { do_math(MATH_AND); });
    set_slot<SLOT_OR_T>(spec, [] { do_math(MATH_OR); });
    set_slot<SLOT_XOR_T>(spec, [] { do_math(MATH_XOR); });
    set_slot<SLOT_APPEND>(spec, vector_insert);
    set_slot<SLOT_INSERT>(spec, vector_insert);
    set_slot<SLOT_CHANGE>(spec, vector_change);
    for (int slot : {SLOT_RANDOM, SLOT_REFLECT, SLOT_EVAL_PATH, SLOT_AT, SLOT_BACK, SLOT_CLEAR, SLOT_COPY,
                     SLOT_FIND, SLOT_HEAD, SLOT_HEAD_Q, SLOT_INDEX_Q, SLOT_LENGTH_Q, SLOT_MOVE, SLOT_NEXT,
                     SLOT_PICK, SLOT_POKE, SLOT_REMOVE, SLOT_REVERSE, SLOT_SELECT, SLOT_SORT, SLOT_SKIP,
                     SLOT_TAIL, SLOT_TAIL_Q, SLOT_TAKE, SLOT_MODIFY})
        inherit_slot(spec, slot);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    number_hooks::get().vector_scalar_math = scalar_math;
}

}  // namespace qor::vector
