// paren! and the path kinds: registrations and text forms.
#include "datatypes/path.hpp"

#include "datatypes/block.hpp"
#include "datatypes/block_actions.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/value_helpers.hpp"

namespace qor {

namespace {

Cell* push_as(Cell* cell, uint32_t type) {
    cell->header = type;
    return stack::push(cell);
}

// Every slot of the spec inherits from the parent, except those listed as
// unsupported.
void inherit_all(TypeSpec& spec, std::initializer_list<int> unsupported) {
    for (int slot = 1; slot <= ACTION_COUNT; slot++) inherit_slot(spec, slot);
    for (int slot : unsupported) spec.slots[slot - 1] = ACTION_NONE;
}

// Writes the elements of a path from its index with "/" between them,
// through `write` (form or mold of one element).
template <class Write>
int32_t write_elements(Cell* value, Cell* out, Cell* part, int32_t limit, Write write) {
    Cell p = *value;
    cycle_stack::Guard guard;
    cycle_stack::push(cell_node(&p));
    for (uint32_t i = p.data1; i < block::total_length(&p); i++) {
        if (i != p.data1) {
            string::append_ascii(out, "/", 1);
            limit--;
        }
        Cell c = *block::cell_at(&p, i);
        limit = write(&c, limit);
        if (part && limit < 1) break;
    }
    return limit;
}

}  // namespace

// ---- Registration -----------------------------------------------------------------------

namespace paren {

void init() {
    TypeSpec spec = make_type_spec(TYPE_PAREN);
    inherit_all(spec, {SLOT_TRIM});
    set_slot<SLOT_MOLD>(spec, paren_mold);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

Cell* push_retyped(Cell* cell) { return push_as(cell, TYPE_PAREN); }

}  // namespace paren

namespace path {

void init() {
    TypeSpec spec = make_type_spec(TYPE_PATH);
    inherit_all(spec, {SLOT_RANDOM, SLOT_SORT, SLOT_TRIM});
    set_slot<SLOT_MAKE>(spec, path_make);
    set_slot<SLOT_TO>(spec, path_to);
    set_slot<SLOT_FORM>(spec, path_form);
    set_slot<SLOT_MOLD>(spec, path_mold);
    set_slot<SLOT_COPY>(spec, path_copy);
    install_datatype(TYPE_SPEC_WORDS, &spec);

    const struct {
        uint32_t type;
        MoldFn mold;
    } variants[] = {{TYPE_LIT_PATH, lit_path_mold}, {TYPE_SET_PATH, set_path_mold}, {TYPE_GET_PATH, get_path_mold}};
    for (const auto& v : variants) {
        TypeSpec variant = make_type_spec(v.type);
        inherit_all(variant, {});
        set_slot<SLOT_MOLD>(variant, v.mold);
        install_datatype(TYPE_SPEC_WORDS, &variant);
    }
}

Cell* push_retyped(Cell* cell) { return push_as(cell, TYPE_PATH); }

Cell* init_cell(Cell* cell, int32_t capacity) {
    block::init_cell(cell, capacity);
    cell->header = (cell->header & ~TYPE_MASK) | TYPE_PATH;
    return cell;
}

}  // namespace path

Cell* lit_path::push_retyped(Cell* cell) { return push_as(cell, TYPE_LIT_PATH); }
Cell* set_path::push_retyped(Cell* cell) { return push_as(cell, TYPE_SET_PATH); }
Cell* get_path::push_retyped(Cell* cell) { return push_as(cell, TYPE_GET_PATH); }

// ---- make and to ------------------------------------------------------------------------

Cell* path_make(Cell* prototype, Cell* spec) {
    uint32_t type = type_of(prototype) == TYPE_DATATYPE ? prototype->data1 : uint32_t(type_of(prototype));
    uint32_t t = type_of(spec);
    if (is_any_block(t)) {
        block_to(prototype, spec);
        return prototype;
    }
    if (t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT) {
        int32_t n = number::float_to_int_checked(spec);
        Cell fresh = {TYPE_UNSET, 0, 0, 0};
        path::init_cell(&fresh, n < 1 ? 1 : n);
        fresh.header = type;
        *prototype = fresh;
        return prototype;
    }
    Cell dt;
    datatype::set(&dt, type);
    raise_error("script", "bad-make-arg", &dt, spec);
}

Cell* path_to(Cell* prototype, Cell* spec) {
    uint32_t type = type_of(prototype) == TYPE_DATATYPE ? prototype->data1 : uint32_t(type_of(prototype));
    uint32_t t = type_of(spec);
    if (t == TYPE_OBJECT || t == TYPE_TYPESET || t == TYPE_MAP) {
        Cell fresh = block::make(1);
        gc::CellRoot keep(&fresh);
        block::append_copy(&fresh, spec);
        fresh.header = type;
        *prototype = fresh;
        return prototype;
    }
    return block_to(prototype, spec);
}

// ---- Text forms --------------------------------------------------------------------------

int32_t path_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    if (mold::cycle_marker(value, out, &limit, false)) return limit;
    return write_elements(value, out, part, limit,
                          [&](Cell* c, int32_t left) { return dispatch::form(c, out, part, left); });
}

int32_t path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent) {
    (void)indent;
    if (mold::cycle_marker(value, out, &limit, true)) return limit;
    return write_elements(value, out, part, limit, [&](Cell* c, int32_t left) {
        return dispatch::mold(c, out, only, all, flat, part, left, 0);
    });
}

int32_t lit_path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                      int32_t indent) {
    string::append_ascii(out, "'", 1);
    return path_mold(value, out, only, all, flat, part, limit - 1, indent);
}

int32_t set_path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                      int32_t indent) {
    limit = path_mold(value, out, only, all, flat, part, limit, indent);
    string::append_ascii(out, ":", 1);
    return limit - 1;
}

int32_t get_path_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                      int32_t indent) {
    string::append_ascii(out, ":", 1);
    return path_mold(value, out, only, all, flat, part, limit - 1, indent);
}

int32_t paren_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                   int32_t indent) {
    if (mold::cycle_marker(value, out, &limit, true)) return limit;
    if (!only) {
        string::append_ascii(out, "(", 1);
        limit--;
    }
    limit = block::mold_cells(value, out, only, all, flat, part, limit, indent);
    if (!only) {
        string::append_ascii(out, ")", 1);
        limit--;
    }
    return limit;
}

Cell* path_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    return block_copy(value, result, part, deep, types);
}

}  // namespace qor
