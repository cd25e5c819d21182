// none!: construction, text forms, comparison and the series actions that
// accept none.
#include "datatypes/block.hpp"
#include "datatypes/none.hpp"

#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/unset.hpp"

namespace qor {

namespace {
Cell g_none = {TYPE_NONE, 0, 0, 0};
}  // namespace

Cell* const none_value = &g_none;

namespace none {

void init() {
    set(&g_none);
    TypeSpec spec = make_type_spec(TYPE_NONE);
    set_slot<SLOT_MAKE>(spec, none_make);
    set_slot<SLOT_TO>(spec, none_make);
    set_slot<SLOT_FORM>(spec, none_form);
    set_slot<SLOT_MOLD>(spec, none_mold);
    set_slot<SLOT_COMPARE>(spec, none_compare);
    set_slot<SLOT_CLEAR>(spec, none_clear);
    set_slot<SLOT_FIND>(spec, none_find);
    set_slot<SLOT_LENGTH_Q>(spec, none_length_q);
    set_slot<SLOT_REMOVE>(spec, none_remove);
    set_slot<SLOT_SELECT>(spec, none_select);
    set_slot<SLOT_TAKE>(spec, none_take);
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

}  // namespace none

Cell* none_make(Cell* prototype, Cell* spec) {
    none::set_result();
    return stack::arguments_base();
}

int32_t none_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    string_append_ascii(out, "none");
    return limit - 4;
}

int32_t none_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent) {
    if (!all) return none_form(value, out, part, limit);
    string_append_ascii(out, "#(none)");
    return limit - 7;
}

int32_t none_compare(Cell* value1, Cell* value2, int32_t op) {
    return compare_unit_values(value1, value2, op);
}

// The series actions answer none in the argument's own cell, which is the
// call's result slot.
static Cell* answer_none(Cell* series) {
    none::set(series);
    return series;
}

Cell* none_clear(Cell* series) { return answer_none(series); }

Cell* none_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same,
                bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    return answer_none(series);
}

int32_t none_length_q(Cell* series) { return -1; }

Cell* none_remove(Cell* series, Cell* part, Cell* key) { return answer_none(series); }

Cell* none_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same,
                  bool any, Cell* with, Cell* skip, bool last, bool reverse) {
    return answer_none(series);
}

Cell* none_take(Cell* series, Cell* part, bool deep, bool last) { return answer_none(series); }

}  // namespace qor
