// Token scanners and loaders, kind by kind.
#include "evaluator/loaders.hpp"

#include <cstring>
#include <vector>

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/date.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/time.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "evaluator/lexer_record.hpp"
#include "datatypes/number_scan.hpp"
#include "runtime/collector.hpp"

namespace qor::lexer {

namespace {

inline bool is_digit(uint32_t c) { return c >= '0' && c <= '9'; }
inline int32_t hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return int32_t(c - '0');
    c |= 0x20;
    if (c >= 'a' && c <= 'f') return int32_t(c - 'a' + 10);
    return -1;
}
inline char lower(uint8_t c) { return char(c >= 'A' && c <= 'Z' ? c | 0x20 : c); }

// The state a container's closing leaves: inside a path, the path goes on.
uint8_t enclosing_state(Record& r) {
    return r.head != NO_MARKER && is_any_path(marker_type(stack_cell(r.head))) ? S_PATH : S_START;
}

// A datatype this tree does not build yet: its token is recognised and
// checked, and loading it is refused.
[[noreturn]] void not_built() { raise_error("internal", "not-done"); }

[[noreturn]] void invalid(Record& r, const uint8_t* start, uint32_t type) {
    throw_error(r, start, r.input_end, int32_t(type));
}

// ---- UTF-8 and escapes ----------------------------------------------------------------------

// One strict UTF-8 character; answers its length, 0 when invalid.
uint32_t utf8_char(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    uint8_t b = *p;
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    uint32_t n, c, min;
    if (b >= 0xC2 && b <= 0xDF) n = 2, c = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) n = 3, c = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) n = 4, c = b & 0x07, min = 0x10000;
    else return 0;
    if (end - p < int32_t(n)) return 0;
    for (uint32_t i = 1; i < n; i++) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *cp = c;
    return n;
}

struct EscapeName {
    const char* name;
    uint32_t    cp;
};
constexpr EscapeName ESCAPE_NAMES[] = {
    {"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10}, {"page", 12}, {"esc", 27}, {"del", 127},
};

// A "^" escape at p; answers the bytes consumed, 0 when malformed.
uint32_t decode_escape(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    if (end - p < 2) return 0;
    uint8_t c = p[1];
    switch (c) {
    case '(': {
        const uint8_t* q = p + 2;
        const uint8_t* close = q;
        while (close < end && close - q <= 6 && *close != ')') close++;
        if (close == end || *close != ')' || close == q) return 0;
        uint32_t n = uint32_t(close - q);
        uint32_t v = 0;
        bool hex = true;
        for (const uint8_t* h = q; h < close && hex; h++) {
            int32_t d = hex_value(*h);
            if (d < 0) hex = false;
            else v = v * 16 + uint32_t(d);
        }
        if (!hex) {
            for (const EscapeName& e : ESCAPE_NAMES) {
                if (std::strlen(e.name) != n) continue;
                bool same = true;
                for (uint32_t i = 0; i < n && same; i++) same = lower(q[i]) == e.name[i];
                if (same) {
                    *cp = e.cp;
                    return n + 3;
                }
            }
            return 0;
        }
        if (v > 0x10FFFF) return 0;
        *cp = v;
        return n + 3;
    }
    case '"': *cp = '"'; return 2;
    case '-': *cp = '\t'; return 2;
    case '/': *cp = '\n'; return 2;
    case '@': *cp = 0; return 2;
    case '^': *cp = '^'; return 2;
    case '{': *cp = '{'; return 2;
    case '}': *cp = '}'; return 2;
    case '~': *cp = 127; return 2;
    default:
        break;
    }
    if (c >= 'a' && c <= 'z') {
        *cp = c - 'a' + 1;
        return 2;
    }
    if (c >= 'A' && c <= '_') {
        *cp = c - 64;
        return 2;
    }
    // Any other character stands for itself.
    uint32_t n = utf8_char(p + 1, end, cp);
    return n ? n + 1 : 0;
}

// Percent escapes (%XX) in file and url names: a run of them is decoded as
// UTF-8 where it forms valid characters, else byte by byte.
uint32_t decode_percent(const uint8_t* p, const uint8_t* end, uint32_t* cp) {
    uint8_t bytes[4];
    uint32_t n = 0;
    const uint8_t* q = p;
    while (n < 4 && end - q >= 3 && q[0] == '%' && hex_value(q[1]) >= 0 && hex_value(q[2]) >= 0) {
        bytes[n++] = uint8_t(hex_value(q[1]) * 16 + hex_value(q[2]));
        q += 3;
        if (n == 1 && bytes[0] < 0x80) break;
        if (n >= 2 && utf8_char(bytes, bytes + n, cp) == n) return 3 * n;
    }
    if (n == 0) return 0;
    *cp = bytes[0];
    return 3;
}

// Code points of a text being loaded; reused between tokens (nothing inside
// a decode calls back into the lexer).
std::vector<uint32_t>& text_buffer() {
    static std::vector<uint32_t> buffer;
    return buffer;
}

enum TextMode : uint32_t { TEXT_ESCAPES = 1, TEXT_PERCENT = 2 };

// The text loader of strings, files, urls and refs: the characters of
// [start, end) with escapes decoded, as a value of `type` (pushed when
// loading).  Malformed text raises invalid `type`.
void load_text(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, uint32_t mode,
               uint32_t type, const uint8_t* error_at, bool load) {
    bool escapes = (mode & TEXT_ESCAPES) && (flags & LEX_FLAG_CARET);
    bool percent = (mode & TEXT_PERCENT) && (flags & LEX_FLAG_PERCENT);
    // Plain ASCII: the bytes are the characters.
    if (!escapes && !percent && !(flags & (LEX_FLAG_LEAD2 | LEX_FLAG_LEAD4))) {
        bool plain = true;
        for (const uint8_t* p = start; p < end && plain; p++) plain = *p < 0x80;
        if (plain) {
            if (!load) return;
            uint32_t n = uint32_t(end - start);
            Cell s;
            string::init_cell_sized(&s, 1, n);
            SeriesBuffer* b = string::buffer(&s);
            std::memcpy(b->head, start, n);
            b->tail = b->head + n;
            s.header = type;
            push(r, s);
            return;
        }
    }
    std::vector<uint32_t>& chars = text_buffer();
    chars.clear();
    uint32_t widest = 0;
    for (const uint8_t* p = start; p < end;) {
        uint32_t cp = 0, n;
        if (escapes && *p == '^') n = decode_escape(p, end, &cp);
        else if (percent && *p == '%') n = decode_percent(p, end, &cp);
        else n = utf8_char(p, end, &cp);
        if (n == 0) invalid(r, error_at, type);
        p += n;
        chars.push_back(cp);
        if (cp > widest) widest = cp;
    }
    if (!load) return;
    uint32_t unit = widest <= 0xFF ? 1 : widest <= 0xFFFF ? 2 : 4;
    uint32_t n = uint32_t(chars.size());
    Cell s;
    string::init_cell_sized(&s, unit, n);
    SeriesBuffer* b = string::buffer(&s);
    uint8_t* out = b->head;
    for (uint32_t cp : chars) {
        if (unit == 1) *out = uint8_t(cp);
        else if (unit == 2) { uint16_t v = uint16_t(cp); std::memcpy(out, &v, 2); }
        else std::memcpy(out, &cp, 4);
        out += unit;
    }
    b->tail = out;
    s.header = type;
    push(r, s);
}

// Checks that [start, end) is valid UTF-8 (escapes allowed with `escapes`).
void check_text(Record& r, const uint8_t* start, const uint8_t* end, bool escapes, uint32_t type) {
    for (const uint8_t* p = start; p < end;) {
        uint32_t cp, n = escapes && *p == '^' ? decode_escape(p, end, &cp) : utf8_char(p, end, &cp);
        if (n == 0) invalid(r, start, type);
        p += n;
    }
}

// ---- Structure: kinds 0-12 ------------------------------------------------------------------

void scan_eof(Record& r, const uint8_t*, const uint8_t*, uint32_t, bool) { r.position = r.input_end; }

// The automaton failed: the error names the type of the state it was in.
void scan_error(Record& r, const uint8_t* start, const uint8_t*, uint32_t, bool) {
    uint32_t type = TABLES.type[r.previous_state];
    if (r.previous_state == 21) throw_error(r, start, r.input_end, ERR_MALCONSTRUCT);
    if (r.previous_state == S_POINT) start--;  // the text of a point literal begins at its "("
    throw_error(r, start, r.input_end, type ? int32_t(type) : ERR_BAD_CHAR);
}

bool in_point_set(uint8_t b) {
    switch (b) {
    case ' ': case '\t': case '#': case '+': case '-': case '.':
    case 'A': case 'E': case 'F': case 'I': case 'N': case 'a': case 'e': case 'f': case 'i': case 'n':
        return true;
    default:
        return is_digit(b);
    }
}

bool in_point_under_construction(Record& r) {
    return r.head != NO_MARKER && marker_type(stack_cell(r.head)) == TYPE_POINT2D;
}

}  // namespace

// A "(" followed by at least four bytes that are all in the point set, or
// whose first byte outside it is ",", starts a point literal.
bool starts_point_literal(const Record& r, const uint8_t* paren) {
    if (paren >= r.input_end || *paren != '(') return false;
    const uint8_t* q = paren + 1;
    if (r.input_end - q < 4) return false;
    while (q < r.input_end && in_point_set(*q)) q++;
    return q == r.input_end || *q == ',';
}

namespace {

// "[" and "(": a container opens (or a point literal starts).
void scan_open(Record& r, const uint8_t*, const uint8_t* end, uint32_t, bool) {
    bool paren = *end == '(';
    if (paren && starts_point_literal(r, end)) {
        r.entry_state = S_POINT;
        r.position = end + 1;
        return;
    }
    uint32_t type = paren ? TYPE_PAREN : TYPE_BLOCK;
    if (in_point_under_construction(r)) invalid(r, end, TYPE_POINT2D);
    r.position = end + 1;
    if (!send_event(r, EVENT_OPEN, int32_t(type), end, end + 1)) return;
    open_container(r, type, end);
    r.entry_state = S_START;
}

// "]" and ")": the innermost container closes.
void scan_close(Record& r, const uint8_t*, const uint8_t* end, uint32_t, bool) {
    char c = char(*end);
    uint32_t closing_type = c == ']' ? TYPE_BLOCK : TYPE_PAREN;
    r.position = end + 1;
    if (!send_event(r, EVENT_CLOSE, int32_t(closing_type), end, end + 1)) return;
    // A closing that matches nothing names the type it would close; one
    // that mismatches names the open container.
    r.type_override = int32_t(closing_type);
    if (r.head == NO_MARKER) throw_error(r, end, r.input_end, ERR_MISSING, c == ']' ? '[' : '(');
    uint32_t open = marker_type(stack_cell(r.head));
    if (is_any_path(open)) invalid(r, end, TYPE_PATH);  // a path may not end with "/"
    char expected = open == TYPE_BLOCK || open == TYPE_MAP ? ']' : ')';
    if (open == TYPE_POINT2D || expected != c) {
        r.type_override = int32_t(open == TYPE_POINT2D ? uint32_t(TYPE_PAREN) : open);
        char opening = open == TYPE_BLOCK ? '[' : open == TYPE_MAP ? '#' : '(';
        throw_error(r, end, r.input_end, ERR_MISSING, expected == c ? opening : expected);
    }
    uint32_t map_count = 0;
    if (open == TYPE_MAP && r.load_values) {
        map_count = r.top - r.head - 1;
        if (map_count & 1) invalid(r, end, TYPE_MAP);
        for (uint32_t i = 0; i < map_count; i += 2)
            if (!map::key_type_q(type_of(stack_cell(r.head + 1 + i)))) invalid(r, end, TYPE_MAP);
    }
    r.type_override = -1;
    uint32_t at = r.head;
    close_container(r, open);
    if (open == TYPE_MAP && r.load_values) {
        // The closed container holds the pairs as a block: index them.
        Cell pairs = *stack_cell(at);
        uint32_t line_flag = pairs.header & FLAG_NEW_LINE;
        pairs.header = TYPE_BLOCK;
        gc::CellRoot keep(&pairs);
        Cell made{TYPE_UNSET, 0, 0, 0};
        gc::CellRoot keep_made(&made);
        map::init_cell(&made, &pairs, int32_t(map_count));
        made.header |= line_flag;
        *stack_cell(at) = made;
    }
}

// "{": a brace string opens, or nests one level deeper.
void scan_brace_open(Record& r, const uint8_t*, const uint8_t* end, uint32_t flags, bool) {
    r.position = end + 1;
    if (r.entry_state != S_BRACE_STRING) {
        r.brace_start = end;
        r.brace_new_line = r.new_line;
        r.brace_depth = 1;
        r.brace_flags = 0;
        send_event(r, EVENT_OPEN, TYPE_STRING, end, end + 1);
        r.entry_state = S_BRACE_STRING;
        return;
    }
    r.brace_depth++;
    r.brace_flags |= flags | (r.lines_in_token ? uint32_t(LEX_FLAG_MULTILINE) : 0u);
}

// "}": one level closes; the outermost loads the string between the braces.
void scan_brace_close(Record& r, const uint8_t*, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end + 1;
    r.brace_flags |= flags | (r.lines_in_token ? uint32_t(LEX_FLAG_MULTILINE) : 0u);
    if (--r.brace_depth > 0) {
        if (r.position == r.input_end) invalid(r, r.brace_start, TYPE_STRING);
        r.token_type = 0;  // still inside the string
        return;
    }
    const uint8_t* start = r.brace_start;
    uint32_t brace_flags = r.brace_flags;
    send_event(r, EVENT_CLOSE, TYPE_STRING, start, end + 1);
    // The string is one token from its "{" to its "}" (a path element, or
    // a value in a container).
    r.entry_state = enclosing_state(r);
    bool answer = true;
    if (!load || wants(r, EVENT_SCAN)) {
        load_text(r, start + 1, end, brace_flags, TEXT_ESCAPES, TYPE_STRING, start, false);
        answer = send_event(r, EVENT_SCAN, TYPE_STRING, start, end + 1);
    }
    if (answer && load) {
        r.new_line = r.brace_new_line;
        load_text(r, start + 1, end, brace_flags, TEXT_ESCAPES, TYPE_STRING, start, true);
        if (wants(r, EVENT_LOAD)) {
            Cell value = *stack_cell(r.top - 1);
            gc::CellRoot keep(&value);
            if (!send_event(r, EVENT_LOAD, TYPE_STRING, start, end + 1, &value)) pop(r);
        }
    }
    r.brace_start = nullptr;
}

// "#[": a map opens.
void scan_map_open(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    if (*start != '#') invalid(r, start, TYPE_MAP);
    if (in_point_under_construction(r)) invalid(r, start, TYPE_POINT2D);
    r.position = end + 1;
    if (!send_event(r, EVENT_OPEN, TYPE_MAP, start, end + 1)) return;
    open_container(r, TYPE_MAP, end);
    r.entry_state = S_START;
}

// The parts of a word token: its kind (from a leading ' or : and a
// trailing :) and its name.  Malformed words raise invalid word kinds.
struct WordParts {
    uint32_t       type;
    const uint8_t* name;
    const uint8_t* name_end;
};

WordParts word_parts(Record& r, const uint8_t* start, const uint8_t* end, bool in_path) {
    WordParts w{TYPE_WORD, start, end};
    if (*start == '\'') w.type = TYPE_LIT_WORD, w.name++;
    else if (*start == ':') w.type = TYPE_GET_WORD, w.name++;
    if (w.name_end - w.name > 1 && w.name_end[-1] == ':') {
        if (w.type == TYPE_LIT_WORD) invalid(r, start, TYPE_LIT_WORD);
        if (w.type == TYPE_GET_WORD) invalid(r, start, TYPE_WORD);
        w.type = TYPE_SET_WORD;
        w.name_end--;
    }
    if (w.name == w.name_end) invalid(r, start, w.type);
    for (const uint8_t* p = w.name; p < w.name_end;) {
        uint32_t cp, n = utf8_char(p, w.name_end, &cp);
        if (n == 0) invalid(r, start, TYPE_WORD);
        p += n;
    }
    for (const uint8_t* p = w.name; p < w.name_end; p++) {
        // A ":" in the middle only inside a path, before a delimiter.
        if (*p == ':' && !(in_path && p + 1 == w.name_end)) invalid(r, start, TYPE_WORD);
    }
    if (in_path && w.type == TYPE_SET_WORD) invalid(r, start, TYPE_WORD);
    return w;
}

void push_word(Record& r, const WordParts& w) {
    Cell cell;
    word::init_cell(&cell, symbol::intern_n(reinterpret_cast<const char*>(w.name), uint32_t(w.name_end - w.name)));
    cell.header = w.type;
    push(r, cell);
}

// A word followed by "/": a path opens with the word as its first element.
void scan_path(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    if (in_point_under_construction(r)) invalid(r, start, TYPE_POINT2D);
    // An element such as <<x inside a path reaches here: paths do not nest.
    if (r.entry_state == S_PATH) invalid(r, start, TYPE_PATH);
    uint32_t type = *start == '\'' ? uint32_t(TYPE_LIT_PATH) : *start == ':' ? uint32_t(TYPE_GET_PATH) : uint32_t(TYPE_PATH);
    send_event(r, EVENT_OPEN, int32_t(type), start, end);
    WordParts w = word_parts(r, start, end, false);
    if (w.type == TYPE_SET_WORD) invalid(r, start, TYPE_PATH);
    w.type = TYPE_WORD;
    open_container(r, type, start);
    if (load) push_word(r, w);
    r.entry_state = S_PATH;
    r.position = end + 1;
    // A path may not end with "/".
    if (r.position == r.input_end) invalid(r, start, TYPE_PATH);
}

// #(...): logic, none and unset values and datatypes by name.
void scan_construct(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end + 1;
    if (end - start < 2 || start[0] != '#' || start[1] != '(') throw_error(r, start, r.input_end, ERR_MALCONSTRUCT);
    const uint8_t* name = start + 2;
    uint32_t n = uint32_t(end - name);
    auto same = [&](const char* text, uint32_t length) {
        if (length != n) return false;
        for (uint32_t i = 0; i < n; i++)
            if (lower(name[i]) != lower(uint8_t(text[i]))) return false;
        return true;
    };
    Cell value{TYPE_NONE, 0, 0, 0};
    bool found = n > 0;
    if (!found) {
    } else if (same("true", 4)) value = Cell{TYPE_LOGIC, 1, 0, 0};
    else if (same("false", 5)) value = Cell{TYPE_LOGIC, 0, 0, 0};
    else if (same("none", 4)) value = Cell{TYPE_NONE, 0, 0, 0};
    else if (same("unset", 5)) value = Cell{TYPE_UNSET, 0, 0, 0};
    else {
        found = false;
        for (uint32_t id = 1; id <= registry::highest_type() && !found; id++) {
            const TypeNameEntry& t = registry::type_name(id);
            if (t.name && t.name[0] && same(t.name, uint32_t(std::strlen(t.name)))) {
                datatype::set(&value, id);
                found = true;
            }
        }
    }
    if (!found) throw_error(r, start, r.input_end, ERR_MALCONSTRUCT);
    if (load) push(r, value);
    else r.type_override = int32_t(type_of(&value));
}

void scan_comment(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool) {
    r.position = end;
    send_event(r, EVENT_SCAN, -1 - K_COMMENT, start, end);
}

// ",": a paren becomes a point under construction; each further comma is
// counted.
void scan_comma(Record& r, const uint8_t*, const uint8_t* end, uint32_t, bool) {
    r.position = end + 1;
    if (r.head != NO_MARKER) {
        Cell* m = stack_cell(r.head);
        if (marker_type(m) == TYPE_PAREN) {
            m->data2 = TYPE_POINT2D;
            return;
        }
        if (marker_type(m) == TYPE_POINT2D) {
            m->data2 += 0x10000;
            return;
        }
    }
    invalid(r, end, TYPE_POINT2D);
}

// ---- Values: kinds 13-35 ------------------------------------------------------------------

void load_string(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end + 1;
    load_text(r, start + 1, end, flags, TEXT_ESCAPES, TYPE_STRING, start, load);
}

// A word, set-word, get-word or lit-word.  A word is cut at the first
// Unicode blank inside it.
void load_word(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    if (flags & (LEX_FLAG_LEAD2 | LEX_FLAG_LEAD4)) {
        for (const uint8_t* p = start; p < end;) {
            uint32_t cp, n = utf8_char(p, end, &cp);
            if (n == 0) invalid(r, start, TYPE_WORD);
            if (is_unicode_blank(cp) && p > start) {
                end = p;
                break;
            }
            p += n;
        }
    }
    r.position = end;
    bool in_path = r.entry_state == S_PATH;
    WordParts w = word_parts(r, start, end, in_path);
    r.type_override = int32_t(w.type);
    if (load) push_word(r, w);
}

// Issues and refinements are not bound to a slot: {type, global context,
// symbol, -1}.
void push_unbound(Record& r, uint32_t type, const uint8_t* name, const uint8_t* end) {
    int32_t symbol = symbol::intern_n(reinterpret_cast<const char*>(name), uint32_t(end - name));
    Cell cell{type, reinterpret_cast<uint32_t>(context::global()), uint32_t(symbol), 0xFFFFFFFFu};
    push(r, cell);
}

void load_issue(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    if (*start != '#' || end - start < 2) invalid(r, start, TYPE_ISSUE);
    check_text(r, start + 1, end, false, TYPE_ISSUE);
    if (load) push_unbound(r, TYPE_ISSUE, start + 1, end);
}

void load_float_text(Record& r, const uint8_t* start, const uint8_t* end, bool load) {
    double v;
    if (!number_scan::read_float(start, end, 0, &v)) invalid(r, start, TYPE_FLOAT);
    r.type_override = TYPE_FLOAT;
    if (load) push(r, float_::make(v));
}

void load_integer(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end;
    int32_t v = 0;
    switch (number_scan::lex_integer(start, end, (flags & LEX_FLAG_QUOTE) != 0, &v)) {
    case number_scan::INT_OK:
        if (load) push(r, integer::make(v));
        return;
    case number_scan::INT_AS_FLOAT:
        // A path element must be an integer (a float would not mold back).
        if (r.entry_state == S_PATH) invalid(r, start, TYPE_INTEGER);
        load_float_text(r, start, end, load);
        return;
    default:
        invalid(r, start, TYPE_INTEGER);
    }
}

void load_refinement(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    if (*start != '/' || end - start < 2) invalid(r, start, TYPE_REFINEMENT);
    check_text(r, start + 1, end, false, TYPE_REFINEMENT);
    if (load) push_unbound(r, TYPE_REFINEMENT, start + 1, end);
}

void load_char(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end + 1;
    if (end - start < 2 || start[0] != '#' || start[1] != '"') invalid(r, start, TYPE_CHAR);
    const uint8_t* p = start + 2;
    uint32_t cp = 0;
    uint32_t n = p < end ? decode_char(p, end, true, &cp) : 0;
    if (n == 0 || p + n != end) invalid(r, start, TYPE_CHAR);
    if (load) push(r, char_::make(cp));
}

void load_file(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    if (end - start >= 2 && start[1] == '"') {
        r.position = end + 1;
        load_text(r, start + 2, end, flags, TEXT_ESCAPES, TYPE_FILE, start, load);
        return;
    }
    r.position = end;
    load_text(r, start + 1, end, flags, TEXT_ESCAPES | TEXT_PERCENT, TYPE_FILE, start, load);
}

void load_binary(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end + 1;
    int32_t base = 0;
    const uint8_t* p = start;
    while (p < end && is_digit(*p) && base < 100) base = base * 10 + (*p++ - '0');
    if (p == start) base = 16;
    if ((base != 2 && base != 16 && base != 64) || end - p < 2 || p[0] != '#' || p[1] != '{')
        invalid(r, start, TYPE_BINARY);
    int32_t n = decode_binary(p + 2, end, base, nullptr);
    if (n < 0) invalid(r, start, TYPE_BINARY);
    if (!load) return;
    std::vector<uint8_t> bytes(size_t(n) + 1);
    decode_binary(p + 2, end, base, bytes.data());
    push(r, binary::make(bytes.data(), uint32_t(n)));
}

void load_percent(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end + 1;
    double v;
    if (!number_scan::read_float(start, end, -2, &v)) invalid(r, start, TYPE_FLOAT);
    if (load) push(r, percent::make(v));
}

void load_float(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    load_float_text(r, start, end, load);
}

void load_special_float(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    double v;
    if (!number_scan::read_special_float(start, end, &v)) invalid(r, start, TYPE_FLOAT);
    if (load) push(r, float_::make(v));
}

void load_tuple(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    uint8_t bytes[12];
    int32_t n = number_scan::read_tuple(start, end, bytes);
    if (n < 3) invalid(r, start, TYPE_TUPLE);
    if (load) push(r, tuple::make(uint32_t(n), bytes));
}

void load_date(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    DateParts d;
    if (!parse_date(start, end, &d)) invalid(r, start, TYPE_DATE);
    if (!load) return;
    // A zone west of UTC is negative in hours and minutes alike (-00:30).
    int32_t zone_minutes = d.zone_west ? -d.zone_minutes : d.zone_minutes;
    Cell value;
    date::init_cell(&value, d.year, d.month, d.day, d.hour * 3600.0 + d.minute * 60.0 + d.second,
                    d.zone_hours, zone_minutes, d.has_time);
    push(r, value);
}

void load_pair(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end;
    const uint8_t* x = start;
    while (x < end && (*x | 0x20) != 'x') x++;
    if (flags & LEX_FLAG_DOT) invalid(r, start, TYPE_PAIR);
    int32_t a, b;
    bool quotes = (flags & LEX_FLAG_QUOTE) != 0;
    if (x == end || number_scan::lex_integer(start, x, quotes, &a) != number_scan::INT_OK ||
        number_scan::lex_integer(x + 1, end, quotes, &b) != number_scan::INT_OK)
        invalid(r, start, TYPE_PAIR);
    if (load) push(r, Cell{TYPE_PAIR, 0, uint32_t(a), uint32_t(b)});
}

void load_point(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end + 1;
    r.entry_state = enclosing_state(r);
    double xyz[3];
    int32_t n = parse_point(start, end, xyz);
    if (n == POINT_BAD_NUMBER) invalid(r, start - 1, TYPE_FLOAT);
    if (n < 0) invalid(r, start - 1, n <= -3 ? TYPE_POINT3D : TYPE_POINT2D);
    r.type_override = n == 3 ? TYPE_POINT3D : TYPE_POINT2D;
    if (load) push(r, n == 3 ? point::make3d(xyz[0], xyz[1], xyz[2]) : point::make2d(xyz[0], xyz[1]));
}

void load_time(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end;
    double seconds;
    if ((flags & LEX_FLAG_EXPONENT) || !parse_time(start, end, &seconds)) invalid(r, start, TYPE_TIME);
    if (load) push(r, time::make(seconds));
}

void load_money(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    number_scan::MoneyParts parts;
    if (!number_scan::money_parts(start, end, false, &parts)) invalid(r, start, TYPE_MONEY);
    if (!load) return;
    // A currency the currency list lacks makes the token invalid.
    Cell m{};
    if (!money::from_digits(&m, parts.negative, parts.currency[0] ? parts.currency : nullptr, parts.integer,
                            parts.fraction))
        invalid(r, start, TYPE_MONEY);
    push(r, m);
}

void load_tag(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end + 1;
    if (*start != '<') invalid(r, start, TYPE_TAG);
    check_text(r, start + 1, end, true, TYPE_TAG);
    if (load) not_built();
}

void load_url(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end;
    if (*start == ':') invalid(r, start, TYPE_GET_WORD);
    if (*start == '\'') invalid(r, start, TYPE_LIT_WORD);
    load_text(r, start, end, flags, TEXT_ESCAPES | TEXT_PERCENT, TYPE_URL, start, load);
}

void load_email(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    check_text(r, start, end, true, TYPE_EMAIL);
    if (load) not_built();
}

// FFh: 2 to 8 hexadecimal digits and "h".
void load_hex(Record& r, const uint8_t* start, const uint8_t* end, uint32_t, bool load) {
    r.position = end;
    const uint8_t* h = end - 1;  // the "h"
    for (const uint8_t* p = start; p < h; p++)
        if (*p == '\'' || *p == '+' || *p == '-') invalid(r, start, TYPE_INTEGER);
    if (h == start || hex_value(h[-1]) < 0) invalid(r, start, TYPE_WORD);
    uint32_t digits = uint32_t(h - start);
    if (digits < 2 || digits > 8) invalid(r, start, TYPE_INTEGER);
    uint32_t v = 0;
    for (const uint8_t* p = start; p < h; p++) {
        int32_t d = hex_value(*p);
        if (d < 0 || (*p >= 'a' && *p <= 'f')) invalid(r, start, TYPE_INTEGER);
        v = v * 16 + uint32_t(d);
    }
    r.type_override = TYPE_INTEGER;
    if (load) push(r, integer::make(int32_t(v)));
}

// %{...}%: the string ends at the first "}" followed by as many "%" as
// stand before its "{"; the content is taken as it is.
void load_raw_string(Record& r, const uint8_t* start, const uint8_t*, uint32_t flags, bool load) {
    const uint8_t* p = start;
    uint32_t percents = 0;
    while (p < r.input_end && *p == '%') p++, percents++;
    const uint8_t* content = p + 1;
    for (const uint8_t* q = content; q < r.input_end; q++) {
        if (*q != '}' || uint32_t(r.input_end - q - 1) < percents) continue;
        bool closes = true;
        for (uint32_t i = 1; i <= percents && closes; i++) closes = q[i] == '%';
        if (!closes) continue;
        // The automaton counted lines up to where it stopped: count them
        // again up to the real end.
        int32_t line = r.line - r.lines_in_token;
        for (const uint8_t* c = start; c < q; c++) line += *c == '\n';
        r.lines_in_token = line - (r.line - r.lines_in_token);
        r.line = line;
        r.position = q + 1 + percents;
        load_text(r, content, q, flags, 0, TYPE_STRING, start, load);
        r.type_override = TYPE_STRING;
        return;
    }
    invalid(r, start, TYPE_STRING);
}

void load_ref(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end;
    if (*start != '@') invalid(r, start, TYPE_REF);
    load_text(r, start + 1, end, flags, TEXT_ESCAPES, TYPE_REF, start, load);
}

}  // namespace

// ---- Shared decoders ------------------------------------------------------------------------

uint32_t decode_char(const uint8_t* p, const uint8_t* end, bool escapes, uint32_t* cp) {
    if (p >= end) return 0;
    if (escapes && *p == '^') return decode_escape(p, end, cp);
    return utf8_char(p, end, cp);
}

bool parse_time(const uint8_t* start, const uint8_t* end, double* seconds) {
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

namespace {

constexpr const char* MONTHS[12] = {
    "january", "february", "march", "april", "may", "june",
    "july", "august", "september", "october", "november", "december",
};

bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int32_t month_days(int32_t y, int32_t m) {
    static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap_year(y) ? 29 : days[m - 1];
}

// A month name (a prefix of 3 to 9 letters of its full name) or number.
int32_t read_month(const uint8_t*& p, const uint8_t* end) {
    if (p < end && is_digit(*p)) {
        int32_t m = 0, n = 0;
        while (p < end && is_digit(*p) && n < 2) m = m * 10 + (*p++ - '0'), n++;
        return m;
    }
    const uint8_t* q = p;
    while (q < end && ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z')) q++;
    uint32_t n = uint32_t(q - p);
    if (n < 3 || n > 9) return 0;
    for (int32_t m = 0; m < 12; m++) {
        if (std::strlen(MONTHS[m]) < n) continue;
        bool same = true;
        for (uint32_t i = 0; i < n && same; i++) same = lower(p[i]) == MONTHS[m][i];
        if (same) {
            p = q;
            return m + 1;
        }
    }
    return 0;
}

// A signed number of up to `max` digits; false when there is none.
bool read_number(const uint8_t*& p, const uint8_t* end, uint32_t max, int32_t* value, uint32_t* digits) {
    bool negative = p < end && *p == '-';
    const uint8_t* q = negative ? p + 1 : p;
    int32_t v = 0;
    uint32_t n = 0;
    while (q < end && is_digit(*q)) {
        if (++n > max) return false;
        v = v * 10 + (*q++ - '0');
    }
    if (n == 0) return false;
    p = q;
    *value = negative ? -v : v;
    *digits = n;
    return true;
}

// Z, or a zone: a sign, hours of up to two digits, an optional ":" and two
// digits of minutes; nothing may follow.
bool read_zone(const uint8_t* p, const uint8_t* end, DateParts* d) {
    if (p < end && (*p == 'Z' || *p == 'z')) {
        d->has_zone = true;
        return p + 1 == end;
    }
    if (p == end || (*p != '+' && *p != '-')) return false;
    bool negative = *p++ == '-';
    int32_t hh = 0, mm = 0;
    uint32_t count = 0;
    while (p < end && is_digit(*p) && count < 2) hh = hh * 10 + (*p++ - '0'), count++;
    if (count == 0) return false;
    if (p < end && *p == ':') p++;
    if (p < end) {
        count = 0;
        while (p < end && is_digit(*p) && count < 2) mm = mm * 10 + (*p++ - '0'), count++;
        if (count != 2 || mm > 59) return false;
    }
    d->has_zone = true;
    d->zone_west = negative;
    d->zone_hours = negative ? -hh : hh;
    d->zone_minutes = mm;
    return p == end;
}

// The time part of a date: hh:mm[:ss[.frac]] then Z or a zone.
bool read_date_time(const uint8_t* p, const uint8_t* end, DateParts* d) {
    int32_t v;
    uint32_t n;
    d->has_time = true;
    if (!read_number(p, end, 2, &v, &n) || v < 0) return false;
    d->hour = v;
    if (p == end || *p != ':') return false;
    p++;
    if (!read_number(p, end, 2, &v, &n) || v < 0) return false;
    d->minute = v;
    if (p < end && *p == ':') {
        const uint8_t* s = ++p;
        while (p < end && (is_digit(*p) || *p == '.')) p++;
        if (!number_scan::read_float(s, p, 0, &d->second)) return false;
    }
    return p == end || read_zone(p, end, d);
}

bool date_checks(DateParts* d) {
    if (d->month < 1 || d->month > 12) return false;
    if (d->year < -9999 || d->year > 9999) return false;
    if (d->day < 1 || d->day > month_days(d->year, d->month)) return false;
    if (d->has_time && (d->hour > 23 || d->minute > 59 || d->second >= 60.0)) return false;
    if (d->zone_hours < -15 || d->zone_hours > 15) return false;
    return true;
}

// Day of an ISO week (week 1 holds the year's first Thursday).
void iso_week_date(int32_t year, int32_t week, int32_t weekday, DateParts* d) {
    // Day of the week of January 4 (1 Monday .. 7 Sunday), Zeller-style.
    int32_t y = year - 1;
    int32_t jan1 = (1 + 5 * (y % 4) + 4 * (y % 100) + 6 * (y % 400)) % 7;  // 0 Sunday
    int32_t jan1_iso = jan1 == 0 ? 7 : jan1;
    int32_t ordinal = (week - 1) * 7 + weekday - (jan1_iso - 1) + (jan1_iso <= 4 ? 0 : 7);
    d->year = year;
    while (ordinal < 1) {
        d->year--;
        ordinal += leap_year(d->year) ? 366 : 365;
    }
    while (ordinal > (leap_year(d->year) ? 366 : 365)) {
        ordinal -= leap_year(d->year) ? 366 : 365;
        d->year++;
    }
    int32_t m = 1;
    while (ordinal > month_days(d->year, m)) ordinal -= month_days(d->year, m++);
    d->month = m;
    d->day = ordinal;
}

}  // namespace

bool parse_date(const uint8_t* start, const uint8_t* end, DateParts* d) {
    *d = DateParts{};
    const uint8_t* p = start;
    // The basic form yyyymmddThhmm[ss].
    const uint8_t* t = start;
    while (t < end && is_digit(*t)) t++;
    if (t - start == 8 && t < end && *t == 'T') {
        auto num = [](const uint8_t* q, int n) {
            int32_t v = 0;
            for (int i = 0; i < n; i++) v = v * 10 + (q[i] - '0');
            return v;
        };
        d->year = num(start, 4), d->month = num(start + 4, 2), d->day = num(start + 6, 2);
        const uint8_t* h = t + 1;
        const uint8_t* q = h;
        while (q < end && is_digit(*q)) q++;
        if (q - h != 4 && q - h != 6) return false;
        d->has_time = true;
        d->hour = num(h, 2), d->minute = num(h + 2, 2);
        if (q - h == 6) d->second = num(h + 4, 2);
        if (q < end && !read_zone(q, end, d)) return false;
        return date_checks(d);
    }
    int32_t first;
    uint32_t first_digits;
    if (!read_number(p, end, 5, &first, &first_digits) || p == end) return false;
    uint8_t sep = *p;
    if (sep != '-' && sep != '/') return false;
    p++;
    // yyyy-ddd and yyyy-Www[-d].
    if (sep == '-' && p < end && (*p == 'W' || *p == 'w')) {
        int32_t week, weekday = 1;
        uint32_t n;
        p++;
        if (!read_number(p, end, 2, &week, &n) || n != 2 || week < 1 || week > 53) return false;
        if (p < end && *p == '-') {
            p++;
            if (!read_number(p, end, 1, &weekday, &n) || weekday < 1 || weekday > 7) return false;
        }
        iso_week_date(first, week, weekday, d);
        if (p < end) {
            if (*p != '/' && *p != 'T') return false;
            if (!read_date_time(p + 1, end, d)) return false;
        }
        return date_checks(d);
    }
    const uint8_t* q = p;
    while (q < end && is_digit(*q)) q++;
    if (sep == '-' && q - p == 3 && (q == end || *q == '/' || *q == 'T')) {
        int32_t ordinal = (p[0] - '0') * 100 + (p[1] - '0') * 10 + (p[2] - '0');
        if (ordinal == 0 || ordinal > (leap_year(first) ? 366 : 365)) return false;
        d->year = first;
        int32_t m = 1;
        while (ordinal > month_days(first, m)) ordinal -= month_days(first, m++);
        d->month = m, d->day = ordinal;
        if (q < end && !read_date_time(q + 1, end, d)) return false;
        return date_checks(d);
    }
    int32_t month = read_month(p, end);
    if (month == 0 || p == end || *p != sep) return false;
    p++;
    int32_t last;
    uint32_t last_digits;
    if (!read_number(p, end, 4, &last, &last_digits)) return false;
    // Day first when the first number is small or the last cannot be a day.
    if ((first <= 99 && first_digits <= 2) || last < 0 || last > 31) {
        d->day = first;
        d->year = last;
        if (last_digits <= 2 && last >= 0) d->year = last <= 49 ? 2000 + last : 1900 + last;
    } else {
        d->year = first;
        d->day = last;
    }
    d->month = month;
    if (p < end) {
        if (*p != '/' && *p != 'T') return false;
        if (!read_date_time(p + 1, end, d)) return false;
    }
    return date_checks(d);
}

int32_t decode_binary(const uint8_t* start, const uint8_t* end, int32_t base, uint8_t* out) {
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

int32_t parse_point(const uint8_t* start, const uint8_t* end, double xyz[3]) {
    const uint8_t* p = start;
    int32_t n = 0;
    while (true) {
        while (p < end && (*p == ' ' || *p == '\t')) p++;
        const uint8_t* s = p;
        while (p < end && *p != ',' && *p != ' ' && *p != '\t') p++;
        if (n == 3 || s == p) return -(n + 1);
        if (p - s > int32_t(number_scan::MAX_FLOAT_TEXT)) return POINT_BAD_NUMBER;
        if (!number_scan::read_float(s, p, 0, &xyz[n]) && !number_scan::read_special_float(s, p, &xyz[n]))
            return POINT_BAD_NUMBER;
        n++;
        while (p < end && (*p == ' ' || *p == '\t')) p++;
        if (p == end) break;
        if (*p != ',') return -(n + 1);
        p++;
    }
    return n >= 2 ? n : -(n + 1);
}

// ---- The table ------------------------------------------------------------------------------

// ORDER LEX-KINDS
const KindEntry KIND_TABLE[KIND_COUNT] = {
    {scan_eof, nullptr},                 // 0 end of input
    {scan_error, nullptr},               // 1 error
    {scan_open, nullptr},                // 2 [
    {scan_close, nullptr},               // 3 ]
    {scan_open, nullptr},                // 4 (
    {scan_close, nullptr},               // 5 )
    {scan_brace_open, nullptr},          // 6 {
    {scan_brace_close, nullptr},         // 7 }
    {scan_map_open, nullptr},            // 8 #[
    {scan_path, nullptr},                // 9 word/
    {scan_construct, nullptr},           // 10 #(...)
    {scan_comment, nullptr},             // 11 ;
    {scan_comma, nullptr},               // 12 ,
    {nullptr, load_string},              // 13 "..."
    {nullptr, load_word},                // 14 word
    {nullptr, load_issue},               // 15 #issue
    {nullptr, load_integer},             // 16 integer
    {nullptr, load_refinement},          // 17 /refinement
    {nullptr, load_char},                // 18 #"c"
    {nullptr, load_file},                // 19 %file
    {nullptr, load_binary},              // 20 #{...}
    {nullptr, load_percent},             // 21 12%
    {nullptr, load_float},               // 22 1.5
    {nullptr, load_special_float},       // 23 1.#INF
    {nullptr, load_tuple},               // 24 1.2.3
    {nullptr, load_date},                // 25 date
    {nullptr, load_pair},                // 26 10x20
    {nullptr, load_point},               // 27 (1, 2)
    {nullptr, load_time},                // 28 12:30
    {nullptr, load_money},               // 29 $1.50
    {nullptr, load_tag},                 // 30 <tag>
    {nullptr, load_url},                 // 31 url
    {nullptr, load_email},               // 32 email
    {nullptr, load_hex},                 // 33 FFh
    {nullptr, load_raw_string},          // 34 %{...}%
    {nullptr, load_ref},                 // 35 @ref
};

}  // namespace qor::lexer
