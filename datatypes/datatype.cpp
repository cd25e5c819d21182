// datatype!: form, mold and compare of values that name a datatype.
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"

#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/text_out.hpp"

namespace qor {

namespace datatype {

void init() {
    TypeSpec spec = make_type_spec(TYPE_DATATYPE);
    set_slot<SLOT_FORM>(spec, datatype_form);
    set_slot<SLOT_MOLD>(spec, datatype_mold);
    set_slot<SLOT_COMPARE>(spec, datatype_compare);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

Cell* new_in_block(Cell* block, uint32_t type) {
    Cell cell{};
    set(&cell, type);
    return block::append_copy(block, &cell);
}

Cell* push_new(uint32_t type) {
    Cell* cell = stack::push_slot();
    set(cell, type);
    return cell;
}

}  // namespace datatype

// "integer"
int32_t datatype_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    const TypeNameEntry& name = registry::type_name(value->data1);
    string_append_ascii(out, name.name, name.length);
    return limit - int32_t(name.length);
}

// "integer!", or "#(integer!)" with /all
int32_t datatype_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                      int32_t limit, int32_t indent) {
    const TypeNameEntry& name = registry::type_name(value->data1);
    int32_t size = name.name[0] ? int32_t(name.length + 1) : 0;   // an unregistered id has no name
    if (all) string_append_ascii(out, "#(");
    string_append_ascii(out, name.name, size_t(size));
    if (all) string_append_ascii(out, ")");
    return limit - size - (all ? 3 : 0);
}

// Datatypes are only equal or unequal: same id, or not.
int32_t datatype_compare(Cell* value1, Cell* value2, int32_t op) {
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME: case COMP_FIND:
        return type_of(value2) == TYPE_DATATYPE && value2->data1 == value1->data1 ? 0 : 1;
    default:
        return COMPARE_INCOMPARABLE;
    }
}

}  // namespace qor
