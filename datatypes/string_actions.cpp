// The string! actions: construction, text forms, comparison, searching,
// editing, sorting and trimming of text values.
#include "datatypes/string_actions.hpp"

#include <cstring>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/series_internal.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/case_folding.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/sort.hpp"

namespace qor {

namespace {

constexpr int32_t k_no_limit = 0x7FFFFFFF;

inline uint32_t requested_type(const Cell* prototype) {
    return type_of(prototype) == TYPE_DATATYPE ? prototype->data1 : uint32_t(type_of(prototype));
}

inline bool word_kind_q(uint32_t t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; }

inline uint32_t unit_of(const Cell* value) { return string::buffer(value)->unit(); }

// Units between head and tail; the index of a value clamped to them.
inline uint32_t total_units(const Cell* value) {
    SeriesBuffer* s = string::buffer(value);
    return s->byte_length() / s->unit();
}
inline uint32_t clamped_index(Cell* value) {
    uint32_t total = total_units(value);
    int32_t index = int32_t(value->data1);
    uint32_t i = index < 0 ? 0 : uint32_t(index) > total ? total : uint32_t(index);
    value->data1 = i;
    return i;
}

// A unit read for series whose unit may be 8 (float vectors): wider units
// are compared as raw bits by the callers that allow them.
inline uint32_t char_of(const SeriesBuffer* s, uint32_t i) {
    uint32_t u = s->unit();
    return string::get_char(s->head + i * u, u);
}

// Makes `cell` a new empty string of `type` with room for `capacity`.
void new_text(Cell* cell, uint32_t type, uint32_t capacity) {
    string::init_cell(cell, capacity);
    cell->header = type;
}

[[noreturn]] void bad_to_arg(uint32_t wanted, const Cell* spec) {
    Cell type;
    datatype::set(&type, wanted);
    raise_error("script", "bad-to-arg", &type, spec);
}

// The symbol text of a word-kind cell or a symbol record, as a string
// value at index 0.
Cell symbol_text(const Cell* value) {
    Cell text{TYPE_STRING, 0, 0, 0};
    Node node = type_of(value) == TYPE_SYMBOL
                    ? symbol::ensure_string(reinterpret_cast<SymbolRecord*>(const_cast<Cell*>(value)))
                    : symbol::ensure_string(int32_t(value->data2));
    set_cell_node(&text, node);
    return text;
}

// Appends the text of `value` at the tail of `out`, as append and insert
// take it: text from the index (at most `part` characters when part >= 0),
// a char, a tag in angle brackets, each element of a block formed, or the
// value formed.
void append_text_of(Cell* out, const Cell* value_in, int32_t part) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    uint32_t t = type_of(&value);
    if (t == TYPE_CHAR) {
        string::append_char(out, value.data2);
    } else if (t == TYPE_TAG) {
        string::append_char(out, '<');
        string::concatenate(out, &value, part, 0, true, string::CONCAT_APPEND);
        string::append_char(out, '>');
    } else if (is_any_string(t)) {
        string::concatenate(out, &value, part, 0, true, string::CONCAT_APPEND);
    } else if (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH) {
        uint32_t n = block::remaining_length(&value);
        for (uint32_t i = 0; i < n; i++) {
            Cell* item = block::item(&value, i);
            if (!item) break;   // the block shrank while its elements were formed
            Cell element = *item;
            gc::CellRoot keep_element(&element);
            dispatch::form(&element, out, nullptr, k_no_limit);
        }
    } else {
        dispatch::form(&value, out, nullptr, k_no_limit);
    }
}

// The characters the text of a value adds before /dup (a tag counts its
// angle brackets): counted for text and characters, measured on a scratch
// string for a value that is formed.
uint32_t text_length_of(const Cell* value, int32_t part) {
    uint32_t t = type_of(value);
    if (t == TYPE_CHAR) return 1;
    if (is_any_string(t)) {
        Cell v = *value;
        uint32_t n = string::remaining_length(&v);
        if (part >= 0 && uint32_t(part) < n) n = uint32_t(part);
        return t == TYPE_TAG ? n + 2 : n;
    }
    Cell scratch = string::make(16);
    gc::CellRoot keep(&scratch);
    append_text_of(&scratch, value, part);
    return total_units(&scratch);
}

// The count the notice before an append, insert or change carries: the
// characters about to go in.  Nobody is told about a series without an
// owner, so nothing is measured for it.
int32_t notice_count(const Cell* series, const Cell* value, int32_t part, int32_t dup) {
    if (dup < 1 || !(string::buffer(series)->flags & SERIES_OWNED)) return 0;
    uint64_t n = uint64_t(text_length_of(value, part)) * uint32_t(dup);
    return n > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(n);
}

// The characters appended at a string's tail since it held `from` units.
inline uint32_t added_since(const Cell* value, uint32_t from) { return total_units(value) - from; }

// Repeats the last `added` units at the tail until they stand `dup` times.
void repeat_tail(Cell* series, uint32_t start, uint32_t added, int32_t dup) {
    if (dup <= 1 || added == 0) return;
    uint64_t total = uint64_t(added) * uint32_t(dup);
    uint32_t unit = unit_of(series);
    if ((uint64_t(start) + total) * unit > memory::MAX_CAPACITY) {
        string::buffer(series)->tail = string::buffer(series)->head + start * unit;   // undo the first copy
        raise_error("internal", "no-memory");
    }
    SeriesBuffer* s = string::reserve(cell_node(series), uint32_t(total) - added);
    uint8_t* first = s->head + start * unit;
    uint32_t have = added * unit, want = uint32_t(total) * unit;
    while (have < want) {
        uint32_t n = have < want - have ? have : want - have;
        std::memcpy(first + have, first, n);
        have += n;
    }
    s->tail = first + want;
}

// Cells made by find: the pattern as characters.
struct Pattern {
    enum Kind { CHARS, ONE_CHAR, BITSET, NUMBER } kind;
    Cell text;           // CHARS: the pattern text
    uint32_t cp;         // ONE_CHAR
    const Cell* bitset;  // BITSET
    double number;       // NUMBER
    uint32_t length;     // characters a match covers
};

inline uint32_t fold(uint32_t c, bool folding) { return folding ? case_::map_char(c, true) : c; }

// Element `i` of a binary or vector series as a number.
double element_number(const Cell* series, uint32_t i) {
    Cell e;
    series::read_element(series, i, &e);
    if (type_of(&e) == TYPE_INTEGER || type_of(&e) == TYPE_CHAR) return double(int32_t(e.data2));
    return cell_float(&e);
}

bool match_here(const Cell* series, const SeriesBuffer* s, uint32_t pos, uint32_t end, const Pattern& p,
                bool folding) {
    switch (p.kind) {
    case Pattern::ONE_CHAR:
        return fold(char_of(s, pos), folding) == p.cp;
    case Pattern::BITSET:
        return string::code_point_in_bitset_q(char_of(s, pos), p.bitset);
    case Pattern::NUMBER:
        return element_number(series, pos) == p.number;
    case Pattern::CHARS: {
        if (uint64_t(pos) + p.length > end) return false;
        const SeriesBuffer* ps = string::buffer(&p.text);
        uint32_t pi = p.text.data1;
        for (uint32_t k = 0; k < p.length; k++)
            if (fold(char_of(s, pos + k), folding) != fold(char_of(ps, pi + k), folding)) return false;
        return true;
    }
    }
    return false;
}

// A search of folded pattern characters in text of one unit width.
// Positions fit 31 bits (buffers are smaller than 2 GB), so the loops use
// 32-bit arithmetic.
struct Scan {
    const uint8_t* hay;
    int32_t start, bound, end, step;
    bool backward, match, folding;
    const uint32_t* pattern;
    uint32_t length;
};

template <class T>
inline uint32_t hay_at(const uint8_t* hay, int32_t i) {
    T v;
    std::memcpy(&v, hay + size_t(i) * sizeof(T), sizeof(T));
    return uint32_t(v);
}

template <class T>
int64_t scan_units(const Scan& sc) {
    const uint32_t* table = string::fold_table();
    const uint8_t* hay = sc.hay;
    const bool folding = sc.folding;
    auto folded = [hay, table, folding](int32_t i) {
        uint32_t c = hay_at<T>(hay, i);
        return folding ? string::fold_char(table, c) : c;
    };
    auto rest_matches = [&](int32_t pos) {
        for (uint32_t k = 1; k < sc.length; k++)
            if (folded(pos + int32_t(k)) != sc.pattern[k]) return false;
        return true;
    };
    const uint32_t first = sc.pattern[0];
    const int32_t last_start = sc.end - int32_t(sc.length);   // a match may not run past the range
    if (!sc.backward) {
        const int32_t stop = sc.bound < last_start ? sc.bound : last_start;
        if (sc.match) return sc.start <= stop && folded(sc.start) == first && rest_matches(sc.start) ? sc.start : -1;
        if (sizeof(T) == 1 && sc.step == 1) {
            if (!folding) {
                if (first > 255) return -1;
                for (int32_t pos = sc.start; pos <= stop; pos++) {
                    const void* hit = std::memchr(hay + pos, int(first), size_t(stop - pos + 1));
                    if (!hit) return -1;
                    pos = int32_t(static_cast<const uint8_t*>(hit) - hay);
                    if (rest_matches(pos)) return pos;
                }
                return -1;
            }
            // Latin-1 without case: the bytes that can start a match, by table.
            bool starts[256];
            for (uint32_t b = 0; b < 256; b++) starts[b] = table[b] == first;
            for (int32_t pos = sc.start; pos <= stop; pos++)
                if (starts[hay[pos]] && rest_matches(pos)) return pos;
            return -1;
        }
        // Steps of any size: stop before a step would pass the bound.
        for (int32_t pos = sc.start; pos <= stop; pos += sc.step) {
            if (folded(pos) == first && rest_matches(pos)) return pos;
            if (stop - pos < sc.step) break;
        }
        return -1;
    }
    for (int32_t pos = sc.start; pos >= sc.bound; pos -= sc.step) {
        if (pos <= last_start && folded(pos) == first && rest_matches(pos)) return pos;
        if (sc.match || pos - sc.bound < sc.step) break;
    }
    return -1;
}

// A search for the first character that a bitset holds: one byte test per
// character, through a table of the 256 byte values for one-byte text.
template <class T>
int64_t scan_bitset(const uint8_t* hay, int64_t start, int64_t bound, int64_t step, bool backward, bool match,
                    const Cell* bitset) {
    const SeriesBuffer* b = buffer_of(cell_node(bitset));
    const uint8_t* bits = b->head;
    const uint64_t count = uint64_t(b->byte_length()) * 8;
    const bool negated = (b->flags & SERIES_BITSET_NOT) != 0;
    auto member = [bits, count, negated](uint32_t c) {
        return c < count ? (bits[c >> 3] & (0x80u >> (c & 7))) != 0 : negated;
    };
    bool table[256];
    if (sizeof(T) == 1)
        for (uint32_t c = 0; c < 256; c++) table[c] = member(c);
    for (int64_t pos = start; backward ? pos >= bound : pos <= bound; pos += backward ? -step : step) {
        uint32_t c = hay_at<T>(hay, int32_t(pos));
        if (sizeof(T) == 1 ? table[c] : member(c)) return pos;
        if (match) break;
    }
    return -1;
}

// Finds in a text value: the match position, or -1.  `length_out`
// receives the characters the match covers.
int64_t find_position(Cell* series, Cell* value, Cell* part, bool case_sensitive, bool same, bool any, Cell* with,
                      Cell* skip, bool last, bool reverse, bool match, uint32_t* length_out, Cell* pattern_keep) {
    SeriesBuffer* s = string::buffer(series);
    uint32_t total = s->byte_length() / s->unit();
    int64_t index = int32_t(series->data1);
    if (index < 0) index = 0;
    if (total == 0 || (index >= total && !reverse)) return -1;
    if (index > total) index = total;
    if (any || with) raise_error("internal", "not-done");
    int64_t step = 1;
    if (skip) {
        int32_t size = type_of(skip) == TYPE_INTEGER ? integer::get_value(skip) : 0;
        if (size < 1) raise_error("script", "out-of-range", skip);
        step = size;
    }
    int64_t count = -1;
    if (part) {
        if (type_of(part) == TYPE_INTEGER) count = integer::get_value(part);
        else if (series::same_series_q(series, part)) count = int64_t(int32_t(part->data1)) - index;
        else raise_error("script", "invalid-refine-arg", "part", part);
        if (count < 1) return -1;
    }
    uint32_t st = type_of(series);
    bool bytes_kind = st == TYPE_BINARY || st == TYPE_VECTOR;
    bool folding = !bytes_kind && !case_sensitive && !same;

    Pattern p{};
    p.length = 1;
    uint32_t vt = type_of(value);
    bool number = vt == TYPE_INTEGER || vt == TYPE_FLOAT || vt == TYPE_PERCENT || vt == TYPE_CHAR;
    // A vector holds numbers only: another value is never found (and its
    // 8-byte elements cannot be read as characters).
    if (st == TYPE_VECTOR && !number) return -1;
    if (st == TYPE_VECTOR) {
        p.kind = Pattern::NUMBER;
        p.number = vt == TYPE_FLOAT || vt == TYPE_PERCENT ? cell_float(value) : double(int32_t(value->data2));
    } else if (vt == TYPE_CHAR) {
        p.kind = Pattern::ONE_CHAR;
        p.cp = fold(value->data2, folding);
    } else if (vt == TYPE_BITSET) {
        p.kind = Pattern::BITSET;
        p.bitset = value;
    } else if (is_any_string(vt) && vt != TYPE_TAG) {
        p.kind = Pattern::CHARS;
        *pattern_keep = *value;
    } else if (word_kind_q(vt) || vt == TYPE_SYMBOL) {
        p.kind = Pattern::CHARS;
        *pattern_keep = symbol_text(value);
    } else if (vt == TYPE_BINARY) {
        if (st != TYPE_BINARY) raise_error("script", "invalid-arg", value);
        p.kind = Pattern::CHARS;
        *pattern_keep = *value;
    } else if ((vt == TYPE_INTEGER || vt == TYPE_FLOAT) && bytes_kind) {
        p.kind = Pattern::NUMBER;
        p.number = vt == TYPE_INTEGER ? double(integer::get_value(value)) : cell_float(value);
    } else {
        // Formed text; a tag with its angle brackets, as append writes it.
        p.kind = Pattern::CHARS;
        new_text(pattern_keep, TYPE_STRING, 16);
        append_text_of(pattern_keep, value, -1);
    }
    if (p.kind == Pattern::CHARS) {
        p.text = *pattern_keep;
        p.length = string::length(&p.text);
        clamped_index(&p.text);
        if (p.length == 0) return -1;   // an empty pattern matches nothing
    }
    *length_out = p.length;

    // The pattern may have been formed: take the buffer again.
    s = string::buffer(series);
    int64_t start, bound, end = total;
    if (reverse) {
        if (match) return -1;
        start = index - 1;
        bound = count >= 0 ? index - count : 0;
        if (bound < 0) bound = 0;
        if (start < bound) return -1;
    } else {
        end = count >= 0 && index + count < total ? index + count : total;
        if (last) {
            start = end - 1;
            bound = index;
        } else {
            start = index;
            bound = end - 1;
        }
    }
    bool backward = reverse || last;
    uint32_t unit = s->unit();
    if ((p.kind == Pattern::CHARS || p.kind == Pattern::ONE_CHAR) && (unit == 1 || unit == 2 || unit == 4)) {
        // The pattern's characters, folded once.
        std::vector<uint32_t> chars;
        if (p.kind == Pattern::ONE_CHAR) {
            chars.push_back(p.cp);
        } else {
            const SeriesBuffer* ps = string::buffer(&p.text);
            chars.reserve(p.length);
            for (uint32_t k = 0; k < p.length; k++) chars.push_back(fold(char_of(ps, p.text.data1 + k), folding));
        }
        Scan scan{s->head, int32_t(start), int32_t(bound), int32_t(end), int32_t(step), backward, match, folding,
                  chars.data(), uint32_t(chars.size())};
        switch (unit) {
        case 1: return scan_units<uint8_t>(scan);
        case 2: return scan_units<uint16_t>(scan);
        default: return scan_units<uint32_t>(scan);
        }
    }
    if (p.kind == Pattern::BITSET && !bytes_kind) {
        switch (unit) {
        case 1: return scan_bitset<uint8_t>(s->head, start, bound, step, backward, match, p.bitset);
        case 2: return scan_bitset<uint16_t>(s->head, start, bound, step, backward, match, p.bitset);
        case 4: return scan_bitset<uint32_t>(s->head, start, bound, step, backward, match, p.bitset);
        default: break;
        }
    }
    for (int64_t pos = start; backward ? pos >= bound : pos <= bound; pos += backward ? -step : step) {
        if (match_here(series, s, uint32_t(pos), uint32_t(end), p, folding)) return pos;
        if (match) break;
    }
    return -1;
}

}  // namespace

namespace string_actions {

void init() {
    string::init_rotate_scratch();
    TypeSpec spec = make_type_spec(TYPE_STRING);
    set_slot<SLOT_MAKE>(spec, string_make);
    set_slot<SLOT_TO>(spec, string_to);
    set_slot<SLOT_FORM>(spec, string_form);
    set_slot<SLOT_MOLD>(spec, string_mold);
    set_slot<SLOT_EVAL_PATH>(spec, string_eval_path);
    set_slot<SLOT_COMPARE>(spec, string_compare);
    set_slot<SLOT_APPEND>(spec, string_append);
    set_slot<SLOT_CHANGE>(spec, string_change);
    set_slot<SLOT_FIND>(spec, string_find);
    set_slot<SLOT_INSERT>(spec, string_insert);
    set_slot<SLOT_SELECT>(spec, string_select);
    set_slot<SLOT_SORT>(spec, string_sort);
    set_slot<SLOT_SWAP>(spec, string_swap);
    set_slot<SLOT_TAKE>(spec, string_take);
    set_slot<SLOT_TRIM>(spec, string_trim);
    for (int slot : {SLOT_RANDOM, SLOT_REFLECT, SLOT_AT, SLOT_BACK, SLOT_CLEAR, SLOT_COPY, SLOT_HEAD, SLOT_HEAD_Q,
                     SLOT_INDEX_Q, SLOT_LENGTH_Q, SLOT_MOVE, SLOT_NEXT, SLOT_PICK, SLOT_POKE, SLOT_REMOVE,
                     SLOT_REVERSE, SLOT_SKIP, SLOT_TAIL, SLOT_TAIL_Q, SLOT_MODIFY})
        inherit_slot(spec, slot);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

uint32_t form_into(Cell* out, Cell* value) {
    uint32_t before = total_units(out);
    append_text_of(out, value, -1);
    return total_units(out) - before;
}

int32_t mold_text(Cell* value_in, Cell* out, bool all, bool part, int32_t limit) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    uint32_t start = clamped_index(&value);
    uint32_t rest = total_units(&value) - start;
    uint32_t n = rest;
    if (part && limit >= 0 && uint32_t(limit) < n) n = uint32_t(limit);
    uint32_t end = start + n;

    // Which delimiters, and which left braces have a partner within the range.
    uint32_t quotes = 0, lines = 0;
    std::vector<bool> matched;
    {
        SeriesBuffer* s = string::buffer(&value);
        std::vector<uint32_t> open;
        for (uint32_t i = start; i < end; i++) {
            uint32_t c = char_of(s, i);
            if (c == '"') quotes++;
            else if (c == '\n') lines++;
            else if (c == '{') open.push_back(i);
            else if (c == '}' && !open.empty()) {
                if (matched.empty()) matched.assign(n, false);
                matched[open.back() - start] = true;
                open.pop_back();
            }
        }
    }
    bool braces = lines >= 3 || quotes > 0 || rest >= 50;

    uint32_t before = string::length_from_head(out);
    string::append_char(out, braces ? '{' : '"');
    bool unmatched_met = false;
    int32_t depth = 0;
    for (uint32_t i = start; i < end; i++) {
        uint32_t c = string::char_at(&value, i);
        if (!braces) {
            string::append_escaped_char(out, c, all, true);
        } else if (c == '{') {
            if (!unmatched_met && !matched.empty() && matched[i - start]) {
                string::append_char(out, '{');
                depth++;
            } else {
                unmatched_met = true;
                string::append_ascii(out, "^{", 2);
            }
        } else if (c == '}') {
            if (depth == 0) {
                string::append_ascii(out, "^}", 2);
            } else {
                string::append_char(out, '}');
                depth--;
            }
        } else if (c == '"') {
            string::append_char(out, '"');
        } else {
            string::append_escaped_char(out, c, all, false);
        }
    }
    string::append_char(out, braces ? '}' : '"');
    return limit - int32_t(string::length_from_head(out) - before);
}

Cell* set_operation(Cell* first_in, Cell* second_in, bool case_sensitive, Cell* skip, int32_t op, Cell* result) {
    Cell first = *first_in, second = *second_in;
    gc::CellRoot keep_first(&first);
    gc::CellRoot keep_second(&second);
    uint32_t size = 1;
    if (skip) {
        int32_t k = type_of(skip) == TYPE_INTEGER ? integer::get_value(skip) : 0;
        if (k < 1) raise_error("script", "invalid-refine-arg", "skip", skip);
        size = uint32_t(k);
    }
    bool exact = case_sensitive;
    Cell out;
    new_text(&out, type_of(&first), string::length(&first) + 1);
    gc::CellRoot keep_out(&out);

    // Takes the records of `from` whose first character passes the test
    // against `against` (test: 0 none, 1 present, -1 absent) and that are not
    // in the result yet.
    auto take = [&](Cell* from, Cell* against, int test) {
        uint32_t i = clamped_index(from);
        uint32_t total = total_units(from);
        for (; i < total; i += size) {
            uint32_t c = string::char_at(from, i);
            if (test != 0 && string::contains_char_q(against, c, size, exact) != (test > 0)) continue;
            if (string::contains_char_q(&out, c, size, exact)) continue;
            uint32_t n = total - i < size ? total - i : size;
            for (uint32_t k = 0; k < n; k++) string::append_char(&out, string::char_at(from, i + k));
        }
    };
    switch (op) {
    case SET_UNIQUE: take(&first, &second, 0); break;
    case SET_UNION: take(&first, &second, 0); take(&second, &first, 0); break;
    case SET_INTERSECT: take(&first, &second, 1); break;
    case SET_EXCLUDE: take(&first, &second, -1); break;
    case SET_DIFFERENCE: take(&first, &second, -1); take(&second, &first, -1); break;
    default: raise_error("internal", "not-done");
    }
    *result = out;
    return result;
}

}  // namespace string_actions

// ---- make and to -------------------------------------------------------------------------

Cell* string_make(Cell* prototype, Cell* spec) {
    uint32_t type = requested_type(prototype);
    uint32_t st = type_of(spec);
    if (type == TYPE_BINARY) {
        if (st == TYPE_MONEY) {
            Cell dt;
            datatype::set(&dt, type);
            raise_error("script", "bad-make-arg", &dt, spec);
        }
        if (st != TYPE_INTEGER && st != TYPE_FLOAT) return actions::get<SLOT_TO>(TYPE_BINARY)(prototype, spec);
    }
    if (st == TYPE_INTEGER || st == TYPE_FLOAT) {
        double n = st == TYPE_INTEGER ? double(integer::get_value(spec)) : cell_float(spec);
        if (!(n >= 0)) raise_error("script", "out-of-range", spec);
        if (n > double(memory::MAX_CAPACITY)) raise_error("internal", "no-memory");
        Cell* result = stack::arguments_base();
        new_text(result, type, uint32_t(n));
        return result;
    }
    return string_to(prototype, spec);
}

Cell* string_to(Cell* prototype, Cell* spec_in) {
    uint32_t type = requested_type(prototype);
    Cell spec = *spec_in;
    gc::CellRoot keep_spec(&spec);
    uint32_t st = type_of(&spec);
    Cell made;
    gc::CellRoot keep_made(&made);
    switch (st) {
    case TYPE_NONE:
        bad_to_arg(type, &spec);
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
        new_text(&made, TYPE_STRING, 16);
        append_text_of(&made, &spec, -1);
        break;
    case TYPE_REFINEMENT:
        new_text(&made, TYPE_STRING, 16);
        if (type == TYPE_STRING) dispatch::form(&spec, &made, nullptr, k_no_limit);
        else dispatch::mold(&spec, &made, false, false, false, nullptr, k_no_limit, 0);
        break;
    case TYPE_BINARY:
        string::from_utf8_binary(&spec, &made);
        break;
    default:
        if (is_any_string(st)) {
            made = Cell{TYPE_UNSET, 0, 0, 0};
            series_copy(&spec, &made, nullptr, false, nullptr);
        } else {
            new_text(&made, TYPE_STRING, 16);
            dispatch::form(&spec, &made, nullptr, k_no_limit);
        }
        break;
    }
    Cell* result = stack::arguments_base();
    *result = made;
    result->header = (result->header & ~TYPE_MASK) | type;
    return result;
}

// ---- Text forms ------------------------------------------------------------------------------

int32_t string_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    Cell v = *value;
    uint32_t rest = string::length(&v);
    int32_t n = part && limit >= 0 && uint32_t(limit) < rest ? limit : -1;
    string::concatenate(out, &v, n, 0, true, string::CONCAT_APPEND);
    return limit - int32_t(rest);
}

int32_t string_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                    int32_t indent) {
    return string_actions::mold_text(value, out, all, part != nullptr, limit);
}

// ---- Path steps -----------------------------------------------------------------------------

Cell* string_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                       int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify) {
    bool set = new_value && type_of(new_value) != TYPE_NONE;
    uint32_t et = type_of(element);
    if (et == TYPE_INTEGER) {
        if (set) return series_poke(value, integer::get_value(element), new_value);
        return series_pick(value, integer::get_value(element));
    }
    if (et == TYPE_WORD) raise_error("script", "invalid-path", element, value);
    if (!set) return string_select(value, element, nullptr, false, case_sensitive, false, false, nullptr, nullptr,
                                   false, false);
    Cell found = *value;
    gc::CellRoot keep(&found);
    string_find(&found, element, nullptr, false, case_sensitive, false, false, nullptr, nullptr, false, false, false,
                false);
    if (type_of(&found) == TYPE_NONE) raise_error("script", "bad-path-set", element, value);
    return dispatch::poke(&found, 2, new_value);
}

// ---- Comparison ------------------------------------------------------------------------------

int32_t string_compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t1 = type_of(value1), t2 = type_of(value2);
    if (t1 != t2) {
        if (!is_any_string(t2) || (op != COMP_EQUAL && op != COMP_NOT_EQUAL)) return COMPARE_INCOMPARABLE;
    }
    return string::compare_strings(value1, value2, op, false);
}

// ---- append, insert, change --------------------------------------------------------------------

Cell* string_insert(Cell* series, Cell* value_in, int32_t part, bool only, int32_t dup, bool append) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    uint32_t index = clamped_index(series);
    uint32_t start = total_units(series);
    bool at_tail = append || index >= start;
    // The notices name where the text goes (the tail for append) and how
    // many characters it has, as a block's do; inserting no text tells
    // nobody.
    uint32_t place = at_tail ? start : index;
    int32_t count = notice_count(series, &value, part, dup);
    bool told = count > 0 && series::notify(series, append ? "append" : "insert", &value, int32_t(place), count);
    if (dup > 0) append_text_of(series, &value, part);
    uint32_t added = added_since(series, start);
    repeat_tail(series, start, added, dup);
    uint32_t inserted = added_since(series, start);
    if (at_tail) {
        if (append) {
            if (inserted) series->data1 = 0;
        } else {
            series->data1 = total_units(series);
        }
    } else {
        SeriesBuffer* s = string::buffer(series);
        uint32_t u = s->unit();
        string::rotate_ranges(s->head + index * u, (start - index) * u, inserted * u);
        series->data1 = index + inserted;
    }
    if (told) series::notify(series, append ? "appended" : "inserted", &value, int32_t(place), int32_t(inserted));
    return series;
}

Cell* string_append(Cell* series, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    return string_insert(series, value, part, only, dup, append);
}

Cell* string_change(Cell* series, Cell* value_in, int32_t part, bool only, int32_t dup) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    uint32_t index = clamped_index(series);
    uint32_t start = total_units(series);
    bool told = series::notify(series, "change", &value, int32_t(index), notice_count(series, &value, -1, dup));
    if (dup > 0) append_text_of(series, &value, -1);
    uint32_t added = added_since(series, start);
    repeat_tail(series, start, added, dup);
    uint32_t inserted = added_since(series, start);
    if (index < start) {
        uint32_t remaining = start - index;
        uint32_t replaced = part >= 0 ? uint32_t(part) : inserted;
        if (replaced > remaining) replaced = remaining;
        SeriesBuffer* s = string::buffer(series);
        uint32_t u = s->unit();
        string::rotate_ranges(s->head + (index + replaced) * u, (start - index - replaced) * u, inserted * u);
        string::remove_units(series, index, replaced);
        uint32_t after = index + inserted, total = total_units(series);
        series->data1 = after < total ? after : total;
    } else {
        series->data1 = total_units(series);
    }
    if (told) series::notify(series, "changed", &value, int32_t(index), int32_t(inserted));
    return series;
}

// ---- find and select -------------------------------------------------------------------------

Cell* string_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                  Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Cell pattern{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&pattern);
    uint32_t length = 1;
    int64_t pos = find_position(series, value, part, case_sensitive, same, any, with, skip, last, reverse, match,
                                &length, &pattern);
    if (pos < 0) {
        none::set(series);
        return series;
    }
    series->data1 = uint32_t(tail ? pos + length : pos);
    return series;
}

Cell* string_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                    Cell* with, Cell* skip, bool last, bool reverse) {
    Cell pattern{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&pattern);
    uint32_t length = 1;
    int64_t pos = find_position(series, value, part, case_sensitive, same, any, with, skip, last, reverse, false,
                                &length, &pattern);
    uint64_t after = uint64_t(pos) + length;
    if (pos < 0 || after >= total_units(series)) {
        none::set(series);
        return series;
    }
    Cell item;
    series::read_element(series, uint32_t(after), &item);
    *series = item;
    return series;
}

// ---- sort ------------------------------------------------------------------------------------

namespace {

// Flags of the sort comparators: bit 0 reverse, bit 1 whole records, bits 2
// up the record size (or the field offset of /compare with an integer).
struct SortContext {
    uint32_t unit;
    bool fold;
    bool all;
    uint32_t size;      // characters per record
    uint32_t offset;    // character compared within a record (0-based)
    uint32_t type;      // the series' type, for the strings handed to a comparator
    const Cell* function;
};

inline uint32_t sort_fold(uint32_t c, uint32_t unit) {
    if (unit == 1) return c >= 'A' && c <= 'Z' ? c + 32 : c;   // Latin-1: ASCII letters only
    return case_::map_char(c, false);
}

template <uint32_t Unit>
int32_t compare_chars(const void* a, const void* b, intptr_t flags, intptr_t context) {
    const SortContext* ctx = reinterpret_cast<const SortContext*>(context);
    const uint8_t* pa = static_cast<const uint8_t*>(a);
    const uint8_t* pb = static_cast<const uint8_t*>(b);
    uint32_t from = ctx->all ? 0 : ctx->offset;
    uint32_t to = ctx->all ? ctx->size : ctx->offset + 1;
    int32_t r = 0;
    for (uint32_t k = from; k < to && r == 0; k++) {
        uint32_t ca = string::get_char(pa + k * Unit, Unit), cb = string::get_char(pb + k * Unit, Unit);
        if (ctx->fold) {
            ca = sort_fold(ca, Unit);
            cb = sort_fold(cb, Unit);
        }
        r = ca < cb ? -1 : ca > cb ? 1 : 0;
    }
    return (flags & 1) ? -r : r;
}

template <class F>
int32_t compare_floats(const void* a, const void* b, intptr_t flags, intptr_t context) {
    const SortContext* ctx = reinterpret_cast<const SortContext*>(context);
    F x, y;
    std::memcpy(&x, static_cast<const uint8_t*>(a) + ctx->offset * sizeof(F), sizeof(F));
    std::memcpy(&y, static_cast<const uint8_t*>(b) + ctx->offset * sizeof(F), sizeof(F));
    int32_t r = x < y ? -1 : x > y ? 1 : 0;
    return (flags & 1) ? -r : r;
}

// Integer vector elements: signed numbers, not unsigned characters.
template <class I>
int32_t compare_signed(const void* a, const void* b, intptr_t flags, intptr_t context) {
    const SortContext* ctx = reinterpret_cast<const SortContext*>(context);
    I x, y;
    std::memcpy(&x, static_cast<const uint8_t*>(a) + ctx->offset * sizeof(I), sizeof(I));
    std::memcpy(&y, static_cast<const uint8_t*>(b) + ctx->offset * sizeof(I), sizeof(I));
    int32_t r = x < y ? -1 : x > y ? 1 : 0;
    return (flags & 1) ? -r : r;
}

// One record as a value for a comparator: a char!, or with /all a string of
// the whole record.
void record_value(const SortContext* ctx, const uint8_t* p, Cell* out) {
    if (!ctx->all) {
        *out = Cell{TYPE_CHAR, 0, string::get_char(p + ctx->offset * ctx->unit, ctx->unit), 0};
        return;
    }
    string::init_cell_sized(out, ctx->unit, ctx->size);
    SeriesBuffer* s = string::buffer(out);
    std::memcpy(s->head, p, ctx->size * ctx->unit);
    s->tail = s->head + ctx->size * ctx->unit;
    out->header = ctx->type;
}

int32_t compare_by_function(const void* a, const void* b, intptr_t flags, intptr_t context) {
    const SortContext* ctx = reinterpret_cast<const SortContext*>(context);
    Cell args[2] = {};
    gc::CellRoot keep(args, 2);
    bool reverse = flags & 1;
    // The pair goes in as (second, first), or (first, second) with /reverse.
    record_value(ctx, static_cast<const uint8_t*>(reverse ? a : b), &args[0]);
    record_value(ctx, static_cast<const uint8_t*>(reverse ? b : a), &args[1]);
    Cell result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    eval_links::call_function(ctx->function, args, 2, &result);
    switch (type_of(&result)) {
    case TYPE_LOGIC: return result.data1 ? 1 : -1;
    case TYPE_INTEGER: {
        int32_t n = integer::get_value(&result);
        return n == INT32_MIN ? INT32_MAX : -n;
    }
    case TYPE_FLOAT: {
        double d = cell_float(&result);
        return d > 0 ? -1 : d < 0 ? 1 : 0;
    }
    case TYPE_NONE: return -1;
    default: return 1;
    }
}

inline bool function_kind_q(uint32_t t) {
    return t == TYPE_FUNCTION || t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_OP || t == TYPE_ROUTINE;
}

}  // namespace

Cell* string_sort(Cell* series, bool case_sensitive, Cell* skip, Cell* comparator, Cell* part, bool all, bool reverse,
                  bool stable) {
    uint32_t index = clamped_index(series);
    uint32_t total = total_units(series);
    uint32_t count = total - index;
    if (part) {
        int32_t n = series::part_count(series, part, "part");
        if (n < 0) {
            uint32_t back = n == INT32_MIN ? 0x80000000u : uint32_t(-n);
            if (back > index) back = index;
            index -= back;
            series->data1 = index;
            count = back;
        } else {
            count = uint32_t(n) < total - index ? uint32_t(n) : total - index;
        }
    }
    uint32_t size = 1;
    if (skip) {
        int32_t k = type_of(skip) == TYPE_INTEGER ? integer::get_value(skip) : 0;
        if (k < 1 || count % uint32_t(k) != 0 || count < uint32_t(k))
            raise_error("script", "invalid-refine-arg", "skip", skip);
        size = uint32_t(k);
    } else if (all) {
        raise_error("script", "bad-refines");
    }
    SortContext ctx{};
    ctx.unit = unit_of(series);
    ctx.size = size;
    ctx.all = all;
    ctx.type = type_of(series);
    bool is_vector = type_of(series) == TYPE_VECTOR;
    ctx.fold = !case_sensitive && !is_vector;
    sort::Compare compare = nullptr;
    if (comparator) {
        uint32_t ct = type_of(comparator);
        if (ct == TYPE_INTEGER) {
            if (!skip) raise_error("script", "bad-refines");
            int32_t offset = integer::get_value(comparator);
            if (offset < 1 || uint32_t(offset) > size) raise_error("script", "out-of-range", comparator);
            ctx.offset = uint32_t(offset) - 1;
            ctx.all = false;
        } else if (function_kind_q(ct)) {
            ctx.function = comparator;
            compare = compare_by_function;
        } else {
            raise_error("script", "invalid-refine-arg", "compare", comparator);
        }
    }
    if (!compare) {
        uint32_t elem = is_vector ? series->data3 : 0;
        if (is_vector && (elem == TYPE_FLOAT || elem == TYPE_PERCENT)) {
            compare = ctx.unit == 4 ? compare_floats<float> : compare_floats<double>;
        } else if (is_vector && elem == TYPE_INTEGER) {
            compare = ctx.unit == 1 ? compare_signed<int8_t> : ctx.unit == 2 ? compare_signed<int16_t>
                                                                             : compare_signed<int32_t>;
        } else {
            switch (ctx.unit) {
            case 1: compare = compare_chars<1>; break;
            case 2: compare = compare_chars<2>; break;
            case 4: compare = compare_chars<4>; break;
            default: string::unit_shift(ctx.unit);
            }
        }
    }
    uint32_t records = count / size;
    if (records < 2) return series;
    intptr_t flags = (reverse ? 1 : 0) | (all && skip ? 2 : 0) | intptr_t(size) << 2;
    bool told = series::notify(series, "sort", nullptr, int32_t(index), int32_t(count));
    SeriesBuffer* s = string::buffer(series);
    size_t width = size_t(size) * ctx.unit;
    size_t bytes = size_t(count) * ctx.unit;
    // A comparator written in the language may allocate (and so move the
    // buffer) or even change the series: its records are sorted in a copy
    // on the tracked heap, which holds no values and never moves.
    uint8_t* copy = ctx.function ? static_cast<uint8_t*>(heap::alloc(bytes)) : nullptr;
    uint8_t* base = copy ? copy : s->head + index * ctx.unit;
    if (copy) std::memcpy(copy, s->head + index * ctx.unit, bytes);
    try {
        // A stable sort keeps the order of equal records, with or without /case.
        if (stable) {
            if (!sort::merge_sort(base, records, width, flags, reinterpret_cast<intptr_t>(&ctx), compare))
                raise_error("script", "too-long");
        } else {
            sort::qsort(base, records, width, flags, reinterpret_cast<intptr_t>(&ctx), compare);
        }
    } catch (...) {
        if (copy) heap::free(copy);
        throw;
    }
    if (copy) {
        s = string::buffer(series);
        // Written back only where the series still holds those records.
        if (s->unit() == ctx.unit && uint64_t(index + count) * ctx.unit <= s->byte_length())
            std::memcpy(s->head + index * ctx.unit, copy, bytes);
        heap::free(copy);
    }
    if (told) series::notify(series, "sorted", nullptr, int32_t(index), int32_t(count));
    return series;
}

// ---- swap, take ------------------------------------------------------------------------------

Cell* string_swap(Cell* a, Cell* b) {
    uint32_t bt = type_of(b);
    if (!is_any_string(bt) && bt != TYPE_BINARY) raise_error("script", "invalid-arg", b);
    if (string::at_tail_q(a) || string::at_tail_q(b)) return a;
    uint32_t ia = clamped_index(a), ib = clamped_index(b);
    uint32_t ca = string::char_at(a, ia), cb = string::char_at(b, ib);
    string::poke_char(cell_node(a), ia, cb);
    string::poke_char(cell_node(b), ib, ca);
    return a;
}

Cell* string_take(Cell* series, Cell* part, bool deep, bool last) {
    Cell* result = series_take(series, part, deep, last);
    if (!part && is_series(type_of(result)) && total_units(result) == 1) {
        Cell item;
        series::read_element(result, 0, &item);
        *result = item;
    }
    return result;
}

// ---- trim ------------------------------------------------------------------------------------

namespace {

bool whitespace_q(uint32_t c) {
    if (c >= 1 && c <= 32) return true;
    switch (c) {
    case 133: case 160: case 5760: case 6158: case 8232: case 8233: case 8239: case 8287: case 12288:
        return true;
    default:
        return c >= 8192 && c <= 8202;
    }
}

// The spaces removed at the start and end of each line by the default trim.
bool line_space_q(uint32_t c) { return c == ' ' || c == '\t' || (c > 127 && whitespace_q(c)); }

// Rewrites the characters from `index` in place, keeping those `keep`
// accepts (it sees each character and its position among the originals).
template <class Keep>
void filter_chars(Cell* series, uint32_t index, Keep keep) {
    SeriesBuffer* s = string::buffer(series);
    uint32_t u = s->unit();
    uint32_t total = s->byte_length() / u;
    uint32_t w = index;
    for (uint32_t r = index; r < total; r++) {
        uint32_t c = string::get_char(s->head + r * u, u);
        if (keep(c, r)) {
            if (w != r) std::memmove(s->head + w * u, s->head + r * u, u);
            w++;
        }
    }
    s->tail = s->head + w * u;
}

}  // namespace

Cell* string_trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    uint32_t index = clamped_index(series);
    bool told = series::notify(series, "trim", nullptr, int32_t(index), 0);
    if (all || with) {
        std::u32string set;
        if (!with) {
            set = U"\t\n\r ";
        } else {
            uint32_t wt = type_of(with);
            if (is_any_string(wt) || wt == TYPE_BINARY) {
                Cell w = *with;
                SeriesBuffer* ws = string::buffer(&w);
                for (uint32_t i = clamped_index(&w); i < ws->byte_length() / ws->unit(); i++) set.push_back(char32_t(char_of(ws, i)));
            } else if (wt == TYPE_CHAR || wt == TYPE_INTEGER) {
                set.push_back(char32_t(with->data2));
            } else {
                raise_error("script", "invalid-arg", with);
            }
        }
        if (!set.empty()) filter_chars(series, index, [&](uint32_t c, uint32_t) { return set.find(char32_t(c)) == std::u32string::npos; });
    } else if (auto_) {
        raise_error("internal", "not-done");
    } else if (lines) {
        bool pending = false, any = false;
        SeriesBuffer* s = string::buffer(series);
        uint32_t u = s->unit();
        uint32_t total = s->byte_length() / u;
        uint32_t w = index;
        for (uint32_t r = index; r < total; r++) {
            uint32_t c = string::get_char(s->head + r * u, u);
            if (whitespace_q(c)) {
                pending = any;
                continue;
            }
            if (pending) {
                string::poke_char(cell_node(series), w++, ' ');
                s = string::buffer(series);
                pending = false;
            }
            string::poke_char(cell_node(series), w++, c);
            any = true;
        }
        s = string::buffer(series);
        s->tail = s->head + w * s->unit();
    } else {
        bool both = !head && !tail;
        SeriesBuffer* s = string::buffer(series);
        uint32_t u = s->unit();
        uint32_t total = s->byte_length() / u;
        uint32_t from = index, to = total;
        if (head || both)
            while (from < to && whitespace_q(string::get_char(s->head + from * u, u))) from++;
        bool trailing_line = false;
        if (tail || both)
            while (to > from && whitespace_q(string::get_char(s->head + (to - 1) * u, u))) {
                if (string::get_char(s->head + (to - 1) * u, u) == '\n') trailing_line = true;
                to--;
            }
        // Cut the ends, then (by default) the spaces around each line.
        s->tail = s->head + to * u;
        string::remove_units(series, index, from - index);
        if (both) {
            s = string::buffer(series);
            total = s->byte_length() / u;
            auto at = [&](uint32_t i) { return string::get_char(s->head + i * u, u); };
            uint32_t w = index;
            bool line_start = true;
            for (uint32_t r = index; r < total;) {
                uint32_t c = at(r);
                if (line_space_q(c)) {
                    // A run of spaces goes at a line's start and before its line feed.
                    uint32_t k = r;
                    while (k < total && line_space_q(at(k))) k++;
                    if (!line_start && !(k < total && at(k) == '\n')) {
                        std::memmove(s->head + w * u, s->head + r * u, (k - r) * u);
                        w += k - r;
                    }
                    r = k;
                    continue;
                }
                line_start = c == '\n';
                if (w != r) std::memmove(s->head + w * u, s->head + r * u, u);
                w++;
                r++;
            }
            s->tail = s->head + w * u;
            if (trailing_line) string::append_char(series, '\n');
        }
    }
    if (told) series::notify(series, "trimmed", nullptr, int32_t(index), 0);
    return series;
}

}  // namespace qor
