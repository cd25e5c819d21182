// Token scanners and loaders, kind by kind.  The structure scanners and
// the token boundaries are the lexer's; a value token's text is read by its
// datatype's literal decoder (datatypes/literal.hpp).
#include <cstring>

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/date.hpp"
#include "datatypes/file_path.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/literal.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tag_email_ref.hpp"
#include "datatypes/text_literal.hpp"
#include "datatypes/time.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/url_codec.hpp"
#include "datatypes/word.hpp"
#include "evaluator/lexer_record.hpp"
#include "runtime/collector.hpp"

namespace qor::lexer {

namespace {

using text_literal::utf8_char;

inline bool is_digit(uint32_t c) { return c >= '0' && c <= '9'; }
inline char lower(uint8_t c) { return char(c >= 'A' && c <= 'Z' ? c | 0x20 : c); }

// The state a container's closing leaves: inside a path, the path goes on.
uint8_t enclosing_state(Record& r) {
    return r.head != NO_MARKER && is_any_path(marker_type(stack_cell(r.head))) ? S_PATH : S_START;
}

[[noreturn]] void invalid(Record& r, const uint8_t* start, uint32_t type) {
    throw_error(r, start, r.input_end, int32_t(type));
}

// A value token ended by a closing delimiter of `closer` bytes (0 or 1):
// its datatype's decoder reads it and the value is pushed.
template <literal::Decoder decode, uint32_t closer>
void load_literal(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end + closer;
    Cell value{};
    if (uint32_t bad = decode(start, end, flags, load, &value)) invalid(r, start, bad);
    if (load) push(r, value);
}

// The string between [start, end) of a string token that the lexer cut out
// itself (braces, raw strings): `error_at` names the token in errors.
void load_text(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, uint32_t mode,
               uint32_t type, const uint8_t* error_at, bool load) {
    Cell value{};
    if (uint32_t bad = text_literal::decode(start, end, flags, mode, type, load, &value)) invalid(r, error_at, bad);
    if (load) push(r, value);
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
        load_text(r, start + 1, end, brace_flags, text_literal::ESCAPES, TYPE_STRING, start, false);
        answer = send_event(r, EVENT_SCAN, TYPE_STRING, start, end + 1);
    }
    if (answer && load) {
        r.new_line = r.brace_new_line;
        load_text(r, start + 1, end, brace_flags, text_literal::ESCAPES, TYPE_STRING, start, true);
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
    // One pass: ASCII bytes are checked in place, only the rest is decoded.
    // The first fault met decides the error, as both faults raise the same.
    // Four bytes at a time while they hold neither a colon nor a non-ASCII
    // byte, which most names never do.
    const uint8_t* p = w.name;
    for (; w.name_end - p >= 4; p += 4) {
        uint32_t x;
        std::memcpy(&x, p, 4);
        uint32_t colons = x ^ 0x3A3A3A3Au;
        if ((x & 0x80808080u) || ((colons - 0x01010101u) & ~colons & 0x80808080u)) break;
    }
    while (p < w.name_end) {
        if (*p < 0x80) {
            // A ":" in the middle only inside a path, before a delimiter.
            if (*p == ':' && !(in_path && p + 1 == w.name_end)) invalid(r, start, TYPE_WORD);
            p++;
            continue;
        }
        uint32_t cp, n = utf8_char(p, w.name_end, &cp);
        if (n == 0) invalid(r, start, TYPE_WORD);
        p += n;
    }
    if (in_path && w.type == TYPE_SET_WORD) invalid(r, start, TYPE_WORD);
    return w;
}

void push_word(Record& r, const WordParts& w) {
    Cell cell = interned_word(r, w.name, w.name_end);
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

// A number too long or too large for an integer loads as a float, except
// as a path element (a float would not mold back).
void load_integer(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end;
    Cell value{};
    uint32_t bad = integer::decode_literal(start, end, flags, load, &value);
    bool as_float = bad == TYPE_FLOAT || (bad == 0 && type_of(&value) == TYPE_FLOAT);
    if (as_float && r.entry_state == S_PATH) invalid(r, start, TYPE_INTEGER);
    if (bad) invalid(r, start, bad);
    if (as_float) r.type_override = TYPE_FLOAT;
    if (load) push(r, value);
}

// Floats and hexadecimal integers name their type for the trace events
// (their kinds' states also hold words).
template <literal::Decoder decode, uint32_t type>
void load_number(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end;
    Cell value{};
    if (uint32_t bad = decode(start, end, flags, load, &value)) invalid(r, start, bad);
    r.type_override = int32_t(type);
    if (load) push(r, value);
}

// %name, or %"name" up to its closing quote.
void load_file(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    if (end - start >= 2 && start[1] == '"') load_literal<file::decode_literal, 1>(r, start, end, flags, load);
    else load_literal<file::decode_literal, 0>(r, start, end, flags, load);
}

// (x, y) and (x, y, z): the text runs from after the "(", which errors
// name, to the ")"; the token's type is the point's.
void load_point(Record& r, const uint8_t* start, const uint8_t* end, uint32_t flags, bool load) {
    r.position = end + 1;
    r.entry_state = enclosing_state(r);
    Cell value{};
    if (uint32_t bad = point::decode_literal(start, end, flags, load, &value)) invalid(r, start - 1, bad);
    r.type_override = int32_t(type_of(&value));
    if (load) push(r, value);
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

}  // namespace

// ---- The table ------------------------------------------------------------------------------

// ORDER LEX-KINDS
const KindEntry KIND_TABLE[KIND_COUNT] = {
    {scan_eof, nullptr},                                    // 0 end of input
    {scan_error, nullptr},                                  // 1 error
    {scan_open, nullptr},                                   // 2 [
    {scan_close, nullptr},                                  // 3 ]
    {scan_open, nullptr},                                   // 4 (
    {scan_close, nullptr},                                  // 5 )
    {scan_brace_open, nullptr},                             // 6 {
    {scan_brace_close, nullptr},                            // 7 }
    {scan_map_open, nullptr},                               // 8 #[
    {scan_path, nullptr},                                   // 9 word/
    {scan_construct, nullptr},                              // 10 #(...)
    {scan_comment, nullptr},                                // 11 ;
    {scan_comma, nullptr},                                  // 12 ,
    {nullptr, load_literal<string::decode_literal, 1>},     // 13 "..."
    {nullptr, load_word},                                   // 14 word
    {nullptr, load_literal<issue::decode_literal, 0>},      // 15 #issue
    {nullptr, load_integer},                                // 16 integer
    {nullptr, load_literal<refinement::decode_literal, 0>}, // 17 /refinement
    {nullptr, load_literal<char_::decode_literal, 1>},      // 18 #"c"
    {nullptr, load_file},                                   // 19 %file
    {nullptr, load_literal<binary::decode_literal, 1>},     // 20 #{...}
    {nullptr, load_literal<percent::decode_literal, 1>},    // 21 12%
    {nullptr, load_number<float_::decode_literal, TYPE_FLOAT>},  // 22 1.5
    {nullptr, load_literal<float_::decode_special_literal, 0>},  // 23 1.#INF
    {nullptr, load_literal<tuple::decode_literal, 0>},      // 24 1.2.3
    {nullptr, load_literal<date::decode_literal, 0>},       // 25 date
    {nullptr, load_literal<pair::decode_literal, 0>},       // 26 10x20
    {nullptr, load_point},                                  // 27 (1, 2)
    {nullptr, load_literal<time::decode_literal, 0>},       // 28 12:30
    {nullptr, load_literal<money::decode_literal, 0>},      // 29 $1.50
    {nullptr, load_literal<tag::decode_literal, 1>},        // 30 <tag>
    {nullptr, load_literal<url::decode_literal, 0>},        // 31 url
    {nullptr, load_literal<email::decode_literal, 0>},      // 32 email
    {nullptr, load_number<integer::decode_hex_literal, TYPE_INTEGER>},  // 33 FFh
    {nullptr, load_raw_string},                             // 34 %{...}%
    {nullptr, load_literal<ref::decode_literal, 0>},        // 35 @ref
};

}  // namespace qor::lexer
