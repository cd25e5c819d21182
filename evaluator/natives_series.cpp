// Series, text and constructor natives: percent escapes (dehex, enhex),
// base codecs (debase, enbase), letter case, new-line markers, pairs and
// points from numbers, `as`, and the two file questions (size?,
// to-local-file).
#include <cmath>
#include <cstring>
#include <limits>

#include "datatypes/binary_codecs.hpp"
#include "datatypes/block.hpp"
#include "datatypes/file_path.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/money.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/string.hpp"
#include "datatypes/url_codec.hpp"
#include "evaluator/natives.hpp"
#include "datatypes/binary.hpp"
#include "evaluator/natives_system.hpp"
#include "evaluator/natives_support.hpp"
#include "services/files.hpp"

namespace qor::natives {

using support::arg;
using support::check_arg;
using support::typeset_of;
using support::used;

namespace {

Cell any_string_types() {
    return typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF});
}
Cell any_list_types() { return typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}); }
Cell coordinate_types() { return typeset_of({TYPE_INTEGER, TYPE_FLOAT}); }

void set_result(const Cell& value) { stack::set_last_keep(value); }

// The base of /base (64 when absent); another than 2, 16, 58 or 64 raises
// script/invalid-arg with it.
int32_t base_arg(const int32_t* refinements) {
    if (!used(refinements, 0)) return 64;
    Cell* b = arg(uint32_t(refinements[0]));
    int32_t base = integer::get_value(b);
    if (base != 2 && base != 16 && base != 58 && base != 64) raise_error("script", "invalid-arg", b);
    return base;
}

// A numeric argument as a double (integer! or float!).
double number_arg(uint32_t index, int32_t position) {
    Cell* a = arg(index);
    if (type_of(a) == TYPE_INTEGER) return double(integer::get_value(a));
    if (type_of(a) == TYPE_FLOAT) return cell_float(a);
    support::raise_expect_arg(int32_t(index), position);
}

// A coordinate of a pair!: an integer as it is, a float truncated toward
// zero; a float that is not finite, or beyond the 32-bit range, raises
// script/invalid-arg with it.
int32_t pair_coordinate(uint32_t index, int32_t position) {
    Cell* a = arg(index);
    if (type_of(a) == TYPE_INTEGER) return integer::get_value(a);
    double x = number_arg(index, position);
    if (!std::isfinite(x) || std::trunc(x) < -2147483648.0 || std::trunc(x) > 2147483647.0)
        raise_error("script", "invalid-arg", a);
    return int32_t(std::trunc(x));
}

uint32_t single_bits(double x) {
    float f = float(x);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// The class `as` coerces within: 1 any-block (block, paren, the paths),
// 2 any-string, 0 neither.
int32_t coerce_class(uint32_t type) {
    if (type == TYPE_BLOCK || type == TYPE_PAREN || is_any_path(type)) return 1;
    if (is_any_string(type)) return 2;
    return 0;
}

int32_t case_change(bool check, const int32_t* refinements, bool upper) {
    check_arg(check, 0, typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_CHAR}),
              0);
    check_arg(check, refinements[0],
              support::typeset_union(support::number_types(), any_string_types()), 2);
    Cell* part = nullptr;
    if (used(refinements, 0)) {
        part = arg(uint32_t(refinements[0]));
        // A float count counts its whole part.
        if (type_of(part) == TYPE_FLOAT || type_of(part) == TYPE_PERCENT) {
            double x = std::trunc(cell_float(part));
            int32_t n = x < 0 ? 0 : x > 2147483647.0 ? INT32_MAX : int32_t(x);
            *part = integer::make(n);
        }
    }
    Cell value = *arg(0);
    gc::CellRoot keep(&value);
    case_::change_part(&value, part, upper);
    set_result(value);
    return 0;
}

}  // namespace

// ---- Percent escapes -----------------------------------------------------------------------------

int32_t dehex_star(bool check, const int32_t*) {
    check_arg(check, 0, any_string_types(), 0);
    set_result(url::decode_to_string(arg(0)));
    return 0;
}

int32_t enhex_star(bool check, const int32_t*) {
    check_arg(check, 0, any_string_types(), 0);
    Cell out = string::make(string::length(arg(0)));
    gc::CellRoot keep(&out);
    url::encode_percent(arg(0), &out, type_of(arg(0)) == TYPE_STRING ? url::STRICT_SET : url::URL_SET);
    set_result(out);
    return 0;
}

// ---- Base codecs ----------------------------------------------------------------------------------

int32_t debase_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_STRING}), 0);
    check_arg(check, refinements[0], typeset_of({TYPE_INTEGER}), 2);
    int32_t base = base_arg(refinements);
    uint32_t count = string::remaining_length(arg(0));
    size_t room = binary::decoded_room(base, count);
    Cell out = binary::make(nullptr, uint32_t(room));
    gc::CellRoot keep(&out);
    // Nothing allocates from here on: the addresses stay valid.
    SeriesBuffer* src = string::buffer(arg(0));
    uint32_t unit = src->unit();
    const uint8_t* text = src->head + size_t(arg(0)->data1) * unit;
    uint8_t* bytes = buffer_of(cell_node(&out))->head;
    int32_t n = -1;
    switch (base) {
    case 2: n = binary::debase_2(text, unit, count, bytes); break;
    case 16: n = binary::debase_16(text, unit, count, bytes); break;
    case 58: n = binary::debase_58(text, unit, count, bytes); break;
    default: n = binary::debase_64(text, unit, count, bytes); break;
    }
    if (n < 0) {
        set_result(Cell{TYPE_NONE, 0, 0, 0});
        return 0;
    }
    SeriesBuffer* s = buffer_of(cell_node(&out));
    s->tail = s->head + n;
    set_result(out);
    return 0;
}

int32_t enbase_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_BINARY, TYPE_STRING}), 0);
    check_arg(check, refinements[0], typeset_of({TYPE_INTEGER}), 2);
    int32_t base = base_arg(refinements);
    std::string bytes = binary::bytes_of(arg(0));
    uint64_t size = binary::encoded_size(base, bytes.size());
    if (size >= 0x80000000ull) raise_error("script", "too-long");
    Cell out = string::make(uint32_t(size));
    gc::CellRoot keep(&out);
    SeriesBuffer* s = string::buffer(&out);
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    char* text = reinterpret_cast<char*>(s->head);
    size_t n = 0;
    switch (base) {
    case 2: n = binary::enbase_2(in, bytes.size(), text); break;
    case 16: n = binary::enbase_16(in, bytes.size(), text); break;
    case 58: n = binary::enbase_58(in, bytes.size(), text); break;
    default: n = binary::enbase_64(in, bytes.size(), text); break;
    }
    s->tail = s->head + n;
    set_result(out);
    return 0;
}

// ---- Letter case ------------------------------------------------------------------------------------

int32_t uppercase_star(bool check, const int32_t* refinements) { return case_change(check, refinements, true); }
int32_t lowercase_star(bool check, const int32_t* refinements) { return case_change(check, refinements, false); }

// ---- New-line markers ---------------------------------------------------------------------------------

int32_t new_line_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, any_list_types(), 0);
    check_arg(check, 1, typeset_of({TYPE_LOGIC}), 1);
    check_arg(check, refinements[1], typeset_of({TYPE_INTEGER}), 4);
    Cell position = *arg(0);
    bool on = arg(1)->data1 != 0;
    uint32_t step = 0;   // 0: the cell at the position only
    if (used(refinements, 1)) {
        Cell* size = arg(uint32_t(refinements[1]));
        if (integer::get_value(size) <= 0) raise_error("script", "out-of-range", size);
        step = uint32_t(integer::get_value(size));
    } else if (used(refinements, 0)) {
        step = 1;
    }
    uint32_t n = block::remaining_length(&position);
    Cell* first = block::tail_pointer(&position) - n;
    for (uint32_t i = 0; i < n; i += step ? step : n) {
        if (on) first[i].header |= FLAG_NEW_LINE;
        else first[i].header &= ~FLAG_NEW_LINE;
    }
    set_result(position);
    return 0;
}

int32_t new_line_q_star(bool check, const int32_t*) {
    check_arg(check, 0, any_list_types(), 0);
    Cell* position = arg(0);
    bool marked = false;
    if (block::remaining_length(position) > 0) {
        Cell* cell = block::tail_pointer(position) - block::remaining_length(position);
        marked = (cell->header & FLAG_NEW_LINE) != 0;
    }
    set_result(Cell{TYPE_LOGIC, marked ? 1u : 0u, 0, 0});
    return 0;
}

// ---- Pairs, points and money --------------------------------------------------------------------------

int32_t as_pair_star(bool check, const int32_t*) {
    check_arg(check, 0, coordinate_types(), 0);
    check_arg(check, 1, coordinate_types(), 1);
    int32_t x = pair_coordinate(0, 0);
    int32_t y = pair_coordinate(1, 1);
    set_result(Cell{TYPE_PAIR, 0, uint32_t(x), uint32_t(y)});
    return 0;
}

int32_t as_point2d_star(bool check, const int32_t*) {
    check_arg(check, 0, coordinate_types(), 0);
    check_arg(check, 1, coordinate_types(), 1);
    set_result(Cell{TYPE_POINT2D, single_bits(number_arg(0, 0)), single_bits(number_arg(1, 1)), 0});
    return 0;
}

int32_t as_point3d_star(bool check, const int32_t*) {
    for (uint32_t i = 0; i < 3; i++) check_arg(check, int32_t(i), coordinate_types(), int32_t(i));
    set_result(Cell{TYPE_POINT3D, single_bits(number_arg(0, 0)), single_bits(number_arg(1, 1)),
                    single_bits(number_arg(2, 2))});
    return 0;
}

int32_t as_money_star(bool check, const int32_t*) {
    check_arg(check, 0, typeset_of({TYPE_WORD}), 0);
    check_arg(check, 1, coordinate_types(), 1);
    Cell* currency = arg(0);
    int32_t index = money::currency_index(currency);
    if (index < 0) raise_error("script", "bad-denom", currency);
    // A float keeps the decimals money holds; further ones are dropped.
    Cell* amount = arg(1);
    Cell m{};
    if (type_of(amount) == TYPE_INTEGER) money::from_integer(integer::get_value(amount), &m);
    else money::from_float(number_arg(1, 1), false, &m);
    m.data1 = (m.data1 & ~0xFFu) | uint32_t(index);
    set_result(m);
    return 0;
}

// ---- as ------------------------------------------------------------------------------------------------

int32_t as_star(bool check, const int32_t*) {
    Cell series_kinds = support::typeset_union(support::any_path_types(),
                                              support::typeset_union(typeset_of({TYPE_BLOCK, TYPE_PAREN}),
                                                                    any_string_types()));
    check_arg(check, 0, support::typeset_union(series_kinds, typeset_of({TYPE_DATATYPE})), 0);
    check_arg(check, 1, series_kinds, 1);
    Cell* type = arg(0);
    Cell spec = *arg(1);
    uint32_t target = type_of(type) == TYPE_DATATYPE ? type->data1 : uint32_t(type_of(type));
    uint32_t from = type_of(&spec);
    int32_t cls = coerce_class(from);
    if (cls == 0 || coerce_class(target) != cls) {
        Cell from_type{TYPE_DATATYPE, from, 0, 0}, to_type{TYPE_DATATYPE, target, 0, 0};
        raise_error("script", "not-same-class", &from_type, &to_type);
    }
    spec.header = (spec.header & ~TYPE_MASK) | target;
    set_result(spec);
    return 0;
}

// ---- Files -----------------------------------------------------------------------------------------------

int32_t size_q_star(bool check, const int32_t*) {
    check_arg(check, 0, typeset_of({TYPE_FILE}), 0);
    int64_t size = files::size(arg(0));
    if (size < 0) set_result(Cell{TYPE_NONE, 0, 0, 0});
    else if (size <= INT32_MAX) set_result(integer::make(int32_t(size)));
    else set_result(float_::make(double(size)));   // beyond the integer range: never a wrapped count
    return 0;
}

int32_t to_local_file_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_FILE, TYPE_STRING}), 0);
    Cell out = string::make(string::length(arg(0)) + 8);
    gc::CellRoot keep(&out);
    file::to_local_path(arg(0), &out, used(refinements, 0));
    set_result(out);
    return 0;
}

}  // namespace qor::natives
