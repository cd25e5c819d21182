// String storage: unit rules, widening writers, construction, concatenation
// and comparison.
#include "datatypes/string.hpp"

#include <cstring>

#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/series.hpp"
#include "runtime/text_to_float.hpp"
#include "datatypes/unicode.hpp"
#include "datatypes/text_literal.hpp"

namespace qor::string {

namespace {

[[noreturn, gnu::noinline]] void bad_unit() {
    runtime::error(runtime::ERR_NO_SWITCH_MATCH,
                   reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

inline void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
    switch (unit) {
    case 1: *p = uint8_t(cp); break;
    case 2: p[0] = uint8_t(cp); p[1] = uint8_t(cp >> 8); break;
    case 4: std::memcpy(p, &cp, 4); break;
    default: bad_unit();
    }
}

// The unit a code point needs when it arrives at a buffer of unit `unit`,
// given the writer's unit-1 threshold (127 for appends, 255 for stores).
inline uint32_t unit_for(uint32_t unit, uint32_t cp, uint32_t threshold) {
    if (unit == 1 && cp > threshold) return cp > 0xFFFF ? 4 : 2;
    if (unit == 2 && cp > 0xFFFF) return 4;
    return unit;
}

// Growth to twice the need, or the need itself when twice is too much.
inline uint32_t twice_or_exact(uint32_t need) {
    return need > memory::MAX_CAPACITY / 2 ? need : need * 2;
}

inline uint32_t room_from_head(SeriesBuffer* s) { return uint32_t(s->data_end() - s->head); }

// Makes room for `bytes` bytes from the head: double when that suffices,
// else exactly the need.
SeriesBuffer* grow_for(Node node, uint32_t bytes) {
    SeriesBuffer* s = buffer_of(node);
    if (room_from_head(s) >= bytes) return s;
    uint32_t doubled = s->capacity > memory::MAX_CAPACITY / 2 ? 0 : s->capacity * 2;
    uint32_t want = doubled >= bytes ? doubled : bytes;
    return memory::expand_series(s, want);
}

inline uint32_t clamp_index(const Cell* value, SeriesBuffer* s, uint32_t shift) {
    int32_t index = int32_t(value->data1);
    uint32_t units = s->byte_length() >> shift;
    if (index < 0) return 0;
    return uint32_t(index) > units ? units : uint32_t(index);
}

}  // namespace

// ---- Units -------------------------------------------------------------------

uint32_t unit_shift(uint32_t unit) {
    switch (unit) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    default: bad_unit();
    }
}

// ---- Character access ----------------------------------------------------------

uint32_t get_char(const uint8_t* p, uint32_t unit) {
    switch (unit) {
    case 1: return *p;
    case 2: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    case 4: {
        uint32_t cp;
        std::memcpy(&cp, p, 4);
        return cp;
    }
    default: bad_unit();
    }
}

uint32_t char_at(const Cell* value, uint32_t offset) {
    SeriesBuffer* s = buffer(value);
    uint32_t u = s->unit();
    return get_char(s->head + (offset << unit_shift(u)), u);
}

uint8_t* index_pointer(Cell* value) {
    SeriesBuffer* s = buffer(value);
    uint32_t shift = unit_shift(s->unit());
    uint32_t index = clamp_index(value, s, shift);
    value->data1 = index;
    return s->head + (index << shift);
}

bool at_tail_q(const Cell* value) {
    SeriesBuffer* s = buffer(value);
    int32_t index = int32_t(value->data1);
    if (index < 0) return s->head >= s->tail;
    return (uint64_t(uint32_t(index)) << unit_shift(s->unit())) >= s->byte_length();
}

uint32_t remaining_length(Cell* value) {
    SeriesBuffer* s = buffer(value);
    uint32_t shift = unit_shift(s->unit());
    uint32_t units = s->byte_length() >> shift;
    int32_t index = int32_t(value->data1);
    if (index >= 0 && uint32_t(index) > units) {
        value->data1 = units;
        return 0;
    }
    return index < 0 ? units : units - uint32_t(index);
}

uint32_t length_from_head(Cell* value) {
    remaining_length(value);   // clamps a past-tail index
    SeriesBuffer* s = buffer(value);
    return s->byte_length() >> unit_shift(s->unit());
}

bool skip_by(Cell* value, int32_t n) {
    SeriesBuffer* s = buffer(value);
    uint32_t units = s->byte_length() >> unit_shift(s->unit());
    int64_t next = int64_t(int32_t(value->data1)) + n;
    if (next >= 0 && next <= int64_t(units)) value->data1 = uint32_t(next);
    return int64_t(int32_t(value->data1)) >= int64_t(units);
}

bool skip_one(Cell* value) { return skip_by(value, 1); }

uint8_t* tail_pointer(const Cell* value) { return buffer(value)->tail; }

int32_t find_char_offset(const Cell* value, uint32_t cp) {
    SeriesBuffer* s = buffer(value);
    uint32_t u = s->unit(), shift = unit_shift(u);
    uint32_t units = s->byte_length() >> shift;
    uint32_t start = clamp_index(value, s, shift);
    for (uint32_t i = start; i < units; i++)
        if (get_char(s->head + (i << shift), u) == cp) return int32_t(i - start);
    return -1;
}

bool contains_char_q(const Cell* value, uint32_t cp, uint32_t record, bool exact) {
    SeriesBuffer* s = buffer(value);
    uint32_t u = s->unit(), shift = unit_shift(u);
    uint32_t units = s->byte_length() >> shift;
    if (record == 0) record = 1;
    uint32_t want = exact ? cp : case_::map_char(cp, true);
    for (uint32_t i = clamp_index(value, s, shift); i < units; i += record) {
        uint32_t c = get_char(s->head + (i << shift), u);
        if ((exact ? c : case_::map_char(c, true)) == want) return true;
        if (units - i < record) break;
    }
    return false;
}

bool starts_with_c_string_q(const Cell* value, const char* text) {
    SeriesBuffer* s = buffer(value);
    uint32_t u = s->unit(), shift = unit_shift(u);
    uint32_t units = s->byte_length() >> shift;
    uint32_t i = clamp_index(value, s, shift);
    size_t n = std::strlen(text);
    if (units - i < n) return false;
    for (size_t k = 0; k < n; k++) {
        uint32_t c = get_char(s->head + ((i + k) << shift), u);
        if (c > 255 || c != uint8_t(text[k])) return false;
    }
    return true;
}

bool code_point_in_bitset_q(uint32_t cp, const Cell* bitset) {
    SeriesBuffer* b = buffer_of(cell_node(bitset));
    uint64_t bits = uint64_t(b->byte_length()) * 8;
    if (cp >= bits) return (b->flags & SERIES_BITSET_NOT) != 0;
    return (b->head[cp >> 3] & (0x80u >> (cp & 7))) != 0;
}

bool char_in_bitset_q(const Cell* value, const Cell* bitset) {
    if (at_tail_q(value)) return false;
    return code_point_in_bitset_q(char_at(value, value->data1), bitset);
}

bool tag_delimited_at_q(const Cell* value, const Cell* tag) {
    SeriesBuffer* s = buffer(value);
    uint32_t shift = unit_shift(s->unit());
    uint32_t units = s->byte_length() >> shift;
    uint32_t i = clamp_index(value, s, shift);
    Cell t = *tag;
    uint64_t close = uint64_t(i) + remaining_length(&t) + 1;
    if (i >= units || close >= units) return false;
    return char_at(value, i) == '<' && char_at(value, uint32_t(close)) == '>';
}

bool match_at_q(const Cell* value, const Cell* pattern, int32_t op) {
    switch (type_of(pattern)) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_EMAIL: case TYPE_REF:
        return compare_strings(value, pattern, op, true) == 0;
    case TYPE_CHAR: {
        if (at_tail_q(value)) return false;
        uint32_t c = char_at(value, value->data1), p = pattern->data2;
        if (op == 2) return c == p;
        return case_::map_char(c, true) == case_::map_char(p, true);
    }
    case TYPE_TAG: {
        if (!tag_delimited_at_q(value, pattern)) return false;
        Cell past = *value;
        past.data1 = value->data1 + 1;
        return compare_strings(&past, pattern, op, true) == 0;
    }
    default:
        return false;
    }
}

// ---- Writing characters ----------------------------------------------------------

SeriesBuffer* widen_to(Node node, uint32_t unit) {
    SeriesBuffer* s = buffer_of(node);
    uint32_t from = s->unit();
    if (from == unit) return s;
    if (from == 1 && unit == 2) return unicode::widen_latin1_to_ucs2(s);
    if (from == 1 && unit == 4) return unicode::widen_latin1_to_ucs4(s);
    if (from == 2 && unit == 4) return unicode::widen_ucs2_to_ucs4(s);
    if (from > unit && (from == 2 || from == 4) && (unit == 1 || unit == 2)) return s;   // never narrows
    bad_unit();
}

SeriesBuffer* reserve(Node node, uint32_t extra) {
    SeriesBuffer* s = buffer_of(node);
    uint32_t shift = unit_shift(s->unit());
    uint32_t need = memory::checked_add(s->byte_length(), memory::checked_mul(extra, 1u << shift));
    if (room_from_head(s) >= need) return s;
    return memory::expand_series(s, twice_or_exact(need));
}

SeriesBuffer* append_char(Cell* value, uint32_t cp) {
    Node node = cell_node(value);
    SeriesBuffer* s = buffer_of(node);
    if (s->unit() == 1 && cp < 128 && s->tail < s->data_end()) {   // the common case: ASCII with room
        *s->tail++ = uint8_t(cp);
        return s;
    }
    uint32_t u = unit_for(s->unit(), cp, 127);
    if (u != s->unit()) s = widen_to(node, u);
    if (room_from_head(s) < s->byte_length() + u) s = grow_for(node, memory::checked_add(s->byte_length(), u));
    put_char(s->tail, u, cp);
    s->tail += u;
    return s;
}

SeriesBuffer* write_char_at(Cell* value, uint32_t position, uint32_t cp) {
    Node node = cell_node(value);
    SeriesBuffer* s = buffer_of(node);
    uint32_t u = unit_for(s->unit(), cp, 255);
    if (u != s->unit()) s = widen_to(node, u);
    uint32_t shift = unit_shift(u);
    uint32_t end = memory::checked_mul(memory::checked_add(position, 1), u);
    if (room_from_head(s) < end) s = grow_for(node, end);
    uint8_t* p = s->head + (position << shift);
    if (p > s->tail) std::memset(s->tail, 0, size_t(p - s->tail));   // no stale bytes in a gap
    put_char(p, u, cp);
    if (p + u > s->tail) s->tail = p + u;
    return s;
}

SeriesBuffer* insert_char_at(Cell* value, uint32_t position, uint32_t cp) {
    Node node = cell_node(value);
    SeriesBuffer* s = buffer_of(node);
    uint32_t u = unit_for(s->unit(), cp, 255);
    if (u != s->unit()) s = widen_to(node, u);
    if (room_from_head(s) < s->byte_length() + u) s = grow_for(node, memory::checked_add(s->byte_length(), u));
    uint32_t shift = unit_shift(u);
    uint32_t units = s->byte_length() >> shift;
    if (position > units) position = units;
    uint8_t* p = s->head + (position << shift);
    std::memmove(p + u, p, size_t(s->tail - p));
    put_char(p, u, cp);
    s->tail += u;
    return s;
}

SeriesBuffer* poke_char(Node node, uint32_t position, uint32_t cp) {
    SeriesBuffer* s = buffer_of(node);
    uint32_t u = unit_for(s->unit(), cp, 255);
    if (u != s->unit()) s = widen_to(node, u);
    uint32_t shift = unit_shift(u);
    if ((uint64_t(position) << shift) + u > s->byte_length()) return s;   // never beyond the tail
    put_char(s->head + (position << shift), u, cp);
    return s;
}

void remove_units(Cell* value, uint32_t position, uint32_t n) {
    SeriesBuffer* s = buffer(value);
    uint32_t shift = unit_shift(s->unit());
    uint32_t units = s->byte_length() >> shift;
    if (position >= units || n == 0) return;
    if (n > units - position) n = units - position;
    uint8_t* p = s->head + (position << shift);
    uint32_t bytes = n << shift;
    std::memmove(p, p + bytes, size_t(s->tail - (p + bytes)));
    s->tail -= bytes;
}

void remove_char_at(Cell* value, uint32_t position) { remove_units(value, position, 1); }

void truncate_tail(Cell* value, uint32_t n) {
    SeriesBuffer* s = buffer(value);
    uint64_t bytes = uint64_t(n) << unit_shift(s->unit());
    if (bytes <= room_from_head(s) && s->head + bytes < s->tail) s->tail = s->head + bytes;
}

void reset_empty(Cell* value) {
    SeriesBuffer* s = buffer(value);
    s->flags = (s->flags & ~SERIES_UNIT_MASK) | 1;
    s->tail = s->head;
    value->data1 = 0;
}

void move_chars(Cell* source, Cell* target, uint32_t position, uint32_t n) {
    uint32_t from = clamp_index(source, buffer(source), unit_shift(buffer(source)->unit()));
    for (uint32_t k = 0; k < n; k++) {
        SeriesBuffer* s = buffer(source);
        uint32_t shift = unit_shift(s->unit());
        if (((from + k) << shift) >= s->byte_length()) {
            n = k;
            break;
        }
        insert_char_at(target, position + k, char_at(source, from + k));
    }
    remove_units(source, from, n);
}

Node copy_widened(Node source, uint32_t start, uint32_t n, Node target, uint32_t unit, bool set_tail) {
    if (unit != 2 && unit != 4) bad_unit();
    if (!target) {
        gc::NodeRoot keep(&source);
        target = memory::alloc_series(n ? n : 1, unit, 0);
    } else {
        SeriesBuffer* t = buffer_of(target);
        if (room_from_head(t) < memory::checked_mul(n, unit)) memory::expand_series(t, n * unit);
    }
    SeriesBuffer* s = buffer_of(source);
    SeriesBuffer* t = buffer_of(target);
    uint32_t su = s->unit();
    uint32_t ss = unit_shift(su);
    for (uint32_t i = 0; i < n; i++) put_char(t->head + i * unit, unit, get_char(s->head + ((start + i) << ss), su));
    if (set_tail) {
        t->tail = t->head + n * unit;
        t->flags = (t->flags & ~SERIES_UNIT_MASK) | unit;
    }
    return target;
}

namespace {
constexpr uint32_t k_rotate_scratch = 65536;
uint8_t* rotate_scratch = nullptr;
}  // namespace

void init_rotate_scratch() {
    if (!rotate_scratch) rotate_scratch = static_cast<uint8_t*>(heap::alloc(k_rotate_scratch));
}

void rotate_ranges(uint8_t* p, uint32_t a, uint32_t b) {
    if (a == 0 || b == 0) return;
    // The shorter range waits in the scratch buffer while the longer slides.
    uint32_t shorter = a < b ? a : b;
    init_rotate_scratch();
    bool grown = shorter > k_rotate_scratch;
    if (grown) rotate_scratch = static_cast<uint8_t*>(heap::realloc(rotate_scratch, shorter));
    if (a <= b) {
        std::memcpy(rotate_scratch, p, a);
        std::memmove(p, p + a, b);
        std::memcpy(p + b, rotate_scratch, a);
    } else {
        std::memcpy(rotate_scratch, p + a, b);
        std::memmove(p + b, p, a);
        std::memcpy(p, rotate_scratch, b);
    }
    if (grown) rotate_scratch = static_cast<uint8_t*>(heap::realloc(rotate_scratch, k_rotate_scratch));
}

// ---- Construction ---------------------------------------------------------------------

void init_cell_sized(Cell* cell, uint32_t unit, uint32_t capacity) {
    if (unit != 1 && unit != 2 && unit != 4) bad_unit();
    *cell = Cell{TYPE_UNSET, 0, 0, 0};   // a collection during the allocation sees no half-made value
    Node node = memory::alloc_series(capacity ? capacity : 1, unit, 0);
    *cell = Cell{TYPE_STRING, 0, 0, 0};
    set_cell_node(cell, node);
}

void init_cell(Cell* cell, uint32_t capacity) { init_cell_sized(cell, 1, capacity); }

Cell* push_cell(const Cell* value) { return stack::push(value); }

Cell make(uint32_t capacity) {
    Cell c;
    init_cell(&c, capacity);
    return c;
}

Cell from_utf8(const char* text, size_t length) {
    if (length == SIZE_MAX) length = std::strlen(text);
    if (length > memory::MAX_CAPACITY) memory::raise_no_memory();
    Cell c;
    init_cell(&c, uint32_t(length));
    append_utf8(&c, text, length);
    return c;
}

Cell from_latin1(const char* text, size_t length) {
    if (length == SIZE_MAX) length = std::strlen(text);
    if (length > memory::MAX_CAPACITY) memory::raise_no_memory();
    Cell c;
    init_cell(&c, uint32_t(length));
    SeriesBuffer* s = buffer(&c);
    std::memcpy(s->head, text, length);
    s->tail = s->head + length;
    return c;
}

void append_bytes(Cell* value, const uint8_t* bytes, uint32_t n) {
    if (n == 0) return;
    Node node = cell_node(value);
    SeriesBuffer* s = buffer_of(node);
    uint32_t u = s->unit();
    if (u == 1) {
        // Append widens at 128: bytes above it need unit 2.
        for (uint32_t i = 0; i < n; i++)
            if (bytes[i] > 127) {
                s = widen_to(node, 2);
                u = 2;
                break;
            }
    }
    s = reserve(node, n);
    uint8_t* p = s->tail;
    if (u == 1) {
        std::memcpy(p, bytes, n);
    } else {
        for (uint32_t i = 0; i < n; i++) put_char(p + i * u, u, bytes[i]);
    }
    s->tail = p + n * u;
}

void append_c_string(Cell* value, const char* text) {
    append_bytes(value, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)));
}

void append_ascii(Cell* value, const char* text, size_t length) {
    if (length == SIZE_MAX) length = std::strlen(text);
    if (length > memory::MAX_CAPACITY) memory::raise_no_memory();
    append_bytes(value, reinterpret_cast<const uint8_t*>(text), uint32_t(length));
}

void append_utf8(Cell* value, const char* text, size_t length) {
    if (length == SIZE_MAX) length = std::strlen(text);
    if (length > memory::MAX_CAPACITY) memory::raise_no_memory();
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + length;
    // One pass to find the widest character, so the buffer widens and grows once.
    uint32_t widest = 0, count = 0;
    for (const uint8_t* q = p; q < end;) {
        if (*q < 0x80) {   // ASCII, most text: no decoding
            if (*q > widest) widest = *q;
            q++;
            count++;
            continue;
        }
        int32_t avail = int32_t(end - q);
        int32_t cp = unicode::utf8_decode_char_strict(q, &avail);
        if (cp < 0) {
            Cell rest{TYPE_INTEGER, 0, uint32_t(end - q), 0};
            raise_error("access", "invalid-utf8", &rest);
        }
        if (uint32_t(cp) > widest) widest = uint32_t(cp);
        q += avail;
        count++;
    }
    Node node = cell_node(value);
    // Whole text arrives at once: Latin-1 stays one byte per character.
    uint32_t u = unit_for(buffer_of(node)->unit(), widest, 255);
    if (u != buffer_of(node)->unit()) widen_to(node, u);
    SeriesBuffer* s = reserve(node, count);
    uint8_t* out = s->tail;
    auto decode = [&](auto store) {
        for (const uint8_t* q = p; q < end; out += u) {
            if (*q < 0x80) {
                store(out, *q++);
                continue;
            }
            int32_t avail = int32_t(end - q);
            store(out, uint32_t(unicode::utf8_decode_char_strict(q, &avail)));
            q += avail;
        }
    };
    // The unit's store chosen once, not per character.
    if (u == 1) decode([](uint8_t* at, uint32_t cp) { *at = uint8_t(cp); });
    else if (u == 2) decode([](uint8_t* at, uint32_t cp) { at[0] = uint8_t(cp); at[1] = uint8_t(cp >> 8); });
    else decode([u](uint8_t* at, uint32_t cp) { put_char(at, u, cp); });
    s->tail = out;
}

void append_string(Cell* target, const Cell* source) { concatenate(target, source, -1, 0, true, CONCAT_APPEND); }

uint32_t length(const Cell* value) {
    Cell c = *value;
    return remaining_length(&c);
}

std::u32string to_code_points(const Cell* value) {
    SeriesBuffer* s = buffer(value);
    uint32_t u = s->unit(), shift = unit_shift(u);
    uint32_t units = s->byte_length() >> shift;
    std::u32string out;
    for (uint32_t i = clamp_index(value, s, shift); i < units; i++) out.push_back(char32_t(get_char(s->head + (i << shift), u)));
    return out;
}

std::string to_utf8(const Cell* value) {
    std::string out;
    for (char32_t c : to_code_points(value)) {
        uint8_t bytes[4];
        uint32_t cp = uint32_t(c) > 0x10FFFF ? 0xFFFD : uint32_t(c);
        uint32_t n = unicode::utf8_encode_char(cp, bytes);
        out.append(reinterpret_cast<char*>(bytes), n);
    }
    return out;
}

Cell* load_encoded(const void* address, uint32_t length, Cell* cell, int32_t encoding) {
    if (encoding != 0 && encoding != -1) {
        // An unknown encoding is the caller's mistake: report it instead of
        // leaving the process.
        Cell code{TYPE_INTEGER, 0, uint32_t(encoding), 0};
        raise_error("script", "invalid-arg", &code);
    }
    if (!cell) {
        cell = stack::push_slot();
        *cell = Cell{TYPE_UNSET, 0, 0, 0};
    }
    Node node;
    if (encoding == 0) {
        *cell = Cell{TYPE_UNSET, 0, 0, 0};
        node = unicode::load_utf8_new(static_cast<const uint8_t*>(address), length);
    } else {
        node = unicode::load_utf16(static_cast<const uint16_t*>(address), length, nullptr, false);
    }
    *cell = Cell{TYPE_STRING, 0, 0, 0};
    set_cell_node(cell, node);
    return cell;
}

Cell* load(const void* address, uint32_t length, int32_t encoding) {
    return load_encoded(address, length, nullptr, encoding);
}

Cell* load_into_block(const void* address, uint32_t length, Cell* block, int32_t encoding) {
    Cell made;
    load_encoded(address, length, &made, encoding);
    Cell* slot = block_buffer::alloc_tail(block);
    *slot = made;
    return slot;
}

double bytes_to_float(const uint8_t* start, uint32_t length) {
    const char* p = reinterpret_cast<const char*>(start);
    return float_text::strtod(p, p + length, 0, nullptr);
}

const char* byte_to_hex(uint8_t b) {
    static char buffer[3];
    static const char digits[] = "0123456789ABCDEF";
    buffer[0] = digits[b >> 4];
    buffer[1] = digits[b & 15];
    buffer[2] = 0;
    return buffer;
}

const char* int_to_hex(int32_t n, bool trim) {
    static char buffer[9];
    static const char digits[] = "0123456789ABCDEF";
    int32_t fill = n < 0 ? -1 : 0;
    char* p = buffer + 8;
    *p = 0;
    int32_t v = n;
    int produced = 0;
    do {
        *--p = digits[v & 15];
        v >>= 4;   // arithmetic: a negative value runs out at -1
        produced++;
    } while (v != fill && produced < 8);
    if (trim) {
        if (n == 0) return "00";
        return p;
    }
    while (p > buffer) *--p = n < 0 ? 'F' : '0';
    return buffer;
}

void from_utf8_binary(const Cell* binary, Cell* result) {
    Cell src = *binary;
    SeriesBuffer* b = buffer(&src);
    uint32_t index = clamp_index(&src, b, 0);
    uint32_t n = b->byte_length() - index;
    *result = Cell{TYPE_UNSET, 0, 0, 0};
    Node node = memory::alloc_series(n ? n : 1, 1, 0);
    Cell made{TYPE_STRING, 0, 0, 0};
    set_cell_node(&made, node);
    gc::CellRoot keep(&made);
    b = buffer(&src);
    // The decoder needs its input to end with a non-continuation byte, so
    // the bytes are copied aside with a NUL after them.
    std::string bytes(reinterpret_cast<const char*>(b->head + index), n);
    uint32_t remaining = 0;
    unicode::load_utf8(reinterpret_cast<const uint8_t*>(bytes.data()), n, node, &remaining, false);
    if (remaining) {
        Node rest = memory::alloc_series(remaining, 1, 0);
        SeriesBuffer* r = buffer_of(rest);
        std::memcpy(r->head, bytes.data() + (n - remaining), remaining);
        r->tail = r->head + remaining;
        Cell arg{TYPE_BINARY, 0, 0, 0};
        set_cell_node(&arg, rest);
        raise_error("access", "invalid-utf8", &arg);
    }
    *result = made;
}

// ---- Concatenation ------------------------------------------------------------------------

namespace {

// A symbol stands for its cached text, read from its head.
const Cell* text_of_symbol(const Cell* value, Cell* text) {
    if (type_of(value) != TYPE_SYMBOL) return value;
    *text = Cell{TYPE_STRING, 0, 0, 0};
    // The cached text when there is one; else it is decoded first (the
    // record must then be the table's own).
    Node node = value->data2 ? reinterpret_cast<Node>(value->data2)
                             : symbol::ensure_string(reinterpret_cast<SymbolRecord*>(const_cast<Cell*>(value)));
    set_cell_node(text, node);
    return text;
}

}  // namespace

void concatenate(Cell* target_in, const Cell* source_in, int32_t limit, int32_t offset, bool keep_source,
                 int32_t mode) {
    Cell target_text;
    Cell* target = type_of(target_in) == TYPE_SYMBOL ? const_cast<Cell*>(text_of_symbol(target_in, &target_text))
                                                      : target_in;
    Cell source_text;
    Cell source = *text_of_symbol(source_in, &source_text);
    gc::CellRoot keep(&source);
    Node tnode = cell_node(target);
    Node snode = cell_node(&source);
    uint32_t tu = buffer_of(tnode)->unit(), su = buffer_of(snode)->unit();
    unit_shift(tu);
    unit_shift(su);
    bool differ = false;
    if (tu < su) {
        widen_to(tnode, su);
        tu = su;
    } else if (su < tu) {
        if (keep_source) differ = true;
        else su = widen_to(snode, tu)->unit();
    }
    uint32_t n = remaining_length(&source);
    if (limit >= 0 && uint32_t(limit) < n) n = uint32_t(limit);
    uint32_t tshift = unit_shift(tu);
    uint32_t needed = memory::checked_mul(n, tu);
    SeriesBuffer* t = buffer_of(tnode);
    uint32_t used = t->byte_length();
    uint32_t tindex = clamp_index(target, t, tshift);
    uint32_t at = mode == CONCAT_APPEND ? used : memory::checked_add(tindex << tshift, uint32_t(offset) << tshift);
    if (at > used) at = used;
    uint32_t end_needed = memory::checked_add(mode == CONCAT_OVERWRITE ? at : used, needed);
    if (end_needed > room_from_head(t)) t = memory::expand_series(t, twice_or_exact(end_needed));
    // The source may share the target's buffer: take both from the nodes now.
    SeriesBuffer* s = buffer_of(snode);
    uint32_t sshift = unit_shift(s->unit());
    uint32_t sindex = clamp_index(&source, s, sshift);
    if (mode == CONCAT_INSERT) std::memmove(t->head + at + needed, t->head + at, used - at);
    uint32_t from = sindex << sshift;
    if (s == t && mode == CONCAT_INSERT) {
        // The gap just opened moved the source text that lay at or after it.
        if (from >= at) {
            std::memcpy(t->head + at, t->head + from + needed, needed);
        } else {
            uint32_t first = at - from < needed ? at - from : needed;
            std::memcpy(t->head + at, t->head + from, first);
            std::memcpy(t->head + at + first, t->head + at + needed, needed - first);
        }
    } else if (differ) {
        uint8_t* out = t->head + at;
        for (uint32_t i = 0; i < n; i++) put_char(out + (i << tshift), tu, get_char(s->head + ((sindex + i) << sshift), su));
    } else {
        std::memmove(t->head + at, s->head + from, needed);
    }
    switch (mode) {
    case CONCAT_APPEND: t->tail = t->head + used + needed; break;
    case CONCAT_INSERT: t->tail = t->head + used + needed; break;
    default: if (at + needed > used) t->tail = t->head + at + needed; break;
    }
}

void overwrite_range(Cell* target, const Cell* source, int32_t limit, int32_t offset, bool keep_source) {
    concatenate(target, source, limit, offset, keep_source, CONCAT_OVERWRITE);
}

// ---- Comparison -----------------------------------------------------------------------------

uint32_t fold_char_slow(uint32_t c) { return case_::map_char(c, true); }

const uint32_t* fold_table() {
    // Built on first use: the case tables are filled at load time, but the
    // order of that against this file's own statics is not fixed.
    static uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (uint32_t c = 0; c < 256; c++) table[c] = case_::map_char(c, true);
        ready = true;
    }
    return table;
}

namespace {

template <class T>
inline uint32_t unit_at(const uint8_t* p, uint32_t i) {
    T v;
    std::memcpy(&v, p + size_t(i) * sizeof(T), sizeof(T));
    return uint32_t(v);
}

// The first difference of n characters: -1, 0 or 1 by (folded) code point.
template <class A, class B>
int32_t compare_units(const uint8_t* pa, const uint8_t* pb, uint32_t n, bool fold) {
    if (!fold && sizeof(A) == 1 && sizeof(B) == 1) {
        int r = std::memcmp(pa, pb, n);
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    const uint32_t* table = fold ? fold_table() : nullptr;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t ca = unit_at<A>(pa, i), cb = unit_at<B>(pb, i);
        if (ca == cb) continue;
        if (fold) {
            ca = fold_char(table, ca);
            cb = fold_char(table, cb);
            if (ca == cb) continue;
        }
        return ca < cb ? -1 : 1;
    }
    return 0;
}

template <class A>
int32_t compare_units_b(const uint8_t* pa, const uint8_t* pb, uint32_t ub, uint32_t n, bool fold) {
    switch (ub) {
    case 1: return compare_units<A, uint8_t>(pa, pb, n, fold);
    case 2: return compare_units<A, uint16_t>(pa, pb, n, fold);
    case 4: return compare_units<A, uint32_t>(pa, pb, n, fold);
    default: bad_unit();
    }
}

}  // namespace

int32_t compare_strings(const Cell* a_in, const Cell* b_in, int32_t op, bool prefix) {
    if (cell_node(a_in) == cell_node(b_in) && a_in->data1 == b_in->data1) {
        if (op == COMP_SAME) return 0;
        if (op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND) return 0;
    } else if (op == COMP_SAME) {
        return -1;
    }
    Cell a_text, b_text;
    Cell a = *text_of_symbol(a_in, &a_text), b = *text_of_symbol(b_in, &b_text);
    SeriesBuffer* sa = buffer(&a);
    SeriesBuffer* sb = buffer(&b);
    uint32_t ua = sa->unit(), ub = sb->unit();
    uint32_t ha = unit_shift(ua), hb = unit_shift(ub);
    uint32_t ia = clamp_index(&a, sa, ha), ib = clamp_index(&b, sb, hb);
    uint32_t la = (sa->byte_length() >> ha) - ia;
    uint32_t lb = (sb->byte_length() >> hb) - ib;
    if (type_of(b_in) == TYPE_STRING_SLICE && int32_t(b_in->data3) >= 0 && b_in->data3 < lb) lb = b_in->data3;
    uint32_t n;
    if (prefix) {
        if (lb == 0) return op == COMP_FIND ? 1 : 0;
        if (la < lb) return 1;
        n = lb;
    } else {
        if (la != lb) {
            if (op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND || lb == 0)
                return 1;
        }
        if (la == 0 && lb == 0) return 0;
        n = la < lb ? la : lb;
    }
    bool fold = op != COMP_STRICT_EQUAL && op != COMP_CASE_SORT;
    const uint8_t* pa = sa->head + (ia << ha);
    const uint8_t* pb = sb->head + (ib << hb);
    int32_t r;
    switch (ua) {
    case 1: r = compare_units_b<uint8_t>(pa, pb, ub, n, fold); break;
    case 2: r = compare_units_b<uint16_t>(pa, pb, ub, n, fold); break;
    default: r = compare_units_b<uint32_t>(pa, pb, ub, n, fold); break;
    }
    if (r != 0 || prefix) return r;
    return la == lb ? 0 : la < lb ? -1 : 1;
}

// ---- Text forms -------------------------------------------------------------------------------

void append_escaped_char(Cell* out, uint32_t cp, bool all, bool quote_form) {
    static const char table[] = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";
    char text[16];
    // A lone surrogate has no UTF-8 form that loads again: it is written
    // as its escape, so molded text always reads back.
    if (cp == 30 || (cp >= 128 && cp <= 159) || (all && cp > 127) || (cp >= 0xD800 && cp <= 0xDFFF)) {
        text[0] = '^';
        text[1] = '(';
        std::strcpy(text + 2, int_to_hex(int32_t(cp), true));
        std::strcat(text, ")");
        append_ascii(out, text);
    } else if (cp < 32) {
        text[0] = '^';
        text[1] = table[cp];
        append_ascii(out, text, 2);
    } else if (cp == '"' && quote_form) {
        append_ascii(out, "^\"", 2);
    } else if (cp == '^') {
        append_ascii(out, "^^", 2);
    } else if (cp == 127) {
        append_ascii(out, "^~", 2);
    } else {
        append_char(out, cp);
    }
}

bool braces_balanced_q(const Cell* value, uint32_t from, uint32_t end) {
    SeriesBuffer* s = buffer(value);
    uint32_t u = s->unit(), shift = unit_shift(u);
    uint32_t units = s->byte_length() >> shift;
    if (end > units) end = units;
    int32_t depth = 0;
    for (uint32_t i = from; i < end; i++) {
        uint32_t c = get_char(s->head + (i << shift), u);
        if (c == '{') depth++;
        else if (c == '}' && --depth == 0) return true;
    }
    return false;
}

}  // namespace qor::string

namespace qor::string {

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out) {
    return text_literal::decode(start + 1, end, seen, text_literal::ESCAPES, TYPE_STRING, make, out);
}

}  // namespace qor::string
