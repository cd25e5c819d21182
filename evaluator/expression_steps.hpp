// The small steps of an expression that the interpreter's recursive path
// and its loop both take: producing a value, popping a frame with its
// result, assigning a set-word, and the built-in operators done in place.
#pragma once
#include <cmath>
#include <cstdint>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/eval_internal.hpp"
#include "evaluator/natives.hpp"
#include "runtime/cell.hpp"

namespace qor::interp {

// A system issue (#system or #system-global) written before a block.
bool is_system_issue(const Cell* issue);

// Writes the value as the step's result: pushed, or into the result slot.
inline void produce(const Cell* value, bool push) {
    if (push) {
        stack::push(value);
    } else {
        Cell v = *value;
        stack::state.top = stack::state.base + 1;
        *stack::state.base = v;
    }
}

// A lit-path's value: the path as a path!.
inline Cell lit_path_value(const Cell* lit_path) {
    Cell path = *lit_path;
    path.header = (path.header & ~TYPE_MASK) | TYPE_PATH;
    path.data3 = 0;
    return path;
}

// Pops a frame whose result is the cell at its base: pushed for the caller,
// or copied into the caller's result slot.
inline void pop_result_frame(bool push) {
    if (push) stack::unwind_keep();
    else stack::unwind_last();
}

// The object a path's steps before the last lead to, when the path is all
// words from an object held by its head word through objects held by its
// fields: what run_path meets on its way to the last step.  Null for any
// other path, which run_path then walks.
inline const Cell* object_path_owner(const Cell* path) {
    uint32_t first = path->data1, n = block::total_length(path);
    if (n < first + 2) return nullptr;
    const Cell* cell = block::cell_at(path, first);
    if (type_of(cell) != TYPE_WORD) return nullptr;
    const Cell* current = eval::word_value_fast(cell);
    for (uint32_t i = first + 1;; i++) {
        if (!current || type_of(current) != TYPE_OBJECT || type_of(cell + 1) != TYPE_WORD) return nullptr;
        cell++;
        if (i + 1 == n) return current;
        current = object::path_field(current, cell);
    }
}

// A path's value when run_path would only read it: an object's field, or
// the value a block held by the path's head word has at an integer, as
// run_path would produce them.  Null for anything else, and for a value
// that is unset or a function (which a path calls).
inline const Cell* simple_path_value(const Cell* path) {
    const Cell* value = nullptr;
    if (const Cell* owner = object_path_owner(path)) {
        value = object::path_field(owner, block::cell_at(path, block::total_length(path) - 1));
    } else if (path->data1 + 2 == block::total_length(path)) {
        const Cell* head = block::cell_at(path, path->data1);
        const Cell* series = type_of(head) == TYPE_WORD ? eval::word_value_fast(head) : nullptr;
        if (series && type_of(series) == TYPE_BLOCK && type_of(head + 1) == TYPE_INTEGER) {
            Cell copy = *series;
            value = series_pick(&copy, int32_t(head[1].data2));
        }
    }
    if (!value) return nullptr;
    uint32_t t = type_of(value);
    return t == TYPE_UNSET || t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE
               ? nullptr
               : value;
}

// A set-path's store into an object's field, as run_path would make it:
// false leaves it to run_path.
inline bool set_object_path(const Cell* path, const Cell* value) {
    const Cell* owner = object_path_owner(path);
    return owner && object::set_path_field(owner, block::cell_at(path, block::total_length(path) - 1), value);
}

// Assigns a set-word: direct for global and function slots, through the
// context (assigned marks, change notification) for object fields.
inline void assign_word(Cell* word, const Cell* value) {
    Node ctx = word::context_of(word);
    int32_t slot = word::index_of(word);
    if (ctx && slot >= 0) {
        Cell* rec = cells_head(buffer_of(ctx));
        if (((rec->header & CONTEXT_KIND_MASK) >> CONTEXT_KIND_SHIFT) != context::KIND_OBJECT) {
            if (Cell* p = eval::word_value_fast(word)) {
                *p = *value;
                return;
            }
        }
    }
    context::set_word_value(word, value);
}

// The value of an operator's right operand when it needs no evaluation of
// its own: an integer! or float! written as such, or a word whose value is
// one.  Null otherwise (the general path then fetches it).
inline const Cell* plain_number_operand(const Cell* code, uint32_t pos, uint32_t end) {
    if (pos >= end || pos >= block::total_length(code)) return nullptr;
    const Cell* c = eval::code_cell(code, pos);
    uint32_t t = type_of(c);
    if (t == TYPE_WORD) {
        c = eval::word_value_fast(c);
        if (!c) return nullptr;
        t = type_of(c);
    }
    return t == TYPE_INTEGER || t == TYPE_FLOAT ? c : nullptr;
}

// The arithmetic slot a built-in action operator stands for, or -1.
[[gnu::always_inline]] inline int32_t arithmetic_slot(uintptr_t entry) {
    const uintptr_t* slots = actions::dispatcher_table();
    if (entry == slots[SLOT_ADD - 1]) return SLOT_ADD;
    if (entry == slots[SLOT_SUBTRACT - 1]) return SLOT_SUBTRACT;
    if (entry == slots[SLOT_MULTIPLY - 1]) return SLOT_MULTIPLY;
    if (entry == slots[SLOT_REMAINDER - 1]) return SLOT_REMAINDER;
    if (entry == slots[SLOT_DIVIDE - 1]) return SLOT_DIVIDE;
    return -1;
}

// + - * with a float! on the left and a float! or integer! on the right,
// as float!'s action computes them.  A result that is not finite is left
// to the action, which reports it where it always did.
inline bool inline_float_op(int32_t slot, Cell* operand, const Cell* right) {
    if (slot != SLOT_ADD && slot != SLOT_SUBTRACT && slot != SLOT_MULTIPLY) return false;
    double a = cell_float(operand);
    double b = type_of(right) == TYPE_FLOAT ? cell_float(right) : double(int32_t(right->data2));
    double r = slot == SLOT_ADD ? a + b : slot == SLOT_SUBTRACT ? a - b : a * b;
    if (!std::isfinite(r)) return false;
    set_cell_float(operand, r);   // the left operand's cell keeps its header, as the action's does
    return true;
}

// Two plain number arguments combined in place, when the function is the
// built-in one (+ - * on integers and floats, remainder and exact divide
// on integers, the six comparisons on integers): `from` is its type (action! or native!), `entry` its entry
// point.  The same result as the action or native would leave, in the left
// argument's cell `operand`; false leaves everything to the call.
[[gnu::always_inline]] inline bool inline_number_entry(uint32_t from, uintptr_t entry, Cell* operand, const Cell* right) {
    uint32_t left_type = type_of(operand), right_type = type_of(right);
    if (left_type != TYPE_INTEGER && left_type != TYPE_FLOAT) return false;
    if (right_type != TYPE_INTEGER && right_type != TYPE_FLOAT) return false;
    if (from == TYPE_ACTION) {
        int32_t slot = arithmetic_slot(entry);
        if (slot < 0) return false;
        if (left_type == TYPE_FLOAT) return inline_float_op(slot, operand, right);
        if (right_type != TYPE_INTEGER) return false;
        int32_t a = int32_t(operand->data2), b = int32_t(right->data2), r;
        if (slot == SLOT_REMAINDER || slot == SLOT_DIVIDE) {
            // Zero divisors, the one overflowing quotient and inexact
            // quotients (float! results) are the action's.
            if (b == 0 || (a == INT32_MIN && b == -1)) return false;
            if (slot == SLOT_REMAINDER) {
                r = a % b;
            } else {
                if (a % b != 0) return false;
                r = a / b;
            }
            operand->data2 = uint32_t(r);
            return true;
        }
        bool overflow = slot == SLOT_ADD        ? __builtin_add_overflow(a, b, &r)
                        : slot == SLOT_SUBTRACT ? __builtin_sub_overflow(a, b, &r)
                                                : __builtin_mul_overflow(a, b, &r);
        // (An overflow, which makes a float!, is left to the action.)
        if (overflow) return false;
        operand->data2 = uint32_t(r);
        return true;
    }
    if (from != TYPE_NATIVE || left_type != TYPE_INTEGER || right_type != TYPE_INTEGER) return false;
    int32_t a = int32_t(operand->data2), b = int32_t(right->data2);
    bool r;
    if (entry == reinterpret_cast<uintptr_t>(&natives::lesser_q_star)) r = a < b;
    else if (entry == reinterpret_cast<uintptr_t>(&natives::greater_q_star)) r = a > b;
    else if (entry == reinterpret_cast<uintptr_t>(&natives::lesser_or_equal_q_star)) r = a <= b;
    else if (entry == reinterpret_cast<uintptr_t>(&natives::greater_or_equal_q_star)) r = a >= b;
    else if (entry == reinterpret_cast<uintptr_t>(&natives::equal_q_star)) r = a == b;
    else if (entry == reinterpret_cast<uintptr_t>(&natives::not_equal_q_star)) r = a != b;
    else if (entry == reinterpret_cast<uintptr_t>(&natives::strict_equal_q_star)) r = a == b;
    else return false;
    *operand = Cell{TYPE_LOGIC, r ? 1u : 0u, 0, 0};
    return true;
}

// An operator on two plain number operands done without its frame: the
// frame stack must have room for the frame the call would have pushed, so
// that an overflow happens where it always did.
[[gnu::always_inline]] inline bool inline_number_op(const Cell& op, Cell* operand, const Cell* right) {
    if (stack::state.frames_top >= stack::state.frames_limit) return false;
    return inline_number_entry(native::op_source_type(&op), op.data1, operand, right);
}

}  // namespace qor::interp
