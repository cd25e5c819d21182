// Helpers shared by the interpreter's files: word lookup without a call,
// cells of a code block by index, and the fixed words that name frames.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "datatypes/context.hpp"
#include "runtime/memory.hpp"

namespace qor::interp {

struct PathResume;
struct PathCall;

// Pending exits.  A native that returns an exit code (return, exit, break,
// continue, throw made ready by stack::prepare_*) has already cut the stacks
// back to the exit's target frame; the interpreter's own functions then
// return at once, leaving the code here, until the stopper that owns the
// target takes it (function bodies for return and exit, loops, catch) or
// the public entry points turn it into a throw for code that does not know
// of pending exits.
extern uint32_t pending_exit;
[[noreturn]] void throw_pending();
inline void raise_pending() {
    if (pending_exit) throw_pending();
}

// The current position (current_position()): the block under evaluation
// with its index at the expression being evaluated.
extern Cell g_position;

// The interpreter's own versions of the public entries: they may return
// with an exit pending.
void run_block(const Cell* block, bool result_mode);
uint32_t run_expression(const Cell* code, uint32_t pos, uint32_t end, bool no_infix, bool push,
                        bool literal_functions);
// With `call`, a function the path leads to that the loop can call is
// handed back there instead of called.
uint32_t run_path(const Cell* path, const Cell* code, uint32_t pos, uint32_t end, bool set, bool get,
                  bool push, uint32_t option, const PathResume* resume, PathCall* call = nullptr);
uint32_t run_code(const Cell* value, const Cell* code, uint32_t pos, uint32_t end, bool push,
                  const Cell* path, uint32_t path_pos, const Cell* name, const Cell* parent,
                  uint32_t mode, bool infix);
void run_function(const Cell* fn, Node ctx, const Cell* name);
// The operator step of an expression: applies operators while the next
// value is a word whose value is an op!.
uint32_t eval_infix(const Cell* code, uint32_t pos, uint32_t end, bool push, Cell* entry_top);

}  // namespace qor::interp

namespace qor::eval {

// The value cell of a bound word when its context's values are at hand (a
// stack context whose call is running, or a value block that holds the
// slot); null otherwise.  Never raises, never allocates.
inline Cell* word_value_fast(const Cell* word) {
    Node ctx = reinterpret_cast<Node>(word->data1);
    int32_t slot = int32_t(word->data3);
    if (!ctx || slot < 0) return nullptr;
    Cell* rec = cells_head(buffer_of(ctx));
    if (rec->header & CONTEXT_VALUES_ON_STACK) {
        Cell* first = reinterpret_cast<Cell*>(rec->data2);
        return first ? first + slot : nullptr;
    }
    SeriesBuffer* values = buffer_of(reinterpret_cast<Node>(rec->data2));
    if (uint32_t(slot) >= (values->byte_length() >> 4)) return nullptr;
    return cells_head(values) + slot;
}

// The word's value cell (unset included); the lookup errors of words that
// have no value at hand are raised.  Valid until the next allocation.
inline Cell* word_value(const Cell* word) {
    if (Cell* p = word_value_fast(word)) return p;
    return context::get_word_value(word);
}

// Whether the block's series is marked as compiled code.
inline bool compiled_block(const Cell* block) {
    return is_any_block(type_of(block)) && (buffer_of(cell_node(block))->flags & SERIES_COMPILED);
}

// Cell `pos` of the code block's buffer (an absolute index).
inline const Cell* code_cell(const Cell* code, uint32_t pos) {
    return cells_head(buffer_of(cell_node(code))) + pos;
}

// The words that name frames: <body>, <anon>, set-path.  Null when the
// fixed words did not exist at the last refresh (interp::init); the frame is
// then named <anon> by symbol, without a context.
extern const Cell* g_body_word;
extern const Cell* g_anon_word;
extern const Cell* g_set_path_word;
void refresh_words();
inline const Cell* body_word() { return g_body_word; }
inline const Cell* anon_word() { return g_anon_word; }
inline const Cell* set_path_word() { return g_set_path_word; }

}  // namespace qor::eval
