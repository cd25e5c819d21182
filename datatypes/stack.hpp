// The interpreter's two stacks: arguments and call frames.
//
// Argument stack: a run of 16-byte cells (20,000) in a buffer that never
// moves.  `top` is the next free cell; the arguments base is the first
// argument of the call now running, and its cell is that call's result slot:
// every native, action and function leaves its result there.
//   bottom <= base <= top < end
//
// Call-frame stack: fixed 20-byte records (room for 12,000), one per call in
// progress.  A frame remembers the arguments base of its caller, names the
// call (symbol and the word's context, for error reports), and for a
// function the local context whose values pointer must be put back when the
// frame goes.
//
// The non-local exits that cut both stacks back (break, return, throw,
// errors) are the evaluator's (evaluator/exits.hpp).
//
// Both buffers are static and never move; they exist before start-up and
// survive restarts of the memory manager.  The collector marks the live
// cells [bottom, top) and every context the live frames name.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.hpp"
#include "datatypes/context.hpp"
#include "datatypes/word.hpp"
#include "runtime/memory.hpp"

namespace qor {

// Frame kinds (bits 24-27 of a frame header).
enum FrameKind : uint32_t {
    FRAME_FUNCTION = 1,
    FRAME_NATIVE   = 2,
    FRAME_TRY      = 4,
    FRAME_TRY_ALL  = 5,   // also a barrier that break, continue, return, exit and throw never cross
    FRAME_CATCH    = 6,
    FRAME_EVAL     = 7,
    FRAME_LOOP     = 8,
    FRAME_DYN      = 9,
};

// Frame header layout: the symbol id in bits 0-23, the kind in bits 24-27,
// the body-running flag, and the flag of a call made by the interpreter.
constexpr uint32_t FRAME_SYMBOL_MASK = 0x00FFFFFFu;
constexpr uint32_t FRAME_KIND_SHIFT  = 24;
constexpr uint32_t FRAME_KIND_MASK   = 0x0F000000u;
constexpr uint32_t FRAME_BODY        = 0x10000000u;   // a function body runs in this frame
constexpr uint32_t FRAME_INTERP      = 0x80000000u;   // pushed by the interpreter

// Header values pushed by the mark operations.
enum : uint32_t {
    HEADER_FUNCTION        = 0x01000000u,
    HEADER_INTERP_FUNCTION = 0x81000000u,
    HEADER_NATIVE          = 0x02000000u,
    HEADER_INTERP_NATIVE   = 0x82000000u,
    HEADER_COMPILED_BODY   = 0x12000000u,
    HEADER_TRY             = 0x04000000u,
    HEADER_TRY_ALL         = 0x05000000u,
    HEADER_CATCH           = 0x06000000u,
    HEADER_EVAL            = 0x87000000u,
    HEADER_LOOP            = 0x08000000u,
    HEADER_DYN             = 0x09000000u,
};

struct CallFrame {
    uint32_t header;
    Cell*    saved_base;         // arguments base of the caller
    uint32_t word_context;       // context node of the call word (0: none)
    uint32_t function_context;   // function frames: the local context's node; else 0
    Cell*    saved_values;       // function frames: its values pointer before the call
};
static_assert(sizeof(CallFrame) == 20, "a call frame is five 32-bit words");
static_assert(offsetof(CallFrame, saved_base) == 4 && offsetof(CallFrame, word_context) == 8 &&
              offsetof(CallFrame, function_context) == 12 && offsetof(CallFrame, saved_values) == 16);

inline uint32_t frame_kind(const CallFrame* f) { return (f->header & FRAME_KIND_MASK) >> FRAME_KIND_SHIFT; }
inline int32_t frame_symbol(const CallFrame* f) { return int32_t(f->header & FRAME_SYMBOL_MASK); }

namespace stack {

constexpr uint32_t ARGUMENT_CELLS = 20000;
constexpr uint32_t FRAME_BUFFER_CELLS = 15000;                      // 240,000 bytes
constexpr uint32_t FRAME_CAPACITY = FRAME_BUFFER_CELLS * 16 / 20;   // 12,000 frames
constexpr uint32_t OVERFLOW_BACKOFF = 5;                            // cells freed before an overflow is raised

// The stack pointers.  Read them through the accessors; only this module and
// the interpreter's hot paths write them.
struct State {
    Cell*      bottom;
    Cell*      end;
    Cell*      top;            // next free cell
    Cell*      base;           // arguments base: result slot of the running call
    CallFrame* frames_bottom;
    CallFrame* frames_top;     // next free frame
    CallFrame* frames_limit;
};
extern State state;

// ---- Set-up --------------------------------------------------------------------------

// Empties both stacks and the raise hints, and runs ensure().  The evaluator
// links the error module to them (interp::install_links, evaluator/links.hpp).
void init();
bool ready();   // init or ensure has run
// Registers the collector's root (again: the root list starts empty after
// every restart of the memory manager) and takes the symbols of <body> and
// <anon> from the fixed words when they exist.  Keeps the stacks' contents.
void ensure();
void set_frames_top(CallFrame* frame);

// ---- Argument stack --------------------------------------------------------------------

[[noreturn]] void overflow_arguments();
[[noreturn]] void overflow_frames();

inline Cell* arguments_base() { return state.base; }
inline Cell* arguments_top() { return state.top; }   // the next free cell
inline Cell* bottom() { return state.bottom; }

// The cell at the top, not initialised; top advances.  Raises
// internal/stack-overflow when the advanced top reaches the end.
inline Cell* push_slot() {
    Cell* c = state.top++;
    if (state.top >= state.end) overflow_arguments();
    return c;
}
// A copy of the value at the top (the value may lie on the stack itself);
// answers the new cell.
inline Cell* push(const Cell* value) {
    Cell copy = *value;
    Cell* slot = push_slot();
    *slot = copy;
    return slot;
}
// Drops n cells, never below the bottom.
inline void pop(uint32_t n) {
    state.top = uint32_t(state.top - state.bottom) < n ? state.bottom : state.top - n;
}
inline void reset() { state.top = state.base; }             // drops all arguments and the result
inline void keep() { state.top = state.base + 1; }          // keeps only the result slot
inline void set_last(const Cell* value) { *state.base = *value; }
inline void set_last_keep(const Cell* value) {
    Cell copy = *value;
    state.top = state.base + 1;
    *state.base = copy;
}
inline void set_last_keep(Cell value) {
    state.top = state.base + 1;
    *state.base = value;
}
// When the top value is an error!, copies it into the result slot; then
// top = base + 1.
void keep_last();
// Drops the top value and copies it over the value below it.
void pop_into_previous();
// The last pushed cell, or the bottom cell when the stack is empty.
inline Cell* top_value() { return state.top == state.bottom ? state.bottom : state.top - 1; }
inline uint32_t top_type() { return type_of(top_value()); }
inline uint32_t depth() { return uint32_t(state.top - state.bottom); }

// ---- Pushing frames --------------------------------------------------------------------
// Each takes the call word (any word kind), whose symbol and context name the
// frame; a null word names it <anon>.  The new call's arguments base is the
// current top, so its first argument (and result slot) is the next cell
// pushed.

// Copies a cell word by word.  Results are often written field by field
// (a native changing data2 in place); a 16-byte load of such a cell right
// after cannot be served by store forwarding and stalls.
inline void copy_cell(Cell* dst, const Cell* src) {
    uint32_t h = src->header, a = src->data1, b = src->data2, c = src->data3;
    dst->header = h;
    dst->data1 = a;
    dst->data2 = b;
    dst->data3 = c;
}

// Frame-pointer state the inline operations share with stack.cpp.
extern CallFrame* g_where_marker;   // the frame the next error report starts from
extern int32_t g_anon_symbol;       // <anon>'s symbol, 0 before the fixed words exist
extern CallFrame* g_exit_frame;     // the target of the last non-local exit

// Inline: every call the interpreter makes pushes and pops a frame.
inline void mark(const Cell* word, uint32_t header) {
    if (state.frames_top >= state.frames_limit) overflow_frames();
    CallFrame* f = state.frames_top++;
    int32_t sym;
    uint32_t ctx;
    if (word && is_word_kind(type_of(word))) {
        sym = word::symbol_of(word);
        ctx = word->data1;
    } else {
        sym = g_anon_symbol;
        ctx = 0;
    }
    f->header = header | (uint32_t(sym) & FRAME_SYMBOL_MASK);
    f->saved_base = state.base;
    f->word_context = ctx;
    f->function_context = 0;
    f->saved_values = nullptr;
    state.base = state.top;
}
void mark_func(const Cell* word, Node ctx);            // kind 1, records the context to restore
void mark_interp_func(const Cell* word, Node ctx);     // the same, made by the interpreter
void mark_native(const Cell* word);
void mark_interp_native(const Cell* word);
void mark_try(const Cell* word);
void mark_try_all(const Cell* word);
void mark_catch(const Cell* word);
void mark_eval(const Cell* word);
void mark_loop(const Cell* word);
void mark_dyn(const Cell* word);
// Points the local context's values at the current arguments base (the
// arguments on the stack become its locals), then pushes a compiled-body
// frame that restores the previous pointer when popped.
void mark_compiled_func(const Cell* word, Node ctx);

// ---- Frame flags and queries -------------------------------------------------------------

inline CallFrame* top_frame() { return state.frames_top - 1; }   // below the bottom when empty

// Makes the top frame a function frame of `ctx`: its values pointer is
// remembered for the pop and pointed at `values`.
inline void attach_function_context(Node ctx, Cell* values) {
    CallFrame* f = top_frame();
    f->function_context = reinterpret_cast<uint32_t>(ctx);
    f->saved_values = context::stack_values(ctx);
    context::set_stack_values(ctx, values);
}
inline CallFrame* frames_bottom() { return state.frames_bottom; }
inline CallFrame* frames_top() { return state.frames_top; }       // the next free frame
inline bool frames_empty() { return state.frames_top == state.frames_bottom; }
void set_body_flag(bool on);
void set_interp_flag();
CallFrame* claim_parent_body();            // 0 when the frame below the top already had it
void clear_body_flag(CallFrame* frame);
bool in_interp(CallFrame* frame, bool one_only);
void rename_frame(const Cell* word);

// ---- Popping frames ------------------------------------------------------------------------
// A popped function frame (kind 1) with a context writes its saved values
// pointer back, except where noted.

void unwind();              // top = current base; base = saved base
void unwind_drop();         // base = saved base; top moves down one cell
// no restore; top = current base + 1; base = saved base
inline void unwind_keep() {
    if (state.frames_top == state.frames_bottom) return;
    CallFrame* f = --state.frames_top;
    state.top = state.base + 1;
    state.base = f->saved_base;
    if (g_where_marker && g_where_marker > state.frames_top) g_where_marker = nullptr;
}
void unwind_func_keep();    // always restores; top = current base + 1; base = saved base
void unwind_func();         // always restores; base = saved base; top = base
void unwind_func_last();    // always restores; result copied into the caller's result slot
// as unwind_func_last without the restore
inline void unwind_last() {
    if (state.frames_top == state.frames_bottom) return;
    CallFrame* f = --state.frames_top;
    copy_cell(f->saved_base, state.base);
    state.base = f->saved_base;
    state.top = state.base + 1;
    if (g_where_marker && g_where_marker > state.frames_top) g_where_marker = nullptr;
}
void unwind_reset();        // no restore; base = saved base; top = base

// Pops frames down to a frame of the kind, a FRAME_TRY_ALL or the bottom;
// the frame found stays on the stack (keep: base = the base inside it and
// top = that + 1; else base = top = its saved base).  Answers it.
CallFrame* unwind_to(uint32_t kind, bool keep);
void unwind_to_last(uint32_t kind);
void unwind_to_loop(bool keep);

// ---- Stoppers ----------------------------------------------------------------------------

// The stack state a catch site returns to.
struct Checkpoint {
    Cell*      base;
    Cell*      top;
    CallFrame* frames_top;
};
inline Checkpoint checkpoint() { return {state.base, state.top, state.frames_top}; }
// Pops the frames above the checkpoint (restoring function contexts), then
// puts base and top back.
void restore(const Checkpoint& cp);
// Keeps `frame` as the top frame (popping those above it), then sets base and
// top.  The stoppers of break, return and throw call it with the frame the
// exit was aimed at.
void restore_to_frame(CallFrame* frame, Cell* base, Cell* top);

// The frame the last break, continue, return, exit or throw was aimed at;
// its stopper compares it with its own frame and lets others pass.
inline CallFrame* exit_frame() { return g_exit_frame; }
// Puts back the target of an exit that code run during its unwinding (a
// trace callback) may have replaced with its own.
inline void set_exit_frame(CallFrame* frame) { g_exit_frame = frame; }
// The base inside a frame (the result slot of the code it runs): the saved
// base of the frame above it, or the current base for the top frame.
Cell* base_inside(CallFrame* frame);

// ---- Frame walks ---------------------------------------------------------------------------------

// The word naming the innermost call (frames named <body> or <anon> are
// skipped), starting at the where-marker when set; <not-found> below the
// bottom.  Clears the where-marker.
Cell current_call();
// From the top frame down to the one above the bottom frame: each proper
// name as a word, then the frame's saved base as a cell count.
void collect_trace(Cell* block);
// The calls of an error report, innermost first: from the frame count
// recorded in an error's stack field (or the top, when lower) outward, at
// most `level` of them.  Only calls made by interpreted code are named (the
// library's own calls are its business, and the console's loop is library
// code); with level 1 only function! calls, above it natives too.
// list_calls forms them into the string, separated by single blanks, and
// answers the remaining limit; print_calls appends the words to a block.
int32_t list_calls(int32_t level, Cell* out, int32_t frame_count, int32_t limit);
void print_calls(int32_t level, Cell* block, int32_t frame_count);

// For the datatype tests: ensures the stacks, empties them and opens a call
// at the bottom, so the next pushed cell is the arguments base.
void seam_start_call();

// ---- For the exits and the raise hook (evaluator/exits.cpp) ------------------------------------

// The word naming a frame's call, and <not-found> (none before the fixed
// words exist); proper symbols are those other than <body> and <anon>.
Cell word_of_frame(const CallFrame* f);
Cell not_found_word();
bool proper_symbol(int32_t sym);
// Where and near of the next raise: fallbacks for when its frames and the
// interpreter's position cannot tell (the word being evaluated at the top of
// the code, a syntax error's source line), and forced ones for a throw that
// no catch took, raised where the last catch let it pass; then the last
// throw's own call and code.  Kept here so that init clears them and the
// collector marks them with the stacks.
enum Hint { HINT_WHERE, FORCED_WHERE, HINT_NEAR, FORCED_NEAR, THROW_WHERE, THROW_NEAR, HINT_CELLS };
Cell* hints();

}  // namespace stack

}  // namespace qor
