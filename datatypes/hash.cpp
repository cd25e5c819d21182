// hash!: making, converting, copying and molding; every other action is
// block!'s, which keeps the index in step.
#include "datatypes/hash.hpp"

#include "datatypes/block.hpp"
#include "datatypes/block_actions.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/hash_index.hpp"
#include "datatypes/hash_table.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"

namespace qor {

namespace {

inline Node table_of(const Cell* value) { return reinterpret_cast<Node>(value->data3); }

// The cell (rooted, with a new buffer and no index) becomes an indexed hash!.
Cell* index_as_hash(Cell* cell) {
    cell->header = (cell->header & ~TYPE_MASK) | TYPE_HASH;
    hash_index::make_for(cell);
    return cell;
}

Cell* hash_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    Cell source = *value;
    gc::CellRoot keep(&source);
    block_copy(&source, result, part, deep, types);
    result->header = (result->header & ~TYPE_MASK) | TYPE_HASH;
    result->data3 = 0;
    // A whole plain copy takes a duplicate of the source's index; any
    // other copy gets an index built over its own cells.
    if (source.data1 == 0 && !part && !deep && !types && hash_index::indexed_q(&source))
        result->data3 = reinterpret_cast<uint32_t>(hashtable::copy(table_of(&source), cell_node(result)));
    else
        hash_index::make_for(result);
    return result;
}

Cell* hash_to(Cell* prototype, Cell* spec) {
    if (type_of(spec) == TYPE_HASH) {
        Cell source = *spec;
        gc::CellRoot keep(&source);
        return hash_copy(&source, prototype, nullptr, false, nullptr);
    }
    block_to(prototype, spec);
    prototype->data3 = 0;
    return index_as_hash(prototype);
}

Cell* hash_make(Cell* prototype, Cell* spec) {
    uint32_t t = type_of(spec);
    if (t == TYPE_HASH) return hash_to(prototype, spec);
    if (t != TYPE_INTEGER && t != TYPE_FLOAT && t != TYPE_BLOCK) return hash_to(prototype, spec);
    block_make(prototype, spec);
    prototype->data3 = 0;
    return index_as_hash(prototype);
}

int32_t hash_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent) {
    if (!only) {
        string::append_ascii(out, "make hash! ", 11);
        limit -= 11;
    }
    return block_mold(value, out, only, all, flat, part, limit, indent);
}

}  // namespace

namespace hash {

void init() {
    TypeSpec spec = make_type_spec(TYPE_HASH);
    for (int slot = 1; slot <= ACTION_COUNT; slot++) inherit_slot(spec, slot);
    spec.slots[SLOT_RANDOM - 1] = ACTION_NONE;
    set_slot<SLOT_MAKE>(spec, hash_make);
    set_slot<SLOT_TO>(spec, hash_to);
    set_slot<SLOT_MOLD>(spec, hash_mold);
    set_slot<SLOT_COPY>(spec, hash_copy);
    // block!'s sort and trim rebuild the index of a hash! they reorder.
    set_slot<SLOT_SORT>(spec, block_sort);
    set_slot<SLOT_TRIM>(spec, block_trim);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace hash

}  // namespace qor
