// Tracing hooks (see trace.hpp).
#include "evaluator/trace.hpp"

#include <string>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/function.hpp"
#include "datatypes/none.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/call.hpp"
#include "evaluator/interpreter.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/platform.hpp"

namespace qor::interp {

bool tracing_active = false;
bool fast_eval = true;
bool tracing_on = false;

namespace {

bool g_user_tracing = false;
uint32_t g_mask = TRACE_DEFAULT_MASK;
int32_t g_extra_slots = 0;
Cell g_callback{TYPE_NONE, 0, 0, 0};
bool g_callback_registered = false;
bool g_reference = false;

// ORDER EVENTS: bit 1 << i is named by EVENT_NAMES[i].
constexpr const char* EVENT_NAMES[16] = {
    "init", "end", "prolog", "epilog", "enter", "exit", "open", "return",
    "fetch", "push", "set", "call", "error", "throw", "catch", "expr",
};

void update_active() {
    tracing_active = tracing_on && !in_compiled();
    fast_eval = !tracing_active && !g_reference;
}

int32_t event_symbol(uint32_t i) {
    return symbol::ready() ? symbol::find(EVENT_NAMES[i], true) : 0;
}

void register_callback_cell() {
    if (g_callback_registered) return;
    gc::register_global_cell(&g_callback);
    g_callback_registered = true;
}

}  // namespace

// Called by the interpreter whenever compiled mode changes.
void refresh_tracing_active() { update_active(); }

bool reference_eval() { return g_reference; }
void set_reference_eval(bool on) {
    g_reference = on;
    update_active();
}

void set_tracing(bool on) {
    tracing_on = on;
    update_active();
}
bool user_tracing() { return g_user_tracing; }
void set_user_tracing(bool on) { g_user_tracing = on; }

Cell* callback_cell() {
    register_callback_cell();
    return &g_callback;
}

// The collector's root list starts empty after every memory::init, and a
// callback installed before it points into freed memory.
void forget_trace_roots() {
    g_callback_registered = false;
    g_callback = Cell{TYPE_NONE, 0, 0, 0};
    g_mask = TRACE_DEFAULT_MASK;
    g_extra_slots = 0;
}

const Cell* event_word(uint32_t event) {
    for (uint32_t i = 0; i < 16; i++) {
        if (event != (1u << i)) continue;
        if (!symbol::ready() || !context::global()) return nullptr;
        return context::make_global_word(symbol::intern(EVENT_NAMES[i]));
    }
    return nullptr;
}

uint32_t trace_mask(const Cell* callback) {
    if (type_of(callback) != TYPE_FUNCTION) return TRACE_DEFAULT_MASK;
    Cell body = *function::body_of(callback);
    if (!is_any_block(type_of(&body)) || block::remaining_length(&body) == 0) return TRACE_DEFAULT_MASK;
    Cell* first = block::item(&body, 0);
    if (type_of(first) != TYPE_BLOCK) return TRACE_DEFAULT_MASK;
    uint32_t mask = 0;
    uint32_t n = block::remaining_length(first);
    for (uint32_t k = 0; k < n; k++) {
        Cell* w = block::item(first, k);
        if (type_of(w) != TYPE_WORD) continue;
        int32_t canon = symbol::resolve_alias(word::symbol_of(w));
        for (uint32_t i = 0; i < 16; i++) {
            int32_t s = event_symbol(i);
            if (s > 0 && symbol::resolve_alias(s) == canon) mask |= 1u << i;
        }
    }
    return mask;
}

bool trace_install(const Cell* callback) {
    if (g_user_tracing) return false;
    register_callback_cell();
    g_callback = *callback;
    g_extra_slots = type_of(callback) == TYPE_FUNCTION
                        ? function::count_spec_words(function::spec_node(callback), 0, false)
                        : 0;
    if (g_extra_slots < 0) g_extra_slots = 0;
    g_mask = trace_mask(callback);
    g_user_tracing = true;
    set_tracing(true);
    trace_init();
    return true;
}

void trace_remove() {
    trace_end();
    g_user_tracing = false;
    set_tracing(false);
}

void fire_trace(uint32_t event, const Cell* code_in, int32_t position, const Cell* value_in,
                const Cell* name_in) {
    if (!tracing_active || !(g_mask & event)) return;
    if (type_of(&g_callback) != TYPE_FUNCTION) return;
    Cell code = code_in ? *code_in : Cell{TYPE_NONE, 0, 0, 0};
    Cell value = value_in ? *value_in : Cell{TYPE_NONE, 0, 0, 0};
    Cell name = name_in ? *name_in : Cell{TYPE_NONE, 0, 0, 0};
    Cell fn = g_callback;
    gc::CellRoot keep_code(&code), keep_value(&value), keep_name(&name), keep_fn(&fn);

    Cell* saved_top = stack::state.top;
    CallFrame* saved_frames = stack::state.frames_top;
    int32_t base_count = int32_t(stack::state.base - stack::state.bottom);
    int32_t top_count = int32_t(stack::state.top - stack::state.bottom);
    stack::push_slot();   // the value on top is kept

    Node owner = function::owner_context(&fn);
    Node ctx = owner ? owner : context::global();
    Cell cb_word{TYPE_NONE, 0, 0, 0};
    if (words::ready()) cb_word = *words::word(words::W_INTERP_CALLBACK);
    stack::mark_func(&cb_word, nullptr);

    const Cell* ev = event_word(event);
    *stack::push_slot() = ev ? *ev : Cell{TYPE_NONE, 0, 0, 0};
    *stack::push_slot() = is_any_block(type_of(&code)) ? code : Cell{TYPE_NONE, 0, 0, 0};
    int32_t index = -1;
    if (is_any_block(type_of(&code)) && position >= 0 &&
        uint32_t(position) < block::total_length(&code))
        index = position;
    *stack::push_slot() = Cell{TYPE_INTEGER, 0, uint32_t(index), 0};
    *stack::push_slot() = value;
    bool named = event == EVENT_SET || event == EVENT_PROLOG || event == EVENT_EPILOG ||
                 event == EVENT_CALL || event == EVENT_RETURN;
    *stack::push_slot() = named ? name : Cell{TYPE_NONE, 0, 0, 0};
    *stack::push_slot() = Cell{TYPE_PAIR, 0, uint32_t(base_count), uint32_t(top_count)};
    if (g_extra_slots > 0) function::push_refinement_defaults(g_extra_slots);

    // The callback's own evaluation is not traced; a non-local exit out of it
    // leaves tracing off.
    set_tracing(false);
    call_function(&fn, ctx, &cb_word);
    set_tracing(true);
    stack::unwind_func();
    stack::state.frames_top = saved_frames;
    stack::state.top = saved_top;
}

// A traced run is usually started and ended by library code, which fires no
// events of its own; its start and end are still the user's events.
void trace_init() {
    tracing_active = tracing_on;
    fire_trace(EVENT_INIT, nullptr, -1, nullptr, nullptr);
    update_active();
}
void trace_end() {
    tracing_active = tracing_on;
    fire_trace(EVENT_END, nullptr, -1, nullptr, nullptr);
    update_active();
}
void trace_throw() {
    if (tracing_active) fire_trace(EVENT_THROW, nullptr, -1, stack::arguments_base(), nullptr);
}
void trace_catch() {
    if (tracing_active) fire_trace(EVENT_CATCH, nullptr, -1, stack::arguments_base(), nullptr);
}
void trace_call(const Cell* name, const Cell* value) {
    if (tracing_active) fire_trace(EVENT_CALL, nullptr, -1, value, name);
}
void trace_return(const Cell* name) {
    if (tracing_active) fire_trace(EVENT_RETURN, nullptr, -1, stack::arguments_base(), name);
}

void log(const Cell* value_in) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    Cell out = string::make(32);
    gc::CellRoot keep_out(&out);
    dispatch::mold(&value, &out, false, false, false, nullptr, INT32_MAX, 0);
    std::string text = "eval: " + string::to_utf8(&out) + "\n";
    platform::write_std(platform::STD_OUT, text.data(), text.size());
}

}  // namespace qor::interp
