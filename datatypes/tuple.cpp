// tuple!: construction, dotted text, saturating byte arithmetic, comparison,
// path access, pick, reverse and random.
#include "datatypes/tuple.hpp"

#include <cmath>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "runtime/memory.hpp"
#include "runtime/random.hpp"
#include "datatypes/number_scan.hpp"

namespace qor {

using namespace number_support;

namespace tuple {

namespace {

uint8_t clamp_byte(int32_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// A double truncated toward zero and clamped; NaN gives 0.
uint8_t clamp_double(double d) {
    if (!(d > 0)) return 0;
    if (d >= 255.0) return 255;
    return uint8_t(d);
}

[[noreturn]] void bad_to(const Cell* spec) { raise_bad_to_arg(TYPE_TUPLE, spec); }

int hex_digit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// #RGB (each digit doubled), #RRGGBB or #RRGGBBAA.
Cell from_issue(const Cell* issue) {
    int32_t id = int32_t(issue->data2);
    const uint8_t* text = symbol::spelling(id);
    uint32_t length = symbol::spelling_length(id);
    if (!text || (length != 3 && length != 6 && length != 8)) raise_error("script", "invalid-data", issue);
    uint8_t digits[8];
    for (uint32_t i = 0; i < length; i++) {
        int d = hex_digit(text[i]);
        if (d < 0) raise_error("script", "invalid-data", issue);
        digits[i] = uint8_t(d);
    }
    uint8_t bytes[MAX_COUNT] = {};
    if (length == 3) {
        for (int i = 0; i < 3; i++) bytes[i] = uint8_t(digits[i] * 17);
        return make(3, bytes);
    }
    for (uint32_t i = 0; i < length / 2; i++) bytes[i] = uint8_t(digits[2 * i] << 4 | digits[2 * i + 1]);
    return make(length / 2, bytes);
}

// The bytes from the binary's index, at most 12.
Cell from_binary(const Cell* binary) {
    SeriesBuffer* s = buffer_of(cell_node(binary));
    uint32_t index = binary->data1, length = s->byte_length();
    uint32_t n = index < length ? length - index : 0;
    if (n > MAX_COUNT) n = MAX_COUNT;
    uint8_t bytes[MAX_COUNT] = {};
    if (n) std::memcpy(bytes, s->head + index, n);
    return make(n, bytes);
}

// At most 12 integer!, char! or float! values in 0..255 (floats truncated).
Cell from_block(const Cell* spec) {
    uint32_t n = block::length(spec);
    if (n > MAX_COUNT) bad_to(spec);
    uint8_t bytes[MAX_COUNT] = {};
    for (uint32_t i = 0; i < n; i++) {
        const Cell* item = block::item(spec, i);
        double v;
        switch (type_of(item)) {
        case TYPE_INTEGER: case TYPE_CHAR: v = double(int32_t(item->data2)); break;
        case TYPE_FLOAT: v = std::trunc(cell_float(item)); break;
        default: bad_to(spec);
        }
        if (!(v >= 0 && v <= 255)) bad_to(spec);
        bytes[i] = uint8_t(v);
    }
    return make(n, bytes);
}

}  // namespace

void init() {
    TypeSpec spec = make_type_spec(TYPE_TUPLE);
    set_slot<SLOT_MAKE>(spec, tuple_to);
    set_slot<SLOT_RANDOM>(spec, tuple_random);
    set_slot<SLOT_TO>(spec, tuple_to);
    set_slot<SLOT_FORM>(spec, tuple_form);
    set_slot<SLOT_MOLD>(spec, tuple_mold);
    set_slot<SLOT_EVAL_PATH>(spec, tuple_eval_path);
    set_slot<SLOT_COMPARE>(spec, tuple_compare);
    set_slot<SLOT_ADD>(spec, [] { do_math(MATH_ADD); });
    set_slot<SLOT_DIVIDE>(spec, [] { do_math(MATH_DIVIDE); });
    set_slot<SLOT_MULTIPLY>(spec, [] { do_math(MATH_MULTIPLY); });
    set_slot<SLOT_REMAINDER>(spec, [] { do_math(MATH_REMAINDER); });
    set_slot<SLOT_SUBTRACT>(spec, [] { do_math(MATH_SUBTRACT); });
    set_slot<SLOT_AND_T>(spec, [] { do_math(MATH_AND); });
    set_slot<SLOT_COMPLEMENT>(spec, tuple_complement);
    set_slot<SLOT_OR_T>(spec, [] { do_math(MATH_OR); });
    set_slot<SLOT_XOR_T>(spec, [] { do_math(MATH_XOR); });
    set_slot<SLOT_LENGTH_Q>(spec, tuple_length_q);
    set_slot<SLOT_PICK>(spec, tuple_pick);
    set_slot<SLOT_REVERSE>(spec, tuple_reverse);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

Cell make(uint32_t n, const uint8_t* bytes) {
    if (n > MAX_COUNT) n = MAX_COUNT;
    uint8_t all[MAX_COUNT] = {};
    if (n) std::memcpy(all, bytes, n);
    Cell c{TYPE_TUPLE | (n < MIN_COUNT ? MIN_COUNT : n) << TUPLE_SIZE_SHIFT, 0, 0, 0};
    put_bytes(&c, all);
    return c;
}

Cell* push_new(uint32_t n, uint32_t word1, uint32_t word2, uint32_t word3) {
    Cell* cell = stack::push_slot();
    *cell = Cell{TYPE_TUPLE | n << TUPLE_SIZE_SHIFT, word1, word2, word3};
    return cell;
}

Cell* from_bytes(uint32_t n, const uint32_t* values) {
    uint8_t bytes[MAX_COUNT] = {};
    uint32_t k = n > MAX_COUNT ? MAX_COUNT : n;
    for (uint32_t i = 0; i < k; i++) bytes[i] = uint8_t(values[i]);
    Cell* cell = stack::push_slot();
    *cell = make(k, bytes);
    return cell;
}

void from_rgba(Cell* cell, int32_t r, int32_t g, int32_t b, int32_t a) {
    uint8_t bytes[4] = {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)};
    *cell = make(a == -1 ? 3 : 4, bytes);
}

bool all_zero_q(const Cell* t) {
    uint8_t bytes[MAX_COUNT];
    get_bytes(t, bytes);
    for (uint32_t i = 0; i < count(t); i++)
        if (bytes[i]) return false;
    return true;
}

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    if (type_of(left) != TYPE_TUPLE) {
        if (op == MATH_SUBTRACT || op == MATH_DIVIDE) raise_not_related(word_of_op(op), type_of(left));
        swap_operands();
    }
    uint32_t n = count(left);
    uint8_t bytes[MAX_COUNT];
    get_bytes(left, bytes);
    uint32_t rt = type_of(right);
    switch (rt) {
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
        double x = cell_float(right);
        for (uint32_t i = 0; i < n; i++) bytes[i] = clamp_double(float_::math_op(bytes[i], x, op));
        break;
    }
    case TYPE_INTEGER:
    case TYPE_TUPLE: {
        uint8_t others[MAX_COUNT] = {};
        if (rt == TYPE_TUPLE) {
            get_bytes(right, others);
            if (count(right) > n) n = count(right);   // the new bytes start at 0
        }
        for (uint32_t i = 0; i < n; i++) {
            int32_t value = rt == TYPE_TUPLE ? int32_t(others[i]) : integer::get_value(right);
            if (op == MATH_DIVIDE) {
                bytes[i] = clamp_byte(integer::math_op(bytes[i], value, op, nullptr));
                continue;
            }
            // An overflow turns the scratch cell into a float!: saturate.
            Cell scratch = integer::make(0);
            int32_t r = integer::math_op(bytes[i], value, op, &scratch);
            if (type_of(&scratch) == TYPE_FLOAT) r = cell_float(&scratch) > 0 ? 255 : 0;
            bytes[i] = clamp_byte(r);
        }
        break;
    }
    default:
        raise_invalid_type(rt);
    }
    put_bytes(left, bytes);
    set_count(left, n);
}

}  // namespace tuple

// ---------------------------------------------------------------------------
// make and to

Cell* tuple_to(Cell* prototype, Cell* spec) {
    Cell made;
    switch (type_of(spec)) {
    case TYPE_TUPLE:
        made = *spec;
        break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
        made = tuple::from_block(spec);
        break;
    case TYPE_ISSUE:
        made = tuple::from_issue(spec);
        break;
    case TYPE_BINARY:
        made = tuple::from_binary(spec);
        break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: {
        Cell original = *spec;
        const Cell* loaded = number_support::load_text(spec);
        if (type_of(loaded) != TYPE_TUPLE) tuple::bad_to(&original);
        made = *loaded;
        break;
    }
    default:
        tuple::bad_to(spec);
    }
    Cell* result = stack::arguments_base();
    *result = made;
    return result;
}

// ---------------------------------------------------------------------------
// Text

int32_t tuple_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(value, bytes);
    char text[tuple::MAX_COUNT * 4];
    uint32_t k = 0;
    for (uint32_t i = 0; i < tuple::count(value); i++) {
        if (i) text[k++] = '.';
        uint32_t b = bytes[i];
        if (b >= 100) text[k++] = char('0' + b / 100);
        if (b >= 10) text[k++] = char('0' + b / 10 % 10);
        text[k++] = char('0' + b % 10);
    }
    append_text(out, text, k);
    return limit - int32_t(k);
}

int32_t tuple_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent) {
    return tuple_form(value, out, part, limit);
}

// ---------------------------------------------------------------------------
// Paths, pick, compare

Cell* tuple_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                      Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                      bool last, bool notify) {
    if (type_of(element) != TYPE_INTEGER) raise_invalid_type(type_of(element));
    int32_t index = integer::get_value(element);
    if (!new_value) return tuple_pick(value, index);

    uint32_t nt = type_of(new_value);
    if (nt != TYPE_INTEGER && nt != TYPE_NONE) raise_invalid_type(nt);
    uint32_t n = tuple::count(value);
    if (index < 1 || uint32_t(index) > n) raise_error("script", "out-of-range", element);
    Cell old = *value;
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(value, bytes);
    if (nt == TYPE_INTEGER) {
        bytes[index - 1] = tuple::clamp_byte(integer::get_value(new_value));
    } else {   // none cuts the tuple before the index
        for (uint32_t i = uint32_t(index) - 1; i < n; i++) bytes[i] = 0;
        n = uint32_t(index) - 1 < tuple::MIN_COUNT ? tuple::MIN_COUNT : uint32_t(index) - 1;
    }
    tuple::put_bytes(value, bytes);
    tuple::set_count(value, n);
    auto tell = number_hooks::get().notify_path_change;
    if (notify && tell && parent) tell(parent, previous, &old, value, index);
    return new_value;
}

Cell* tuple_pick(Cell* value, int32_t index) {
    if (index < 1 || uint32_t(index) > tuple::count(value)) {
        Cell given = pick_index_arg(value, index);
        raise_error("script", "out-of-range", &given);
    }
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(value, bytes);
    return integer::push_new(bytes[index - 1]);
}

// Bytes past the shorter count read as 0; the op code is not consulted, so
// 1.2.3 and 1.2.3.0 are equal even under strict-equal.
int32_t tuple_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_TUPLE) return COMPARE_INCOMPARABLE;
    uint8_t a[tuple::MAX_COUNT], b[tuple::MAX_COUNT];
    tuple::get_bytes(value1, a);
    tuple::get_bytes(value2, b);
    uint32_t n = tuple::count(value1) > tuple::count(value2) ? tuple::count(value1) : tuple::count(value2);
    for (uint32_t i = 0; i < n; i++)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

// ---------------------------------------------------------------------------
// complement, length?, reverse, random

Cell* tuple_complement(Cell* value) {
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(value, bytes);
    for (uint32_t i = 0; i < tuple::count(value); i++) bytes[i] ^= 0xFF;
    tuple::put_bytes(value, bytes);
    return value;
}

int32_t tuple_length_q(Cell* value) { return int32_t(tuple::count(value)); }

Cell* tuple_reverse(Cell* value, Cell* part, Cell* skip) {
    uint32_t n = tuple::count(value);
    uint32_t span = n;
    if (part) {
        if (type_of(part) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "part", part);
        int32_t length = integer::get_value(part);
        if (length < 0) raise_error("script", "out-of-range", part);
        if (uint32_t(length) < span) span = uint32_t(length);
    }
    uint32_t size = 1;
    if (skip) {
        if (type_of(skip) != TYPE_INTEGER) raise_error("script", "invalid-refine-arg", "skip", skip);
        int32_t s = integer::get_value(skip);
        if (s == int32_t(n)) return value;
        if (s < 1) raise_error("script", "out-of-range", skip);
        if (n < uint32_t(s) || n % uint32_t(s) != 0) raise_error("script", "invalid-refine-arg", "skip", skip);
        size = uint32_t(s);
    }
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(value, bytes);
    // Records of `size` bytes swap pairwise from both ends of the span; a
    // span that is no multiple of the size makes the middle records overlap,
    // which swapping byte by byte keeps well defined.
    for (int32_t i = 0, j = int32_t(span) - int32_t(size); i < j; i += int32_t(size), j -= int32_t(size))
        for (uint32_t k = 0; k < size; k++) {
            uint8_t t = bytes[i + k];
            bytes[i + k] = bytes[j + k];
            bytes[j + k] = t;
        }
    tuple::put_bytes(value, bytes);
    return value;
}

Cell* tuple_random(Cell* value, bool seed, bool secure, bool only) {
    if (seed) {
        random::seed(int32_t(value->data1 ^ value->data2 ^ value->data3));
        unset::set(value);
        return value;
    }
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(value, bytes);
    for (uint32_t i = 0; i < tuple::count(value); i++) {
        int32_t drawn;
        if (!random::integer(secure, int32_t(bytes[i]) + 1, drawn)) raise_error("internal", "feature-na");
        bytes[i] = uint8_t(drawn - 1);
    }
    tuple::put_bytes(value, bytes);
    return value;
}

}  // namespace qor

namespace qor::tuple {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool, Cell* out) {
    uint8_t bytes[12];
    int32_t n = number_scan::read_tuple(start, end, bytes);
    if (n < 3) return TYPE_TUPLE;
    *out = make(uint32_t(n), bytes);
    return 0;
}

}  // namespace qor::tuple
