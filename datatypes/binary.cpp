// binary!: construction, the #{...} text form, comparison, byte-level
// append/insert/change, bytewise logic, complement and zero-byte trimming.
// Navigation, pick/poke, copy, find, sort and the rest come from string!.
#include "datatypes/binary.hpp"

#include <cstring>

#include "datatypes/binary_codecs.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/tuple.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "runtime/memory.hpp"
#include "datatypes/value_helpers.hpp"

namespace qor::binary {

namespace {

constexpr int32_t k_no_limit = 0x7FFFFFFF;

inline SeriesBuffer* buf(const Cell* value) { return buffer_of(cell_node(value)); }

inline uint32_t total_bytes(const Cell* value) { return buf(value)->byte_length(); }

// Clamps the index of a value to its tail and answers it.
uint32_t clamped_index(Cell* value) {
    uint32_t total = total_bytes(value);
    int32_t index = int32_t(value->data1);
    uint32_t i = index < 0 ? 0 : uint32_t(index) > total ? total : uint32_t(index);
    value->data1 = i;
    return i;
}

[[noreturn]] void bad_to_arg(const Cell* value) {
    Cell type;
    datatype::set(&type, TYPE_BINARY);
    raise_error("script", "bad-to-arg", &type, value);
}

void put_utf8(std::vector<uint8_t>& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(uint8_t(cp));
    } else if (cp < 0x800) {
        out.push_back(uint8_t(0xC0 | cp >> 6));
        out.push_back(uint8_t(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(uint8_t(0xE0 | cp >> 12));
        out.push_back(uint8_t(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(uint8_t(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(uint8_t(0xF0 | cp >> 18));
        out.push_back(uint8_t(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(uint8_t(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(uint8_t(0x80 | (cp & 0x3F)));
    }
}

void put_text(std::vector<uint8_t>& out, const Cell* text) {
    std::string utf8 = string::to_utf8(text);
    out.insert(out.end(), utf8.begin(), utf8.end());
}

void put_be(std::vector<uint8_t>& out, uint64_t bits, int bytes) {
    for (int i = bytes - 1; i >= 0; i--) out.push_back(uint8_t(bits >> (8 * i)));
}

void encode_into(std::vector<uint8_t>& out, const Cell* value_in, int32_t mode) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    uint32_t t = type_of(&value);
    switch (t) {
    case TYPE_INTEGER: {
        int32_t n = integer::get_value(&value);
        if (n < -128 || n > 255) raise_error("script", "invalid-arg", &value);
        out.push_back(uint8_t(n));
        return;
    }
    case TYPE_CHAR:
        put_utf8(out, value.data2);
        return;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        put_text(out, &value);
        return;
    case TYPE_BINARY: {
        const uint8_t* p = data_at_index(&value);
        out.insert(out.end(), p, p + length_from_index(&value));
        return;
    }
    case TYPE_TUPLE: {
        uint8_t bytes[tuple::MAX_COUNT];
        tuple::get_bytes(&value, bytes);
        out.insert(out.end(), bytes, bytes + tuple::count(&value));
        return;
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
        cycle_stack::Guard guard;
        cycle_stack::push(cell_node(&value));   // bounds the nesting (a block holding itself)
        for (uint32_t i = 0;; i++) {
            Cell* item = block::item(&value, i);
            if (!item) break;
            Cell element = *item;
            encode_into(out, &element, mode);
        }
        return;
    }
    default:
        break;
    }
    if (mode != ENCODE_ANY) bad_to_arg(&value);
    Cell text = string::make(16);
    gc::CellRoot keep_text(&text);
    dispatch::form(&value, &text, nullptr, k_no_limit);
    put_text(out, &text);
}

// The byte count that `one` repeated `dup` times makes; internal/no-memory
// when too many.
uint32_t repeated_size(const std::vector<uint8_t>& one, int32_t dup) {
    if (dup <= 0) return 0;
    uint64_t total = uint64_t(one.size()) * uint32_t(dup);
    if (total > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    return uint32_t(total);
}

// Writes `one` repeated to fill n bytes at p.
void write_repeated(uint8_t* p, const std::vector<uint8_t>& one, uint32_t n) {
    if (n == 0) return;
    std::memcpy(p, one.data(), one.size());
    for (uint32_t done = uint32_t(one.size()); done < n;) {   // doubling copies
        uint32_t chunk = done < n - done ? done : n - done;
        std::memcpy(p + done, p, chunk);
        done += chunk;
    }
}

// Makes room for `n` more bytes and answers the (possibly moved) buffer.
SeriesBuffer* room_for(Cell* series, uint32_t n) {
    if (uint64_t(total_bytes(series)) + n > memory::MAX_CAPACITY) raise_error("internal", "no-memory");
    return string::reserve(cell_node(series), n);
}

// ---- Text form ----------------------------------------------------------------------------

char hex_digit(uint32_t v) { return "0123456789ABCDEF"[v & 15]; }

void new_line(Cell* out, int32_t level, int32_t* limit) {
    string_append_ascii(out, "\n", 1);
    *limit = mold::indent(out, level, *limit - 1);
}

int32_t serialize(Cell* value_in, Cell* out, bool only, bool flat, bool part, int32_t limit, int32_t indent) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    if (!only) {
        string_append_ascii(out, "#{", 2);
        limit -= 2;
    }
    uint32_t n = length_from_index(&value);
    bool breaks = n > 30 && !flat;
    if (breaks) new_line(out, indent + 1, &limit);
    for (uint32_t i = 0; i < n; i++) {
        uint8_t b = data_at_index(&value)[i];   // re-read: the output's growth can move buffers
        char digits[2] = {hex_digit(b >> 4), hex_digit(b)};
        string_append_ascii(out, digits, 2);
        int32_t before = limit;
        limit -= 2;
        if (part && before < 3) return limit;
        if (breaks && (i + 1) % 32 == 0) new_line(out, indent + 1, &limit);
    }
    if (breaks && n % 32 != 0) new_line(out, indent, &limit);
    if (!only) {
        string_append_ascii(out, "}", 1);
        limit -= 1;
    }
    return limit;
}

int32_t binary_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return serialize(value, out, false, false, part != nullptr, limit, 0);
}

int32_t binary_mold(Cell* value, Cell* out, bool only, bool, bool flat, Cell* part, int32_t limit,
                    int32_t indent) {
    return serialize(value, out, only, flat, part != nullptr, limit, indent);
}

// ---- to ---------------------------------------------------------------------------------

Cell from_issue(const Cell* issue) {
    Cell text{TYPE_STRING, 0, 0, 0};
    set_cell_node(&text, symbol::ensure_string(int32_t(issue->data2)));
    std::string spelling = string::to_utf8(&text);
    std::vector<uint8_t> bytes(decoded_room(16, spelling.size()) + 1);
    int32_t n = debase_16(reinterpret_cast<const uint8_t*>(spelling.data()), 1, spelling.size(), bytes.data());
    if (n < 0) raise_error("script", "invalid-data", issue);
    return make(bytes.data(), uint32_t(n));
}

Cell* binary_to(Cell*, Cell* spec_in) {
    Cell spec = *spec_in;
    gc::CellRoot keep(&spec);
    std::vector<uint8_t> bytes;
    Cell made;
    switch (type_of(&spec)) {
    case TYPE_INTEGER:
        put_be(bytes, uint32_t(integer::get_value(&spec)), 4);
        break;
    case TYPE_FLOAT: case TYPE_PERCENT: {
        double d = cell_float(&spec);
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        put_be(bytes, bits, 8);
        break;
    }
    case TYPE_IMAGE: {
        // The raw pixels from the index, 4 bytes each as held (B, G, R, A).
        image_backend::Bitmap* bitmap = image_backend::bitmap(&spec);
        if (!bitmap) break;
        uint32_t from = spec.data1 < bitmap->count() ? spec.data1 : bitmap->count();
        const uint8_t* p = reinterpret_cast<const uint8_t*>(bitmap->pixels() + from);
        bytes.assign(p, p + 4 * (bitmap->count() - from));
        break;
    }
    case TYPE_ISSUE:
        made = from_issue(&spec);
        *stack::arguments_base() = made;
        return stack::arguments_base();
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
    case TYPE_CHAR: case TYPE_TUPLE: case TYPE_BINARY:
        encode_into(bytes, &spec, ENCODE_STRICT);
        break;
    default:
        bad_to_arg(&spec);
    }
    made = make(bytes.data(), uint32_t(bytes.size()));
    Cell* result = stack::arguments_base();
    *result = made;
    return result;
}

// ---- compare ------------------------------------------------------------------------------

int32_t binary_compare(Cell* a, Cell* b, int32_t op) {
    if (type_of(b) != TYPE_BINARY) return COMPARE_INCOMPARABLE;
    bool same = cell_node(a) == cell_node(b) && a->data1 == b->data1;
    if (op == COMP_SAME) return same ? 0 : -1;
    bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
    if (same && equality) return 0;
    uint32_t la = length_from_index(a), lb = length_from_index(b);
    if (equality && la != lb) return 1;
    uint32_t n = la < lb ? la : lb;
    int r = n ? std::memcmp(data_at_index(a), data_at_index(b), n) : 0;
    if (r != 0) return r < 0 ? -1 : 1;
    return la == lb ? 0 : la < lb ? -1 : 1;
}

// ---- append, insert, change -----------------------------------------------------------------

Cell* binary_insert(Cell* series, Cell* value_in, int32_t part, bool, int32_t dup, bool append) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    std::vector<uint8_t> bytes;
    encode_value(bytes, &value, part, false, ENCODE_STRICT);
    uint32_t n = repeated_size(bytes, dup);
    uint32_t index = clamped_index(series);
    uint32_t start = total_bytes(series);
    bool at_tail = append || index >= start;
    uint32_t place = at_tail ? start : index;
    if (n == 0) {
        if (append) series->data1 = 0;
        return series;
    }
    bool told = series::notify(series, append ? "append" : "insert", &value, int32_t(place), int32_t(n));
    SeriesBuffer* s = room_for(series, n);
    uint8_t* at = s->head + place;
    if (place < start) std::memmove(at + n, at, start - place);
    write_repeated(at, bytes, n);
    s->tail += n;
    series->data1 = append ? 0 : place + n;
    if (told) series::notify(series, append ? "appended" : "inserted", &value, int32_t(place), int32_t(n));
    return series;
}

Cell* binary_change(Cell* series, Cell* value_in, int32_t part, bool, int32_t dup) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    // Taking the bytes aside first also covers a binary changed with itself.
    std::vector<uint8_t> bytes;
    encode_value(bytes, &value, -1, false, ENCODE_ANY);
    uint32_t n = repeated_size(bytes, dup);
    uint32_t index = clamped_index(series);
    bool told = series::notify(series, "change", &value, int32_t(index), int32_t(n));
    index = clamped_index(series);
    uint32_t start = total_bytes(series);
    uint32_t remaining = start - index;
    uint32_t replaced = part >= 0 ? uint32_t(part) : n;
    if (replaced > remaining) replaced = remaining;
    SeriesBuffer* s = n > replaced ? room_for(series, n - replaced) : buf(series);
    uint8_t* at = s->head + index;
    std::memmove(at + n, at + replaced, remaining - replaced);
    write_repeated(at, bytes, n);
    s->tail = s->head + (start - replaced + n);
    uint32_t after = index + n, total = s->byte_length();
    series->data1 = after < total ? after : total;
    if (told) series::notify(series, "changed", &value, int32_t(index), int32_t(n));
    return series;
}

// ---- Bytewise logic -----------------------------------------------------------------------

void do_bitwise(int32_t op) {
    Cell* left = stack::arguments_base();
    Cell* right = left + 1;
    if (type_of(right) != TYPE_BINARY) raise_error("script", "invalid-arg", right);
    uint32_t la = length_from_index(left), lb = length_from_index(right);
    uint32_t n = la > lb ? la : lb;
    Cell made = make(nullptr, n);
    gc::CellRoot keep(&made);
    const uint8_t* a = data_at_index(left);
    const uint8_t* b = data_at_index(right);
    uint8_t* out = buf(&made)->head;
    for (uint32_t i = 0; i < n; i++) {
        bool in_a = i < la, in_b = i < lb;
        uint8_t x = in_a ? a[i] : 0, y = in_b ? b[i] : 0;
        if (in_a && in_b) out[i] = op == MATH_AND ? uint8_t(x & y) : op == MATH_OR ? uint8_t(x | y) : uint8_t(x ^ y);
        else out[i] = op == MATH_AND ? 0 : uint8_t(x | y);
    }
    buf(&made)->tail = buf(&made)->head + n;
    *left = made;
}

Cell* binary_complement(Cell* value) {
    uint8_t* p = data_at_index(value);
    uint32_t n = length_from_index(value);
    for (uint32_t i = 0; i < n; i++) p[i] = uint8_t(~p[i]);
    return value;
}

// ---- trim --------------------------------------------------------------------------------

Cell* binary_trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    if (auto_ || lines) raise_error("internal", "not-done");
    bool drop[256] = {};
    if (with) {
        uint32_t wt = type_of(with);
        if (wt == TYPE_INTEGER || wt == TYPE_CHAR) {
            drop[with->data2 & 0xFF] = true;
        } else {
            std::vector<uint8_t> set;
            encode_value(set, with, -1, false, ENCODE_ANY);
            for (uint8_t b : set) drop[b] = true;
        }
    } else {
        drop[0] = true;
    }
    uint32_t index = clamped_index(series);
    SeriesBuffer* s = buf(series);
    uint8_t* p = s->head + index;
    uint32_t n = s->byte_length() - index;
    uint32_t kept = 0;
    if (all || with) {
        for (uint32_t i = 0; i < n; i++)
            if (!drop[p[i]]) p[kept++] = p[i];
    } else {
        bool both = head == tail;
        uint32_t from = 0, to = n;
        if (head || both)
            while (from < to && p[from] == 0) from++;
        if (tail || both)
            while (to > from && p[to - 1] == 0) to--;
        kept = to - from;
        std::memmove(p, p + from, kept);
    }
    s->tail = p + kept;
    series::notify(series, "trim", nullptr, int32_t(index), 0);
    return series;
}

}  // namespace

// ---- Interface ---------------------------------------------------------------------------

Cell make(const uint8_t* bytes, uint32_t n) {
    Node node = memory::alloc_bytes(n ? n : 1);
    SeriesBuffer* s = buffer_of(node);
    if (bytes && n) std::memcpy(s->head, bytes, n);
    s->tail = s->head + (bytes ? n : 0);
    Cell c{TYPE_BINARY, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

uint32_t encode_value(std::vector<uint8_t>& out, const Cell* value, int32_t limit, bool limit_counts_bytes,
                      int32_t mode) {
    size_t before = out.size();
    uint32_t t = type_of(value);
    bool block_kind = t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH;
    if (limit >= 1 && block_kind && !limit_counts_bytes) {
        // The first `limit` elements.
        Cell v = *value;
        gc::CellRoot keep(&v);
        for (int32_t i = 0; i < limit; i++) {
            Cell* item = block::item(&v, uint32_t(i));
            if (!item) break;
            Cell element = *item;
            encode_into(out, &element, mode);
        }
    } else {
        encode_into(out, value, mode);
        if (limit >= 1 && out.size() - before > size_t(limit)) out.resize(before + size_t(limit));
    }
    return uint32_t(out.size() - before);
}

uint32_t length_from_index(const Cell* value) {
    uint32_t total = total_bytes(value);
    uint32_t index = value->data1;
    return int32_t(index) < 0 ? total : index > total ? 0 : total - index;
}

uint8_t* data_at_index(const Cell* value) {
    SeriesBuffer* s = buf(value);
    uint32_t total = s->byte_length();
    int32_t index = int32_t(value->data1);
    return s->head + (index < 0 ? 0 : uint32_t(index) > total ? total : uint32_t(index));
}

std::string bytes_of(const Cell* value) {
    if (type_of(value) == TYPE_BINARY)
        return std::string(reinterpret_cast<const char*>(data_at_index(value)), length_from_index(value));
    return string::to_utf8(value);
}

void init() {
    TypeSpec spec = make_type_spec(TYPE_BINARY);
    set_slot<SLOT_TO>(spec, binary_to);
    set_slot<SLOT_FORM>(spec, binary_form);
    set_slot<SLOT_MOLD>(spec, binary_mold);
    set_slot<SLOT_COMPARE>(spec, binary_compare);
    set_slot<SLOT_AND_T>(spec, [] { do_bitwise(MATH_AND); });
    set_slot<SLOT_OR_T>(spec, [] { do_bitwise(MATH_OR); });
    set_slot<SLOT_XOR_T>(spec, [] { do_bitwise(MATH_XOR); });
    set_slot<SLOT_COMPLEMENT>(spec, binary_complement);
    set_slot<SLOT_APPEND>(spec, binary_insert);
    set_slot<SLOT_INSERT>(spec, binary_insert);
    set_slot<SLOT_CHANGE>(spec, binary_change);
    set_slot<SLOT_TRIM>(spec, binary_trim);
    for (int slot : {SLOT_MAKE, SLOT_RANDOM, SLOT_REFLECT, SLOT_EVAL_PATH, SLOT_AT, SLOT_BACK, SLOT_CLEAR,
                     SLOT_COPY, SLOT_FIND, SLOT_HEAD, SLOT_HEAD_Q, SLOT_INDEX_Q, SLOT_LENGTH_Q, SLOT_MOVE,
                     SLOT_NEXT, SLOT_PICK, SLOT_POKE, SLOT_REMOVE, SLOT_REVERSE, SLOT_SELECT, SLOT_SORT,
                     SLOT_SKIP, SLOT_SWAP, SLOT_TAIL, SLOT_TAIL_Q, SLOT_TAKE, SLOT_MODIFY})
        inherit_slot(spec, slot);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace qor::binary

namespace qor::binary {

namespace {

inline int32_t hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return int32_t(c - '0');
    c |= 0x20;
    if (c >= 'a' && c <= 'f') return int32_t(c - 'a' + 10);
    return -1;
}

// The bytes of the body in `base` into `out` (null: only counted);
// answers the byte count, or -1 when the body is malformed.
int32_t decode_body(const uint8_t* start, const uint8_t* end, int32_t base, uint8_t* out) {
    int32_t count = 0;
    uint32_t acc = 0, bits = 0;
    int32_t pad = 0;
    uint32_t chars = 0;
    for (const uint8_t* p = start; p < end; p++) {
        uint8_t c = *p;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == ';') {
            while (p < end && *p != '\n') p++;
            continue;
        }
        int32_t v;
        if (base == 16) {
            v = hex_value(c);
            if (v < 0) return -1;
            acc = acc << 4 | uint32_t(v);
            bits += 4;
        } else if (base == 2) {
            if (c != '0' && c != '1') return -1;
            acc = acc << 1 | uint32_t(c - '0');
            bits += 1;
        } else {
            if (c == '=') {
                pad++;
                continue;
            }
            if (pad) return -1;  // data after the padding
            if (c >= 'A' && c <= 'Z') v = c - 'A';
            else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
            else if (c >= '0' && c <= '9') v = c - '0' + 52;
            else if (c == '+') v = 62;
            else if (c == '/') v = 63;
            else return -1;
            acc = acc << 6 | uint32_t(v);
            bits += 6;
            chars++;
        }
        if (bits >= 8) {
            bits -= 8;
            if (out) out[count] = uint8_t(acc >> bits);
            count++;
            acc &= (1u << bits) - 1;
        }
    }
    if (base == 64) {
        // Groups of four characters: padding completes the last one.
        if (pad > 2 || (chars + uint32_t(pad)) % 4 != 0) return -1;
        return count;
    }
    return bits == 0 ? count : -1;
}

}  // namespace

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool make_value, Cell* out) {
    int32_t base = 0;
    const uint8_t* p = start;
    while (p < end && *p >= '0' && *p <= '9' && base < 100) base = base * 10 + (*p++ - '0');
    if (p == start) base = 16;
    if ((base != 2 && base != 16 && base != 64) || end - p < 2 || p[0] != '#' || p[1] != '{') return TYPE_BINARY;
    int32_t n = decode_body(p + 2, end, base, nullptr);
    if (n < 0) return TYPE_BINARY;
    out->header = TYPE_BINARY;
    if (!make_value) return 0;
    std::vector<uint8_t> bytes(size_t(n) + 1);
    decode_body(p + 2, end, base, bytes.data());
    *out = make(bytes.data(), uint32_t(n));
    return 0;
}

}  // namespace qor::binary
