// The argument and call-frame stacks (see stack.hpp).
#include "datatypes/stack.hpp"

#include <climits>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/none.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/error.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/throw.hpp"

namespace qor::stack {

namespace {

// Room past the nominal ends, used only while a stack-overflow error is
// being built, so that making and reporting it cannot overflow again.
constexpr uint32_t ARGUMENT_SLACK = 256;   // cells
constexpr uint32_t FRAME_SLACK = 64;       // frames

// Both buffers are static: they never move, exist before start-up runs and
// outlive every restart of the memory manager (tests restart it often).  The
// collector reaches their live part through the root registered by init.
Cell g_cells[ARGUMENT_CELLS + ARGUMENT_SLACK];
CallFrame g_frames[FRAME_CAPACITY + FRAME_SLACK];

Cell* const g_nominal_end = g_cells + ARGUMENT_CELLS;
Cell* const g_hard_end = g_cells + ARGUMENT_CELLS + ARGUMENT_SLACK;
CallFrame* const g_nominal_limit = g_frames + FRAME_CAPACITY;
CallFrame* const g_hard_limit = g_frames + FRAME_CAPACITY + FRAME_SLACK;
bool g_raising_overflow = false;
bool g_ready = false;

}  // namespace

State state{g_cells, g_cells + ARGUMENT_CELLS, g_cells, g_cells, g_frames, g_frames, g_frames + FRAME_CAPACITY};

CallFrame* g_where_marker = nullptr;
int32_t g_anon_symbol = 0;
CallFrame* g_exit_frame = nullptr;

namespace {
Cell g_hints[HINT_CELLS]{};

void clear_hints() {
    for (Cell& cell : g_hints) cell = Cell{TYPE_NONE, 0, 0, 0};
}
}  // namespace

Cell* hints() { return g_hints; }

namespace {


int32_t g_body_symbol = 0;

void refresh_symbols() {
    if (words::ready()) {
        g_body_symbol = words::word_symbol(words::W_BODY);
        g_anon_symbol = words::word_symbol(words::W_ANON);
    } else {
        g_body_symbol = g_anon_symbol = 0;
    }
}


// Writes a function frame's saved values pointer back into its context.
inline void restore_context(const CallFrame* f) {
    if (f->function_context)
        context::set_stack_values(reinterpret_cast<Node>(f->function_context), f->saved_values);
}

// After a pop: a marker left above the top frame belongs to a finished throw.
inline void drop_stale_marker() {
    if (g_where_marker && g_where_marker > state.frames_top) g_where_marker = nullptr;
}

void mark_roots() {
    gc::mark_cells(g_hints, g_hints + HINT_CELLS);
    if (!state.bottom) return;
    gc::mark_cells(state.bottom, state.top);
    int32_t self_sym = words::ready() ? words::symbol(words::SYM_SELF) : -1;
    for (CallFrame* f = state.frames_bottom; f < state.frames_top; f++) {
        if (f->word_context) {
            if (frame_symbol(f) == self_sym) gc::mark_series_cells(&f->word_context);
            else gc::mark_context(&f->word_context);
        }
        if (f->function_context) gc::mark_context(&f->function_context);
    }
}

// A compiled body's frame right above the function frame of the same call:
// the call is already named once by the function frame.
bool repeats_call(const CallFrame* f) {
    if (f <= state.frames_bottom) return false;
    if ((f->header & (FRAME_KIND_MASK | FRAME_BODY)) != ((uint32_t(FRAME_NATIVE) << FRAME_KIND_SHIFT) | FRAME_BODY))
        return false;
    const CallFrame* below = f - 1;
    return frame_kind(below) == FRAME_FUNCTION && frame_symbol(below) == frame_symbol(f);
}

// The frame is listed in stack reports.
bool listed(const CallFrame* f, int32_t level) {
    int32_t sym = frame_symbol(f);
    if (!proper_symbol(sym) || repeats_call(f)) return false;
    if (level > 1) return true;
    if (!context::global()) return false;
    Cell* v = context::value_by_symbol(sym, reinterpret_cast<Node>(f->word_context));
    return v && type_of(v) == TYPE_FUNCTION;
}

}  // namespace

bool proper_symbol(int32_t sym) { return sym != g_body_symbol && sym != g_anon_symbol; }

Cell word_of_frame(const CallFrame* f) {
    Node ctx = reinterpret_cast<Node>(f->word_context);
    int32_t sym = frame_symbol(f);
    if (ctx && context::global()) return *context::word_for_symbol(ctx, sym);
    if (context::global()) return *context::make_global_word(sym);
    return Cell{TYPE_WORD, 0, uint32_t(sym), uint32_t(-1)};
}

Cell not_found_word() {
    if (words::ready()) return *words::word(words::W_NOT_FOUND);
    if (symbol::ready() && context::global()) return *context::make_global_word(symbol::intern("<not-found>"));
    return Cell{TYPE_NONE, 0, 0, 0};
}

// ---- Set-up ----------------------------------------------------------------------------------

void init() {
    state = State{g_cells, g_nominal_end, g_cells, g_cells, g_frames, g_frames, g_nominal_limit};
    g_raising_overflow = false;
    g_where_marker = g_exit_frame = nullptr;
    clear_hints();
    ensure();
}

bool ready() { return g_ready; }

void ensure() {
    // The collector's root list starts empty after every restart of the
    // memory manager; registering again replaces an earlier registration.
    gc::remove_root(mark_roots);
    gc::push_root(mark_roots);
    refresh_symbols();
    g_ready = true;
}

void set_frames_top(CallFrame* frame) { state.frames_top = frame; }

// ---- Overflow ------------------------------------------------------------------------------

namespace {

// While the error is built the stacks may use their slack; the nominal ends
// come back when the error leaves this function.
struct OverflowRaise {
    OverflowRaise() {
        g_raising_overflow = true;
        state.end = g_hard_end;
        state.frames_limit = g_hard_limit;
    }
    ~OverflowRaise() {
        g_raising_overflow = false;
        state.end = g_nominal_end;
        state.frames_limit = g_nominal_limit;
    }
};

[[noreturn]] void raise_overflow() {
    state.top = uint32_t(state.top - state.bottom) < OVERFLOW_BACKOFF ? state.bottom
                                                                     : state.top - OVERFLOW_BACKOFF;
    cycle_stack::reset();
    if (g_raising_overflow) {
        // Building the error ran out of the slack too: throw without one.
        errors::throw_error(none_value);
    }
    OverflowRaise guard;
    raise_error("internal", "stack-overflow");
}

}  // namespace

void overflow_arguments() { raise_overflow(); }
void overflow_frames() { raise_overflow(); }

// ---- Argument stack --------------------------------------------------------------------------

void keep_last() {
    Cell* t = top_value();
    if (state.top > state.base && type_of(t) == TYPE_ERROR) *state.base = *t;
    state.top = state.base + 1;
}

void pop_into_previous() {
    if (state.top - state.bottom < 2) return;
    Cell v = state.top[-1];
    state.top--;
    state.top[-1] = v;
}

// ---- Frames --------------------------------------------------------------------------------

void mark_func(const Cell* word, Node ctx) {
    mark(word, HEADER_FUNCTION);
    if (ctx) {
        CallFrame* f = top_frame();
        f->function_context = reinterpret_cast<uint32_t>(ctx);
        f->saved_values = context::stack_values(ctx);
    }
}
void mark_interp_func(const Cell* word, Node ctx) {
    mark(word, HEADER_INTERP_FUNCTION);
    if (ctx) {
        CallFrame* f = top_frame();
        f->function_context = reinterpret_cast<uint32_t>(ctx);
        f->saved_values = context::stack_values(ctx);
    }
}
void mark_native(const Cell* word) { mark(word, HEADER_NATIVE); }
void mark_interp_native(const Cell* word) { mark(word, HEADER_INTERP_NATIVE); }
void mark_try(const Cell* word) { mark(word, HEADER_TRY); }
void mark_try_all(const Cell* word) { mark(word, HEADER_TRY_ALL); }
void mark_catch(const Cell* word) { mark(word, HEADER_CATCH); }
void mark_eval(const Cell* word) { mark(word, HEADER_EVAL); }
void mark_loop(const Cell* word) { mark(word, HEADER_LOOP); }
void mark_dyn(const Cell* word) { mark(word, HEADER_DYN); }

void mark_compiled_func(const Cell* word, Node ctx) {
    Cell* previous = ctx ? context::stack_values(ctx) : nullptr;
    if (ctx) context::set_stack_values(ctx, state.base);
    mark(word, HEADER_COMPILED_BODY);
    if (ctx) {
        CallFrame* f = top_frame();
        f->function_context = reinterpret_cast<uint32_t>(ctx);
        f->saved_values = previous;
    }
}

void set_body_flag(bool on) {
    if (frames_empty()) return;
    if (on) top_frame()->header |= FRAME_BODY;
    else top_frame()->header &= ~FRAME_BODY;
}

void set_interp_flag() {
    if (!frames_empty()) top_frame()->header |= FRAME_INTERP;
}

CallFrame* claim_parent_body() {
    if (state.frames_top - state.frames_bottom < 2) return nullptr;
    CallFrame* f = state.frames_top - 2;
    if (f->header & FRAME_BODY) return nullptr;
    f->header |= FRAME_BODY;
    return f;
}

void clear_body_flag(CallFrame* frame) {
    if (frame) frame->header &= ~FRAME_BODY;
}

bool in_interp(CallFrame* frame, bool one_only) {
    for (CallFrame* f = frame ? frame : top_frame(); f >= state.frames_bottom; f--) {
        if (f->header & FRAME_INTERP) return true;
        if (one_only) return false;
    }
    return false;
}

void rename_frame(const Cell* word) {
    if (!word || type_of(word) != TYPE_WORD || frames_empty()) return;
    CallFrame* f = g_where_marker ? g_where_marker - 1 : top_frame();
    if (f < state.frames_bottom) return;
    f->header = (f->header & ~FRAME_SYMBOL_MASK) | (uint32_t(word::symbol_of(word)) & FRAME_SYMBOL_MASK);
}

// ---- Popping ---------------------------------------------------------------------------------

namespace {

inline CallFrame* pop_frame() {
    if (state.frames_top == state.frames_bottom) return nullptr;
    return --state.frames_top;
}

}  // namespace

void unwind() {
    CallFrame* f = pop_frame();
    if (!f) return;
    if (frame_kind(f) == FRAME_FUNCTION) restore_context(f);
    state.top = state.base;
    state.base = f->saved_base;
    if (f == state.frames_bottom) state.base = state.top = state.bottom;
    drop_stale_marker();
}

void unwind_drop() {
    CallFrame* f = pop_frame();
    if (!f) return;
    if (frame_kind(f) == FRAME_FUNCTION) restore_context(f);
    state.base = f->saved_base;
    if (f == state.frames_bottom) state.base = state.bottom;
    pop(1);
    drop_stale_marker();
}

void unwind_func_keep() {
    CallFrame* f = pop_frame();
    if (!f) return;
    restore_context(f);
    state.top = state.base + 1;
    state.base = f->saved_base;
    drop_stale_marker();
}

void unwind_func() {
    CallFrame* f = pop_frame();
    if (!f) return;
    restore_context(f);
    state.base = f->saved_base;
    state.top = state.base;
    drop_stale_marker();
}

void unwind_func_last() {
    CallFrame* f = pop_frame();
    if (!f) return;
    restore_context(f);
    Cell result = *state.base;
    state.base = f->saved_base;
    *state.base = result;
    state.top = state.base + 1;
    drop_stale_marker();
}

void unwind_reset() {
    CallFrame* f = pop_frame();
    if (!f) return;
    state.base = f->saved_base;
    state.top = state.base;
    drop_stale_marker();
}

Cell* base_inside(CallFrame* frame) {
    return frame + 1 < state.frames_top ? (frame + 1)->saved_base : state.base;
}

CallFrame* unwind_to(uint32_t kind, bool keep) {
    if (frames_empty()) return nullptr;
    CallFrame* f = top_frame();
    while (f > state.frames_bottom) {
        uint32_t k = frame_kind(f);
        if (k == kind || k == FRAME_TRY_ALL) break;
        f--;
    }
    Cell* inside = base_inside(f);
    for (CallFrame* g = state.frames_top - 1; g > f; g--) restore_context(g);
    state.frames_top = f + 1;
    if (keep) {
        state.base = inside;
        state.top = inside + 1;
    } else {
        state.base = f->saved_base;
        if (f == state.frames_bottom) state.base = state.top = state.bottom;
    }
    drop_stale_marker();
    return f;
}

void unwind_to_last(uint32_t kind) {
    Cell result = *state.base;
    if (frames_empty()) return;
    CallFrame* f = top_frame();
    while (f > state.frames_bottom) {
        uint32_t k = frame_kind(f);
        if (k == kind || k == FRAME_TRY_ALL) break;
        f--;
    }
    Cell* inside = base_inside(f);
    unwind_to(kind, false);
    *inside = result;
    state.base = inside;
    state.top = inside + 1;
}

void unwind_to_loop(bool keep) { unwind_to(FRAME_LOOP, keep); }

// ---- Stoppers ---------------------------------------------------------------------------------

void restore(const Checkpoint& cp) {
    for (CallFrame* f = state.frames_top; f-- > cp.frames_top;) restore_context(f);
    state.frames_top = cp.frames_top;
    state.base = cp.base;
    state.top = cp.top;
    drop_stale_marker();
}

void restore_to_frame(CallFrame* frame, Cell* base, Cell* top) {
    for (CallFrame* f = state.frames_top; f-- > frame + 1;) restore_context(f);
    state.frames_top = frame + 1;
    state.base = base;
    state.top = top;
    drop_stale_marker();
}

// ---- Frame walks ----------------------------------------------------------------------------------

Cell current_call() {
    CallFrame* f = (g_where_marker ? g_where_marker : state.frames_top) - 1;
    g_where_marker = nullptr;
    for (; f >= state.frames_bottom; f--)
        if (proper_symbol(frame_symbol(f))) return word_of_frame(f);
    return not_found_word();
}

void collect_trace(Cell* block_in) {
    Cell block = *block_in;
    gc::CellRoot keep(&block);
    for (CallFrame* f = state.frames_top - 1; f > state.frames_bottom; f--) {
        if (!proper_symbol(frame_symbol(f)) || repeats_call(f)) continue;
        Node ctx = reinterpret_cast<Node>(f->function_context ? f->function_context : 0);
        Cell word = ctx ? *context::word_for_symbol(ctx, frame_symbol(f)) : *context::make_global_word(frame_symbol(f));
        block::append_copy(&block, &word);
        Cell n{TYPE_INTEGER, 0, uint32_t(f->saved_base - state.bottom), 0};
        block::append_copy(&block, &n);
    }
}

namespace {

// Visits the frames of a report, innermost first (see list_calls).
template <class Visit>
void walk_report_calls(int32_t level, int32_t frame_count, Visit visit) {
    CallFrame* start = state.frames_bottom + (frame_count > 0 ? frame_count : 0);
    if (start > state.frames_top) start = state.frames_top;
    int32_t named = 0;
    for (CallFrame* f = start; f-- > state.frames_bottom && named < level;) {
        if (!(f->header & FRAME_INTERP) || !listed(f, level)) continue;
        if (!visit(f)) return;
        named++;
    }
}

}  // namespace

int32_t list_calls(int32_t level, Cell* out, int32_t frame_count, int32_t limit) {
    bool first = true;
    walk_report_calls(level, frame_count, [&](const CallFrame* f) {
        if (limit <= 0) return false;
        if (!first) {
            string::append_ascii(out, " ");
            limit--;
        }
        first = false;
        Cell word = word_of_frame(f);
        limit = dispatch::form(&word, out, nullptr, limit);
        return true;
    });
    return limit;
}

void print_calls(int32_t level, Cell* block_in, int32_t frame_count) {
    Cell block = *block_in;
    gc::CellRoot keep(&block);
    walk_report_calls(level, frame_count, [&](const CallFrame* f) {
        Cell word = word_of_frame(f);
        block::append_copy(&block, &word);
        return true;
    });
}

void seam_start_call() {
    ensure();
    state.frames_top = state.frames_bottom;
    state.top = state.base = state.bottom;
    g_where_marker = g_exit_frame = nullptr;
}

}  // namespace qor::stack
