// Tracing hooks: the interpreter reports what it does to a user function,
// the trace callback, one event at a time.  `do/trace` installs the callback
// for the length of one evaluation.  With tracing off, every firing site
// costs one test of `tracing_active`.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::interp {

// Events, one bit each.
enum TraceEvent : uint32_t {
    EVENT_INIT   = 1,
    EVENT_END    = 2,
    EVENT_PROLOG = 4,
    EVENT_EPILOG = 8,
    EVENT_ENTER  = 16,
    EVENT_EXIT   = 32,
    EVENT_OPEN   = 64,
    EVENT_RETURN = 128,
    EVENT_FETCH  = 256,
    EVENT_PUSH   = 512,
    EVENT_SET    = 1024,
    EVENT_CALL   = 2048,
    EVENT_ERROR  = 4096,
    EVENT_THROW  = 8192,
    EVENT_CATCH  = 16384,
    EVENT_EXPR   = 32768,
};
constexpr uint32_t TRACE_DEFAULT_MASK = 0x1FFFF;

// Events are fired while this is set: the tracing flag, off in compiled code
// and while the callback itself runs.
extern bool tracing_active;

// The interpreter's shortcuts (inline arithmetic, direct loop words, the
// plain-argument fetch) are taken while this is set: nothing traces, and
// the reference mode is off.  The reference mode sends every evaluation
// through the general path, the one tracing uses, so that both can be run
// side by side and compared; QOR_EVAL_REFERENCE=1 switches it on at start-up.
extern bool fast_eval;
bool reference_eval();
void set_reference_eval(bool on);

// The tracing flag; read inline, as the interpreter's loop asks at every call.
extern bool tracing_on;
inline bool tracing() { return tracing_on; }
void refresh_tracing_active();   // after compiled mode changed
void set_tracing(bool on);
bool user_tracing();        // on for the length of a do/trace
void set_user_tracing(bool on);

// The mask of a callback: when its body starts with a block!, the OR of the
// bits of the event words in it; else every event.
uint32_t trace_mask(const Cell* callback);

// do/trace: unless user tracing is on already, stores the callback, counts
// its extra spec slots, computes the mask, switches both flags on and fires
// `init`; answers whether it installed it.  trace_remove fires `end` and
// switches both flags off.
bool trace_install(const Cell* callback);
void trace_remove();

// Calls the callback for the event (when tracing is on and the mask has it):
// the event word, the code block (or none), the index of the position in it
// (-1 when none), the value (or none), the name (or none) and the stack's
// base and top as a pair.  position is an index into `code`.
void fire_trace(uint32_t event, const Cell* code, int32_t position, const Cell* value, const Cell* name);

void trace_init();
void trace_end();
void trace_throw();                                 // with the current result slot
void trace_catch();
void trace_call(const Cell* name, const Cell* value);
void trace_return(const Cell* name);

// `enter` and `exit` around a block that a native evaluates expression by
// expression (reduce, any, all, case): exit carries the native's result.
inline void trace_enter(const Cell* block) {
    if (tracing_active) fire_trace(EVENT_ENTER, block, int32_t(block->data1), nullptr, nullptr);
}
inline void trace_exit(const Cell* block, uint32_t position, const Cell* result) {
    if (tracing_active) fire_trace(EVENT_EXIT, block, int32_t(position), result, nullptr);
}

// The word of an event bit (null for a value that is not one event).
const Cell* event_word(uint32_t event);

// Prints "eval: " and the value molded, on the standard output.
void log(const Cell* value);

// The cell that holds the callback (a collector root).
Cell* callback_cell();

}  // namespace qor::interp
