// Fast paths (see fast_paths.hpp).
#include "evaluator/fast_paths.hpp"

#include "datatypes/block.hpp"
#include "evaluator/actions.hpp"
#include "datatypes/stack.hpp"
#include "runtime/runtime_error.hpp"

namespace qor::fast {

namespace {

const int32_t NO_REFINEMENTS[MAX_REFINEMENTS] = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
};

[[noreturn]] void bad_code() { runtime::error(runtime::ERR_NO_SWITCH_MATCH, 0); }

inline Cell integer_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, uint32_t(n), 0}; }
inline Cell float_cell(double d) {
    Cell c{TYPE_FLOAT, 0, 0, 0};
    set_cell_float(&c, d);
    return c;
}
inline Cell logic_cell(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }

// Integer arithmetic that overflows gives the exact float! result.
Cell integer_math(int32_t op, int32_t a, int32_t b) {
    int64_t r;
    switch (op) {
    case ADD: r = int64_t(a) + b; break;
    case SUBTRACT: r = int64_t(a) - b; break;
    case MULTIPLY: r = int64_t(a) * b; break;
    case OR: return integer_cell(a | b);
    case AND: return integer_cell(a & b);
    case XOR: return integer_cell(a ^ b);
    default: bad_code();
    }
    if (r >= INT32_MIN && r <= INT32_MAX) return integer_cell(int32_t(r));
    double x = a, y = b;
    return float_cell(op == ADD ? x + y : op == SUBTRACT ? x - y : x * y);
}

ActionFn math_entry(int32_t op) {
    switch (op) {
    case ADD: return actions::entry_add;
    case SUBTRACT: return actions::entry_subtract;
    case MULTIPLY: return actions::entry_multiply;
    case OR: return actions::entry_or_t;
    case AND: return actions::entry_and_t;
    case XOR: return actions::entry_xor_t;
    default: bad_code();
    }
}

// The full action in a native frame named by the word; the result is pushed
// in place of the frame.
Cell* fall_back(const Cell* word, const Cell* a, const Cell* b, ActionFn entry) {
    Cell av = *a;
    Cell bv = b ? *b : Cell{TYPE_NONE, 0, 0, 0};
    stack::mark_native(word);
    stack::push(&av);
    if (b) stack::push(&bv);
    entry(NO_REFINEMENTS);
    stack::unwind_keep();
    return stack::top_value();
}

Cell* fall_back_compare(int32_t op, const Cell* word, const Cell* a, const Cell* b) {
    Cell av = *a, bv = *b;
    stack::mark_native(word);
    stack::push(&av);
    stack::push(&bv);
    actions::compare_op(op);
    stack::unwind_keep();
    return stack::top_value();
}

bool integer_compare(int32_t op, int32_t a, int32_t b) {
    switch (op) {
    case 0: case 2: return a == b;
    case 1: return a != b;
    case 3: return a < b;
    case 4: return a <= b;
    case 5: return a > b;
    case 6: return a >= b;
    default: bad_code();
    }
}

// Writes the answer of `f` (which pushes one cell) over the top cell.
template <class F>
Cell* over_top(F f) {
    Cell* slot = stack::state.top - 1;
    Cell a = *slot;
    stack::state.top = slot;
    Cell* r = f(&a);
    if (r != slot) {
        Cell v = *r;
        *slot = v;
        stack::state.top = slot + 1;
    }
    return slot;
}

}  // namespace

// ---- Math -------------------------------------------------------------------------------------------

Cell* math(int32_t op, const Cell* word, const Cell* a, const Cell* b) {
    uint32_t ta = type_of(a), tb = type_of(b);
    if (ta == TYPE_INTEGER && tb == TYPE_INTEGER) {
        Cell r = integer_math(op, int32_t(a->data2), int32_t(b->data2));
        return stack::push(&r);
    }
    if (ta == TYPE_FLOAT && tb == TYPE_FLOAT && (op == ADD || op == SUBTRACT || op == MULTIPLY)) {
        double x = cell_float(a), y = cell_float(b);
        Cell r = float_cell(op == ADD ? x + y : op == SUBTRACT ? x - y : x * y);
        return stack::push(&r);
    }
    return fall_back(word, a, b, math_entry(op));
}

Cell* math_imm(int32_t op, const Cell* word, const Cell* a, int32_t b) {
    Cell bv = integer_cell(b);
    return math(op, word, a, &bv);
}

Cell* math_top(int32_t op, const Cell* word, const Cell* b) {
    Cell bv = *b;
    return over_top([&](const Cell* a) { return math(op, word, a, &bv); });
}

Cell* math_top_imm(int32_t op, const Cell* word, int32_t b) {
    Cell bv = integer_cell(b);
    return over_top([&](const Cell* a) { return math(op, word, a, &bv); });
}

// ---- Comparisons ----------------------------------------------------------------------------------------

Cell* compare(int32_t op, const Cell* word, const Cell* a, const Cell* b) {
    if (type_of(a) == TYPE_INTEGER && type_of(b) == TYPE_INTEGER) {
        Cell r = logic_cell(integer_compare(op, int32_t(a->data2), int32_t(b->data2)));
        return stack::push(&r);
    }
    return fall_back_compare(op, word, a, b);
}

Cell* compare_imm(int32_t op, const Cell* word, const Cell* a, int32_t b) {
    Cell bv = integer_cell(b);
    return compare(op, word, a, &bv);
}

bool compare_keep(int32_t op, const Cell* word, const Cell* a, const Cell* b) {
    if (type_of(a) == TYPE_INTEGER && type_of(b) == TYPE_INTEGER)
        return integer_compare(op, int32_t(a->data2), int32_t(b->data2));
    bool truth = fall_back_compare(op, word, a, b)->data1 != 0;
    stack::pop(1);
    return truth;
}

bool compare_cells(int32_t op, const Cell* word, const Cell* a, const Cell* b) {
    return compare_keep(op, word, a, b);
}

bool compare_imm_keep(int32_t op, const Cell* word, const Cell* a, int32_t b) {
    Cell bv = integer_cell(b);
    return compare_keep(op, word, a, &bv);
}

bool compare_imm2(int32_t op, const Cell* word, const Cell* a, int32_t b) {
    return compare_imm_keep(op, word, a, b);
}

Cell* compare_top(int32_t op, const Cell* word, const Cell* b) {
    Cell bv = *b;
    return over_top([&](const Cell* a) { return compare(op, word, a, &bv); });
}

Cell* compare_top_imm(int32_t op, const Cell* word, int32_t b) {
    Cell bv = integer_cell(b);
    return over_top([&](const Cell* a) { return compare(op, word, a, &bv); });
}

// ---- Series ---------------------------------------------------------------------------------------------

Cell* pick(const Cell* series, int32_t index, const Cell* word) {
    if (type_of(series) == TYPE_BLOCK) {
        uint32_t n = block::remaining_length(series);
        if (index >= 1 && uint32_t(index) <= n) {
            Cell v = *block::cell_at(series, series->data1 + uint32_t(index) - 1);
            return stack::push(&v);
        }
        Cell none{TYPE_NONE, 0, 0, 0};
        return stack::push(&none);
    }
    Cell iv = integer_cell(index);
    return fall_back(word, series, &iv, actions::entry_eval_path);
}

Cell* series_op(const Cell* series, int32_t op, const Cell* word) {
    if (op < LENGTH_Q || op > TAIL) bad_code();
    if (type_of(series) == TYPE_BLOCK) {
        uint32_t position = series->data1;
        uint32_t total = block::total_length(series);
        uint32_t n = position < total ? total - position : 0;
        Cell r = *series;
        switch (op) {
        case LENGTH_Q: r = integer_cell(int32_t(n)); break;
        case INDEX_Q: r = integer_cell(int32_t(position) + 1); break;
        case HEAD_Q: r = logic_cell(position == 0); break;
        case TAIL_Q: r = logic_cell(n < 1); break;
        case NEXT: if (n > 0) r.data1 = position + 1; break;
        case BACK: r.data1 = position > 0 ? position - 1 : 0; break;
        case HEAD: r.data1 = 0; break;
        case TAIL: r.data1 = position + n; break;
        default: bad_code();
        }
        return stack::push(&r);
    }
    ActionFn entry;
    switch (op) {
    case LENGTH_Q: entry = actions::entry_length_q; break;
    case INDEX_Q: entry = actions::entry_index_q; break;
    case HEAD_Q: entry = actions::entry_head_q; break;
    case TAIL_Q: entry = actions::entry_tail_q; break;
    case NEXT: entry = actions::entry_next; break;
    case BACK: entry = actions::entry_back; break;
    case HEAD: entry = actions::entry_head; break;
    default: entry = actions::entry_tail; break;
    }
    return fall_back(word, series, nullptr, entry);
}

}  // namespace qor::fast
