// money!: packed decimal digits, the currency table, exact arithmetic,
// rounding, comparison, text and conversions.
#include "datatypes/money.hpp"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/system_fields.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/word.hpp"
#include "runtime/float_to_text.hpp"
#include "runtime/random.hpp"
#include "runtime/text_to_float.hpp"
#include "datatypes/literal.hpp"

namespace qor {

using namespace number_support;

namespace money {

namespace {

// ---- Digit strings ---------------------------------------------------------------------------
// Amounts are worked on unpacked, as whole numbers of 10^-5 units, one
// decimal digit a byte, least significant first: index i holds digit
// position 22 - i.

struct Amount {
    uint8_t d[DIGITS];
};

constexpr int WIDE = 2 * DIGITS;   // a product before truncation

Amount unpack(const Cell* cell) {
    uint8_t bytes[12];
    std::memcpy(bytes, &cell->data1, sizeof bytes);
    Amount a{};
    for (int p = 1; p <= DIGITS; ++p) {
        uint8_t b = bytes[1 + (p - 1) / 2];
        a.d[DIGITS - p] = (p & 1) ? uint8_t(b >> 4) : uint8_t(b & 0x0F);
    }
    return a;
}

void pack(const Amount& a, uint8_t out[PACKED_BYTES]) {
    std::memset(out, 0, PACKED_BYTES);
    for (int p = 1; p <= DIGITS; ++p) {
        uint8_t digit = a.d[DIGITS - p];
        out[(p - 1) / 2] |= (p & 1) ? uint8_t(digit << 4) : digit;
    }
}

bool all_zero(const uint8_t* d, int n) {
    for (int i = 0; i < n; ++i)
        if (d[i]) return false;
    return true;
}

// Three-way comparison of two digit strings of the same length.
int compare_digits(const uint8_t* a, const uint8_t* b, int n) {
    for (int i = n - 1; i >= 0; --i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

// a += b over n digits; answers the carry out of the top digit.
bool add_digits(uint8_t* a, const uint8_t* b, int n) {
    int carry = 0;
    for (int i = 0; i < n; ++i) {
        int s = a[i] + b[i] + carry;
        carry = s >= 10;
        a[i] = uint8_t(carry ? s - 10 : s);
    }
    return carry != 0;
}

// a -= b over n digits, with a >= b.
void subtract_digits(uint8_t* a, const uint8_t* b, int n) {
    int borrow = 0;
    for (int i = 0; i < n; ++i) {
        int s = a[i] - b[i] - borrow;
        borrow = s < 0;
        a[i] = uint8_t(borrow ? s + 10 : s);
    }
}

// Long division of an n-digit numerator by a 22-digit divisor (not zero):
// the n-digit quotient and the 22-digit remainder.
void divide_digits(const uint8_t* numerator, int n, const Amount& divisor, uint8_t* quotient,
                   Amount& remainder) {
    uint8_t r[DIGITS + 1] = {};
    uint8_t d[DIGITS + 1] = {};
    std::memcpy(d, divisor.d, DIGITS);
    for (int i = n - 1; i >= 0; --i) {
        std::memmove(r + 1, r, DIGITS);   // r = r * 10 + the next digit
        r[0] = numerator[i];
        uint8_t q = 0;
        while (compare_digits(r, d, DIGITS + 1) >= 0) {
            subtract_digits(r, d, DIGITS + 1);
            ++q;
        }
        quotient[i] = q;
    }
    std::memcpy(remainder.d, r, DIGITS);
}

bool is_zero(const Amount& a) { return all_zero(a.d, DIGITS); }
int compare(const Amount& a, const Amount& b) { return compare_digits(a.d, b.d, DIGITS); }

// ---- Errors ----------------------------------------------------------------------------------

[[noreturn]] void type_limit(uint32_t type) {
    Cell t = datatype_cell(type);
    raise_error("script", "type-limit", &t);
}

[[noreturn]] void bad_make(const Cell* value) {
    Cell t = datatype_cell(TYPE_MONEY);
    raise_error("script", "bad-make-arg", &t, value);
}

// ---- Signed values ---------------------------------------------------------------------------

struct Value {
    int32_t  sign;       // -1, 0, 1
    uint32_t currency;
    Amount   amount;
};

Value read(const Cell* cell) {
    Value v;
    v.amount = unpack(cell);
    v.currency = cell->data1 & 0xFFu;
    v.sign = is_zero(v.amount) ? 0 : (cell->header & FLAG_MONEY_SIGN) ? -1 : 1;
    return v;
}

void write(Cell* cell, const Value& v) {
    uint8_t packed[PACKED_BYTES];
    pack(v.amount, packed);
    init_cell(cell, v.sign < 0, v.currency, packed);
}

Value add_values(const Value& a, const Value& b) {
    if (a.sign == 0) return Value{b.sign, 0, b.amount};
    if (b.sign == 0) return Value{a.sign, 0, a.amount};
    Value r{a.sign, 0, a.amount};
    if (a.sign == b.sign) {
        if (add_digits(r.amount.d, b.amount.d, DIGITS)) type_limit(TYPE_MONEY);
        return r;
    }
    int c = compare(a.amount, b.amount);
    if (c == 0) return Value{0, 0, Amount{}};
    if (c < 0) {
        r = Value{b.sign, 0, b.amount};
        subtract_digits(r.amount.d, a.amount.d, DIGITS);
    } else {
        subtract_digits(r.amount.d, b.amount.d, DIGITS);
    }
    return r;
}

Value multiply_values(const Value& a, const Value& b) {
    if (a.sign == 0 || b.sign == 0) return Value{0, 0, Amount{}};
    uint32_t wide[WIDE] = {};
    for (int i = 0; i < DIGITS; ++i)
        for (int j = 0; j < DIGITS; ++j) wide[i + j] += uint32_t(a.amount.d[i]) * b.amount.d[j];
    for (int i = 0; i + 1 < WIDE; ++i) {
        wide[i + 1] += wide[i] / 10;
        wide[i] %= 10;
    }
    // Ten decimals: the last five are dropped (truncating), the rest must
    // fit the 22 positions.
    for (int i = FRACTION_DIGITS + DIGITS; i < WIDE; ++i)
        if (wide[i]) type_limit(TYPE_MONEY);
    Value r{a.sign == b.sign ? 1 : -1, 0, Amount{}};
    for (int i = 0; i < DIGITS; ++i) r.amount.d[i] = uint8_t(wide[i + FRACTION_DIGITS]);
    // Two amounts whose product vanishes below the last decimal.
    if (is_zero(r.amount)) type_limit(TYPE_MONEY);
    return r;
}

// The quotient, truncated to five decimals, or the remainder (the sign of
// the dividend).
Value divide_values(const Value& a, const Value& b, bool remainder) {
    if (b.sign == 0) raise_math("zero-divide");
    Amount rest;
    if (remainder) {
        uint8_t q[DIGITS];
        divide_digits(a.amount.d, DIGITS, b.amount, q, rest);
        return Value{is_zero(rest) ? 0 : a.sign, 0, rest};
    }
    uint8_t numerator[DIGITS + FRACTION_DIGITS] = {};
    std::memcpy(numerator + FRACTION_DIGITS, a.amount.d, DIGITS);
    uint8_t q[DIGITS + FRACTION_DIGITS];
    divide_digits(numerator, DIGITS + FRACTION_DIGITS, b.amount, q, rest);
    if (!all_zero(q + DIGITS, FRACTION_DIGITS)) type_limit(TYPE_MONEY);
    Value r{0, 0, Amount{}};
    std::memcpy(r.amount.d, q, DIGITS);
    if (!is_zero(r.amount)) r.sign = a.sign == b.sign ? 1 : -1;
    return r;
}

// -1, 0 or 1: signs first, then magnitudes.
int32_t compare_values(const Value& a, const Value& b) {
    if (a.sign != b.sign) return a.sign < b.sign ? -1 : 1;
    if (a.sign == 0) return 0;
    int c = compare(a.amount, b.amount);
    return a.sign < 0 ? -c : c;
}

// ---- The system object -----------------------------------------------------------------------

const Cell* currency_list() {
    const Cell* list = system_fields::value({"locale", "currencies", "list"});
    return list && type_of(list) == TYPE_BLOCK ? list : nullptr;
}

int32_t index_of_symbol(int32_t canonical) {
    const Cell* list = currency_list();
    if (!list || canonical <= 0) return -1;
    uint32_t n = block::length(list);
    for (uint32_t i = 0; i < n && i < 255; ++i) {
        const Cell* item = block::item(list, i);
        if (is_word_kind(type_of(item)) && symbol::resolve_alias(int32_t(item->data2)) == canonical)
            return int32_t(i + 1);
    }
    return -1;
}

// The decimals that text shows: system/options/money-digits when it is an
// integer, else 2.
int32_t shown_decimals() {
    const Cell* d = system_fields::value({"options", "money-digits"});
    return d && type_of(d) == TYPE_INTEGER ? integer::get_value(d) : 2;
}


// The spellings of two currencies' words compared without regard to ASCII
// case: -1, 0 or 1.
int32_t compare_codes(uint32_t a, uint32_t b) {
    const Cell* wa = currency_word(a);
    const Cell* wb = currency_word(b);
    if (!wa || !wb) return 0;
    int32_t ia = int32_t(wa->data2), ib = int32_t(wb->data2);
    const uint8_t* x = symbol::spelling(ia);
    const uint8_t* y = symbol::spelling(ib);
    uint32_t nx = symbol::spelling_length(ia), ny = symbol::spelling_length(ib);
    for (uint32_t k = 0; x && y && k < nx && k < ny; ++k) {
        uint8_t cx = x[k] >= 'a' && x[k] <= 'z' ? uint8_t(x[k] - 32) : x[k];
        uint8_t cy = y[k] >= 'a' && y[k] <= 'z' ? uint8_t(y[k] - 32) : y[k];
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    return nx == ny ? 0 : nx < ny ? -1 : 1;
}

// ---- Conversions of operands -----------------------------------------------------------------

Value value_of_integer(int32_t n) {
    Value v{n < 0 ? -1 : n > 0 ? 1 : 0, 0, Amount{}};
    uint32_t m = n < 0 ? 0u - uint32_t(n) : uint32_t(n);
    for (int i = FRACTION_DIGITS; m; ++i) {
        v.amount.d[i] = uint8_t(m % 10);
        m /= 10;
    }
    return v;
}

// The float's shortest round-trip digits: the decimals a user sees are the
// ones taken, so 0.29 is $0.29 rather than the 0.28999... that more digits
// of its binary value would give.
Value value_of_float(double x, bool strict) {
    double ax = std::fabs(x);
    if (!std::isfinite(x) || ax >= 1e17 || (ax > 0.0 && ax < 1e-05)) {
        Cell f = float_::make(x);
        bad_make(&f);
    }
    Value v{0, 0, Amount{}};
    if (ax == 0.0) return v;
    int32_t decpt = 0, negative = 0, length = 0;
    const char* digits = float_text::dtoa(x, 0, &decpt, &negative, &length, 1);
    if (strict && length - decpt > FRACTION_DIGITS) {
        Cell f = float_::make(x);
        bad_make(&f);
    }
    // digit k (0-based) of the text stands for 10^(decpt - 1 - k); unit
    // index i stands for 10^(i - 5).
    for (int32_t k = 0; k < length; ++k) {
        int32_t i = decpt - 1 - k + FRACTION_DIGITS;
        if (i < 0) break;   // beyond the fifth decimal: dropped
        if (i < DIGITS) v.amount.d[i] = uint8_t(digits[k] - '0');
    }
    v.sign = is_zero(v.amount) ? 0 : negative ? -1 : 1;
    return v;
}

// An arithmetic operand as money: integer! and float!/percent! converted,
// money! as it is; another type raises script/invalid-type.
Value operand(const Cell* cell) {
    switch (type_of(cell)) {
    case TYPE_MONEY: return read(cell);
    case TYPE_INTEGER: return value_of_integer(integer::get_value(cell));
    case TYPE_FLOAT: case TYPE_PERCENT: return value_of_float(cell_float(cell), false);
    default: raise_invalid_type(type_of(cell));
    }
}

bool compatible(uint32_t a, uint32_t b, bool strict) {
    return strict ? a == b : (a == 0 || b == 0 || a == b);
}

// ---- Arithmetic ------------------------------------------------------------------------------

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    uint32_t lt = type_of(left), rt = type_of(right);
    if (op == MATH_MULTIPLY && lt == TYPE_MONEY && rt == TYPE_MONEY) raise_invalid_type(lt);
    if ((op == MATH_DIVIDE || op == MATH_REMAINDER) && lt != TYPE_MONEY && rt == TYPE_MONEY)
        raise_invalid_type(lt);
    Value a = operand(left);
    Value b = operand(right);
    if (!compatible(a.currency, b.currency, false)) raise_error("script", "wrong-denom", left, right);
    uint32_t currency = b.currency ? b.currency : a.currency;
    Value r{0, 0, Amount{}};
    switch (op) {
    case MATH_ADD: r = add_values(a, b); break;
    case MATH_SUBTRACT:
        b.sign = -b.sign;
        r = add_values(a, b);
        break;
    case MATH_MULTIPLY: r = multiply_values(a, b); break;
    case MATH_DIVIDE: r = divide_values(a, b, false); break;
    case MATH_REMAINDER: r = divide_values(a, b, true); break;
    default: raise_invalid_type(TYPE_MONEY);
    }
    r.currency = currency;
    uint32_t keep = left->header & FLAG_NEW_LINE;
    if (op == MATH_DIVIDE && lt == TYPE_MONEY && rt == TYPE_MONEY) {
        Cell q{};
        write(&q, r);
        float_::init_cell(left, to_float(&q));
        left->header = TYPE_FLOAT | keep;
        return;
    }
    write(left, r);
    left->header |= keep;
}

// ---- Making ----------------------------------------------------------------------------------

Value from_block(const Cell* spec) {
    uint32_t n = block::length(spec);
    if (n < 1 || n > 3) bad_make(spec);
    Cell items[3];
    for (uint32_t i = 0; i < n; ++i) items[i] = *block::item(spec, i);
    uint32_t i = 0;
    uint32_t currency = 0;
    if (is_any_word(type_of(&items[0]))) {
        int32_t index = currency_index(&items[0]);
        if (index < 0 || n == 1) bad_make(&items[0]);
        currency = uint32_t(index);
        i = 1;
    }
    Value v{0, 0, Amount{}};
    switch (type_of(&items[i])) {
    case TYPE_INTEGER: v = value_of_integer(integer::get_value(&items[i])); break;
    case TYPE_FLOAT:
        v = value_of_float(cell_float(&items[i]), true);
        if (i + 1 < n) bad_make(&items[i + 1]);
        break;
    default: bad_make(&items[i]);
    }
    if (++i < n) {
        // A whole number of 10^-5 units, with the amount's sign.
        const Cell* f = &items[i];
        if (type_of(f) != TYPE_INTEGER || integer::get_value(f) < 0 ||
            integer::get_value(f) > BLOCK_FRACTION_MAX)
            bad_make(f);
        Value part{0, 0, Amount{}};
        for (int32_t k = 0, m = integer::get_value(f); m; ++k, m /= 10) part.amount.d[k] = uint8_t(m % 10);
        if (!is_zero(part.amount)) {
            int32_t sign = v.sign ? v.sign : 1;
            part.sign = sign;
            v.sign = sign;
            v = add_values(v, part);
        }
        if (++i < n) bad_make(&items[i]);
    }
    v.currency = currency;
    return v;
}

Value from_text(const Cell* spec) {
    number_scan::MoneyParts parts;
    Cell original = *spec;
    Cell m{};
    if (!number_scan::string_to_money_parts(spec, &parts) ||
        !from_digits(&m, parts.negative, parts.currency[0] ? parts.currency : nullptr, parts.integer,
                     parts.fraction))
        raise_bad_to_arg(TYPE_MONEY, &original);
    return read(&m);
}

Value to_value(const Cell* spec) {
    switch (type_of(spec)) {
    case TYPE_MONEY: return read(spec);
    case TYPE_INTEGER: return value_of_integer(integer::get_value(spec));
    case TYPE_FLOAT: return value_of_float(cell_float(spec), true);
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        return from_text(spec);
    default: raise_bad_to_arg(TYPE_MONEY, spec);
    }
}

// The cell becomes the money; the result slot's new-line mark stays.
Cell* set_result(const Value& v) {
    Cell* result = stack::arguments_base();
    Cell m{};
    write(&m, v);
    *result = m;
    return result;
}

// Path and pick fields: 1 code, 2 amount; -1 for anything else.
int32_t field_of(const Cell* element) {
    uint32_t t = type_of(element);
    if (t == TYPE_INTEGER) {
        int32_t n = integer::get_value(element);
        return n == 1 || n == 2 ? n : -1;
    }
    if (is_any_word(t)) {
        if (word::spelled(element, "code")) return 1;
        if (word::spelled(element, "amount")) return 2;
    }
    return -1;
}

Cell* push_field(const Cell* value, int32_t field) {
    if (field == 2) {
        Value v = read(value);
        v.currency = 0;
        Cell m{};
        write(&m, v);
        Cell* cell = stack::push_slot();
        *cell = m;
        return cell;
    }
    const Cell* word = currency_word(value->data1 & 0xFFu);
    return stack::push(word ? word : none_value);
}

// Draws 0..top (uniformly) from the generator.
int32_t draw(bool secure, int32_t top) {
    int32_t drawn = 0;
    if (!random::integer(secure, top + 1, drawn)) raise_error("internal", "feature-na");
    return drawn - 1;
}

}  // namespace

// ---- Interface -------------------------------------------------------------------------------

void init() {
    TypeSpec spec = make_type_spec(TYPE_MONEY);
    set_slot<SLOT_MAKE>(spec, money_make);
    set_slot<SLOT_RANDOM>(spec, money_random);
    set_slot<SLOT_TO>(spec, money_to);
    set_slot<SLOT_FORM>(spec, money_form);
    set_slot<SLOT_MOLD>(spec, money_mold);
    set_slot<SLOT_EVAL_PATH>(spec, money_eval_path);
    set_slot<SLOT_COMPARE>(spec, money_compare);
    set_slot<SLOT_ABSOLUTE>(spec, money_absolute);
    set_slot<SLOT_ADD>(spec, money_add);
    set_slot<SLOT_DIVIDE>(spec, money_divide);
    set_slot<SLOT_MULTIPLY>(spec, money_multiply);
    set_slot<SLOT_NEGATE>(spec, money_negate);
    set_slot<SLOT_REMAINDER>(spec, money_remainder);
    set_slot<SLOT_ROUND>(spec, money_round);
    set_slot<SLOT_SUBTRACT>(spec, money_subtract);
    set_slot<SLOT_EVEN_Q>(spec, money_even_q);
    set_slot<SLOT_ODD_Q>(spec, money_odd_q);
    set_slot<SLOT_PICK>(spec, money_pick);
    install_datatype(TYPE_SPEC_WORDS, &spec);

    number_hooks::Hooks& hooks = number_hooks::get();
    hooks.money_from_integer = from_integer;
    hooks.money_from_float = from_float;
    hooks.money_to_integer = to_integer;
    hooks.money_to_float = to_float;
}

void init_cell(Cell* cell, bool negative, uint32_t currency, const uint8_t digits[PACKED_BYTES]) {
    uint8_t bytes[12];
    bytes[0] = uint8_t(currency);
    std::memcpy(bytes + 1, digits, PACKED_BYTES);
    bool zero = all_zero(bytes + 1, PACKED_BYTES);
    cell->header = (cell->header & FLAG_NEW_LINE) | TYPE_MONEY | (negative && !zero ? FLAG_MONEY_SIGN : 0);
    std::memcpy(&cell->data1, bytes, sizeof bytes);
}

Cell* push_new(bool negative, uint32_t currency, const uint8_t digits[PACKED_BYTES]) {
    Cell* cell = stack::push_slot();
    cell->header = 0;
    init_cell(cell, negative, currency, digits);
    return cell;
}

bool from_digits(Cell* cell, bool negative, const char* currency, const char* integer,
                 const char* fraction) {
    uint32_t index = 0;
    if (currency && *currency) {
        int32_t found = currency_index_of_text(currency);
        if (found < 0) return false;
        index = uint32_t(found);
    }
    Value v{0, index, Amount{}};
    // The integer digits end at unit index 5, leading zeros aside.
    const char* digits[INTEGER_DIGITS];
    int32_t count = 0;
    for (const char* p = integer; p && *p; ++p) {
        if (*p == '\'') continue;
        if (*p < '0' || *p > '9') return false;
        if (count == 0 && *p == '0') continue;
        if (count == INTEGER_DIGITS) return false;
        digits[count++] = p;
    }
    for (int32_t k = 0; k < count; ++k) v.amount.d[FRACTION_DIGITS + count - 1 - k] = uint8_t(*digits[k] - '0');
    for (int32_t k = 0; fraction && fraction[k]; ++k) {
        if (k == FRACTION_DIGITS || fraction[k] < '0' || fraction[k] > '9') return false;
        v.amount.d[FRACTION_DIGITS - 1 - k] = uint8_t(fraction[k] - '0');
    }
    v.sign = is_zero(v.amount) ? 0 : negative ? -1 : 1;
    Cell m{};
    write(&m, v);
    *cell = m;
    return true;
}

void from_integer(int32_t n, Cell* out) {
    Cell m{};
    write(&m, value_of_integer(n));
    *out = m;
}

void from_float(double x, bool strict, Cell* out) {
    Cell m{};
    write(&m, value_of_float(x, strict));
    *out = m;
}

double to_float(const Cell* money) {
    Value v = read(money);
    char text[DIGITS + 2];
    uint32_t n = 0;
    for (int i = DIGITS - 1; i >= 0; --i) {
        if (i == FRACTION_DIGITS - 1) text[n++] = '.';
        text[n++] = char('0' + v.amount.d[i]);
    }
    double x = float_text::strtod(text, text + n, 0, nullptr);
    return v.sign < 0 ? -x : x;
}

bool integer_range_q(const Cell* money) {
    Value v = read(money);
    // The integer digits as a number: at most 17 digits fit in 64 bits.
    uint64_t whole = 0;
    for (int i = DIGITS - 1; i >= FRACTION_DIGITS; --i) whole = whole * 10 + v.amount.d[i];
    return whole > (v.sign < 0 ? 2147483648ull : 2147483647ull);
}

int32_t to_integer(const Cell* money) {
    if (integer_range_q(money)) type_limit(TYPE_INTEGER);
    Value v = read(money);
    int64_t whole = 0;
    for (int i = DIGITS - 1; i >= FRACTION_DIGITS; --i) whole = whole * 10 + v.amount.d[i];
    return int32_t(v.sign < 0 ? -whole : whole);
}

int32_t sign(const Cell* money) { return read(money).sign; }
bool zero_q(const Cell* money) { return is_zero(unpack(money)); }
uint32_t currency_of(const Cell* money) { return money->data1 & 0xFFu; }

int32_t currency_index(const Cell* word) {
    return index_of_symbol(symbol::resolve_alias(int32_t(word->data2)));
}

int32_t currency_index_of_text(const char* code) {
    int32_t id = symbol::find(code, true);
    return id ? index_of_symbol(symbol::resolve_alias(id)) : -1;
}

const Cell* currency_word(uint32_t index) {
    const Cell* list = currency_list();
    if (!list || index == 0 || index > block::length(list)) return nullptr;
    const Cell* word = block::item(list, index - 1);
    return is_word_kind(type_of(word)) ? word : nullptr;
}

int32_t write_text(const Cell* money, Cell* out, int32_t limit, bool all, bool grouping) {
    Value v = read(money);
    char text[64];
    uint32_t n = 0;
    if (v.sign < 0) text[n++] = '-';
    if (const Cell* word = currency_word(v.currency)) {
        int32_t id = int32_t(word->data2);
        uint32_t length = symbol::spelling_length(id);
        const uint8_t* spelling = symbol::spelling(id);
        for (uint32_t k = 0; spelling && k < length && k < 8; ++k) text[n++] = char(spelling[k]);
    }
    text[n++] = '$';
    int first = INTEGER_DIGITS;   // the first significant integer position
    for (int p = 1; p <= INTEGER_DIGITS; ++p) {
        if (v.amount.d[DIGITS - p]) {
            first = p;
            break;
        }
    }
    for (int p = first; p <= INTEGER_DIGITS; ++p) {
        text[n++] = char('0' + v.amount.d[DIGITS - p]);
        if (grouping && (p + 1) % 3 == 0 && p != INTEGER_DIGITS) text[n++] = '\'';
    }
    int32_t decimals = shown_decimals();
    if (all || decimals > FRACTION_DIGITS) decimals = FRACTION_DIGITS;
    if (decimals >= 1) {
        text[n++] = '.';
        for (int32_t k = 0; k < decimals; ++k) text[n++] = char('0' + v.amount.d[FRACTION_DIGITS - 1 - k]);
    }
    append_text(out, text, n);
    return limit - int32_t(n);
}

}  // namespace money

// ---- Actions ---------------------------------------------------------------------------------

using money::Value;

Cell* money_make(Cell* prototype, Cell* spec) {
    uint32_t t = type_of(spec);
    if (is_any_word(t)) {
        int32_t index = money::currency_index(spec);
        if (index < 0) money::bad_make(spec);
        return money::set_result(Value{0, uint32_t(index), money::Amount{}});
    }
    if (t == TYPE_BLOCK || t == TYPE_PAREN) return money::set_result(money::from_block(spec));
    return money_to(prototype, spec);
}

Cell* money_to(Cell* prototype, Cell* spec) { return money::set_result(money::to_value(spec)); }

Cell* money_random(Cell* value, bool seed, bool secure, bool only) {
    if (seed) {
        random::seed(int32_t(value->data1 ^ value->data2 ^ value->data3 ^ (value->header & FLAG_MONEY_SIGN)));
        unset::set(value);
        return value;
    }
    Value v = money::read(value);
    // Digit by digit from the first significant one: each digit draws at
    // most its current value until one draws below it; the digits after
    // that are free.  A draw equal to the current value is mostly redrawn,
    // so the value itself is rare.
    bool free = false;
    for (int i = money::DIGITS - 1; i >= 0; --i) {
        uint8_t& digit = v.amount.d[i];
        if (free) {
            digit = uint8_t(money::draw(secure, 9));
            continue;
        }
        if (digit == 0) continue;   // nothing to choose
        for (;;) {
            int32_t x = money::draw(secure, digit);
            if (x < digit) {
                digit = uint8_t(x);
                free = true;
                break;
            }
            if (random::next() % 1000 == random::next() % 1000) break;
        }
    }
    if (money::is_zero(v.amount)) v.sign = 0;
    uint32_t keep = value->header & FLAG_NEW_LINE;
    money::write(value, v);
    value->header |= keep;
    return value;
}

int32_t money_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return money::write_text(value, out, limit, false, true);
}

int32_t money_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent) {
    return money::write_text(value, out, limit, all, false);
}

Cell* money_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                      Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                      bool last, bool notify) {
    int32_t field = money::field_of(element);
    if (field < 0) raise_error("script", "invalid-path", path, element);
    if (new_value) raise_error("script", "bad-path-set", element, new_value);
    return money::push_field(value, field);
}

Cell* money_pick(Cell* value, int32_t index) {
    Cell given = pick_index_arg(value, index);
    int32_t field = money::field_of(&given);
    if (field < 0) raise_error("script", "out-of-range", &given);
    return money::push_field(value, field);
}

int32_t money_compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t2 = type_of(value2);
    if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) && t2 != TYPE_MONEY) return 1;
    Value a = money::read(value1);
    Value b{0, 0, money::Amount{}};
    switch (t2) {
    case TYPE_MONEY:
        b = money::read(value2);
        switch (op) {
        case COMP_LESSER: case COMP_LESSER_EQUAL: case COMP_GREATER: case COMP_GREATER_EQUAL:
            if (!money::compatible(a.currency, b.currency, false))
                raise_error("script", "wrong-denom", value1, value2);
            break;
        case COMP_SORT: case COMP_CASE_SORT:
            // No currency first, then currencies by their words, then amounts.
            if (a.currency != b.currency) {
                if (a.currency == 0) return -1;
                if (b.currency == 0) return 1;
                int32_t c = money::compare_codes(a.currency, b.currency);
                if (c == 0) c = a.currency < b.currency ? -1 : 1;
                return c;
            }
            break;
        case COMP_STRICT_EQUAL: case COMP_SAME:
            if (!money::compatible(a.currency, b.currency, true)) return 1;
            break;
        case COMP_FIND:
            if (b.currency && !money::compatible(a.currency, b.currency, true)) return 1;
            break;
        default:
            if (!money::compatible(a.currency, b.currency, false)) return 1;
            break;
        }
        break;
    case TYPE_INTEGER:
        b = money::value_of_integer(integer::get_value(value2));
        break;
    case TYPE_FLOAT: {
        double x = cell_float(value2);
        double ax = std::fabs(x);
        // Floats money cannot hold: never equal; ordered by where they lie.
        if (ax >= 1e17) return x > 0 ? -1 : 1;
        if (ax > 0.0 && ax < 1e-05) {
            if (a.sign != 0) return a.sign;
            return x > 0 ? -1 : 1;
        }
        b = money::value_of_float(x, true);
        break;
    }
    default:
        return COMPARE_INCOMPARABLE;
    }
    return money::compare_values(a, b);
}

void money_absolute() {
    Cell* value = stack::arguments_base();
    value->header &= ~FLAG_MONEY_SIGN;
}

void money_add() { money::do_math(MATH_ADD); }
void money_subtract() { money::do_math(MATH_SUBTRACT); }
void money_multiply() { money::do_math(MATH_MULTIPLY); }
void money_divide() { money::do_math(MATH_DIVIDE); }
void money_remainder() { money::do_math(MATH_REMAINDER); }

Cell* money_negate(Cell* value) {
    if (!money::zero_q(value)) value->header ^= FLAG_MONEY_SIGN;
    return value;
}

Cell* money_round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    Value v = money::read(value);
    if (v.sign == 0) return value;
    Value s{1, 0, money::Amount{}};
    if (scale) {
        switch (type_of(scale)) {
        case TYPE_MONEY: s = money::read(scale); break;
        case TYPE_INTEGER: s = money::value_of_integer(integer::get_value(scale)); break;
        case TYPE_FLOAT: s = money::value_of_float(cell_float(scale), true); break;
        default: raise_not_related("round", type_of(scale));
        }
    } else {
        s.amount.d[money::FRACTION_DIGITS] = 1;   // 1.00000
    }
    if (s.sign == 0) return value;
    // On the magnitude: r = v mod s; the candidates are v - r (toward zero)
    // and v + (s - r) (away from zero).
    const money::Amount& m = v.amount;
    money::Amount r;
    uint8_t q[money::DIGITS];
    money::divide_digits(m.d, money::DIGITS, s.amount, q, r);
    if (money::is_zero(r)) return value;
    money::Amount up = s.amount;   // s - r
    money::subtract_digits(up.d, r.d, money::DIGITS);
    int half = money::compare(r, up);   // < 0 below half-way, 0 half-way
    bool tie = half == 0;
    bool positive = v.sign > 0;
    bool away;
    if (down) away = false;
    else if (floor) away = !positive;
    else if (ceiling) away = positive;
    else if (even && tie) away = (q[0] & 1) != 0;   // toward the even multiple
    else if (half_down && tie) away = false;
    else if (half_ceiling && tie) away = positive;
    else away = half >= 0;
    money::Amount result = m;
    if (away) {
        if (money::add_digits(result.d, up.d, money::DIGITS)) money::type_limit(TYPE_MONEY);
    } else {
        money::subtract_digits(result.d, r.d, money::DIGITS);
    }
    v.amount = result;
    if (money::is_zero(v.amount)) v.sign = 0;
    uint32_t keep = value->header & FLAG_NEW_LINE;
    money::write(value, v);
    value->header |= keep;
    return value;
}

int32_t money_even_q(Cell* value) {
    return (money::unpack(value).d[money::FRACTION_DIGITS] & 1) == 0;
}

int32_t money_odd_q(Cell* value) {
    return (money::unpack(value).d[money::FRACTION_DIGITS] & 1) != 0;
}

}  // namespace qor

namespace qor::money {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool make, Cell* out) {
    number_scan::MoneyParts parts;
    if (!number_scan::money_parts(start, end, false, &parts)) return TYPE_MONEY;
    *out = Cell{TYPE_MONEY, 0, 0, 0};
    if (!make) return 0;
    if (!from_digits(out, parts.negative, parts.currency[0] ? parts.currency : nullptr, parts.integer,
                     parts.fraction))
        return TYPE_MONEY;
    return 0;
}

}  // namespace qor::money
