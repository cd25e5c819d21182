// unset!: construction, text forms and comparison.
#include "datatypes/block.hpp"
#include "datatypes/unset.hpp"

#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/text_out.hpp"

namespace qor {

namespace {
Cell g_unset = {TYPE_UNSET, 0, 0, 0};
}  // namespace

Cell* const unset_value = &g_unset;

namespace unset {

void init() {
    set(&g_unset);
    TypeSpec spec = make_type_spec(TYPE_UNSET);
    set_slot<SLOT_MAKE>(spec, unset_make);
    set_slot<SLOT_TO>(spec, unset_make);
    set_slot<SLOT_FORM>(spec, unset_form);
    set_slot<SLOT_MOLD>(spec, unset_mold);
    set_slot<SLOT_COMPARE>(spec, unset_compare);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

void set_result() { set(stack::arguments_base()); }

Cell* new_in_block(Cell* block) {
    Cell cell{};
    set(&cell);
    return block::append_copy(block, &cell);
}

Cell* push_new() {
    Cell* cell = stack::push_slot();
    set(cell);
    return cell;
}

}  // namespace unset

Cell* unset_make(Cell* prototype, Cell* spec) {
    unset::set_result();
    return stack::arguments_base();
}

// An unset forms as nothing.
int32_t unset_form(Cell* value, Cell* out, Cell* part, int32_t limit) { return limit; }

int32_t unset_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent) {
    if (all) {
        string_append_ascii(out, "#(unset)");
        return limit - 8;
    }
    string_append_ascii(out, "unset");
    return limit - 5;
}

int32_t compare_unit_values(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != type_of(value1)) return COMPARE_INCOMPARABLE;
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
        return 0;
    default:
        return COMPARE_INCOMPARABLE;
    }
}

int32_t unset_compare(Cell* value1, Cell* value2, int32_t op) {
    return compare_unit_values(value1, value2, op);
}

}  // namespace qor
