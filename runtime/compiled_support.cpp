// Support routines of compiled code (see compiled_support.hpp).
#include "runtime/compiled_support.hpp"

#include <climits>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/natives_table.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/output_hooks.hpp"

namespace qor::compiled {

namespace {

Cell* g_literal_base = nullptr;

[[noreturn]] void raise_expect(int32_t position, const Cell* value) {
    Cell call = stack::current_call();
    gc::CellRoot keep(&call);
    Cell dt{TYPE_DATATYPE, type_of(value), 0, 0};
    Cell arg = error::argument_word(position);
    gc::CellRoot keep_arg(&arg);
    raise_error("script", "expect-arg", &call, &dt, &arg);
}

// Copies the top into a context slot; a stack context with no running call
// raises script/not-defined.
Cell* slot_cell(Node ctx, int32_t slot) {
    if (context::values_on_stack(ctx)) {
        Cell* first = context::stack_values(ctx);
        if (!first) {
            Cell w = *context::word_cell_at(ctx, slot);
            raise_error("script", "not-defined", &w);
        }
        return first + slot;
    }
    return object::value_pointer_at(ctx, slot);
}

}  // namespace

// ---- Literals ---------------------------------------------------------------------------------------

void set_literal_base(Cell* base) { g_literal_base = base; }
Cell* get_literal(uint32_t n) { return g_literal_base + n; }
uint32_t get_literal_node(uint32_t n) { return g_literal_base[n].data1; }

// ---- Errors ---------------------------------------------------------------------------------------

void raise_bad_make_arg(const Cell* value1, const Cell* value2) {
    raise_error("script", "bad-make-arg", value1, value2);
}

void make_and_print_error(const char* category, const char* id, const Cell* arg1, const Cell* arg2,
                          const Cell* arg3) {
    Cell a1 = arg1 ? *arg1 : Cell{TYPE_NONE, 0, 0, 0};
    Cell a2 = arg2 ? *arg2 : Cell{TYPE_NONE, 0, 0, 0};
    Cell a3 = arg3 ? *arg3 : Cell{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep1(&a1), keep2(&a2), keep3(&a3);
    stack::mark_native(eval::anon_word());
    Cell error = error::make_from_names(category, id, arg1 ? &a1 : nullptr, arg2 ? &a2 : nullptr,
                                        arg3 ? &a3 : nullptr);
    gc::CellRoot keep_error(&error);
    Cell text = string::make(64);
    gc::CellRoot keep_text(&text);
    dispatch::form(&error, &text, nullptr, INT32_MAX);
    output_hooks::fire_value(&text, true);
    Cell unset{TYPE_UNSET, 0, 0, 0};
    stack::set_last_keep(&unset);
    stack::unwind_keep();
}

// ---- Argument checks ----------------------------------------------------------------------------------

const Cell* check_arg_type(const Cell* typeset, int32_t position, const Cell* value) {
    if (!typeset_allows(typeset, type_of(value))) raise_expect(position, value);
    return value;
}

void native_check_arg_type(int32_t index, const Cell* typeset, int32_t position) {
    if (index < 0) return;
    check_arg_type(typeset, position, stack::arguments_base() + index);
}

const Cell* check_arg_type_opt(const Cell* refinement, const Cell* typeset, int32_t position,
                               const Cell* value) {
    if (refinement->data1 != 0) check_arg_type(typeset, position, value);
    return value;
}

const Cell* check_not_unset(int32_t position, const Cell* value) {
    if (type_of(value) == TYPE_UNSET) raise_expect(position, value);
    return value;
}

// ---- Words, locals and fields ----------------------------------------------------------------------

Cell* get_word_value_checked(const Cell* word) {
    Cell* v = eval::word_value(word);
    if (type_of(v) == TYPE_UNSET) {
        Cell w = *word;
        raise_error("script", "no-value", &w);
    }
    return v;
}

void set_word(Cell* word) {
    Cell top = *stack::top_value();
    gc::CellRoot keep(&top);
    if (type_of(&top) == TYPE_UNSET) {
        Cell w = *word;
        raise_error("script", "need-value", &w);
    }
    context::set_word_value(word, &top);
}

void set_word_result(Cell* word) {
    set_word(word);
    stack::reset();
}

void set_local_keep(Node ctx, int32_t slot) {
    Cell top = *stack::top_value();
    if (type_of(&top) == TYPE_UNSET) {
        Cell w = *context::word_cell_at(ctx, slot);
        raise_error("script", "need-value", &w);
    }
    *slot_cell(ctx, slot) = top;
}

void set_local(Node ctx, int32_t slot) {
    set_local_keep(ctx, slot);
    stack::reset();
}

void set_object_field(Node ctx, int32_t slot) {
    Cell top = *stack::top_value();
    *slot_cell(ctx, slot) = top;
    if (context::kind_of(ctx) == context::KIND_OBJECT) context::word_cell_at(ctx, slot)->header |= FLAG_ASSIGNED;
    stack::reset();
}

Cell* get_context_slot(Node ctx, int32_t slot) { return slot_cell(ctx, slot); }

void init_refinement(const Cell* value, int32_t index, int32_t count) {
    Cell* base = stack::arguments_base();
    if (logic::truthy_checked_q(value, true, value)) {
        base[index] = Cell{TYPE_LOGIC, 1, 0, 0};
        return;
    }
    for (int32_t k = 1; k <= count; k++) base[index + k] = Cell{TYPE_NONE, 0, 0, 0};
}

// ---- Calls with refinements ------------------------------------------------------------------------------

int32_t call_with_refinements(const CallDescriptor& d) {
    int32_t refs[MAX_REFINEMENTS];
    uint32_t slots = d.slots < MAX_REFINEMENTS ? d.slots : MAX_REFINEMENTS;
    for (uint32_t k = 0; k < MAX_REFINEMENTS; k++) refs[k] = -1;
    Cell* base = stack::arguments_base();
    for (uint32_t i = 0; i < d.count; i++) {
        const RefinementUse& r = d.refinements[i];
        if (!logic::is_false(r.value)) {
            if (r.slot >= 1 && uint32_t(r.slot) <= slots) refs[r.slot - 1] = r.argument;
        } else {
            for (int32_t k = 0; k < r.count; k++) base[r.argument + k] = Cell{TYPE_NONE, 0, 0, 0};
        }
    }
    if (d.native) {
        uintptr_t e = d.entry >= 1 && d.entry <= natives::TABLE_SIZE ? natives::table()[d.entry - 1] : 0;
        if (!e) raise_error("internal", "not-done");
        return reinterpret_cast<NativeFn>(e)(true, refs);
    }
    ActionFn f = actions::entry_of_slot(int(d.entry));
    if (!f) raise_error("internal", "not-done");
    f(refs);
    return 0;
}

// ---- Paths ------------------------------------------------------------------------------------------------

void eval_path(bool set, const Cell* path_in) {
    Cell path = *path_in;
    gc::CellRoot keep_path(&path);
    uint32_t first = path.data1;
    uint32_t count = block::remaining_length(&path);
    if (count == 0) raise_error("script", "empty-path");
    Cell* base = stack::arguments_base();
    Cell new_value = set ? *base : Cell{TYPE_NONE, 0, 0, 0};
    Cell head = *block::cell_at(&path, first);
    Cell current = head, parent{TYPE_NONE, 0, 0, 0}, previous = head;
    gc::CellRoot keep(&new_value), keep_cur(&current), keep_par(&parent), keep_prev(&previous);
    if (type_of(&head) == TYPE_WORD) {
        current = *eval::word_value(&head);
        Node ctx = word::context_of(&head);
        if (ctx && ctx != context::global()) {
            Cell self = *context::self_cell(ctx);
            if (type_of(&self) != TYPE_OBJECT) parent = self;
        }
    }
    for (uint32_t step = 1; step < count; step++) {
        Cell element = *block::cell_at(&path, first + step);
        gc::CellRoot keep_el(&element);
        bool last = step + 1 == count;
        bool notify = false;
        if (last && set && count > 2) {
            uint32_t t = type_of(&parent);
            notify = (t == TYPE_OBJECT && parent.data3 != 0 && type_of(&previous) == TYPE_WORD) ||
                     t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH || is_any_path(t);
        }
        Cell before = current;
        gc::CellRoot keep_before(&before);
        Cell* r = dispatch::eval_path(&current, &element, set && last ? &new_value : nullptr, &path, &parent,
                                      &previous, int32_t(step - 1), false, 0, last, notify);
        Cell next = *r;
        parent = before;
        previous = element;
        current = next;
    }
    *stack::arguments_base() = current;
}

// ---- SWITCH and SELECT ---------------------------------------------------------------------------------------

Cell* switch_find(bool push, bool switch_) {
    Cell* base = stack::arguments_base();
    Cell value = base[0], cases = base[1];
    gc::CellRoot keep(&value), keep_cases(&cases);
    Cell result{TYPE_NONE, 0, 0, 0};
    if (type_of(&value) != TYPE_BLOCK) {
        uint32_t total = block::total_length(&cases);
        uint32_t step = push ? 1 : 2;
        for (uint32_t i = cases.data1; i < total; i += step) {
            Cell candidate = *block::cell_at(&cases, i);
            if (type_of(&candidate) != type_of(&value)) continue;
            if (!compare(&candidate, &value, COMP_EQUAL)) continue;
            if (switch_) {
                for (uint32_t j = i + 1; j < total; j++) {
                    Cell c = *block::cell_at(&cases, j);
                    if (type_of(&c) == TYPE_BLOCK) {
                        result = c;
                        break;
                    }
                }
            } else {
                result = i + 1 < total ? *block::cell_at(&cases, i + 1) : candidate;
            }
            break;
        }
    }
    if (push) return stack::push(&result);
    *stack::arguments_base() = result;
    return stack::arguments_base();
}

}  // namespace qor::compiled
