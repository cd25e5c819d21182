// The interpreter (see interpreter.hpp).
#include "evaluator/exits.hpp"
#include "evaluator/links.hpp"
#include "evaluator/interpreter.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/call_internal.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/eval_loop.hpp"
#include "evaluator/expression_steps.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "runtime/stack_bounds.hpp"
#include "runtime/throw.hpp"

namespace qor::interp {

void forget_trace_roots();

const char* machine_stack_floor = nullptr;
bool compiled_running = false;

Cell g_position{TYPE_UNSET, 0, 0, 0};

namespace {

const char* g_stack_lowest = nullptr;
#if defined(__SANITIZE_ADDRESS__)
uint32_t g_stack_reserve = 512 * 1024;   // sanitizer frames are several times larger
#else
uint32_t g_stack_reserve = 128 * 1024;
#endif

void update_floor() {
    machine_stack_floor = g_stack_lowest ? g_stack_lowest + g_stack_reserve : nullptr;
}

// The mode of the innermost evaluated block, restored on every exit path.
struct ModeScope {
    bool saved_compiled;
    Cell saved_position;
    explicit ModeScope(bool compiled) : saved_compiled(compiled_running), saved_position(g_position) {
        if (compiled != compiled_running) {
            compiled_running = compiled;
            refresh_tracing_active();
        }
    }
    ~ModeScope() {
        g_position = saved_position;
        if (saved_compiled != compiled_running) {
            compiled_running = saved_compiled;
            refresh_tracing_active();
        }
    }
    ModeScope(const ModeScope&) = delete;
    ModeScope& operator=(const ModeScope&) = delete;
};

inline uint32_t interp_bit() { return compiled_running ? 0u : FRAME_INTERP; }


void mark_compiled_series(Node node) {
    SeriesBuffer* s = buffer_of(node);
    if (s->flags & SERIES_COMPILED) return;
    s->flags |= SERIES_COMPILED;
    cycle_stack::Guard guard;
    cycle_stack::push(node);
    for (Cell* c = cells_head(buffer_of(node)); c < cells_tail(buffer_of(node)); c++) {
        uint32_t t = type_of(c);
        if (t == TYPE_BLOCK || t == TYPE_PAREN) mark_compiled_series(cell_node(c));
    }
}

}  // namespace

bool is_system_issue(const Cell* issue) {
    if (!words::ready()) return false;
    int32_t canon = symbol::resolve_alias(word::symbol_of(issue));
    return canon == symbol::resolve_alias(words::symbol(words::SYM_SYSTEM)) ||
           canon == symbol::resolve_alias(words::symbol(words::SYM_SYSTEM_GLOBAL));
}

// ---- Set-up ------------------------------------------------------------------------------------------

void init() {
    stack::init();
    install_links();
    eval::refresh_words();
    g_position = Cell{TYPE_UNSET, 0, 0, 0};
    gc::register_global_cell(&g_position);
    register_loop_roots();
    forget_trace_roots();
    set_call_hook(nullptr);   // a hook set before a new boot would see freed cells
    callback_cell();
    compiled_running = false;
    const char* reference = std::getenv("QOR_EVAL_REFERENCE");
    set_reference_eval(reference && reference[0] && std::strcmp(reference, "0") != 0);
    refresh_machine_stack_limit();
}

Cell* current_position() { return &g_position; }

void mark_compiled(Cell* value) {
    uint32_t t = type_of(value);
    if (t == TYPE_FUNCTION) {
        Cell body = *function::body_of(value);
        if (is_any_block(type_of(&body))) mark_compiled_series(cell_node(&body));
    } else if (is_any_block(t)) {
        mark_compiled_series(cell_node(value));
    }
}

bool is_compiled(const Cell* block) { return eval::compiled_block(block); }

void set_machine_stack_reserve(uint32_t bytes) {
    g_stack_reserve = bytes;
    update_floor();
}

void set_machine_stack_limit(const void* lowest) {
    g_stack_lowest = static_cast<const char*>(lowest);
    update_floor();
}

void refresh_machine_stack_limit() { set_machine_stack_limit(platform::machine_stack_lowest()); }

void machine_stack_overflow() {
    // The error is built with the reserve switched off, then the floor comes
    // back as the error leaves.
    struct Lift {
        const char* saved = machine_stack_floor;
        Lift() { machine_stack_floor = nullptr; }
        ~Lift() { machine_stack_floor = saved; }
    } lift;
    cycle_stack::reset();
    raise_error("internal", "stack-overflow");
}

// ---- Blocks ----------------------------------------------------------------------------------------------

void run_block(const Cell* block, bool result_mode) {
    check_machine_stack();
    Cell code = *block;
    bool compiled = is_compiled(&code);
    ModeScope mode(compiled);
    if (fast_eval) {
        run_block_loop(&code, result_mode);
        return;
    }
    stack::mark(eval::body_word(), compiled ? (HEADER_EVAL & ~FRAME_INTERP) : HEADER_EVAL);
    if (tracing_active) fire_trace(EVENT_ENTER, &code, int32_t(code.data1), nullptr, nullptr);

    uint32_t pos = code.data1;
    uint32_t end = block::total_length(&code);
    if (pos >= end) {
        stack::state.top = stack::state.base + 1;
        *stack::state.base = Cell{TYPE_UNSET, 0, 0, 0};
    } else {
        while (pos < end) {
            if (!compiled) {
                g_position = code;
                g_position.data1 = pos;
            }
            pos = run_expression(&code, pos, end, false, false, false);
            if (pending_exit) return;   // the frames were cut by the exit
            uint32_t now = block::total_length(&code);
            if (now < end) end = now;
            if (pos < end) stack::state.top = stack::state.base;
        }
    }
    if (tracing_active) fire_trace(EVENT_EXIT, &code, int32_t(pos), stack::state.base, nullptr);
    pop_result_frame(!result_mode);
}

uint32_t eval_next(const Cell* code_in, uint32_t pos, uint32_t end, bool push) {
    Cell code = *code_in;
    stack::mark(eval::body_word(), HEADER_NATIVE | interp_bit());
    pos = run_expression(&code, pos, end, false, true, false);
    raise_pending();
    // The pushed value lies at the frame's base.
    pop_result_frame(push);
    return pos;
}

uint32_t do_next(const Cell* block) {
    Cell code = *block;
    uint32_t end = block::total_length(&code);
    if (code.data1 >= end) {
        stack::state.top = stack::state.base + 1;
        *stack::state.base = Cell{TYPE_UNSET, 0, 0, 0};
        return code.data1;
    }
    return eval_next(&code, code.data1, end, false);
}

// ---- Expressions -------------------------------------------------------------------------------------------

uint32_t run_expression(const Cell* code, uint32_t pos, uint32_t end, bool no_infix, bool push,
                        bool literal_functions) {
    Cell* entry_top = stack::state.top;
    if (tracing_active) fire_trace(EVENT_FETCH, code, int32_t(pos), nullptr, nullptr);
    const Cell* v = eval::code_cell(code, pos);
    switch (type_of(v)) {
    case TYPE_PAREN: {
        Cell paren = *v;
        pos++;
        stack::mark(eval::body_word(), HEADER_NATIVE | interp_bit());
        run_block(&paren, true);
        if (pending_exit) return pos;
        pop_result_frame(push);
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), stack::top_value(), nullptr);
        break;
    }
    case TYPE_SET_WORD: {
        Cell w = *v;
        pos++;
        stack::mark(&w, HEADER_NATIVE | interp_bit());
        *stack::push_slot() = w;
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), &w, nullptr);
        // Code run since the expression began may have shortened the block.
        if (pos >= end || pos >= block::total_length(code)) raise_error("script", "need-value", &w);
        pos = run_expression(code, pos, end, false, true, false);
        if (pending_exit) return pos;
        Cell value = stack::state.base[1];
        if (type_of(&value) == TYPE_UNSET) raise_error("script", "need-value", &w);
        if (tracing_active) fire_trace(EVENT_SET, code, int32_t(pos), &value, &w);
        assign_word(&w, &value);
        stack::state.top = stack::state.base + 1;
        *stack::state.base = value;
        pop_result_frame(push);
        break;
    }
    case TYPE_SET_PATH: {
        Cell path = *v;
        pos++;
        if (pos >= end || pos >= block::total_length(code)) raise_error("script", "need-value", &path);
        stack::mark(eval::set_path_word(), HEADER_NATIVE | interp_bit());
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), &path, nullptr);
        pos = run_expression(code, pos, end, false, true, false);
        if (pending_exit) return pos;
        if (tracing_active) fire_trace(EVENT_SET, code, int32_t(pos), stack::state.base, &path);
        run_path(&path, code, pos, end, true, false, false, 0, nullptr);
        if (pending_exit) return pos;
        pop_result_frame(push);
        break;
    }
    case TYPE_GET_WORD: {
        Cell w = *v;
        pos++;
        produce(eval::word_value(&w), push);
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), stack::top_value(), nullptr);
        break;
    }
    case TYPE_LIT_WORD: {
        Cell w = *v;
        pos++;
        w.header = (w.header & ~TYPE_MASK) | TYPE_WORD;
        produce(&w, push);
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), &w, nullptr);
        break;
    }
    case TYPE_WORD: {
        Cell w = *v;
        pos++;
        const Cell* val = eval::word_value(&w);
        switch (type_of(val)) {
        case TYPE_UNSET:
            stack::set_next_where(&w);
            raise_error("script", "no-value", &w);
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE: {
            Cell fn = *val;
            pos = run_code(&fn, code, pos, end, push, nullptr, 0, &w, nullptr, 0, false);
            break;
        }
        case TYPE_OP:
            raise_error("script", "no-op-arg", &w);
        default:
            produce(val, push);
            if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), stack::top_value(), nullptr);
            break;
        }
        break;
    }
    case TYPE_PATH: {
        Cell path = *v;
        pos = run_path(&path, code, pos + 1, end, false, false, push, 0, nullptr);
        break;
    }
    case TYPE_GET_PATH: {
        Cell path = *v;
        pos = run_path(&path, code, pos + 1, end, false, true, push, 0, nullptr);
        break;
    }
    case TYPE_LIT_PATH: {
        Cell path = lit_path_value(v);
        pos++;
        produce(&path, push);
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), &path, nullptr);
        break;
    }
    case TYPE_OP:
        raise_error("internal", "not-done");
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE: {
        Cell fn = *v;
        pos++;
        if (literal_functions) {
            produce(&fn, push);
        } else {
            pos = run_code(&fn, code, pos, end, push, nullptr, 0, nullptr, nullptr, 0, false);
        }
        break;
    }
    case TYPE_ISSUE: {
        Cell issue = *v;
        pos++;
        if (pos < end && type_of(eval::code_cell(code, pos)) == TYPE_BLOCK && is_system_issue(&issue))
            raise_error("internal", "qor-system");
        produce(&issue, push);
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), &issue, nullptr);
        break;
    }
    default: {
        Cell value = *v;
        pos++;
        produce(&value, push);
        if (tracing_active) fire_trace(EVENT_PUSH, code, int32_t(pos - 1), &value, nullptr);
        break;
    }
    }

    if (pending_exit) return pos;
    if (!no_infix) pos = eval_infix(code, pos, end, push, entry_top);
    if (tracing_active && !push) fire_trace(EVENT_EXPR, code, int32_t(pos), stack::state.base, nullptr);
    return pos;
}

uint32_t eval_infix(const Cell* code, uint32_t pos, uint32_t end, bool push, Cell* entry_top) {
    for (;;) {
        uint32_t now = block::total_length(code);
        if (pos >= end || pos >= now) return pos;
        const Cell* next = eval::code_cell(code, pos);
        if (type_of(next) != TYPE_WORD) return pos;
        const Cell* val = eval::word_value_fast(next);
        if (!val || type_of(val) != TYPE_OP) return pos;
        Cell* operand = push ? entry_top : stack::state.base;
        if (fast_eval) {
            if (const Cell* right = plain_number_operand(code, pos + 1, end)) {
                if (inline_number_op(*val, operand, right)) {
                    stack::state.top = operand + 1;
                    pos += 2;
                    continue;
                }
            }
        }
        Cell w = *next;
        Cell op = *val;
        if (tracing_active) fire_trace(EVENT_FETCH, code, int32_t(pos), nullptr, nullptr);
        // The operand just produced becomes the operator's first argument.
        stack::state.top = operand;
        uint32_t from = (op.header >> 16) & 0xFFu;
        op.header = (op.header & ~(TYPE_MASK | 0x00FF0000u)) | from;
        pos = run_code(&op, code, pos + 1, end, push, nullptr, 0, &w, nullptr, 0, true);
        if (pending_exit) return pos;
    }
}

// ---- Paths ------------------------------------------------------------------------------------------------

namespace {

// Types whose path writes change the cell itself rather than storage that
// the cell refers to.
bool holds_value_in_cell(uint32_t t) {
    return !is_series(t) && t != TYPE_OBJECT && t != TYPE_ERROR && t != TYPE_PORT && t != TYPE_MAP &&
           t != TYPE_EVENT && t != TYPE_NONE && t != TYPE_UNSET;
}

// Stores the changed value of a path's step back: into the head word's
// variable, or into its container through the container's own path write
// (which tells an object or an owned series of the change).
void write_back(Cell* path, const Cell* head, uint32_t step, Cell* parent, Cell* selector, Cell* value,
                uint32_t option, int32_t index) {
    if (step == 1) {
        if (Cell* slot = eval::word_value(head)) *slot = *value;
        return;
    }
    uint32_t t = type_of(parent);
    if (holds_value_in_cell(t)) return;   // a value inside another cell-held value stays a copy
    Cell container = *parent, element = *selector, v = *value, none{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&container), keep_element(&element), keep_v(&v);
    auto impl = reinterpret_cast<EvalPathFn>(
        actions::lookup_for_path(&container, SLOT_EVAL_PATH, path, &element, index));
    bool notify = t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH || is_any_path(t);
    Cell* top = stack::state.top;
    impl(&container, &element, &v, path, &none, &none, int32_t(step) - 1, option != 0, 0u, true, notify);
    stack::state.top = top;
}

// Whether the loop takes the call of `fn`, met at element `at` of the path:
// then `call` holds it.
bool hand_off(PathCall* call, const Cell* fn, const Cell* path, uint32_t at, const Cell* name) {
    if (!call || tracing_active) return false;
    uint32_t shape = loop_shape(fn, false);
    if (shape == 0) return false;
    uint32_t refinements = block::total_length(path) - at - 1;
    // (The loop keeps a native's refinement slots in bytes.)
    if (refinements > 0 && (!(shape & CallShape::REFINEMENTS_EVALUATED) || refinements > MAX_PATH_REFINEMENTS ||
                            block::total_length(cached_table_cell(fn)) > 254))
        return false;
    call->taken = true;
    call->path_pos = at;
    call->shape = shape;
    call->fn = *fn;
    call->name = *name;
    return true;
}

}  // namespace

uint32_t run_path(const Cell* path_in, const Cell* code, uint32_t pos, uint32_t end, bool set, bool get,
                  bool push, uint32_t option, const PathResume* resume, PathCall* call) {
    Cell path = *path_in;
    uint32_t first = path.data1;
    uint32_t count = block::remaining_length(&path);
    if (count == 0) raise_error("script", "empty-path");
    if (tracing_active) {
        fire_trace(EVENT_ENTER, &path, int32_t(first), nullptr, nullptr);
        fire_trace(EVENT_FETCH, &path, int32_t(first), nullptr, nullptr);
    }
    Cell head = *block::cell_at(&path, first);
    Cell* entry_top = stack::state.top;
    Cell current, parent{TYPE_NONE, 0, 0, 0}, previous = head;
    uint32_t step = 1;
    if (resume) {
        current = resume->held;
        parent = resume->parent;
        step = resume->position;
        previous = step > 0 && step <= count ? *block::cell_at(&path, first + step - 1) : head;
    } else {
        if (type_of(&head) != TYPE_WORD) raise_error("script", "word-first", &path);
        current = *eval::word_value(&head);
        switch (type_of(&current)) {
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE: {
            if (set) raise_error("script", "invalid-path-set", &path);
            if (get) raise_error("script", "invalid-path-get", &path);
            if (hand_off(call, &current, &path, first, &head)) return pos;
            pos = run_code(&current, code, pos, end, push, &path, first, &head, nullptr, 0, false);
            if (pending_exit) return pos;
            if (tracing_active) fire_trace(EVENT_EXIT, &path, int32_t(first), stack::top_value(), nullptr);
            return pos;
        }
        case TYPE_UNSET:
            raise_error("script", "unset-path", &path, &head);
        default:
            break;
        }
        Node ctx = word::context_of(&head);
        if (ctx && context::kind_of(ctx) == context::KIND_FUNCTION) {
            Cell* self = context::self_cell(ctx);
            if (type_of(self) == TYPE_FUNCTION) parent = *self;
        }
    }
    Cell previous_selector = previous;
    gc::CellRoot keep_current(&current), keep_parent(&parent), keep_previous(&previous),
        keep_previous_selector(&previous_selector);

    for (; step < count; step++) {
        if (tracing_active) fire_trace(EVENT_FETCH, &path, int32_t(first + step), nullptr, nullptr);
        Cell element = *block::cell_at(&path, first + step);
        Cell selector;
        switch (type_of(&element)) {
        case TYPE_GET_WORD:
            selector = *eval::word_value(&element);
            break;
        case TYPE_PAREN:
            run_block(&element, false);
            if (pending_exit) return pos;
            selector = *stack::top_value();
            break;
        default:
            selector = element;
            break;
        }
        gc::CellRoot keep_element(&element), keep_selector(&selector);
        if (type_of(&selector) == TYPE_UNSET) raise_error("script", "invalid-path", &path, &element);
        bool last = step + 1 == count;
        Cell* new_value = set && last ? stack::state.base : nullptr;
        bool notify = false;
        if (last && set && count >= 2) {
            uint32_t t = type_of(&current);
            if ((t == TYPE_OBJECT && current.data3 != 0 && type_of(&previous) == TYPE_WORD) ||
                t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH || is_any_path(t))
                notify = true;
        }
        auto impl = reinterpret_cast<EvalPathFn>(
            actions::lookup_for_path(&current, SLOT_EVAL_PATH, &path, &element, int32_t(first + step) - 1));
        Cell before = current;
        gc::CellRoot keep_before(&before);
        Cell* result = impl(&current, &selector, new_value, &path, &parent, &previous, int32_t(step),
                            option != 0, get ? 1u : 0u, last, notify);
        Cell next = *result;
        // A value held in the cell itself (a time, a date...) was changed in
        // this copy: it goes back where it came from.
        // An event's type lives in its cell too.
        bool in_cell = holds_value_in_cell(type_of(&before)) || type_of(&before) == TYPE_EVENT;
        if (new_value && in_cell && std::memcmp(&current, &before, sizeof(Cell)) != 0) {
            gc::CellRoot keep_next(&next);
            write_back(&path, &head, step, &parent, &previous_selector, &current, option, int32_t(first + step) - 2);
        }
        parent = before;
        previous = element;
        previous_selector = selector;
        current = next;
        if (!set && !get) {
            uint32_t t = type_of(&current);
            if (t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE) {
                stack::state.top = entry_top;
                Cell fn = current;
                if (hand_off(call, &fn, &path, first + step, &element)) return pos;
                pos = run_code(&fn, code, pos, end, push, &path, first + step, &element, &parent, 0, false);
                if (pending_exit) return pos;
                if (tracing_active) fire_trace(EVENT_EXIT, &path, int32_t(first), stack::top_value(), nullptr);
                return pos;
            }
        }
    }
    if (tracing_active) fire_trace(EVENT_EXIT, &path, int32_t(first), &current, nullptr);
    stack::state.top = entry_top;
    produce(&current, push);
    return pos;
}

// ---- The entries of natives and C++ code ---------------------------------------------------------------
// An exit left pending by the interpreter's own frames becomes a throw here,
// where the caller may be code that knows nothing of pending exits.

uint32_t pending_exit = 0;

void throw_pending() {
    uint32_t code = pending_exit;
    pending_exit = 0;
    throw Thrown{code};
}

void eval_block(const Cell* block, bool result_mode) {
    run_block(block, result_mode);
    raise_pending();
}

uint32_t eval_block_exit(const Cell* block, bool result_mode) {
    run_block(block, result_mode);
    uint32_t code = pending_exit;
    pending_exit = 0;
    return code;
}

uint32_t eval_expression(const Cell* code, uint32_t pos, uint32_t end, bool no_infix, bool push,
                         bool literal_functions) {
    pos = run_expression(code, pos, end, no_infix, push, literal_functions);
    raise_pending();
    return pos;
}

uint32_t eval_path(const Cell* path, const Cell* code, uint32_t pos, uint32_t end, bool set, bool get,
                   bool push, uint32_t option, const PathResume* resume) {
    pos = run_path(path, code, pos, end, set, get, push, option, resume);
    raise_pending();
    return pos;
}

}  // namespace qor::interp
