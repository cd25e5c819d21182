// The lexer: the scan loop, the runs and their value stack, containers,
// syntax errors, trace events and the entries built on them.
#include "evaluator/lexer.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/none.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/call.hpp"
#include "evaluator/exits.hpp"
#include "evaluator/lexer_record.hpp"
#include "datatypes/text_literal.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/throw.hpp"
#include "datatypes/unicode.hpp"

namespace qor::lexer {

namespace {

constexpr uint32_t STACK_INITIAL = 1000;       // value-stack cells at start-up
constexpr uint32_t CONVERSION_SIZE = 100000;   // UTF-8 conversion buffer bytes
constexpr uint32_t NEAR_TEXT_BYTES = 30;       // offending text shown in a syntax error

Cell*    g_stack = nullptr;
uint32_t g_capacity = 0;
uint8_t* g_conversion = nullptr;
uint32_t g_conversion_used = 0;
Record*  g_active = nullptr;
bool     g_ready = false;
Cell     g_exit_states{TYPE_NONE, 0, 0, 0};
Cell     g_scratch{TYPE_NONE, 0, 0, 0};  // destination of load_value_from_string
uint64_t g_position_steps = 0;           // bytes walked by the character-position caches

// Words met in a run: a direct-mapped table from spelling to symbol and
// global slot, so a repeated word costs a hash and a compare instead of an
// interning and a binding.  An entry counts only for the run that filled
// it (no Qor code runs inside a run without a callback, so nothing can
// reshape the global context meanwhile); a run with a callback leaves it
// alone.
constexpr uint32_t WORD_CACHE_SIZE = 1024;     // entries, a power of two
constexpr uint32_t WORD_CACHE_SPELLING = 27;   // longest spelling kept, bytes

// The entry keeps the symbol and the slot, not the word cell: a collection
// may move the global context's node, which this table is no root of.
struct WordCacheEntry {
    uint32_t run;
    uint8_t  length;
    uint8_t  spelling[WORD_CACHE_SPELLING];
    uint32_t context;
    uint32_t symbol;
    uint32_t slot;
};

WordCacheEntry g_word_cache[WORD_CACHE_SIZE];
uint32_t       g_word_cache_runs = 0;

uint32_t next_word_cache_run() {
    if (++g_word_cache_runs == 0) {
        // The marks wrapped: forget every entry rather than trust an old one.
        for (WordCacheEntry& e : g_word_cache) e.run = 0;
        g_word_cache_runs = 1;
    }
    return g_word_cache_runs;
}

void ensure_storage() {
    if (!g_stack) {
        g_stack = static_cast<Cell*>(heap::alloc(STACK_INITIAL * sizeof(Cell)));
        g_capacity = STACK_INITIAL;
    }
    if (!g_conversion) g_conversion = static_cast<uint8_t*>(heap::alloc(CONVERSION_SIZE));
}

void grow_stack() {
    uint32_t cells = memory::checked_mul(g_capacity, 2);
    uint32_t bytes = memory::checked_mul(cells, sizeof(Cell));
    g_stack = static_cast<Cell*>(heap::realloc(g_stack, bytes));
    g_capacity = cells;
}

// Links a run behind the active ones for its lifetime; on every exit path
// the run is unlinked and its stack area given back.
class RunGuard {
public:
    explicit RunGuard(Record& r) : r_(r) {
        r.link = g_active;
        r.base = g_active ? g_active->top : 0;
        r.top = r.base;
        g_active = &r;
    }
    ~RunGuard() { g_active = r_.link; }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;
private:
    Record& r_;
};

// The conversion buffer is a bump area shared by nested runs; a need larger
// than what is left gets a buffer of its own.
class ConversionArea {
public:
    explicit ConversionArea(uint32_t size) : mark_(g_conversion_used) {
        ensure_storage();
        if (size <= CONVERSION_SIZE - g_conversion_used) {
            data_ = g_conversion + g_conversion_used;
            g_conversion_used += size;
        } else {
            own_ = static_cast<uint8_t*>(heap::alloc(size));
            data_ = own_;
        }
    }
    ~ConversionArea() {
        g_conversion_used = mark_;
        if (own_) heap::free(own_);
    }
    ConversionArea(const ConversionArea&) = delete;
    ConversionArea& operator=(const ConversionArea&) = delete;
    uint8_t* data() { return data_; }
private:
    uint32_t mark_;
    uint8_t* data_ = nullptr;
    uint8_t* own_ = nullptr;
};

// A word of the global context (trace events, exit states).
Cell global_word(const char* spelling) {
    Cell w;
    word::init_cell(&w, symbol::intern(spelling));
    return w;
}

const char* event_name(uint32_t event) {
    switch (event) {
    case EVENT_PRESCAN: return "prescan";
    case EVENT_SCAN: return "scan";
    case EVENT_LOAD: return "load";
    case EVENT_OPEN: return "open";
    case EVENT_CLOSE: return "close";
    default: return "error";
    }
}

// The events a callback asks for: the words of a block that begins its
// body, else all.
uint32_t event_mask_of(const Cell* callback) {
    if (type_of(callback) != TYPE_FUNCTION && type_of(callback) != TYPE_ROUTINE) return EVENT_ALL;
    const Cell* body = function::body_of(callback);
    if (!is_any_block(type_of(body)) || block::remaining_length(body) == 0) return EVENT_ALL;
    const Cell* first = block::item(body, 0);
    if (type_of(first) != TYPE_BLOCK) return EVENT_ALL;
    uint32_t mask = 0;
    for (uint32_t i = 0; i < block::remaining_length(first); i++) {
        const Cell* w = block::item(first, i);
        if (!is_any_word(type_of(w))) continue;
        int32_t sym = symbol::resolve_alias(word::symbol_of(w));
        for (uint32_t e = EVENT_PRESCAN; e <= EVENT_ERROR; e <<= 1)
            if (sym == symbol::resolve_alias(symbol::intern(event_name(e)))) mask |= e;
    }
    return mask;
}

// Byte position -> index in the source series (characters for strings).
// The cache walks from the last position asked, backwards too: an event asks
// for its token's start after the previous event's end, and starting over
// from the input's start each time made a traced run quadratic.
uint32_t source_index_at(Record& r, const uint8_t* p) {
    if (!r.string_source || r.ascii_input) return r.source_index + uint32_t(p - r.input_start);
    if (!r.cache_position) {
        r.cache_position = r.input_start;
        r.cache_chars = 0;
    }
    if (p < r.cache_position) {
        uint32_t back = 0xFFFFFFFFu;
        if (r.cache_position - p <= p - r.input_start) {
            back = unicode::utf8_count_chars(p, r.cache_position);
            g_position_steps += uint64_t(r.cache_position - p);
        }
        if (back <= r.cache_chars) {
            r.cache_chars -= back;
            r.cache_position = p;
            return r.source_index + r.cache_chars;
        }
        // Nearer the start (or inside a malformed sequence): count from there.
        r.cache_position = r.input_start;
        r.cache_chars = 0;
    }
    g_position_steps += uint64_t(p - r.cache_position);
    r.cache_chars += unicode::utf8_count_chars(r.cache_position, p);
    r.cache_position = p;
    return r.source_index + r.cache_chars;
}

// What a run consumed: characters for a string source, else bytes.
uint32_t consumed_length(const Record& r) {
    if (r.string_source && !r.ascii_input) return unicode::utf8_count_chars(r.input_start, r.position);
    return uint32_t(r.position - r.input_start);
}

// The closing and opening characters of a container type.
char closing_of(uint32_t type) {
    switch (type) {
    case TYPE_BLOCK: case TYPE_MAP: return ']';
    default: return ')';
    }
}

// Decodes at most `max` bytes of text near an error into a string, leniently
// (an invalid sequence becomes U+FFFD), stopping before a line feed.
Cell near_text(const uint8_t* start, const uint8_t* end) {
    Cell out = string::make(NEAR_TEXT_BYTES);
    gc::CellRoot keep(&out);
    const uint8_t* limit = end - start > int32_t(NEAR_TEXT_BYTES) ? start + NEAR_TEXT_BYTES : end;
    const uint8_t* p = start;
    while (p < limit && *p != '\n' && *p != 0) {
        uint32_t cp;
        uint32_t n = text_literal::decode_char(p, limit, false, &cp);
        if (n == 0) cp = 0xFFFD, n = 1;
        string::append_char(&out, cp);
        p += n;
    }
    return out;
}

Cell position_text(int32_t line) {
    char text[32];
    std::strcpy(text, "(line ");
    std::strcat(text, integer::to_decimal_chars(line));
    std::strcat(text, ")");
    return string::from_utf8(text);
}

// Closes an open path before an error is reported.
void close_open_path(Record& r) {
    if (r.head == NO_MARKER) return;
    uint32_t t = marker_type(stack_cell(r.head));
    if (is_any_path(t)) close_container(r, t);
}

// ---- The scan loop ------------------------------------------------------------------------

// Kinds whose final state stops on a byte that belongs to the token (the
// bracket itself, a closing quote...): skipping such a token steps over it.
bool includes_stop_byte(uint32_t kind, const uint8_t* text, const uint8_t* end) {
    switch (kind) {
    case K_BLOCK_OPEN: case K_BLOCK_CLOSE: case K_PAREN_OPEN: case K_PAREN_CLOSE: case K_BRACE_OPEN:
    case K_BRACE_CLOSE: case K_MAP_OPEN: case K_PATH: case K_CONSTRUCT: case K_COMMA: case K_STRING:
    case K_CHAR: case K_BINARY: case K_POINT: case K_TAG: case K_PERCENT:
        return true;
    case K_FILE:
        return end - text >= 2 && text[0] == '%' && text[1] == '"';
    default:
        return false;
    }
}

void skip_token(Record& r, uint32_t kind, const uint8_t* text, const uint8_t* end) {
    if (kind == K_EOF) {
        r.position = r.input_end;
        return;
    }
    r.position = end;
    if (includes_stop_byte(kind, text, end) && r.position < r.input_end) r.position++;
    if (kind == K_POINT || r.entry_state == S_POINT) {
        r.entry_state = r.head != NO_MARKER && is_any_path(marker_type(stack_cell(r.head))) ? S_PATH : S_START;
    }
}

// After a path element: "/" continues the path, ":" makes it a set-path,
// a delimiter closes it; a path may not end with "/".
void path_continuation(Record& r) {
    const uint8_t* p = r.position;
    const uint8_t* end = r.input_end;
    uint32_t type = marker_type(stack_cell(r.head));
    if (p < end && *p == '/') {
        if (p + 1 == end) throw_error(r, r.token_start, end, TYPE_PATH);
        r.position = p + 1;
        return;
    }
    if (p < end && *p == ':') {
        // Mended: only a plain path can become a set-path.
        if ((p + 1 < end && p[1] == '/') || type != TYPE_PATH) throw_error(r, r.token_start, end, TYPE_PATH);
        stack_cell(r.head)->data2 = (stack_cell(r.head)->data2 & ~0xFFFFu) | TYPE_SET_PATH;
        r.position = p + 1;
        send_event(r, EVENT_CLOSE, TYPE_SET_PATH, p, p + 1);
        close_container(r, TYPE_SET_PATH);
        return;
    }
    if (p < end) {
        uint8_t cls = class_of(*p);
        switch (cls) {
        case C_BLANK: case C_LF: case C_LBRACKET: case C_RBRACKET: case C_LPAREN: case C_RPAREN:
        case C_LBRACE: case C_RBRACE: case C_DQUOTE: case C_LESS: case C_SEMICOLON: case C_CONTROL:
        case C_WORD: case C_INVALID: case C_EOF:
            break;
        default:
            // Mended: any other byte after an element is not a separator.
            throw_error(r, r.token_start, end, TYPE_PATH);
        }
    }
    // A trace callback sees the path close as it sees blocks close.
    send_event(r, EVENT_CLOSE, int32_t(type), p, p);
    close_container(r, type);
}

// Skips Unicode blanks at p (UTF-8); answers the first byte after them.
// Invalid UTF-8 raises invalid word!.
const uint8_t* skip_unicode_blanks(Record& r, const uint8_t* p, const uint8_t* end) {
    while (p < end && *p >= 0x80) {
        uint32_t cp;
        uint32_t n = text_literal::decode_char(p, end, false, &cp);
        if (n == 0) throw_error(r, r.token_start, r.input_end, TYPE_WORD);
        if (!is_unicode_blank(cp)) break;
        p += n;
    }
    return p;
}

// The first line feed or NUL byte at or after p, or end.
const uint8_t* comment_end(const uint8_t* p, const uint8_t* end) {
    for (; end - p >= 4; p += 4) {
        uint32_t x;
        std::memcpy(&x, p, 4);
        uint32_t lf = x ^ 0x0A0A0A0Au;
        if (((x - 0x01010101u) & ~x & 0x80808080u) || ((lf - 0x01010101u) & ~lf & 0x80808080u)) break;
    }
    while (p < end && *p != '\n' && *p != 0) p++;
    return p;
}

void scan_loop(Record& r, bool one_value, bool prescan) {
    const Tables& T = TABLES;
    const uint8_t* const end = r.input_end;
    do {
        // 1. A new token.
        uint32_t flags = 0;
        const uint8_t entry = r.entry_state;
        uint8_t state = entry, previous = entry;
        const uint8_t* const start = r.position;
        const uint8_t* p = start;
        // 2. Run the automaton until a final state; the byte that decided it
        //    is not consumed.  The start state skips blanks and line ends
        //    before a token (no other state leads back to it), so they are
        //    taken by a loop of their own, which counts the lines they end.
        int32_t skipped_lines = 0;
        if (entry == S_START) {
            while (p < end) {
                uint32_t bc = T.byte_class[*p];
                if (T.next[S_START][uint8_t(bc)] != S_START) break;
                skipped_lines += uint8_t(bc) == C_LF;   // these bytes carry no other flag
                ++p;
            }
        }
        const uint8_t* const text = p;
        if (entry == S_START && p < end && *p == ';') {
            // A comment runs to the line end (or a NUL byte, which ends the
            // input), looked for four bytes at a time.
            flags |= T.byte_class[';'];
            previous = T.next[S_START][C_SEMICOLON];
            p = comment_end(p + 1, end);
            if (p < end) {
                flags |= T.byte_class[*p];
                state = T.next[previous][uint8_t(T.byte_class[*p])];
            } else {
                state = T.next[previous][C_EOF];
            }
        } else for (;;) {
            if (p == end) {
                // 3. The input ran out first.
                previous = state;
                state = T.next[state][C_EOF];
                break;
            }
            uint32_t bc = T.byte_class[*p];
            flags |= bc;
            uint8_t next = T.next[state][uint8_t(bc)];
            if (next >= FINAL_BASE) {
                previous = state;
                state = next;
                break;
            }
            state = next;
            ++p;
        }
        // 4. Record the token.  The line ends inside it are counted only
        //    when it met one.
        int32_t token_lines = 0;
        if (flags & LEX_FLAG_LINE_END)
            for (const uint8_t* q = text; q < p; q++) token_lines += *q == '\n';
        flags &= LEX_FLAG_MASK;
        r.new_line = skipped_lines > 0;
        r.position = p;
        r.token_start = text;
        r.token_end = p;
        r.lines_in_token = token_lines;
        r.line += skipped_lines + token_lines;
        r.previous_state = previous;
        r.type_override = -1;
        r.token_type = T.type[state];
        uint32_t kind = uint32_t(state - FINAL_BASE);

        // 6. A word token starts after any leading Unicode blanks; one made
        //    only of them is no token.
        if (kind == K_WORD && (flags & (LEX_FLAG_LEAD2 | LEX_FLAG_LEAD4)) && *text >= 0x80) {
            const uint8_t* after = skip_unicode_blanks(r, text, p);
            if (after != text) {
                r.position = after;
                continue;
            }
        }
        // No prescan event for the "(" of a point literal.
        bool point_paren = kind == K_PAREN_OPEN && starts_point_literal(r, p);
        // The positions of a point literal include its parentheses.
        const uint8_t* event_start = kind == K_POINT ? text - 1 : text;
        try {

        // 5. Prescanning: the structure scanners run at once, loading nothing.
        bool scanned = false;
        if (prescan && kind <= K_STRING) {
            const KindEntry& k = KIND_TABLE[kind];
            (k.scanner ? k.scanner : k.loader)(r, text, p, flags, false);
            scanned = true;
        }
        // 7. Whether to go on with this token.
        bool go_on = !prescan;
        if (r.has_callback && entry != S_BRACE_STRING && !point_paren) {
            int32_t type = r.token_type ? int32_t(r.token_type) : -1 - int32_t(kind);
            if (kind == K_EOF) type = 0;
            const uint8_t* token_end = includes_stop_byte(kind, text, p) && p < end ? p + 1 : p;
            go_on = send_event(r, EVENT_PRESCAN, type, event_start, token_end, nullptr, r.token_type == 0);
        }
        if (scanned) go_on = false;
        if (!go_on) {
            if (!scanned) skip_token(r, kind, text, p);
        } else if (kind <= K_COMMA) {
            // 8. Structure tokens: the scanner, loading as the run does.
            KIND_TABLE[kind].scanner(r, text, p, flags, r.load_values);
        } else {
            const KindEntry& k = KIND_TABLE[kind];
            bool validate = !r.load_values || wants(r, EVENT_SCAN);
            if (validate) (k.scanner ? k.scanner : k.loader)(r, text, p, flags, false);
            bool answer = true;
            if (wants(r, EVENT_SCAN)) {
                int32_t type = r.type_override >= 0 ? r.type_override : int32_t(r.token_type);
                answer = send_event(r, EVENT_SCAN, type ? type : -1 - int32_t(kind), event_start, r.position);
            }
            if (answer && r.load_values) {
                k.loader(r, text, p, flags, true);
                if (wants(r, EVENT_LOAD)) {
                    int32_t type = r.type_override >= 0 ? r.type_override : int32_t(r.token_type);
                    Cell value = *stack_cell(r.top - 1);
                    gc::CellRoot keep(&value);
                    if (!send_event(r, EVENT_LOAD, type, event_start, r.position, &value)) pop(r);
                }
            }
        }
        // Every token but the end consumes at least a byte.
        if (r.position == start && kind != K_EOF && r.position < end) r.position++;

        // 9. After a path element, the path goes on or closes.
        if (r.entry_state == S_PATH && state != final_state(K_PATH) && state != final_state(K_ERROR))
            path_continuation(r);
        } catch (const Resume&) {
            // An error callback moved the input and answered no: the bad
            // token is dropped and scanning goes on from there.
            r.position = r.resume;
            r.resume = nullptr;
            if (r.entry_state == S_POINT) r.entry_state = S_START;
            continue;
        }

        uint32_t type = r.type_override >= 0 ? uint32_t(r.type_override) : r.token_type;
        // 10. One value (or one guess) is enough.
        if ((one_value || prescan) && r.token_type != 0 && r.entry_state != S_PATH &&
            r.entry_state != S_BRACE_STRING && r.entry_state != S_POINT && state != final_state(K_PATH)) {
            uint32_t n = r.top - r.base;
            if (n == 0 || (n == 1 && r.head == NO_MARKER)) {
                r.last_type = type;
                break;
            }
        }
        // 11.
        r.last_type = type;
    } while (r.position < end);

    // 12. The input ended inside a brace string.
    if (r.entry_state == S_BRACE_STRING && r.token_type == 0)
        throw_error(r, r.brace_start, r.input_end, TYPE_STRING);
}

}  // namespace

// ---- Value stack and containers ---------------------------------------------------------------

Record* active() { return g_active; }

Cell* stack_cell(uint32_t index) { return g_stack + index; }

Cell* push(Record& r, const Cell& value) {
    if (r.top >= g_capacity) grow_stack();
    Cell* c = g_stack + r.top++;
    *c = value;
    if (r.new_line) {
        c->header |= FLAG_NEW_LINE;
        r.new_line = false;
    }
    return c;
}

Cell interned_word(Record& r, const uint8_t* name, const uint8_t* end) {
    uint32_t length = uint32_t(end - name);
    if (r.word_cache_run == 0 || length > WORD_CACHE_SPELLING) {
        Cell w;
        word::init_cell(&w, symbol::intern_n(reinterpret_cast<const char*>(name), length));
        return w;
    }
    // Four bytes a step, then the rest one by one.
    uint32_t hash = 2166136261u ^ length;
    const uint8_t* p = name;
    for (; end - p >= 4; p += 4) {
        uint32_t x;
        std::memcpy(&x, p, 4);
        hash = (hash ^ x) * 0x9E3779B1u;
        hash ^= hash >> 16;
    }
    for (; p < end; p++) hash = (hash ^ *p) * 16777619u;
    WordCacheEntry& e = g_word_cache[(hash ^ (hash >> 15)) & (WORD_CACHE_SIZE - 1)];
    if (e.run == r.word_cache_run && e.length == length && std::memcmp(e.spelling, name, length) == 0)
        return Cell{TYPE_WORD, e.context, e.symbol, e.slot};
    Cell w;
    word::init_cell(&w, symbol::intern_n(reinterpret_cast<const char*>(name), length));
    e.run = r.word_cache_run;
    e.length = uint8_t(length);
    std::memcpy(e.spelling, name, length);
    e.context = w.data1;
    e.symbol = w.data2;
    e.slot = w.data3;
    return w;
}

void pop(Record& r) {
    if (r.top > r.base) r.top--;
}

void open_container(Record& r, uint32_t type, const uint8_t* opening) {
    Cell m{MARKER_TYPE, r.head == NO_MARKER ? 0 : r.head + 1, type, uint32_t(opening - r.input_start)};
    uint32_t index = r.top;
    push(r, m);
    r.head = index;
}

void close_container(Record& r, uint32_t type) {
    uint32_t index = r.head;
    Cell* m = stack_cell(index);
    uint32_t previous = m->data1;
    uint32_t line_flag = m->header & FLAG_NEW_LINE;
    uint32_t n = r.top - index - 1;
    Cell value{TYPE_NONE, 0, 0, 0};
    if (r.load_values) {
        // The cells above the marker become the container's value.
        value = block::make(int32_t(n));
        SeriesBuffer* s = block::buffer(&value);
        std::memcpy(s->head, stack_cell(index + 1), n * sizeof(Cell));
        s->tail = s->head + n * sizeof(Cell);
        value.header = type;
    }
    value.header |= line_flag;
    *stack_cell(index) = value;
    r.top = index + 1;
    r.head = previous == 0 ? NO_MARKER : previous - 1;
    r.token_type = type;
    r.type_override = -1;
    // Inside a path (a paren element), the path goes on.
    r.entry_state = r.head != NO_MARKER && is_any_path(marker_type(stack_cell(r.head))) ? S_PATH : S_START;
}

// ---- Errors and events ------------------------------------------------------------------------

void throw_error(Record& r, const uint8_t* start, const uint8_t* end, int32_t type, char missing) {
    if (r.entry_state == S_BRACE_STRING && r.brace_start) start = r.brace_start;
    if (r.has_callback && (r.event_mask & EVENT_ERROR)) {
        close_open_path(r);
        int32_t t = type > 0 ? type
                  : r.type_override > 0 ? r.type_override
                  : r.token_type ? int32_t(r.token_type)
                  : TYPE_ERROR;
        const uint8_t* token_end = r.position > start ? r.position : start;
        if (!send_event(r, EVENT_ERROR, t, start, token_end, nullptr)) {
            if (r.resume) throw Resume{};
            throw Stop{};
        }
        r.resume = nullptr;
    }
    Cell where = position_text(r.line);
    gc::CellRoot keep_where(&where);
    Cell near = near_text(start, r.input_end);
    gc::CellRoot keep_near(&near);
    // The error's `near`: the source line of the bad token, as no block
    // position exists yet.
    const uint8_t* line_start = start;
    while (r.input_start && line_start > r.input_start && line_start[-1] != '\n') line_start--;
    Cell line = near_text(line_start, r.input_end);
    gc::CellRoot keep_line(&line);
    stack::set_next_near(&line);
    switch (type) {
    case ERR_BAD_CHAR:
        raise_error("syntax", "bad-char", &where, &near);
    case ERR_MALCONSTRUCT:
        raise_error("syntax", "malconstruct", &where, &near);
    case ERR_MISSING: {
        char text[2] = {missing, 0};
        Cell expected = string::from_utf8(text);
        gc::CellRoot keep_expected(&expected);
        raise_error("syntax", "missing", &where, &expected, &near);
    }
    default: {
        Cell dt;
        datatype::set(&dt, uint32_t(type));
        raise_error("syntax", "invalid", &where, &dt, &near);
    }
    }
}

bool call_back(Record& r, uint32_t event, int32_t type, const uint8_t* start, const uint8_t* end,
               const Cell* value, bool input_at_start) {
    Cell args[5];
    for (Cell& a : args) a = Cell{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(args, 5);
    Cell label = global_word("<lexer-callback>");
    gc::CellRoot keep_label(&label);
    args[0] = global_word(event_name(event));
    args[1] = r.source;
    uint32_t start_index = source_index_at(r, start);
    uint32_t end_index = source_index_at(r, end);
    args[1].data1 = input_at_start || event == EVENT_OPEN ? start_index : end_index;
    if (type > 0) datatype::set(&args[2], uint32_t(type));
    else if (type < 0) kind_word(uint32_t(-1 - type), &args[2]);
    args[3] = integer::make(r.line);
    if (value) args[4] = *value;
    else args[4] = Cell{TYPE_PAIR, 0, start_index + 1, end_index + 1};
    uint32_t before = args[1].data1;
    Cell result{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    interp::call_function_updating(&label, &r.callback, args, 5, &result);
    // A callback that moved its input moves the lexer's position.
    if (args[1].data1 != before && event == EVENT_ERROR) {
        uint32_t index = args[1].data1 < r.source_index ? r.source_index : args[1].data1;
        uint32_t offset = index - r.source_index;
        const uint8_t* p = r.string_source
            ? unicode::utf8_skip_chars(r.input_start, r.input_end, offset)
            : r.input_start + (offset < uint32_t(r.input_end - r.input_start) ? offset : uint32_t(r.input_end - r.input_start));
        r.resume = p > r.token_start ? p : r.token_start + 1;
        if (r.resume > r.input_end) r.resume = r.input_end;
    }
    return !(type_of(&result) == TYPE_NONE || (type_of(&result) == TYPE_LOGIC && result.data1 == 0));
}

void kind_word(uint32_t kind, Cell* out) {
    if (type_of(&g_exit_states) == TYPE_BLOCK && kind < block::remaining_length(&g_exit_states)) {
        *out = *block::item(&g_exit_states, kind);
        return;
    }
    *out = global_word(KIND_NAMES[kind]);
}

// ---- Entries ----------------------------------------------------------------------------------

void init() {
    ensure_storage();
    g_active = nullptr;
    g_conversion_used = 0;
    g_exit_states = Cell{TYPE_NONE, 0, 0, 0};
    g_scratch = Cell{TYPE_NONE, 0, 0, 0};
    gc::remove_root(mark_gc);
    gc::push_root(mark_gc);
    gc::unregister_global_cell(&g_exit_states);
    gc::register_global_cell(&g_exit_states);
    gc::unregister_global_cell(&g_scratch);
    gc::register_global_cell(&g_scratch);
    eval_links::Links& links = eval_links::get();
    links.load_value_from_string = load_value_from_string;
    links.transcode = transcode;
    links.scan_token_type = scan_token_type;
    g_ready = true;
}

bool ready() { return g_ready; }

void set_exit_states(const Cell* block) { g_exit_states = *block; }

uint32_t value_stack_capacity() { return g_capacity; }

uint64_t position_steps() { return g_position_steps; }

void mark_gc() {
    for (Record* r = g_active; r; r = r->link) {
        gc::mark_cells(g_stack + r->base, g_stack + r->top);
        if (r->has_callback) gc::mark_cells(&r->callback, &r->callback + 1);
        gc::mark_cells(&r->source, &r->source + 1);
    }
}

ScanResult scan(const ScanRequest& request, Cell* out) {
    ensure_storage();
    Record r;
    RunGuard guard(r);
    r.input_start = request.input;
    r.input_end = request.input + request.size;
    r.position = request.input;
    r.line = request.first_line;
    r.load_values = !request.prescan && !request.scan;
    r.source_index = request.source_index;
    r.string_source = request.source && type_of(request.source) != TYPE_BINARY;
    r.ascii_input = request.ascii;
    if (request.source) r.source = *request.source;
    if (request.trace && (type_of(request.trace) == TYPE_FUNCTION || type_of(request.trace) == TYPE_ROUTINE)) {
        r.has_callback = true;
        r.callback = *request.trace;
        r.event_mask = event_mask_of(request.trace);
    }
    if (!r.has_callback) r.word_cache_run = next_word_cache_run();
    ScanResult result;
    // 2. The scan loop; a callback may stop it quietly.
    try {
        scan_loop(r, request.one_value, request.prescan);
    } catch (const Stop&) {
        result.stopped = true;
    } catch (const Resume&) {
        result.stopped = true;
    }
    if (result.stopped) {
        // Containers left open stay unfinished: drop them with their values.
        while (r.head != NO_MARKER) {
            r.top = r.head;
            uint32_t previous = stack_cell(r.head)->data1;
            r.head = previous == 0 ? NO_MARKER : previous - 1;
        }
    }
    // 3. Values left inside an open container.
    if (!result.stopped && r.head != NO_MARKER) {
        Cell* m = stack_cell(r.head);
        uint32_t t = marker_type(m);
        const uint8_t* opening = r.input_start + m->data3;
        bool answered_no = false;
        try {
            r.type_override = int32_t(t == TYPE_POINT2D ? uint32_t(TYPE_PAREN) : t);
            throw_error(r, opening, r.input_end, ERR_MISSING, closing_of(t));
        } catch (const Stop&) {
            answered_no = true;
        } catch (const Resume&) {
            answered_no = true;
        }
        if (answered_no) {
            result.stopped = true;
            if (out) *out = Cell{TYPE_NONE, 0, 0, 0};
            result.type = r.token_type;
            result.consumed = consumed_length(r);
            return result;
        }
    }
    // 4. The values, as a block or one value.
    uint32_t n = r.top - r.base;
    if (r.load_values && out) {
        if (request.one_value && !request.wrap) {
            *out = n ? *stack_cell(r.base) : Cell{TYPE_UNSET, 0, 0, 0};
            out->header &= ~FLAG_NEW_LINE;
        } else if (request.into) {
            for (uint32_t i = 0; i < n; i++) block::append_copy(request.into, stack_cell(r.base + i));
            *out = *request.into;
        } else {
            Cell b = block::make(int32_t(n));
            SeriesBuffer* s = block::buffer(&b);
            std::memcpy(s->head, stack_cell(r.base), n * sizeof(Cell));
            s->tail = s->head + n * sizeof(Cell);
            *out = b;
        }
    }
    // 5, 6. The consumed length and the last token's type.
    result.consumed = consumed_length(r);
    result.type = r.last_type;
    return result;
}

ScanResult transcode_string(const Cell* string, int32_t count, ScanRequest request, Cell* out) {
    Cell text = *string;
    gc::CellRoot keep(&text);
    uint32_t length = string::length(&text);
    if (count >= 0 && uint32_t(count) < length) length = uint32_t(count);
    uint32_t unit = string::buffer(&text)->unit();
    uint32_t per_char = unit == 1 ? 2 : unit == 2 ? 3 : 4;
    ConversionArea area(memory::checked_add(memory::checked_mul(length, per_char), 1));
    uint32_t bytes = unicode::to_utf8_bounded(&text, area.data(), length * per_char, int32_t(length), false);
    request.input = area.data();
    request.size = bytes < request.max_bytes ? bytes : request.max_bytes;
    // As many bytes as characters: every character took one byte.
    request.ascii = bytes == length;
    request.source = &text;
    request.source_index = uint32_t(string::index_of(&text));
    return scan(request, out);
}

void transcode(const Cell* source, const TranscodeOptions& options, Cell* result) {
    Cell src = *source;
    gc::CellRoot keep_src(&src);
    ScanRequest request;
    request.one_value = options.next || options.one || options.scan;
    request.prescan = options.prescan;
    request.scan = options.scan;
    request.trace = options.trace;
    request.into = options.into;
    request.first_line = options.line;
    Cell out{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_out(&out);
    ScanResult scanned;
    if (type_of(&src) == TYPE_BINARY) {
        SeriesBuffer* s = buffer_of(cell_node(&src));
        uint32_t index = src.data1;
        uint32_t length = index < s->byte_length() ? s->byte_length() - index : 0;
        if (options.part) {
            if (type_of(options.part) == TYPE_INTEGER) {
                int32_t n = integer::get_value(options.part);
                if (n < 0) n = 0;
                if (uint32_t(n) < length) length = uint32_t(n);
            } else if (type_of(options.part) == TYPE_BINARY && cell_node(options.part) == cell_node(&src)) {
                uint32_t stop = options.part->data1;
                length = stop > index ? (stop - index < length ? stop - index : length) : 0;
            } else {
                raise_error("script", "not-same-type");
            }
        }
        // The bytes are copied out of the series, which may move while
        // values are loaded.
        ConversionArea area(length ? length : 1);
        std::memcpy(area.data(), s->head + (index < s->byte_length() ? index : s->byte_length()), length);
        request.input = area.data();
        request.size = length;
        request.source = &src;
        request.source_index = index;
        scanned = scan(request, &out);
    } else {
        int32_t count = -1;
        if (options.part) {
            if (type_of(options.part) == TYPE_INTEGER) {
                int32_t n = integer::get_value(options.part);
                request.max_bytes = n < 0 ? 0 : uint32_t(n);
            } else if (type_of(options.part) == type_of(&src) && cell_node(options.part) == cell_node(&src))
                count = int32_t(options.part->data1) > int32_t(src.data1) ? int32_t(options.part->data1 - src.data1) : 0;
            else raise_error("script", "not-same-type");
        }
        scanned = transcode_string(&src, count, request, &out);
    }
    if (options.scan || options.prescan) {
        Cell type = Cell{TYPE_NONE, 0, 0, 0};
        if (scanned.type) datatype::set(&type, scanned.type);
        if (!options.next) {
            *result = type;
            return;
        }
        out = type;
    } else if (options.one || (!options.next)) {
        *result = out;
        return;
    }
    // /next: [value source-after-it].
    Cell after = src;
    after.data1 += scanned.consumed;
    Cell pair = block::make(2);
    gc::CellRoot keep_pair(&pair);
    block::append_copy(&pair, &out);
    block::append_copy(&pair, &after);
    *result = pair;
}

void transcode(const Cell* string, Cell* block) {
    ScanRequest request;
    Cell into = *block;
    gc::CellRoot keep(&into);
    if (!is_any_block(type_of(&into))) into = block::make(1);
    request.into = &into;
    Cell out{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_out(&out);
    transcode_string(string, -1, request, &out);
    *block = into;
}

Cell* load_value_from_string_into(const Cell* text, Cell* destination) {
    Cell source = *text;
    gc::CellRoot keep(&source);
    ScanRequest request;
    *destination = block::make(1);
    request.into = destination;
    request.one_value = true;
    request.wrap = true;
    Cell out{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_out(&out);
    ScanResult scanned = transcode_string(&source, -1, request, &out);
    if (scanned.consumed < string::length(&source)) return none_value;
    if (block::remaining_length(destination) == 0) {
        *destination = Cell{TYPE_UNSET, 0, 0, 0};
        return destination;
    }
    return block::item(destination, 0);
}

Cell* load_value_from_string(Cell* text) { return load_value_from_string_into(text, &g_scratch); }

uint32_t scan_token_type(const char* utf8, uint32_t length) {
    ScanRequest request;
    request.input = reinterpret_cast<const uint8_t*>(utf8);
    request.size = length;
    request.one_value = true;
    request.scan = true;
    try {
        return scan(request, nullptr).type;
    } catch (const Thrown& t) {
        if (t.code != THROW_ERROR) throw;
        return 0;
    }
}

}  // namespace qor::lexer
