// Shared plumbing of the numeric datatypes.
#include "datatypes/number_support.hpp"

#include "datatypes/eval_links.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "runtime/runtime_error.hpp"

namespace qor {

namespace number_hooks {
Hooks& get() {
    static Hooks hooks;
    return hooks;
}
}  // namespace number_hooks

namespace number_support {

namespace {
// ORDER of the math op codes.
constexpr int k_slots[8] = {SLOT_ADD, SLOT_SUBTRACT, SLOT_MULTIPLY, SLOT_DIVIDE,
                            SLOT_REMAINDER, SLOT_OR_T, SLOT_AND_T, SLOT_XOR_T};
}  // namespace

int slot_of_op(int32_t op) {
    if (op < 0 || op > 7) bad_op();
    return k_slots[op];
}

const char* word_of_op(int32_t op) { return ACTION_NAMES[slot_of_op(op)]; }

void raise_invalid_type(uint32_t type) {
    Cell t = datatype_cell(type);
    raise_error("script", "invalid-type", &t);
}

void raise_not_related(const char* word, uint32_t type) {
    Cell t = datatype_cell(type);
    raise_error("script", "not-related", word, &t);
}

void raise_expect_exponent(const Cell* exponent) {
    Cell t = datatype_cell(type_of(exponent));
    raise_error("script", "expect-arg", "power", &t, "exponent");
}

void raise_bad_to_arg(uint32_t type, const Cell* spec) {
    Cell t = datatype_cell(type);
    raise_error("script", "bad-to-arg", &t, spec);
}

void raise_math(const char* id) { raise_error("math", id); }

const Cell* load_text(Cell* text) {
    auto load = eval_links::get().load_value_from_string;
    if (!load) raise_error("internal", "not-done");
    return load(text);
}

[[gnu::noinline]] void bad_op() {
    runtime::error(runtime::ERR_NO_SWITCH_MATCH,
                   reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
}

void swap_operands() {
    Cell* left = stack::arguments_base();
    Cell tmp = *left;
    *left = left[1];
    left[1] = tmp;
}

bool has_math_slot(uint32_t type, int32_t op) {
    return registry::entry(type, slot_of_op(op)) != ACTION_NONE;
}

void run_math_slot(uint32_t type, int32_t op) {
    ActionEntry entry = registry::entry(type, slot_of_op(op));
    if (entry == ACTION_NONE) raise_invalid_type(type);
    reinterpret_cast<DirectFn>(entry)();
}

double as_double(const Cell* cell) {
    switch (type_of(cell)) {
    case TYPE_INTEGER: case TYPE_CHAR: return double(int32_t(cell->data2));
    default: return cell_float(cell);
    }
}

void append_text(Cell* out, const char* text, uint32_t length) {
    string::append_ascii(out, text, length);
}

Cell pick_index_arg(const Cell* value, int32_t index) {
    if (index == 0 && value == stack::arguments_base() && type_of(value + 1) != TYPE_INTEGER)
        return value[1];
    return Cell{TYPE_INTEGER, 0, uint32_t(index), 0};
}

}  // namespace number_support
}  // namespace qor
