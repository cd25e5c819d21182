// time!: the h:mm:ss text, fields, construction, and the time-specific
// wrappers around float! arithmetic and rounding.
#include "datatypes/time.hpp"

#include <cmath>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "runtime/float_to_text.hpp"
#include "datatypes/literal.hpp"
#include "datatypes/number_scan.hpp"

namespace qor {

using namespace number_support;

namespace time {

namespace {

constexpr double k_hour = 3600.0;
constexpr double k_minute = 60.0;
constexpr double k_smallest = 1e-06;   // smallest printed fraction; nudge of even?/odd?

// Truncated toward zero to 32 bits; out of range (and NaN) gives the most
// negative integer.
int32_t truncated(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return int32_t(d);
}

// Decimal digits of a whole, non-negative, finite double.
uint32_t whole_digits(double value, char* out) {
    if (value < 9007199254740992.0) {   // 2^53: exact in 64 bits
        char tmp[24];
        uint64_t n = uint64_t(value);
        uint32_t k = 0;
        do {
            tmp[k++] = char('0' + n % 10);
            n /= 10;
        } while (n);
        for (uint32_t i = 0; i < k; ++i) out[i] = tmp[k - 1 - i];
        return k;
    }
    int32_t decpt = 0, sign = 0, length = 0;
    const char* digits = float_text::dtoa(value, 0, &decpt, &sign, &length, 0);
    uint32_t n = 0;
    for (int32_t i = 0; i < decpt; ++i) out[n++] = i < length ? digits[i] : '0';
    return n;
}


}  // namespace

void init() {
    TypeSpec spec = make_type_spec(TYPE_TIME);
    set_slot<SLOT_MAKE>(spec, time_make);
    inherit_slot(spec, SLOT_RANDOM);
    set_slot<SLOT_TO>(spec, time_make);
    set_slot<SLOT_FORM>(spec, time_form);
    set_slot<SLOT_MOLD>(spec, time_mold);
    set_slot<SLOT_EVAL_PATH>(spec, time_eval_path);
    inherit_slot(spec, SLOT_COMPARE);
    inherit_slot(spec, SLOT_ABSOLUTE);
    set_slot<SLOT_ADD>(spec, time_add);
    set_slot<SLOT_DIVIDE>(spec, time_divide);
    set_slot<SLOT_MULTIPLY>(spec, time_multiply);
    inherit_slot(spec, SLOT_NEGATE);
    inherit_slot(spec, SLOT_REMAINDER);
    set_slot<SLOT_ROUND>(spec, time_round);
    set_slot<SLOT_SUBTRACT>(spec, time_subtract);
    set_slot<SLOT_EVEN_Q>(spec, time_even_q);
    set_slot<SLOT_ODD_Q>(spec, time_odd_q);
    set_slot<SLOT_PICK>(spec, time_pick);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

Cell* new_in_block(Cell* block, double seconds) {
    Cell cell = make(seconds);
    return block::append_copy(block, &cell);
}

Cell* push_new(double seconds) {
    Cell* cell = stack::push_slot();
    *cell = make(seconds);
    return cell;
}

int32_t form_text(double seconds, Cell* out, int32_t limit) {
    if (!std::isfinite(seconds)) {   // no clock reading: the float's own text
        const char* text = float_::form_chars(seconds, float_::FORM_FLOAT);
        uint32_t length = uint32_t(std::strlen(text));
        append_text(out, text, length);
        return limit - int32_t(length);
    }
    double s = seconds;
    if (s < 0) {
        append_text(out, "-", 1);
        s = -s;
    }
    char text[float_text::text_capacity + 320];
    uint32_t n = whole_digits(std::floor(s / k_hour), text);
    int32_t hours_length = int32_t(n);
    int32_t minutes = int32_t(std::floor(std::fmod(s, k_hour) / k_minute));
    text[n++] = ':';
    text[n++] = char('0' + minutes / 10);
    text[n++] = char('0' + minutes % 10);
    text[n++] = ':';
    double f = std::fmod(s, k_minute);
    uint32_t seconds_from = n;
    if (f < k_smallest) {
        text[n++] = '0';
        text[n++] = '0';
    } else {
        const char* digits = float_::form_chars(f, float_::FORM_SECONDS);
        uint32_t length = uint32_t(std::strlen(digits));
        if (length == 1 || digits[1] == '.') text[n++] = '0';
        std::memcpy(text + n, digits, length);
        n += length;
    }
    append_text(out, text, n);
    return limit - hours_length - 2 - 2 - int32_t(n - seconds_from);
}

int32_t get_hours(double seconds) {
    double h = seconds / k_hour;
    return truncated(h < 0 ? std::ceil(h) : std::floor(h));
}

int32_t get_minutes(double seconds) {
    return int32_t(std::floor(std::fmod(std::fabs(seconds), k_hour) / k_minute));
}

int32_t field_index(const Cell* word, const Cell* value) {
    if (word::spelled(word, "hour")) return 1;
    if (word::spelled(word, "minute")) return 2;
    if (word::spelled(word, "second")) return 3;
    if (type_of(value) == TYPE_TIME) raise_error("script", "cannot-use", word, value);
    return -1;
}

Cell* get_field(const Cell* time, int32_t index) {
    double s = cell_float(time);
    switch (index) {
    case 1:  return integer::push_new(get_hours(s));
    case 2:  return integer::push_new(get_minutes(s));
    default: return float_::push_new(std::fmod(s, k_minute));
    }
}

void set_field(Cell* cell, int32_t index, const Cell* value) {
    double s = cell_float(cell);
    double x = as_double(value);
    switch (index) {
    case 1:  s -= (std::floor(s / k_hour) - x) * k_hour; break;
    case 2:  s -= (std::floor(std::fmod(s, k_hour) / k_minute) - x) * k_minute; break;
    default: s -= std::fmod(s, k_minute) - x; break;
    }
    set_cell_float(cell, s);
}

void raise_bad_make(const Cell* value) { raise_bad_to_arg(TYPE_TIME, value); }

Cell* pick_field(Cell* value, const Cell* index) {
    int32_t n;
    if (is_any_word(type_of(index)))
        n = field_index(index, value);
    else if (type_of(index) == TYPE_INTEGER)
        n = integer::get_value(index);
    else
        raise_error("script", "out-of-range", index);
    if (n < 1 || n > 3) raise_error("script", "out-of-range", index);
    return get_field(value, n);
}

}  // namespace time

// ---------------------------------------------------------------------------
// make and to

namespace {

// [hours minutes seconds], each optional; only the hours may be negative.
double from_block(Cell* spec) {
    uint32_t count = block::length(spec);
    if (count > 3) time::raise_bad_make(spec);
    double parts[3] = {0.0, 0.0, 0.0};
    bool negative = false;
    for (uint32_t i = 0; i < count; ++i) {
        const Cell* item = block::item(spec, i);
        uint32_t t = type_of(item);
        if (t != TYPE_INTEGER && !(i == 2 && t == TYPE_FLOAT)) time::raise_bad_make(spec);
        double x = as_double(item);
        if (x < 0) {
            if (i != 0) time::raise_bad_make(spec);
            negative = true;
            x = -x;
        }
        parts[i] = x;
    }
    double s = parts[0] * 3600.0 + parts[1] * 60.0 + parts[2];
    return negative ? -s : s;
}

}  // namespace

Cell* time_make(Cell* prototype, Cell* spec) {
    double seconds = 0.0;
    switch (type_of(spec)) {
    case TYPE_TIME: case TYPE_FLOAT: case TYPE_PERCENT:
        seconds = cell_float(spec);
        break;
    case TYPE_INTEGER:
        seconds = double(integer::get_value(spec));
        break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
        seconds = from_block(spec);
        break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: {
        Cell original = *spec;
        const Cell* loaded = number_support::load_text(spec);
        if (type_of(loaded) != TYPE_TIME) time::raise_bad_make(&original);
        seconds = cell_float(loaded);
        break;
    }
    default:
        time::raise_bad_make(spec);
    }
    Cell* result = stack::arguments_base();
    if (type_of(spec) == TYPE_TIME)
        *result = *spec;
    else
        *result = time::make(seconds);
    return result;
}

// ---------------------------------------------------------------------------
// Text

int32_t time_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return time::form_text(cell_float(value), out, limit);
}

int32_t time_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent) {
    return time::form_text(cell_float(value), out, limit);
}

// ---------------------------------------------------------------------------
// Paths and pick

Cell* time_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                     Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                     bool last, bool notify) {
    int32_t index = -1;
    uint32_t et = type_of(element);
    if (et == TYPE_INTEGER)
        index = integer::get_value(element);
    else if (is_any_word(et))
        index = time::field_index(element, element);
    if (index < 1 || index > 3) raise_error("script", "invalid-path", path, element);
    if (!new_value || type_of(new_value) == TYPE_NONE) return time::get_field(value, index);

    uint32_t nt = type_of(new_value);
    if (nt != TYPE_INTEGER && !(index == 3 && nt == TYPE_FLOAT))
        raise_error("script", "invalid-arg", new_value);
    Cell old = *value;
    time::set_field(value, index, new_value);
    auto tell = number_hooks::get().notify_path_change;
    if (notify && tell && parent) tell(parent, previous, &old, value, index);
    return new_value;
}

Cell* time_pick(Cell* value, int32_t index) {
    Cell given = pick_index_arg(value, index);
    return time::pick_field(value, &given);
}

// ---------------------------------------------------------------------------
// Arithmetic

void time_add() {
    Cell* left = stack::arguments_base();
    if (type_of(left + 1) == TYPE_DATE) {
        if (!has_math_slot(TYPE_DATE, MATH_ADD)) raise_invalid_type(TYPE_DATE);
        // The date takes the time: date + time.
        Cell time_value = *left;
        *left = left[1];
        left[1] = time::make(cell_float(&time_value));
        run_math_slot(TYPE_DATE, MATH_ADD);
        return;
    }
    float_::do_math(MATH_ADD);
}

void time_subtract() {
    if (type_of(stack::arguments_base() + 1) == TYPE_DATE) raise_not_related("subtract", TYPE_TIME);
    float_::do_math(MATH_SUBTRACT);
}

void time_multiply() {
    if (type_of(stack::arguments_base() + 1) == TYPE_TIME) raise_not_related("multiply", TYPE_TIME);
    float_::do_math(MATH_MULTIPLY);
}

// A time divided by a time is a plain ratio.
void time_divide() {
    Cell* left = stack::arguments_base();
    bool ratio = type_of(left + 1) == TYPE_TIME;
    float_::do_math(MATH_DIVIDE);
    if (ratio) left->header = (left->header & ~TYPE_MASK) | TYPE_FLOAT;
}

Cell* time_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                 bool ceiling, bool half_ceiling) {
    if (scale && type_of(scale) == TYPE_MONEY) raise_not_related("round", TYPE_MONEY);
    float_round(value, scale, even, down, half_down, floor, ceiling, half_ceiling);
    double seconds = type_of(value) == TYPE_INTEGER ? double(integer::get_value(value))
                                                    : cell_float(value);
    time::init_cell(seconds, value);
    return value;
}

namespace {
// The whole seconds of the seconds field, nudged away from zero so that a
// value a hair below a whole second counts as that second.
int32_t whole_second(const Cell* value) {
    double s = cell_float(value);
    s = s >= 0 ? s + 1e-06 : s - 1e-06;
    double f = std::fmod(s, 60.0);
    return std::isfinite(f) ? int32_t(f) : 0;
}
}  // namespace

int32_t time_even_q(Cell* value) { return (whole_second(value) & 1) == 0; }
int32_t time_odd_q(Cell* value) { return (whole_second(value) & 1) != 0; }

}  // namespace qor

namespace qor::time {

namespace {

// h:m[:s[.frac]] with an optional sign: seconds, false when malformed.
bool read_time(const uint8_t* start, const uint8_t* end, double* seconds) {
    const uint8_t* p = start;
    bool negative = p < end && *p == '-';
    if (p < end && *p == '+') p++;
    const uint8_t* stop;
    int32_t status;
    int32_t hours = number_scan::time_part_integer(p, end, &stop, &status);
    if (status != 0 || stop == p || (stop == p + 1 && *p == '-') || stop == end || *stop != ':') return false;
    const uint8_t* after_first = stop + 1;
    if (after_first == end || *after_first == '-') return false;  // minutes must not be negative
    int32_t minutes = number_scan::time_part_integer(after_first, end, &stop, &status);
    if (status != 0 || stop == after_first) return false;
    double secs = 0;
    auto read_seconds = [&](const uint8_t* from) {
        char buffer[number_scan::MAX_FLOAT_TEXT];
        uint32_t n = 0;
        for (const uint8_t* q = from; q < end; q++) {
            if (n == sizeof buffer) return false;
            buffer[n++] = *q == ',' ? '.' : char(*q);
        }
        for (uint32_t i = 0; i < n; i++)
            if (buffer[i] == '+' || buffer[i] == '-' || buffer[i] == 'e' || buffer[i] == 'E') return false;
        if (n == 0 || !number_scan::read_float(reinterpret_cast<uint8_t*>(buffer),
                                               reinterpret_cast<uint8_t*>(buffer) + n, 0, &secs))
            return false;
        return secs < 60.0;
    };
    if (stop < end && (*stop == '.' || *stop == ',')) {
        // m:s.frac: the first number is the minutes.
        // Negated as a double: the most negative 32-bit number has no 32-bit negation.
        if (!read_seconds(after_first)) return false;
        double m = hours < 0 ? -double(hours) : double(hours);
        double value = m * 60.0 + secs;
        *seconds = negative || hours < 0 ? -value : value;
        return true;
    }
    if (stop < end && (*stop != ':' || !read_seconds(stop + 1))) return false;
    double h = hours < 0 ? -double(hours) : double(hours);
    double value = h * 3600.0 + double(minutes) * 60.0 + secs;
    // Hours past 32 bits (minutes may carry into them) would not mold back.
    if (value >= 2147483648.0 * 3600.0) return false;
    *seconds = negative || hours < 0 ? -value : value;
    return true;
}

}  // namespace

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool, Cell* out) {
    double seconds;
    if ((seen & literal::SEEN_EXPONENT) || !read_time(start, end, &seconds)) return TYPE_TIME;
    *out = make(seconds);
    return 0;
}

}  // namespace qor::time
