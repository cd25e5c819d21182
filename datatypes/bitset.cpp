// bitset!: making from specs, membership tests and changes, the logic and
// set operations, text, comparison and path access.
#include "datatypes/bitset.hpp"

#include <cmath>
#include <algorithm>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"

namespace qor {

namespace bitset {

namespace {

// What a spec does to the set.  The size pass only finds the highest bit.
enum Mode : int { SIZE = 0, SET = 1, TEST = 2, CLEAR = 3 };
// Who asked: decides the error for a spec of the wrong kind.
enum Caller : int { BY_MAKE = 0, BY_TO = 1, BY_OTHER = 2 };

// The highest bit a bitset can hold: its bytes stay below 2^28, so its
// length in bits fits 32 bits.
constexpr int64_t MAX_BIT = (int64_t(1) << 31) - 9;

bool complemented(Node node) { return (buffer_of(node)->flags & SERIES_BITSET_NOT) != 0; }
uint8_t fill_of(Node node) { return complemented(node) ? 0xFF : 0x00; }
uint32_t stored_bytes(Node node) { return buffer_of(node)->byte_length(); }
uint64_t stored_bits(Node node) { return uint64_t(stored_bytes(node)) * 8; }

// Moves the tail up to cover `bytes` bytes, growing the buffer when needed;
// the bytes it uncovers get the fill of the kind.  May allocate.
void cover(Node node, uint32_t bytes) {
    SeriesBuffer* s = buffer_of(node);
    uint32_t have = s->byte_length();
    if (bytes <= have) return;
    uint8_t fill = fill_of(node);
    uint32_t room = uint32_t(s->data_end() - s->head);
    if (bytes > room) {
        uint32_t offset = uint32_t(s->head - s->data());
        uint32_t doubled = s->capacity > memory::MAX_CAPACITY / 2 ? memory::MAX_CAPACITY : s->capacity * 2;
        uint32_t wanted = memory::checked_add(bytes, offset);
        s = memory::expand_series(s, wanted > doubled ? wanted : doubled);
        s = buffer_of(node);
    }
    std::memset(s->head + have, fill, bytes - have);
    s->tail = s->head + bytes;
}

void ensure_bit(Node node, uint32_t n) { cover(node, (n >> 3) + 1); }

bool stored_bit(Node node, uint32_t n) {
    return (buffer_of(node)->head[n >> 3] & (0x80u >> (n & 7))) != 0;
}
void put_stored_bit(Node node, uint32_t n, bool on) {
    uint8_t& byte = buffer_of(node)->head[n >> 3];
    uint8_t mask = uint8_t(0x80u >> (n & 7));
    byte = on ? uint8_t(byte | mask) : uint8_t(byte & ~mask);
}

bool test_bit(Node node, int64_t n) {
    if (n < 0 || uint64_t(n) >= stored_bits(node)) return complemented(node);
    return stored_bit(node, uint32_t(n));
}

// Whether setting (or clearing) in this kind of set needs stored room: a
// plain set stores its members, a complemented one its non-members.
bool needs_room(Node node, int mode) { return (mode == SET) != complemented(node); }

// Sets or clears bits low..high.  Bits beyond the stored ones already read
// as wanted when the change needs no room.
void change_range(Node node, uint32_t low, uint32_t high, int mode) {
    if (needs_room(node, mode)) {
        ensure_bit(node, high);
    } else {
        uint64_t bits = stored_bits(node);
        if (low >= bits) return;
        if (high >= bits) high = uint32_t(bits - 1);
    }
    bool on = mode == SET;
    // Bit by bit up to a byte boundary, whole bytes, then the last bits: a
    // range such as all of Unicode above ASCII is a memset, not a million steps.
    uint32_t n = low;
    for (; n <= high && (n & 7) != 0; ++n) put_stored_bit(node, n, on);
    if (n > high) return;
    uint32_t whole = (high - n + 1) >> 3;
    std::memset(buffer_of(node)->head + (n >> 3), on ? 0xFF : 0x00, whole);
    for (n += whole << 3; n <= high; ++n) put_stored_bit(node, n, on);
}

bool test_range(Node node, uint32_t low, uint32_t high) {
    uint64_t bits = stored_bits(node);
    const uint8_t* head = buffer_of(node)->head;
    for (uint64_t n = low; n <= high;) {
        if (n >= bits) return complemented(node);   // the rest read as the fill
        if ((n & 7) == 0 && n + 7 <= high && n + 8 <= bits) {
            if (head[n >> 3] != 0xFF) return false;
            n += 8;
            continue;
        }
        if (!stored_bit(node, uint32_t(n))) return false;
        ++n;
    }
    return true;
}

[[noreturn]] void refuse(const Cell* value, int caller) {
    Cell dt = number_support::datatype_cell(TYPE_BITSET);
    if (caller == BY_MAKE) raise_error("script", "bad-make-arg", &dt, value);
    if (caller == BY_TO) raise_error("script", "bad-to-arg", &dt, value);
    raise_error("script", "invalid-arg", value);
}

// The bit of a char!, integer! or float! (truncated); -1 for a negative
// one in test mode, which reads as outside the stored bits.
int64_t bit_of(const Cell* value, int mode) {
    int64_t n;
    if (type_of(value) == TYPE_FLOAT) {
        double d = std::trunc(cell_float(value));
        if (std::isnan(d)) raise_error("script", "out-of-range", value);
        n = d < -1.0 ? -1 : d > double(MAX_BIT) ? MAX_BIT + 1 : int64_t(d);
    } else {
        n = int64_t(int32_t(value->data2));
        if (type_of(value) == TYPE_CHAR) n = int64_t(value->data2);
    }
    if (n < 0 || n > MAX_BIT) {
        if (mode == TEST) return -1;
        raise_error("script", "out-of-range", value);
    }
    return n;
}

bool is_bit_kind(uint32_t t) { return t == TYPE_CHAR || t == TYPE_INTEGER || t == TYPE_FLOAT; }

// The result of one spec element: the highest bit in size mode, the test
// outcome (0 or 1) in test mode, 0 otherwise.
int64_t process(const Cell* spec, Node node, int mode, int caller);

int64_t process_string(const Cell* text, Node node, int mode) {
    Cell s = *text;
    uint32_t from = s.data1, to = string::length_from_head(&s);
    // 1. The highest code point, for the size and for the room to make.
    int64_t highest = -1;
    for (uint32_t i = from; i < to; ++i) {
        uint32_t cp = string::char_at(&s, i);
        if (int64_t(cp) > highest) highest = cp;
    }
    if (mode == SIZE) return highest;
    if (highest < 0) return mode == TEST ? 1 : 0;
    if (mode == TEST) {
        for (uint32_t i = from; i < to; ++i)
            if (!test_bit(node, string::char_at(&s, i))) return 0;
        return 1;
    }
    // 2. Each character; one beyond the stored bits needs no change when
    // the change needs no room (it already reads as wanted).
    if (needs_room(node, mode)) ensure_bit(node, uint32_t(highest));
    uint64_t bits = stored_bits(node);
    for (uint32_t i = from; i < to; ++i) {
        uint32_t cp = string::char_at(&s, i);
        if (cp < bits) put_stored_bit(node, cp, mode == SET);
    }
    return 0;
}

int64_t process_block(const Cell* spec, Node node, int mode, int caller) {
    Cell block = *spec;
    gc::CellRoot keep(&block);
    uint32_t count = block::length(&block);
    int64_t highest = -1;
    for (uint32_t i = 0; i < count; ++i) {
        Cell item = *block::item(&block, i);
        uint32_t t = type_of(&item);
        Cell* next = i + 1 < count ? block::item(&block, i + 1) : nullptr;
        bool range = (t == TYPE_CHAR || t == TYPE_INTEGER) && next && type_of(next) == TYPE_WORD &&
                     word::spelled(next, "-");
        if (!range) {
            int64_t r = process(&item, node, mode, caller);
            if (mode == TEST && r == 0) return 0;
            if (mode == SIZE && r > highest) highest = r;
            continue;
        }
        // A range: lower bound, the word -, upper bound of the same type.
        if (i + 2 >= count) raise_error("script", "past-end");
        Cell upper = *block::item(&block, i + 2);
        if (type_of(&upper) != t) raise_error("script", "invalid-arg", &upper);
        int64_t low = bit_of(&item, mode), high = bit_of(&upper, mode);
        if (int64_t(int32_t(upper.data2)) < int64_t(int32_t(item.data2)) && t == TYPE_INTEGER)
            raise_error("script", "past-end");
        if (t == TYPE_CHAR && upper.data2 < item.data2) raise_error("script", "past-end");
        i += 2;
        switch (mode) {
        case SIZE:
            if (high > highest) highest = high;
            break;
        case TEST:
            if (low < 0 || high < 0) {
                if (!complemented(node)) return 0;
                if (high < 0) break;
                low = 0;
            }
            if (!test_range(node, uint32_t(low), uint32_t(high))) return 0;
            break;
        default:
            change_range(node, uint32_t(low), uint32_t(high), mode);
        }
    }
    if (mode == SIZE) return highest;
    return mode == TEST ? 1 : 0;
}

int64_t process(const Cell* spec, Node node, int mode, int caller) {
    uint32_t t = type_of(spec);
    if (is_bit_kind(t)) {
        int64_t n = bit_of(spec, mode);
        switch (mode) {
        case SIZE: return n;
        case TEST: return test_bit(node, n) ? 1 : 0;
        default:
            if (needs_room(node, mode)) ensure_bit(node, uint32_t(n));
            else if (uint64_t(n) >= stored_bits(node)) return 0;
            put_stored_bit(node, uint32_t(n), mode == SET);
            return 0;
        }
    }
    if (t == TYPE_STRING) return process_string(spec, node, mode);
    if (t == TYPE_BINARY) raise_error("internal", "not-done");
    if (t == TYPE_BLOCK) return process_block(spec, node, mode, caller);
    refuse(spec, caller);
}

// A new bitset cell over a buffer of `bytes` bytes, all `fill`.
Cell new_bits(uint32_t bytes, bool negated) {
    Node node = memory::alloc_bytes_filled(bytes, negated ? 0xFF : 0x00);
    SeriesBuffer* s = buffer_of(node);
    s->tail = s->head + bytes;
    if (negated) s->flags |= SERIES_BITSET_NOT;
    Cell c{TYPE_BITSET, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

// A copy of the buffer with its flags; the copy has no owner.
Cell copy_bits(const Cell* bits) {
    Node node = memory::clone_series(buffer_of(cell_node(bits)));
    buffer_of(node)->flags &= ~SERIES_OWNED;
    Cell c{TYPE_BITSET, 0, 0, 0};
    set_cell_node(&c, node);
    return c;
}

Cell make_from_spec(const Cell* spec_in, int caller) {
    Cell spec = *spec_in;
    gc::CellRoot keep_spec(&spec);
    // 1. A block led by the word not makes a complemented set of the rest.
    bool negated = false;
    if (type_of(&spec) == TYPE_BLOCK && block::length(&spec) > 0) {
        Cell* first = block::item(&spec, 0);
        if (type_of(first) == TYPE_WORD && word::spelled(first, "not")) {
            negated = true;
            spec.data1 += 1;
            Cell* after = block::item(&spec, 0);
            if (after && type_of(after) == TYPE_BINARY) spec = *after;
        }
    }
    // 2. By the spec's kind.
    switch (type_of(&spec)) {
    case TYPE_INTEGER: case TYPE_FLOAT: {
        if (caller != BY_MAKE) refuse(&spec, BY_TO);
        int64_t n = type_of(&spec) == TYPE_FLOAT ? int64_t(std::isnan(cell_float(&spec)) ? -1.0
                                                           : std::fmax(-1.0, std::fmin(double(MAX_BIT) + 8,
                                                                                       std::trunc(cell_float(&spec)))))
                                                 : int64_t(int32_t(spec.data2));
        if (n < 0 || n > MAX_BIT + 1) raise_error("script", "out-of-range", &spec);
        return new_bits(uint32_t((n + 7) >> 3), false);
    }
    case TYPE_BITSET:
        if (!negated) return copy_bits(&spec);
        break;
    case TYPE_BINARY: {
        SeriesBuffer* s = buffer_of(cell_node(&spec));
        uint32_t length = s->byte_length();
        uint32_t from = spec.data1 < length ? spec.data1 : length;
        Cell made = new_bits(length - from, negated);
        SeriesBuffer* source = buffer_of(cell_node(&spec));
        SeriesBuffer* target = buffer_of(cell_node(&made));
        for (uint32_t i = from; i < length; ++i)
            target->head[i - from] = negated ? uint8_t(~source->head[i]) : source->head[i];
        return made;
    }
    default:
        break;
    }
    // 3. Anything else: the size, then the bits.
    Cell probe = new_bits(0, false);
    gc::CellRoot keep_probe(&probe);
    int64_t highest = process(&spec, cell_node(&probe), SIZE, caller);
    uint32_t bytes = uint32_t((highest + 8) >> 3);
    if (bytes == 0) bytes = 1;
    Cell made = new_bits(bytes, negated);
    gc::CellRoot keep_made(&made);
    process(&spec, cell_node(&made), negated ? CLEAR : SET, caller);
    return made;
}

// The owner of the set hears of a change before and after it.
struct ChangeNotice {
    const Cell* bits;
    const char* done;
    bool owned;
    ChangeNotice(const Cell* b, const char* before, const char* after, const Cell* value)
        : bits(b), done(after), owned(series::notify(b, before, value, 0, 0)) {}
    void finish(const Cell* value) {
        if (owned) series::notify(bits, done, value, 0, 0);
    }
};

bool counts_as_false(const Cell* v) {
    switch (type_of(v)) {
    case TYPE_NONE: return true;
    case TYPE_LOGIC: return v->data1 == 0;
    case TYPE_INTEGER: return v->data2 == 0;
    case TYPE_FLOAT: return cell_float(v) == 0.0;
    default: return false;
    }
}

Cell* result_cell(const Cell& value) {
    Cell* result = stack::arguments_base();
    *result = value;
    return result;
}

}  // namespace

void init() {
    TypeSpec spec = make_type_spec(TYPE_BITSET);
    set_slot<SLOT_MAKE>(spec, bitset_make);
    set_slot<SLOT_REFLECT>(spec, series_reflect);
    set_slot<SLOT_TO>(spec, bitset_to);
    set_slot<SLOT_FORM>(spec, bitset_form);
    set_slot<SLOT_MOLD>(spec, bitset_mold);
    set_slot<SLOT_EVAL_PATH>(spec, bitset_eval_path);
    set_slot<SLOT_COMPARE>(spec, bitset_compare);
    set_slot<SLOT_NEGATE>(spec, bitset_complement);
    set_slot<SLOT_AND_T>(spec, [] { do_bitwise(MATH_AND); });
    set_slot<SLOT_COMPLEMENT>(spec, bitset_complement);
    set_slot<SLOT_OR_T>(spec, [] { do_bitwise(MATH_OR); });
    set_slot<SLOT_XOR_T>(spec, [] { do_bitwise(MATH_XOR); });
    set_slot<SLOT_APPEND>(spec, bitset_append);
    set_slot<SLOT_CLEAR>(spec, bitset_clear);
    set_slot<SLOT_COPY>(spec, bitset_copy);
    set_slot<SLOT_FIND>(spec, bitset_find);
    set_slot<SLOT_INSERT>(spec, bitset_append);
    set_slot<SLOT_LENGTH_Q>(spec, bitset_length_q);
    set_slot<SLOT_PICK>(spec, bitset_pick);
    set_slot<SLOT_POKE>(spec, bitset_poke);
    set_slot<SLOT_REMOVE>(spec, bitset_remove);
    set_slot<SLOT_MODIFY>(spec, series_modify);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

bool test(const Cell* bits, const Cell* value) {
    return process(value, cell_node(bits), TEST, BY_OTHER) != 0;
}

// Bytes beyond an operand's stored ones read as its fill, so complemented
// operands combine as the sets they stand for.
void do_bitwise(int32_t op) {
    Cell* a = stack::arguments_base();
    if (op == SET_UNIQUE) return;
    Cell* b = a + 1;
    if (type_of(b) != TYPE_BITSET) number_support::raise_invalid_type(type_of(b));
    Node na = cell_node(a), nb = cell_node(b);
    uint32_t s1 = stored_bytes(na), s2 = stored_bytes(nb);
    bool f1 = complemented(na), f2 = complemented(nb);
    bool flag;
    switch (op) {
    case MATH_OR: case SET_UNION: flag = f1 || f2; break;
    case MATH_AND: case SET_INTERSECT: flag = f1 && f2; break;
    case SET_EXCLUDE: flag = f1 && !f2; break;
    default: flag = f1 != f2; break;   // xor~, difference
    }
    // and~ of plain sets keeps only the common bytes; the others keep all.
    uint32_t size = s1 > s2 ? s1 : s2;
    if (op == MATH_AND && !f1 && !f2) size = s1 < s2 ? s1 : s2;
    Cell made = new_bits(size, flag);   // may move the operands' buffers
    SeriesBuffer* x = buffer_of(na);
    SeriesBuffer* y = buffer_of(nb);
    SeriesBuffer* r = buffer_of(cell_node(&made));
    uint8_t fill1 = f1 ? 0xFF : 0, fill2 = f2 ? 0xFF : 0;
    // A loop made per operator, four bytes a step: a set of all Unicode is
    // 136 KB.
    auto combine = [&](auto operation) {
        const uint8_t* p = x->head;
        const uint8_t* q = y->head;
        uint8_t* out = r->head;
        auto word_at = [](const uint8_t* bytes, uint32_t i) {
            uint32_t word;
            std::memcpy(&word, bytes + i, 4);
            return word;
        };
        auto put_word = [&](uint32_t i, uint32_t word) { std::memcpy(out + i, &word, 4); };
        // The bytes both operands store, four at a time.
        uint32_t both = std::min(size, std::min(s1, s2)), i = 0;
        for (; i + 4 <= both; i += 4) put_word(i, operation(word_at(p, i), word_at(q, i)));
        for (; i < both; ++i) out[i] = uint8_t(operation(p[i], q[i]));
        // Then the longer operand's against the other's fill (size is the
        // longer's length, or both's).
        uint32_t fill_words = (s1 > s2 ? fill2 : fill1) * 0x01010101u;
        for (; i + 4 <= size; i += 4)
            put_word(i, s1 > s2 ? operation(word_at(p, i), fill_words) : operation(fill_words, word_at(q, i)));
        for (; i < size; ++i) out[i] = uint8_t(operation(i < s1 ? p[i] : fill1, i < s2 ? q[i] : fill2));
    };
    switch (op) {
    case MATH_OR: case SET_UNION: combine([](auto p, auto q) { return decltype(p)(p | q); }); break;
    case MATH_AND: case SET_INTERSECT: combine([](auto p, auto q) { return decltype(p)(p & q); }); break;
    case SET_EXCLUDE: combine([](auto p, auto q) { return decltype(p)(p & ~q); }); break;
    default: combine([](auto p, auto q) { return decltype(p)(p ^ q); }); break;
    }
    *stack::arguments_base() = made;
}

Cell* pick_value(Cell* bits, Cell* index) {
    return logic::push_new(test(bits, index) ? 1 : 0);
}

Cell* poke_value(Cell* bits, Cell* index, Cell* value) {
    Cell keep_index = *index, keep_value = *value;
    gc::CellRoot root_index(&keep_index);
    gc::CellRoot root_value(&keep_value);
    ChangeNotice notice(bits, "poke", "poked", &keep_value);
    process(&keep_index, cell_node(bits), counts_as_false(&keep_value) ? CLEAR : SET, BY_OTHER);
    notice.finish(&keep_value);
    Cell* result = stack::push_slot();
    *result = keep_value;
    return result;
}

}  // namespace bitset

// ---------------------------------------------------------------------------
// make and to

Cell* bitset_make(Cell* prototype, Cell* spec) {
    return bitset::result_cell(bitset::make_from_spec(spec, bitset::BY_MAKE));
}

Cell* bitset_to(Cell* prototype, Cell* spec) {
    return bitset::result_cell(bitset::make_from_spec(spec, bitset::BY_TO));
}

// ---------------------------------------------------------------------------
// Text: make bitset! #{...}, complemented sets as make bitset! [not #{...}]
// with the non-members' bytes, so that the text makes the set again.

int32_t bitset_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    using number_support::append_text;
    Node node = cell_node(value);
    bool negated = bitset::complemented(node);
    append_text(out, "make bitset! ", 13);
    limit -= 13;
    if (negated) {
        append_text(out, "[not ", 5);
        limit -= 5;
    }
    append_text(out, "#{", 2);
    limit -= 2;
    static const char digits[] = "0123456789ABCDEF";
    uint32_t bytes = bitset::stored_bytes(node);
    for (uint32_t i = 0; i < bytes; ++i) {
        uint8_t b = buffer_of(node)->head[i];   // appending may move the buffer
        if (negated) b = uint8_t(~b);
        char pair[2] = {digits[b >> 4], digits[b & 15]};
        append_text(out, pair, 2);
        limit -= 2;
        if (part && limit < 0) break;
    }
    if (part && limit < 1) return limit;
    append_text(out, "}", 1);
    limit -= 1;
    if (negated) {
        append_text(out, "]", 1);
        limit -= 1;
    }
    return limit;
}

int32_t bitset_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                    int32_t limit, int32_t indent) {
    return bitset_form(value, out, part, limit);
}

// ---------------------------------------------------------------------------
// Paths and comparison

Cell* bitset_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                       Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                       bool last, bool notify) {
    uint32_t t = type_of(element);
    if (t != TYPE_INTEGER && t != TYPE_CHAR) number_support::raise_invalid_type(t);
    if (!new_value) return bitset::pick_value(value, element);
    bitset::poke_value(value, element, new_value);
    return new_value;
}

// Size first, whatever the bits; then the kind (plain is lesser); then the
// bytes from the tail toward the head.
int32_t bitset_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_BITSET) return COMPARE_INCOMPARABLE;
    Node a = cell_node(value1), b = cell_node(value2);
    if (op == COMP_SAME) return a == b ? 0 : 1;
    uint32_t s1 = bitset::stored_bytes(a), s2 = bitset::stored_bytes(b);
    if (s1 != s2) return s1 < s2 ? -1 : 1;
    if (s1 == 0) return 0;
    bool f1 = bitset::complemented(a), f2 = bitset::complemented(b);
    if (f1 != f2) return f1 ? 1 : -1;
    const uint8_t* p = buffer_of(a)->head;
    const uint8_t* q = buffer_of(b)->head;
    for (uint32_t i = s1; i-- > 0;)
        if (p[i] != q[i]) return p[i] < q[i] ? -1 : 1;
    return 0;
}

// ---------------------------------------------------------------------------
// Actions

// complement and negate: a copy standing for the other members.
Cell* bitset_complement(Cell* value) {
    Cell made = bitset::copy_bits(value);
    SeriesBuffer* s = buffer_of(cell_node(&made));
    s->flags ^= SERIES_BITSET_NOT;
    for (uint8_t* p = s->head; p < s->tail; ++p) *p = uint8_t(~*p);
    *value = made;
    return value;
}

// append and insert: the value's bits are set; there is no position.
Cell* bitset_append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    Cell keep_value = *value;
    gc::CellRoot root(&keep_value);
    bitset::ChangeNotice notice(series, "insert", "inserted", &keep_value);
    bitset::process(&keep_value, cell_node(series), bitset::SET, bitset::BY_OTHER);
    notice.finish(&keep_value);
    return series;
}

// Every stored byte reads as the kind's fill; the size stays.
Cell* bitset_clear(Cell* value) {
    bitset::ChangeNotice notice(value, "clear", "cleared", nullptr);
    Node node = cell_node(value);
    SeriesBuffer* s = buffer_of(node);
    std::memset(s->head, bitset::fill_of(node), s->byte_length());
    notice.finish(nullptr);
    return value;
}

Cell* bitset_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    *result = bitset::copy_bits(value);
    return result;
}

// true or none; the refinements have no meaning for a set.
Cell* bitset_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive,
                  bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse,
                  bool tail, bool match) {
    if (bitset::test(series, value)) return logic::push_new(1);
    return none::push_new();
}

int32_t bitset_length_q(Cell* value) {
    return int32_t(bitset::stored_bits(cell_node(value)));
}

Cell* bitset_pick(Cell* value, int32_t index) {
    Cell n = integer::make(index);
    return bitset::pick_value(value, &n);
}

Cell* bitset_poke(Cell* value, int32_t index, Cell* new_value) {
    Cell n = integer::make(index);
    return bitset::poke_value(value, &n, new_value);
}

// remove/key: the key stops being a member, in either kind of set.
// Mended: a complemented set used to have the key's stored bits set, which
// added the members that removal was asked to drop.
Cell* bitset_remove(Cell* value, Cell* part, Cell* key) {
    if (!key) raise_error("script", "missing-arg");
    Cell keep_key = *key;
    gc::CellRoot root(&keep_key);
    bitset::ChangeNotice notice(value, "remove", "removed", &keep_key);
    bitset::process(&keep_key, cell_node(value), bitset::CLEAR, bitset::BY_OTHER);
    notice.finish(&keep_key);
    return value;
}

}  // namespace qor
