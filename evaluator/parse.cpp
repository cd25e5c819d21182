// The parse dialect engine and the `parse` native.
//
// Rule frames: a block frame walks a rule block (its cell's index is the
// next element); a pending frame waits for the result of the sub-rule that
// follows a keyword (a repetition, to, thru, copy, set, not, ahead, into,
// remove, collect, keep, case, change).  A step either pushes frames or
// produces a match result, which is handed to the frame on top: a block frame
// goes on with its next element or its next alternative, a pending frame
// finishes or applies its sub-rule again.  Input levels: the series being
// matched, one per `into`.
//
// Positions are indexes; the buffers are read again after anything that can
// allocate or run code (parens, the trace callback, series changes).
#include "evaluator/parse.hpp"
#include "evaluator/parse_match.hpp"

#include <cmath>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/natives_support.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"

namespace qor::parse {

namespace {

constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};
constexpr uint32_t NO_INDEX = 0xFFFFFFFFu;
constexpr int32_t UNLIMITED = 0x7FFFFFFF;

// ---- Keywords ------------------------------------------------------------------------------

enum Keyword : uint8_t {
    KW_NO = 0, KW_ANY, KW_SOME, KW_OPT, KW_NOT, KW_TO, KW_THRU, KW_COPY, KW_SET, KW_INTO,
    KW_QUOTE, KW_SKIP, KW_END, KW_NONE, KW_FAIL, KW_REJECT, KW_BREAK, KW_IF, KW_WHILE,
    KW_REMOVE, KW_INSERT, KW_CHANGE, KW_COLLECT, KW_KEEP, KW_AHEAD, KW_CASE, KW_PIPE,
    // Words that are keywords only after another keyword.
    KW_ONLY, KW_PICK, KW_AFTER,
};

constexpr uint32_t KW_TABLE_SIZE = 4096;
uint8_t g_keywords[KW_TABLE_SIZE];
struct KeywordEntry {
    int32_t symbol;
    uint8_t keyword;
};
KeywordEntry g_keyword_list[32];   // canonical symbols, for ids beyond the table
uint32_t g_keyword_count = 0;
uint32_t g_keyword_generation = NO_INDEX;

void ensure_keywords() {
    if (g_keyword_generation == memory::generation() && g_keyword_count != 0) return;
    using words::word_symbol;
    auto sym = [](words::FixedSymbol f) { return words::symbol(f); };
    using namespace words;
    const KeywordEntry entries[] = {
        {sym(SYM_ANY), KW_ANY}, {sym(SYM_SOME), KW_SOME}, {sym(SYM_OPT), KW_OPT},
        {sym(SYM_NOT), KW_NOT}, {sym(SYM_TO), KW_TO}, {sym(SYM_THRU), KW_THRU},
        {sym(SYM_COPY), KW_COPY}, {sym(SYM_SET), KW_SET}, {sym(SYM_INTO), KW_INTO},
        {sym(SYM_QUOTE), KW_QUOTE}, {sym(SYM_SKIP), KW_SKIP}, {sym(SYM_END), KW_END},
        {sym(SYM_NONE), KW_NONE}, {sym(SYM_FAIL), KW_FAIL}, {sym(SYM_REJECT), KW_REJECT},
        {sym(SYM_BREAK), KW_BREAK}, {sym(SYM_IF), KW_IF}, {sym(SYM_WHILE), KW_WHILE},
        {sym(SYM_REMOVE), KW_REMOVE}, {sym(SYM_INSERT), KW_INSERT},
        {word_symbol(W_CHANGE), KW_CHANGE}, {sym(SYM_COLLECT), KW_COLLECT},
        {sym(SYM_KEEP), KW_KEEP}, {sym(SYM_AHEAD), KW_AHEAD}, {sym(SYM_CASE), KW_CASE},
        {sym(SYM_PIPE), KW_PIPE}, {sym(SYM_ONLY), KW_ONLY}, {sym(SYM_PICK), KW_PICK},
        {sym(SYM_AFTER), KW_AFTER},
    };
    std::memset(g_keywords, 0, sizeof g_keywords);
    g_keyword_count = 0;
    for (const KeywordEntry& e : entries) {
        int32_t s = symbol::resolve_alias(e.symbol);
        if (s > 0 && uint32_t(s) < KW_TABLE_SIZE) g_keywords[s] = e.keyword;
        g_keyword_list[g_keyword_count++] = {s, e.keyword};
    }
    g_keyword_generation = memory::generation();
}

uint8_t keyword_of(const Cell* word) {
    int32_t s = symbol::resolve_alias(word::symbol_of(word));
    if (s > 0 && uint32_t(s) < KW_TABLE_SIZE) return g_keywords[s];
    for (uint32_t i = 0; i < g_keyword_count; i++)
        if (g_keyword_list[i].symbol == s) return g_keyword_list[i].keyword;
    return KW_NO;
}

inline bool is_keyword(const Cell* c, uint8_t kw) {
    return type_of(c) == TYPE_WORD && keyword_of(c) == kw;
}

// ---- Trace events ----------------------------------------------------------------------------

enum Event : uint32_t {
    EV_PUSH = 1, EV_POP = 2, EV_FETCH = 4, EV_MATCH = 8, EV_ITERATE = 16, EV_PAREN = 32, EV_END = 64,
    EV_ALL = 127,
};

int32_t event_symbol(uint32_t ev) {
    using namespace words;
    switch (ev) {
    case EV_PUSH: return word_symbol(W_PUSH);
    case EV_POP: return word_symbol(W_POP);
    case EV_FETCH: return word_symbol(W_FETCH);
    case EV_MATCH: return word_symbol(W_MATCH);
    case EV_ITERATE: return word_symbol(W_ITERATE);
    case EV_PAREN: return word_symbol(W_PAREN);
    default: return words::symbol(SYM_END);
    }
}

// The events a callback asks for: the event words of a block that begins
// its body, else all.
uint32_t event_mask(const Cell* callback) {
    if (type_of(callback) != TYPE_FUNCTION) return EV_ALL;
    const Cell* body = function::body_of(callback);
    if (!body || !is_any_block(type_of(body)) || block::remaining_length(body) == 0) return EV_ALL;
    const Cell* first = block::item(body, 0);
    if (type_of(first) != TYPE_BLOCK) return EV_ALL;
    uint32_t mask = 0;
    for (uint32_t i = 0; i < block::remaining_length(first); i++) {
        const Cell* w = block::item(first, i);
        if (!is_any_word(type_of(w))) continue;
        int32_t s = symbol::resolve_alias(word::symbol_of(w));
        for (uint32_t ev = EV_PUSH; ev <= EV_END; ev <<= 1)
            if (s == symbol::resolve_alias(event_symbol(ev))) mask |= ev;
    }
    return mask;
}

// ---- The two stacks ----------------------------------------------------------------------------

enum Kind : uint8_t {
    K_BLOCK, K_REPEAT, K_TO, K_THRU, K_COPY, K_SET, K_NOT, K_AHEAD, K_INTO, K_REMOVE,
    K_COLLECT, K_KEEP, K_CASE, K_CHANGE,
};
// The codes the trace callback's stack block shows for pending frames.
constexpr int32_t PENDING_CODE[] = {0, -1, -2, -3, -4, -5, -6, -16, -7, -9, -12, -13, -19, -10};

enum FrameFlag : uint8_t { F_WHILE = 1, F_BREAKABLE = 2, F_ONLY = 4, F_PICK = 8 };
enum CollectMode : uint8_t { C_NEW, C_SET, C_INTO, C_AFTER };

struct Frame {
    uint8_t  kind;
    uint8_t  flags;
    uint8_t  mode;
    uint8_t  spare;
    int32_t  min;
    int32_t  max;
    int32_t  count;
    uint32_t start;    // input position when the frame was pushed
    uint32_t mark;     // repetition: position after the last iteration; to/thru: position tried
    uint32_t sub_at;   // pending frames: index of the sub-rule in the enclosing rule block
    uint32_t length;   // repetition: the input's length after the last iteration
    uint32_t saved;    // block: enclosing block frame; collect: enclosing collect; case: previous op
    Cell     rules;    // block frames: the rule block, its index the next element
    Cell     aux;      // copy/set: the word; collect: the block or target series
    Cell     aux2;     // collect set: the word
};

// The data of one parse run that the collector must see.
struct RunCells {
    Cell input;
    Cell rules;
    Cell callback;
    Cell result;
};

struct RunLink {
    RunLink*  link;
    RunCells* cells;
};

Frame*   g_frames = nullptr;
uint32_t g_frame_capacity = 0;
uint32_t g_frame_top = 0;
Level*   g_levels = nullptr;
uint32_t g_level_capacity = 0;
uint32_t g_level_top = 0;
RunLink* g_active = nullptr;
uint32_t g_root_generation = NO_INDEX;

void mark_gc() {
    for (uint32_t i = 0; i < g_frame_top; i++) gc::mark_cells(&g_frames[i].rules, &g_frames[i].aux2 + 1);
    for (uint32_t i = 0; i < g_level_top; i++) gc::mark_cells(&g_levels[i].series, &g_levels[i].series + 1);
    for (RunLink* r = g_active; r; r = r->link) gc::mark_cells(&r->cells->input, &r->cells->result + 1);
}

void grow_frames() {
    uint32_t n = g_frame_capacity ? memory::checked_mul(g_frame_capacity, 2) : 64;
    g_frames = static_cast<Frame*>(heap::realloc(g_frames, memory::checked_mul(n, sizeof(Frame))));
    g_frame_capacity = n;
}

void grow_levels() {
    uint32_t n = g_level_capacity ? memory::checked_mul(g_level_capacity, 2) : 8;
    g_levels = static_cast<Level*>(heap::realloc(g_levels, memory::checked_mul(n, sizeof(Level))));
    g_level_capacity = n;
}

// ---- Small helpers -------------------------------------------------------------------------------

Cell word_value(const Cell* word) {
    Cell w = *word;
    Cell v = *context::get_word_value(&w);
    if (type_of(&v) == TYPE_UNSET) raise_error("script", "no-value", &w);
    return v;
}

// Keeps the argument stack's depth across calls of actions that may push.
class DepthGuard {
public:
    DepthGuard() : depth_(stack::depth()) {}
    ~DepthGuard() {
        uint32_t now = stack::depth();
        if (now > depth_) stack::pop(now - depth_);
    }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
private:
    uint32_t depth_;
};

[[noreturn]] void raise_end(const Cell* keyword) {
    Cell k = *keyword;
    raise_error("script", "parse-end", &k);
}


// ---- The engine ------------------------------------------------------------------------------------

enum Step { FETCH, RESULT, DONE };

struct Engine {
    RunCells cells{NONE_CELL, NONE_CELL, NONE_CELL, NONE_CELL};
    RunLink  link{nullptr, nullptr};
    uint32_t frame_base = 0;
    uint32_t level_base = 0;
    int32_t  op = 0;
    uint32_t cur_block = NO_INDEX;
    uint32_t collect_at = NO_INDEX;
    uint32_t level = 0;
    uint32_t pos = 0;
    bool     match = false;
    bool     stopped = false;
    bool     collected = false;
    uint32_t mask = 0;
    uint32_t exit_code = 0;

    Engine() {
        link.link = g_active;
        link.cells = &cells;
        g_active = &link;
        frame_base = g_frame_top;
        level_base = g_level_top;
    }
    ~Engine() {
        g_frame_top = frame_base;
        g_level_top = level_base;
        g_active = link.link;
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // ---- Input ----

    Level& lv() { return g_levels[level]; }
    uint32_t tail() {
        Level& l = lv();
        return buffer_of(cell_node(&l.series))->byte_length() >> l.shift;
    }
    uint32_t end() {
        uint32_t t = tail();
        uint32_t limit = lv().limit;
        return t < limit ? t : limit;
    }
    Subject subject() { return Subject{lv(), end(), op}; }
    Cell series_at(uint32_t at) {
        Cell s = lv().series;
        s.data1 = at;
        return s;
    }
    // The item at a position (inside the tail): a block's cell, a string's
    // character, a binary's byte.
    Cell item_at(uint32_t at) {
        Level& l = lv();
        SeriesBuffer* s = buffer_of(cell_node(&l.series));
        if (!l.text) return cells_head(s)[at];
        uint32_t c = unit_char(s->head, l.shift, at);
        if (l.bytes) return Cell{TYPE_INTEGER, 0, c, 0};
        return Cell{TYPE_CHAR, 0, c, 0};
    }

    void push_level(const Cell* series, uint32_t limit) {
        if (g_level_top == g_level_capacity) grow_levels();
        if (g_level_top - level_base + 1 > STACK_LIMIT_CELLS) raise_error("script", "parse-stack");
        Level& l = g_levels[g_level_top];
        l.series = *series;
        uint32_t t = type_of(series);
        l.text = !is_any_block(t);
        l.bytes = t == TYPE_BINARY;
        l.shift = shift_of_unit(buffer_of(cell_node(series))->unit());
        l.limit = limit;
        level = g_level_top++;
    }
    void pop_level() {
        g_level_top--;
        level = g_level_top - 1;
    }

    // ---- Frames ----

    uint32_t push_frame(uint8_t kind) {
        if (g_frame_top == g_frame_capacity) grow_frames();
        if ((g_frame_top - frame_base + 1) * 2 > STACK_LIMIT_CELLS) raise_error("script", "parse-stack");
        Frame& f = g_frames[g_frame_top];
        f.kind = kind;
        f.flags = 0;
        f.mode = 0;
        f.spare = 0;
        f.min = f.max = f.count = 0;
        f.start = f.mark = pos;
        f.sub_at = 0;
        f.length = 0;
        f.saved = NO_INDEX;
        f.rules = NONE_CELL;
        f.aux = NONE_CELL;
        f.aux2 = NONE_CELL;
        return g_frame_top++;
    }
    uint32_t push_pending(uint8_t kind, uint32_t sub_at) {
        uint32_t k = push_frame(kind);
        g_frames[k].sub_at = sub_at;
        return k;
    }
    Frame& top() { return g_frames[g_frame_top - 1]; }

    Step push_block(const Cell* block) {
        uint32_t k = push_frame(K_BLOCK);
        Frame& f = g_frames[k];
        f.rules = *block;
        f.rules.header = TYPE_BLOCK;
        f.saved = cur_block;
        cur_block = k;
        if (mask & EV_PUSH) {
            Cell r = g_frames[k].rules;
            if (!fire(EV_PUSH, &r)) return DONE;
        }
        return FETCH;
    }
    Step pop_block() {
        if (mask & EV_POP) {
            Cell r = top().rules;
            if (!fire(EV_POP, &r)) return DONE;
        }
        Frame& f = top();
        cur_block = f.saved;
        if (!match) pos = f.start;
        g_frame_top--;
        return RESULT;
    }
    // Drops the top frame on the way to a break's target.
    void drop_frame() {
        Frame& f = top();
        switch (f.kind) {
        case K_BLOCK: cur_block = f.saved; break;
        case K_INTO: pop_level(); pos = f.start; break;
        case K_COLLECT: collect_at = f.saved; break;
        case K_CASE: op = int32_t(f.saved); break;
        default: break;
        }
        g_frame_top--;
    }

    // ---- Trace ----

    bool fire(uint32_t ev, const Cell* rule) {
        if (!(mask & ev)) return true;
        Cell args[5] = {NONE_CELL, NONE_CELL, NONE_CELL, NONE_CELL, NONE_CELL};
        gc::CellRoot keep(args, 5);
        Cell result = NONE_CELL;
        gc::CellRoot keep_result(&result);
        args[2] = *rule;
        args[2].header = TYPE_BLOCK;
        word::init_cell(&args[0], event_symbol(ev));
        logic::set(&args[1], match ? 1 : 0);
        args[3] = series_at(pos);
        args[4] = block::make(int32_t(g_frame_top - frame_base));
        for (uint32_t k = frame_base; k < g_frame_top; k++) {
            Cell entry;
            if (g_frames[k].kind == K_BLOCK) {
                entry = g_frames[k].rules;
            } else {
                entry = Cell{TYPE_PAIR, 0, uint32_t(PENDING_CODE[g_frames[k].kind]),
                             uint32_t(g_frames[k].count)};
            }
            block::append_copy(&args[4], &entry);
        }
        interp::call_function_named(words::word(words::W_PARSE_CALLBACK), &cells.callback, args, 5, &result);
        if (logic::is_false(&result)) {
            stopped = true;
            return false;
        }
        return true;
    }
    Step matched(bool m, const Cell* rule_block, uint32_t at) {
        match = m;
        if (mask & EV_MATCH) {
            Cell r = *rule_block;
            r.data1 = at;
            if (!fire(EV_MATCH, &r)) return DONE;
        }
        return RESULT;
    }

    // ---- Parens ----

    // Evaluates a paren; its value goes to `out` when given.  False when an
    // exit left it (exit_code holds the code; the stacks are cut already).
    bool eval_paren(const Cell* paren, Cell* out) {
        Cell code = *paren;
        gc::CellRoot keep(&code);
        uint32_t depth = stack::depth();
        uint32_t c = interp::eval_block_exit(&code, false);
        if (c != 0) {
            exit_code = c;
            return false;
        }
        if (out) *out = *stack::top_value();
        uint32_t now = stack::depth();
        if (now > depth) stack::pop(now - depth);
        return true;
    }

    // An operand's value for insert and change: a word's value, a paren's
    // result, else the value itself.
    bool operand_value(const Cell* operand, Cell* out) {
        switch (type_of(operand)) {
        case TYPE_WORD: *out = word_value(operand); return true;
        case TYPE_PAREN: return eval_paren(operand, out);
        default: *out = *operand; return true;
        }
    }

    // A sub-rule that to and thru can search for without frames: the value
    // to match, or false.
    bool simple_operand(const Cell* e, Cell* out) {
        Cell v = *e;
        if (type_of(&v) == TYPE_WORD) {
            if (keyword_of(&v) != KW_NO && keyword_of(&v) < KW_ONLY) return false;
            v = word_value(&v);
        }
        switch (type_of(&v)) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_INTEGER: case TYPE_WORD: case TYPE_SET_WORD:
        case TYPE_GET_WORD:
            return false;
        default:
            *out = v;
            return true;
        }
    }

    // ---- Words in rules ----

    void store_position(const Cell* word) {
        Cell w = *word;
        Cell v = series_at(pos);
        gc::CellRoot keep(&w), keep_v(&v);
        context::set_word_value(&w, &v);
    }
    void load_position(const Cell* word) {
        Cell w = *word;
        Cell v = *context::get_word_value(&w);
        if (!is_series(type_of(&v)) || cell_node(&v) != cell_node(&lv().series)) {
            gc::CellRoot keep(&w);
            raise_error("script", "parse-invalid-ref", &w);
        }
        uint32_t t = tail();
        pos = v.data1 < t ? v.data1 : t;
    }
    void set_word(const Cell* word, const Cell* value) {
        Cell w = *word, v = *value;
        gc::CellRoot keep(&w), keep_v(&v);
        context::set_word_value(&w, &v);
    }

    // ---- Series changes ----

    void adjust_limit(uint32_t at, int64_t delta) {
        Level& l = lv();
        if (l.limit == NO_INDEX || l.limit < at) return;
        int64_t n = int64_t(l.limit) + delta;
        l.limit = n < int64_t(at) ? at : uint32_t(n);
    }
    void copy_part(uint32_t from, uint32_t to, Cell* out) {
        Cell src = series_at(from);
        Cell part = Cell{TYPE_INTEGER, 0, uint32_t(int32_t(to) - int32_t(from)), 0};
        gc::CellRoot keep(&src);
        *out = Cell{TYPE_UNSET, 0, 0, 0};
        DepthGuard depth;
        dispatch::copy(&src, out, &part, false, nullptr);
    }
    void remove_part(uint32_t from, uint32_t to) {
        if (to <= from) return;
        Cell src = series_at(from);
        Cell part = Cell{TYPE_INTEGER, 0, to - from, 0};
        gc::CellRoot keep(&src);
        uint32_t before = tail();
        {
            DepthGuard depth;
            dispatch::remove(&src, &part, nullptr);
        }
        adjust_limit(from, int64_t(tail()) - int64_t(before));
    }
    // Answers how many units the insertion added.
    uint32_t insert_at(uint32_t at, const Cell* value, bool only) {
        Cell src = series_at(at);
        Cell v = *value;
        gc::CellRoot keep(&src), keep_v(&v);
        uint32_t before = tail();
        {
            DepthGuard depth;
            dispatch::insert(&src, &v, -1, only, 1);
        }
        uint32_t after = tail();
        adjust_limit(at, int64_t(after) - int64_t(before));
        return after > before ? after - before : 0;
    }
    // Replaces [from, to) by the value; answers the position after it.
    uint32_t change_part(uint32_t from, uint32_t to, const Cell* value, bool only) {
        uint32_t count = to > from ? to - from : 0;
        Cell src = series_at(from);
        Cell v = *value;
        gc::CellRoot keep(&src), keep_v(&v);
        uint32_t before = tail();
        {
            DepthGuard depth;
            dispatch::change(&src, &v, int32_t(count), only, 1);
        }
        uint32_t after = tail();
        adjust_limit(from, int64_t(after) - int64_t(before));
        int64_t next = int64_t(from) + int64_t(count) + int64_t(after) - int64_t(before);
        return next < int64_t(from) ? from : uint32_t(next);
    }

    // ---- collect and keep ----

    void keep_one(const Cell* value) {
        Frame& c = g_frames[collect_at];
        Cell target = c.aux;
        uint8_t mode = c.mode;
        Cell v = *value;
        gc::CellRoot keep(&target), keep_v(&v);
        uint32_t tt = type_of(&target);
        if (is_any_block(tt)) {
            if (mode == C_INTO) {
                block::insert_value(&target, &v, true, false);
                g_frames[collect_at].aux.data1 = target.data1;
            } else {
                block::append_copy(&target, &v);
            }
            return;
        }
        uint32_t vt = type_of(&v);
        bool fits = is_any_string(tt) ? vt == TYPE_CHAR || is_any_string(vt)
                  : tt == TYPE_BINARY ? vt == TYPE_INTEGER || vt == TYPE_CHAR || vt == TYPE_BINARY || is_any_string(vt)
                                      : false;
        if (!fits) raise_error("script", "parse-into-type");
        DepthGuard depth;
        if (mode == C_INTO) {
            uint32_t before = buffer_of(cell_node(&target))->length();
            dispatch::insert(&target, &v, -1, false, 1);
            uint32_t after = buffer_of(cell_node(&target))->length();
            g_frames[collect_at].aux.data1 += after - before;
        } else {
            dispatch::append(&target, &v, -1, false, 1);
        }
    }
    // A kept value; with splice the items of a block one by one.
    void keep_value(const Cell* value, bool splice) {
        if (!splice || type_of(value) != TYPE_BLOCK) {
            keep_one(value);
            return;
        }
        Cell b = *value;
        gc::CellRoot keep(&b);
        for (uint32_t k = 0; k < block::remaining_length(&b); k++) {
            Cell item = *block::item(&b, k);
            keep_one(&item);
        }
    }
    void keep_matched(uint32_t from, uint32_t to, bool pick) {
        uint32_t count = to > from ? to - from : 0;
        if (pick) {
            for (uint32_t k = 0; k < count; k++) {
                if (from + k >= tail()) break;
                Cell item = item_at(from + k);
                keep_one(&item);
            }
            return;
        }
        Cell v = NONE_CELL;
        gc::CellRoot keep(&v);
        if (count == 1 && from < tail()) v = item_at(from);
        else copy_part(from, from + count, &v);
        keep_one(&v);
    }

    // ---- break and reject ----

    Step do_break(bool result) {
        uint32_t r = NO_INDEX;
        for (uint32_t k = g_frame_top; k > frame_base; k--) {
            const Frame& f = g_frames[k - 1];
            if (f.kind == K_REPEAT && (f.flags & F_BREAKABLE)) {
                r = k - 1;
                break;
            }
        }
        uint32_t keep = r != NO_INDEX ? r + 1 : cur_block + 1;
        while (g_frame_top > keep) drop_frame();
        match = result;
        if (r == NO_INDEX) return pop_block();
        uint32_t start = top().start;
        g_frame_top--;
        if (!result) pos = start;
        return RESULT;
    }

    // ---- Rule extent ----

    // The index after the rule that starts at i (with its keywords and
    // operands); used where a rule is skipped without being applied.
    uint32_t rule_extent(const Cell* rules, uint32_t i) {
        uint32_t n = block::total_length(rules);
        uint32_t extra = 0;
        while (i < n) {
            const Cell* e = block::cell_at(rules, i);
            if (type_of(e) == TYPE_INTEGER) {
                i++;
                continue;
            }
            if (type_of(e) != TYPE_WORD) return i + 1 + extra;
            switch (keyword_of(e)) {
            case KW_ANY: case KW_SOME: case KW_OPT: case KW_NOT: case KW_TO: case KW_THRU:
            case KW_AHEAD: case KW_WHILE: case KW_REMOVE: case KW_INTO:
                i++;
                continue;
            case KW_COPY: case KW_SET: case KW_CASE:
                i += 2;
                continue;
            case KW_COLLECT: {
                i++;
                const Cell* m = i < n ? block::cell_at(rules, i) : nullptr;
                if (m && (is_keyword(m, KW_SET) || is_keyword(m, KW_INTO) || is_keyword(m, KW_AFTER))) i += 2;
                continue;
            }
            case KW_KEEP:
                i++;
                if (i < n && is_keyword(block::cell_at(rules, i), KW_PICK)) i++;
                continue;
            case KW_QUOTE: case KW_IF:
                return i + 2 + extra;
            case KW_INSERT:
                i++;
                if (i < n && is_keyword(block::cell_at(rules, i), KW_ONLY)) i++;
                return i + 1 + extra;
            case KW_CHANGE:
                i++;
                if (i < n && is_keyword(block::cell_at(rules, i), KW_ONLY)) i++;
                extra++;
                continue;
            case KW_NO: case KW_ONLY: case KW_PICK: case KW_AFTER: {
                Cell v = word_value(e);
                if (type_of(&v) == TYPE_INTEGER) {
                    i++;
                    continue;
                }
                return i + 1 + extra;
            }
            default:
                return i + 1 + extra;
            }
        }
        return n;
    }

    // ---- The steps ----

    // The index of a keyword's operand after i: it must exist and not be |.
    uint32_t operand(uint32_t i, const Cell* keyword) {
        const Cell* rules = &g_frames[cur_block].rules;
        uint32_t n = block::total_length(rules);
        if (i + 1 >= n || is_keyword(block::cell_at(rules, i + 1), KW_PIPE)) raise_end(keyword);
        return i + 1;
    }
    Cell rule_at(uint32_t i) { return *block::cell_at(&g_frames[cur_block].rules, i); }
    void set_next(uint32_t i) { g_frames[cur_block].rules.data1 = i; }

    // A count from an integer! (or a word holding one): negative counts
    // are out of range.
    static int32_t count_of(const Cell* v) {
        int32_t n = int32_t(v->data2);
        if (n < 0) {
            Cell c = *v;
            raise_error("script", "out-of-range", &c);
        }
        return n;
    }
    bool integer_operand(const Cell* e, int32_t* n) {
        if (type_of(e) == TYPE_INTEGER) {
            *n = count_of(e);
            return true;
        }
        if (type_of(e) == TYPE_WORD && (keyword_of(e) == KW_NO || keyword_of(e) >= KW_ONLY)) {
            Cell v = word_value(e);
            if (type_of(&v) == TYPE_INTEGER) {
                *n = count_of(&v);
                return true;
            }
        }
        return false;
    }

    Step fetch() {
        if (mask & EV_FETCH) {
            Cell r = g_frames[cur_block].rules;
            if (!fire(EV_FETCH, &r)) return DONE;
        }
        const Cell* rules = &g_frames[cur_block].rules;
        uint32_t n = block::total_length(rules);
        uint32_t ri = rules->data1;
        if (ri >= n) {
            match = true;
            return pop_block();
        }
        Cell e = *block::cell_at(rules, ri);
        switch (type_of(&e)) {
        case TYPE_WORD:
            if (keyword_of(&e) == KW_PIPE) {
                if (ri + 1 >= n) raise_end(&e);
                match = true;
                return pop_block();
            }
            break;
        case TYPE_SET_WORD:
            set_next(ri + 1);
            store_position(&e);
            return FETCH;
        case TYPE_GET_WORD:
            set_next(ri + 1);
            load_position(&e);
            return FETCH;
        case TYPE_PAREN: {
            set_next(ri + 1);
            if (!eval_paren(&e, nullptr)) return DONE;
            if (mask & EV_PAREN) {
                Cell r = g_frames[cur_block].rules;
                r.data1 = ri;
                if (!fire(EV_PAREN, &r)) return DONE;
            }
            return FETCH;
        }
        default:
            break;
        }
        return apply(ri);
    }

    // Applies the rule at index i of the current rule block.
    Step apply(uint32_t i) {
        for (;;) {
            const Cell* rules = &g_frames[cur_block].rules;
            uint32_t n = block::total_length(rules);
            if (i >= n) {
                match = false;
                return RESULT;
            }
            Cell e = *block::cell_at(rules, i);
            set_next(i + 1);
            uint32_t t = type_of(&e);
            if (t == TYPE_WORD) {
                uint8_t kw = keyword_of(&e);
                switch (kw) {
                case KW_ANY: case KW_SOME: case KW_OPT: case KW_WHILE: {
                    uint32_t j = operand(i, &e);
                    uint32_t k = push_pending(K_REPEAT, j);
                    Frame& f = g_frames[k];
                    f.min = kw == KW_SOME ? 1 : 0;
                    f.max = kw == KW_OPT ? 1 : UNLIMITED;
                    f.flags = kw == KW_OPT ? 0 : kw == KW_WHILE ? (F_WHILE | F_BREAKABLE) : F_BREAKABLE;
                    f.length = tail();
                    i = j;
                    continue;
                }
                case KW_TO: case KW_THRU: {
                    uint32_t j = operand(i, &e);
                    Cell sub = rule_at(j);
                    if (is_keyword(&sub, KW_END)) {
                        set_next(j + 1);
                        pos = end();
                        return matched(true, &g_frames[cur_block].rules, j);
                    }
                    Cell v;
                    if (simple_operand(&sub, &v)) {
                        set_next(j + 1);
                        gc::CellRoot keep(&v);
                        uint32_t en = end();
                        bool found = false;
                        for (uint32_t p = pos;; p++) {
                            uint32_t next;
                            if (match_simple(subject(), &v, p, &next)) {
                                pos = kw == KW_TO ? p : next;
                                found = true;
                                break;
                            }
                            if (p >= en) break;
                        }
                        return matched(found, &g_frames[cur_block].rules, j);
                    }
                    push_pending(kw == KW_TO ? K_TO : K_THRU, j);
                    i = j;
                    continue;
                }
                case KW_NOT: case KW_AHEAD: case KW_REMOVE: {
                    uint32_t j = operand(i, &e);
                    push_pending(kw == KW_NOT ? K_NOT : kw == KW_AHEAD ? K_AHEAD : K_REMOVE, j);
                    i = j;
                    continue;
                }
                case KW_COPY: case KW_SET: {
                    uint32_t j = operand(i, &e);
                    Cell w = rule_at(j);
                    if (type_of(&w) != TYPE_WORD) raise_rule(&w);
                    uint32_t r = operand(j, &e);
                    uint32_t k = push_pending(kw == KW_COPY ? K_COPY : K_SET, r);
                    g_frames[k].aux = w;
                    i = r;
                    continue;
                }
                case KW_INTO: {
                    if (lv().text) {
                        Cell in = series_at(pos);
                        gc::CellRoot keep(&in);
                        raise_error("script", "parse-block", &in);
                    }
                    uint32_t j = operand(i, &e);
                    Cell sub = rule_at(j);
                    if (type_of(&sub) == TYPE_WORD && keyword_of(&sub) == KW_NO) sub = word_value(&sub);
                    if (type_of(&sub) != TYPE_BLOCK) raise_end(&e);
                    set_next(j + 1);
                    if (pos >= end() || !is_any_block(type_of(&(cells_head(buffer_of(cell_node(&lv().series)))[pos]))))
                        return matched(false, &g_frames[cur_block].rules, j);
                    Cell item = item_at(pos);
                    gc::CellRoot keep(&item), keep_sub(&sub);
                    push_pending(K_INTO, j);
                    push_level(&item, NO_INDEX);
                    uint32_t t2 = tail();
                    pos = item.data1 < t2 ? item.data1 : t2;
                    return push_block(&sub);
                }
                case KW_INSERT: {
                    uint32_t j = operand(i, &e);
                    Cell v = rule_at(j);
                    bool only = false;
                    if (is_keyword(&v, KW_ONLY)) {
                        only = true;
                        j = operand(j, &e);
                        v = rule_at(j);
                    }
                    set_next(j + 1);
                    Cell value = NONE_CELL;
                    gc::CellRoot keep(&value);
                    if (!operand_value(&v, &value)) return DONE;
                    pos += insert_at(pos, &value, only);
                    return matched(true, &g_frames[cur_block].rules, j);
                }
                case KW_CHANGE: {
                    uint32_t j = operand(i, &e);
                    uint8_t flags = 0;
                    Cell v = rule_at(j);
                    if (is_keyword(&v, KW_ONLY)) {
                        flags = F_ONLY;
                        j = operand(j, &e);
                    }
                    uint32_t k = push_pending(K_CHANGE, j);
                    g_frames[k].flags = flags;
                    i = j;
                    continue;
                }
                case KW_COLLECT: {
                    uint32_t j = operand(i, &e);
                    Cell m = rule_at(j);
                    uint8_t mode = C_NEW;
                    Cell w = NONE_CELL;
                    if (is_keyword(&m, KW_SET) || is_keyword(&m, KW_INTO) || is_keyword(&m, KW_AFTER)) {
                        uint8_t mk = keyword_of(&m);
                        uint32_t wi = operand(j, &e);
                        w = rule_at(wi);
                        if (type_of(&w) != TYPE_WORD) raise_rule(&w);
                        mode = mk == KW_SET ? C_SET : mk == KW_INTO ? C_INTO : C_AFTER;
                        j = operand(wi, &e);
                    }
                    Cell target = NONE_CELL;
                    gc::CellRoot keep(&target), keep_w(&w);
                    if (mode == C_INTO || mode == C_AFTER) {
                        target = *context::get_word_value(&w);
                        uint32_t tt = type_of(&target);
                        if (!is_series(tt) || tt == TYPE_IMAGE || tt == TYPE_VECTOR)
                            raise_error("script", "parse-into-bad");
                        uint32_t total = buffer_of(cell_node(&target))->length();
                        if (target.data1 > total) target.data1 = total;
                    } else {
                        target = block::make(8);
                    }
                    uint32_t k = push_pending(K_COLLECT, j);
                    Frame& f = g_frames[k];
                    f.mode = mode;
                    f.aux = target;
                    f.aux2 = w;
                    f.saved = collect_at;
                    collect_at = k;
                    i = j;
                    continue;
                }
                case KW_KEEP: {
                    if (collect_at == NO_INDEX) raise_error("script", "parse-keep");
                    uint32_t j = operand(i, &e);
                    Cell v = rule_at(j);
                    uint8_t flags = 0;
                    if (is_keyword(&v, KW_PICK)) {
                        flags = F_PICK;
                        j = operand(j, &e);
                        v = rule_at(j);
                    }
                    if (type_of(&v) == TYPE_PAREN) {
                        set_next(j + 1);
                        Cell r = NONE_CELL;
                        gc::CellRoot keep(&r);
                        if (!eval_paren(&v, &r)) return DONE;
                        keep_value(&r, flags & F_PICK);
                        return matched(true, &g_frames[cur_block].rules, j);
                    }
                    uint32_t k = push_pending(K_KEEP, j);
                    g_frames[k].flags = flags;
                    i = j;
                    continue;
                }
                case KW_CASE: {
                    if (i + 1 >= n) raise_end(&e);
                    Cell w = rule_at(i + 1);
                    if (type_of(&w) != TYPE_WORD) raise_end(&e);
                    Cell v = word_value(&w);
                    if (type_of(&v) != TYPE_LOGIC) raise_end(&e);
                    uint32_t r = operand(i + 1, &e);
                    uint32_t k = push_pending(K_CASE, r);
                    g_frames[k].saved = uint32_t(op);
                    op = v.data1 ? 2 : 0;
                    i = r;
                    continue;
                }
                case KW_QUOTE: {
                    uint32_t j = operand(i, &e);
                    Cell v = rule_at(j);
                    set_next(j + 1);
                    uint32_t next;
                    bool m = match_literal(subject(), &v, pos, &next);
                    if (m) pos = next;
                    return matched(m, &g_frames[cur_block].rules, j);
                }
                case KW_IF: {
                    if (i + 1 >= n) raise_end(&e);
                    Cell v = rule_at(i + 1);
                    if (type_of(&v) != TYPE_PAREN) raise_rule(&v);
                    set_next(i + 2);
                    Cell r = NONE_CELL;
                    gc::CellRoot keep(&r);
                    if (!eval_paren(&v, &r)) return DONE;
                    return matched(!logic::is_false(&r), &g_frames[cur_block].rules, i + 1);
                }
                case KW_SKIP: {
                    bool m = pos < end();
                    if (m) pos++;
                    return matched(m, &g_frames[cur_block].rules, i);
                }
                case KW_END: return matched(pos >= end(), &g_frames[cur_block].rules, i);
                case KW_NONE: return matched(true, &g_frames[cur_block].rules, i);
                case KW_FAIL: return matched(false, &g_frames[cur_block].rules, i);
                case KW_BREAK: return do_break(true);
                case KW_REJECT: return do_break(false);
                case KW_PIPE: raise_end(&e);
                default: break;
                }
                // Not a keyword: the word's value is the rule.
                e = word_value(&e);
                t = type_of(&e);
                if (t == TYPE_PAREN || t == TYPE_SET_WORD || t == TYPE_GET_WORD) t = TYPE_NONE + 0x100;
            }
            switch (t) {
            case TYPE_BLOCK: return push_block(&e);
            case TYPE_INTEGER: {
                int32_t lo = count_of(&e), hi = lo;
                uint32_t j = operand(i, &e);
                Cell nx = rule_at(j);
                int32_t second;
                if (integer_operand(&nx, &second)) {
                    hi = second;
                    j = operand(j, &e);
                }
                if (hi == 0) {
                    set_next(rule_extent(&g_frames[cur_block].rules, j));
                    return matched(true, &g_frames[cur_block].rules, j);
                }
                uint32_t k = push_pending(K_REPEAT, j);
                Frame& f = g_frames[k];
                f.min = lo;
                f.max = hi;
                f.flags = F_BREAKABLE;
                i = j;
                continue;
            }
            case TYPE_PAREN: {
                if (!eval_paren(&e, nullptr)) return DONE;
                return matched(true, &g_frames[cur_block].rules, i);
            }
            case TYPE_SET_WORD: store_position(&e); return matched(true, &g_frames[cur_block].rules, i);
            case TYPE_GET_WORD: load_position(&e); return matched(true, &g_frames[cur_block].rules, i);
            case TYPE_NONE + 0x100: raise_rule(&e);
            default: {
                uint32_t next;
                bool m = match_simple(subject(), &e, pos, &next);
                if (m) pos = next;
                return matched(m, &g_frames[cur_block].rules, i);
            }
            }
        }
    }

    // Hands the current match result to the top frame.
    Step deliver() {
        Frame& f = top();
        switch (f.kind) {
        case K_BLOCK: {
            if (match) return FETCH;
            // The next alternative, from the input position at the block's entry.
            const Cell* rules = &f.rules;
            uint32_t n = block::total_length(rules);
            for (uint32_t k = rules->data1; k < n; k++) {
                const Cell* c = block::cell_at(rules, k);
                if (type_of(c) != TYPE_WORD) continue;
                uint8_t kw = keyword_of(c);
                if (kw == KW_QUOTE) {
                    k++;
                    continue;
                }
                if (kw != KW_PIPE) continue;
                if (k + 1 >= n) raise_end(c);
                f.rules.data1 = k + 1;
                pos = f.start;
                return FETCH;
            }
            return pop_block();
        }
        case K_REPEAT: {
            if (match) {
                f.count++;
                // An iteration that did not move ends the repetition,
                // unless it shortened the input (a removal at the position,
                // which ends by itself): one that left the input as it was
                // or lengthened it (text put in and backed out of) would
                // repeat for ever.
                uint32_t length = tail();
                bool stuck = !(f.flags & F_WHILE) && f.max == UNLIMITED && pos == f.mark && length >= f.length;
                f.length = length;
                if (f.count >= f.max || stuck) {
                    bool ok = f.count >= f.min;
                    uint32_t start = f.start;
                    g_frame_top--;
                    match = ok;
                    if (!ok) pos = start;
                    return RESULT;
                }
                f.mark = pos;
                uint32_t sub = f.sub_at;
                if (mask & EV_ITERATE) {
                    Cell r = g_frames[cur_block].rules;
                    r.data1 = sub;
                    if (!fire(EV_ITERATE, &r)) return DONE;
                }
                return apply(sub);
            }
            pos = f.mark;
            bool ok = f.count >= f.min;
            uint32_t start = f.start;
            g_frame_top--;
            match = ok;
            if (!ok) pos = start;
            return RESULT;
        }
        case K_TO: case K_THRU: {
            if (match) {
                if (f.kind == K_TO) pos = f.mark;
                g_frame_top--;
                return RESULT;
            }
            f.mark++;
            if (f.mark > end()) {
                pos = f.start;
                g_frame_top--;
                return RESULT;
            }
            pos = f.mark;
            return apply(f.sub_at);
        }
        case K_COPY: case K_SET: {
            Frame done = f;
            g_frame_top--;
            if (!match) return RESULT;
            Cell v = NONE_CELL;
            gc::CellRoot keep(&v), keep_w(&done.aux);
            if (done.kind == K_COPY) copy_part(done.start, pos, &v);
            else if (pos > done.start && done.start < tail()) v = item_at(done.start);
            set_word(&done.aux, &v);
            return RESULT;
        }
        case K_NOT:
            pos = f.start;
            match = !match;
            g_frame_top--;
            return RESULT;
        case K_AHEAD:
            if (match) pos = f.start;
            g_frame_top--;
            return RESULT;
        case K_INTO: {
            bool ok = match && pos >= end();
            uint32_t start = f.start;
            g_frame_top--;
            pop_level();
            pos = ok ? start + 1 : start;
            match = ok;
            return RESULT;
        }
        case K_REMOVE: {
            uint32_t start = f.start;
            g_frame_top--;
            if (match) {
                remove_part(start, pos);
                pos = start;
            }
            return RESULT;
        }
        case K_COLLECT: {
            Frame done = f;
            g_frame_top--;
            collect_at = done.saved;
            gc::CellRoot keep(&done.aux), keep_w(&done.aux2);
            if (done.mode == C_SET) {
                set_word(&done.aux2, &done.aux);
            } else if (done.mode == C_NEW) {
                if (collect_at != NO_INDEX) {
                    keep_one(&done.aux);
                } else {
                    cells.result = done.aux;
                    collected = true;
                }
            }
            return RESULT;
        }
        case K_KEEP: {
            uint32_t start = f.start;
            bool pick = f.flags & F_PICK;
            g_frame_top--;
            if (match) keep_matched(start, pos, pick);
            return RESULT;
        }
        case K_CASE:
            op = int32_t(f.saved);
            g_frame_top--;
            return RESULT;
        case K_CHANGE: {
            uint32_t start = f.start;
            bool only = f.flags & F_ONLY;
            g_frame_top--;
            const Cell* rules = &g_frames[cur_block].rules;
            uint32_t vi = rules->data1;
            if (vi >= block::total_length(rules)) raise_end(words::word(words::W_CHANGE));
            Cell v = *block::cell_at(rules, vi);
            set_next(vi + 1);
            if (!match) return RESULT;
            Cell value = NONE_CELL;
            gc::CellRoot keep(&v), keep_value(&value);
            if (!operand_value(&v, &value)) return DONE;
            pos = change_part(start, pos, &value, only);
            return RESULT;
        }
        default:
            g_frame_top--;
            return RESULT;
        }
    }

    uint32_t execute(Cell* result) {
        Step step = push_block(&cells.rules);
        while (step != DONE) {
            if (step == FETCH) {
                step = fetch();
            } else {
                if (g_frame_top == frame_base) break;
                step = deliver();
            }
        }
        if (exit_code != 0) return exit_code;
        if (!stopped) {
            match = match && pos >= end();
            if (mask & EV_END) {
                Cell r = cells.rules;
                r.data1 = block::total_length(&r);
                fire(EV_END, &r);
            }
        }
        if (collected && !stopped) *result = cells.result;
        else logic::set(result, match ? 1 : 0);
        return 0;
    }
};

void ensure_ready() {
    if (g_root_generation != memory::generation()) init();
    ensure_keywords();
}

}  // namespace

void init() {
    gc::remove_root(mark_gc);
    gc::push_root(mark_gc);
    g_root_generation = memory::generation();
}

uint32_t run(const Cell* input, const Cell* rules, int32_t op, int64_t end, const Cell* callback, Cell* result) {
    ensure_ready();
    interp::check_machine_stack();
    Engine e;
    e.cells.input = *input;
    e.cells.rules = *rules;
    e.cells.input.header &= TYPE_MASK;
    e.op = op;
    if (callback && type_of(callback) == TYPE_FUNCTION) {
        e.cells.callback = *callback;
        e.mask = event_mask(callback);
    }
    uint32_t limit = end < 0 ? NO_INDEX : end >= int64_t(NO_INDEX) ? NO_INDEX - 1 : uint32_t(end);
    e.push_level(&e.cells.input, limit);
    uint32_t t = e.tail();
    e.pos = input->data1 < t ? input->data1 : t;
    return e.execute(result);
}

}  // namespace qor::parse

namespace qor::natives {

using support::args;
using support::expect;
using support::pass_on;
using support::T;

int32_t parse_star(bool check, const int32_t* refinements) {
    constexpr uint64_t INPUT = T(TYPE_BINARY) | T(TYPE_BLOCK) | T(TYPE_PAREN) | T(TYPE_PATH) | T(TYPE_LIT_PATH) |
                               T(TYPE_SET_PATH) | T(TYPE_GET_PATH) | T(TYPE_HASH) | T(TYPE_STRING) | T(TYPE_FILE) |
                               T(TYPE_URL) | T(TYPE_TAG) | T(TYPE_EMAIL) | T(TYPE_REF);
    constexpr uint64_t NUMBER = T(TYPE_INTEGER) | T(TYPE_FLOAT) | T(TYPE_PERCENT);
    constexpr Cell NONE_CELL{TYPE_NONE, 0, 0, 0};
    constexpr uint64_t SERIES = INPUT | T(TYPE_VECTOR) | T(TYPE_IMAGE);
    int32_t part_at = refinements[1], trace_at = refinements[2];
    if (check) {
        expect(0, "input", INPUT);
        expect(1, "rules", T(TYPE_BLOCK));
        if (part_at >= 0) expect(uint32_t(part_at), "length", NUMBER | SERIES);
        if (trace_at >= 0) expect(uint32_t(trace_at), "callback", T(TYPE_FUNCTION));
    }
    Cell input = args()[0], rules = args()[1];
    gc::CellRoot keep(&input), keep_rules(&rules);
    int32_t op = refinements[0] != -1 ? 2 : 0;
    int64_t end = -1;
    if (part_at >= 0) {
        Cell length = args()[part_at];
        uint32_t lt = type_of(&length);
        int64_t index = input.data1;
        if (lt == TYPE_INTEGER) {
            end = index + int32_t(length.data2);
        } else if (lt == TYPE_FLOAT || lt == TYPE_PERCENT) {
            double d = std::trunc(cell_float(&length));
            if (std::isnan(d)) d = 0;
            if (d > 4e9) d = 4e9;
            if (d < -4e9) d = -4e9;
            end = index + int64_t(d);
        } else if (lt == type_of(&input) && cell_node(&length) == cell_node(&input)) {
            end = length.data1;
        } else {
            Cell refinement = *words::refinement(words::REF_PART);
            gc::CellRoot keep_length(&length), keep_refinement(&refinement);
            raise_error("script", "invalid-refine-arg", &refinement, &length);
        }
        if (end <= 0) {
            uint32_t total = buffer_of(cell_node(&input))->length();
            Cell r{TYPE_LOGIC, input.data1 >= total ? 1u : 0u, 0, 0};
            stack::set_last_keep(&r);
            return 0;
        }
    }
    Cell callback = NONE_CELL;
    if (trace_at >= 0) callback = args()[trace_at];
    gc::CellRoot keep_callback(&callback);
    Cell result = NONE_CELL;
    gc::CellRoot keep_result(&result);
    uint32_t code = parse::run(&input, &rules, op, end, trace_at >= 0 ? &callback : nullptr, &result);
    if (code != 0) return pass_on(check, code);
    stack::set_last_keep(&result);
    return 0;
}

}  // namespace qor::natives
