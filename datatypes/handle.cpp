// handle!: text and comparison; every other action is refused.
#include "datatypes/handle.hpp"

#include <cstdio>
#include <string>

#include "datatypes/block.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"

namespace qor {

namespace {

const char* const CLASS_NAMES[] = {"", "fd", "monitor", "window", "font", "rich-text"};

// Eight upper-case hex digits and "h".
std::string hex_text(uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s(9, 'h');
    for (int i = 7; i >= 0; --i, v >>= 4) s[size_t(i)] = digits[v & 15];
    return s;
}

int32_t handle_form(Cell* value, Cell* out, Cell*, int32_t limit) {
    std::string text = hex_text(handle::value_of(value));
    number_support::append_text(out, text.c_str(), uint32_t(text.size()));
    return limit - 9;
}

int32_t handle_mold(Cell* value, Cell* out, bool, bool all, bool, Cell*, int32_t limit, int32_t) {
    std::string text;
    if (!all) {
        text = "handle!";
    } else {
        text = "#[handle! " + hex_text(handle::value_of(value));
        int32_t cls = handle::class_of(value);
        if (cls > 0 && cls < int32_t(sizeof CLASS_NAMES / sizeof *CLASS_NAMES)) {
            text += ' ';
            text += CLASS_NAMES[cls];
        }
        text += ']';
    }
    number_support::append_text(out, text.c_str(), uint32_t(text.size()));
    return limit - int32_t(text.size());
}

// The values decide, as signed numbers; the class is not compared.
int32_t handle_compare(Cell* a, Cell* b, int32_t) {
    if (type_of(b) != TYPE_HANDLE) return 1;
    int32_t x = int32_t(handle::value_of(a)), y = int32_t(handle::value_of(b));
    return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

namespace handle {

void init() {
    TypeSpec spec = make_type_spec(TYPE_HANDLE);
    set_slot<SLOT_FORM>(spec, handle_form);
    set_slot<SLOT_MOLD>(spec, handle_mold);
    set_slot<SLOT_COMPARE>(spec, handle_compare);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

Cell* push_new(uint32_t value, int32_t cls) {
    Cell h = make(value, cls);
    return stack::push(&h);
}

Cell* push_null() { return push_new(0, CLASS_NONE); }

void new_in_block(Cell* block, uint32_t value, int32_t cls) {
    Cell h = make(value, cls);
    block::append_copy(block, &h);
}

}  // namespace handle
}  // namespace qor
