// The non-local exits and the raise hook (see exits.hpp).
#include "evaluator/exits.hpp"

#include "datatypes/error.hpp"
#include "datatypes/raise_seam.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "runtime/runtime_record.hpp"
#include "runtime/throw.hpp"

namespace qor::stack {

// Every raise: `where` and the stack position are recorded while the frames
// of the failing call still stand, then the trace callback hears of it.
void record_raise(Cell* error) {
    if (!frames_empty()) {
        Cell where = hints()[FORCED_WHERE];
        if (type_of(&where) == TYPE_NONE) where = report_call();
        else g_where_marker = nullptr;
        if (type_of(&where) == TYPE_NONE) where = hints()[HINT_WHERE];
        error::set_where_if_none(error, &where);
        stamp_error(error);
    }
    Cell* near = error::field(error, ERR_NEAR);
    if (type_of(&hints()[FORCED_NEAR]) != TYPE_NONE) *near = hints()[FORCED_NEAR];
    else if (type_of(near) == TYPE_NONE) *near = hints()[HINT_NEAR];
    Cell none{TYPE_NONE, 0, 0, 0};
    hints()[HINT_WHERE] = hints()[FORCED_WHERE] = hints()[HINT_NEAR] = hints()[FORCED_NEAR] = none;
    if (interp::tracing_active) {
        uint32_t saved = runtime::record->thrown;
        runtime::record->thrown = 0;
        interp::fire_trace(interp::EVENT_ERROR, nullptr, -1, error, nullptr);
        runtime::record->thrown = saved;
    }
}

// ---- Non-local exits -------------------------------------------------------------------------------

void stamp_error(Cell* error) {
    Cell* stack_field = error::field(error, ERR_STACK);
    if (type_of(stack_field) == TYPE_BLOCK) return;
    *stack_field = Cell{TYPE_INTEGER, 0, uint32_t(state.frames_top - state.frames_bottom), 0};
}

void throw_error(const Cell* error_in) {
    Cell error = *error_in;
    gc::CellRoot keep(&error);
    if (type_of(&error) == TYPE_ERROR && !frames_empty()) {
        Cell where = report_call();
        error::set_where_if_none(&error, &where);
        stamp_error(&error);
    }
    errors::throw_error(&error);
}

void throw_break(bool has_value, bool continue_) { throw Thrown{prepare_break(has_value, continue_)}; }
void throw_return(bool has_value, bool from_top) { throw Thrown{prepare_return(has_value, from_top)}; }
void throw_value(uint32_t code) { throw Thrown{prepare_value(code)}; }

uint32_t prepare_break(bool has_value, bool continue_) {
    const char* id = continue_ ? "continue" : "break";
    CallFrame* f = state.frames_top - 2;   // below the frame of break or continue itself
    for (; f >= state.frames_bottom; f--) {
        uint32_t k = frame_kind(f);
        if (k == FRAME_TRY_ALL) raise_error("throw", id);
        if (k == FRAME_LOOP) break;
    }
    if (f < state.frames_bottom) raise_error("throw", id);
    Cell value = has_value && !continue_ ? *state.base : Cell{TYPE_UNSET, 0, 0, 0};
    Cell* inside = base_inside(f);
    *inside = value;
    g_exit_frame = f;
    restore_to_frame(f, inside, inside);
    return continue_ ? THROW_CONTINUE : THROW_BREAK;
}

uint32_t prepare_return(bool has_value, bool from_top) {
    CallFrame* f = state.frames_top - (from_top ? 1 : 2);
    for (; f >= state.frames_bottom; f--) {
        if (f->header & FRAME_BODY) break;
        if (frame_kind(f) == FRAME_TRY_ALL) raise_error("throw", "return");
    }
    if (f < state.frames_bottom) raise_error("throw", "return");
    Cell value = has_value ? *state.base : Cell{TYPE_UNSET, 0, 0, 0};
    Cell* inside = base_inside(f);
    *inside = value;
    g_exit_frame = f;
    restore_to_frame(f, inside, inside);
    return has_value ? THROW_RETURN : THROW_EXIT;
}

uint32_t prepare_value(uint32_t code, bool passed_on) {
    if (!passed_on) {
        // The throw's own call and code, for the error raised should no
        // catch take it, wherever that is found out.
        const CallFrame* own = top_frame();
        hints()[THROW_WHERE] = own && proper_symbol(frame_symbol(own)) ? word_of_frame(own) : Cell{TYPE_NONE, 0, 0, 0};
        const Cell* position = interp::current_position();
        hints()[THROW_NEAR] = type_of(position) == TYPE_UNSET ? Cell{TYPE_NONE, 0, 0, 0} : *position;
    }
    if (!g_where_marker) g_where_marker = state.frames_top;
    CallFrame* f = state.frames_top - 2;
    for (; f >= state.frames_bottom; f--) {
        uint32_t k = frame_kind(f);
        if (k == FRAME_TRY_ALL) break;
        if (k == FRAME_CATCH) break;
    }
    if (f < state.frames_bottom || frame_kind(f) == FRAME_TRY_ALL) {
        Cell value = *state.base;
        hints()[FORCED_NEAR] = hints()[THROW_NEAR];
        if (passed_on) {
            g_where_marker = nullptr;
            hints()[FORCED_WHERE] = hints()[THROW_WHERE];
        }
        raise_error("throw", "throw", &value);
    }
    Cell value = *state.base;
    Cell name = state.top - state.base >= 2 ? state.base[1] : Cell{TYPE_NONE, 0, 0, 0};
    Cell* inside = base_inside(f);
    inside[0] = value;
    inside[1] = name;
    g_exit_frame = f;
    CallFrame* marker = g_where_marker;
    restore_to_frame(f, inside, inside + 2);
    g_where_marker = marker;   // kept for the next report, as the throw's position
    if (interp::tracing_active) interp::trace_throw();
    return code;
}

// ---- Where and near ----------------------------------------------------------------------

void set_next_where(const Cell* word) { hints()[HINT_WHERE] = *word; }
void set_next_near(const Cell* value) { hints()[HINT_NEAR] = *value; }

// Like current_call, but while interpreted code runs, the calls it did not
// make itself (the library's, such as the console's own catch around the
// line) name nothing: the answer is then none.
Cell report_call() {
    CallFrame* f = (g_where_marker ? g_where_marker : state.frames_top) - 1;
    g_where_marker = nullptr;
    bool interpreted = !interp::in_compiled();
    for (; f >= state.frames_bottom; f--) {
        if (!proper_symbol(frame_symbol(f))) continue;
        if (interpreted && !(f->header & FRAME_INTERP)) break;
        return word_of_frame(f);
    }
    return interpreted ? Cell{TYPE_NONE, 0, 0, 0} : not_found_word();
}

}  // namespace qor::stack
