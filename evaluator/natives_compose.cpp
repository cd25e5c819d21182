// reduce and compose: blocks built by evaluation.
#include <cstdint>

#include "datatypes/block.hpp"
#include "datatypes/hash_index.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/series_internal.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/natives.hpp"
#include "evaluator/trace.hpp"
#include "evaluator/natives_support.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "runtime/memory.hpp"
#include "runtime/series.hpp"

namespace qor::natives {

using support::args;
using support::expect;
using support::T;

namespace {

constexpr Cell NONE{TYPE_NONE, 0, 0, 0};
constexpr uint64_t ANY_BLOCK = T(TYPE_BLOCK) | T(TYPE_PAREN) | T(TYPE_PATH) | T(TYPE_LIT_PATH) |
                               T(TYPE_SET_PATH) | T(TYPE_GET_PATH) | T(TYPE_HASH);

// A new empty series of the block kind (a hash! gets its index once
// filled, see finish_kind).
Cell new_of_kind(uint32_t type, int32_t capacity) {
    Cell b = block::make(capacity);
    b.header = (b.header & ~TYPE_MASK) | type;
    b.data3 = 0;
    return b;
}

void finish_kind(Cell* b) {
    if (type_of(b) == TYPE_HASH) hash_index::make_for(b);
}

// /into: the cells of `source` inserted at out's position, which moves past
// them; answers out.
Cell insert_into(const Cell* out_in, const Cell* source) {
    Cell out = *out_in;
    gc::CellRoot keep(&out);
    block::insert_cells_of(&out, source);
    return out;
}

// ---- compose -----------------------------------------------------------------------------------------

// Appends the composed cells of `source` (from its index) to `dest`.  Each
// nested level holds a cycle-stack entry, which bounds the nesting and
// refuses a block met again inside itself.
void compose_level(const Cell* source_in, Cell* dest, bool deep, bool only) {
    interp::check_machine_stack();
    Cell source = *source_in;
    gc::CellRoot keep(&source);
    cycle_stack::Guard guard;
    if (cycle_stack::find(cell_node(&source))) raise_error("internal", "no-cycle");
    cycle_stack::push(cell_node(&source));
    for (uint32_t i = source.data1; i < block::total_length(&source); i++) {
        Cell c = *block::cell_at(&source, i);
        gc::CellRoot keep_c(&c);
        uint32_t t = type_of(&c);
        if (t == TYPE_PAREN) {
            interp::eval_block(&c, false);
            Cell v = *stack::top_value();
            stack::pop(1);
            gc::CellRoot keep_v(&v);
            uint32_t vt = type_of(&v);
            if (vt == TYPE_UNSET) continue;
            if (vt == TYPE_BLOCK && !only) block::append_cells_of(dest, &v);
            else block::append_copy(dest, &v);
        } else if (deep && (t == TYPE_BLOCK || t == TYPE_HASH)) {
            Cell sub = new_of_kind(t, int32_t(block::remaining_length(&c)));
            gc::CellRoot keep_sub(&sub);
            compose_level(&c, &sub, deep, only);
            finish_kind(&sub);
            sub.header = c.header;   // the nested cell's flags (new-line) stay
            block::append_copy(dest, &sub);
        } else {
            block::append_copy(dest, &c);
        }
    }
}

}  // namespace

int32_t reduce_star(bool check, const int32_t* refinements) {
    bool into = refinements[0] != -1;
    if (check && into) expect(uint32_t(refinements[0]), "out", ANY_BLOCK);
    Cell value = args()[0];
    Cell out = into ? args()[refinements[0]] : NONE;
    gc::CellRoot keep(&value), keep_out(&out);
    uint32_t t = type_of(&value);
    if (!is_any_block(t)) {
        // One expression; a function value is given back, not called.
        Cell code = block::make(1);
        gc::CellRoot keep_code(&code);
        block::append_copy(&code, &value);
        interp::eval_expression(&code, 0, 1, false, false, true);
        if (into) {
            Cell one = block::make(1);
            gc::CellRoot keep_one(&one);
            block::append_copy(&one, stack::arguments_base());
            Cell result = insert_into(&out, &one);
            stack::set_last_keep(&result);
        }
        return 0;
    }
    // The values gather on the stack inside a native frame, then move into
    // the new block (or out) in one go.
    stack::mark_native(nullptr);
    interp::trace_enter(&value);
    Cell* first = stack::arguments_top();
    uint32_t pos = value.data1;
    while (pos < block::total_length(&value))
        pos = interp::eval_next(&value, pos, block::total_length(&value), true);
    uint32_t count = uint32_t(stack::arguments_top() - first);
    for (Cell* c = first; c < first + count; c++) cell::clear_new_line(c);
    Cell values = new_of_kind(into ? uint32_t(TYPE_BLOCK) : t, int32_t(count));
    gc::CellRoot keep_values(&values);
    for (uint32_t k = 0; k < count; k++) block::append_copy(&values, first + k);
    Cell result;
    if (into) {
        result = insert_into(&out, &values);
    } else {
        finish_kind(&values);
        if (buffer_of(cell_node(&value))->flags & SERIES_OWNED)
            buffer_of(cell_node(&values))->flags |= SERIES_OWNED;
        result = values;
    }
    gc::CellRoot keep_result(&result);
    interp::trace_exit(&value, pos, &result);
    stack::unwind();
    stack::set_last_keep(&result);
    return 0;
}

int32_t compose_star(bool check, const int32_t* refinements) {
    bool deep = refinements[0] != -1, only = refinements[1] != -1, into = refinements[2] != -1;
    if (check && into) expect(uint32_t(refinements[2]), "out", ANY_BLOCK);
    Cell value = args()[0];
    Cell out = into ? args()[refinements[2]] : NONE;
    gc::CellRoot keep(&value), keep_out(&out);
    if (type_of(&value) != TYPE_BLOCK) {
        Cell expected{TYPE_DATATYPE, TYPE_BLOCK, 0, 0}, got{TYPE_DATATYPE, type_of(&value), 0, 0};
        raise_error("script", "expect-val", &expected, &got);
    }
    Cell composed = new_of_kind(TYPE_BLOCK, int32_t(block::remaining_length(&value)));
    gc::CellRoot keep_composed(&composed);
    compose_level(&value, &composed, deep, only);
    Cell result = into ? insert_into(&out, &composed) : composed;
    stack::set_last_keep(&result);
    return 0;
}

}  // namespace qor::natives
